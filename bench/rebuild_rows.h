// The rows both rebuild benchmarks index: a 32-bit integer, a 30-character string, a
// 20-character string and a date (julian day), generated from the record number alone so every
// side of a comparison sees identical rows without holding them in memory.
#pragma once

#include <cstdint>

namespace bench {

struct Row {
  int32_t i;
  char s30[31];
  char s20[21];
  int32_t d;
};

inline uint64_t SplitMix(uint64_t& x) {
  uint64_t z = (x += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

inline void MakeRow(uint32_t recno, Row& r) {
  static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ   ";
  uint64_t s = recno * 0x1000193ull;
  r.i = static_cast<int32_t>(SplitMix(s));
  for (int k = 0; k < 30; ++k) r.s30[k] = kChars[SplitMix(s) % (sizeof kChars - 1)];
  r.s30[30] = 0;
  // Few distinct leading characters in s20, so that the date often decides the order.
  for (int k = 0; k < 20; ++k) r.s20[k] = kChars[SplitMix(s) % (k < 2 ? 3 : sizeof kChars - 1)];
  r.s20[20] = 0;
  r.d = 2440588 + static_cast<int32_t>(SplitMix(s) % 20000);
}

}  // namespace bench
