// Bottom-up construction of B+trees from entries in ascending order, for rebuilds.
//
// PageWriter appends sealed pages to a new file through a large buffer, numbering them from a
// first page on. TreeWriter fills leaves completely, and each inner level likewise as its
// children are finished, so a tree of n entries takes ceil(n / leaf capacity) leaves plus the
// inner pages above them, written strictly sequentially; PagesFor tells that number in advance, so
// trees of different tags can be written at once, each into the page range that follows the
// trees before it. Each object is used by one thread at a time; different PageWriters may write
// to one file from different threads, into page ranges that do not overlap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/storage/storage.h"

namespace engine::index {

class PageWriter {
 public:
  // Pages go to the file through a buffer of bufferBytes (at least one page). durable: the file
  // will be forced to the disk, so the host is asked to start writing each buffer at once.
  PageWriter(storage::File& file, uint32_t pageSize, uint32_t firstPage, size_t bufferBytes = kDefaultBuffer,
             bool durable = false);
  // Seals a copy of the page and returns its page number.
  uint32_t Append(uint8_t* page);
  // Writes what is buffered.
  void Finish();
  uint32_t nextPage() const { return next_; }
  uint32_t pageSize() const { return pageSize_; }

  static constexpr size_t kDefaultBuffer = size_t{4} << 20;

 private:
  storage::File& file_;
  uint32_t pageSize_;
  uint32_t next_;
  uint32_t bufferedFrom_;
  std::vector<uint8_t> buffer_;
  size_t used_ = 0;
  bool durable_;
};

class TreeWriter {
 public:
  TreeWriter(PageWriter& out, uint32_t tagNumber, size_t entryLength);
  // REQUIRES: entries strictly ascending.
  void Add(const uint8_t* entry);
  // Writes the partly filled pages and returns the root and height (0, 0 for no entries).
  void Finish(uint32_t& root, uint8_t& height);

  // The number of pages a tree of `entries` entries takes: ceil(entries / leaf capacity) leaves,
  // and above every level of more than one page, ceil(pages / inner capacity) inner pages.
  static uint64_t PagesFor(uint64_t entries, uint32_t pageSize, size_t entryLength);

 private:
  struct Level {
    std::vector<uint8_t> page;
    size_t n = 0;
    uint64_t count = 0;  // entries in the subtrees of the page's entries
    uint64_t emitted = 0;
  };
  void Emit(size_t level);
  void Push(size_t level, const uint8_t* sep, uint32_t child, uint64_t count);

  PageWriter& out_;
  uint32_t tag_;
  size_t entryLength_;
  size_t leafCap_;
  size_t innerCap_;
  std::vector<Level> levels_;
};

}  // namespace engine::index
