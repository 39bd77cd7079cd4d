#include "engine/expr/contains_search.h"

#include "engine/expr/text_ops.h"

namespace engine::expr {

namespace {

bool IsWordChar(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 0x80;
}

struct Word {
  std::string text;  // upper case
  bool prefix = false;
};

// Whether the words of `pattern` occur one after another in `text`.
bool FindPhrase(std::string_view text, const std::vector<Word>& pattern) {
  const unsigned char* up = UpperTable();
  // Collect word boundaries lazily: walk each word start of the text and try the phrase there.
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && !IsWordChar(static_cast<unsigned char>(text[i]))) ++i;
    if (i >= text.size()) break;
    size_t start = i;
    size_t pos = start;
    bool ok = true;
    for (const Word& w : pattern) {
      while (pos < text.size() && !IsWordChar(static_cast<unsigned char>(text[pos]))) ++pos;
      size_t end = pos;
      while (end < text.size() && IsWordChar(static_cast<unsigned char>(text[end]))) ++end;
      size_t n = end - pos;
      if (n < w.text.size() || (!w.prefix && n != w.text.size())) {
        ok = false;
        break;
      }
      for (size_t k = 0; k < w.text.size(); ++k)
        if (up[static_cast<unsigned char>(text[pos + k])] != static_cast<unsigned char>(w.text[k])) {
          ok = false;
          break;
        }
      if (!ok) break;
      pos = end;
    }
    if (ok) return true;
    while (i < text.size() && IsWordChar(static_cast<unsigned char>(text[i]))) ++i;
  }
  return false;
}

}  // namespace

// A parsed condition. AND and OR hold all their operands in one node, so that a long run of
// words ("a b c ...") makes a wide node rather than a deep one: matching and destroying recurse
// only as deep as parentheses and NOT nest, which the parser bounds.
struct ContainsCondition::Term {
  enum Kind { kPhrase, kAnd, kOr, kNot } kind = kPhrase;
  std::vector<Word> words;
  std::vector<std::unique_ptr<Term>> kids;

  bool Eval(const std::string_view* texts, size_t count) const {
    switch (kind) {
      case kAnd:
        for (const auto& k : kids)
          if (!k->Eval(texts, count)) return false;
        return true;
      case kOr:
        for (const auto& k : kids)
          if (k->Eval(texts, count)) return true;
        return false;
      case kNot: return !kids.front()->Eval(texts, count);
      default:
        for (size_t i = 0; i < count; ++i)
          if (FindPhrase(texts[i], words)) return true;
        return false;
    }
  }
};

namespace {

class CondParser {
 public:
  explicit CondParser(std::string_view t) : t_(t) {}
  using TermPtr = std::unique_ptr<ContainsCondition::Term>;

  TermPtr Parse(std::string& error, size_t& offset) {
    TermPtr r = ParseOr();
    Skip();
    if (r && i_ < t_.size()) Fail("unexpected text in the search condition");
    if (!error_.empty()) {
      error = error_;
      offset = errPos_;
      return nullptr;
    }
    return r;
  }

 private:
  void Skip() {
    while (i_ < t_.size() && t_[i_] == ' ') ++i_;
  }
  void Fail(const char* what) {
    if (error_.empty()) {
      error_ = what;
      errPos_ = i_;
    }
  }
  bool Keyword(const char* kw) {
    Skip();
    size_t n = std::char_traits<char>::length(kw);
    if (i_ + n > t_.size()) return false;
    for (size_t k = 0; k < n; ++k)
      if (UpperChar(static_cast<unsigned char>(t_[i_ + k])) != static_cast<unsigned char>(kw[k])) return false;
    if (i_ + n < t_.size() && IsWordChar(static_cast<unsigned char>(t_[i_ + n]))) return false;
    i_ += n;
    return true;
  }
  // l AND r, l OR r, or NOT l (r null); a run of one operator extends its node.
  TermPtr Join(ContainsCondition::Term::Kind k, TermPtr l, TermPtr r) {
    if (r && l->kind == k) {
      l->kids.push_back(std::move(r));
      return l;
    }
    auto t = std::make_unique<ContainsCondition::Term>();
    t->kind = k;
    t->kids.push_back(std::move(l));
    if (r) t->kids.push_back(std::move(r));
    return t;
  }
  // Enters one level of parentheses or NOT; false (with the error set) beyond the limit.
  bool Enter() {
    if (++depth_ <= kMaxNesting) return true;
    Fail("the search condition is nested too deeply");
    return false;
  }
  TermPtr ParseOr() {
    TermPtr l = ParseAnd();
    while (l && Keyword("OR")) {
      TermPtr r = ParseAnd();
      if (!r) return nullptr;
      l = Join(ContainsCondition::Term::kOr, std::move(l), std::move(r));
    }
    return l;
  }
  TermPtr ParseAnd() {
    TermPtr l = ParseNot();
    while (l) {
      Skip();
      if (i_ >= t_.size() || t_[i_] == ')') break;
      if (Keyword("OR")) {
        i_ -= 2;
        break;
      }
      Keyword("AND");
      TermPtr r = ParseNot();
      if (!r) return nullptr;
      l = Join(ContainsCondition::Term::kAnd, std::move(l), std::move(r));
    }
    return l;
  }
  TermPtr ParseNot() {
    if (Keyword("NOT")) {
      if (!Enter()) return nullptr;
      TermPtr x = ParseNot();
      --depth_;
      if (!x) return nullptr;
      return Join(ContainsCondition::Term::kNot, std::move(x), nullptr);
    }
    return ParsePrimary();
  }
  TermPtr ParsePrimary() {
    Skip();
    if (i_ >= t_.size()) {
      Fail("a word is missing in the search condition");
      return nullptr;
    }
    if (t_[i_] == '(') {
      if (!Enter()) return nullptr;
      ++i_;
      TermPtr x = ParseOr();
      --depth_;
      Skip();
      if (!x) return nullptr;
      if (i_ >= t_.size() || t_[i_] != ')') {
        Fail("a closing parenthesis is missing in the search condition");
        return nullptr;
      }
      ++i_;
      return x;
    }
    auto term = std::make_unique<ContainsCondition::Term>();
    if (t_[i_] == '"') {
      size_t close = t_.find('"', i_ + 1);
      if (close == std::string_view::npos) {
        Fail("a phrase is not closed in the search condition");
        return nullptr;
      }
      if (!Words(t_.substr(i_ + 1, close - i_ - 1), term->words)) return nullptr;
      i_ = close + 1;
    } else {
      size_t end = i_;
      while (end < t_.size() && t_[end] != ' ' && t_[end] != '(' && t_[end] != ')' && t_[end] != '"') ++end;
      if (!Words(t_.substr(i_, end - i_), term->words)) return nullptr;
      i_ = end;
    }
    if (term->words.empty()) {
      Fail("a word is missing in the search condition");
      return nullptr;
    }
    return term;
  }
  // Splits a word or phrase into words; "*" at the end of a word makes it a prefix.
  bool Words(std::string_view s, std::vector<Word>& out) {
    size_t k = 0;
    while (k < s.size()) {
      while (k < s.size() && !IsWordChar(static_cast<unsigned char>(s[k]))) ++k;
      if (k >= s.size()) break;
      Word w;
      while (k < s.size() && IsWordChar(static_cast<unsigned char>(s[k])))
        w.text.push_back(static_cast<char>(UpperChar(static_cast<unsigned char>(s[k++]))));
      if (k < s.size() && s[k] == '*') w.prefix = true, ++k;
      out.push_back(std::move(w));
      if (++words_ > kMaxWords) {
        Fail("the search condition has more than 1000 words");
        return false;
      }
    }
    return true;
  }

  // Parentheses and NOT nest at most this deep; the condition may come from a record's data.
  static constexpr int kMaxNesting = 100;
  // Each word is looked for in the whole text of every record, so their number is bounded too.
  static constexpr int kMaxWords = 1000;

  std::string_view t_;
  size_t i_ = 0;
  int depth_ = 0;
  int words_ = 0;
  std::string error_;
  size_t errPos_ = 0;
};

}  // namespace

ContainsCondition::ContainsCondition() = default;
ContainsCondition::~ContainsCondition() = default;

std::unique_ptr<ContainsCondition> ContainsCondition::Parse(std::string_view text, std::string& error,
                                                            size_t& errorOffset) {
  CondParser p(text);
  auto root = p.Parse(error, errorOffset);
  if (!root) return nullptr;
  auto c = std::make_unique<ContainsCondition>();
  c->root_ = std::move(root);
  return c;
}

bool ContainsCondition::Matches(const std::string_view* texts, size_t count) const {
  return root_->Eval(texts, count);
}

}  // namespace engine::expr
