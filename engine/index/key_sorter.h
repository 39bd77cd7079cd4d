// Sorting the entries of one tag for a rebuild, in memory within a budget and through sorted
// runs in work files beyond it.
//
// Entries (key + record number, fixed length) are collected in 2 MB chunks. Sort() orders them
// through an array of (8-byte prefix, pointer) items, radix-sorted by the prefix, the rest
// compared with memcmp only where prefixes tie. Spill() sorts what is in memory, writes it as a run to an
// anonymous work file and frees the memory. Drain() hands out every entry in ascending order:
// straight from memory when nothing was spilled, else by a k-way merge of the runs.
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
  KeySorter(size_t entryLength, std::filesystem::path workFolder);
  ~KeySorter();

  void Add(const uint8_t* key, size_t keyLength, uint32_t recno) {
    if (chunkUsed_ + entryLength_ > kChunkBytes) NewChunk();
    uint8_t* p = static_cast<uint8_t*>(chunks_.back().data()) + chunkUsed_;
    std::memcpy(p, key, keyLength);
    p[keyLength] = static_cast<uint8_t>(recno >> 24);
    p[keyLength + 1] = static_cast<uint8_t>(recno >> 16);
    p[keyLength + 2] = static_cast<uint8_t>(recno >> 8);
    p[keyLength + 3] = static_cast<uint8_t>(recno);
    chunkUsed_ += entryLength_;
    ++inMemory_;
  }

  // Bytes this sorter holds or will need to sort what it holds.
  size_t MemoryUsed() const { return chunks_.size() * kChunkBytes + inMemory_ * 2 * sizeof(Item); }
  // The cost in memory of one more entry (for budgets): the entry, its sort item and the
  // radix sort's second item array.
  size_t CostPerEntry() const { return entryLength_ + 2 * sizeof(Item); }
  uint64_t Total() const { return spilled_ + inMemory_; }
  size_t runCount() const { return runs_.size(); }

  // Sorts the entries in memory (done by Drain when needed; callable ahead, from another thread).
  void Sort();
  // The number of different keys (the first keyLength bytes of the entries) among the sorted
  // entries. REQUIRES: nothing spilled; sorts first when needed.
  uint64_t DistinctKeys(size_t keyLength);
  void Spill();
  // Calls out for each entry in ascending order. readBuffer bounds the memory of each run's
  // read buffer in a merge.
  void Drain(const std::function<void(const uint8_t*)>& out, size_t readBuffer);

  static constexpr size_t kChunkBytes = size_t{2} << 20;

 private:
  struct Item {
    uint64_t prefix;
    const uint8_t* entry;
  };
  struct Run {
    std::unique_ptr<storage::File> file;
    uint64_t entries = 0;
  };
  void NewChunk();
  void RadixSortByPrefix();
  void FreeMemory();

  size_t entryLength_;
  std::filesystem::path workFolder_;
  std::vector<HugeBuffer> chunks_;
  size_t chunkUsed_ = kChunkBytes;
  uint64_t inMemory_ = 0;
  uint64_t spilled_ = 0;
  HugeBuffer itemMemory_;
  Item* items_ = nullptr;
  size_t itemCount_ = 0;
  bool sorted_ = false;
  std::vector<Run> runs_;
};

}  // namespace engine::index
