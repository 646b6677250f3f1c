#include "firmware_fixture.h"

#include <cstdlib>
#include <stdexcept>
#include <unistd.h>

namespace test
{

void FirmwareTest::SetUp()
{
    sim::pinTimeZone("UTC");
    char pattern[] = "/tmp/rw-disk-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    diskRoot = pattern;
    std::filesystem::create_directories(diskRoot / "ProgramFiles/Settings/Ringwatcher");
    std::filesystem::create_directories(diskRoot / "PhotoFiles/Ringwatcher");
    sim::firmware().reset();
    sim::firmware().disk.setRoot(diskRoot);
    sim::network().reset();
    sim::network().setRouter("", 1012);
}

void FirmwareTest::TearDown()
{
    receiver_.reset();
    std::error_code ec;
    std::filesystem::remove_all(diskRoot, ec);
}

void FirmwareTest::writeFile(const std::string &receiverPath, const std::string &contents)
{
    sim::firmware().disk.writeFile(receiverPath, contents);
}

void FirmwareTest::writeSettings(const std::string &contents)
{
    writeFile(std::string(settingsFolder) + "/ringwatcher.ini", contents);
}

void FirmwareTest::writeAddressBook(const std::string &contents)
{
    writeFile(std::string(settingsFolder) + "/addrbook.dat", contents);
}

void FirmwareTest::enterSettingsFolder()
{
    sim::firmware().disk.changeFolder(settingsFolder);
}

sim::Receiver &FirmwareTest::startProgram()
{
    if (!__TAP_Init_)
        throw std::logic_error("this test does not link the program's code");
    receiver_ = std::make_unique<sim::Receiver>(sim::registerEntries(&__TAP_Init_));
    receiver_->start();
    return *receiver_;
}

sim::Receiver &FirmwareTest::startProgramFile(const std::filesystem::path &file)
{
    std::string error;
    auto entries = sim::loadProgram(file, true, &error);
    if (!entries)
        throw std::runtime_error(error);
    receiver_ = std::make_unique<sim::Receiver>(*entries);
    receiver_->start();
    return *receiver_;
}

void FirmwareTest::runTicks(uint32_t ticks)
{
    receiver_->run(ticks);
}

std::vector<std::string> FirmwareTest::leaks() const
{
    auto out = sim::firmware().leakReport();
    for (auto &line : sim::network().leakReport())
        out.push_back(line);
    return out;
}

} // namespace test
