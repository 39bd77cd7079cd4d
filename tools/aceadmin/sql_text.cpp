#include "tools/aceadmin/sql_text.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <sstream>

namespace aceadmin {
namespace {

enum class Region { kCode, kString, kQuotedName, kComment };

// Calls fn(begin, end, region) for the consecutive regions of `s`; returns whether the text
// ends inside a quote or a block comment. A doubled quote simply opens the next quoted piece.
template <typename Fn>
bool ScanRegions(const std::string& s, Fn fn) {
  size_t i = 0, code = 0;
  auto region = [&](size_t begin, size_t end, Region r) {
    if (code < begin) fn(code, begin, Region::kCode);
    fn(begin, end, r);
    code = end;
  };
  while (i < s.size()) {
    const char c = s[i];
    if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
      size_t e = s.find('\n', i);
      e = e == std::string::npos ? s.size() : e;
      region(i, e, Region::kComment);
      i = e;
      continue;
    }
    if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
      size_t e = s.find("*/", i + 2);
      if (e == std::string::npos) {
        region(i, s.size(), Region::kComment);
        return true;
      }
      region(i, e + 2, Region::kComment);
      i = e + 2;
      continue;
    }
    const char close = c == '[' ? ']' : (c == '\'' || c == '"' || c == '`') ? c : 0;
    if (close) {
      size_t e = s.find(close, i + 1);
      const Region r = c == '\'' ? Region::kString : Region::kQuotedName;
      if (e == std::string::npos) {
        region(i, s.size(), r);
        return true;
      }
      region(i, e + 1, r);
      i = e + 1;
      continue;
    }
    ++i;
  }
  if (code < s.size()) fn(code, s.size(), Region::kCode);
  return false;
}

bool NameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || (c & 0x80); }

bool SameNoCase(const std::string& s, size_t at, const std::string& word) {
  if (at + word.size() > s.size()) return false;
  for (size_t k = 0; k < word.size(); ++k) {
    if (std::tolower(static_cast<unsigned char>(s[at + k])) != std::tolower(static_cast<unsigned char>(word[k]))) {
      return false;
    }
  }
  return true;
}

// The first place where `word` stands in `sql` as a whole token outside string literals and
// comments (inside a quoted name too, as "name" or [name]).
std::optional<size_t> FindToken(const std::string& sql, const std::string& word) {
  if (word.empty()) return std::nullopt;
  std::optional<size_t> found;
  ScanRegions(sql, [&](size_t begin, size_t end, Region r) {
    if (found || r == Region::kString || r == Region::kComment) return;
    for (size_t i = begin; i + word.size() <= end; ++i) {
      if (!SameNoCase(sql, i, word)) continue;
      const bool startOk = !NameChar(word.front()) || i == 0 || !NameChar(sql[i - 1]);
      const size_t after = i + word.size();
      const bool endOk = !NameChar(word.back()) || after >= sql.size() || !NameChar(sql[after]);
      if (startOk && endOk) {
        found = i;
        return;
      }
    }
  });
  return found;
}

// The text between `prefix` and the next `close` in `error` ("" when absent).
std::string Between(const std::string& error, const std::string& prefix, char close) {
  size_t at = error.find(prefix);
  if (at == std::string::npos) return "";
  at += prefix.size();
  size_t end = error.find(close, at);
  return end == std::string::npos ? "" : error.substr(at, end - at);
}

// Where SQLite's own parser stops on `sql` with `message`: a syntax error is found before any
// name is looked up, so a connection without tables finds it where the engine's did. nullopt
// when that parser says something else (the engine handled the statement itself).
std::optional<size_t> ParserOffset(const std::string& sql, const std::string& message) {
  sqlite3* raw = nullptr;
  if (sqlite3_open_v2(":memory:", &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_MEMORY, nullptr) != SQLITE_OK) {
    sqlite3_close(raw);
    return std::nullopt;
  }
  std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, &sqlite3_close);
  sqlite3_stmt* stmt = nullptr;
  const int rc = sqlite3_prepare_v2(db.get(), sql.c_str(), static_cast<int>(sql.size()), &stmt, nullptr);
  sqlite3_finalize(stmt);
  if (rc == SQLITE_OK || message != sqlite3_errmsg(db.get())) return std::nullopt;
  const int offset = sqlite3_error_offset(db.get());
  if (offset < 0 || static_cast<size_t>(offset) > sql.size()) return std::nullopt;
  return static_cast<size_t>(offset);
}

}  // namespace

std::vector<size_t> StatementEnds(const std::string& text, bool* open) {
  std::vector<size_t> ends;
  const bool unclosed = ScanRegions(text, [&](size_t begin, size_t end, Region r) {
    if (r != Region::kCode) return;
    for (size_t i = begin; i < end; ++i) {
      if (text[i] == ';') ends.push_back(i);
    }
  });
  if (open) *open = unclosed;
  return ends;
}

bool HasCode(const std::string& text) {
  bool code = false;
  ScanRegions(text, [&](size_t begin, size_t end, Region r) {
    if (r != Region::kComment && !Blank(text.substr(begin, end - begin))) code = true;
  });
  return code;
}

std::vector<SqlPiece> CutStatements(const std::string& text, const std::vector<size_t>& ends) {
  std::vector<SqlPiece> pieces;
  size_t start = 0;
  auto add = [&](size_t end) {
    const std::string part = text.substr(start, end - start);
    if (HasCode(part)) pieces.push_back({Trimmed(part), start + part.find_first_not_of(" \t\r\n")});
  };
  for (size_t end : ends) {
    add(end);
    start = end + 1;
  }
  if (start < text.size()) add(text.size());
  return pieces;
}

std::optional<size_t> ErrorOffset(const std::string& sql, const std::string& error) {
  // SQLite's syntax errors, as the engine passes them on.
  if (std::string near = Between(error, "near \"", '"'); !near.empty()) {
    if (std::optional<size_t> at = ParserOffset(sql, "near \"" + near + "\": syntax error")) return at;
    return FindToken(sql, near);
  }
  if (std::string token = Between(error, "unrecognized token: \"", '"'); !token.empty()) {
    if (std::optional<size_t> at = ParserOffset(sql, "unrecognized token: \"" + token + "\"")) return at;
    size_t at = sql.find(token);
    return at == std::string::npos ? std::nullopt : std::optional<size_t>(at);
  }
  if (error.find("incomplete input") != std::string::npos) return sql.size();
  // Names the engine could not find.
  for (const char* prefix : {"column \"", "Table not found: \""}) {
    std::string name = Between(error, prefix, '"');
    if (name.empty()) continue;
    if (std::optional<size_t> at = FindToken(sql, name)) return at;
    const size_t dot = name.rfind('.');  // a qualified name, written otherwise
    if (dot != std::string::npos) return FindToken(sql, name.substr(dot + 1));
    return std::nullopt;
  }
  if (std::string function = Between(error, "no such function: ", '.'); !function.empty()) {
    return FindToken(sql, function);
  }
  return std::nullopt;
}

std::string OneLine(const std::string& text) {
  bool keepLines = false;
  ScanRegions(text, [&](size_t begin, size_t end, Region r) {
    if (r == Region::kCode) return;
    // A "--" comment would hide the rest; a line break inside quotes is part of the value.
    if (text.compare(begin, 2, "--") == 0 || text.find('\n', begin) < end) keepLines = true;
  });
  if (keepLines) return "";
  std::string line;
  std::istringstream lines(text);
  for (std::string l; std::getline(lines, l);) {
    if (Blank(l)) continue;
    line += (line.empty() ? "" : " ") + Trimmed(l);
  }
  return line;
}

TextPosition PositionOf(const std::string& text, size_t offset) {
  offset = std::min(offset, text.size());
  TextPosition p;
  size_t lineStart = 0;
  for (size_t i = 0; i < offset; ++i) {
    if (text[i] == '\n') {
      ++p.line;
      lineStart = i + 1;
    }
  }
  for (size_t i = lineStart; i < offset; ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) ++p.column;  // not a continuation byte
  }
  size_t lineEnd = text.find('\n', lineStart);
  p.lineText = text.substr(lineStart, (lineEnd == std::string::npos ? text.size() : lineEnd) - lineStart);
  if (!p.lineText.empty() && p.lineText.back() == '\r') p.lineText.pop_back();
  std::replace(p.lineText.begin(), p.lineText.end(), '\t', ' ');
  return p;
}

bool Blank(const std::string& s) { return s.find_first_not_of(" \t\r\n") == std::string::npos; }

std::string Trimmed(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

}  // namespace aceadmin
