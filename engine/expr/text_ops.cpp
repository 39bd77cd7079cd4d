#include "engine/expr/text_ops.h"

#include <cstring>

namespace engine {

namespace {

struct CaseTables {
  unsigned char upper[256];
  unsigned char lower[256];
  CaseTables() {
    for (int i = 0; i < 256; ++i) upper[i] = lower[i] = static_cast<unsigned char>(i);
    auto pair = [&](int lo, int up) {
      upper[lo] = static_cast<unsigned char>(up);
      lower[up] = static_cast<unsigned char>(lo);
    };
    for (int c = 'a'; c <= 'z'; ++c) pair(c, c - 32);
    // Windows-1252 letters: a grave .. thorn map onto A grave .. Thorn, except the division
    // and multiplication signs; and the four letters of the 0x80 row.
    for (int c = 0xE0; c <= 0xFE; ++c)
      if (c != 0xF7) pair(c, c - 0x20);
    pair(0x9A, 0x8A);
    pair(0x9C, 0x8C);
    pair(0x9E, 0x8E);
    pair(0xFF, 0x9F);
  }
};

const CaseTables& tables() {
  static const CaseTables t;
  return t;
}

int compareSpan(const unsigned char* a, size_t na, const unsigned char* b, size_t nb) {
  size_t n = na < nb ? na : nb;
  int c = n ? std::memcmp(a, b, n) : 0;
  if (c) return c < 0 ? -1 : 1;
  // The longer side goes on against blanks.
  if (na > nb) {
    for (size_t i = n; i < na; ++i)
      if (a[i] != ' ') return a[i] < ' ' ? -1 : 1;
  } else {
    for (size_t i = n; i < nb; ++i)
      if (b[i] != ' ') return ' ' < b[i] ? -1 : 1;
  }
  return 0;
}

}  // namespace

unsigned char UpperChar(unsigned char c) { return tables().upper[c]; }
const unsigned char* UpperTable() { return tables().upper; }
const unsigned char* LowerTable() { return tables().lower; }
unsigned char LowerChar(unsigned char c) { return tables().lower[c]; }

int CompareFull(std::string_view a, std::string_view b) {
  return compareSpan(reinterpret_cast<const unsigned char*>(a.data()), a.size(),
                     reinterpret_cast<const unsigned char*>(b.data()), b.size());
}

int ComparePrefix(std::string_view a, std::string_view b) {
  if (a.size() > b.size()) a = a.substr(0, b.size());
  return CompareFull(a, b);
}

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  return s;
}

}  // namespace engine
