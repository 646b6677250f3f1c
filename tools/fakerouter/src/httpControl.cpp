// The fake router's HTTP door: GET / shows a form, POST /command takes commands one a line, either as
// the plain body or as the form field "c", and answers with the reports.
#include "httpControl.h"

#include <httplib.h>
#include <stdexcept>
#include <thread>

namespace fakerouter
{
namespace
{

std::string html(std::string_view text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string page(std::string_view result)
{
    return "<!DOCTYPE html>\n<html><head><title>Fake FritzBox call monitor</title></head><body>\n"
           "<h1>Fake FritzBox call monitor</h1>\n"
           "<form method=\"post\" action=\"/command\">\n"
           "<textarea name=\"c\" rows=\"6\" cols=\"80\">ring 0 0301234567 5550001</textarea><br>\n"
           "<input type=\"submit\" value=\"Send\"></form>\n" +
           (result.empty() ? std::string() : "<pre>" + html(result) + "</pre>\n") + "<pre>" + html(commandSummary()) +
           "</pre>\n</body></html>\n";
}

// All lines are read before any is performed, so a mistake in line 3 sends nothing of lines 1 and 2.
std::vector<Command> readCommands(std::string_view text)
{
    std::vector<Command> commands;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        ++lineNumber;
        auto first = line.find_first_not_of(" \t\r");
        if (first == std::string_view::npos || line[first] == '#')
            continue;
        try {
            commands.push_back(parseCommand(line));
        } catch (const SyntaxError &error) {
            throw SyntaxError(lineNumber, error.message());
        }
    }
    if (commands.empty())
        throw SyntaxError(0, "no command");
    return commands;
}

} // namespace

struct HttpControl::Server {
    httplib::Server http;
    std::thread thread;
};

HttpControl::HttpControl(const std::string &bindAddress, std::uint16_t port, Performer perform)
    : server_(std::make_unique<Server>())
{
    auto &http = server_->http;
    http.Get("/", [](const httplib::Request &, httplib::Response &response) {
        response.set_content(page({}), "text/html");
    });
    http.Post("/command", [perform = std::move(perform)](const httplib::Request &request, httplib::Response &response) {
        bool fromForm = request.has_param("c");
        std::string result;
        try {
            result = perform(readCommands(fromForm ? request.get_param_value("c") : request.body));
        } catch (const std::exception &error) {
            response.status = 400;
            result = std::string("error: ") + error.what() + "\n";
        }
        if (fromForm)
            response.set_content(page(result), "text/html");
        else
            response.set_content(result, "text/plain");
    });
    if (!http.bind_to_port(bindAddress, port))
        throw std::runtime_error("cannot serve HTTP on " + bindAddress + ":" + std::to_string(port));
    server_->thread = std::thread([this] { server_->http.listen_after_bind(); });
}

HttpControl::~HttpControl()
{
    server_->http.stop();
    if (server_->thread.joinable())
        server_->thread.join();
}

} // namespace fakerouter
