// One line "number = name, picture, info" per entry. The program cuts every piece, the value and the
// whole line at fixed lengths; cutting here first keeps the picture and info whole and says so.
#include "writer/bookWriter.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

#include "writer/latin1.h"
#include "writer/programLimits.h"

namespace book
{

namespace
{

const char header[] =
    "# Ringwatcher address book, written by ringwatcher-book from the router's or a phone's contacts.\n"
    "# number = name, picture, info. The first entry names the own line: the program\n"
    "# looks it up but never lists it.\n";

const char placeholderComment[] = "# No own number was given: \"-\" is a placeholder that no call matches.\n";

std::string shown(const std::string &latin1)
{
    return "\"" + latin1ToUtf8(latin1) + "\"";
}

std::string withoutTrailingBlanks(std::string text)
{
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

void cutTo(std::string &text, std::size_t limit, const char *what, const Entry &entry, const char *consequence,
           std::vector<Warning> &warnings)
{
    if (text.size() <= limit)
        return;
    std::string was = text;
    text = withoutTrailingBlanks(text.substr(0, limit));
    warnings.push_back({entry.who, std::string(what) + " " + shown(was) + " cut to " + std::to_string(limit) +
                                       " characters: " + shown(text) + consequence});
}

std::string tail(const Entry &entry)
{
    if (entry.info.empty())
        return entry.picture.empty() ? "" : ", " + entry.picture;
    return ", " + entry.picture + ", " + entry.info; // an empty picture between the commas means "unknown.jpg"
}

// Cuts the entry in place and gives its line.
std::string formatLine(Entry &entry, std::vector<Warning> &warnings)
{
    cutTo(entry.number, numberMax, "number", entry, ": no call matches the whole number", warnings);
    cutTo(entry.picture, pictureMax, "picture file name", entry, ": rename the picture to match", warnings);
    cutTo(entry.info, infoMax, "info", entry, "", warnings);
    cutTo(entry.name, nameMax, "name", entry, "", warnings);

    // The program keeps 127 characters of the value and 160 of the line; only the name gives way.
    std::string prefix = entry.number.empty() ? "= " : entry.number + " = ";
    std::size_t room = std::min(valueMax, lineMax - prefix.size());
    std::string rest = tail(entry);
    if (entry.name.size() + rest.size() > room) {
        std::string was = entry.name;
        entry.name = withoutTrailingBlanks(entry.name.substr(0, room - rest.size()));
        warnings.push_back(
            {entry.who, "name " + shown(was) + " cut to " + std::to_string(entry.name.size()) +
                            " characters to keep the line within the program's limits: " + shown(entry.name)});
    }
    return prefix + entry.name + rest + "\n";
}

} // namespace

WrittenBook formatBook(const Entries &entries)
{
    WrittenBook out;
    out.contents = header;
    std::vector<Entry> written;
    written.reserve(entries.list.size());
    std::map<std::string, std::size_t> firstWithNumber;
    for (const Entry &entry : entries.list) {
        if (out.entries == entriesMax) {
            out.dropped++;
            out.warnings.push_back({entry.who, "number \"" + entry.number + "\" (" + shown(entry.name) +
                                                   ") not written: the program holds only " +
                                                   std::to_string(entriesMax) + " entries"});
            continue;
        }
        if (entry.role == Entry::Role::placeholder)
            out.contents += placeholderComment;
        written.push_back(entry);
        Entry &cut = written.back();
        out.contents += formatLine(cut, out.warnings);
        auto [earlier, isNew] = firstWithNumber.emplace(cut.number, written.size() - 1);
        if (!isNew) {
            const Entry &first = written[earlier->second];
            out.warnings.push_back({cut.who, "number \"" + cut.number + "\" is already in the entry of " + first.who +
                                                 ": calls from it show " + shown(first.name)});
        }
        out.entries++;
    }
    if (out.dropped > 0)
        out.warnings.push_back({"", std::to_string(out.dropped) + " of " + std::to_string(entries.list.size()) +
                                        " entries not written: the program holds only " + std::to_string(entriesMax) +
                                        " (the own line counts as one)"});
    return out;
}

void saveAtomically(const std::filesystem::path &file, const std::string &contents)
{
    std::filesystem::path folder = file.parent_path().empty() ? "." : file.parent_path();
    std::string pattern = (folder / ("." + file.filename().string() + ".XXXXXX")).string();
    int fd = mkstemp(pattern.data());
    if (fd < 0)
        throw OutputError(file.string() + ": cannot create a file in " + folder.string() + ": " + std::strerror(errno));
    auto fail = [&](const std::string &what) {
        int error = errno;
        close(fd);
        std::remove(pattern.c_str());
        throw OutputError(file.string() + ": " + what + ": " + std::strerror(error));
    };
    // mkstemp makes the file private; an address book is as readable as any file the user writes.
    mode_t mask = umask(0);
    umask(mask);
    if (fchmod(fd, 0666 & ~mask) != 0)
        fail("cannot set permissions");
    const char *data = contents.data();
    std::size_t left = contents.size();
    while (left > 0) {
        ssize_t written = write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            fail("write failed");
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    if (fsync(fd) != 0 && errno != EINVAL) // EINVAL: a file system that cannot sync, nothing lost
        fail("write failed");
    if (close(fd) != 0) {
        int error = errno;
        std::remove(pattern.c_str());
        throw OutputError(file.string() + ": write failed: " + std::strerror(error));
    }
    if (std::rename(pattern.c_str(), file.c_str()) != 0) {
        int error = errno;
        std::remove(pattern.c_str());
        throw OutputError(file.string() + ": cannot replace it: " + std::strerror(error));
    }
}

} // namespace book
