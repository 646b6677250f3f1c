// ringwatcher-book pictures: a folder of photos made into the receiver's picture folder, and the
// address book's picture names made to match.
#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "import/phoneBook.h"
#include "pictures/picture.h"

namespace book
{

struct PictureOptions {
    std::filesystem::path sources;             // the photos, or the router's fonpix folder
    std::filesystem::path output;              // the disk's PhotoFiles/Ringwatcher
    std::optional<std::filesystem::path> book; // addrbook.dat to update in place
    Placement placement = Placement::crop;
};

struct PictureResult {
    std::string source;  // file name in the source folder (UTF-8)
    std::string written; // file name in the output folder; empty when it could not be read
    std::string error;
    SourceFacts facts;
    std::uintmax_t sourceBytes = 0, writtenBytes = 0;
    std::vector<std::string> entries; // "number name" of the entries that show it, UTF-8
};

struct PictureRun {
    std::vector<PictureResult> pictures;  // in file-name order
    std::vector<std::string> bookChanges; // what changed in the address book, UTF-8
    std::vector<std::string> warnings;
    bool placeholderWritten = false;
    std::size_t failed() const;
};

// The output folder's name for a photo: plain ASCII, lower case, no blanks, at most 31 characters
// with ".jpg", not one of `taken` (compared without case).
std::string receiverName(const std::string &sourceFileName, const std::vector<std::string> &taken);

// Throws InputError for a missing source folder or address book, OutputError when nothing could be
// written. Pictures that cannot be read are reported in the result; the others are written.
PictureRun makePictures(const PictureOptions &options);

// The photos that contacts carry themselves (vCard PHOTO), made into pictures as a folder of them
// would be, each under the name its contact's entry gives it; `options.sources` is not used.
PictureRun makeContactPictures(const PhoneBook &contacts, const PictureOptions &options);

void printPictureRun(std::ostream &out, const PictureOptions &options, const PictureRun &run);

} // namespace book
