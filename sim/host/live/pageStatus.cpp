#include "pageStatus.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <fstream>

#include "journalDrain.h"
#include "platform/keys.h"
#include "remote.h"

namespace sim
{

namespace
{

namespace fs = std::filesystem;

std::string trim(const std::string &t)
{
    auto a = t.find_first_not_of(" \t\r\n");
    auto b = t.find_last_not_of(" \t\r\n");
    return a == std::string::npos ? std::string() : t.substr(a, b - a + 1);
}

struct Caller {
    std::string number, name; // Latin-1
};

// The address book's entries: comment lines skipped, "number = name,
// picture, info"; the first entry is the household's own number, never
// listed.
std::vector<Caller> bookEntries(const fs::path &disk)
{
    std::vector<Caller> callers;
    std::ifstream in(disk / "ProgramFiles/Settings/Ringwatcher/addrbook.dat", std::ios::binary);
    std::string line;
    bool first = true;
    while (std::getline(in, line) && callers.size() < 200) {
        line = trim(line);
        auto equals = line.find('=');
        if (line.empty() || line[0] == '#' || equals == std::string::npos)
            continue;
        std::string value = trim(line.substr(equals + 1));
        if (!first)
            callers.push_back({trim(line.substr(0, equals)), trim(value.substr(0, value.find(',')))});
        first = false;
    }
    return callers;
}

// Every value the settings file gives `name`, in order.
std::vector<std::string> settingValues(const fs::path &disk, const std::string &name)
{
    std::vector<std::string> values;
    std::ifstream in(disk / "ProgramFiles/Settings/Ringwatcher/ringwatcher.ini", std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        auto equals = line.find('=');
        if (equals != std::string::npos && trim(line.substr(0, equals)) == name)
            values.push_back(line.substr(equals + 1));
    }
    return values;
}

// The action key as the settings name it, so that the remote's button
// sends the key the program listens to.
uint32_t settingsActionKey(const fs::path &disk)
{
    uint32_t key = DEFAULT_ACTION_KEY;
    for (const std::string &value : settingValues(disk, "ActionKey")) {
        auto code = static_cast<uint32_t>(std::atoi(value.c_str()));
        bool taken = false;
        for (const RemoteKey &k : remoteKeys)
            taken |= k.name != "action" && k.code == code;
        if (!taken)
            key = code;
    }
    return key;
}

const char *endName(ConnectionEnd end)
{
    switch (end) {
    case ConnectionEnd::None: return "";
    case ConnectionEnd::ByRouter: return "closed by the router";
    case ConnectionEnd::Reset: return "reset by the router";
    case ConnectionEnd::ByProgram: return "closed by the program";
    case ConnectionEnd::Refused: return "refused";
    case ConnectionEnd::NoAnswer: return "no answer";
    }
    return "";
}

} // namespace

std::string endReason(const StatusFacts &f)
{
    switch (f.program) {
    case Receiver::State::loaded:
    case Receiver::State::running: return "";
    case Receiver::State::notResident: return "the program did not stay resident";
    case Receiver::State::stopped: return "stopped by the stop event";
    case Receiver::State::endedItself: break;
    }
    // Without a standing connection and with its last attempt or
    // connection gone wrong, the program gave up on the router.
    bool lostRouter =
        !f.router.connected && f.router.lastEnd != ConnectionEnd::None && f.router.lastEnd != ConnectionEnd::ByProgram;
    return lostRouter ? "no connection to the router" : "the program ended itself";
}

uint32_t settingsConnectDelay(const fs::path &disk)
{
    uint32_t delay = 3000;
    for (const std::string &value : settingValues(disk, "StartupConnectDelay"))
        delay = static_cast<uint32_t>(std::atoi(value.c_str())) * 100;
    return delay;
}

std::vector<std::string> bookNumbers(const fs::path &disk)
{
    std::vector<std::string> numbers;
    for (const Caller &c : bookEntries(disk))
        if (!c.number.empty())
            numbers.push_back(c.number);
    return numbers;
}

std::string statusJson(const StatusFacts &f, const std::vector<std::string> &texts, uint32_t tickNow)
{
    nlohmann::json shown = nlohmann::json::array(), screen = nlohmann::json::array();
    for (const auto &t : f.lastShown)
        shown.push_back(utf8(t));
    for (const auto &t : texts)
        screen.push_back(utf8(t));
    bool running = f.program == Receiver::State::running || f.program == Receiver::State::loaded;
    nlohmann::json state = {
        {"running", running},
        {"ended", endReason(f)},
        {"lastShown", shown},
        {"connected", f.router.connected && running},
        {"connectedSince", f.router.connectedSince},
        {"lastEnd", endName(f.router.lastEnd)},
        {"attempts", f.router.attempts},
        {"fakeRouter", f.fakeRouter},
        {"lines", f.fakeRouter ? nlohmann::json(f.lines) : nlohmann::json(nullptr)},
        {"routerClients", f.routerClients},
        {"heapUsed", f.heapUsed},
        {"heapBlocks", f.heapBlocks},
        {"heapSize", f.heapSize},
        {"normalViewing", f.receiverState == 0 && f.receiverSubState == 0x1F},
        {"receiverState", std::to_string(f.receiverState) + "/" + std::to_string(f.receiverSubState)},
        {"frame", f.frame},
        {"screenText", screen},
        {"demoPaused", f.demoPaused},
        {"nextAttemptAt", nullptr},
    };
    if (f.nextAttemptTick != 0 && running) {
        using namespace std::chrono;
        auto wallNow = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
        int32_t ticksLeft = static_cast<int32_t>(f.nextAttemptTick - tickNow);
        state["nextAttemptAt"] = wallNow + std::max<int32_t>(0, ticksLeft) * 10;
    }
    return state.dump();
}

std::string setupJson(const fs::path &disk, bool fakeRouter, bool demo, const std::string &routerName)
{
    nlohmann::json callers = nlohmann::json::array();
    for (const Caller &c : bookEntries(disk))
        callers.push_back({{"number", utf8(c.number)}, {"name", utf8(c.name)}});
    nlohmann::json setup = {{"callers", callers},
                            {"actionKey", settingsActionKey(disk)},
                            {"router", fakeRouter},
                            {"demo", demo},
                            {"routerName", routerName}};
    return setup.dump();
}

} // namespace sim
