// Scenario scripts: a line-based story of what happens to the receiver
// (files on its disk, start, time passing, keys, router lines, faults,
// screenshots) and what must come of it, run in virtual time. The format is
// described in docs/scenarios.md.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "network.h"
#include "osd.h"

namespace sim
{

struct ScenarioOptions {
    std::filesystem::path program;       // ringwatcher.tap
    std::filesystem::path diskTemplate;  // copied to a fresh disk root; empty: empty disk
    std::filesystem::path screenshotDir; // where "screenshot" writes
    bool echo = false;                   // journal to stderr as it happens
    // The program's sockets: the host's, with the fake router on loopback,
    // or byte queues in memory (a build without sockets of its own).
    Transport transport = Transport::Tcp;
    // PC front end: PNG writing and golden comparison (absent on the receiver build).
    std::function<bool(const Surface &, const std::filesystem::path &)> writePng;
    std::function<std::optional<std::string>(const Surface &, const std::string &name)> compareGolden;
};

struct ScenarioResult {
    bool passed = true;
    std::vector<std::string> failures; // "line N: what went wrong"
    std::string journal;               // the firmware journal, one entry a line
};

ScenarioResult runScenario(std::string_view script, const ScenarioOptions &options);
ScenarioResult runScenarioFile(const std::filesystem::path &file, const ScenarioOptions &options);

} // namespace sim
