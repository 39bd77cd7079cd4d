// Case folding of the letters a to z only, as names, paths, keywords and collation names are
// compared everywhere in the engine; every other byte, including the upper half of the ANSI
// code page, is left as it is. The one place the engine folds case. Pure functions, safe from
// any thread.
#pragma once

#include <string>
#include <string_view>

namespace engine {

inline char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
inline char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

inline bool AsciiEqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  }
  return true;
}

inline std::string AsciiUpperCopy(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = AsciiUpper(c);
  return out;
}

inline std::string AsciiLowerCopy(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

}  // namespace engine
