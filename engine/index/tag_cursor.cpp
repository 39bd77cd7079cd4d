// Navigation along a tag; see tag_cursor.h.
#include "engine/index/tag_cursor.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/core/error.h"
#include "engine/index/index_file.h"

namespace engine::index {

namespace {

// Whether `key` begins with `prefix`; an empty prefix (a seek of no key bytes, whose pointer may
// be null) begins every key.
bool BeginsWith(const std::vector<uint8_t>& key, std::span<const uint8_t> prefix) {
  return prefix.empty() || std::memcmp(key.data(), prefix.data(), prefix.size()) == 0;
}

}  // namespace

TagCursor::TagCursor(IndexFile& file, size_t tag) : file_(file), tag_(tag) {
  if (tag >= file.tagCount()) Fail(err::kNoSuchIndexOrder, "No such index tag");
  key_.resize(file.tag(tag).layout.keyLength());
}

void TagCursor::SetScope(ScopeBound bound, std::span<const uint8_t> key) {
  if (key.size() > key_.size()) Fail(err::kIndexKeyTooLong, "Scope key longer than the tag's key length");
  if (bound == ScopeBound::kTop) {
    top_.assign(key.begin(), key.end());
    hasTop_ = true;
  } else {
    bottom_.assign(key.begin(), key.end());
    hasBottom_ = true;
  }
}

void TagCursor::ClearScope(ScopeBound bound) {
  if (bound == ScopeBound::kTop) {
    top_.clear();
    hasTop_ = false;
  } else {
    bottom_.clear();
    hasBottom_ = false;
  }
}

bool TagCursor::HasScope(ScopeBound bound) const { return bound == ScopeBound::kTop ? hasTop_ : hasBottom_; }

std::span<const uint8_t> TagCursor::Scope(ScopeBound bound) const {
  return bound == ScopeBound::kTop ? std::span<const uint8_t>(top_) : std::span<const uint8_t>(bottom_);
}

TagCursor::Range TagCursor::ScopeRange() {
  Range r{0, file_.KeyCount(tag_)};
  if (hasTop_) r.lo = file_.LowerBound(tag_, top_);
  if (hasBottom_) r.hi = file_.UpperBound(tag_, bottom_);
  if (r.hi < r.lo) r.hi = r.lo;
  return r;
}

void TagCursor::SetEOF() {
  on_ = false;
  eof_ = true;
  bof_ = false;
}

bool TagCursor::PositionAt(uint64_t rank, const Range& r) {
  if (r.lo >= r.hi) {
    on_ = false;
    bof_ = eof_ = true;
    return false;
  }
  if (rank >= r.hi) {
    SetEOF();
    return false;
  }
  recno_ = file_.EntryAt(tag_, rank, key_.data());
  on_ = true;
  bof_ = eof_ = false;
  return true;
}

uint64_t TagCursor::CurrentRank(bool& exact) {
  uint64_t rank = file_.RankOf(tag_, key_, recno_);
  exact = false;
  if (rank < file_.KeyCount(tag_)) {
    std::vector<uint8_t> k(key_.size());
    uint32_t r = file_.EntryAt(tag_, rank, k.data());
    exact = r == recno_ && k == key_;
  }
  return rank;
}

bool TagCursor::First() {
  Range r = ScopeRange();
  return PositionAt(r.lo, r);
}

bool TagCursor::Last() {
  Range r = ScopeRange();
  if (r.lo >= r.hi) return PositionAt(r.lo, r);
  return PositionAt(r.hi - 1, r);
}

bool TagCursor::Skip(int64_t n) {
  Range r = ScopeRange();
  int64_t target;
  if (on_) {
    bool exact;
    uint64_t rank = CurrentRank(exact);
    // A removed entry leaves the cursor between its neighbours: rank is the next one.
    if (n > 0) target = static_cast<int64_t>(rank) + n - (exact ? 0 : 1);
    else target = static_cast<int64_t>(rank) + n;
    if (n == 0 && !exact) target = static_cast<int64_t>(rank);
  } else if (eof_ && !bof_) {
    if (n >= 0) return PositionAt(r.hi, r);
    target = static_cast<int64_t>(r.hi) + n;
  } else {
    if (n <= 0) {
      PositionAt(r.lo, r);
      bof_ = true;
      return false;
    }
    target = static_cast<int64_t>(r.lo) + n - 1;
  }
  if (target < static_cast<int64_t>(r.lo)) {
    // Passing the first entry: stand on it with BOF set, as the record pointer does.
    PositionAt(r.lo, r);
    bof_ = true;
    return false;
  }
  return PositionAt(static_cast<uint64_t>(target), r);
}

bool TagCursor::Seek(std::span<const uint8_t> key, SeekType type) {
  if (key.size() > key_.size()) Fail(err::kIndexKeyTooLong, "Seek key longer than the tag's key length");
  Range r = ScopeRange();
  uint64_t rank = std::max(file_.LowerBound(tag_, key), r.lo);
  if (!PositionAt(rank, r)) {
    if (r.lo < r.hi) SetEOF();
    return false;
  }
  bool found = BeginsWith(key_, key);
  if (!found && type == SeekType::kHard) SetEOF();
  return found;
}

bool TagCursor::SeekLast(std::span<const uint8_t> key) {
  if (key.size() > key_.size()) Fail(err::kIndexKeyTooLong, "Seek key longer than the tag's key length");
  Range r = ScopeRange();
  uint64_t upper = std::min(file_.UpperBound(tag_, key), r.hi);
  if (upper <= r.lo) {
    SetEOF();
    return false;
  }
  PositionAt(upper - 1, r);
  if (!BeginsWith(key_, key)) {
    SetEOF();
    return false;
  }
  return true;
}

bool TagCursor::GotoEntry(std::span<const uint8_t> key, uint32_t recno) {
  if (key.size() != key_.size()) Fail(err::kIndexKeyTooLong, "Key length does not match the tag");
  Range r = ScopeRange();
  uint64_t rank = file_.RankOf(tag_, key, recno);
  if (rank < r.lo || !PositionAt(rank, r) || recno_ != recno ||
      !BeginsWith(key_, key)) {
    SetEOF();
    return false;
  }
  return true;
}

bool TagCursor::NextAfter(std::span<const uint8_t> key, uint32_t recno) {
  if (key.size() != key_.size()) Fail(err::kIndexKeyTooLong, "Key length does not match the tag");
  Range r = ScopeRange();
  uint64_t rank = file_.RankOf(tag_, key, recno);
  if (rank < file_.KeyCount(tag_)) {
    std::vector<uint8_t> k(key_.size());
    if (file_.EntryAt(tag_, rank, k.data()) == recno && std::memcmp(k.data(), key.data(), k.size()) == 0) ++rank;
  }
  rank = std::max(rank, r.lo);
  if (r.lo >= r.hi) return PositionAt(r.lo, r);
  return PositionAt(rank, r);
}

bool TagCursor::PriorBefore(std::span<const uint8_t> key, uint32_t recno) {
  if (key.size() != key_.size()) Fail(err::kIndexKeyTooLong, "Key length does not match the tag");
  Range r = ScopeRange();
  uint64_t rank = std::min(file_.RankOf(tag_, key, recno), r.hi);  // first entry not before it
  if (r.lo >= r.hi) return PositionAt(r.lo, r);
  if (rank <= r.lo) {
    PositionAt(r.lo, r);
    bof_ = true;
    on_ = false;
    return false;
  }
  return PositionAt(rank - 1, r);
}

void TagCursor::StandOn(std::span<const uint8_t> key, uint32_t recno) {
  if (key.size() != key_.size()) Fail(err::kIndexKeyTooLong, "Key length does not match the tag");
  key_.assign(key.begin(), key.end());
  recno_ = recno;
  on_ = true;
  bof_ = eof_ = false;
}

uint64_t TagCursor::KeyCount() {
  Range r = ScopeRange();
  return r.hi - r.lo;
}

uint64_t TagCursor::KeyNumber() {
  if (!on_) return 0;
  Range r = ScopeRange();
  bool exact;
  uint64_t rank = CurrentRank(exact);
  if (rank < r.lo || rank >= r.hi) return 0;
  return rank - r.lo + 1;
}

double TagCursor::RelativePosition() {
  if (!on_) return eof_ && !bof_ ? 1.0 : 0.0;
  Range r = ScopeRange();
  if (r.hi - r.lo <= 1) return 0.0;
  bool exact;
  uint64_t rank = std::clamp(CurrentRank(exact), r.lo, r.hi - 1);
  return static_cast<double>(rank - r.lo) / static_cast<double>(r.hi - r.lo - 1);
}

bool TagCursor::SetRelativePosition(double position) {
  Range r = ScopeRange();
  if (r.lo >= r.hi) return PositionAt(r.lo, r);
  if (std::isnan(position)) position = 0.0;
  position = std::clamp(position, 0.0, 1.0);
  uint64_t offset = static_cast<uint64_t>(std::llround(position * static_cast<double>(r.hi - r.lo - 1)));
  return PositionAt(r.lo + offset, r);
}

}  // namespace engine::index
