// The receiver's disk as the owner copies it: the program's two files and its picture folder.
#pragma once

#include <filesystem>

#include "check/check.h"

namespace book
{

struct DiskLayout {
    std::filesystem::path book, settings, pictures;
};

// "DIR/ProgramFiles/Settings/Ringwatcher/addrbook.dat", ".../ringwatcher.ini", "DIR/PhotoFiles/Ringwatcher".
DiskLayout diskLayout(const std::filesystem::path &disk);

// Adds to an address book's report what the receiver meets in the pictures its entries name (and in
// "unknown.jpg"): missing files, files it cannot draw or draws slowly, names that are not plain ASCII.
void checkPictures(CheckReport &report, const std::filesystem::path &bookFile,
                   const std::filesystem::path &pictureFolder);

} // namespace book
