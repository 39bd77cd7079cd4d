// A set of record numbers (1-based) as a bitmap: what an optimised filter resolves from the
// indexes, and its customisations.
//
// Thread safety: a plain value; one thread changes it at a time.
#pragma once

#include <cstdint>
#include <vector>

namespace engine::filter {

class RecordSet {
 public:
  RecordSet() = default;
  // A set that can hold records 1..capacity (it grows when a larger record is added).
  explicit RecordSet(uint32_t capacity) { bits_.resize((uint64_t{capacity} + 64) / 64); }
  static RecordSet All(uint32_t count);

  bool Contains(uint32_t n) const {
    return n / 64 < bits_.size() && (bits_[n / 64] >> (n % 64) & 1) != 0;
  }
  void Add(uint32_t n);
  void Remove(uint32_t n);
  bool empty() const;
  uint64_t Count() const;

  // The smallest member from n up to last, or 0.
  uint32_t NextFrom(uint32_t n, uint32_t last) const;
  // The largest member from n down to 1, or 0.
  uint32_t PriorFrom(uint32_t n) const;

  void IntersectWith(const RecordSet& other);
  void UnionWith(const RecordSet& other);
  // Members of 1..count that are not in this set.
  RecordSet Complement(uint32_t count) const;

 private:
  std::vector<uint64_t> bits_;
};

}  // namespace engine::filter
