// The page cache of one open index file.
//
// Pages are read on demand, their checksum verified, and kept until Trim() finds the cache
// over its limit with no page dirty. Pointers returned by Read/Write stay valid until the next
// Trim() or DropCache(); the index file calls Trim() only between operations. Before the first
// page of an update is changed, the onFirstChange hook runs (the index file marks the update
// in progress on disk there); WriteDirtyPages() seals and writes every changed page.
//
// REQUIRES: external synchronisation (the owning IndexFile is used by one thread at a time).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

#include "engine/storage/storage.h"

namespace engine::index {

class Pager {
 public:
  Pager(storage::File* file, uint32_t pageSize);

  uint32_t pageSize() const { return pageSize_; }

  // The page, read and checked when not cached. Throws kIndexFileCorrupt for a page number out
  // of range, a short read or a checksum mismatch.
  const uint8_t* Read(uint32_t pgno);
  // As Read, and marks the page changed.
  uint8_t* Write(uint32_t pgno);
  // A new zero-filled page, from the free list when it has one; marked changed.
  uint32_t Allocate();
  // Puts the page on the free list.
  void Free(uint32_t pgno);

  bool dirty() const { return dirty_; }
  void WriteDirtyPages();
  void DropCache();
  void Trim();

  uint32_t pageCount = 0;  // pages in the file, header pages included
  uint32_t freeHead = 0;
  uint32_t firstTreePage = 1;  // pages below this are header pages
  std::function<void()> onFirstChange;

 private:
  struct CachedPage {
    uint32_t pgno = 0;
    std::vector<uint8_t> data;
    bool dirty = false;
  };
  CachedPage& Load(uint32_t pgno);
  void MarkChanged(CachedPage& p);

  storage::File* file_;
  uint32_t pageSize_;
  std::unordered_map<uint32_t, std::unique_ptr<CachedPage>> cache_;
  bool dirty_ = false;
  std::vector<CachedPage*> dirtyPages_;  // the changed pages of the cache, each once
};

}  // namespace engine::index
