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
    for (const char *path : {"/key", "/control", "/router"})
        http.post(path, [this](const HttpRequest &req) { return postRequest(req); });
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
        res.body = journal();
    }
    res.contentType = "text/plain; charset=iso-8859-1";
    res.headers.emplace_back("Content-Disposition", "attachment; filename=\"ringwatcher-journal.txt\"");
    return res;
}

HttpResponse LivePage::postRequest(const HttpRequest &req)
{
    Answer answer = post(req.path, req.body);
    if (answer.refused)
        return HttpResponse::refusal(answer.status, answer.text);
    HttpResponse res;
    res.status = answer.status;
    res.body = answer.text;
    return res;
}

} // namespace sim
