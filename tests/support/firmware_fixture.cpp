#include "firmware_fixture.h"

#include <stdexcept>

namespace test
{

void FirmwareTest::SetUp()
{
    booted_ = std::make_unique<sim::TemporaryReceiver>(boot);
    diskRoot = booted_->diskRoot();
}

void FirmwareTest::TearDown()
{
    receiver_.reset();
    booted_.reset();
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
    return sim::firmware().leakReport();
}

} // namespace test
