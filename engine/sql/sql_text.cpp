#include "engine/sql/sql_text.h"

#include <cctype>

#include "engine/core/ascii_case.h"

namespace engine::sql {

namespace {

bool IsWordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || (c & 0x80); }

// The end (one past) of the quoted section or comment starting at i, or i when none starts
// there. A doubled closing quote inside a quoted section stands for the character itself.
size_t SkipQuotedOrComment(std::string_view s, size_t i) {
  char c = s[i];
  if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
    size_t e = s.find('\n', i);
    return e == std::string_view::npos ? s.size() : e;
  }
  if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
    size_t e = s.find("*/", i + 2);
    return e == std::string_view::npos ? s.size() : e + 2;
  }
  char close = 0;
  if (c == '\'' || c == '"' || c == '`') close = c;
  if (c == '[') close = ']';
  if (!close) return i;
  size_t j = i + 1;
  while (j < s.size()) {
    if (s[j] == close) {
      if (close != ']' && j + 1 < s.size() && s[j + 1] == close) {
        j += 2;
        continue;
      }
      return j + 1;
    }
    ++j;
  }
  return s.size();
}

// Length of a marker at i ("?", "?123", ":name", ':"name"'), 0 when none starts there.
size_t MarkerLength(std::string_view s, size_t i) {
  if (s[i] == '?') {
    size_t j = i + 1;
    while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) ++j;
    return j - i;
  }
  if (s[i] != ':') return 0;
  if (i + 1 >= s.size()) return 0;
  if (s[i + 1] == ':') return 0;
  if (i > 0 && s[i - 1] == ':') return 0;
  char n = s[i + 1];
  if (n == '"' || n == '\'' || n == '`') {
    size_t e = SkipQuotedOrComment(s, i + 1);
    return e - i;
  }
  if (!IsWordChar(n)) return 0;
  size_t j = i + 1;
  while (j < s.size() && IsWordChar(s[j])) ++j;
  return j - i;
}

std::string Trim(std::string_view s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return std::string(s.substr(b, e - b));
}

bool OnlyCommentsAndBlanks(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    if (std::isspace(static_cast<unsigned char>(s[i]))) {
      ++i;
      continue;
    }
    if ((s[i] == '-' || s[i] == '/') && SkipQuotedOrComment(s, i) != i) {
      i = SkipQuotedOrComment(s, i);
      continue;
    }
    return false;
  }
  return true;
}

}  // namespace

std::string Upper(std::string_view text) { return engine::AsciiUpperCopy(text); }

std::vector<StatementText> SplitStatements(std::string_view script) {
  std::vector<StatementText> out;
  StatementText current;
  int next = 1;
  current.firstParameter = next;
  auto finish = [&] {
    if (!OnlyCommentsAndBlanks(current.text)) {
      current.text = Trim(current.text);
      out.push_back(current);
    }
    current = StatementText();
    current.firstParameter = next;
  };
  size_t i = 0;
  while (i < script.size()) {
    size_t skip = SkipQuotedOrComment(script, i);
    if (skip != i) {
      current.text.append(script.substr(i, skip - i));
      i = skip;
      continue;
    }
    if (script[i] == ';') {
      finish();
      ++i;
      continue;
    }
    size_t marker = MarkerLength(script, i);
    if (marker) {
      current.text += "?" + std::to_string(next++);
      ++current.parameterCount;
      i += marker;
      continue;
    }
    current.text += script[i++];
  }
  finish();
  return out;
}

int CountParameters(std::string_view script) {
  int count = 0;
  for (const StatementText& s : SplitStatements(script)) count += s.parameterCount;
  return count;
}

std::vector<Token> Tokenize(std::string_view s) {
  std::vector<Token> out;
  size_t i = 0;
  while (i < s.size()) {
    char c = s[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
      continue;
    }
    size_t skip = SkipQuotedOrComment(s, i);
    if (skip != i) {
      Token t;
      t.offset = i;
      if (c == '-' || c == '/') {
        i = skip;
        continue;
      }
      char close = c == '[' ? ']' : c;
      std::string body;
      for (size_t j = i + 1; j < skip; ++j) {
        if (s[j] == close && j + 1 == skip) break;
        if (s[j] == close && close != ']' && j + 1 < skip && s[j + 1] == close) ++j;
        body += s[j];
      }
      t.text = body;
      t.literal = c == '\'';
      t.quoted = !t.literal;
      out.push_back(t);
      i = skip;
      continue;
    }
    Token t;
    t.offset = i;
    if (c == '?') {
      size_t j = i + 1;
      while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) ++j;
      t.text = std::string(s.substr(i, j - i));
      i = j;
    } else if (IsWordChar(c)) {
      size_t j = i;
      while (j < s.size() && (IsWordChar(s[j]) || (s[j] == '.' && j + 1 < s.size() &&
                                                   std::isdigit(static_cast<unsigned char>(s[j + 1])) &&
                                                   std::isdigit(static_cast<unsigned char>(s[i]))))) {
        ++j;
      }
      t.text = std::string(s.substr(i, j - i));
      i = j;
    } else {
      t.text = std::string(1, c);
      ++i;
    }
    out.push_back(t);
  }
  return out;
}

std::vector<std::string> LeadingWords(std::string_view text, size_t count) {
  std::vector<std::string> out;
  for (const Token& t : Tokenize(text)) {
    if (out.size() >= count) break;
    out.push_back(t.literal || t.quoted ? t.text : Upper(t.text));
  }
  return out;
}

}  // namespace engine::sql
