#include "disk.h"

#include <fstream>

namespace sim
{

namespace fs = std::filesystem;

void Disk::setRoot(fs::path root)
{
    root_ = std::move(root);
    current_ = "/";
}

void Disk::reset()
{
    files_.clear();
    current_ = "/";
    nextHandle_ = 1;
}

std::string Disk::receiverPath(const std::string &path) const
{
    std::string joined = (!path.empty() && path[0] == '/') ? path : current_ + "/" + path;
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
    if (r.empty())
        return false;
    std::error_code ec;
    if (!fs::is_directory(hostPath(r), ec))
        return false;
    current_ = r;
    return true;
}

int Disk::open(const std::string &name)
{
    fs::path p = hostPath(name);
    std::error_code ec;
    if (p.empty() || !fs::is_regular_file(p, ec))
        return 0;
    FILE *f = std::fopen(p.c_str(), "rb");
    if (!f)
        return 0;
    int handle = nextHandle_++;
    files_.emplace(handle, OpenFile{receiverPath(name), {f, &std::fclose}});
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
    return static_cast<uint32_t>(std::fread(buffer, blockSize, blockCount, it->second.file.get()));
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
    fs::path p = hostPath(path);
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << contents;
}

} // namespace sim
