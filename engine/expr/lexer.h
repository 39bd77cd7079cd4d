// Splits expression text into tokens.
//
// Positions are 1-based character offsets into the text, as errors report them. Keywords
// (AND, OR, NOT and their dotted forms, the logical literals) are recognised here; names are
// left as identifiers for the parser to resolve as functions or fields.
//
// Thread safety: a Lexer is used by one thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace engine::expr {

enum class Tok {
  End,
  Number,    // number: value
  String,    // text: the literal without its quotes
  DateLit,   // text: what stood between the braces
  Ident,     // text: the name as written
  True,
  False,
  And,
  Or,
  Not,       // .NOT., NOT and !
  Plus,
  Minus,
  Star,
  Slash,
  Percent,
  Power,     // ** and ^
  Eq,        // =
  EqEq,      // ==
  Ne,        // <> # !=
  Lt,
  Le,
  Gt,
  Ge,
  Dollar,
  LParen,
  RParen,
  Comma,
  Arrow,     // ->
  Semicolon,
};

struct Token {
  Tok kind = Tok::End;
  uint32_t pos = 0;  // 1-based
  std::string text;
  double number = 0;
};

class Lexer {
 public:
  explicit Lexer(std::string_view text) : text_(text) {}

  // The next token; raises EngineError (syntax) for a character that starts no token or an
  // unterminated literal.
  Token Next();

 private:
  std::string_view text_;
  size_t i_ = 0;
};

// Throws the expression syntax error "Expression error at position P: what".
[[noreturn]] void FailExpr(uint32_t code, uint32_t pos, const std::string& what);

}  // namespace engine::expr
