// The receiver's hard disk, played by a host folder: "/ProgramFiles/..." on
// the receiver is <root>/ProgramFiles/... on the PC. Paths never leave the
// root. Open files are tracked so that a file left open is reported. A disk
// in memory holds its files and folders in maps instead, for runs that want
// no host files (a fuzzer starting the program for every input, a build
// without a file system); it has no host paths.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace sim
{

class Disk
{
  public:
    void setRoot(std::filesystem::path root);
    const std::filesystem::path &root() const { return root_; }
    // An empty disk in memory; setRoot goes back to a folder.
    void useMemory();
    bool inMemory() const { return memory_; }

    // Receiver path of the current folder, always absolute ("/" at start).
    const std::string &currentFolder() const { return current_; }
    bool changeFolder(const std::string &folder);

    // Receiver path (absolute, or relative to the current folder) to host
    // path; empty when it would leave the root.
    std::filesystem::path hostPath(const std::string &path) const;
    std::string receiverPath(const std::string &path) const;

    int open(const std::string &name); // handle > 0, or 0
    bool close(int handle);
    uint32_t read(int handle, void *buffer, uint32_t blockSize, uint32_t blockCount);
    size_t openFiles() const { return files_.size(); }
    std::vector<std::string> leakReport() const;

    // For tests and scenarios: write a file, folders created as needed.
    void writeFile(const std::string &receiverPath, const std::string &contents);
    void removeFile(const std::string &receiverPath);
    void makeFolder(const std::string &receiverPath);
    // Open files are closed; the files themselves stay.
    void reset();

  private:
    bool isFolder(const std::string &receiverPath) const;

    std::filesystem::path root_;
    std::string current_ = "/";
    bool memory_ = false;
    std::map<std::string, std::shared_ptr<const std::string>> memoryFiles_;
    std::set<std::string> memoryFolders_;
    struct OpenFile {
        std::string path;
        std::unique_ptr<FILE, int (*)(FILE *)> file{nullptr, &std::fclose};
        std::shared_ptr<const std::string> contents; // a file in memory
        size_t offset = 0;
    };
    std::map<int, OpenFile> files_;
    int nextHandle_ = 1;
};

} // namespace sim
