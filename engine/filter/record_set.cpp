#include "engine/filter/record_set.h"

#include <algorithm>
#include <bit>

namespace engine::filter {

RecordSet RecordSet::All(uint32_t count) {
  RecordSet s(count);
  for (uint32_t n = 1; n <= count; ++n) s.bits_[n / 64] |= uint64_t{1} << (n % 64);
  return s;
}

void RecordSet::Add(uint32_t n) {
  if (n / 64 >= bits_.size()) bits_.resize(n / 64 + 1);
  bits_[n / 64] |= uint64_t{1} << (n % 64);
}

void RecordSet::Remove(uint32_t n) {
  if (n / 64 < bits_.size()) bits_[n / 64] &= ~(uint64_t{1} << (n % 64));
}

bool RecordSet::empty() const {
  return std::all_of(bits_.begin(), bits_.end(), [](uint64_t w) { return w == 0; });
}

uint64_t RecordSet::Count() const {
  uint64_t c = 0;
  for (uint64_t w : bits_) c += std::popcount(w);
  return c;
}

uint32_t RecordSet::NextFrom(uint32_t n, uint32_t last) const {
  if (n == 0) n = 1;
  uint64_t end = std::min<uint64_t>(uint64_t{last} + 1, uint64_t{bits_.size()} * 64);
  if (n >= end) return 0;
  size_t w = n / 64;
  uint64_t word = bits_[w] & (~uint64_t{0} << (n % 64));
  while (true) {
    if (word != 0) {
      uint64_t found = uint64_t{w} * 64 + std::countr_zero(word);
      return found < end ? static_cast<uint32_t>(found) : 0;
    }
    if (++w >= bits_.size() || uint64_t{w} * 64 >= end) return 0;
    word = bits_[w];
  }
}

uint32_t RecordSet::PriorFrom(uint32_t n) const {
  if (n == 0 || bits_.empty()) return 0;
  if (n / 64 >= bits_.size()) n = static_cast<uint32_t>(bits_.size() * 64 - 1);
  size_t w = n / 64;
  int shift = 63 - static_cast<int>(n % 64);
  uint64_t word = bits_[w] << shift >> shift;  // bits 0..n%64
  while (true) {
    if (word != 0) {
      uint32_t found = static_cast<uint32_t>(w * 64 + 63 - std::countl_zero(word));
      return found;  // bit 0 of word 0 (record 0) is never set
    }
    if (w == 0) return 0;
    word = bits_[--w];
  }
}

void RecordSet::IntersectWith(const RecordSet& other) {
  for (size_t i = 0; i < bits_.size(); ++i) bits_[i] &= i < other.bits_.size() ? other.bits_[i] : 0;
}

void RecordSet::UnionWith(const RecordSet& other) {
  if (other.bits_.size() > bits_.size()) bits_.resize(other.bits_.size());
  for (size_t i = 0; i < other.bits_.size(); ++i) bits_[i] |= other.bits_[i];
}

RecordSet RecordSet::Complement(uint32_t count) const {
  RecordSet all = All(count);
  for (size_t i = 0; i < all.bits_.size() && i < bits_.size(); ++i) all.bits_[i] &= ~bits_[i];
  return all;
}

}  // namespace engine::filter
