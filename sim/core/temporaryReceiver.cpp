#include "temporaryReceiver.h"

#include <cstdlib>
#include <stdexcept>
#include <string>

#include "firmware.h"
#include "network.h"

namespace sim
{

namespace fs = std::filesystem;

TemporaryReceiver::TemporaryReceiver(const BootOptions &options)
{
    if (options.timeZone)
        pinTimeZone(options.timeZone);
    firmware().reset(options.heapSize);
    network().setTransport(options.transport);
    network().reset();
    network().setRouter("", 1012);
    if (options.memoryDisk) {
        firmware().disk.useMemory();
        if (options.programFolders) {
            firmware().disk.makeFolder(settingsFolder);
            firmware().disk.makeFolder(photoFolder);
        }
        return;
    }
    if (!options.disk.empty()) {
        root_ = fs::absolute(options.disk);
    } else {
        std::string pattern = (fs::temp_directory_path() / "rw-disk-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("cannot make a disk folder in " + fs::temp_directory_path().string());
        root_ = pattern;
        owned_ = true;
        if (!options.diskTemplate.empty())
            fs::copy(options.diskTemplate, root_, fs::copy_options::recursive);
    }
    if (options.programFolders) {
        fs::create_directories(root_ / fs::path(settingsFolder).relative_path());
        fs::create_directories(root_ / fs::path(photoFolder).relative_path());
    }
    firmware().disk.setRoot(root_);
}

TemporaryReceiver::~TemporaryReceiver()
{
    std::error_code ec;
    if (owned_)
        fs::remove_all(root_, ec);
}

} // namespace sim
