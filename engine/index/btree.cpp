// B+tree operations; see btree.h and page_format.h.
#include "engine/index/btree.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engine/core/check.h"
#include "engine/core/error.h"
#include "engine/index/page_format.h"
#include "engine/index/pager.h"

namespace engine::index {
namespace {

[[noreturn]] void Corrupt(uint32_t pgno, const std::string& why) {
  Fail(err::kIndexFileCorrupt, "Index file damaged: page " + std::to_string(pgno) + " " + why);
}

}  // namespace

Btree::Btree(Pager& pager, uint32_t tagNumber, size_t entryLength, uint32_t& root, uint8_t& height)
    : pager_(pager),
      tag_(tagNumber),
      entryLength_(entryLength),
      leafCap_(LeafCapacity(pager.pageSize(), entryLength)),
      innerCap_(InnerCapacity(pager.pageSize(), entryLength)),
      innerEntryLength_(entryLength + kInnerEntryExtra),
      root_(root),
      height_(height) {}

const uint8_t* Btree::Node(uint32_t pgno, int level) {
  const uint8_t* p = pager_.Read(pgno);
  uint8_t want = level == 0 ? kPageLeaf : kPageInner;
  if (PageType(p) != want || PageLevel(p) != level) Corrupt(pgno, "is not the tree page expected");
  if (PageTag(p) != tag_) Corrupt(pgno, "belongs to another tag");
  size_t n = PageCount(p);
  if (n == 0 || n > (level == 0 ? leafCap_ : innerCap_)) Corrupt(pgno, "has a bad entry count");
  return p;
}

uint8_t* Btree::LeafEntry(uint8_t* page, size_t i) const { return page + kPageHeaderSize + i * entryLength_; }
uint8_t* Btree::InnerEntry(uint8_t* page, size_t i) const { return page + kPageHeaderSize + i * innerEntryLength_; }
const uint8_t* Btree::LeafEntry(const uint8_t* page, size_t i) const { return page + kPageHeaderSize + i * entryLength_; }
const uint8_t* Btree::InnerEntry(const uint8_t* page, size_t i) const { return page + kPageHeaderSize + i * innerEntryLength_; }

uint64_t Btree::Count() {
  if (root_ == 0) return 0;
  const uint8_t* p = Node(root_, height_ - 1);
  size_t n = PageCount(p);
  if (height_ == 1) return n;
  uint64_t total = 0;
  for (size_t i = 0; i < n; ++i) total += LoadLE<uint32_t>(InnerEntry(p, i) + 4);
  return total;
}

uint64_t Btree::Bound(const uint8_t* prefix, size_t len, bool upper) {
  ENGINE_CHECK(len <= entryLength_, "a bound's prefix is longer than the tag's entries");
  if (root_ == 0) return 0;
  // Entries "before" the prefix compare < 0 (lower bound) or <= 0 (upper bound).
  auto before = [&](const uint8_t* e) {
    int c = len ? std::memcmp(e, prefix, len) : 0;  // an empty prefix (a seek of no key bytes) may be null
    return upper ? c <= 0 : c < 0;
  };
  uint64_t rank = 0;
  uint32_t pg = root_;
  for (int level = height_ - 1; level > 0; --level) {
    const uint8_t* p = Node(pg, level);
    size_t n = PageCount(p);
    // Last child i >= 1 whose separator is before the prefix, else child 0.
    size_t lo = 1, hi = n;
    while (lo < hi) {
      size_t mid = (lo + hi) / 2;
      if (before(InnerEntry(p, mid) + kInnerEntryExtra)) lo = mid + 1;
      else hi = mid;
    }
    size_t chosen = lo - 1;
    for (size_t i = 0; i < chosen; ++i) rank += LoadLE<uint32_t>(InnerEntry(p, i) + 4);
    pg = LoadLE<uint32_t>(InnerEntry(p, chosen));
  }
  const uint8_t* leaf = Node(pg, 0);
  size_t lo = 0, hi = PageCount(leaf);
  while (lo < hi) {
    size_t mid = (lo + hi) / 2;
    if (before(LeafEntry(leaf, mid))) lo = mid + 1;
    else hi = mid;
  }
  return rank + lo;
}

uint64_t Btree::LowerBound(const uint8_t* prefix, size_t len) { return Bound(prefix, len, false); }
uint64_t Btree::UpperBound(const uint8_t* prefix, size_t len) { return Bound(prefix, len, true); }

void Btree::At(uint64_t rank, uint8_t* out) { AtRun(rank, 1, out); }

size_t Btree::AtRun(uint64_t rank, size_t max, uint8_t* out) {
  ENGINE_CHECK(max > 0, "no entry asked for");
  ENGINE_CHECK(root_ == 0 || rank < Count(), "an entry asked for beyond the tag's count");
  if (root_ == 0) Fail(err::kIndexFileCorrupt, "Index file damaged: key position beyond the tag");
  uint32_t pg = root_;
  for (int level = height_ - 1; level > 0; --level) {
    const uint8_t* p = Node(pg, level);
    size_t n = PageCount(p);
    size_t i = 0;
    for (; i < n; ++i) {
      uint32_t c = LoadLE<uint32_t>(InnerEntry(p, i) + 4);
      if (rank < c) break;
      rank -= c;
    }
    if (i == n) Corrupt(pg, "has subtree counts below the tag's key count");
    pg = LoadLE<uint32_t>(InnerEntry(p, i));
  }
  const uint8_t* leaf = Node(pg, 0);
  const size_t n = PageCount(leaf);
  if (rank >= n) Corrupt(pg, "has fewer entries than its parent counts");
  const size_t count = std::min<size_t>(max, n - static_cast<size_t>(rank));
  std::memcpy(out, LeafEntry(leaf, static_cast<size_t>(rank)), count * entryLength_);
  return count;
}

uint32_t Btree::Descend(const uint8_t* entry, PathStep* path) {
  uint32_t pg = root_;
  int depth = 0;
  for (int level = height_ - 1; level > 0; --level) {
    const uint8_t* p = Node(pg, level);
    size_t n = PageCount(p);
    size_t lo = 1, hi = n;  // first separator > entry
    while (lo < hi) {
      size_t mid = (lo + hi) / 2;
      if (std::memcmp(InnerEntry(p, mid) + kInnerEntryExtra, entry, entryLength_) <= 0) lo = mid + 1;
      else hi = mid;
    }
    path[depth++] = PathStep{pg, static_cast<uint16_t>(lo - 1)};
    pg = LoadLE<uint32_t>(InnerEntry(p, lo - 1));
  }
  Node(pg, 0);
  return pg;
}

bool Btree::Insert(const uint8_t* entry) {
  const uint32_t ps = pager_.pageSize();
  if (root_ == 0) {
    uint32_t pg = pager_.Allocate();
    uint8_t* p = pager_.Write(pg);
    InitPage(p, ps, kPageLeaf, 0, tag_);
    std::memcpy(LeafEntry(p, 0), entry, entryLength_);
    SetPageCount(p, 1);
    root_ = pg;
    height_ = 1;
    return true;
  }
  PathStep path[kMaxTreeHeight];
  uint32_t leafPg = Descend(entry, path);
  int depth = height_ - 1;
  const uint8_t* leafRead = pager_.Read(leafPg);
  size_t n = PageCount(leafRead);
  size_t lo = 0, hi = n;
  while (lo < hi) {
    size_t mid = (lo + hi) / 2;
    if (std::memcmp(LeafEntry(leafRead, mid), entry, entryLength_) < 0) lo = mid + 1;
    else hi = mid;
  }
  if (lo < n && std::memcmp(LeafEntry(leafRead, lo), entry, entryLength_) == 0) return false;

  for (int d = 0; d < depth; ++d) {
    uint8_t* p = pager_.Write(path[d].page);
    uint8_t* e = InnerEntry(p, path[d].slot);
    StoreLE<uint32_t>(e + 4, LoadLE<uint32_t>(e + 4) + 1);
  }
  uint8_t* leaf = pager_.Write(leafPg);
  if (n < leafCap_) {
    std::memmove(LeafEntry(leaf, lo + 1), LeafEntry(leaf, lo), (n - lo) * entryLength_);
    std::memcpy(LeafEntry(leaf, lo), entry, entryLength_);
    SetPageCount(leaf, static_cast<uint16_t>(n + 1));
    return true;
  }
  // Split: n + 1 entries, the lower half stays.
  std::vector<uint8_t> all((n + 1) * entryLength_);
  std::memcpy(all.data(), LeafEntry(leaf, 0), lo * entryLength_);
  std::memcpy(all.data() + lo * entryLength_, entry, entryLength_);
  std::memcpy(all.data() + (lo + 1) * entryLength_, LeafEntry(leaf, lo), (n - lo) * entryLength_);
  size_t left = (n + 1) / 2, right = n + 1 - left;
  uint32_t newPg = pager_.Allocate();
  uint8_t* np = pager_.Write(newPg);
  leaf = pager_.Write(leafPg);
  InitPage(np, ps, kPageLeaf, 0, tag_);
  std::memcpy(LeafEntry(np, 0), all.data() + left * entryLength_, right * entryLength_);
  SetPageCount(np, static_cast<uint16_t>(right));
  std::memcpy(LeafEntry(leaf, 0), all.data(), left * entryLength_);
  SetPageCount(leaf, static_cast<uint16_t>(left));
  InsertIntoParent(path, depth, LeafEntry(np, 0), newPg, static_cast<uint32_t>(right));
  return true;
}

// Adds (sep, child, count) after the step path[depth - 1] and moves count entries out of that
// step's child; a root split grows the tree by one level.
void Btree::InsertIntoParent(PathStep* path, int depth, const uint8_t* sep, uint32_t child, uint32_t count) {
  const uint32_t ps = pager_.pageSize();
  std::vector<uint8_t> sepCopy(sep, sep + entryLength_);
  if (depth == 0) {
    // The split page was the root.
    uint32_t oldRoot = root_;
    const uint8_t* old = pager_.Read(oldRoot);
    uint64_t oldTotal = 0;
    size_t on = PageCount(old);
    std::vector<uint8_t> firstOld(entryLength_);
    if (PageLevel(old) == 0) {
      oldTotal = on;
      std::memcpy(firstOld.data(), LeafEntry(old, 0), entryLength_);
    } else {
      for (size_t i = 0; i < on; ++i) oldTotal += LoadLE<uint32_t>(InnerEntry(old, i) + 4);
      std::memcpy(firstOld.data(), InnerEntry(old, 0) + kInnerEntryExtra, entryLength_);
    }
    if (height_ >= kMaxTreeHeight) Fail(err::kIndexFileCorrupt, "Index tree grows beyond its height limit");
    uint32_t rootPg = pager_.Allocate();
    uint8_t* r = pager_.Write(rootPg);
    InitPage(r, ps, kPageInner, height_, tag_);
    StoreLE<uint32_t>(InnerEntry(r, 0), oldRoot);
    StoreLE<uint32_t>(InnerEntry(r, 0) + 4, static_cast<uint32_t>(oldTotal));
    std::memcpy(InnerEntry(r, 0) + kInnerEntryExtra, firstOld.data(), entryLength_);
    StoreLE<uint32_t>(InnerEntry(r, 1), child);
    StoreLE<uint32_t>(InnerEntry(r, 1) + 4, count);
    std::memcpy(InnerEntry(r, 1) + kInnerEntryExtra, sepCopy.data(), entryLength_);
    SetPageCount(r, 2);
    root_ = rootPg;
    ++height_;
    return;
  }
  PathStep step = path[depth - 1];
  uint8_t* p = pager_.Write(step.page);
  size_t n = PageCount(p);
  uint8_t* se = InnerEntry(p, step.slot);
  StoreLE<uint32_t>(se + 4, LoadLE<uint32_t>(se + 4) - count);
  size_t at = step.slot + 1u;
  std::vector<uint8_t> ne(innerEntryLength_);
  StoreLE<uint32_t>(ne.data(), child);
  StoreLE<uint32_t>(ne.data() + 4, count);
  std::memcpy(ne.data() + kInnerEntryExtra, sepCopy.data(), entryLength_);
  if (n < innerCap_) {
    std::memmove(InnerEntry(p, at + 1), InnerEntry(p, at), (n - at) * innerEntryLength_);
    std::memcpy(InnerEntry(p, at), ne.data(), innerEntryLength_);
    SetPageCount(p, static_cast<uint16_t>(n + 1));
    return;
  }
  std::vector<uint8_t> all((n + 1) * innerEntryLength_);
  std::memcpy(all.data(), InnerEntry(p, 0), at * innerEntryLength_);
  std::memcpy(all.data() + at * innerEntryLength_, ne.data(), innerEntryLength_);
  std::memcpy(all.data() + (at + 1) * innerEntryLength_, InnerEntry(p, at), (n - at) * innerEntryLength_);
  size_t left = (n + 1) / 2, right = n + 1 - left;
  uint8_t level = PageLevel(p);
  uint32_t newPg = pager_.Allocate();
  uint8_t* np = pager_.Write(newPg);
  p = pager_.Write(step.page);
  InitPage(np, ps, kPageInner, level, tag_);
  std::memcpy(InnerEntry(np, 0), all.data() + left * innerEntryLength_, right * innerEntryLength_);
  SetPageCount(np, static_cast<uint16_t>(right));
  std::memcpy(InnerEntry(p, 0), all.data(), left * innerEntryLength_);
  SetPageCount(p, static_cast<uint16_t>(left));
  uint64_t moved = 0;
  for (size_t i = 0; i < right; ++i) moved += LoadLE<uint32_t>(InnerEntry(np, i) + 4);
  InsertIntoParent(path, depth - 1, InnerEntry(np, 0) + kInnerEntryExtra, newPg, static_cast<uint32_t>(moved));
}

bool Btree::Erase(const uint8_t* entry) {
  if (root_ == 0) return false;
  PathStep path[kMaxTreeHeight];
  uint32_t leafPg = Descend(entry, path);
  int depth = height_ - 1;
  const uint8_t* leafRead = pager_.Read(leafPg);
  size_t n = PageCount(leafRead);
  size_t lo = 0, hi = n;
  while (lo < hi) {
    size_t mid = (lo + hi) / 2;
    if (std::memcmp(LeafEntry(leafRead, mid), entry, entryLength_) < 0) lo = mid + 1;
    else hi = mid;
  }
  if (lo >= n || std::memcmp(LeafEntry(leafRead, lo), entry, entryLength_) != 0) return false;

  for (int d = 0; d < depth; ++d) {
    uint8_t* p = pager_.Write(path[d].page);
    uint8_t* e = InnerEntry(p, path[d].slot);
    StoreLE<uint32_t>(e + 4, LoadLE<uint32_t>(e + 4) - 1);
  }
  uint8_t* leaf = pager_.Write(leafPg);
  std::memmove(LeafEntry(leaf, lo), LeafEntry(leaf, lo + 1), (n - lo - 1) * entryLength_);
  SetPageCount(leaf, static_cast<uint16_t>(n - 1));
  if (n - 1 == 0) {
    // Remove empty pages upwards.
    pager_.Free(leafPg);
    int d = depth - 1;
    for (; d >= 0; --d) {
      uint8_t* p = pager_.Write(path[d].page);
      size_t pn = PageCount(p);
      size_t s = path[d].slot;
      std::memmove(InnerEntry(p, s), InnerEntry(p, s + 1), (pn - s - 1) * innerEntryLength_);
      SetPageCount(p, static_cast<uint16_t>(pn - 1));
      if (pn - 1 > 0) break;
      pager_.Free(path[d].page);
    }
    if (d < 0) {
      root_ = 0;
      height_ = 0;
      return true;
    }
  }
  // A root with a single child gives way to that child.
  while (height_ > 1) {
    const uint8_t* r = pager_.Read(root_);
    if (PageCount(r) != 1) break;
    uint32_t child = LoadLE<uint32_t>(InnerEntry(r, 0));
    pager_.Free(root_);
    root_ = child;
    --height_;
  }
  return true;
}

uint64_t Btree::VerifyNode(uint32_t pgno, int level, const uint8_t* lower, const uint8_t* upper) {
  const uint8_t* p = Node(pgno, level);
  size_t n = PageCount(p);
  auto inRange = [&](const uint8_t* e) {
    return (lower == nullptr || std::memcmp(e, lower, entryLength_) >= 0) &&
           (upper == nullptr || std::memcmp(e, upper, entryLength_) < 0);
  };
  if (level == 0) {
    for (size_t i = 0; i < n; ++i) {
      const uint8_t* e = LeafEntry(p, i);
      if (!inRange(e)) Corrupt(pgno, "holds an entry outside its parent's range");
      if (i > 0 && std::memcmp(LeafEntry(p, i - 1), e, entryLength_) >= 0) Corrupt(pgno, "is out of order");
    }
    return n;
  }
  // Copy what the children's checks need: the page may be dropped from the cache meanwhile.
  std::vector<uint8_t> copy(p, p + kPageHeaderSize + n * innerEntryLength_);
  uint64_t total = 0;
  for (size_t i = 0; i < n; ++i) {
    const uint8_t* e = copy.data() + kPageHeaderSize + i * innerEntryLength_;
    const uint8_t* lo = i == 0 ? lower : e + kInnerEntryExtra;
    const uint8_t* hi = i + 1 < n ? copy.data() + kPageHeaderSize + (i + 1) * innerEntryLength_ + kInnerEntryExtra : upper;
    if (i > 0 && !inRange(lo)) Corrupt(pgno, "has a separator outside its range");
    if (i > 1 && std::memcmp(e - innerEntryLength_ + kInnerEntryExtra, lo, entryLength_) >= 0) {
      Corrupt(pgno, "has separators out of order");
    }
    uint64_t c = VerifyNode(LoadLE<uint32_t>(e), level - 1, lo, hi);
    if (c != LoadLE<uint32_t>(e + 4)) Corrupt(pgno, "has a wrong subtree count");
    total += c;
  }
  return total;
}

uint64_t Btree::Verify() {
  if (root_ == 0) return 0;
  return VerifyNode(root_, height_ - 1, nullptr, nullptr);
}

}  // namespace engine::index
