// The search conditions of CONTAINS(field, 'condition').
//
// A condition is words, phrases in double quotes, AND, OR, NOT and parentheses; words next to
// each other mean AND, and a word ending in "*" matches every word it begins. Matching ignores
// letter case and looks at whole words of the text (runs of letters and digits). The engine
// has no full-text index: CONTAINS reads the text of each record it is asked about.
//
// Thread safety: a parsed condition is immutable; matching is reentrant.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace engine::expr {

class ContainsCondition {
 public:
  // Parses the condition; on failure returns nothing and sets `error` to a short text and
  // `errorOffset` to the 0-based offset in `text` where the problem is.
  static std::unique_ptr<ContainsCondition> Parse(std::string_view text, std::string& error, size_t& errorOffset);
  ContainsCondition();
  ~ContainsCondition();

  // Whether the texts (one per searched field; a term may match in any of them) satisfy it.
  bool Matches(const std::string_view* texts, size_t count) const;

  struct Term;

 private:
  std::unique_ptr<Term> root_;
};

}  // namespace engine::expr
