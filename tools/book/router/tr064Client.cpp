// TR-064 over libcurl. Each request is one easy handle: digest authentication costs a second round
// trip per action, which a handful of actions per run can afford.
#include "tr064Client.h"

#include <curl/curl.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <pugixml.hpp>

#include <memory>
#include <mutex>
#include <sstream>

namespace book
{

namespace
{

const char *accessHint = "is it the router, and is \"Zugriff f\303\274r Anwendungen zulassen\" switched on "
                         "(FRITZ!Box: Heimnetz > Netzwerk > Netzwerkeinstellungen)?";

struct Reply {
    long status = 0;
    std::string body;
    std::string certificate; // PEM, when asked for
};

struct Request {
    std::string path{};
    const std::string *post = nullptr;
    std::string soapAction{};
    const std::string *user = nullptr, *password = nullptr;
    bool certificate = false;
};

std::size_t collect(char *data, std::size_t size, std::size_t count, void *target)
{
    static_cast<std::string *>(target)->append(data, size * count);
    return size * count;
}

std::string hostPort(const RouterAddress &address)
{
    return address.host + ":" + std::to_string(address.effectivePort());
}

RouterError transferError(const RouterAddress &address, CURLcode code, const char *detail)
{
    std::string where = hostPort(address);
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
        return RouterError(address.host + ": no such host in the network; give the router's IP address, "
                                          "for example --router 192.168.178.1");
    case CURLE_COULDNT_CONNECT: return RouterError(where + " does not answer: " + accessHint);
    case CURLE_OPERATION_TIMEDOUT:
        return RouterError(where + " gave no answer within " + std::to_string(address.timeoutSeconds) +
                           " seconds (--timeout gives it longer)");
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        return RouterError(where + ": the certificate is not the one whose fingerprint --fingerprint gives. If "
                                   "the router has a new one (after an update or a reset), run again with "
                                   "--https alone to read it, and compare it with the router's web interface");
    case CURLE_SSL_CONNECT_ERROR:
        return RouterError(where + " does not speak HTTPS (" + detail +
                           "): leave out --https, or give the router's HTTPS port (49443) with --port");
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
        return RouterError(where + " closed the connection without an answer" +
                           (address.https ? "" : " (is it the HTTPS port? then add --https)"));
    default: return RouterError(where + ": " + (detail && *detail ? detail : curl_easy_strerror(code)));
    }
}

std::string certificateOf(CURL *curl)
{
    curl_certinfo *info = nullptr;
    if (curl_easy_getinfo(curl, CURLINFO_CERTINFO, &info) != CURLE_OK || !info || info->num_of_certs < 1)
        return "";
    for (curl_slist *item = info->certinfo[0]; item; item = item->next) {
        std::string field = item->data;
        if (field.rfind("Cert:", 0) == 0)
            return field.substr(5);
    }
    return "";
}

Reply perform(const RouterAddress &address, const Request &request)
{
    static std::once_flag initialised;
    std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> handle(curl_easy_init(), curl_easy_cleanup);
    if (!handle)
        throw RouterError("libcurl cannot start a transfer");
    CURL *curl = handle.get();
    Reply reply;
    char detail[CURL_ERROR_SIZE] = "";
    std::string url = address.base() + request.path;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, detail);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply.body);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, address.timeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, address.timeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(64) << 20);
    if (address.https) {
        // The router's certificate is self-signed: no authority vouches for it, its pinned key does.
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
        if (!address.fingerprint.empty())
            curl_easy_setopt(curl, CURLOPT_PINNEDPUBLICKEY, address.fingerprint.c_str());
        if (request.certificate)
            curl_easy_setopt(curl, CURLOPT_CERTINFO, 1L);
    }
    std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headers(nullptr, curl_slist_free_all);
    if (request.post) {
        curl_slist *list = curl_slist_append(nullptr, "Content-Type: text/xml; charset=\"utf-8\"");
        list = curl_slist_append(list, ("SOAPAction: \"" + request.soapAction + "\"").c_str());
        headers.reset(list);
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.post->c_str());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(request.post->size()));
    }
    if (request.user) {
        curl_easy_setopt(curl, CURLOPT_HTTPAUTH, CURLAUTH_DIGEST);
        curl_easy_setopt(curl, CURLOPT_USERNAME, request.user->c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, request.password->c_str());
    }
    CURLcode code = curl_easy_perform(curl);
    if (code != CURLE_OK)
        throw transferError(address, code, detail);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
    if (request.certificate)
        reply.certificate = certificateOf(curl);
    return reply;
}

pugi::xml_node childNamed(const pugi::xml_node &parent, const std::string &name)
{
    return parent.find_child([&name](const pugi::xml_node &node) {
        std::string full = node.name();
        auto colon = full.find(':');
        return (colon == std::string::npos ? full : full.substr(colon + 1)) == name;
    });
}

std::string soapEnvelope(const std::string &service, const std::string &action,
                         const std::map<std::string, std::string> &arguments)
{
    pugi::xml_document document;
    auto declaration = document.append_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    declaration.append_attribute("encoding") = "utf-8";
    auto envelope = document.append_child("s:Envelope");
    envelope.append_attribute("xmlns:s") = "http://schemas.xmlsoap.org/soap/envelope/";
    envelope.append_attribute("s:encodingStyle") = "http://schemas.xmlsoap.org/soap/encoding/";
    auto call = envelope.append_child("s:Body").append_child(("u:" + action).c_str());
    call.append_attribute("xmlns:u") = service.c_str();
    for (const auto &[name, value] : arguments)
        call.append_child(name.c_str()).text() = value.c_str();
    std::ostringstream out;
    document.save(out, "", pugi::format_raw);
    return out.str();
}

} // namespace

std::string RouterAddress::base() const
{
    return std::string(https ? "https" : "http") + "://" + host + ":" + std::to_string(effectivePort());
}

Tr064Client::Tr064Client(RouterAddress address, std::string user, std::string password)
    : where(std::move(address)), user(std::move(user)), password(std::move(password))
{
}

std::string Tr064Client::describe()
{
    Reply reply = perform(where, {.path = "/tr64desc.xml"});
    pugi::xml_document document;
    if (reply.status != 200 || !document.load_buffer(reply.body.data(), reply.body.size()) ||
        !document.child("root").child("device"))
        throw RouterError(hostPort(where) + " answers, but not as a router's TR-064 service (HTTP " +
                          std::to_string(reply.status) + " for /tr64desc.xml): " + accessHint);
    return document.child("root").child("device").child_value("modelName");
}

std::map<std::string, std::string> Tr064Client::call(const std::string &service, const std::string &controlUrl,
                                                     const std::string &action,
                                                     const std::map<std::string, std::string> &arguments)
{
    std::string body = soapEnvelope(service, action, arguments);
    Reply reply = perform(where, {.path = controlUrl,
                                  .post = &body,
                                  .soapAction = service + "#" + action,
                                  .user = &user,
                                  .password = &password});
    if (reply.status == 401)
        throw RouterError("the router refuses user \"" + user +
                          "\" with this password: check both (FRITZ!Box: System > FRITZ!Box-Benutzer)");
    pugi::xml_document document;
    pugi::xml_parse_result parsed = document.load_buffer(reply.body.data(), reply.body.size());
    if (!parsed)
        throw RouterError("the router's answer to " + action + " is no readable XML (" + parsed.description() +
                          " at byte " + std::to_string(parsed.offset) + ")");
    pugi::xml_node soapBody = childNamed(document.document_element(), "Body");
    if (pugi::xml_node fault = childNamed(soapBody, "Fault")) {
        pugi::xml_node error = childNamed(childNamed(fault, "detail"), "UPnPError");
        std::string code = childNamed(error, "errorCode").child_value();
        if (code == "606")
            throw RouterError("the router user \"" + user + "\" may not use " + action +
                              ": give the user the right for telephony (FRITZ!Box: System > FRITZ!Box-Benutzer, "
                              "\"Sprachnachrichten, Faxnachrichten, FRITZ!App Fon und Anrufliste\")");
        throw RouterError("the router refuses " + action + ": error " + (code.empty() ? "without a code" : code) + " " +
                          childNamed(error, "errorDescription").child_value());
    }
    pugi::xml_node response = childNamed(soapBody, action + "Response");
    if (reply.status != 200 || !response)
        throw RouterError("the router does not answer " + action + " at " + controlUrl + " (HTTP " +
                          std::to_string(reply.status) + "): is it a FRITZ!Box?");
    std::map<std::string, std::string> out;
    for (pugi::xml_node argument : response.children())
        out[argument.name()] = argument.child_value();
    return out;
}

std::string Tr064Client::download(const std::string &pathAndQuery, const std::string &what)
{
    Reply reply = perform(where, {.path = pathAndQuery});
    if (reply.status != 200)
        throw RouterError("the router does not hand out " + what + " (HTTP " + std::to_string(reply.status) + ")");
    return std::move(reply.body);
}

std::string readFingerprint(const RouterAddress &address)
{
    Reply reply = perform(address, {.path = "/tr64desc.xml", .certificate = true});
    std::unique_ptr<BIO, decltype(&BIO_free)> pem(
        BIO_new_mem_buf(reply.certificate.data(), static_cast<int>(reply.certificate.size())), BIO_free);
    std::unique_ptr<X509, decltype(&X509_free)> certificate(PEM_read_bio_X509(pem.get(), nullptr, nullptr, nullptr),
                                                            X509_free);
    if (!certificate)
        throw RouterError(hostPort(address) + " shows no certificate that could be read");
    unsigned char *der = nullptr;
    int length = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(certificate.get()), &der);
    if (length <= 0)
        throw RouterError(hostPort(address) + ": the certificate's key cannot be read");
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    EVP_Digest(der, static_cast<std::size_t>(length), digest, &digestLength, EVP_sha256(), nullptr);
    OPENSSL_free(der);
    unsigned char base64[4 * EVP_MAX_MD_SIZE];
    int written = EVP_EncodeBlock(base64, digest, static_cast<int>(digestLength));
    return "sha256//" + std::string(reinterpret_cast<char *>(base64), static_cast<std::size_t>(written));
}

std::string pathOf(const std::string &url)
{
    auto scheme = url.find("://");
    if (scheme == std::string::npos)
        return url.empty() || url[0] == '/' ? url : "/" + url;
    auto path = url.find('/', scheme + 3);
    return path == std::string::npos ? "/" : url.substr(path);
}

} // namespace book
