#include "disk.h"

#include <algorithm>
#include <cstring>
#include <fstream>

namespace sim
{

namespace fs = std::filesystem;

void Disk::setRoot(fs::path root)
{
    root_ = std::move(root);
    current_ = "/";
    memory_ = false;
    memoryFiles_.clear();
    memoryFolders_.clear();
}

void Disk::useMemory()
{
    setRoot({});
    memory_ = true;
    memoryFolders_.insert("/");
}

bool Disk::isFolder(const std::string &r) const
{
    if (memory_)
        return memoryFolders_.count(r) != 0;
    std::error_code ec;
    return fs::is_directory(hostPath(r), ec);
}

void Disk::reset()
{
    files_.clear();
    current_ = "/";
    nextHandle_ = 1;
}

// True when the absolute path is already in the normal form receiverPath
// gives: no empty, "." or ".." parts and no "/" at the end.
static bool isNormal(const std::string &path)
{
    if (path == "/")
        return true;
    if (path.empty() || path[0] != '/' || path.back() == '/')
        return false;
    for (size_t i = 0; i < path.size(); ++i) {
        if (path[i] != '/')
            continue;
        size_t end = path.find('/', i + 1);
        size_t length = (end == std::string::npos ? path.size() : end) - i - 1;
        if (length == 0 || (length <= 2 && path.compare(i + 1, length, "..", length) == 0))
            return false;
    }
    return true;
}

std::string Disk::receiverPath(const std::string &path) const
{
    std::string joined = (!path.empty() && path[0] == '/') ? path
                         : current_ == "/"                 ? "/" + path
                                                           : current_ + "/" + path;
    if (isNormal(joined)) // the usual case, checked without taking it apart
        return joined;
    // Normalise lexically; ".." above the root is refused by returning "".
    std::vector<std::string> parts;
    size_t i = 0;
    while (i <= joined.size()) {
        size_t j = joined.find('/', i);
        if (j == std::string::npos)
            j = joined.size();
        std::string part = joined.substr(i, j - i);
        if (part == "..") {
            if (parts.empty())
                return {};
            parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        i = j + 1;
    }
    std::string out;
    for (const auto &p : parts)
        out += "/" + p;
    return out.empty() ? "/" : out;
}

fs::path Disk::hostPath(const std::string &path) const
{
    std::string r = receiverPath(path);
    if (r.empty() || root_.empty())
        return {};
    return root_ / r.substr(1);
}

bool Disk::changeFolder(const std::string &folder)
{
    std::string r = receiverPath(folder);
    if (r.empty() || !isFolder(r))
        return false;
    current_ = r;
    return true;
}

int Disk::open(const std::string &name)
{
    if (memory_) {
        auto it = memoryFiles_.find(receiverPath(name));
        if (it == memoryFiles_.end())
            return 0;
        OpenFile file;
        file.path = it->first;
        file.contents = it->second;
        files_.emplace(nextHandle_, std::move(file));
        return nextHandle_++;
    }
    fs::path p = hostPath(name);
    std::error_code ec;
    if (p.empty() || !fs::is_regular_file(p, ec))
        return 0;
    FILE *f = std::fopen(p.c_str(), "rb");
    if (!f)
        return 0;
    int handle = nextHandle_++;
    OpenFile file;
    file.path = receiverPath(name);
    file.file.reset(f);
    files_.emplace(handle, std::move(file));
    return handle;
}

bool Disk::close(int handle)
{
    return files_.erase(handle) == 1;
}

uint32_t Disk::read(int handle, void *buffer, uint32_t blockSize, uint32_t blockCount)
{
    auto it = files_.find(handle);
    if (it == files_.end() || blockSize == 0)
        return 0;
    OpenFile &f = it->second;
    if (!f.contents)
        return static_cast<uint32_t>(std::fread(buffer, blockSize, blockCount, f.file.get()));
    // As fread: the bytes of a last, partial block are read but not counted.
    size_t wanted = static_cast<size_t>(blockSize) * blockCount;
    size_t n = std::min(wanted, f.contents->size() - f.offset);
    std::memcpy(buffer, f.contents->data() + f.offset, n);
    f.offset += n;
    return static_cast<uint32_t>(n / blockSize);
}

std::vector<std::string> Disk::leakReport() const
{
    std::vector<std::string> out;
    for (const auto &[h, f] : files_)
        out.push_back("file " + f.path + " never closed");
    return out;
}

void Disk::writeFile(const std::string &path, const std::string &contents)
{
    if (memory_) {
        std::string r = receiverPath(path);
        if (r.empty() || r == "/")
            return;
        memoryFiles_[r] = std::make_shared<const std::string>(contents);
        for (size_t slash = r.rfind('/'); slash != 0 && slash != std::string::npos; slash = r.rfind('/', slash - 1))
            memoryFolders_.insert(r.substr(0, slash));
        return;
    }
    fs::path p = hostPath(path);
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << contents;
}

void Disk::makeFolder(const std::string &path)
{
    std::string r = receiverPath(path);
    if (r.empty())
        return;
    if (!memory_) {
        std::error_code ec;
        fs::create_directories(hostPath(r), ec);
        return;
    }
    for (size_t slash = r.find('/', 1); slash != std::string::npos; slash = r.find('/', slash + 1))
        memoryFolders_.insert(r.substr(0, slash));
    memoryFolders_.insert(r);
}

void Disk::removeFile(const std::string &path)
{
    std::string r = receiverPath(path);
    if (memory_) {
        memoryFiles_.erase(r);
        return;
    }
    std::error_code ec;
    fs::remove(hostPath(r), ec);
}

} // namespace sim
