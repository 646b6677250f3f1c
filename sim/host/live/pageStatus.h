// What the page shows of the program and the receiver, gathered from the
// simulator's models: the loader (running, or how it ended and what it
// showed last), the network (the program's router socket), the display
// (the texts on screen), the heap and the fake router's lines.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "network.h"
#include "receiver.h"

namespace sim
{

struct StatusFacts {
    Receiver::State program = Receiver::State::loaded;
    std::vector<std::string> lastShown; // Latin-1
    RouterSocketFacts router;
    bool fakeRouter = false;
    std::vector<std::string> lines; // the fake router's lines, when it is ours
    int routerClients = 0;
    uint32_t heapUsed = 0;
    size_t heapBlocks = 0;
    uint32_t heapSize = 0;
    uint32_t receiverState = 0;
    uint32_t receiverSubState = 0;
    uint64_t frame = 0;
    uint64_t textsVersion = 0;
    bool demoPaused = false;
    // While the program waits to connect: the receiver tick of its next
    // attempt (0: none to wait for).
    uint32_t nextAttemptTick = 0;
    bool operator==(const StatusFacts &) const = default;
};

// The facts as the page's status event; `texts` are the screen's (Latin-1);
// `tickNow` places receiver ticks on the wall clock.
std::string statusJson(const StatusFacts &facts, const std::vector<std::string> &texts, uint32_t tickNow);

// The start-up delay of the program's connection attempts as the settings
// give it, in ticks.
uint32_t settingsConnectDelay(const std::filesystem::path &disk);

// The numbers of the address book's people (the own line left out).
std::vector<std::string> bookNumbers(const std::filesystem::path &disk);

// One line on why the program is not running; empty while it runs.
std::string endReason(const StatusFacts &facts);

// The page's setup: the address book's callers for the call panel, the
// action key, what kind of router the program talks to, and whether a demo
// plays on it.
std::string setupJson(const std::filesystem::path &disk, bool fakeRouter, bool demo, const std::string &routerName);

} // namespace sim
