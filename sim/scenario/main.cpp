// ringwatcher-sim for the receiver's CPU and for Node.js (the browser build):
// runs scenario scripts in virtual
// time with the firmware core only (no text, JPEG or PNG drawing), so that
// its journal can be compared with the PC run of the same scripts.
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "firmware.h"
#include "scenario.h"

namespace fs = std::filesystem;

namespace
{

const char usage[] = "usage: ringwatcher-sim run SCRIPT... [--program FILE] [--disk DIR] [--journal FILE] [--echo]\n"
                     "\n"
                     "Runs scenario scripts in virtual time; the exit code is 1 on a failed\n"
                     "expectation or a leak, 2 on a usage error.\n"
                     "  --program FILE   the program file (default: ringwatcher.tap beside this executable)\n"
                     "  --disk DIR       folder copied to each scenario's fresh disk\n"
                     "  --journal FILE   write each scenario's firmware journal to this file\n"
                     "  --echo           the firmware journal on stderr as it happens\n"
                     "  --screenshots DIR, --goldens DIR\n"
                     "                   accepted for the PC's command line; pictures are not made here\n";

struct Arguments {
    std::vector<fs::path> scripts;
    fs::path program, disk, journal;
    bool echo = false;
};

// The PC decodes pictures; here a picture is only checked as far as the
// decoder reads before it starts on the pixels: the start-of-image marker,
// then marker segments up to the start of the scan, with a frame header and
// a quantisation table before it. So TAP_Osd_DrawJpeg journals the same
// result for a missing, foreign or broken file in both builds, while damage
// inside the compressed pixels, which the decoder only warns about, is not
// looked at. Nothing is drawn.
bool checkJpeg(const fs::path &file, int, int, sim::Surface &)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return false;
    std::vector<unsigned char> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (data.size() < 4 || data[0] != 0xFF || data[1] != 0xD8)
        return false;
    bool frame = false, quantisation = false;
    size_t pos = 2;
    while (pos + 4 <= data.size()) {
        if (data[pos] != 0xFF)
            return false;
        unsigned marker = data[pos + 1];
        if (marker == 0xFF) { // fill byte
            ++pos;
            continue;
        }
        size_t length = static_cast<size_t>(data[pos + 2]) << 8 | data[pos + 3];
        if (length < 2 || pos + 2 + length > data.size())
            return false;
        if (marker == 0xDA)
            return frame && quantisation;
        if (marker == 0xDB)
            quantisation = true;
        else if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
            frame = true;
        pos += 2 + length;
    }
    return false;
}

fs::path executableFolder()
{
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::current_path() : self.parent_path();
}

// False (with a message) on anything it does not understand.
bool parse(int argc, char **argv, Arguments &args)
{
    if (argc < 2 || std::strcmp(argv[1], "run") != 0) {
        std::fputs(usage, stderr);
        return false;
    }
    args.program = executableFolder() / "ringwatcher.tap";
    for (int i = 2; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](fs::path &out) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "%s needs a value\n", a.c_str());
                return false;
            }
            out = argv[++i];
            return true;
        };
        fs::path ignored;
        if (a == "--program") {
            if (!value(args.program))
                return false;
        } else if (a == "--disk") {
            if (!value(args.disk))
                return false;
        } else if (a == "--journal") {
            if (!value(args.journal))
                return false;
        } else if (a == "--screenshots" || a == "--goldens") {
            if (!value(ignored))
                return false;
        } else if (a == "--echo") {
            args.echo = true;
        } else if (a.starts_with("-")) {
            std::fprintf(stderr, "unknown option %s\n%s", a.c_str(), usage);
            return false;
        } else {
            args.scripts.emplace_back(a);
        }
    }
    if (args.scripts.empty()) {
        std::fputs(usage, stderr);
        return false;
    }
    for (const fs::path &script : args.scripts)
        if (!fs::is_regular_file(script)) {
            std::fprintf(stderr, "no such script: %s\n", script.c_str());
            return false;
        }
    if (!args.disk.empty() && !fs::is_directory(args.disk)) {
        std::fprintf(stderr, "no such folder: %s\n", args.disk.c_str());
        return false;
    }
    return true;
}

int run(const Arguments &args)
{
    sim::firmware().osd.setJpegDecoder(checkJpeg);
    sim::ScenarioOptions options;
    options.program = args.program;
    options.diskTemplate = args.disk;
    options.echo = args.echo;
#ifdef __EMSCRIPTEN__
    options.transport = sim::Transport::Memory; // no sockets in the browser build
#endif

    std::ofstream journal;
    if (!args.journal.empty()) {
        journal.open(args.journal, std::ios::binary);
        if (!journal) {
            std::fprintf(stderr, "cannot write %s\n", args.journal.c_str());
            return 2;
        }
    }
    int passed = 0, failed = 0;
    for (const fs::path &script : args.scripts) {
        sim::ScenarioResult result = sim::runScenarioFile(script, options);
        std::printf("%s%s\n", result.passed ? "ok   " : "FAIL ", script.c_str());
        for (const auto &failure : result.failures)
            std::printf("     %s\n", failure.c_str());
        if (journal.is_open())
            journal << "## " << script.string() << "\n" << result.journal;
        (result.passed ? passed : failed)++;
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(usage, stdout);
        return 0;
    }
    Arguments args;
    if (!parse(argc, argv, args))
        return 2;
    try {
        return run(args);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "ringwatcher-sim: %s\n", e.what());
        return 2;
    }
}
