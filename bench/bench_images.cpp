// The program's pictures: decoding every packed image as TAP_Osd_PutGd
// does, beside a plain copy of the same pixels; and their packed size beside
// the raw pixels and beside zlib at its default level.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "imageCodec.h"
#include "images/images.h"

namespace
{

const TYPE_GrData *const images[] = {
    &_fritzmaincallGd,  &_fritzmainmsgGd,     &_covermainGd,           &_callinGd,           &_calloutGd,
    &_callinendGd,      &_calloutendGd,       &_callmissedGd,          &_telephonGd,         &_durationGd,
    &_lineGd,           &_attentionGd,        &_errorloadiniGd,        &_errorininiGd,       &_errorloadadrbookGd,
    &_errorinadrbookGd, &_errormemoryGd,      &_errorentriesadrbookGd, &_errorconnection2Gd, &_backteladrGd,
    &_symboladrbookGd,  &_symbolcalllistGd,   &_headeradrbookGd,       &_headercalllistGd,   &_sbselGd,
    &_piccoverGd,       &_callclockadrbookGd, &_linegreenGd,           &_lineredGd,          &_lineblueGd,
};

struct Decoded {
    std::vector<uint16_t> pixels;
    size_t packed = 0;
};

std::span<const uint8_t> packedData(const TYPE_GrData *gd)
{
    return {gd->data, sim::maxPackedSize(gd->width, gd->height)};
}

const std::vector<Decoded> &decodedImages()
{
    static const std::vector<Decoded> all = [] {
        std::vector<Decoded> out;
        for (const TYPE_GrData *gd : images) {
            Decoded d;
            if (!sim::decodeImage(packedData(gd), gd->width, gd->height, d.pixels, nullptr, &d.packed))
                std::abort();
            out.push_back(std::move(d));
        }
        return out;
    }();
    return all;
}

size_t rawBytes()
{
    size_t n = 0;
    for (const TYPE_GrData *gd : images)
        n += gd->size;
    return n;
}

void BM_DecodeImages(benchmark::State &state)
{
    std::vector<uint16_t> out;
    size_t used = 0;
    for (auto _ : state)
        for (const TYPE_GrData *gd : images) {
            sim::decodeImage(packedData(gd), gd->width, gd->height, out, nullptr, &used);
            benchmark::DoNotOptimize(out.data());
        }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * rawBytes()));
}

void BM_CopyPixels(benchmark::State &state)
{
    const auto &decoded = decodedImages();
    std::vector<uint16_t> out;
    for (auto _ : state)
        for (const Decoded &d : decoded) {
            out.resize(d.pixels.size());
            std::memcpy(out.data(), d.pixels.data(), d.pixels.size() * 2);
            benchmark::DoNotOptimize(out.data());
            benchmark::ClobberMemory();
        }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * rawBytes()));
}

// Sizes, not speed: the counters carry the figures.
void BM_PackedSize(benchmark::State &state)
{
    size_t packed = 0, zlibbed = 0;
    for (auto _ : state) {
        packed = zlibbed = 0;
        for (const Decoded &d : decodedImages()) {
            packed += d.packed;
            uLongf length = compressBound(d.pixels.size() * 2);
            std::vector<Bytef> out(length);
            compress2(out.data(), &length, reinterpret_cast<const Bytef *>(d.pixels.data()), d.pixels.size() * 2,
                      Z_DEFAULT_COMPRESSION);
            zlibbed += length;
        }
    }
    state.counters["raw"] = static_cast<double>(rawBytes());
    state.counters["packed"] = static_cast<double>(packed);
    state.counters["zlib"] = static_cast<double>(zlibbed);
}

BENCHMARK(BM_DecodeImages)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CopyPixels)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PackedSize)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

BENCHMARK_MAIN();
