// Lexical work on SQL text before SQLite sees it: splitting a script into its statements,
// numbering the parameter markers, and reading the leading words that decide whether the
// engine itself handles a statement.
//
// Quoted text ('...', "...", [...], `...`), "--" line comments and "/* */" comments are
// skipped by every function: a ";", "?" or ":" inside them is plain text.
//
// Parameters are positional: every marker, "?" or ":name", is the next parameter, counted
// from 1 across the whole text, as the components number them (one per occurrence). A doubled
// colon is not a marker.
//
// Threading: pure functions.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace engine::sql {

struct StatementText {
  std::string text;           // one statement, UTF-8, without its ";", markers rewritten to "?N"
  int firstParameter = 1;     // number of its first marker
  int parameterCount = 0;     // markers it holds
};

// The non-empty statements of `script` in order, each with its markers rewritten to "?N"
// (N the marker's number in the whole script).
std::vector<StatementText> SplitStatements(std::string_view script);

// The number of parameter markers in `script`.
int CountParameters(std::string_view script);

// The first `count` words of `text` in upper case (letters, digits and "_"; other characters
// separate words; a word made of other characters counts as one word). Comments are skipped;
// words inside quotes are returned with their quotes stripped.
std::vector<std::string> LeadingWords(std::string_view text, size_t count);

// Tokens of a short statement for the engine's own parsers: words, quoted names (quotes
// stripped, `quoted` set), string literals ('...', `literal` set), and single punctuation
// characters. Markers appear as "?N" tokens.
struct Token {
  std::string text;
  bool quoted = false;   // a "..." or [...] name
  bool literal = false;  // a '...' string
  size_t offset = 0;     // byte offset in the statement
};
std::vector<Token> Tokenize(std::string_view text);

// Upper-cases a..z.
std::string Upper(std::string_view text);

}  // namespace engine::sql
