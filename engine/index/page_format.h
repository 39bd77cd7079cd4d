// On-disk layout of the pages of an index file (.adi).
//
// Every page starts with a 16-byte header:
//   0  u32 CRC-32C of bytes 4 .. page size - 1
//   4  u8  page type (kPageHeader, kPageLeaf, kPageInner, kPageFree)
//   5  u8  level: 0 for leaves, height above the leaves for inner pages
//   6  u16 number of entries
//   8  u32 tag number (1-based) the page belongs to; 0 for header and free pages
//   12 u32 next page: the free list link of a free page; unused otherwise
// Leaf entries are entryLength bytes (key, then record number). Inner entries are
//   u32 child page, u32 number of entries in the child's subtree, then the first entry
//   (entryLength bytes) of the child's subtree.
// The separator of an inner page's first entry is never used for searching (it may be stale
// after insertions of smaller keys); for every later entry i, every entry of child i - 1 is
// smaller than separator i, and separator i is at most the smallest entry of child i.
// Integers in page headers and inner entries are little-endian; keys and record numbers are
// big-endian so that memcmp orders them.
//
// Page 0 and the pages after it up to the header page count hold the file header:
//   16 u32 magic "QADI" (0x49444151)   20 u32 format version   24 u32 page size
//   28 u32 page count (the file is exactly page count x page size bytes)
//   32 u32 first free page (0 = none)  36 u32 flags (bit 0: an update is in progress)
//   40 u64 change counter              48 u32 catalog length in bytes
//   52 u32 header page count           56 catalog bytes, continued after the 16-byte page
//                                          header of the following header pages
// The catalog (tag definitions and tree roots) is described in tag_def.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/core/byte_order.h"
#include "engine/core/checksum.h"

namespace engine::index {

constexpr size_t kPageHeaderSize = 16;
constexpr size_t kInnerEntryExtra = 8;  // child page + subtree count

constexpr uint8_t kPageHeader = 1;
constexpr uint8_t kPageLeaf = 2;
constexpr uint8_t kPageInner = 3;
constexpr uint8_t kPageFree = 4;

constexpr uint32_t kIndexMagic = 0x49444151;  // "QADI" read as little-endian
constexpr uint32_t kIndexFormatVersion = 1;
constexpr uint32_t kFlagUpdateInProgress = 1;

constexpr size_t kHeaderFixedSize = 56;  // bytes of page 0 before the catalog starts

// The deepest tree the code accepts; deeper means a damaged file (a cycle, for instance).
constexpr int kMaxTreeHeight = 32;

// Stores the checksum of a page in its first four bytes.
inline void SealPage(uint8_t* page, uint32_t pageSize) { StoreLE<uint32_t>(page, Crc32c(page + 4, pageSize - 4)); }

// True when the page's stored checksum matches its contents.
inline bool PageChecksumOk(const uint8_t* page, uint32_t pageSize) {
  return LoadLE<uint32_t>(page) == Crc32c(page + 4, pageSize - 4);
}

// Page capacities for entries of the given length.
inline size_t LeafCapacity(uint32_t pageSize, size_t entryLength) {
  return (pageSize - kPageHeaderSize) / entryLength;
}
inline size_t InnerCapacity(uint32_t pageSize, size_t entryLength) {
  return (pageSize - kPageHeaderSize) / (entryLength + kInnerEntryExtra);
}

// Page header accessors.
inline uint8_t PageType(const uint8_t* page) { return page[4]; }
inline uint8_t PageLevel(const uint8_t* page) { return page[5]; }
inline uint16_t PageCount(const uint8_t* page) { return LoadLE<uint16_t>(page + 6); }
inline uint32_t PageTag(const uint8_t* page) { return LoadLE<uint32_t>(page + 8); }
inline uint32_t PageNext(const uint8_t* page) { return LoadLE<uint32_t>(page + 12); }

inline void InitPage(uint8_t* page, uint32_t pageSize, uint8_t type, uint8_t level, uint32_t tag) {
  std::memset(page, 0, pageSize);
  page[4] = type;
  page[5] = level;
  StoreLE<uint32_t>(page + 8, tag);
}
inline void SetPageCount(uint8_t* page, uint16_t n) { StoreLE<uint16_t>(page + 6, n); }
inline void SetPageNext(uint8_t* page, uint32_t next) { StoreLE<uint32_t>(page + 12, next); }

}  // namespace engine::index
