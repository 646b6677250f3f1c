// Picture checks read only the JPEG header: that tells everything the receiver's decoder cares about
// (baseline or progressive, size, colour model) without decoding a photo.
#include <algorithm>
#include <cctype>
#include <map>
#include <system_error>

#include "check/receiverDisk.h"
#include "import/phoneBook.h"
#include "pictures/picture.h"
#include "writer/bookLines.h"
#include "writer/latin1.h"
#include "writer/programLimits.h"

namespace book
{

namespace
{

namespace fs = std::filesystem;
using Severity = Finding::Severity;

// Twice the box on a side is what the decoder's quick halving still handles well; a file far past it
// costs the receiver's slow CPU a visible pause at every call.
constexpr int sideFactor = 2;
constexpr std::uintmax_t bytesMax = 64u << 10;

bool plainAscii(const std::string &name)
{
    for (char c : name) {
        auto u = static_cast<unsigned char>(c);
        if (u < 0x21 || u > 0x7E)
            return false;
    }
    return true;
}

std::string lowered(std::string text)
{
    for (char &c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string sameButCase(const fs::path &folder, const std::string &name)
{
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(folder, ec))
        if (lowered(entry.path().filename().string()) == lowered(name))
            return entry.path().filename().string();
    return "";
}

void checkFile(CheckReport &report, int line, const std::string &name, const fs::path &folder, int entries)
{
    std::string shown = "\"" + latin1ToUtf8(name) + "\"";
    std::string naming = entries > 1 ? " (named by " + std::to_string(entries) + " entries)" : "";
    if (!plainAscii(name))
        report.add(line, Severity::warning,
                   "picture name " + shown +
                       " is not plain ASCII (or holds blanks): the receiver may not find it; ringwatcher-book "
                       "pictures writes plain names");
    fs::path file = folder / name;
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) {
        std::string other = sameButCase(folder, name);
        report.add(line, Severity::warning,
                   "picture " + shown + naming + " is not in " + folder.string() + ": the picture box stays empty" +
                       (other.empty() ? "" : " (there is \"" + other + "\"; names are compared exactly)"));
        return;
    }
    std::string bytes;
    try {
        bytes = readInputFile(file);
    } catch (const InputError &error) {
        report.add(line, Severity::warning, error.what());
        return;
    }
    JpegFacts facts = inspectJpeg(bytes);
    if (!facts.readable) {
        report.add(line, Severity::warning,
                   "picture " + shown + naming + ": " + facts.error + ": the receiver cannot draw it");
        return;
    }
    if (facts.progressive)
        report.add(line, Severity::warning,
                   "picture " + shown + naming +
                       " is a progressive JPEG: the receiver decodes it slowly or not at all; ringwatcher-book "
                       "pictures writes baseline ones");
    if (facts.cmyk)
        report.add(line, Severity::warning, "picture " + shown + naming + " is a CMYK JPEG: the receiver draws RGB");
    bool large = facts.width > sideFactor * pictureWidth || facts.height > sideFactor * pictureHeight;
    if (large || bytes.size() > bytesMax)
        report.add(line, Severity::warning,
                   "picture " + shown + naming + " is " + std::to_string(facts.width) + " x " +
                       std::to_string(facts.height) + " in " + std::to_string(bytes.size() >> 10) +
                       " KB, far more than the " + std::to_string(pictureWidth) + " x " +
                       std::to_string(pictureHeight) +
                       " box: the receiver decodes all of it at every call; ringwatcher-book pictures makes it small");
}

} // namespace

DiskLayout diskLayout(const fs::path &disk)
{
    fs::path settings = disk / "ProgramFiles" / "Settings" / "Ringwatcher";
    return {settings / "addrbook.dat", settings / "ringwatcher.ini", disk / "PhotoFiles" / "Ringwatcher"};
}

void checkPictures(CheckReport &report, const fs::path &bookFile, const fs::path &pictureFolder)
{
    std::error_code ec;
    if (!fs::is_directory(pictureFolder, ec)) {
        report.add(0, Severity::warning, "there is no picture folder " + pictureFolder.string());
        return;
    }
    std::vector<BookLine> lines = readBookLines(readCheckedFile(bookFile));
    // The first line naming each picture, and how many entries name it.
    std::map<std::string, std::pair<int, int>> named;
    std::vector<std::string> order;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!lines[i].entry)
            continue;
        // Cut and defaulted as the program stores it.
        std::string picture = lines[i].picture.substr(0, pictureMax);
        if (picture.empty())
            picture = "unknown.jpg";
        auto [at, isNew] = named.emplace(picture, std::make_pair(static_cast<int>(i + 1), 0));
        at->second.second++;
        if (isNew)
            order.push_back(picture);
    }
    // Every number without an entry shows "unknown.jpg".
    if (named.emplace("unknown.jpg", std::make_pair(0, 0)).second)
        order.push_back("unknown.jpg");
    for (const auto &picture : order)
        checkFile(report, named[picture].first, picture, pictureFolder, named[picture].second);
    report.summary.push_back(std::to_string(order.size()) + " picture(s) looked at in " + pictureFolder.string());
    // Files left behind by an earlier book only take room on the receiver's disk.
    std::vector<std::string> unused;
    for (const auto &entry : fs::directory_iterator(pictureFolder, ec))
        if (entry.is_regular_file() && !named.count(entry.path().filename().string()))
            unused.push_back(entry.path().filename().string());
    std::sort(unused.begin(), unused.end());
    for (const auto &file : unused)
        report.add(0, Severity::note,
                   "picture file \"" + file + "\" in " + pictureFolder.string() + " is named by no entry");
    if (!unused.empty())
        report.summary.push_back(std::to_string(unused.size()) + " picture file(s) named by no entry");
}

} // namespace book
