// The firmware heap: a first-fit allocator over a heap of configurable size,
// so that "available" is the largest free block as on the receiver. Every
// block is also a separate host allocation, which keeps each one visible to
// AddressSanitizer. Faults: a small heap, or "the Nth allocation fails",
// which means the same on 32- and 64-bit builds.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace sim
{

class Heap
{
  public:
    static constexpr uint32_t defaultSize = 4u << 20;
    static constexpr uint32_t blockOverhead = 8; // bookkeeping per block, as a real allocator has

    explicit Heap(uint32_t size = defaultSize) { reset(size); }

    void reset(uint32_t size);
    void *allocate(uint32_t size);
    bool release(const void *block); // false for a pointer that is not a live block

    uint32_t size() const { return size_; }
    uint32_t freeBytes() const { return size_ - used_; }
    uint32_t largestFreeBlock() const;

    // Allocation number n (1 = the first since reset) fails; 0 switches off.
    void failAllocation(uint64_t n) { failAt_ = n; }
    // Every allocation from number n on fails; 0 switches off.
    void failFrom(uint64_t n) { failFrom_ = n; }
    uint64_t allocationCount() const { return allocations_; }

    size_t liveBlocks() const { return blocks_.size(); }
    uint32_t liveBytes() const;
    // The most bytes asked for and held at once since reset.
    uint32_t peakBytes() const { return peak_; }
    std::vector<std::string> leakReport() const;
    size_t badFrees() const { return badFrees_; }

  private:
    struct Block {
        uint32_t offset;
        uint32_t span;   // bytes taken from the heap, overhead and rounding included
        uint32_t size;   // bytes asked for
        uint64_t number; // allocation number
        std::unique_ptr<unsigned char[]> memory;
    };
    uint32_t size_ = 0;
    uint32_t used_ = 0;
    std::map<uint32_t, uint32_t> free_; // offset -> length
    std::map<const void *, Block> blocks_;
    uint64_t allocations_ = 0;
    uint64_t failAt_ = 0;
    uint64_t failFrom_ = 0;
    size_t badFrees_ = 0;
    uint32_t live_ = 0;
    uint32_t peak_ = 0;
};

} // namespace sim
