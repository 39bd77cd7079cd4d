#include "engine/expr/field_names.h"

#include <optional>

#include "engine/core/ascii_case.h"

namespace engine::expr {

namespace {

char Fold(char c) { return engine::AsciiUpper(c); }

bool IsIdentStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || static_cast<unsigned char>(c) >= 0x80;
}
bool IsIdentChar(char c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); }

constexpr size_t kShortLength = 10;

// Walks the text and hands every name that stands for a field of this table to `map`, which
// returns its replacement or nothing to keep it. Literals, dotted keywords, numbers, function
// names and aliases are copied unchanged.
template <typename Map>
std::string Rewrite(std::string_view t, const ExprSchema& schema, Map map) {
  std::string out;
  out.reserve(t.size());
  size_t i = 0;
  auto nextNonBlank = [&](size_t from) {
    while (from < t.size() && t[from] == ' ') ++from;
    return from;
  };
  while (i < t.size()) {
    char c = t[i];
    if (c == '\'' || c == '"' || c == '[' || c == '{') {
      char close = c == '[' ? ']' : c == '{' ? '}' : c;
      size_t j = t.find(close, i + 1);
      j = j == std::string_view::npos ? t.size() : j + 1;
      out.append(t.substr(i, j - i));
      i = j;
      continue;
    }
    if (c == '.' && i + 1 < t.size() && IsIdentStart(t[i + 1])) {
      size_t j = i + 1;
      while (j < t.size() && IsIdentChar(t[j])) ++j;
      if (j < t.size() && t[j] == '.') ++j;
      out.append(t.substr(i, j - i));
      i = j;
      continue;
    }
    if ((c >= '0' && c <= '9') || c == '.') {
      size_t j = i + 1;
      while (j < t.size() && (IsIdentChar(t[j]) || t[j] == '.')) ++j;
      out.append(t.substr(i, j - i));
      i = j;
      continue;
    }
    if (IsIdentStart(c)) {
      size_t j = i;
      while (j < t.size() && IsIdentChar(t[j])) ++j;
      std::string_view word = t.substr(i, j - i);
      size_t after = nextNonBlank(j);
      bool isFunction = after < t.size() && t[after] == '(';
      bool isAlias = after + 1 < t.size() && t[after] == '-' && t[after + 1] == '>';
      bool foreign = false;
      // A name after "alias->" belongs to that alias; only this table's fields are rewritten.
      size_t k = out.size();
      while (k > 0 && out[k - 1] == ' ') --k;
      if (k >= 2 && out[k - 1] == '>' && out[k - 2] == '-') {
        size_t e = k - 2;
        while (e > 0 && out[e - 1] == ' ') --e;
        size_t s = e;
        while (s > 0 && IsIdentChar(out[s - 1])) --s;
        foreign = !schema.IsOwnAlias(std::string_view(out).substr(s, e - s));
      }
      std::optional<std::string> repl;
      if (!isFunction && !isAlias && !foreign) repl = map(word);
      if (repl)
        out.append(*repl);
      else
        out.append(word);
      i = j;
      continue;
    }
    out.push_back(c);
    ++i;
  }
  return out;
}

}  // namespace

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Fold(a[i]) != Fold(b[i])) return false;
  return true;
}

std::vector<std::string> ShortFieldNames(const ExprSchema& schema) {
  size_t n = schema.FieldCount();
  std::vector<std::string> names(n), shorts(n);
  for (size_t i = 0; i < n; ++i) names[i] = schema.FieldAt(i).name;
  auto taken = [&](std::string_view candidate, size_t self) {
    for (size_t k = 0; k < n; ++k) {
      if (k != self && SameName(names[k], candidate)) return true;
      if (k < self && SameName(shorts[k], candidate)) return true;
    }
    return false;
  };
  for (size_t i = 0; i < n; ++i) {
    if (names[i].size() <= kShortLength) {
      shorts[i] = names[i];
      continue;
    }
    std::string candidate = names[i].substr(0, kShortLength);
    if (taken(candidate, i)) {
      std::string suffix = "_" + std::to_string(i + 1);
      for (size_t keep = kShortLength - suffix.size(); keep > 0; --keep) {
        candidate = names[i].substr(0, keep) + suffix;
        if (!taken(candidate, i)) break;
      }
    }
    shorts[i] = candidate;
  }
  return shorts;
}

std::string ExpressionLongToShort(std::string_view text, const ExprSchema& schema) {
  std::vector<std::string> shorts = ShortFieldNames(schema);
  return Rewrite(text, schema, [&](std::string_view word) -> std::optional<std::string> {
    if (word.size() <= kShortLength) return std::nullopt;
    for (size_t i = 0; i < shorts.size(); ++i)
      if (SameName(schema.FieldAt(i).name, word)) return shorts[i];
    return std::nullopt;
  });
}

std::string ExpressionShortToLong(std::string_view text, const ExprSchema& schema) {
  std::vector<std::string> shorts = ShortFieldNames(schema);
  return Rewrite(text, schema, [&](std::string_view word) -> std::optional<std::string> {
    // A full name wins over a short name that happens to be spelled the same.
    for (size_t i = 0; i < shorts.size(); ++i)
      if (SameName(schema.FieldAt(i).name, word)) return std::nullopt;
    for (size_t i = 0; i < shorts.size(); ++i) {
      std::string name = schema.FieldAt(i).name;
      if (name.size() > kShortLength && SameName(shorts[i], word)) return name;
    }
    return std::nullopt;
  });
}

}  // namespace engine::expr
