// The status window's layouts, delays and removal, through displayFBMessage
// and displayErrorMessage as the line handler and the error paths call them.
#include <cstring>
#include <string>
#include <vector>

#include "firmware_fixture.h"
#include "shell/statusWindow.h"

namespace
{

using Calls = std::vector<std::string>;

class StatusWindowTest : public test::FirmwareTest
{
  protected:
    FBMessage message(int type, int line, int duration, const char *title, const char *text,
                      const char *picture = "anna.jpg")
    {
        FBMessage m{};
        m.type = type;
        m.line = line;
        m.duration = duration;
        std::strcpy(m.title, title);
        std::strcpy(m.text, text);
        std::strcpy(m.picture, picture);
        return m;
    }
    Calls show(const FBMessage &m)
    {
        journal().clear();
        displayFBMessage(&m);
        return journal().calls();
    }
};

TEST_F(StatusWindowTest, RingLayoutWithDefaultPosition)
{
    fw().clock.advance(1000);
    Calls calls = show(message(3, 2, -1, "Anna M\374ller", "Eingehender Anruf f\374r Zuhause"));
    Calls expected = {
        "TAP_Osd_Create(0,0,720,576,0,0) = 1",
        "TAP_Osd_PutGd(1,30,56,_fritzmaincallGd,0)",
        "TAP_Hdd_ChangeDir(\"/PhotoFiles/Ringwatcher/\")",
        "TAP_Osd_DrawJpeg(1,39,67,68,62,\"/PhotoFiles/Ringwatcher/anna.jpg\",0) = 0",
        "TAP_Osd_PutGd(1,39,67,_covermainGd,1)",
        "TAP_Osd_PutS(1,156,72,516,\"Anna M\\374ller\",0xFFFFFFFF,0x00000000,0,1,1,0)",
        "TAP_Osd_PutS(1,152,107,652,\"Eingehender Anruf f\\374r Zuhause\",0xFFFFFFFF,0x00000000,0,1,0,0)",
        "TAP_Osd_PutGd(1,118,70,_callinGd,0)",
        "TAP_Osd_PutGd(1,112,105,_telephonGd,0)",
        "TAP_Osd_PutGd(1,521,73,_lineGd,0)",
        "TAP_Osd_PutS(1,567,72,592,\"2\",0xFFFFFFFF,0x00000000,0,1,0,0)",
        "TAP_Osd_Sync()",
    };
    EXPECT_EQ(calls, expected);
    EXPECT_EQ(statusWindow, 1);
    EXPECT_EQ(statusTimeout, 1000u + 600u);
}

TEST_F(StatusWindowTest, DisconnectLayoutShowsDurationWithoutPicture)
{
    Calls calls = show(message(4, 1, 125, " ", "Verbindung auf Leitung 1 beendet"));
    Calls expected = {
        "TAP_Osd_Create(0,0,720,576,0,0) = 1",
        "TAP_Osd_PutGd(1,30,56,_fritzmainmsgGd,0)",
        "TAP_Osd_PutS(1,156,72,516,\" \",0xFFFFFFFF,0x00000000,0,1,1,0)",
        "TAP_Osd_PutS(1,79,107,579,\"Verbindung auf Leitung 1 beendet\",0xFFFFFFFF,0x00000000,0,1,0,0)",
        "TAP_Osd_PutGd(1,118,70,_calloutendGd,0)",
        "TAP_Osd_PutGd(1,39,105,_telephonGd,0)",
        "TAP_Osd_PutGd(1,430,68,_durationGd,0)",
        "TAP_Osd_PutS(1,455,72,520,\"00:02:05\",0xFFFFFFFF,0x00000000,0,1,0,0)",
        "TAP_Osd_PutGd(1,521,73,_lineGd,0)",
        "TAP_Osd_PutS(1,567,72,592,\"1\",0xFFFFFFFF,0x00000000,0,1,0,0)",
        "TAP_Osd_Sync()",
    };
    EXPECT_EQ(calls, expected);
}

TEST_F(StatusWindowTest, ErrorLayoutUsesAttentionIconAndErrorImage)
{
    Calls calls;
    journal().clear();
    displayErrorMessage(MSG_ERR_IN_INI, "Fehler in der konfigurationsdatei");
    calls = journal().calls();
    Calls expected = {
        "TAP_Osd_Create(0,0,720,576,0,0) = 1",
        "TAP_Osd_PutGd(1,30,56,_fritzmainmsgGd,0)",
        "TAP_Osd_PutS(1,156,72,516,\"Ringwatcher Fehler\",0xFFFFFFFF,0x00000000,0,1,1,0)",
        "TAP_Osd_PutS(1,79,107,579,\"Fehler in der konfigurationsdatei\",0xFFFFFFFF,0x00000000,0,1,0,0)",
        "TAP_Osd_PutGd(1,118,70,_attentionGd,0)",
        "TAP_Osd_PutGd(1,39,105,_errorininiGd,0)",
        "TAP_Osd_Sync()",
    };
    EXPECT_EQ(calls, expected);
    EXPECT_EQ(statusTimeout, 600u);
}

TEST_F(StatusWindowTest, EachErrorTypeHasItsImage)
{
    const std::pair<int, const char *> table[] = {
        {100, "_errorloadiniGd"},     {101, "_errorininiGd"},       {102, "_errorloadadrbookGd"},
        {103, "_errorinadrbookGd"},   {104, "_errormemoryGd"},      {105, "_errorentriesadrbookGd"},
        {106, "_errorconnection2Gd"}, {107, "_errorconnection2Gd"}, {108, "_callmissedGd"},
    };
    for (auto [type, image] : table) {
        Calls calls = show(message(type, 0, 0, "t", "x"));
        ASSERT_GE(calls.size(), 3u);
        EXPECT_EQ(calls[calls.size() - 2], std::string("TAP_Osd_PutGd(1,39,105,") + image + ",0)") << type;
        EXPECT_EQ(calls[calls.size() - 3], "TAP_Osd_PutGd(1,118,70,_attentionGd,0)") << type;
    }
}

TEST_F(StatusWindowTest, UnknownAndLowTypesGetCallLayoutWithMissedIcon)
{
    for (int type : {-1, 0, 5, 99}) {
        Calls calls = show(message(type, 3, 0, "t", "x"));
        EXPECT_NE(std::find(calls.begin(), calls.end(), "TAP_Osd_PutGd(1,118,70,_callmissedGd,0)"), calls.end())
            << type;
        EXPECT_NE(std::find(calls.begin(), calls.end(), "TAP_Osd_PutGd(1,521,73,_lineGd,0)"), calls.end()) << type;
        EXPECT_NE(std::find(calls.begin(), calls.end(), "TAP_Osd_PutGd(1,30,56,_fritzmainmsgGd,0)"), calls.end())
            << type;
    }
}

TEST_F(StatusWindowTest, ConnectIconFollowsTheLastRingOrCall)
{
    auto connectIcon = [&] {
        for (const auto &c : show(message(2, 0, -1, "n", "x")))
            if (c.rfind("TAP_Osd_PutGd(1,118,70,", 0) == 0)
                return c;
        return std::string();
    };
    EXPECT_EQ(connectIcon(), "TAP_Osd_PutGd(1,118,70,_calloutGd,0)");
    show(message(3, 0, -1, "n", "x"));
    EXPECT_EQ(connectIcon(), "TAP_Osd_PutGd(1,118,70,_callinGd,0)");
    show(message(1, 0, -1, "n", "x"));
    EXPECT_EQ(connectIcon(), "TAP_Osd_PutGd(1,118,70,_calloutGd,0)");
    // A RING whose negative delay draws nothing still marks the call incoming.
    incomingDelay = -100;
    EXPECT_TRUE(show(message(3, 0, -1, "n", "x")).empty());
    EXPECT_EQ(connectIcon(), "TAP_Osd_PutGd(1,118,70,_callinGd,0)");
}

TEST_F(StatusWindowTest, PositionFollowsTheSettings)
{
    statusWindowXOffset = 100;
    statusWindowYOffset = 200;
    Calls calls = show(message(4, 1, 0, " ", "x"));
    EXPECT_EQ(calls[1], "TAP_Osd_PutGd(1,100,200,_fritzmainmsgGd,0)");
    EXPECT_EQ(calls[3], "TAP_Osd_PutS(1,149,251,649,\"x\",0xFFFFFFFF,0x00000000,0,1,0,0)");
}

TEST_F(StatusWindowTest, SecondMessageReusesTheRegionAndRestartsTheTimeout)
{
    show(message(3, 0, -1, "n", "x"));
    fw().clock.advance(250);
    disconnectDelay = 300;
    Calls calls = show(message(4, 0, 10, " ", "y"));
    EXPECT_EQ(calls[0], "TAP_Osd_PutGd(1,30,56,_fritzmainmsgGd,0)");
    EXPECT_EQ(fw().osd.regionCount(), 1u);
    EXPECT_EQ(statusTimeout, 250u + 300u);
}

TEST_F(StatusWindowTest, ZeroDelayMeansNoTimeout)
{
    displayDelay = 0;
    show(message(100, 0, 0, "t", "x"));
    EXPECT_EQ(statusTimeout, 0u);
}

TEST_F(StatusWindowTest, NegativeDelays)
{
    // CALL and RING with a negative delay draw nothing and keep the window.
    show(message(3, 0, -1, "n", "x"));
    dword timeout = statusTimeout;
    calloutDelay = -1;
    EXPECT_TRUE(show(message(1, 0, -1, "n", "x")).empty());
    EXPECT_EQ(statusTimeout, timeout);
    EXPECT_EQ(statusWindow, 1);

    // DISCONNECT with exactly -200 leaves the window alone.
    disconnectDelay = -200;
    EXPECT_TRUE(show(message(4, 0, 5, " ", "x")).empty());
    EXPECT_EQ(statusWindow, 1);

    // Any other negative DISCONNECT delay removes it.
    disconnectDelay = -300;
    Calls calls = show(message(4, 0, 5, " ", "x"));
    EXPECT_EQ(calls, (Calls{"TAP_Osd_Delete(1)", "TAP_Osd_Sync()"}));
    EXPECT_EQ(statusWindow, -1);
    EXPECT_EQ(statusTimeout, timeout);

    // CONNECT with a negative delay removes a shown window, and only then.
    connectDelay = -1;
    EXPECT_TRUE(show(message(2, 0, -1, "n", "x")).empty());
    show(message(3, 0, -1, "n", "x"));
    calls = show(message(2, 0, -1, "n", "x"));
    EXPECT_EQ(calls, (Calls{"TAP_Osd_Delete(1)", "TAP_Osd_Sync()"}));
}

TEST_F(StatusWindowTest, NegativeDisplayDelaySetsTimeoutInThePast)
{
    fw().clock.advance(1000);
    displayDelay = -100;
    show(message(101, 0, 0, "t", "x"));
    EXPECT_EQ(statusTimeout, 900u);
    EXPECT_EQ(statusWindow, 1);
}

TEST_F(StatusWindowTest, DurationDrawnOnlyWhenPositive)
{
    for (int duration : {-1, 0}) {
        Calls calls = show(message(4, 0, duration, " ", "x"));
        for (const auto &c : calls)
            EXPECT_EQ(c.find("_durationGd"), std::string::npos) << duration;
    }
    Calls calls = show(message(4, 0, 360000, " ", "x"));
    EXPECT_NE(
        std::find(calls.begin(), calls.end(), "TAP_Osd_PutS(1,455,72,520,\"100:00:00\",0xFFFFFFFF,0x00000000,0,1,0,0)"),
        calls.end());
}

TEST_F(StatusWindowTest, ErrorMessageKeepsLongTextWithinItsBuffer)
{
    std::string longText(300, 'x');
    journal().clear();
    displayErrorMessage(MSG_ERR_MEMORY, longText.c_str());
    Calls calls = journal().calls();
    ASSERT_GE(calls.size(), 4u);
    EXPECT_NE(calls[3].find("\"" + std::string(127, 'x') + "\""), std::string::npos);
}

} // namespace

namespace
{

// The program passes only the low 16 bits of a handle on, so a firmware
// that counted handles up would lose its regions after 65535 messages.
TEST_F(StatusWindowTest, RegionHandlesStaySmallOverManyMessages)
{
    fw().osd.setPixels(false);
    fw().journalDrawing = false;
    displayDelay = 1;
    for (int i = 0; i < 70000; ++i) {
        displayErrorMessage(MSG_ERR_IN_INI, "x");
        ASSERT_EQ(statusWindow, 1) << i;
        removeStatusWindow();
    }
    EXPECT_TRUE(leaks().empty());
}

} // namespace
