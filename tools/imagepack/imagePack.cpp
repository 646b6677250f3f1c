// imagepack: packs the program's art PNGs into one C++ source of image
// descriptors (_<name>Gd) and packed pixels (_<name>Cpm), and reports sizes.
// Any missing, unreadable or wrongly sized picture fails the build.
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "imageCodec.h"
#include "pngImage.h"

namespace fs = std::filesystem;

namespace
{

constexpr std::string_view kUsage = "usage: imagepack --output FILE.cpp [--report FILE.txt] [--include HEADER]\n"
                                    "                 ART.png[=WxH]...\n"
                                    "Each ART.png becomes _<ART>Gd and _<ART>Cpm; with =WxH its size must match.\n";

struct Request {
    fs::path path;
    std::string name;
    uint32_t width = 0; // 0: any size
    uint32_t height = 0;
};

struct Packed {
    std::string name;
    uint32_t width;
    uint32_t height;
    std::vector<uint8_t> data;
};

struct Options {
    fs::path output;
    fs::path report;
    std::vector<std::string> includes;
    std::vector<Request> images;
};

bool parseNumber(std::string_view text, uint32_t &value)
{
    const auto *end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && value > 0;
}

bool isIdentifier(std::string_view name)
{
    if (name.empty()) {
        return false;
    }
    for (char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
        if (!ok) {
            return false;
        }
    }
    return true;
}

// "art/callin.png=26x25" or "art/callin.png".
bool parseImage(std::string_view arg, Request &request, std::string &error)
{
    std::string_view file = arg;
    const auto eq = arg.rfind('=');
    if (eq != std::string_view::npos) {
        file = arg.substr(0, eq);
        const std::string_view size = arg.substr(eq + 1);
        const auto x = size.find('x');
        if (x == std::string_view::npos || !parseNumber(size.substr(0, x), request.width) ||
            !parseNumber(size.substr(x + 1), request.height)) {
            error = "bad size '" + std::string(size) + "' (want WIDTHxHEIGHT)";
            return false;
        }
    }
    request.path = fs::path(file);
    if (request.path.extension() != ".png") {
        error = "not a .png file name";
        return false;
    }
    request.name = request.path.stem().string();
    if (!isIdentifier(request.name)) {
        error = "file name '" + request.name + "' is not a C identifier";
        return false;
    }
    return true;
}

bool parseOptions(int argc, char **argv, Options &options)
{
    std::set<std::string> names;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--output" && hasValue) {
            options.output = argv[++i];
        } else if (arg == "--report" && hasValue) {
            options.report = argv[++i];
        } else if (arg == "--include" && hasValue) {
            options.includes.emplace_back(argv[++i]);
        } else if (arg.starts_with("-")) {
            std::cerr << "imagepack: unknown or incomplete option " << arg << "\n" << kUsage;
            return false;
        } else {
            Request request;
            std::string error;
            if (!parseImage(arg, request, error)) {
                std::cerr << "imagepack: " << arg << ": " << error << "\n";
                return false;
            }
            if (!names.insert(request.name).second) {
                std::cerr << "imagepack: image name '" << request.name << "' given twice\n";
                return false;
            }
            options.images.push_back(std::move(request));
        }
    }
    if (options.output.empty() || options.images.empty()) {
        std::cerr << kUsage;
        return false;
    }
    return true;
}

bool pack(const Request &request, Packed &packed)
{
    imagepack::Image image;
    std::string error;
    if (!imagepack::readPng(request.path, image, error)) {
        std::cerr << "imagepack: " << request.path.string() << ": " << error << "\n";
        return false;
    }
    if (request.width != 0 && (image.width != request.width || image.height != request.height)) {
        std::cerr << "imagepack: " << request.path.string() << ": image is " << image.width << "x" << image.height
                  << ", must be " << request.width << "x" << request.height << "\n";
        return false;
    }
    if (image.width > sim::kMaxImageSide || image.height > sim::kMaxImageSide) {
        std::cerr << "imagepack: " << request.path.string() << ": larger than " << sim::kMaxImageSide
                  << " pixels on a side\n";
        return false;
    }
    packed = {request.name, image.width, image.height, sim::encodeImage(image.pixels, image.width, image.height)};
    // Unpack once more so that a codec fault shows up here, not on screen.
    std::vector<uint16_t> check;
    if (!sim::decodeImage(packed.data, image.width, image.height, check, &error) || check != image.pixels) {
        std::cerr << "imagepack: " << request.path.string() << ": packing does not round-trip " << error << "\n";
        return false;
    }
    return true;
}

std::string source(const Options &options, const std::vector<Packed> &images)
{
    constexpr std::string_view kExport = "extern \"C\" __attribute__((visibility(\"default\"))) ";
    std::ostringstream out;
    out << "// Generated by imagepack from the art PNGs; edit the art, not this file.\n"
        << "#include \"platform/tap.h\"\n";
    for (const auto &include : options.includes) {
        out << "#include \"" << include << "\"\n";
    }
    for (const auto &image : images) {
        const uint32_t raw = image.width * image.height * 2;
        out << "\n// " << image.name << ": " << image.width << "x" << image.height << ", " << raw << " bytes unpacked, "
            << image.data.size() << " packed\n"
            << kExport << "const unsigned char _" << image.name << "Cpm[] = {";
        for (size_t i = 0; i < image.data.size(); ++i) {
            out << (i % 20 == 0 ? "\n    " : " ") << static_cast<unsigned>(image.data[i]) << ",";
        }
        out << "\n};\n"
            << kExport << "const TYPE_GrData _" << image.name << "Gd = {1, 0, OSD_1555, _" << image.name << "Cpm, "
            << raw << ", " << image.width << ", " << image.height << "};\n";
    }
    return out.str();
}

std::string report(const std::vector<Packed> &images)
{
    std::ostringstream out;
    size_t totalRaw = 0;
    size_t totalPacked = 0;
    char line[128];
    std::snprintf(line, sizeof line, "%-22s %9s %9s %9s %6s\n", "image", "size", "raw", "packed", "ratio");
    out << line;
    const auto row = [&](const std::string &name, const std::string &size, size_t raw, size_t packed) {
        std::snprintf(line, sizeof line, "%-22s %9s %9zu %9zu %5.1f%%\n", name.c_str(), size.c_str(), raw, packed,
                      100.0 * static_cast<double>(packed) / static_cast<double>(raw));
        out << line;
    };
    for (const auto &image : images) {
        const size_t raw = size_t{image.width} * image.height * 2;
        row(image.name, std::to_string(image.width) + "x" + std::to_string(image.height), raw, image.data.size());
        totalRaw += raw;
        totalPacked += image.data.size();
    }
    row("total", std::to_string(images.size()) + " images", totalRaw, totalPacked);
    return out.str();
}

// Written beside the target and renamed over it, so that a failed run never
// leaves a half-written file that the build would take as up to date.
bool writeFile(const fs::path &path, const std::string &text)
{
    fs::path temp = path;
    temp += ".tmp";
    {
        std::ofstream file(temp, std::ios::binary | std::ios::trunc);
        file << text;
        if (!file.flush()) {
            std::cerr << "imagepack: cannot write " << temp.string() << "\n";
            return false;
        }
    }
    std::error_code ec;
    fs::rename(temp, path, ec);
    if (ec) {
        std::cerr << "imagepack: cannot write " << path.string() << ": " << ec.message() << "\n";
        fs::remove(temp, ec);
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    if (!parseOptions(argc, argv, options)) {
        return 2;
    }
    std::vector<Packed> images;
    bool ok = true;
    for (const auto &request : options.images) {
        Packed packed;
        if (pack(request, packed)) {
            images.push_back(std::move(packed));
        } else {
            ok = false; // go on, so that one run lists every broken picture
        }
    }
    if (!ok) {
        std::error_code ec;
        fs::remove(options.output, ec);
        return 1;
    }
    if (!writeFile(options.output, source(options, images))) {
        return 1;
    }
    const std::string sizes = report(images);
    if (options.report.empty()) {
        std::cout << sizes;
        return 0;
    }
    if (!writeFile(options.report, sizes)) {
        return 1;
    }
    // The build log gets the total; the table is in the report file.
    std::cout << "imagepack: " << sizes.substr(sizes.rfind("total")) << "imagepack: sizes in "
              << options.report.string() << "\n";
    return 0;
}
