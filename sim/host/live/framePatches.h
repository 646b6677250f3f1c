// The screen travels to the page as patches: each the PNG of the box in
// which a frame differs from the one before, ready to send as a "frame"
// event ("number x y w h base64png"). A ring redraws the status bar, not the
// screen, so a patch is a few kilobytes where the whole screen is twenty.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "osd.h"

namespace sim
{

struct Box {
    int x = 0, y = 0, w = 0, h = 0;
};

// The smallest box holding every pixel in which `now` differs from `before`;
// the whole screen when their sizes differ, an empty box when nothing does.
Box changedBox(const Surface &before, const Surface &now);

std::string base64(const std::vector<unsigned char> &bytes);

// A server-sent event.
std::string sseEvent(const char *name, const std::string &data);

// The patches kept for viewers that are behind. Not locked: its owner is.
class FramePatches
{
  public:
    struct Patch {
        uint64_t number;
        uint64_t base; // the frame it applies to
        bool whole;    // the whole screen: applies to any frame
        std::string event;
    };
    static constexpr size_t kept = 16;

    // The patch that brings the screen as the patches leave it to `frame`;
    // empty when nothing changed. Reads only what the encoding thread alone
    // changes (through commit), so it may run unlocked on that thread.
    std::string encode(const Surface &frame, uint64_t number, bool &whole) const;
    void commit(Surface frame, uint64_t number, bool whole, std::string event);

    uint64_t latest() const { return encodedNumber_; }
    // The events that bring a viewer at frame `from` up to date, or false
    // when it has none of their bases (it needs the whole screen).
    bool since(uint64_t from, std::string &events) const;

    // The whole screen as the patches leave it, as an event and a PNG, kept
    // for the frame it was made of (one encode however many ask).
    const Surface &screen() const { return encoded_; }
    bool haveWhole(uint64_t number) const { return wholeNumber_ == number; }
    void keepWhole(uint64_t number, std::string event, std::vector<unsigned char> png);
    const std::string &wholeEvent() const { return wholeEvent_; }
    const std::vector<unsigned char> &wholePng() const { return wholePng_; }

  private:
    Surface encoded_;
    uint64_t encodedNumber_ = UINT64_MAX;
    std::deque<Patch> patches_; // ending at encodedNumber_
    std::string wholeEvent_;
    std::vector<unsigned char> wholePng_;
    uint64_t wholeNumber_ = UINT64_MAX;
};

// A "frame" event's data.
std::string frameEvent(uint64_t number, const Box &box, const std::vector<unsigned char> &png);

} // namespace sim
