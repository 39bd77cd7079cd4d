// Sorting the entries of one tag for a rebuild, in memory within a budget and through sorted
// runs in work files beyond it.
//
// Entries (key + record number, fixed length) are appended to one stretch of reserved address
// space of `capacity` bytes, of which only what is filled takes memory. Sort() orders them where
// they are, by a most-significant-byte-first radix sort that swaps entries into their buckets
// (no second array, no pointers), so the memory of an entry is its length alone. Spill() sorts
// what is in memory and writes it as a run to an anonymous work file; the memory is kept for the
// next run until FreeMemory(). An Add that finds the capacity full spills first. Drain() hands
// out every entry in ascending order: straight from memory when nothing was spilled, else by a
// k-way merge of the runs.
//
// A KeySorter is used by one thread at a time; different sorters may run on different threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "engine/index/huge_buffer.h"
#include "engine/storage/storage.h"

namespace engine::index {

class KeySorter {
 public:
  // capacity: the most bytes of entries held in memory (at least one entry is always held).
  KeySorter(size_t entryLength, std::filesystem::path workFolder, size_t capacity);
  ~KeySorter();

  void Add(const uint8_t* key, size_t keyLength, uint32_t recno) {
    if (used_ + entryLength_ > capacity_) Spill();
    if (memory_.data() == nullptr) Reserve();
    uint8_t* p = static_cast<uint8_t*>(memory_.data()) + used_;
    std::memcpy(p, key, keyLength);
    p[keyLength] = static_cast<uint8_t>(recno >> 24);
    p[keyLength + 1] = static_cast<uint8_t>(recno >> 16);
    p[keyLength + 2] = static_cast<uint8_t>(recno >> 8);
    p[keyLength + 3] = static_cast<uint8_t>(recno);
    used_ += entryLength_;
    sorted_ = false;
  }

  // Bytes of entries this sorter holds in memory.
  size_t MemoryUsed() const { return used_; }
  // The cost in memory of one more entry (for budgets).
  size_t CostPerEntry() const { return entryLength_; }
  // The memory is taken in pages of this size: the last may hold this much beyond the entries.
  size_t Granularity() const;
  uint64_t Total() const { return spilled_ + used_ / entryLength_; }
  size_t runCount() const { return runs_.size(); }

  // Sorts the entries in memory (done by Drain when needed; callable ahead, from another thread).
  void Sort();
  // The number of different keys (the first keyLength bytes of the entries) among the sorted
  // entries. REQUIRES: nothing spilled; sorts first when needed.
  uint64_t DistinctKeys(size_t keyLength);
  // Sorts what is in memory and writes it as a run; keeps the memory for more entries.
  void Spill();
  // Gives the memory back. REQUIRES: nothing in memory (after a Spill, or empty).
  void FreeMemory();
  // Calls out for each entry in ascending order. readBuffer bounds the memory of each run's
  // read buffer in a merge. The memory is given back.
  void Drain(const std::function<void(const uint8_t*)>& out, size_t readBuffer);

 private:
  struct Run {
    std::unique_ptr<storage::File> file;
    uint64_t entries = 0;
  };
  void Reserve();

  size_t entryLength_;
  std::filesystem::path workFolder_;
  size_t capacity_;
  HugeBuffer memory_;
  size_t used_ = 0;
  uint64_t spilled_ = 0;
  bool sorted_ = true;
  std::vector<Run> runs_;
};

// Orders n entries of `length` bytes that lie one after the other at base by their bytes
// (memcmp), in place. Exposed for tests.
void SortEntries(uint8_t* base, size_t n, size_t length);

}  // namespace engine::index
