// ringwatcher-sim on the PC: runs scenario scripts in virtual time, or the
// program live with a browser page for its screen and remote control.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <unistd.h>

#include "firmware.h"
#include "frontend.h"
#include "live.h"
#include "pngFile.h"

namespace fs = std::filesystem;

namespace
{

fs::path executableFolder()
{
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::current_path() : self.parent_path();
}

struct RunArguments {
    std::vector<fs::path> scripts;
    fs::path program, disk, screenshots, goldens, journal, tv;
    bool updateGoldens = false;
    bool echo = false;
};

int runScripts(const RunArguments &args, const sim::Typesetter &typesetter)
{
    sim::attachDrawing(sim::firmware().osd, typesetter);
    if (!args.tv.empty()) {
        std::string error;
        auto picture = sim::readTvPicture(args.tv, &error);
        if (!picture) {
            std::cerr << error << "\n";
            return 2;
        }
        sim::firmware().osd.setTvPicture(std::move(*picture));
    }
    sim::GoldenSettings golden;
    golden.goldenDir = args.goldens;
    golden.outputDir = args.screenshots;
    golden.update = args.updateGoldens || sim::updateGoldensRequested();
    sim::ScenarioOptions options;
    options.program = args.program;
    options.diskTemplate = args.disk;
    options.screenshotDir = args.screenshots;
    options.echo = args.echo;
    sim::attachPictures(options, golden);

    std::ofstream journal;
    if (!args.journal.empty()) {
        journal.open(args.journal, std::ios::binary);
        if (!journal) {
            std::cerr << "cannot write " << args.journal << "\n";
            return 2;
        }
    }
    int passed = 0, failed = 0;
    for (const fs::path &script : args.scripts) {
        sim::ScenarioResult result = sim::runScenarioFile(script, options);
        std::cout << (result.passed ? "ok   " : "FAIL ") << script.string() << "\n";
        for (const auto &failure : result.failures)
            std::cout << "     " << failure << "\n";
        if (journal.is_open())
            journal << "## " << script.string() << "\n" << result.journal;
        (result.passed ? passed : failed)++;
    }
    if (golden.update)
        std::cout << "goldens renewed in " << golden.goldenDir.string() << "\n";
    std::cout << passed << " passed, " << failed << " failed\n";
    return failed == 0 ? 0 : 1;
}

// "HOST" or "HOST:PORT" into its parts; a bare host is the router's call
// monitor port, 1012.
bool splitHostPort(const std::string &text, std::string &host, uint16_t &port)
{
    auto colon = text.rfind(':');
    if (colon == 0 || text.empty())
        return false;
    if (colon == std::string::npos) {
        host = text;
        port = 1012;
        return true;
    }
    host = text.substr(0, colon);
    try {
        size_t used = 0;
        unsigned long p = std::stoul(text.substr(colon + 1), &used);
        if (used != text.size() - colon - 1 || p == 0 || p > 65535)
            return false;
        port = static_cast<uint16_t>(p);
    } catch (const std::exception &) {
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    const fs::path here = executableFolder();
    CLI::App app{"ringwatcher-sim: the Ringwatcher program in a simulated receiver"};
    app.require_subcommand(1);

    RunArguments run;
    run.program = here / "ringwatcher.tap";
    // An installed simulator's folder belongs to root: its screenshots then go where the user is.
    run.screenshots = (access(here.c_str(), W_OK) == 0 ? here : fs::current_path()) / "screenshots";
    run.goldens = fs::path(RW_SOURCE_DIR) / "tests/golden";
    CLI::App *runCommand = app.add_subcommand(
        "run", "run scenario scripts in virtual time; the exit code is 1 on a failed expectation or a leak");
    runCommand->add_option("scripts", run.scripts, "scenario scripts (docs/scenarios.md)")
        ->required()
        ->check(CLI::ExistingFile);
    runCommand->add_option("--program", run.program, "the program file")->capture_default_str();
    runCommand->add_option("--disk", run.disk, "folder copied to each scenario's fresh disk")
        ->check(CLI::ExistingDirectory);
    runCommand->add_option("--screenshots", run.screenshots, "where screenshots and failed golden frames go")
        ->capture_default_str();
    runCommand->add_option("--goldens", run.goldens, "the golden pictures")->capture_default_str();
    runCommand->add_flag("--update-goldens", run.updateGoldens, "renew the golden pictures (or RW_UPDATE_GOLDENS=1)");
    runCommand->add_flag("--echo", run.echo, "the firmware journal on stderr as it happens");
    runCommand->add_option("--journal", run.journal, "write each scenario's firmware journal to this file");
    runCommand->add_option("--tv", run.tv, "TV picture behind the overlay: a 720 x 576 PNG")->check(CLI::ExistingFile);

    sim::LiveOptions live;
    live.program = here / "ringwatcher.tap";
    std::string router;
    CLI::App *liveCommand = app.add_subcommand(
        "live", "run the program on the real clock, with its screen and a remote control in the browser");
    liveCommand->add_option("--program", live.program, "the program file")->capture_default_str();
    liveCommand->add_option("--disk", live.disk, "the receiver's disk (ProgramFiles/..., PhotoFiles/...)")
        ->check(CLI::ExistingDirectory);
    CLI::Option *routerOption =
        liveCommand->add_option("--router", router,
                                "your own FritzBox (HOST, port 1012; switch its call monitor on by dialling #96*5*), "
                                "or ringwatcher-fakerouter at HOST:PORT");
    CLI::Option *scriptOption =
        liveCommand
            ->add_option("--fakerouter", live.routerScript, "the in-process fake router plays this script (demo.calls)")
            ->check(CLI::ExistingFile)
            ->excludes(routerOption);
    CLI::Option *httpOption =
        liveCommand->add_option("--http", live.httpPort, "port of the browser page (0: any free port)")
            ->capture_default_str();
    bool noPage = false;
    liveCommand->add_flag("--no-page", noPage, "no browser page")->excludes(httpOption);
    liveCommand
        ->add_option("--bind", live.bindAddress,
                     "address the page listens on (0.0.0.0: every address, to view it from a tablet or TV at home)")
        ->capture_default_str();
    liveCommand->add_option("--allow-host", live.allowedHosts,
                            "a further name or address the page answers to (as typed in the tablet's browser); "
                            "may be given again");
    liveCommand->add_option("--frames", live.framesDir, "write every frame as a PNG into this folder");
    liveCommand->add_option("--journal", live.journalFile, "write the firmware journal to this file");
    liveCommand->add_flag("--echo", live.echo, "the firmware journal on stderr as it happens");
    liveCommand->add_option("--tv", live.tvPicture, "TV picture behind the overlay: a 720 x 576 PNG")
        ->check(CLI::ExistingFile);
    liveCommand->add_option("--seconds", live.seconds, "end after this many seconds");
    liveCommand->add_flag("--loop", live.loopScript, "play the --fakerouter script again and again")
        ->needs(scriptOption);
    liveCommand
        ->add_option("--latency", live.latencyLines,
                     "measure: the in-process router writes N lines; time from each write to its frame")
        ->excludes(routerOption)
        ->excludes(scriptOption);
    liveCommand->add_option("--own", live.ownNumber, "own number dialled by the measured lines")->capture_default_str();

    CLI11_PARSE(app, argc, argv);

    std::unique_ptr<sim::Typesetter> typesetter;
    try {
        typesetter = std::make_unique<sim::Typesetter>();
    } catch (const std::exception &e) {
        std::cerr << e.what() << "\n";
        return 2;
    }

    if (runCommand->parsed())
        return runScripts(run, *typesetter);

    if (!router.empty() && !splitHostPort(router, live.routerAddress, live.routerPort)) {
        std::cerr << "--router wants HOST or HOST:PORT, not " << router << "\n";
        return 2;
    }
    // A measurement serves no page unless asked to.
    if (noPage || (live.latencyLines > 0 && httpOption->count() == 0))
        live.httpPort = -1;
    if (!live.framesDir.empty())
        fs::create_directories(live.framesDir);
    return sim::runLive(live, *typesetter);
}
