// What the call-event tests share: a simulated receiver whose parser record
// shows messages on a recording display, router lines in the router's
// format, and the caller list read back as values.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "firmware_fixture.h"

#include "events/fritzbox.h"
#include "store/addressbook.h"
#include "store/callerlist.h"

namespace events_test
{

// One call of the display callback: the message and the parser record as
// they were at that moment.
struct Shown {
    FBMessage message;
    MonitorState monitor;
};

struct Call {
    int time;
    int duration;
    int state;
    std::string number;
    bool operator==(const Call &) const = default;
};

// Readable one-line forms, so that a failed comparison shows the difference.
std::string describe(const FBMessage &message);
std::string describe(const MonitorState &monitor);

std::vector<Shown> &shown();
void recordMessage(const FBMessage *message);

// A router line: a timestamp field, the given fields, CR LF.
std::string routerLine(std::string_view fields);
std::string ring(int id, std::string_view caller, std::string_view own);
std::string call(int id, std::string_view own, std::string_view called);
std::string connect(int id, std::string_view number);
std::string disconnect(int id, std::string_view seconds);

// The texts the line handler writes, Latin-1 as the program holds them.
inline constexpr const char *incomingText = "Eingehender Anruf f\374r ";
inline constexpr const char *outgoingText = "Ausgehendes Gespr\344ch von: ";

// Start of virtual time (the fixture's clock), as getCurrentTime reads it in UTC.
inline constexpr int clockStart = 1796754600;

class EventTest : public test::FirmwareTest
{
  protected:
    void SetUp() override;
    void TearDown() override;

    // Hands the bytes to the parser as the router connection does: chunks of
    // at most `chunk` bytes, each with a terminator.
    void feed(std::string_view bytes, size_t chunk = 128);
    // Writes addrbook.dat into the settings folder and loads it.
    void loadBook(const std::string &contents);
    std::vector<Call> callerList() const; // newest first
    std::vector<std::string> messageTexts() const;
    int countPrints(std::string_view text) { return static_cast<int>(journal().countPrints(text)); }
};

} // namespace events_test
