// What the ringwatcher-book tests share: the built tool run as a user runs it, the test data, and a
// private folder for output files.
#pragma once

#include <gtest/gtest.h>

#include "check/check.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace booktest
{

struct Run {
    int status = -1;
    std::string output; // stdout and stderr together
};

inline std::string shellQuoted(const std::string &text)
{
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

inline Run runTool(const std::vector<std::string> &arguments)
{
    std::string command = shellQuoted(RINGWATCHER_BOOK);
    for (const auto &argument : arguments)
        command += " " + shellQuoted(argument);
    command += " 2>&1";
    Run run;
    FILE *pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return run;
    char buffer[4096];
    std::size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.output.append(buffer, count);
    int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

inline std::string dataFile(const std::string &name)
{
    return std::string(BOOK_TEST_DATA) + "/" + name;
}

inline std::string readBytes(const std::filesystem::path &file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A check report as the tool prints it, for failure messages.
inline std::string reportText(const book::CheckReport &report)
{
    std::ostringstream out;
    book::printCheckReport(out, report);
    return out.str();
}

inline void writeBytes(const std::filesystem::path &file, const std::string &bytes)
{
    std::ofstream(file, std::ios::binary) << bytes;
}

class ToolTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "book-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder = pattern;
    }
    void TearDown() override
    {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }

    std::vector<std::string> filesInFolder() const
    {
        std::vector<std::string> names;
        for (const auto &entry : std::filesystem::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        return names;
    }

    std::filesystem::path folder;
};

} // namespace booktest
