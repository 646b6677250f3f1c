// What a frame costs on its way to the browser page: the PNG encode of the
// whole 720 x 576 screen (the TV picture with a status bar over it), once as
// screenshots and goldens write it, once as the page's frame stream sends it
// to a new viewer; and the encode of the status bar's box alone, which is
// what the stream sends when a call comes in.
#include <benchmark/benchmark.h>

#include "osd.h"
#include "pngFile.h"

namespace
{

sim::Surface screen()
{
    sim::Surface s = sim::Osd::testPicture();
    for (int y = 56; y < 166; ++y)
        for (int x = 30; x < 690; ++x)
            s.at(x, y) = (x / 40 + y / 20) % 3 ? 0xFF203040 : 0xFFFFFFFF;
    return s;
}

void encode(benchmark::State &state, std::vector<unsigned char> (*how)(const sim::Surface &))
{
    sim::Surface s = screen();
    size_t bytes = 0;
    for (auto _ : state) {
        auto png = how(s);
        bytes = png.size();
        benchmark::DoNotOptimize(png.data());
    }
    state.counters["png_bytes"] = static_cast<double>(bytes);
}

sim::Surface statusBarBox(const sim::Surface &s)
{
    sim::Surface box;
    box.width = 660;
    box.height = 110;
    for (int y = 56; y < 166; ++y)
        for (int x = 30; x < 690; ++x)
            box.pixels.push_back(s.at(x, y));
    return box;
}

void BM_EncodePng(benchmark::State &state)
{
    encode(state, sim::encodePng);
}
void BM_EncodePngQuickly(benchmark::State &state)
{
    encode(state, sim::encodePngQuickly);
}
void BM_EncodeStatusBarQuickly(benchmark::State &state)
{
    encode(state, [](const sim::Surface &s) { return sim::encodePngQuickly(statusBarBox(s)); });
}
BENCHMARK(BM_EncodePng)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodePngQuickly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeStatusBarQuickly)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
