// The fake TR-064 service on cpp-httplib. Digest authentication is checked here as the router checks
// it (MD5, qop "auth"), since cpp-httplib's server has none; OpenSSL gives the MD5.
#include "fakeTr064.h"

#include <httplib.h>
#include <openssl/evp.h>
#include <pugixml.hpp>

#include <mutex>
#include <random>
#include <regex>
#include <sstream>
#include <thread>

namespace faketr064
{

namespace
{

constexpr const char *realm = "F!Box SOAP-Auth";
constexpr const char *onTel = "urn:dslforum-org:service:X_AVM-DE_OnTel:1";
constexpr const char *voip = "urn:dslforum-org:service:X_VoIP:1";

std::string md5Hex(const std::string &text)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(text.data(), text.size(), digest, &length, EVP_md5(), nullptr);
    static const char *hex = "0123456789abcdef";
    std::string out;
    for (unsigned int i = 0; i < length; ++i) {
        out += hex[digest[i] >> 4];
        out += hex[digest[i] & 15];
    }
    return out;
}

std::map<std::string, std::string> digestFields(const std::string &header)
{
    std::map<std::string, std::string> fields;
    if (header.rfind("Digest ", 0) != 0)
        return fields;
    static const std::regex field(R"re((\w+)=(?:"([^"]*)"|([^,\s]*)))re");
    for (auto it = std::sregex_iterator(header.begin() + 7, header.end(), field); it != std::sregex_iterator(); ++it)
        fields[(*it)[1].str()] = (*it)[2].matched ? (*it)[2].str() : (*it)[3].str();
    return fields;
}

std::string escaped(const std::string &text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '&': out += "&amp;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string envelope(const std::string &body)
{
    return "<?xml version=\"1.0\"?>\n<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
           "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body>" +
           body + "</s:Body></s:Envelope>\n";
}

std::string faultBody(int code, const std::string &description)
{
    return envelope("<s:Fault><faultcode>s:Client</faultcode><faultstring>UPnPError</faultstring><detail>"
                    "<UPnPError xmlns=\"urn:schemas-upnp-org:control-1-0\"><errorCode>" +
                    std::to_string(code) + "</errorCode><errorDescription>" + description +
                    "</errorDescription></UPnPError></detail></s:Fault>");
}

std::string localName(const char *name)
{
    std::string text = name;
    auto colon = text.find(':');
    return colon == std::string::npos ? text : text.substr(colon + 1);
}

} // namespace

struct Service::State {
    Setup setup;
    std::unique_ptr<httplib::Server> server;
    std::thread thread;
    int port = 0;
    std::string nonce;
    mutable std::mutex mutex;
    std::vector<std::string> requests;

    std::string base() const
    {
        return std::string(setup.certificateFile.empty() ? "http" : "https") + "://" + setup.hostName + ":" +
               std::to_string(port);
    }

    bool authorised(const httplib::Request &req) const
    {
        auto f = digestFields(req.get_header_value("Authorization"));
        if (f["username"] != setup.user || f["realm"] != realm || f["nonce"] != nonce)
            return false;
        std::string ha1 = md5Hex(setup.user + ":" + realm + ":" + setup.password);
        std::string ha2 = md5Hex(req.method + ":" + f["uri"]);
        std::string expected =
            f["qop"].empty()
                ? md5Hex(ha1 + ":" + nonce + ":" + ha2)
                : md5Hex(ha1 + ":" + nonce + ":" + f["nc"] + ":" + f["cnonce"] + ":" + f["qop"] + ":" + ha2);
        return f["response"] == expected;
    }

    // The answer to one action: its out arguments, or a UPnP error code.
    int perform(const std::string &service, const std::string &action, const pugi::xml_node &in, std::string &out) const
    {
        if (auto fault = setup.faults.find(action); fault != setup.faults.end())
            return fault->second;
        if (!setup.telephonyRight)
            return 606;
        auto arg = [](const std::string &name, const std::string &value) {
            return "<" + name + ">" + escaped(value) + "</" + name + ">";
        };
        if (service == onTel && action == "GetPhonebookList") {
            std::string ids;
            for (const PhoneBook &book : setup.phoneBooks)
                ids += (ids.empty() ? "" : ",") + std::to_string(book.id);
            out = arg("NewPhonebookList", ids);
            return 0;
        }
        if (service == onTel && action == "GetPhonebook") {
            std::string wanted = in.child_value("NewPhonebookID");
            for (const PhoneBook &book : setup.phoneBooks) {
                if (std::to_string(book.id) != wanted)
                    continue;
                out = arg("NewPhonebookName", book.name) + arg("NewPhonebookExtraID", "") +
                      arg("NewPhonebookURL", base() + "/phonebook.lua?sid=" + sessionId + "&pbid=" + wanted);
                return 0;
            }
            return 713; // SpecifiedArrayIndexInvalid
        }
        if (service == voip && action == "X_AVM-DE_GetNumbers") {
            std::string list = "<?xml version=\"1.0\"?><List>";
            for (std::size_t i = 0; i < setup.numbers.size(); ++i)
                list += "<Item>" + arg("Number", setup.numbers[i].number) + arg("Type", setup.numbers[i].type) +
                        arg("Index", std::to_string(i)) + arg("Name", setup.numbers[i].name) + "</Item>";
            out = arg("NewNumberList", list + "</List>");
            return 0;
        }
        if (service == voip && action == "GetVoIPCommonAreaCode") {
            out = arg("NewVoIPAreaCode", setup.areaCode);
            return 0;
        }
        return 401; // Invalid Action
    }

    void soap(const std::string &service, const httplib::Request &req, httplib::Response &res) const
    {
        if (!authorised(req)) {
            res.status = 401;
            res.set_header("WWW-Authenticate", std::string("Digest realm=\"") + realm + "\", nonce=\"" + nonce +
                                                   "\", algorithm=MD5, qop=\"auth\"");
            res.set_content("<html><body>401 Unauthorized</body></html>", "text/html");
            return;
        }
        pugi::xml_document document;
        pugi::xml_node action;
        if (document.load_buffer(req.body.data(), req.body.size()))
            action = document.document_element().find_child(
                [](const pugi::xml_node &n) { return localName(n.name()) == "Body"; });
        action = action.first_child();
        if (!action) {
            res.status = 500;
            res.set_content(faultBody(402, "Invalid Args"), "text/xml; charset=\"utf-8\"");
            return;
        }
        std::string name = localName(action.name());
        std::string out;
        int code = perform(service, name, action, out);
        std::string body =
            code == 0
                ? envelope("<u:" + name + "Response xmlns:u=\"" + service + "\">" + out + "</u:" + name + "Response>")
                : faultBody(code, code == 606 ? "Action Not Authorized" : "Error");
        if (setup.malformed)
            body.resize(body.size() / 2);
        res.status = code == 0 ? 200 : 500;
        res.set_content(body, "text/xml; charset=\"utf-8\"");
    }
};

Service::Service(Setup setup, int port) : state(std::make_unique<State>())
{
    State &s = *state;
    s.setup = std::move(setup);
    std::random_device random;
    s.nonce = md5Hex(std::to_string(random()) + std::to_string(random()));
    if (s.setup.certificateFile.empty())
        s.server = std::make_unique<httplib::Server>();
    else
        s.server = std::make_unique<httplib::SSLServer>(s.setup.certificateFile.c_str(), s.setup.keyFile.c_str());
    httplib::Server &server = *s.server;
    server.set_logger([&s](const httplib::Request &req, const httplib::Response &) {
        std::lock_guard lock(s.mutex);
        s.requests.push_back(req.method + " " + req.target);
    });
    server.set_pre_routing_handler([&s](const httplib::Request &, httplib::Response &) {
        std::this_thread::sleep_for(s.setup.delay);
        return httplib::Server::HandlerResponse::Unhandled;
    });
    server.Get("/tr64desc.xml", [](const httplib::Request &, httplib::Response &res) {
        res.set_content("<?xml version=\"1.0\"?><root xmlns=\"urn:dslforum-org:device-1-0\"><device>"
                        "<deviceType>urn:dslforum-org:device:InternetGatewayDevice:1</deviceType>"
                        "<friendlyName>FRITZ!Box 7590 (fake)</friendlyName><manufacturer>AVM</manufacturer>"
                        "<modelName>FRITZ!Box 7590</modelName><serviceList><service><serviceType>" +
                            std::string(onTel) +
                            "</serviceType><controlURL>/upnp/control/x_contact</controlURL></service>"
                            "<service><serviceType>" +
                            voip +
                            "</serviceType><controlURL>/upnp/control/x_voip</controlURL></service>"
                            "</serviceList></device></root>\n",
                        "text/xml");
    });
    server.Post("/upnp/control/x_contact",
                [&s](const httplib::Request &req, httplib::Response &res) { s.soap(onTel, req, res); });
    server.Post("/upnp/control/x_voip",
                [&s](const httplib::Request &req, httplib::Response &res) { s.soap(voip, req, res); });
    server.Get("/phonebook.lua", [&s](const httplib::Request &req, httplib::Response &res) {
        res.status = 403;
        if (req.get_param_value("sid") != sessionId)
            return;
        for (const PhoneBook &book : s.setup.phoneBooks) {
            if (std::to_string(book.id) == req.get_param_value("pbid")) {
                res.status = 200;
                res.set_content(book.xml, "text/xml");
            }
        }
    });
    server.Get("/download.lua", [&s](const httplib::Request &req, httplib::Response &res) {
        res.status = 403;
        if (req.get_param_value("sid") != sessionId)
            return;
        auto file = s.setup.files.find(req.get_param_value("path"));
        res.status = file == s.setup.files.end() ? 404 : 200;
        if (res.status == 200)
            res.set_content(file->second, "image/jpeg");
    });
    s.port = port == 0 ? server.bind_to_any_port("127.0.0.1") : (server.bind_to_port("127.0.0.1", port) ? port : -1);
    if (s.port <= 0)
        throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port));
    s.thread = std::thread([&server] { server.listen_after_bind(); });
    // stop() before the thread listens would be lost and the thread would never end.
    while (!server.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

Service::~Service()
{
    stop();
    if (state->thread.joinable())
        state->thread.join();
}

int Service::port() const
{
    return state->port;
}

void Service::wait()
{
    if (state->thread.joinable())
        state->thread.join();
}

void Service::stop()
{
    state->server->stop();
}

std::vector<std::string> Service::requests() const
{
    std::lock_guard lock(state->mutex);
    return state->requests;
}

} // namespace faketr064
