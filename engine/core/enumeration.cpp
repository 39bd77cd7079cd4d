#include "engine/core/enumeration.h"

#include "engine/core/ascii_case.h"

namespace engine::core {
namespace {
char Fold(char c) { return engine::AsciiUpper(c); }
}  // namespace

bool WildcardMatch(const std::string& pattern, const std::string& name) {
  // Iterative matching with backtracking to the last "*".
  size_t p = 0, n = 0, star = std::string::npos, mark = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || Fold(pattern[p]) == Fold(name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      mark = n;
    } else if (star != std::string::npos) {
      p = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace engine::core
