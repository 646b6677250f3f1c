// The live page over real HTTP on loopback: keys are queued for the event
// thread, the frame comes back as the PNG that was published, debug lines
// arrive once each as UTF-8 JSON, and the router console is reached.
#include <gtest/gtest.h>

#include <httplib.h>

#include <fstream>

#include "livePage.h"
#include "pngFile.h"
#include "remote.h"

namespace
{

namespace fs = std::filesystem;

TEST(LivePage, KeysFromTheBrowserWaitForTheEventThreadInOrder)
{
    sim::LivePage page("127.0.0.1", 0);
    httplib::Client client("127.0.0.1", page.port());
    for (const char *key : {"action", "down", "0x10046", "65551", " up\n"}) {
        auto res = client.Post("/key", key, "text/plain");
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 204) << key;
    }
    for (const char *bad : {"", "red", "0x", "12ab", "99999999999"}) {
        auto res = client.Post("/key", bad, "text/plain");
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 400) << bad;
    }
    EXPECT_EQ(page.takeKeys(), (std::vector<uint32_t>{0x10049, 0x1001D, 0x10046, 0x1000F, 0x10012}));
    EXPECT_TRUE(page.takeKeys().empty());
}

TEST(LivePage, TheKeyQueueIsBounded)
{
    sim::LivePage page("127.0.0.1", 0);
    int taken = 0;
    while (taken < 1000 && page.pressKey("up"))
        ++taken;
    EXPECT_GT(taken, 8);
    EXPECT_LT(taken, 1000);
    EXPECT_EQ(page.takeKeys().size(), static_cast<size_t>(taken));
    EXPECT_TRUE(page.pressKey("down"));
}

TEST(LivePage, TheFrameIsServedAsTheLatestPublishedPicture)
{
    sim::LivePage page("127.0.0.1", 0);
    httplib::Client client("127.0.0.1", page.port());
    sim::Surface frame = sim::Osd::testPicture();
    page.publishFrame(frame, 1);
    frame.at(10, 10) = 0xFF123456;
    page.publishFrame(frame, 2);

    auto res = client.Get("/frame.png");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->get_header_value("Content-Type"), "image/png");
    char pattern[] = "/tmp/rw-page-XXXXXX";
    ASSERT_NE(mkstemp(pattern), -1);
    std::ofstream(pattern, std::ios::binary) << res->body;
    auto png = sim::readPng(pattern);
    fs::remove(pattern);
    ASSERT_TRUE(png);
    EXPECT_EQ(png->pixels, frame.pixels);

    auto state = client.Get("/state");
    ASSERT_TRUE(state);
    EXPECT_NE(state->body.find("\"frame\":2"), std::string::npos) << state->body;
}

TEST(LivePage, DebugLinesArriveOnceAsUtf8)
{
    sim::LivePage page("127.0.0.1", 0);
    page.addPrint("Anruf f\374r \"Zuhause\"\n");
    page.addPrint("zwei\ttabs\\\n");
    std::string all = page.stateJson(0);
    EXPECT_NE(all.find("\"prints\":[\"Anruf f\303\274r \\\"Zuhause\\\"\\u000a\",\"zwei\\u0009tabs\\\\\\u000a\"]"),
              std::string::npos)
        << all;
    EXPECT_NE(all.find("\"next\":2"), std::string::npos);
    EXPECT_NE(page.stateJson(2).find("\"prints\":[]"), std::string::npos);
    EXPECT_NE(page.stateJson(1).find("\"prints\":[\"zwei"), std::string::npos);

    // A slow browser misses the oldest lines, never the count.
    for (size_t i = 0; i < sim::LivePage::keptPrints + 10; ++i)
        page.addPrint("line " + std::to_string(i) + "\n");
    std::string late = page.stateJson(0);
    EXPECT_EQ(late.find("Zuhause"), std::string::npos);
    EXPECT_NE(late.find("\"line 11\\u000a\""), std::string::npos);
    EXPECT_EQ(late.find("\"line 9\\u000a\""), std::string::npos);
    EXPECT_NE(late.find("\"next\":" + std::to_string(sim::LivePage::keptPrints + 12)), std::string::npos);
}

TEST(LivePage, TheRouterConsoleAnswersOnlyWithAnInProcessRouter)
{
    sim::LivePage without("127.0.0.1", 0);
    httplib::Client a("127.0.0.1", without.port());
    auto res = a.Post("/router", "ring 0 1 2", "text/plain");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 404);
    EXPECT_NE(without.stateJson(0).find("\"router\":false"), std::string::npos);

    std::string heard;
    sim::LivePage with("127.0.0.1", 0, [&](const std::string &command) {
        heard = command;
        return std::string("sent it");
    });
    httplib::Client b("127.0.0.1", with.port());
    res = b.Post("/router", "ring 0 1 2", "text/plain");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->body, "sent it");
    EXPECT_EQ(heard, "ring 0 1 2");
    EXPECT_NE(with.stateJson(0).find("\"router\":true"), std::string::npos);

    auto pageRes = b.Get("/");
    ASSERT_TRUE(pageRes);
    EXPECT_NE(pageRes->body.find("/frame.png"), std::string::npos);
}

TEST(LivePage, ABusyPortIsAnError)
{
    sim::LivePage first("127.0.0.1", 0);
    EXPECT_THROW(sim::LivePage("127.0.0.1", first.port()), std::runtime_error);
}

} // namespace
