// The router's TR-064 interface as a client sees it: SOAP actions behind HTTP digest authentication
// and plain downloads, over HTTP or HTTPS with a pinned certificate. libcurl does all of HTTP, TLS and
// digest; pugixml reads the answers. Every failure an owner can meet becomes a RouterError whose text
// says what to do.
#pragma once

#include <map>
#include <stdexcept>
#include <string>

namespace book
{

struct RouterError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct RouterAddress {
    std::string host = "fritz.box";
    int port = 0; // 0: 49000, or 49443 with https
    bool https = false;
    std::string fingerprint; // "sha256//..." of the certificate's public key; empty: none pinned
    bool insecure = false;   // https without any check of the certificate
    long timeoutSeconds = 10;

    int effectivePort() const { return port != 0 ? port : https ? 49443 : 49000; }
    std::string base() const; // "http://fritz.box:49000"
};

class Tr064Client
{
  public:
    Tr064Client(RouterAddress address, std::string user, std::string password);

    const RouterAddress &address() const { return where; }

    // The device description; RouterError when nothing or no TR-064 answers. Gives the model name.
    std::string describe();

    // One action; its out arguments by name. A SOAP fault becomes a RouterError naming the action.
    std::map<std::string, std::string> call(const std::string &service, const std::string &controlUrl,
                                            const std::string &action,
                                            const std::map<std::string, std::string> &arguments = {});

    // A file the router serves under `pathAndQuery` (no authentication beyond the session id in it).
    std::string download(const std::string &pathAndQuery, const std::string &what);

  private:
    RouterAddress where;
    std::string user, password;
};

// The certificate's fingerprint as `RouterAddress::fingerprint` takes it, read on a connection that
// sends nothing secret and checks nothing; for the owner to compare and pin.
std::string readFingerprint(const RouterAddress &address);

// The path and query of a URL the router handed out, whichever name it gave itself:
// "http://fritz.box:49000/phonebook.lua?sid=1" is "/phonebook.lua?sid=1"; a bare path stays as it is.
std::string pathOf(const std::string &url);

} // namespace book
