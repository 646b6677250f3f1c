#include "book_fixture.h"

#include <cstdio>
#include <regex>

#include "store/addressbook.h"
#include "store/callerlist.h"
#include "view/viewBook.h"

namespace test
{

std::string numbered(const char *prefix, int i)
{
    return prefix + std::to_string(i);
}

void BookTest::loadBook(const std::vector<std::string> &lines)
{
    std::string file;
    for (const auto &line : lines)
        file += line + "\n";
    writeAddressBook(file);
    enterSettingsFolder();
    ASSERT_EQ(loadAddressBook("addrbook.dat"), ADRBOOK_OK);
}

void BookTest::loadNumberedBook(int listed)
{
    std::vector<std::string> lines{"0300=Owner,owner.jpg,Self"};
    for (int i = 1; i <= listed; ++i)
        lines.push_back(numbered("030", i) + "=" + numbered("Name ", i) + "," + numbered("pic", i) + ".jpg," +
                        numbered("Info ", i));
    loadBook(lines);
}

void BookTest::addFinishedCall(int time, const std::string &number, int duration, int state)
{
    ASSERT_EQ(addCall(time, number.c_str(), duration, state), CALL_ADDED);
}

void BookTest::addNumberedCalls(int n, int firstNumber)
{
    for (int i = firstNumber; i < firstNumber + n; ++i)
        addFinishedCall(1261679400 + 60 * i, numbered("070", i), i, 1 + i % 3);
}

std::vector<std::string> BookTest::lastDrawing() const
{
    const auto &entries = sim::firmware().journal.entries();
    size_t start = entries.size();
    for (size_t i = entries.size(); i-- > 0;)
        if (entries[i].kind == sim::JournalEntry::Kind::print && entries[i].text == "Show Book\n") {
            start = i + 1;
            break;
        }
    static const std::regex jpegResult(R"(^(TAP_Osd_DrawJpeg\(.*\)) = -?\d+$)");
    std::vector<std::string> out;
    for (size_t i = start; i < entries.size(); ++i)
        if (entries[i].kind == sim::JournalEntry::Kind::call)
            out.push_back(std::regex_replace(entries[i].text, jpegResult, "$1"));
    return out;
}

size_t BookTest::drawingCount() const
{
    return sim::firmware().journal.countPrints("Show Book\n");
}

std::vector<DrawnText> textsOf(const std::vector<std::string> &drawing)
{
    static const std::regex putSLine(
        R"re(^TAP_Osd_PutS\((\d+),(\d+),(\d+),(\d+),"(.*)",0x([0-9A-F]{8}),0x[0-9A-F]{8},\d+,(\d+),(\d+),(\d+)\)$)re");
    std::vector<DrawnText> out;
    for (const auto &line : drawing) {
        std::smatch m;
        if (std::regex_match(line, m, putSLine))
            out.push_back({std::stoi(m[1]), std::stoi(m[2]), std::stoi(m[3]), std::stoi(m[4]), m[5],
                           static_cast<unsigned>(std::stoul(m[6], nullptr, 16)),
                           static_cast<unsigned>(std::stoul(m[7])), static_cast<unsigned>(std::stoul(m[8])),
                           static_cast<unsigned>(std::stoul(m[9]))});
    }
    return out;
}

std::vector<std::string> column(const std::vector<std::string> &drawing, int x)
{
    std::vector<std::string> out;
    for (const auto &t : textsOf(drawing))
        if (t.x == x && t.y >= 128)
            out.push_back(t.text);
    return out;
}

std::string textAt(const std::vector<std::string> &drawing, int x, int y)
{
    for (const auto &t : textsOf(drawing))
        if (t.x == x && t.y == y)
            return t.text;
    return "<none>";
}

bool has(const std::vector<std::string> &drawing, const std::string &call)
{
    for (const auto &line : drawing)
        if (line == call)
            return true;
    return false;
}

size_t countPrefix(const std::vector<std::string> &drawing, const std::string &prefix)
{
    size_t n = 0;
    for (const auto &line : drawing)
        if (line.rfind(prefix, 0) == 0)
            ++n;
    return n;
}

std::string putS(int x, int y, int maxX, const std::string &text, int size, int dot, int align, int region,
                 unsigned color)
{
    char buf[512];
    std::snprintf(buf, sizeof buf, "TAP_Osd_PutS(%d,%d,%d,%d,\"%s\",0x%08X,0x00000000,0,%d,%d,%d)", region, x, y, maxX,
                  sim::escapeText(text).c_str(), color, size, dot, align);
    return buf;
}

std::string putGd(int x, int y, const std::string &image, int sprite, int region)
{
    char buf[128];
    std::snprintf(buf, sizeof buf, "TAP_Osd_PutGd(%d,%d,%d,%s,%d)", region, x, y, image.c_str(), sprite);
    return buf;
}

std::string drawJpeg(const std::string &file, int region)
{
    return "TAP_Osd_DrawJpeg(" + std::to_string(region) + ",500,116,166,158,\"/PhotoFiles/Ringwatcher/" + file +
           "\",0)";
}

} // namespace test
