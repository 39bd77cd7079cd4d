// A position along one tag of an open index file, with its scope: the navigation state behind
// an index order handle.
//
// The cursor remembers the entry it stands on (key and record number), not a page position, and
// finds its rank again for every operation (O(log n)), so it stays right while the tree changes
// underneath, by this process or, after IndexFile::Revalidate(), by another. When its entry has
// been removed, it stands between the neighbours: a skip forward goes to the next entry, a skip
// backward to the previous one.
//
// Scopes limit the visible entries: the top bound admits keys whose first bytes are >= the top
// key, the bottom bound keys whose first bytes are <= the bottom key, each comparing as many
// bytes as the scope key has (so a partial key bounds every key starting with it). Key numbers
// (1-based), counts and relative positions are taken within the scope.
//
// States: before the first entry (BOF), on an entry, after the last entry (EOF). BOF and EOF are
// both set when the scope holds no entry.
//
// The cursor borrows its IndexFile, which must outlive it. REQUIRES: external synchronisation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace engine::index {

class IndexFile;

enum class ScopeBound { kTop = 1, kBottom = 2 };
enum class SeekType { kSoft = 1, kHard = 2 };

class TagCursor {
 public:
  TagCursor(IndexFile& file, size_t tag);

  size_t tag() const { return tag_; }

  void SetScope(ScopeBound bound, std::span<const uint8_t> key);
  void ClearScope(ScopeBound bound);
  bool HasScope(ScopeBound bound) const;
  // The scope key (empty when none).
  std::span<const uint8_t> Scope(ScopeBound bound) const;

  // Each positioning call returns whether the cursor stands on an entry afterwards.
  bool First();
  bool Last();
  // Moves n entries (negative: backwards). Passing the first entry leaves BOF set, the cursor on
  // the first entry; passing the last leaves EOF. Returns whether on an entry.
  bool Skip(int64_t n);
  // Positions on the first entry whose first key.size() bytes are >= key (soft) and reports
  // whether they equal key; a hard seek that does not find an equal key goes to EOF.
  bool Seek(std::span<const uint8_t> key, SeekType type);
  // Positions on the last entry whose first key.size() bytes equal key; EOF when there is none.
  bool SeekLast(std::span<const uint8_t> key);
  // Positions on the entry of that record with that key; EOF when the tag (in scope) lacks it.
  bool GotoEntry(std::span<const uint8_t> key, uint32_t recno);

  // Positions on the first entry in scope after the place of (key, recno) in the order, or on
  // the last entry before it, whether or not the tag holds (key, recno) itself: how a record
  // that left the tag (or was never in it) finds its neighbours. REQUIRES: a full key.
  bool NextAfter(std::span<const uint8_t> key, uint32_t recno);
  bool PriorBefore(std::span<const uint8_t> key, uint32_t recno);
  // Moves onto (key, recno) as if it were an entry, without looking it up: KeyNumber and
  // RelativePosition then tell its place, and Skip moves to its neighbours.
  void StandOn(std::span<const uint8_t> key, uint32_t recno);

  bool atBOF() const { return bof_; }
  bool atEOF() const { return eof_; }
  bool onEntry() const { return on_; }
  // The current entry. REQUIRES: onEntry().
  uint32_t recno() const { return recno_; }
  std::span<const uint8_t> key() const { return key_; }

  uint64_t KeyCount();
  // 1-based number of the current key within the scope; 0 when not on an entry.
  uint64_t KeyNumber();
  // 0.0 at the first key of the scope .. 1.0 at the last; 0 at BOF or with an empty scope, 1 at
  // EOF.
  double RelativePosition();
  // Positions on the key nearest to the relative position (clamped to 0..1).
  bool SetRelativePosition(double position);

 private:
  struct Range {
    uint64_t lo, hi;
  };
  Range ScopeRange();
  bool PositionAt(uint64_t rank, const Range& r);
  void SetEOF();
  // Rank of the current entry; exact tells whether the entry is still present.
  uint64_t CurrentRank(bool& exact);

  IndexFile& file_;
  size_t tag_;
  std::vector<uint8_t> top_, bottom_;
  bool hasTop_ = false, hasBottom_ = false;
  std::vector<uint8_t> key_;
  uint32_t recno_ = 0;
  bool on_ = false, bof_ = true, eof_ = true;
};

}  // namespace engine::index
