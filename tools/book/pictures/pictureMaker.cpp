// Each photo is converted on its own and written whole (temporary file, then rename), so one that
// cannot be read costs only itself. Entries are matched to photos by the picture name they already
// carry (the router's fonpix names), by their number, or by their name.
#include "pictures/pictureMaker.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <set>

#include "import/numbers.h"
#include "import/phoneBook.h"
#include "writer/bookLines.h"
#include "writer/bookWriter.h"
#include "writer/latin1.h"
#include "writer/programLimits.h"

namespace book
{

namespace
{

namespace fs = std::filesystem;

std::string lowered(std::string text)
{
    for (char &c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string stemOf(const std::string &fileName)
{
    auto dot = fileName.rfind('.');
    return dot == std::string::npos || dot == 0 ? fileName : fileName.substr(0, dot);
}

bool isPictureFileName(const std::string &fileName)
{
    std::string extension = lowered(fileName.substr(stemOf(fileName).size()));
    return extension == ".jpg" || extension == ".jpeg" || extension == ".png" || extension == ".heic" ||
           extension == ".heif";
}

// Letters and digits only, lower case, in ASCII: the entry "Anna Müller" matches "anna-muller.jpg".
std::string matchKey(const std::string &utf8)
{
    std::string out;
    for (char c : toAscii(utf8).text)
        if (std::isalnum(static_cast<unsigned char>(c)))
            out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string sizeText(std::uintmax_t bytes)
{
    char text[32];
    if (bytes >= 1u << 20)
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1u << 20));
    else if (bytes >= 1024)
        std::snprintf(text, sizeof text, "%.1f KB", static_cast<double>(bytes) / 1024);
    else
        std::snprintf(text, sizeof text, "%ju bytes", bytes);
    return text;
}

// The picture of numbers without an entry, in English or as German phones name it.
bool isUnknownCaller(const std::string &fileName)
{
    std::string stem = lowered(stemOf(fileName));
    return stem == "unknown" || stem == "unbekannt";
}

bool takenAlready(const std::vector<std::string> &taken, const std::string &name)
{
    return std::any_of(taken.begin(), taken.end(), [&](const std::string &t) { return lowered(t) == name; });
}

void convertOne(const fs::path &file, const PictureOptions &options, PictureResult &result)
{
    try {
        std::string bytes = readInputFile(file);
        result.sourceBytes = bytes.size();
        Pixels pixels = boxPicture(bytes, pictureWidth, pictureHeight, options.placement, result.facts);
        std::string jpeg = encodeJpeg(pixels);
        saveAtomically(options.output / result.written, jpeg);
        result.writtenBytes = jpeg.size();
    } catch (const std::exception &error) {
        result.error = error.what();
        result.written.clear();
    }
}

PictureResult *matchFor(const BookLine &line, std::vector<PictureResult> &pictures)
{
    auto usable = [](const PictureResult &p) { return !p.written.empty(); };
    for (auto &p : pictures)
        if (usable(p) && !line.picture.empty() &&
            (lowered(p.source) == lowered(line.picture) || lowered(stemOf(p.source)) == lowered(stemOf(line.picture))))
            return &p;
    // A number in a file name is read as the export's numbers are: "0176 99887766", "+49 176-99887766".
    for (auto &p : pictures) {
        if (!usable(p) || line.number.empty() || p.written == "unknown.jpg")
            continue;
        NormalisedNumber n = normaliseNumber(stemOf(p.source), NumberRules{});
        if (n.verdict == NormalisedNumber::Verdict::usable && n.number == line.number)
            return &p;
    }
    std::string key = matchKey(latin1ToUtf8(line.name));
    for (auto &p : pictures)
        if (usable(p) && !key.empty() && p.written != "unknown.jpg" && matchKey(stemOf(p.source)) == key)
            return &p;
    return nullptr;
}

void updateBook(const PictureOptions &options, PictureRun &run)
{
    std::string contents = readInputFile(*options.book);
    std::vector<BookLine> lines = readBookLines(contents);
    for (BookLine &line : lines) {
        if (!line.entry)
            continue;
        std::string who = line.number + " " + latin1ToUtf8(line.name);
        PictureResult *match = matchFor(line, run.pictures);
        std::string wanted = line.picture;
        if (match != nullptr) {
            wanted = match->written;
            match->entries.push_back(who);
        } else if (!line.picture.empty() && line.picture != "unknown.jpg" &&
                   !fs::is_regular_file(options.output / line.picture)) {
            wanted.clear();
        }
        if (wanted == line.picture)
            continue;
        std::string was = line.picture;
        if (!setPicture(line, wanted)) {
            run.warnings.push_back(who + ": \"" + wanted + "\" would make the line longer than the program reads; " +
                                   "the line is left as it was");
            continue;
        }
        if (wanted.empty())
            run.bookChanges.push_back(who + ": picture \"" + latin1ToUtf8(was) +
                                      "\" is not in the picture folder; the entry now shows unknown.jpg");
        else
            run.bookChanges.push_back(who + ": picture " + (was.empty() ? "" : "\"" + latin1ToUtf8(was) + "\" ") +
                                      "now \"" + wanted + "\"");
    }
    std::string updated = joinBookLines(lines);
    if (updated != contents)
        saveAtomically(*options.book, updated);
}

} // namespace

std::size_t PictureRun::failed() const
{
    return static_cast<std::size_t>(
        std::count_if(pictures.begin(), pictures.end(), [](const PictureResult &p) { return p.written.empty(); }));
}

std::string receiverName(const std::string &sourceFileName, const std::vector<std::string> &taken)
{
    std::string base;
    for (char c : toAscii(stemOf(sourceFileName)).text) {
        auto u = static_cast<unsigned char>(c);
        if (std::isalnum(u))
            base += static_cast<char>(std::tolower(u));
        else if (!base.empty() && base.back() != '-')
            base += '-';
    }
    const std::size_t room = pictureMax - 4 - 3; // ".jpg" and a "-99" to tell names apart
    base = base.substr(0, room);
    while (!base.empty() && base.back() == '-')
        base.pop_back();
    if (base.empty())
        base = "picture";
    std::string name = base + ".jpg";
    for (int n = 2; takenAlready(taken, name); ++n)
        name = base + "-" + std::to_string(n) + ".jpg";
    return name;
}

PictureRun makePictures(const PictureOptions &options)
{
    std::error_code ec;
    if (!fs::is_directory(options.sources, ec))
        throw InputError(options.sources.string() + ": no such folder");
    if (options.book && !fs::is_regular_file(*options.book, ec))
        throw InputError(options.book->string() + ": no such address book");
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(options.sources, ec))
        if (entry.is_regular_file())
            names.push_back(entry.path().filename().string());
    if (ec)
        throw InputError(options.sources.string() + ": cannot be read: " + ec.message());
    std::sort(names.begin(), names.end());

    fs::create_directories(options.output, ec);
    if (ec)
        throw OutputError(options.output.string() + ": cannot be made: " + ec.message());

    PictureRun run;
    std::vector<std::string> taken;
    for (const auto &name : names) {
        if (!isPictureFileName(name)) {
            run.warnings.push_back(name + ": skipped, not a .jpg, .jpeg, .png or .heic file");
            continue;
        }
        PictureResult result;
        result.source = name;
        result.written =
            isUnknownCaller(name) && !takenAlready(taken, "unknown.jpg") ? "unknown.jpg" : receiverName(name, taken);
        taken.push_back(result.written);
        convertOne(options.sources / name, options, result);
        run.pictures.push_back(std::move(result));
    }
    if (options.book)
        updateBook(options, run);
    if (!fs::exists(options.output / "unknown.jpg")) {
        saveAtomically(options.output / "unknown.jpg", encodeJpeg(placeholderPicture(pictureWidth, pictureHeight)));
        run.placeholderWritten = true;
    }
    return run;
}

void printPictureRun(std::ostream &out, const PictureOptions &options, const PictureRun &run)
{
    for (const auto &p : run.pictures) {
        if (p.written.empty()) {
            out << "error: " << p.source << " cannot be read: " << p.error << "; nothing written for it\n";
            continue;
        }
        const SourceFacts &f = p.facts;
        out << p.source << ": " << f.kind << " " << f.width << " x " << f.height
            << (f.progressive ? ", progressive" : "")
            << (f.orientation != 1 ? ", EXIF orientation " + std::to_string(f.orientation) : "") << ", "
            << sizeText(p.sourceBytes) << " -> " << p.written << " " << pictureWidth << " x " << pictureHeight << ", "
            << sizeText(p.writtenBytes);
        for (std::size_t i = 0; i < p.entries.size(); ++i)
            out << (i == 0 ? ", for " : "; ") << p.entries[i];
        if (options.book && p.entries.empty() && p.written != "unknown.jpg")
            out << ", named by no entry";
        out << '\n';
    }
    for (const auto &w : run.warnings)
        out << "warning: " << w << '\n';
    for (const auto &c : run.bookChanges)
        out << options.book->string() << ": " << c << '\n';
    if (run.placeholderWritten)
        out << (options.output / "unknown.jpg").string()
            << ": written as a placeholder for numbers without an entry (put an unknown.jpg among the photos for "
               "your own)\n";
    out << options.output.string() << ": " << run.pictures.size() - run.failed() << " picture(s) written";
    if (run.failed() > 0)
        out << ", " << run.failed() << " could not be read";
    if (options.book)
        out << "; " << run.bookChanges.size() << " change(s) to " << options.book->string();
    out << '\n';
}

} // namespace book
