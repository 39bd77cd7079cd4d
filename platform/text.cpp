// UTF conversions through ICU, a..z-only case folding, and wildcard matching.
#include "platform/text.h"

#include <unicode/ustring.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <new>

namespace platform {

std::u16string Utf8ToUtf16(std::string_view text) {
  if (text.empty()) return {};
  std::u16string out(text.size() + 1, u'\0');
  int32_t length = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strFromUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &length, text.data(),
                       static_cast<int32_t>(text.size()), 0xFFFD, nullptr, &status);
  if (U_FAILURE(status)) {
    if (status == U_MEMORY_ALLOCATION_ERROR) throw std::bad_alloc();
    return {};
  }
  out.resize(length);
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  if (text.empty()) return {};
  std::string out(text.size() * 3 + 1, '\0');
  int32_t length = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strToUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &length,
                     reinterpret_cast<const UChar*>(text.data()), static_cast<int32_t>(text.size()), 0xFFFD,
                     nullptr, &status);
  if (U_FAILURE(status)) {
    if (status == U_MEMORY_ALLOCATION_ERROR) throw std::bad_alloc();
    return {};
  }
  out.resize(length);
  return out;
}

size_t Utf16Length(std::string_view text) {
  size_t units = 0;
  int32_t i = 0;
  const int32_t n = static_cast<int32_t>(text.size());
  while (i < n) {
    UChar32 c;
    U8_NEXT(reinterpret_cast<const uint8_t*>(text.data()), i, n, c);
    units += (c > 0xFFFF) ? 2 : 1;
  }
  return units;
}

char FoldAscii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string UpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = FoldAscii(c);
  return out;
}

bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  return true;
}

int CompareIgnoreAsciiCase(std::string_view a, std::string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(FoldAscii(a[i]));
    unsigned char y = static_cast<unsigned char>(FoldAscii(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

namespace {

// Splits UTF-8 text into code points so that "?" stands for one character, not one byte.
std::u32string CodePoints(std::string_view text) {
  std::u32string out;
  int32_t i = 0;
  const int32_t n = static_cast<int32_t>(text.size());
  while (i < n) {
    UChar32 c;
    U8_NEXT(reinterpret_cast<const uint8_t*>(text.data()), i, n, c);
    out.push_back(c < 0 ? 0xFFFD : static_cast<char32_t>(c));
  }
  return out;
}

char32_t Fold(char32_t c) {
  return (c >= U'a' && c <= U'z') ? c - U'a' + U'A' : c;
}

}  // namespace

bool MatchesWildcard(std::string_view pattern, std::string_view name) {
  if (pattern.empty() || pattern == "*" || pattern == "*.*") return true;
  // A trailing ".*" also matches names without any dot, as on the original platform.
  std::u32string p = CodePoints(pattern);
  std::u32string s = CodePoints(name);
  if (p.size() >= 2 && p[p.size() - 2] == U'.' && p.back() == U'*' && s.find(U'.') == std::u32string::npos) {
    p.resize(p.size() - 2);
  }
  // Iterative matching with one backtrack point for the last "*".
  size_t pi = 0, si = 0, star = std::u32string::npos, mark = 0;
  while (si < s.size()) {
    if (pi < p.size() && (p[pi] == U'?' || Fold(p[pi]) == Fold(s[si]))) {
      ++pi;
      ++si;
    } else if (pi < p.size() && p[pi] == U'*') {
      star = pi++;
      mark = si;
    } else if (star != std::u32string::npos) {
      pi = star + 1;
      si = ++mark;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == U'*') ++pi;
  return pi == p.size();
}

}  // namespace platform
