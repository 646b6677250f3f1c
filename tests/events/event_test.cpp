#include "event_test.h"

#include <algorithm>
#include <cstring>

namespace events_test
{

std::string describe(const FBMessage &m)
{
    return "type " + std::to_string(m.type) + ", line " + std::to_string(m.line) + ", duration " +
           std::to_string(m.duration) + ", text \"" + sim::escapeText(m.text) + "\", title \"" +
           sim::escapeText(m.title) + "\", picture \"" + sim::escapeText(m.picture) + "\", info \"" +
           sim::escapeText(m.info) + "\"";
}

std::string describe(const MonitorState &m)
{
    return "field " + std::to_string(m.fieldIndex) + ", chars " + std::to_string(m.charCnt) + ", command " +
           std::to_string(m.command) + ", id " + std::to_string(m.connectionId) + ", token \"" +
           sim::escapeText(m.token) + "\", params \"" + sim::escapeText(m.param3) + "\" \"" +
           sim::escapeText(m.param4) + "\" \"" + sim::escapeText(m.param5) + "\" \"" + sim::escapeText(m.param6) + "\"";
}

std::vector<Shown> &shown()
{
    static std::vector<Shown> messages;
    return messages;
}

void recordMessage(const FBMessage *message)
{
    shown().push_back({*message, FritzBoxMonitor});
}

std::string routerLine(std::string_view fields)
{
    return "08.12.26 18:30:00;" + std::string(fields) + "\r\n";
}

std::string ring(int id, std::string_view caller, std::string_view own)
{
    return routerLine("RING;" + std::to_string(id) + ";" + std::string(caller) + ";" + std::string(own) + ";SIP0;");
}

std::string call(int id, std::string_view own, std::string_view called)
{
    return routerLine("CALL;" + std::to_string(id) + ";4;" + std::string(own) + ";" + std::string(called) + ";SIP1;");
}

std::string connect(int id, std::string_view number)
{
    return routerLine("CONNECT;" + std::to_string(id) + ";4;" + std::string(number) + ";");
}

std::string disconnect(int id, std::string_view seconds)
{
    return routerLine("DISCONNECT;" + std::to_string(id) + ";" + std::string(seconds) + ";");
}

void EventTest::SetUp()
{
    FirmwareTest::SetUp();
    shown().clear();
    // As TAP_Main prepares the record, with the recording display.
    FritzBoxMonitor.displayCallback = recordMessage;
    FritzBoxMonitor.fieldIndex = 0;
    FritzBoxMonitor.charCnt = 0;
}

void EventTest::TearDown()
{
    unloadCallerList();
    unloadAddressBook();
    EXPECT_EQ(leaks(), std::vector<std::string>{});
    FirmwareTest::TearDown();
}

void EventTest::feed(std::string_view bytes, size_t chunk)
{
    for (size_t at = 0; at < bytes.size(); at += chunk) {
        std::string piece(bytes.substr(at, chunk));
        handleData(piece.c_str(), &FritzBoxMonitor);
    }
}

void EventTest::loadBook(const std::string &contents)
{
    writeAddressBook(contents);
    enterSettingsFolder();
    ASSERT_EQ(loadAddressBook("addrbook.dat"), ADRBOOK_OK);
}

std::vector<Call> EventTest::callerList() const
{
    std::vector<Call> out;
    for (const CallEntry *e = getCallerList(); e != nullptr; e = e->older)
        out.push_back({e->time, e->duration, e->state, e->number});
    return out;
}

std::vector<std::string> EventTest::messageTexts() const
{
    std::vector<std::string> out;
    for (const Shown &s : shown())
        out.emplace_back(s.message.text);
    return out;
}

} // namespace events_test
