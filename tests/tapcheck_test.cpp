// tapcheck against small programs built here: a clean one for the PC and the receiver, and faulty
// ones that each break one loader rule, plus damaged files and interface-list changes.
#include "checks.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace
{

namespace fs = std::filesystem;

struct CommandResult {
    int exitCode = -1;
    std::string output; // stdout and stderr together
};

std::string shellQuote(const std::string &word)
{
    std::string quoted = "'";
    for (char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

CommandResult run(const std::vector<std::string> &args)
{
    std::string command;
    for (const std::string &arg : args)
        command += shellQuote(arg) + ' ';
    command += "2>&1";
    CommandResult result;
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe) {
        result.output = "popen failed for " + command;
        return result;
    }
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.output.append(buffer, n);
    int status = pclose(pipe);
    // A signal (a crash of tapcheck) shows as 128 + signal, never as one of tapcheck's own codes.
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    return result;
}

// One folder per test process, removed when the process ends.
const fs::path &workDir()
{
    struct Folder {
        fs::path path = fs::temp_directory_path() / ("tapcheck-test-" + std::to_string(getpid()));
        Folder() { fs::create_directories(path); }
        ~Folder()
        {
            std::error_code ignored;
            fs::remove_all(path, ignored);
        }
    };
    static Folder folder;
    return folder.path;
}

enum class Target { Pc, Receiver };

bool haveReceiverCompiler()
{
    std::string compiler = MIPSEL_CXX;
    return !compiler.empty() && compiler.find("NOTFOUND") == std::string::npos;
}

struct Build {
    fs::path program;
    CommandResult compile;
};

// The program's own build rules: shared, position-independent, no C++ runtime, nothing exported
// by default, and without the C library unless a case links it on purpose.
Build buildProgram(const std::string &name, Target target, const std::vector<std::string> &extraFlags,
                   bool linkLibc = false, bool objectOnly = false)
{
    Build build;
    build.program = workDir() / (name + (objectOnly ? ".o" : ".tap"));
    std::vector<std::string> args = {target == Target::Pc ? HOST_CXX : MIPSEL_CXX};
    if (target == Target::Receiver)
        args.push_back("-march=mips32");
    for (const char *flag : {"-O2", "-fPIC", "-fno-exceptions", "-fno-rtti", "-fno-threadsafe-statics",
                             "-fno-stack-protector", "-fvisibility=hidden", "-w"})
        args.push_back(flag);
    args.push_back(objectOnly ? "-c" : "-shared");
    if (!linkLibc && !objectOnly)
        args.push_back("-nostdlib");
    args.push_back("-I" TAP_PLATFORM_DIR);
    args.insert(args.end(), extraFlags.begin(), extraFlags.end());
    args.insert(args.end(), {FIXTURE_SOURCE, "-o", build.program.string()});
    if (!linkLibc && !objectOnly)
        args.push_back("-lgcc");
    build.compile = run(args);
    return build;
}

CommandResult tapcheck(const fs::path &program, std::vector<std::string> options = {})
{
    std::vector<std::string> args = {TAPCHECK_EXE, program.string(), "--interface", TAPCHECK_INTERFACE};
    args.insert(args.end(), options.begin(), options.end());
    return run(args);
}

std::string violationCount(int count)
{
    return "tapcheck: " + std::to_string(count) + (count == 1 ? " violation\n" : " violations\n");
}

std::string readFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const fs::path &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

TEST(TapcheckCleanProgram, PcBuildPassesWithEveryPartDecoded)
{
    Build build = buildProgram("clean-pc", Target::Pc, {});
    ASSERT_EQ(build.compile.exitCode, 0) << build.compile.output;
    CommandResult result = tapcheck(build.program);
    EXPECT_EQ(result.exitCode, 0) << result.output;
    const std::string &out = result.output;
    EXPECT_NE(out.find("ELF64, little-endian, x86-64, shared object"), std::string::npos) << out;
    EXPECT_TRUE(
        std::regex_search(out, std::regex(R"(__tap_etc_str__ \(64 bytes\) = "[A-Z][a-z]{2} [ 123][0-9] [0-9]{4}")")))
        << out;
    EXPECT_NE(out.find(R"(__tap_Header__ (32 bytes) = "TFAPMIPS\020\000\000\000")"), std::string::npos) << out;
    EXPECT_NE(out.find(R"(__tap_program_name__ (64 bytes) = "Ringwatcher 1.2")"), std::string::npos) << out;
    EXPECT_NE(out.find("__tap_ud__ (4 bytes) = 0x2a17f00d"), std::string::npos) << out;
    EXPECT_NE(out.find("entries    __TAP_Init_ TAP_Main TAP_EventHandler"), std::string::npos) << out;
    EXPECT_NE(out.find("_barGd: 24-byte descriptor, 4 x 3, size 24 -> _barCpm (8 bytes)"), std::string::npos) << out;
    EXPECT_NE(out.find("_dotGd: 24-byte descriptor, 2 x 2, size 8 -> _dotCpm (4 bytes)"), std::string::npos) << out;
    EXPECT_NE(out.find("imports    6 firmware:"), std::string::npos) << out;
    EXPECT_NE(out.find("imports    1 libc: strlen"), std::string::npos) << out;
    EXPECT_NE(out.find("needed     none"), std::string::npos) << out;
    EXPECT_NE(out.find("image data 12 bytes"), std::string::npos) << out;
    EXPECT_NE(out.find("tapcheck: clean"), std::string::npos) << out;
}

TEST(TapcheckCleanProgram, ReceiverBuildPassesAsMips32WithSixteenByteDescriptors)
{
    if (!haveReceiverCompiler())
        GTEST_SKIP() << "no mipsel-linux-gnu-g++";
    Build build = buildProgram("clean-receiver", Target::Receiver, {});
    ASSERT_EQ(build.compile.exitCode, 0) << build.compile.output;
    CommandResult result = tapcheck(build.program);
    EXPECT_EQ(result.exitCode, 0) << result.output;
    const std::string &out = result.output;
    EXPECT_NE(out.find("ELF32, little-endian, MIPS, shared object"), std::string::npos) << out;
    EXPECT_NE(out.find("isa        MIPS32 (release 1), o32, pic, cpic"), std::string::npos) << out;
    EXPECT_NE(out.find("abiflags ISA level 32 release 1"), std::string::npos) << out;
    EXPECT_NE(out.find("_barGd: 16-byte descriptor, 4 x 3, size 24 -> _barCpm (8 bytes)"), std::string::npos) << out;
    EXPECT_NE(out.find("_dotGd: 16-byte descriptor, 2 x 2, size 8 -> _dotCpm (4 bytes)"), std::string::npos) << out;
    EXPECT_NE(out.find("imports    1 libc: strlen"), std::string::npos) << out;
    EXPECT_NE(out.find("tapcheck: clean"), std::string::npos) << out;
}

struct FaultCase {
    const char *name;
    Target target;
    std::vector<std::string> flags;
    std::string expected; // the violation line, or its start
    int violations;       // exact count, or 0 when the fault drags in several
    bool linkLibc = false;
};

// Test names and failure messages show the case by its name, not as raw bytes.
void PrintTo(const FaultCase &fault, std::ostream *out)
{
    *out << fault.name;
}

class TapcheckFaultyProgram : public testing::TestWithParam<FaultCase>
{
};

TEST_P(TapcheckFaultyProgram, FailsNamingTheViolation)
{
    const FaultCase &fault = GetParam();
    if (fault.target == Target::Receiver && !haveReceiverCompiler())
        GTEST_SKIP() << "no mipsel-linux-gnu-g++";
    Build build = buildProgram(fault.name, fault.target, fault.flags, fault.linkLibc);
    ASSERT_EQ(build.compile.exitCode, 0) << build.compile.output;
    CommandResult result = tapcheck(build.program);
    EXPECT_EQ(result.exitCode, 1) << result.output;
    EXPECT_NE(result.output.find("\n  " + fault.expected), std::string::npos) << result.output;
    if (fault.violations)
        EXPECT_NE(result.output.find(violationCount(fault.violations)), std::string::npos) << result.output;
}

const FaultCase faultCases[] = {
    {"missing_section", Target::Pc, {"-DFAULT_MISSING_SECTION"}, "[ident] section ._tap_description is missing", 2},
    {"header_bytes",
     Target::Pc,
     {"-DFAULT_HEADER_BYTES"},
     "[ident] ._tap_header __tap_Header__: byte 8 is 0x11, expected 0x10",
     1},
    {"date_format",
     Target::Pc,
     {"-DFAULT_DATE_FORMAT"},
     "[ident] ._tap_etcinfo __tap_etc_str__: text \"2026-12-08\" is not a build date",
     1},
    {"text_padding",
     Target::Pc,
     {"-DFAULT_TEXT_PADDING"},
     "[ident] ._tap_program_name __tap_program_name__: text is not NUL-padded",
     1},
    {"hidden_entry", Target::Pc, {"-DFAULT_HIDDEN_ENTRY"}, "[entry] TAP_EventHandler is defined but not exported", 1},
    {"extra_export",
     Target::Pc,
     {"-DFAULT_EXTRA_EXPORT"},
     "[export] countEvents is exported but is not in the interface",
     1},
    {"defines_firmware",
     Target::Pc,
     {"-DFAULT_DEFINES_FIRMWARE"},
     "[firmware] TAP_Osd_Sync is defined by the program",
     1},
    {"firmware_call", Target::Pc, {"-DFAULT_FIRMWARE_CALL"}, "[firmware] TAP_Exit is called as a function", 1},
    {"printf_import", Target::Pc, {"-DFAULT_PRINTF"}, "[import] printf is imported but is not in the interface", 1},
    {"versioned_import", Target::Pc, {}, "[version] strlen@GLIBC_", 0, true},
    {"static_constructor",
     Target::Pc,
     {"-DFAULT_STATIC_CONSTRUCTOR"},
     "[constructor] .init_array makes the loader run _GLOBAL__sub_I_",
     1},
    {"thread_local", Target::Pc, {"-DFAULT_THREAD_LOCAL"}, "[tls] PT_TLS segment", 0},
    {"text_relocation", Target::Pc, {"-DFAULT_TEXT_RELOCATION"}, "[textrel] DT_TEXTREL", 1},
    {"descriptor_size",
     Target::Pc,
     {"-DFAULT_DESCRIPTOR_SIZE"},
     "[image] _barGd size is 25, expected width * height * 2 = 24",
     1},
    {"descriptor_layout",
     Target::Pc,
     {"-DFAULT_DESCRIPTOR_LAYOUT"},
     "[image] _barGd is 20 bytes, expected a 24-byte descriptor",
     1},
    {"descriptor_pointer",
     Target::Pc,
     {"-DFAULT_DESCRIPTOR_POINTER"},
     "[image] _dotGd data pointer points at _barCpm, expected _dotCpm",
     1},
    // Every rule that reads MIPS-specific encodings, once more on the receiver's format.
    {"receiver_mips32r2", Target::Receiver, {"-march=mips32r2"}, "[isa] MIPS32r2 in e_flags", 2},
    {"receiver_wide_division", Target::Receiver, {"-DFAULT_WIDE_DIVISION"}, "[isa] MIPS32r2 in e_flags", 2},
    {"receiver_firmware_call",
     Target::Receiver,
     {"-DFAULT_FIRMWARE_CALL"},
     "[firmware] TAP_Exit is called as a function",
     1},
    {"receiver_descriptor_pointer",
     Target::Receiver,
     {"-DFAULT_DESCRIPTOR_POINTER"},
     "[image] _dotGd data pointer points at _barCpm, expected _dotCpm",
     1},
    {"receiver_text_relocation", Target::Receiver, {"-DFAULT_TEXT_RELOCATION"}, "[textrel] DT_TEXTREL", 1},
    {"receiver_static_constructor",
     Target::Receiver,
     {"-DFAULT_STATIC_CONSTRUCTOR"},
     "[constructor] .init_array makes the loader run _GLOBAL__sub_I_",
     1},
};

INSTANTIATE_TEST_SUITE_P(OneRuleBroken, TapcheckFaultyProgram, testing::ValuesIn(faultCases),
                         [](const testing::TestParamInfo<FaultCase> &info) { return std::string(info.param.name); });

TEST(TapcheckSanitizerBuild, SanitizerPartsPassOnlyWithTheFlag)
{
    Build build = buildProgram("sanitized", Target::Pc, {"-fsanitize=address,undefined"});
    ASSERT_EQ(build.compile.exitCode, 0) << build.compile.output;

    CommandResult strict = tapcheck(build.program);
    EXPECT_EQ(strict.exitCode, 1) << strict.output;
    EXPECT_NE(strict.output.find("[import] __asan_init is a sanitizer import"), std::string::npos) << strict.output;
    EXPECT_NE(strict.output.find("[constructor] .init_array makes the loader run _sub_I_00099_"), std::string::npos)
        << strict.output;

    CommandResult allowed = tapcheck(build.program, {"--allow-sanitizer"});
    EXPECT_EQ(allowed.exitCode, 0) << allowed.output;
    EXPECT_NE(allowed.output.find("sanitizer module constructors"), std::string::npos) << allowed.output;
}

TEST(TapcheckSanitizerBuild, FlagStillReportsOtherImports)
{
    Build build = buildProgram("sanitized-printf", Target::Pc, {"-fsanitize=address,undefined", "-DFAULT_PRINTF"});
    ASSERT_EQ(build.compile.exitCode, 0) << build.compile.output;
    CommandResult result = tapcheck(build.program, {"--allow-sanitizer"});
    EXPECT_EQ(result.exitCode, 1) << result.output;
    EXPECT_NE(result.output.find("[import] printf is imported but is not in the interface"), std::string::npos)
        << result.output;
    EXPECT_NE(result.output.find(violationCount(1)), std::string::npos) << result.output;
}

TEST(TapcheckBadInput, UnreadableFilesGiveAClearError)
{
    CommandResult missing = tapcheck(workDir() / "no-such.tap");
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_NE(missing.output.find("tapcheck: cannot open"), std::string::npos) << missing.output;

    writeFile(workDir() / "text.tap", "not a program\n");
    CommandResult text = tapcheck(workDir() / "text.tap");
    EXPECT_EQ(text.exitCode, 2);
    EXPECT_NE(text.output.find("is not an ELF file"), std::string::npos) << text.output;

    Build build = buildProgram("to-truncate", Target::Pc, {});
    ASSERT_EQ(build.compile.exitCode, 0) << build.compile.output;
    std::string bytes = readFile(build.program);
    writeFile(workDir() / "truncated.tap", bytes.substr(0, bytes.size() / 2));
    CommandResult truncated = tapcheck(workDir() / "truncated.tap");
    EXPECT_EQ(truncated.exitCode, 2);
    EXPECT_NE(truncated.output.find("is truncated"), std::string::npos) << truncated.output;
}

TEST(TapcheckBadInput, ObjectFileIsNoProgram)
{
    Build build = buildProgram("object", Target::Pc, {}, false, true);
    ASSERT_EQ(build.compile.exitCode, 0) << build.compile.output;
    CommandResult result = tapcheck(build.program);
    EXPECT_EQ(result.exitCode, 1) << result.output;
    EXPECT_NE(result.output.find("[elf] not a shared object"), std::string::npos) << result.output;
}

// In-process, so that a sanitizer build sees every read the checks make of a damaged file.
TEST(TapcheckBadInput, DamagedProgramsGiveAReportOrAClearError)
{
    Build build = buildProgram("to-damage", Target::Pc, {});
    ASSERT_EQ(build.compile.exitCode, 0) << build.compile.output;
    const std::string original = readFile(build.program);
    const tapcheck::Interface interface = tapcheck::loadInterface(TAPCHECK_INTERFACE);
    const fs::path file = workDir() / "damaged.tap";
    std::mt19937 random(20261208); // fixed seed: the same damaged files on every run
    std::size_t reports = 0, errors = 0;
    for (int round = 0; round < 1000; ++round) {
        std::string damaged = original;
        // Headers at both ends hold the offsets and sizes that can mislead a reader; hit them more.
        for (int hits = 1 + round % 4; hits > 0; --hits) {
            std::size_t at = random() % 3 == 0 ? random() % 64
                             : random() % 3 == 0
                                 ? damaged.size() - 1 - random() % std::min<std::size_t>(damaged.size(), 2048)
                                 : random() % damaged.size();
            damaged[at] = static_cast<char>(random() % 4 == 0 ? 0xFF : random());
        }
        writeFile(file, damaged);
        try {
            tapcheck::ElfImage image(file);
            tapcheck::Report report = tapcheck::checkProgram(image, interface, {});
            std::ostringstream printed;
            tapcheck::printReport(printed, file.string(), report);
            EXPECT_NE(printed.str().find(report.clean() ? "tapcheck: clean" : "violation"), std::string::npos);
            ++reports;
        } catch (const std::runtime_error &error) {
            EXPECT_NE(std::string(error.what()), "") << "round " << round;
            ++errors;
        }
    }
    // Both paths must have been taken, or the damage missed what it is meant to test.
    EXPECT_GT(reports, 0u);
    EXPECT_GT(errors, 0u);
}

TEST(TapcheckBadInput, BrokenInterfaceListNamesItsLine)
{
    fs::path list = workDir() / "broken-interface.txt";
    writeFile(list, "entry TAP_Main\nfirmwre TAP_Print\n");
    CommandResult result = run({TAPCHECK_EXE, TAPCHECK_EXE, "--interface", list.string()});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.output.find("broken-interface.txt:2: unknown kind: firmwre"), std::string::npos) << result.output;
}

std::vector<std::string> linesStartingWith(const std::string &text, const std::string &kind)
{
    std::vector<std::string> names;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.starts_with(kind + " "))
            names.push_back(line.substr(kind.size() + 1));
    return names;
}

TEST(TapcheckInterfaceList, FirmwareOperationsMatchThePlatformHeader)
{
    std::string header = readFile(fs::path(TAP_PLATFORM_DIR) / "tap.h");
    std::vector<std::string> declared;
    std::regex pointer(R"(\(\*(TAP_\w+)\))");
    for (auto it = std::sregex_iterator(header.begin(), header.end(), pointer); it != std::sregex_iterator(); ++it)
        declared.push_back((*it)[1]);
    std::vector<std::string> listed = linesStartingWith(readFile(TAPCHECK_INTERFACE), "firmware");
    EXPECT_FALSE(declared.empty());
    EXPECT_EQ(listed, declared) << "interface.txt and tap/platform/tap.h disagree on the firmware operations";
}

TEST(TapcheckInterfaceList, ImportsAndExportsFollowTheList)
{
    Build build = buildProgram("list-driven", Target::Pc, {});
    ASSERT_EQ(build.compile.exitCode, 0) << build.compile.output;
    std::string list = readFile(TAPCHECK_INTERFACE);

    std::string withoutStrlen = std::regex_replace(list, std::regex("\nlibc strlen\n"), "\n");
    ASSERT_NE(withoutStrlen, list);
    writeFile(workDir() / "no-strlen.txt", withoutStrlen);
    CommandResult imports =
        run({TAPCHECK_EXE, build.program.string(), "--interface", (workDir() / "no-strlen.txt").string()});
    EXPECT_EQ(imports.exitCode, 1) << imports.output;
    EXPECT_NE(imports.output.find("[import] strlen is imported but is not in the interface"), std::string::npos)
        << imports.output;

    std::string otherName = std::regex_replace(list, std::regex("\"Ringwatcher 1.2\""), "\"Ringwatcher 1.3\"");
    ASSERT_NE(otherName, list);
    writeFile(workDir() / "other-name.txt", otherName);
    CommandResult ident =
        run({TAPCHECK_EXE, build.program.string(), "--interface", (workDir() / "other-name.txt").string()});
    EXPECT_EQ(ident.exitCode, 1) << ident.output;
    EXPECT_NE(ident.output.find(R"(text is "Ringwatcher 1.2", expected "Ringwatcher 1.3")"), std::string::npos)
        << ident.output;
}

} // namespace
