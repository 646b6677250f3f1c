// The page's requests, one small handler each. The server has already
// checked the host name, the size and, for changes, the origin.
#include <nlohmann/json.hpp>

#include <optional>

#include "httpServer.h"
#include "livePage.h"
#include "pageFiles.h"

namespace sim
{

namespace
{

using Json = nlohmann::json;
using live::HttpRequest;
using live::HttpResponse;

constexpr size_t maxWaitingControls = 8;

// The body of a state-changing request as a JSON object; nothing for
// anything else.
std::optional<Json> bodyObject(const HttpRequest &req)
{
    Json body = Json::parse(req.body, nullptr, false);
    if (body.is_discarded() || !body.is_object())
        return std::nullopt;
    return body;
}

std::string textField(const std::optional<Json> &body, const char *name)
{
    return body && (*body)[name].is_string() ? (*body)[name].get<std::string>() : "";
}

HttpResponse done()
{
    HttpResponse res;
    res.status = 204;
    return res;
}

HttpResponse pageFile(const live::EmbeddedFile &file)
{
    HttpResponse res;
    res.contentType = file.type;
    res.body = std::string(file.bytes);
    if (std::string_view(file.path) == "/") {
        // Nothing of the page runs from anywhere but here, and no other
        // site may frame it to trick clicks out of the user.
        res.headers.emplace_back("Content-Security-Policy", "default-src 'self'; img-src 'self' data: blob:; "
                                                            "style-src 'self'; script-src 'self'; frame-ancestors "
                                                            "'none'");
        res.headers.emplace_back("X-Frame-Options", "DENY");
    }
    res.headers.emplace_back("Cache-Control", "no-cache");
    res.headers.emplace_back("X-Content-Type-Options", "nosniff");
    return res;
}

} // namespace

void LivePage::route()
{
    live::HttpServer &http = *server_;
    for (size_t i = 0; i < live::pageFilesCount; ++i) {
        const live::EmbeddedFile &file = live::pageFiles[i];
        http.get(file.path, [&file](const HttpRequest &) { return pageFile(file); });
    }
    http.get("/health", [this](const HttpRequest &) {
        HttpResponse res;
        res.contentType = "application/json";
        res.body = Json{{"viewers", server_->viewers()}, {"maxViewers", live::HttpServer::maxViewers}}.dump();
        res.headers.emplace_back("Cache-Control", "no-store");
        return res;
    });
    http.get("/frame.png", [this](const HttpRequest &req) { return frameRequest(req); });
    http.get("/journal.txt", [this](const HttpRequest &req) { return journalRequest(req); });
    http.events("/events", [this] {
        framed_.notify_all(); // the first viewer gets the current frame encoded
        return newViewer();
    });
    http.post("/key", [this](const HttpRequest &req) { return keyRequest(req); });
    http.post("/control", [this](const HttpRequest &req) { return controlRequest(req); });
    http.post("/router", [this](const HttpRequest &req) { return routerRequest(req); });
}

HttpResponse LivePage::frameRequest(const HttpRequest &)
{
    auto png = framePng();
    HttpResponse res;
    res.contentType = "image/png";
    res.body.assign(png.begin(), png.end());
    res.headers.emplace_back("Cache-Control", "no-store");
    return res;
}

HttpResponse LivePage::journalRequest(const HttpRequest &)
{
    HttpResponse res;
    {
        std::lock_guard lock(mutex_);
        res.body = journal_;
    }
    res.contentType = "text/plain; charset=iso-8859-1";
    res.headers.emplace_back("Content-Disposition", "attachment; filename=\"ringwatcher-journal.txt\"");
    return res;
}

HttpResponse LivePage::keyRequest(const HttpRequest &req)
{
    std::string key = textField(bodyObject(req), "key");
    if (!pressKey(key))
        return HttpResponse::refusal(400, "unknown key code or too many keys waiting: \"" + key + "\"");
    return done();
}

HttpResponse LivePage::controlRequest(const HttpRequest &req)
{
    std::string what = textField(bodyObject(req), "do");
    const std::pair<const char *, PageControl> names[] = {{"restart", PageControl::restart},
                                                          {"stop", PageControl::stop},
                                                          {"replay", PageControl::replay},
                                                          {"fill", PageControl::fill},
                                                          {"clear", PageControl::clear}};
    for (auto &[name, control] : names) {
        if (what != name)
            continue;
        std::lock_guard lock(mutex_);
        if (controls_.size() >= maxWaitingControls)
            break;
        controls_.push_back(control);
        return done();
    }
    return HttpResponse::refusal(400, "no such control, or too many waiting: \"" + what + "\"");
}

HttpResponse LivePage::routerRequest(const HttpRequest &req)
{
    if (!console_)
        return HttpResponse::refusal(409, "the program is connected to a real router");
    auto body = bodyObject(req);
    if (!body || !(*body)["command"].is_string())
        return HttpResponse::refusal(400, "expected {\"command\": \"...\"}");
    double after = (*body)["after"].is_number() ? (*body)["after"].get<double>() : 0;
    if (!(after >= 0 && after <= 3600))
        return HttpResponse::refusal(400, "a command waits between 0 and 3600 seconds");
    bool failed = false;
    std::string report = console_((*body)["command"].get<std::string>(), after, failed);
    HttpResponse res;
    res.status = failed ? 400 : 200;
    res.body = report + "\n";
    return res;
}

} // namespace sim
