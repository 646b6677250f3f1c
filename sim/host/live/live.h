// Live mode: the program in the simulated receiver on the real clock, with
// idle events about a hundred times a second, keys from the browser page and
// a router over real TCP (in-process fake router or an external one). Also
// the latency measurement from a router line to the frame that shows it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "typesetter.h"

namespace sim
{

struct LiveOptions {
    std::filesystem::path program;
    std::filesystem::path disk;        // the receiver's disk; empty: an empty temporary one
    std::filesystem::path tvPicture;   // PNG 720 x 576; empty: the built-in test picture
    std::filesystem::path framesDir;   // every published frame as a PNG; empty: none
    std::filesystem::path journalFile; // the firmware journal as it happens; empty: none
    bool echo = false;                 // the journal on stderr

    // Router: an external one at routerAddress:routerPort when the port is not
    // 0, else the in-process fake router playing routerScript (may be empty).
    std::string routerAddress;
    uint16_t routerPort = 0;
    std::filesystem::path routerScript;
    bool loopScript = false; // the script starts again once it has played
    // The program's network as byte queues in this process, the in-process
    // fake router on the other end (no sockets of the host at all).
    bool memoryNetwork = false;

    std::string bindAddress = "127.0.0.1";
    std::vector<std::string> allowedHosts; // further names the page answers to (a tablet on the home network)
    int httpPort = 8080;                   // -1: no page; 0: any free port
    double seconds = 0;                    // end after this long; 0: at Ctrl-C or the program's end

    // Latency measurement: this many router lines, each timed from its write
    // to the frame that shows it. Uses the in-process router.
    int latencyLines = 0;
    std::string ownNumber = "5550001"; // the dialled own number of the measured lines
};

// Returns the process exit code.
int runLive(const LiveOptions &options, const Typesetter &typesetter);

// Order statistics of a latency sample, in milliseconds.
struct LatencySummary {
    size_t count = 0;
    double median = 0, p99 = 0, max = 0, mean = 0;
};
LatencySummary summarize(std::vector<double> samples);

} // namespace sim
