// Test main for binaries that link the program's code. The program keeps its
// state in module variables that only a fresh process resets, so every test
// runs in a child forked before any test has run; the parent collects the
// results. One test, named exactly (as ctest runs them), or a listing runs
// in this process as usual.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace
{

bool namesOneTest(const std::string &filter)
{
    return !filter.empty() && filter.find_first_of("*?:-") == std::string::npos;
}

// Passes on only what concerns one test, so that each child's output reads
// like part of one run.
class TestLines : public testing::EmptyTestEventListener
{
  public:
    explicit TestLines(testing::TestEventListener *printer) : printer_(printer) {}
    void OnTestStart(const testing::TestInfo &info) override { printer_->OnTestStart(info); }
    void OnTestPartResult(const testing::TestPartResult &result) override { printer_->OnTestPartResult(result); }
    void OnTestEnd(const testing::TestInfo &info) override { printer_->OnTestEnd(info); }

  private:
    std::unique_ptr<testing::TestEventListener> printer_;
};

// Runs `body` in a child; its exit status, or -1 when it did not exit.
template <typename Body> int inChild(Body body)
{
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0) {
        std::perror("fork");
        std::exit(2);
    }
    if (pid == 0) {
        int result = body();
        std::fflush(nullptr);
        std::exit(result);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        ;
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    std::printf("(the test ended on signal %d)\n", WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    return -1;
}

// The full names of the tests the filter selects, in gtest's own order, as
// its listing gives them.
std::vector<std::string> selectedTests()
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        std::perror("pipe");
        std::exit(2);
    }
    FILE *listing = fdopen(pipeFds[0], "r");
    std::string text;
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        close(pipeFds[0]);
        dup2(pipeFds[1], STDOUT_FILENO);
        GTEST_FLAG_SET(list_tests, true);
        int result = RUN_ALL_TESTS();
        std::fflush(nullptr);
        std::exit(result);
    }
    close(pipeFds[1]);
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, listing)) > 0)
        text.append(buffer, n);
    std::fclose(listing);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        ;

    std::vector<std::string> names;
    std::string suite;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        // Parameterised tests carry a comment after two blanks and a '#'.
        size_t comment = line.find("  #");
        if (comment != std::string::npos)
            line.erase(comment);
        if (line.empty())
            continue;
        if (line[0] != ' ')
            suite = line;
        else
            names.push_back(suite + line.substr(line.find_first_not_of(' ')));
    }
    return names;
}

} // namespace

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests) || namesOneTest(GTEST_FLAG_GET(filter)))
        return RUN_ALL_TESTS();

    std::vector<std::string> tests = selectedTests();
    std::printf("[==========] Running %zu tests, each in a process of its own.\n", tests.size());
    std::vector<std::string> failed;
    for (const auto &name : tests) {
        int result = inChild([&name] {
            GTEST_FLAG_SET(filter, name);
            auto &listeners = testing::UnitTest::GetInstance()->listeners();
            listeners.Append(new TestLines(listeners.Release(listeners.default_result_printer())));
            return RUN_ALL_TESTS();
        });
        if (result != 0)
            failed.push_back(name);
    }
    std::printf("[==========] %zu tests ran.\n", tests.size());
    std::printf("[  PASSED  ] %zu tests.\n", tests.size() - failed.size());
    if (!failed.empty()) {
        std::printf("[  FAILED  ] %zu tests, listed below:\n", failed.size());
        for (const auto &name : failed)
            std::printf("[  FAILED  ] %s\n", name.c_str());
    }
    return failed.empty() ? 0 : 1;
}
