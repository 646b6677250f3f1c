#include "heap.h"

#include <cstdio>

namespace sim
{

void Heap::reset(uint32_t size)
{
    size_ = size;
    used_ = 0;
    free_.clear();
    if (size > 0)
        free_[0] = size;
    blocks_.clear();
    allocations_ = 0;
    failAt_ = 0;
    failFrom_ = 0;
    badFrees_ = 0;
    live_ = 0;
    peak_ = 0;
}

uint32_t Heap::largestFreeBlock() const
{
    uint32_t best = 0;
    for (const auto &[offset, length] : free_)
        if (length > best)
            best = length;
    return best > blockOverhead ? best - blockOverhead : 0;
}

void *Heap::allocate(uint32_t size)
{
    const uint64_t number = ++allocations_;
    if (number == failAt_ || (failFrom_ != 0 && number >= failFrom_))
        return nullptr;
    if (size == 0 || size > size_)
        return nullptr;
    const uint32_t span = ((size + 7u) & ~7u) + blockOverhead;
    for (auto it = free_.begin(); it != free_.end(); ++it) {
        if (it->second < span)
            continue;
        const uint32_t offset = it->first;
        const uint32_t rest = it->second - span;
        free_.erase(it);
        if (rest > 0)
            free_[offset + span] = rest;
        Block block{offset, span, size, number, std::make_unique<unsigned char[]>(size)};
        void *p = block.memory.get();
        blocks_.emplace(p, std::move(block));
        used_ += span;
        live_ += size;
        if (live_ > peak_)
            peak_ = live_;
        return p;
    }
    return nullptr;
}

bool Heap::release(const void *p)
{
    auto it = blocks_.find(p);
    if (it == blocks_.end()) {
        ++badFrees_;
        return false;
    }
    uint32_t offset = it->second.offset;
    uint32_t length = it->second.span;
    used_ -= length;
    live_ -= it->second.size;
    blocks_.erase(it);
    // Merge with the free neighbours so that the largest block is honest.
    auto next = free_.lower_bound(offset);
    if (next != free_.end() && offset + length == next->first) {
        length += next->second;
        next = free_.erase(next);
    }
    if (next != free_.begin()) {
        auto prev = std::prev(next);
        if (prev->first + prev->second == offset) {
            prev->second += length;
            return true;
        }
    }
    free_[offset] = length;
    return true;
}

uint32_t Heap::liveBytes() const
{
    uint32_t n = 0;
    for (const auto &[p, b] : blocks_)
        n += b.size;
    return n;
}

std::vector<std::string> Heap::leakReport() const
{
    std::vector<std::string> out;
    for (const auto &[p, b] : blocks_) {
        char line[96];
        std::snprintf(line, sizeof line, "heap block of %u bytes (allocation %llu) never freed", b.size,
                      static_cast<unsigned long long>(b.number));
        out.emplace_back(line);
    }
    return out;
}

} // namespace sim
