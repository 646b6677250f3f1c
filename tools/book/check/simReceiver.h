// The program's own reader, address book and settings loader, run on the simulated receiver against
// a copy of the user's file, so that a check reports what the receiver would do, not what we think.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "temporaryReceiver.h"

namespace book
{

// One result of the program's getNextProperty: the physical line it came from (blank and comment
// lines counted, as the program counts them), the result code and the two buffers.
struct PropertyLine {
    int line = 0;
    int result = 0;
    std::string name, value;
};

struct FileReading {
    std::vector<std::string> lines; // physical lines as the program splits them, not cut to its 160
    std::vector<PropertyLine> properties;
};

// An address-book entry as the program holds it after loading.
struct LoadedEntry {
    std::string number, name, picture, info;
};

// A text the program drew in the dot style into less room than it takes: the screen shows it cut and
// ended in an ellipsis.
struct CutText {
    std::string latin1; // as the program drew it
    std::string shown;  // UTF-8, as the screen shows it
};

struct ProgramStart {
    std::vector<std::string> prints; // everything the program prints between its banner and its end
    std::vector<LoadedEntry> entries;
    // Laid out with the simulator's fonts: what the call bar cut while each entry rang (by entry), and
    // what the phone book cut while the cursor went over every entry. `layoutError` says why not.
    std::vector<std::vector<CutText>> barCuts;
    std::vector<CutText> bookCuts;
    std::string layoutError;
};

// The pixels a window puts on the 720 x 576 screen: right and bottom are exclusive.
struct DrawnArea {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool empty() const { return right <= left || bottom <= top; }
    int width() const { return right - left; }
    int height() const { return bottom - top; }
};

// Only one can exist at a time: the simulated firmware is a single instance, as on the receiver.
class SimulatedReceiver
{
  public:
    SimulatedReceiver();
    ~SimulatedReceiver();
    SimulatedReceiver(const SimulatedReceiver &) = delete;
    SimulatedReceiver &operator=(const SimulatedReceiver &) = delete;

    // A file in the program's settings folder.
    void putFile(const std::string &name, const std::string &bytes);

    // The file through the program's getLine and getNextProperty.
    FileReading read(const std::string &name);

    // The program's start-up (TAP_Main) with the files in the settings folder, the address book as it
    // was loaded, then the program's stop.
    ProgramStart startProgram();

    // The program's loadSettings on a file of the settings folder: what it prints.
    std::vector<std::string> loadSettings(const std::string &name);

    // The program's status window drawn with its bar at (x, y), as Xpos and Ypos place it: a ring
    // (with a picture), or an error message; what of it lands on the screen.
    DrawnArea drawStatusBar(int x, int y, bool error);

  private:
    void layOutTexts(ProgramStart &start);
    std::unique_ptr<sim::TemporaryReceiver> booted_;
};

} // namespace book
