// The simulator in a browser tab: one live session with the program linked
// into this module, its network in memory with the fake router beside it,
// and the receiver's disk a folder of the module's in-memory file system.
// The page's timer turns the event loop; the page reads the same events and
// makes the same requests as it does from live mode's server.
#include <emscripten/emscripten.h>

#include <cstdio>
#include <memory>
#include <string>

#include "liveSession.h"
#include "pageFeed.h"
#include "typesetter.h"

namespace
{

// The page's feed, noting when the page has something new to read, so that
// a turn that changed nothing costs the page no call to read it.
class TabFeed : public sim::PageFeed
{
  public:
    using PageFeed::PageFeed;
    bool news = true;

  private:
    void changed() override { news = true; }
};

sim::LiveOptions options;
std::unique_ptr<sim::Typesetter> typesetter;
std::unique_ptr<TabFeed> feed;
std::unique_ptr<sim::LiveSession> session;
std::unique_ptr<sim::live::EventStream> viewer;
std::string events;
std::string answer;

} // namespace

extern "C" {

// Boots the receiver on `disk` and starts the program, with the fake router
// playing `script` again and again (none when empty). 0 when it runs.
EMSCRIPTEN_KEEPALIVE int rwStart(const char *disk, const char *script)
{
    if (session)
        return 2; // one session per module: the program's state is the module's
    options.program = "ringwatcher.tap";
    options.disk = disk;
    options.routerScript = script;
    options.loopScript = true;
    options.memoryNetwork = true;
    options.httpPort = -1;
    try {
        typesetter = std::make_unique<sim::Typesetter>();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
    feed = std::make_unique<TabFeed>([](const std::string &line, double after, bool &failed) {
        return session->router()->console(line, after, failed);
    });
    session = std::make_unique<sim::LiveSession>(options, *typesetter, feed.get());
    if (!session->begin())
        return 2;
    feed->encodeLatest(); // the screen as it starts, for the page's first frame
    viewer = feed->newViewer();
    return 0;
}

// One turn of the event loop, and the frame it made encoded for the page.
// Flags: 1 while the session goes on, 2 when the page asked for a fresh
// program (which takes a fresh module), 4 when rwEvents has news.
EMSCRIPTEN_KEEPALIVE int rwTurn()
{
    bool going = session->turn();
    feed->encodeLatest();
    return (going ? 1 : 0) | (session->restartWanted() ? 2 : 0) | (feed->news ? 4 : 0);
}

// What the page has not seen yet, as server-sent events (UTF-8).
EMSCRIPTEN_KEEPALIVE const char *rwEvents()
{
    events.clear();
    feed->news = false;
    viewer->next(events);
    return events.c_str();
}

// One of the page's requests: "STATUS TEXT".
EMSCRIPTEN_KEEPALIVE const char *rwPost(const char *path, const char *body)
{
    sim::PageFeed::Answer a = feed->post(path, body);
    answer = std::to_string(a.status) + " " + a.text;
    return answer.c_str();
}

// The firmware journal kept so far (Latin-1: read as bytes, rwJournalSize long).
EMSCRIPTEN_KEEPALIVE const char *rwJournal()
{
    answer = feed->journal();
    return answer.data();
}

EMSCRIPTEN_KEEPALIVE int rwJournalSize()
{
    return static_cast<int>(answer.size());
}

} // extern "C"
