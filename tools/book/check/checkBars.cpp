// The settings' bar position against what the program draws on the simulated receiver.
#include "check/checkBars.h"

#include <cstdlib>

#include "osd.h"

namespace book
{

using Severity = Finding::Severity;

// Where the bars land is found by letting the program draw them on the simulated receiver at Xpos,
// Ypos (and at 0, 0 for their whole size), so that the check says what the receiver shows. Texts are
// not drawn there: the message line's room, 622 pixels right of Xpos, comes from the program's layout.
constexpr int messageLineEnd = 622;
using sim::screenHeight;
using sim::screenWidth;

void checkPosition(CheckReport &report, SimulatedReceiver &receiver, const std::map<std::string, int> &appliedOn,
                   const std::map<std::string, std::string> &appliedValue)
{
    auto setting = [&](const char *key, int fallback) {
        auto found = appliedValue.find(key);
        return std::make_pair(found == appliedValue.end() ? 0 : appliedOn.at(key),
                              found == appliedValue.end() ? fallback : std::atoi(found->second.c_str()));
    };
    auto [xLine, x] = setting("Xpos", 30);
    auto [yLine, y] = setting("Ypos", 56);
    if (xLine == 0 && yLine == 0)
        return;
    auto text = [](int n) { return std::to_string(n); };
    // The error bar is reported only where it fares otherwise than the call bar.
    bool saidX = false, saidY = false, saidAll = false;
    int callRight = 0;
    for (bool error : {false, true}) {
        DrawnArea whole = receiver.drawStatusBar(0, 0, error);
        DrawnArea shown = receiver.drawStatusBar(x, y, error);
        if (!error)
            callRight = whole.right;
        std::string bar = std::string(error ? "the error bar" : "the call bar") + " (" + text(whole.right) + " x " +
                          text(whole.bottom) + " at x " + text(x) + ", y " + text(y) + ")";
        std::string keepX = "Xpos 0 to " + text(screenWidth - whole.right);
        std::string keepY = "Ypos 0 to " + text(screenHeight - whole.bottom);
        if (shown.empty()) {
            bool offSideways = x >= screenWidth || x + whole.right <= 0;
            int line = (offSideways && xLine != 0) || yLine == 0 ? xLine : yLine;
            if (!saidAll)
                report.add(line, Severity::warning,
                           bar + " lies off the 720 x 576 screen: the receiver draws no part of it (" + keepX +
                               " and " + keepY + " keep it whole)");
            saidAll = true;
            continue;
        }
        if (shown.width() < whole.width() && !saidX)
            report.add(xLine != 0 ? xLine : yLine, Severity::warning,
                       bar + ": the receiver draws only x " + text(shown.left) + " to " + text(shown.right) +
                           " of it, the rest is off the screen (" + keepX + " keeps it whole)");
        if (shown.height() < whole.height() && !saidY)
            report.add(yLine != 0 ? yLine : xLine, Severity::warning,
                       bar + ": the receiver draws only y " + text(shown.top) + " to " + text(shown.bottom) +
                           " of it, the rest is off the screen (" + keepY + " keeps it whole)");
        saidX = saidX || shown.width() < whole.width();
        saidY = saidY || shown.height() < whole.height();
    }
    if (xLine != 0 && x >= 0 && x + callRight <= screenWidth && x + messageLineEnd > screenWidth)
        report.add(xLine, Severity::warning,
                   "a call's message line reaches x " + std::to_string(x + messageLineEnd) +
                       ", past the screen's right edge: a long message is cut off (Xpos at most " +
                       std::to_string(screenWidth - messageLineEnd) + " keeps it whole)");
}

} // namespace book
