// A fake FritzBox TR-064 service on loopback: the device description, the phone-book and own-number
// actions over SOAP behind HTTP digest authentication, the phone books and contact pictures behind a
// session id, and the ways a router lets its clients down (wrong password, a user without the
// telephony right, SOAP faults, slow answers, broken XML). HTTP, or HTTPS with a given certificate.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace faketr064
{

struct PhoneBook {
    int id = 0;
    std::string name;
    std::string xml; // the export as the router serves it
};

struct OwnNumber {
    std::string number, type = "eVoIP", name;
};

struct Setup {
    std::string user = "ringwatcher";
    std::string password = "geheim";
    std::vector<PhoneBook> phoneBooks;
    std::map<std::string, std::string> files; // path on the router ("/var/media/...") -> bytes
    std::vector<OwnNumber> numbers;
    std::string areaCode = "030";
    bool telephonyRight = true;           // false: the telephony actions answer fault 606
    std::map<std::string, int> faults;    // action -> UPnP error code it answers with
    std::chrono::milliseconds delay{0};   // before every answer
    bool malformed = false;               // SOAP answers cut off in the middle
    std::string certificateFile, keyFile; // both given: HTTPS
    std::string hostName = "fritz.box";   // how the router names itself in the URLs it hands out
};

inline constexpr const char *sessionId = "4f1c2b3a5d6e7f80";

class Service
{
  public:
    // Listens on 127.0.0.1, on `port` or, with 0, on a free port; answers on a thread of its own.
    explicit Service(Setup setup, int port = 0);
    ~Service();
    Service(const Service &) = delete;
    Service &operator=(const Service &) = delete;

    int port() const;
    // Blocks until stop() is called from elsewhere (the command-line tool).
    void wait();
    void stop();
    // "METHOD target" of every request, for tests that check what a client asked.
    std::vector<std::string> requests() const;

  private:
    struct State;
    std::unique_ptr<State> state;
};

} // namespace faketr064
