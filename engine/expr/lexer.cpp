#include "engine/expr/lexer.h"

#include <cstdlib>

#include "engine/core/ascii_case.h"
#include "engine/core/error.h"

namespace engine::expr {

namespace {

bool IsIdentStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || static_cast<unsigned char>(c) >= 0x80;
}
bool IsIdentChar(char c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string Upper(std::string_view s) { return engine::AsciiUpperCopy(s); }

}  // namespace

void FailExpr(uint32_t code, uint32_t pos, const std::string& what) {
  Fail(code, "Expression error at position " + std::to_string(pos) + ": " + what);
}

Token Lexer::Next() {
  while (i_ < text_.size() && (text_[i_] == ' ' || text_[i_] == '\t' || text_[i_] == '\r' || text_[i_] == '\n')) ++i_;
  Token t;
  t.pos = static_cast<uint32_t>(i_ + 1);
  if (i_ >= text_.size()) return t;
  char c = text_[i_];
  auto single = [&](Tok k, size_t n) {
    t.kind = k;
    i_ += n;
    return t;
  };
  char n1 = i_ + 1 < text_.size() ? text_[i_ + 1] : '\0';

  // Dotted keywords: .AND. .OR. .NOT. .T. .F. .Y. .N. .TRUE. .FALSE.
  if (c == '.' && IsIdentStart(n1)) {
    size_t j = i_ + 1;
    while (j < text_.size() && IsIdentChar(text_[j])) ++j;
    if (j < text_.size() && text_[j] == '.') {
      std::string word = Upper(text_.substr(i_ + 1, j - i_ - 1));
      Tok k = Tok::End;
      if (word == "AND") k = Tok::And;
      else if (word == "OR") k = Tok::Or;
      else if (word == "NOT") k = Tok::Not;
      else if (word == "T" || word == "Y" || word == "TRUE") k = Tok::True;
      else if (word == "F" || word == "N" || word == "FALSE") k = Tok::False;
      if (k != Tok::End) return single(k, j + 1 - i_);
      FailExpr(err::kExprSyntax, t.pos, "unknown operator ." + word + ".");
    }
  }
  if (IsDigit(c) || (c == '.' && IsDigit(n1))) {
    size_t j = i_;
    while (j < text_.size() && IsDigit(text_[j])) ++j;
    if (j < text_.size() && text_[j] == '.' && j + 1 < text_.size() && IsDigit(text_[j + 1])) {
      ++j;
      while (j < text_.size() && IsDigit(text_[j])) ++j;
    } else if (j < text_.size() && text_[j] == '.' && !(j + 1 < text_.size() && IsIdentStart(text_[j + 1]))) {
      ++j;  // "5." is the number 5
    }
    if (j < text_.size() && (text_[j] == 'e' || text_[j] == 'E')) {
      size_t k = j + 1;
      if (k < text_.size() && (text_[k] == '+' || text_[k] == '-')) ++k;
      if (k < text_.size() && IsDigit(text_[k])) {
        while (k < text_.size() && IsDigit(text_[k])) ++k;
        j = k;
      }
    }
    std::string digits(text_.substr(i_, j - i_));
    t.kind = Tok::Number;
    t.number = std::strtod(digits.c_str(), nullptr);
    t.text = digits;
    i_ = j;
    if (i_ < text_.size() && IsIdentStart(text_[i_]))
      FailExpr(err::kExprSyntax, static_cast<uint32_t>(i_ + 1), "unexpected character after a number");
    return t;
  }
  if (IsIdentStart(c)) {
    size_t j = i_;
    while (j < text_.size() && IsIdentChar(text_[j])) ++j;
    t.text.assign(text_.substr(i_, j - i_));
    i_ = j;
    std::string word = Upper(t.text);
    if (word == "AND") t.kind = Tok::And;
    else if (word == "OR") t.kind = Tok::Or;
    else if (word == "NOT") t.kind = Tok::Not;
    else t.kind = Tok::Ident;
    return t;
  }
  if (c == '\'' || c == '"' || c == '[') {
    char close = c == '[' ? ']' : c;
    size_t j = text_.find(close, i_ + 1);
    if (j == std::string_view::npos) FailExpr(err::kExprSyntax, t.pos, "unterminated string literal");
    t.kind = Tok::String;
    t.text.assign(text_.substr(i_ + 1, j - i_ - 1));
    i_ = j + 1;
    return t;
  }
  if (c == '{') {
    size_t j = text_.find('}', i_ + 1);
    if (j == std::string_view::npos) FailExpr(err::kExprSyntax, t.pos, "unterminated date literal");
    t.kind = Tok::DateLit;
    t.text.assign(text_.substr(i_ + 1, j - i_ - 1));
    i_ = j + 1;
    return t;
  }
  switch (c) {
    case '+': return single(Tok::Plus, 1);
    case '-': return n1 == '>' ? single(Tok::Arrow, 2) : single(Tok::Minus, 1);
    case '*': return n1 == '*' ? single(Tok::Power, 2) : single(Tok::Star, 1);
    case '/': return single(Tok::Slash, 1);
    case '%': return single(Tok::Percent, 1);
    case '^': return single(Tok::Power, 1);
    case '=': return n1 == '=' ? single(Tok::EqEq, 2) : single(Tok::Eq, 1);
    case '#': return single(Tok::Ne, 1);
    case '!': return n1 == '=' ? single(Tok::Ne, 2) : single(Tok::Not, 1);
    case '<':
      if (n1 == '>') return single(Tok::Ne, 2);
      return n1 == '=' ? single(Tok::Le, 2) : single(Tok::Lt, 1);
    case '>': return n1 == '=' ? single(Tok::Ge, 2) : single(Tok::Gt, 1);
    case '$': return single(Tok::Dollar, 1);
    case '(': return single(Tok::LParen, 1);
    case ')': return single(Tok::RParen, 1);
    case ',': return single(Tok::Comma, 1);
    case ';': return single(Tok::Semicolon, 1);
    default: break;
  }
  std::string shown = (static_cast<unsigned char>(c) < 0x20) ? "character code " + std::to_string(static_cast<unsigned char>(c))
                                                             : std::string("character '") + c + "'";
  FailExpr(err::kExprSyntax, t.pos, "unexpected " + shown);
}

}  // namespace engine::expr
