// Shared ground for the book viewer's tests: an address book and finished
// calls in the simulated receiver, and the journal of the latest drawing.
#pragma once

#include <string>
#include <vector>

#include "firmware_fixture.h"

namespace test
{

class BookTest : public FirmwareTest
{
  protected:
    // addrbook.dat from whole lines, loaded as start-up loads it.
    void loadBook(const std::vector<std::string> &lines);
    // The file's unlisted first entry "0300=Owner" and `listed` entries
    // "0301" ... with names "Name 1" ..., pictures "pic1.jpg" ... and infos
    // "Info 1" ...; entry i carries the index i.
    void loadNumberedBook(int listed);
    // A finished call as the call-event code records it.
    void addFinishedCall(int time, const std::string &number, int duration, int state);
    // Calls 1 .. n from the unknown numbers "0701" ..., added in this order,
    // so call n is the newest.
    void addNumberedCalls(int n, int firstNumber = 1);

    // Firmware calls made by the latest drawing, from its "Show Book" line
    // on; DrawJpeg results are cut off (they depend on the picture decoder).
    std::vector<std::string> lastDrawing() const;
    size_t drawingCount() const;
};

struct DrawnText {
    int region, x, y, maxX;
    std::string text;
    unsigned color, size, dot, align;
};

std::vector<DrawnText> textsOf(const std::vector<std::string> &drawing);
// The row texts of one column (by x), top to bottom.
std::vector<std::string> column(const std::vector<std::string> &drawing, int x);
// The first text drawn at (x, y), or "<none>".
std::string textAt(const std::vector<std::string> &drawing, int x, int y);
bool has(const std::vector<std::string> &drawing, const std::string &call);
size_t countPrefix(const std::vector<std::string> &drawing, const std::string &prefix);

// Journal lines as the simulator writes them.
std::string putS(int x, int y, int maxX, const std::string &text, int size, int dot, int align, int region = 1,
                 unsigned color = 0xFFFFFFFF);
// Images are named by their descriptor, e.g. "_sbselGd".
std::string putGd(int x, int y, const std::string &image, int sprite, int region = 1);
std::string drawJpeg(const std::string &file, int region = 1);

std::string numbered(const char *prefix, int i);

} // namespace test
