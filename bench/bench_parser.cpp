// Throughput of the call-event parser on a realistic router stream, in the
// reads the idle handler makes, beside a memchr scan of the same bytes: the
// machine's pace for looking at every byte once.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "firmware.h"
#include "temporaryReceiver.h"

#include "events/fritzbox.h"
#include "store/addressbook.h"
#include "store/callerlist.h"

namespace
{

constexpr size_t streamBytes = 1 << 20;
constexpr size_t readSize = 128;

// One read as the idle handler hands it over: the bytes and a terminator.
struct Chunk {
    std::array<char, readSize + 1> bytes;
    size_t size;
};

long messagesShown = 0;
void countMessage(const FBMessage *)
{
    ++messagesShown;
}

std::string line(const std::string &fields)
{
    return "08.12.26 18:30:00;" + fields + "\r\n";
}

// Calls as a household's router reports them: known and unknown callers,
// local numbers, missed and outgoing calls, calls to an own number outside
// the MSN list, on all four line pairs.
std::string householdStream(size_t bytes)
{
    std::string out;
    for (int n = 0; out.size() < bytes; ++n) {
        std::string id = std::to_string(n % 8);
        std::string known = "03012345" + std::to_string(10 + n % 40);
        std::string local = "76543" + std::to_string(10 + n % 90);
        switch (n % 4) {
        case 0:
            out += line("RING;" + id + ";" + known + ";5550001;SIP0;") + line("CONNECT;" + id + ";4;" + known + ";") +
                   line("DISCONNECT;" + id + ";" + std::to_string(n % 600) + ";");
            break;
        case 1: out += line("RING;" + id + ";" + local + ";5550002;SIP1;") + line("DISCONNECT;" + id + ";0;"); break;
        case 2:
            out += line("CALL;" + id + ";4;5550001;" + known + ";SIP0;") + line("CONNECT;" + id + ";4;" + known + ";") +
                   line("DISCONNECT;" + id + ";" + std::to_string(n % 3600) + ";");
            break;
        default: out += line("RING;" + id + ";" + known + ";5559999;SIP2;") + line("DISCONNECT;" + id + ";12;"); break;
        }
    }
    return out;
}

// Rings to an own number outside the MSN list and the ends of those calls:
// the line handler only tests the filter and the slot, so this is mostly
// the parser's own cost.
std::string filteredStream(size_t bytes)
{
    std::string out;
    for (int n = 0; out.size() < bytes; ++n) {
        std::string id = std::to_string(n % 8);
        out += line("RING;" + id + ";03012345" + std::to_string(10 + n % 40) + ";5559999;SIP2;") +
               line("DISCONNECT;" + id + ";" + std::to_string(n % 600) + ";");
    }
    return out;
}

std::vector<Chunk> reads(const std::string &stream)
{
    std::vector<Chunk> chunks;
    for (size_t at = 0; at < stream.size(); at += readSize) {
        Chunk c{};
        c.size = stream.copy(c.bytes.data(), readSize, at);
        c.bytes[c.size] = 0;
        chunks.push_back(c);
    }
    return chunks;
}

// A receiver with a 50-entry address book, as the program has it after start-up.
struct Receiver {
    sim::TemporaryReceiver booted;

    Receiver()
    {
        std::string book;
        for (int i = 0; i < 50; ++i)
            book += "03012345" + std::to_string(10 + i) + " = Name " + std::to_string(i) + ", pic" + std::to_string(i) +
                    ".jpg, info\n";
        sim::firmware().disk.writeFile("/ProgramFiles/Settings/Ringwatcher/addrbook.dat", book);
        sim::firmware().disk.changeFolder("/ProgramFiles/Settings/Ringwatcher");
        if (loadAddressBook("addrbook.dat") != ADRBOOK_OK)
            std::abort();
        setAreaCode("030");
        setMSNs("5550001 5550002");
        FritzBoxMonitor.displayCallback = countMessage;
    }
    ~Receiver()
    {
        unloadAddressBook();
        unloadCallerList();
    }
};

void feedStream(benchmark::State &state, const std::string &stream)
{
    Receiver receiver;
    const std::vector<Chunk> chunks = reads(stream);
    messagesShown = 0;
    for (auto _ : state) {
        for (const Chunk &c : chunks)
            handleData(c.bytes.data(), &FritzBoxMonitor);
        // The simulator keeps every debug line; the receiver does not.
        state.PauseTiming();
        sim::firmware().journal.clear();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.size()));
    state.counters["shown"] = benchmark::Counter(static_cast<double>(messagesShown), benchmark::Counter::kIsRate);
}

void memchrScan(benchmark::State &state, const std::string &stream)
{
    const std::vector<Chunk> chunks = reads(stream);
    for (auto _ : state) {
        long lines = 0;
        for (const Chunk &c : chunks) {
            const char *p = c.bytes.data();
            const char *end = p + c.size;
            while ((p = static_cast<const char *>(std::memchr(p, '\n', static_cast<size_t>(end - p)))) != nullptr) {
                ++lines;
                ++p;
            }
        }
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.size()));
}

void BM_HandleDataHousehold(benchmark::State &state)
{
    feedStream(state, householdStream(streamBytes));
}
void BM_HandleDataFiltered(benchmark::State &state)
{
    feedStream(state, filteredStream(streamBytes));
}
void BM_MemchrHousehold(benchmark::State &state)
{
    memchrScan(state, householdStream(streamBytes));
}

BENCHMARK(BM_HandleDataHousehold)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HandleDataFiltered)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemchrHousehold)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
