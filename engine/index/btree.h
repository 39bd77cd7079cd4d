// Operations on the B+tree of one tag (page layout in page_format.h).
//
// Entries are fixed-length byte strings (the key, then the record number) in memcmp order and
// unique. Inner entries carry the number of entries below them, so that the rank of an entry
// (its 0-based position in the tag) and the entry at a rank are found in O(log n). Deleting
// never rebalances: a page that becomes empty is freed and removed from its parent, and a root
// left with one child is replaced by that child.
//
// A Btree is a short-lived view over the pager and the tag's root; it writes the new root and
// height back into the references it was given. REQUIRES: external synchronisation.
#pragma once

#include <cstddef>
#include <cstdint>

namespace engine::index {

class Pager;

class Btree {
 public:
  Btree(Pager& pager, uint32_t tagNumber, size_t entryLength, uint32_t& root, uint8_t& height);

  uint64_t Count();

  // Rank of the first entry whose first len bytes are >= (LowerBound) or > (UpperBound) the
  // prefix; Count() when there is none. REQUIRES: len <= entry length.
  uint64_t LowerBound(const uint8_t* prefix, size_t len);
  uint64_t UpperBound(const uint8_t* prefix, size_t len);

  // Copies the entry at rank into out (entry length bytes). REQUIRES: rank < Count().
  void At(uint64_t rank, uint8_t* out);
  // Copies the entries from rank on into out, at most `max` of them and only as far as the
  // leaf holding rank goes; answers how many (at least one). REQUIRES: rank < Count(), max > 0.
  size_t AtRun(uint64_t rank, size_t max, uint8_t* out);

  // Inserts the entry; false when it is already present.
  bool Insert(const uint8_t* entry);
  // Removes the entry; false when it is not present.
  bool Erase(const uint8_t* entry);

  // Walks the whole tree and checks its structure: levels, tags, order of entries, separators
  // and subtree counts. Throws kIndexFileCorrupt on the first fault; returns the entry count.
  uint64_t Verify();

 private:
  struct PathStep {
    uint32_t page;
    uint16_t slot;
  };
  const uint8_t* Node(uint32_t pgno, int level);
  uint8_t* LeafEntry(uint8_t* page, size_t i) const;
  uint8_t* InnerEntry(uint8_t* page, size_t i) const;
  const uint8_t* LeafEntry(const uint8_t* page, size_t i) const;
  const uint8_t* InnerEntry(const uint8_t* page, size_t i) const;
  uint64_t Bound(const uint8_t* prefix, size_t len, bool upper);
  // Descends to the leaf where entry belongs; fills the path of inner steps.
  uint32_t Descend(const uint8_t* entry, PathStep* path);
  void InsertIntoParent(PathStep* path, int depth, const uint8_t* sep, uint32_t child, uint32_t count);
  uint64_t VerifyNode(uint32_t pgno, int level, const uint8_t* lower, const uint8_t* upper);

  Pager& pager_;
  uint32_t tag_;
  size_t entryLength_;
  size_t leafCap_;
  size_t innerCap_;
  size_t innerEntryLength_;
  uint32_t& root_;
  uint8_t& height_;
};

}  // namespace engine::index
