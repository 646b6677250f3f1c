// The cost of one idle event, the program's most frequent work: waiting for
// the start-up delay, and connected to the router with nothing waiting.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "fakerouter/fakeRouter.h"
#include "firmware.h"
#include "loader.h"
#include "network.h"
#include "receiver.h"
#include "temporaryReceiver.h"

namespace
{

struct Receiver {
    explicit Receiver(const char *settings)
    {
        sim::firmware().journalDrawing = false;
        sim::firmware().disk.writeFile("/ProgramFiles/Settings/Ringwatcher/ringwatcher.ini", settings);
        sim::firmware().disk.writeFile("/ProgramFiles/Settings/Ringwatcher/addrbook.dat", "5550001 = Zuhause\n");
        sim::network().setRouter("", router.port());
        // A private copy of the program file each time, so that every run of
        // a benchmark starts with fresh module state.
        std::string error;
        auto entries = sim::loadProgram(RW_TAP_FILE, true, &error);
        if (!entries)
            std::abort();
        receiver = std::make_unique<sim::Receiver>(*entries);
        receiver->start();
    }
    ~Receiver() { receiver->stop(); }
    sim::TemporaryReceiver booted;
    fakerouter::FakeRouter router{0};
    std::unique_ptr<sim::Receiver> receiver;
};

void idleWaitingForTheStartupDelay(benchmark::State &state)
{
    Receiver r("StartupConnectDelay = -1\n");
    for (auto _ : state)
        benchmark::DoNotOptimize(r.receiver->idle());
}
BENCHMARK(idleWaitingForTheStartupDelay);

void idleConnectedWithNothingWaiting(benchmark::State &state)
{
    Receiver r("StartupConnectDelay = 0\n");
    r.receiver->run(1);
    r.router.acceptPending(std::chrono::milliseconds(500));
    // The clock moves one tick per event, as on the receiver, so that the
    // periodic check for a closed connection is part of the figure.
    for (auto _ : state) {
        sim::firmware().clock.advance(1);
        benchmark::DoNotOptimize(r.receiver->idle());
    }
}
BENCHMARK(idleConnectedWithNothingWaiting);

} // namespace

BENCHMARK_MAIN();
