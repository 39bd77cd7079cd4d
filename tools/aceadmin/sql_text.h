// Lexical work of the SQL shell on the text a person typed or a script holds: where its
// statements end, and where in it the engine's error about one of them points.
//
// Quoted text ('...', "...", [...], `...`), "--" line comments and "/* */" comments are
// skipped: a ";" inside them ends nothing and a name inside a string literal is not the one an
// error names.
//
// Thread safety: pure functions.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace aceadmin {

// The offsets of every ";" outside quotes and comments in `text`, in order. `*open` (when
// given) tells whether the text ends inside a quote or a block comment.
std::vector<size_t> StatementEnds(const std::string& text, bool* open = nullptr);

// One statement of a longer text: its trimmed text (without its ";") and where that starts.
struct SqlPiece {
  std::string sql;
  size_t offset = 0;  // of sql's first character in the whole text
};

// Whether `text` holds anything but blanks and comments.
bool HasCode(const std::string& text);

// The statements of `text` cut at `ends` (from StatementEnds; the text after the last one is
// a statement too), leaving out those that hold nothing but blanks and comments.
std::vector<SqlPiece> CutStatements(const std::string& text, const std::vector<size_t>& ends);

// The offset in `sql` of what the engine's `error` about it points at: the token a syntax
// error is "near", the column, table or function it could not find, or the end of the text
// for a statement that stops short. nullopt when the error names nothing found in the text.
std::optional<size_t> ErrorOffset(const std::string& sql, const std::string& error);

// `text` on one line, its lines trimmed and joined by a blank, for the history of the shell;
// "" when a "--" comment would then hide what follows or a line break lies inside quotes.
std::string OneLine(const std::string& text);

// Line and column (from 1; the column counts characters of UTF-8 text) of byte `offset` of
// `text`, and that line, for showing where an error points.
struct TextPosition {
  size_t line = 1;
  size_t column = 1;
  std::string lineText;  // without its line break; tabs as blanks
};
TextPosition PositionOf(const std::string& text, size_t offset);

// Whether `s` holds nothing but blanks and line breaks.
bool Blank(const std::string& s);
// `s` without leading and trailing blanks and line breaks.
std::string Trimmed(const std::string& s);

}  // namespace aceadmin
