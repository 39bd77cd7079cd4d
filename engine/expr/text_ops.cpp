#include "engine/expr/text_ops.h"

#include <unicode/uchar.h>

#include <cstring>
#include <string>

#include "engine/core/codepage.h"

namespace engine::expr {

namespace {

// The letters of the ANSI code page in effect when the tables are first used: each byte
// that is a letter maps to its other case when that is a single byte of the same code page.
struct CaseTables {
  unsigned char upper[256];
  unsigned char lower[256];
  CaseTables() {
    for (int i = 0; i < 256; ++i) upper[i] = lower[i] = static_cast<unsigned char>(i);
    for (int i = 0x41; i < 256; ++i) {
      std::u16string u = core::AnsiToUtf16(std::string(1, static_cast<char>(i)));
      if (u.size() != 1) continue;
      UChar32 c = u[0];
      Map(upper, i, u_toupper(c));
      Map(lower, i, u_tolower(c));
    }
  }
  static void Map(unsigned char* table, int byte, UChar32 other) {
    if (other > 0xFFFF || other == 0xFFFD) return;
    std::string back = core::Utf16ToAnsi(std::u16string(1, static_cast<char16_t>(other)));
    if (back.size() == 1 && (back[0] != '?' || other == u'?')) table[byte] = static_cast<unsigned char>(back[0]);
  }
};

const CaseTables& Tables() {
  static const CaseTables t;
  return t;
}

template <typename Unit>
int CompareSpan(const Unit* a, size_t na, const Unit* b, size_t nb) {
  size_t n = na < nb ? na : nb;
  if constexpr (sizeof(Unit) == 1) {
    int c = n ? std::memcmp(a, b, n) : 0;
    if (c) return c < 0 ? -1 : 1;
  } else {
    for (size_t i = 0; i < n; ++i) {
      if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    }
  }
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

unsigned char UpperChar(unsigned char c) { return Tables().upper[c]; }
const unsigned char* UpperTable() { return Tables().upper; }
const unsigned char* LowerTable() { return Tables().lower; }
unsigned char LowerChar(unsigned char c) { return Tables().lower[c]; }

int CompareFull(std::string_view a, std::string_view b) {
  return CompareSpan(reinterpret_cast<const unsigned char*>(a.data()), a.size(),
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

int CompareFull(std::u16string_view a, std::u16string_view b) { return CompareSpan(a.data(), a.size(), b.data(), b.size()); }

int ComparePrefix(std::u16string_view a, std::u16string_view b) {
  if (a.size() > b.size()) a = a.substr(0, b.size());
  return CompareFull(a, b);
}

std::u16string_view TrimRight(std::u16string_view s) {
  while (!s.empty() && s.back() == u' ') s.remove_suffix(1);
  return s;
}

std::u16string_view TrimLeft(std::u16string_view s) {
  while (!s.empty() && s.front() == u' ') s.remove_prefix(1);
  return s;
}

}  // namespace engine::expr
