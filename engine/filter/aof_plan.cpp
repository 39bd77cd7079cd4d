#include "engine/filter/aof_plan.h"

#include <cctype>

#include "engine/core/error.h"
#include "engine/expr/compiled_expr.h"
#include "engine/expr/lexer.h"
#include "engine/index/collation.h"
#include "engine/index/index_file.h"
#include "engine/index/key_builder.h"
#include "engine/index/tag_def.h"

namespace engine::filter {

struct AofPlan::Node {
  enum class Kind { kLeaf, kAnd, kOr, kNot } kind = Kind::kLeaf;
  std::string text;
  bool grouped = false;  // written in parentheses (or not a single leaf): parenthesise when joined
  std::vector<std::unique_ptr<Node>> kids;
  OptLevel level = OptLevel::kNone;
  std::string residual;

  // A leaf answered by a tag: "key op constant".
  int tag = -1;
  expr::Tok op = expr::Tok::Eq;
  expr::ExprType type = expr::ExprType::Logical;
  std::unique_ptr<expr::CompiledExpr> constant;
  bool exactText = false;  // text key answered exactly (else a superset by prefix)
  bool nullMatches = false;
};

namespace {

using Node = AofPlan::Node;

// Upper case outside literals, blanks outside literals removed: two spellings of one key
// expression compare equal.
std::string Normalize(std::string_view text) {
  std::string out;
  char quote = 0;
  for (char c : text) {
    if (quote) {
      out += c;
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
      out += c;
    } else if (c == '[') {
      quote = ']';
      out += c;
    } else if (c != ' ' && c != '\t' && c != '\r' && c != '\n') {
      out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
  }
  return out;
}

std::string Trim(std::string_view s) {
  size_t a = 0, b = s.size();
  while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
  while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
  return std::string(s.substr(a, b - a));
}

bool IsComparison(expr::Tok k) {
  return k == expr::Tok::Eq || k == expr::Tok::EqEq || k == expr::Tok::Ne || k == expr::Tok::Lt || k == expr::Tok::Le || k == expr::Tok::Gt ||
         k == expr::Tok::Ge;
}

expr::Tok Flip(expr::Tok k) {
  switch (k) {
    case expr::Tok::Lt: return expr::Tok::Gt;
    case expr::Tok::Le: return expr::Tok::Ge;
    case expr::Tok::Gt: return expr::Tok::Lt;
    case expr::Tok::Ge: return expr::Tok::Le;
    default: return k;
  }
}

const char* OpText(expr::Tok k) {
  switch (k) {
    case expr::Tok::Eq: return "=";
    case expr::Tok::EqEq: return "==";
    case expr::Tok::Ne: return "<>";
    case expr::Tok::Lt: return "<";
    case expr::Tok::Le: return "<=";
    case expr::Tok::Gt: return ">";
    case expr::Tok::Ge: return ">=";
    default: return "=";
  }
}

// What a null key compares as: the empty value of its type.
const char* EmptyLiteral(expr::ExprType t) {
  switch (t) {
    case expr::ExprType::String: return "''";
    case expr::ExprType::Numeric: return "0";
    case expr::ExprType::Date: return "{}";
    default: return ".F.";
  }
}

struct TagFacts {
  std::string normalized;
  expr::ExprType type = expr::ExprType::Logical;
  bool fixedText = false;  // a fixed-length character field
  bool byteOrder = true;
  bool usable = false;
};

class Analyzer {
 public:
  Analyzer(std::string_view text, const expr::ExprSchema& schema, const std::vector<IndexedTag>& tags,
           const expr::EvalOptions& options)
      : text_(text), schema_(schema), options_(options), tags_(tags) {
    expr::Lexer lexer(text);
    do toks_.push_back(lexer.Next());
    while (toks_.back().kind != expr::Tok::End);
    for (const IndexedTag& t : tags) facts_.push_back(Facts(t));
  }

  std::unique_ptr<Node> Run() {
    size_t i = 0;
    auto root = ParseOr(i);
    if (toks_[i].kind != expr::Tok::End) return WholeLeaf();  // structure not understood: evaluate it all
    Analyze(*root);
    return root;
  }

 private:
  TagFacts Facts(const IndexedTag& t) {
    TagFacts f;
    const index::TagInfo& info = t.file->tag(t.tag);
    if (info.def.options & (index::kTagUnique | index::kTagCustom)) return f;
    if (!info.def.condition.empty() || info.layout.segments().size() != 1) return f;
    // A national text key holds UTF-16 text the language reads in the ANSI code page: its keys
    // cannot answer a comparison written in the language.
    if (info.layout.segments()[0].kind == index::SegmentKind::kWideString) return f;
    try {
      auto e = expr::CompiledExpr::Compile(t.expression, &schema_, options_.dateFormat);
      f.type = e->type();
      if (f.type == expr::ExprType::Time || f.type == expr::ExprType::Timestamp) return f;
      if (e->IsSingleField()) {
        std::optional<expr::ExprField> field = schema_.FindField(e->fields().front());
        f.fixedText = field && field->type == expr::ExprType::String && !field->variableLength;
      }
    } catch (const EngineError&) {
      return f;  // a tag this schema cannot evaluate is simply not used
    }
    f.byteOrder = info.layout.collation().IsByteOrder();
    f.normalized = Normalize(t.expression);
    f.usable = true;
    return f;
  }

  std::string Slice(size_t a, size_t b) const {
    size_t from = toks_[a].pos - 1, to = toks_[b].pos - 1;
    return Trim(text_.substr(from, to - from));
  }

  std::unique_ptr<Node> WholeLeaf() {
    auto n = std::make_unique<Node>();
    n->text = Trim(text_);
    n->residual = n->text;
    return n;
  }

  std::unique_ptr<Node> ParseOr(size_t& i) {
    size_t start = i;
    auto first = ParseAnd(i);
    if (toks_[i].kind != expr::Tok::Or) return first;
    auto n = std::make_unique<Node>();
    n->kind = Node::Kind::kOr;
    n->kids.push_back(std::move(first));
    while (toks_[i].kind == expr::Tok::Or) n->kids.push_back(ParseAnd(++i));
    n->text = Slice(start, i);
    n->grouped = true;
    return n;
  }

  std::unique_ptr<Node> ParseAnd(size_t& i) {
    size_t start = i;
    auto first = ParseNot(i);
    if (toks_[i].kind != expr::Tok::And) return first;
    auto n = std::make_unique<Node>();
    n->kind = Node::Kind::kAnd;
    n->kids.push_back(std::move(first));
    while (toks_[i].kind == expr::Tok::And) n->kids.push_back(ParseNot(++i));
    n->text = Slice(start, i);
    n->grouped = true;
    return n;
  }

  std::unique_ptr<Node> ParseNot(size_t& i) {
    size_t start = i;
    if (toks_[i].kind == expr::Tok::Not) {
      auto n = std::make_unique<Node>();
      n->kind = Node::Kind::kNot;
      n->kids.push_back(ParseNot(++i));
      n->text = Slice(start, i);
      n->grouped = true;
      return n;
    }
    if (toks_[i].kind == expr::Tok::LParen) {
      size_t close = Matching(i);
      expr::Tok after = close < toks_.size() - 1 ? toks_[close + 1].kind : expr::Tok::End;
      if (close != 0 && (after == expr::Tok::And || after == expr::Tok::Or || after == expr::Tok::RParen || after == expr::Tok::End)) {
        ++i;
        auto inner = ParseOr(i);
        if (i != close) {  // something inside the parentheses the skeleton does not follow
          i = close;
          inner = std::make_unique<Node>();
          inner->text = Slice(start + 1, close);
        }
        ++i;
        inner->grouped = true;
        return inner;
      }
    }
    return ParseLeaf(i);
  }

  size_t Matching(size_t open) const {
    int depth = 0;
    for (size_t j = open; j < toks_.size(); ++j) {
      if (toks_[j].kind == expr::Tok::LParen) ++depth;
      if (toks_[j].kind == expr::Tok::RParen && --depth == 0) return j;
    }
    return 0;
  }

  std::unique_ptr<Node> ParseLeaf(size_t& i) {
    size_t start = i;
    int depth = 0;
    int ops = 0;
    size_t opAt = 0;
    while (toks_[i].kind != expr::Tok::End) {
      expr::Tok k = toks_[i].kind;
      if (k == expr::Tok::LParen) ++depth;
      if (k == expr::Tok::RParen) {
        if (depth == 0) break;
        --depth;
      }
      if (depth == 0 && (k == expr::Tok::And || k == expr::Tok::Or)) break;
      if (depth == 0 && IsComparison(k)) {
        ++ops;
        opAt = i;
      }
      ++i;
    }
    auto n = std::make_unique<Node>();
    n->text = Slice(start, i);
    if (ops == 1) {
      MatchComparison(*n, start, opAt, i);
    } else if (ops == 0) {
      int tag = FindTag(Normalize(n->text));
      if (tag >= 0 && facts_[tag].type == expr::ExprType::Logical) SetLeaf(*n, tag, expr::Tok::Eq, ".T.");
    }
    return n;
  }

  int FindTag(const std::string& normalized) const {
    for (size_t t = 0; t < facts_.size(); ++t)
      if (facts_[t].usable && facts_[t].normalized == normalized) return static_cast<int>(t);
    return -1;
  }

  // A constant: no field, no record function.
  bool IsConstant(size_t a, size_t b) const {
    if (a >= b) return false;
    for (size_t j = a; j < b; ++j) {
      const expr::Token& t = toks_[j];
      if (t.kind == expr::Tok::Arrow) return false;
      if (t.kind == expr::Tok::Ident) {
        if (toks_[j + 1].kind != expr::Tok::LParen) return false;
        std::string name = Normalize(t.text);
        if (name == "RECNO" || name == "DELETED" || name == "RECCOUNT") return false;
      }
    }
    return true;
  }

  void MatchComparison(Node& n, size_t start, size_t opAt, size_t end) {
    expr::Tok op = toks_[opAt].kind;
    std::string left = Slice(start, opAt), right = Slice(opAt + 1, end);
    int tag = FindTag(Normalize(left));
    if (tag >= 0 && IsConstant(opAt + 1, end)) return SetLeaf(n, tag, op, right);
    tag = FindTag(Normalize(right));
    if (tag >= 0 && IsConstant(start, opAt)) {
      // With the exact setting off, "=" cuts its left side to the right side's length: the
      // sides of a text comparison cannot be swapped.
      if (facts_[tag].type == expr::ExprType::String && !options_.exact && op != expr::Tok::EqEq) return;
      SetLeaf(n, tag, Flip(op), left);
    }
  }

  void SetLeaf(Node& n, int tag, expr::Tok op, const std::string& constantText) {
    const TagFacts& f = facts_[tag];
    std::unique_ptr<expr::CompiledExpr> constant;
    try {
      constant = expr::CompiledExpr::Compile(constantText, nullptr, options_.dateFormat);
    } catch (const EngineError&) {
      return;
    }
    if (constant->type() != f.type) return;
    bool exactText = false;
    if (f.type == expr::ExprType::String) {
      exactText = f.fixedText && f.byteOrder;
      if (exactText) {
        // A constant longer than the key compares its excess with blanks: answerable only when
        // the excess is blank.
        const expr::Value& v = constant->Evaluate(nullptr, options_);
        const index::TagInfo& tagInfo = tags_[tag].file->tag(tags_[tag].tag);
        size_t width = tagInfo.layout.segments()[0].width;
        std::string_view s = v.text();
        if (s.size() > width && s.find_first_not_of(' ', width) != std::string_view::npos) exactText = false;
      }
      if (!exactText && op != expr::Tok::Eq && op != expr::Tok::EqEq) return;
    }
    n.tag = tag;
    n.op = op;
    n.type = f.type;
    n.exactText = exactText;
    n.constant = std::move(constant);
    std::string nullTest = std::string(EmptyLiteral(f.type)) + " " + OpText(op) + " (" + constantText + ")";
    try {
      n.nullMatches = expr::CompiledExpr::Compile(nullTest, nullptr, options_.dateFormat)->EvalLogical(nullptr, options_);
    } catch (const EngineError&) {
      n.nullMatches = true;  // unknown: admitting the null keys keeps the answer a superset
      n.exactText = false;
    }
  }

  static std::string Joined(const std::vector<const Node*>& parts) {
    if (parts.size() == 1) return parts[0]->residual;
    std::string out;
    for (const Node* p : parts) {
      if (!out.empty()) out += " .AND. ";
      out += "(" + p->residual + ")";
    }
    return out;
  }

  void Analyze(Node& n) {
    switch (n.kind) {
      case Node::Kind::kLeaf:
        if (n.tag < 0) {
          n.level = OptLevel::kNone;
        } else if (n.type != expr::ExprType::String || n.exactText) {
          n.level = OptLevel::kFull;
        } else {
          n.level = OptLevel::kPart;
        }
        break;
      case Node::Kind::kNot:
        Analyze(*n.kids[0]);
        n.level = n.kids[0]->level == OptLevel::kFull ? OptLevel::kFull : OptLevel::kNone;
        break;
      case Node::Kind::kAnd: {
        bool any = false, all = true;
        std::vector<const Node*> rest;
        for (auto& k : n.kids) {
          Analyze(*k);
          any = any || k->level != OptLevel::kNone;
          all = all && k->level == OptLevel::kFull;
          if (k->level != OptLevel::kFull) rest.push_back(k.get());
        }
        n.level = all ? OptLevel::kFull : (any ? OptLevel::kPart : OptLevel::kNone);
        if (n.level == OptLevel::kPart) {
          n.residual = Joined(rest);
          return;
        }
        break;
      }
      case Node::Kind::kOr: {
        bool none = false, all = true;
        for (auto& k : n.kids) {
          Analyze(*k);
          none = none || k->level == OptLevel::kNone;
          all = all && k->level == OptLevel::kFull;
        }
        n.level = none ? OptLevel::kNone : (all ? OptLevel::kFull : OptLevel::kPart);
        break;
      }
    }
    n.residual = n.level == OptLevel::kFull ? std::string() : n.text;
  }

  std::string_view text_;
  const expr::ExprSchema& schema_;
  expr::EvalOptions options_;
  const std::vector<IndexedTag>& tags_;
  std::vector<expr::Token> toks_;
  std::vector<TagFacts> facts_;
};

void AddRanks(index::IndexFile& file, size_t tag, uint64_t lo, uint64_t hi, RecordSet& out) {
  std::vector<uint8_t> key(file.tag(tag).layout.keyLength());
  for (uint64_t r = lo; r < hi; ++r) out.Add(file.EntryAt(tag, r, key.data()));
}

}  // namespace

AofPlan::AofPlan(const std::string& text, const expr::ExprSchema& schema, const std::vector<IndexedTag>& tags,
                 const expr::EvalOptions& options)
    : tags_(tags), options_(options) {
  Analyzer a(text, schema, tags_, options);
  root_ = a.Run();
}

AofPlan::~AofPlan() = default;

OptLevel AofPlan::level() const { return root_->level; }
const std::string& AofPlan::residual() const { return root_->residual; }

namespace {

RecordSet ResolveLeaf(const Node& n, const IndexedTag& t, const expr::EvalOptions& options) {
  index::IndexFile& f = *t.file;
  const index::KeyLayout& layout = f.tag(t.tag).layout;
  index::KeyBuilder kb(layout);
  const expr::Value& v = n.constant->Evaluate(nullptr, options);
  bool prefix = false;
  switch (n.type) {
    case expr::ExprType::String: {
      std::string s(v.text());
      size_t width = layout.segments()[0].width;
      if (!n.exactText) {
        size_t end = s.find_last_not_of(' ');
        s.erase(end == std::string::npos ? 0 : end + 1);
        kb.SetStringPrefix(0, s.data(), s.size());
        prefix = true;
      } else if (!options.exact && n.op != expr::Tok::EqEq) {
        if (s.size() > width) s.resize(width);  // the excess is blank (checked when planned)
        kb.SetStringPrefix(0, s.data(), s.size());
        prefix = true;
      } else {
        if (s.size() > width) s.resize(width);
        kb.SetString(0, s.data(), s.size());
      }
      break;
    }
    case expr::ExprType::Numeric: kb.SetNumeric(0, v.null ? 0 : v.number); break;
    case expr::ExprType::Date: kb.SetDate(0, static_cast<int32_t>(v.null ? 0 : v.integer)); break;
    default: kb.SetLogical(0, !v.null && v.logical); break;
  }
  (void)prefix;
  std::vector<uint8_t> key(kb.Key().begin(), kb.Key().end());
  std::vector<uint8_t> valueMarker{key[0]};
  kb.Clear();
  kb.SetNull(0);
  std::vector<uint8_t> nullMarker{kb.Key()[0]};

  auto lb = [&](const std::vector<uint8_t>& k) { return f.LowerBound(t.tag, k); };
  auto ub = [&](const std::vector<uint8_t>& k) { return f.UpperBound(t.tag, k); };
  // Keys of the DBF formats have no marker byte and no null: every entry holds a value (an
  // empty value is an ordinary key).
  const bool markers = layout.marker() != 0;
  uint64_t vLo = markers ? lb(valueMarker) : 0, vHi = markers ? ub(valueMarker) : f.KeyCount(t.tag);
  bool desc = layout.descending();
  RecordSet out(0);
  switch (n.op) {
    case expr::Tok::Eq:
    case expr::Tok::EqEq: AddRanks(f, t.tag, lb(key), ub(key), out); break;
    case expr::Tok::Ne:
      AddRanks(f, t.tag, vLo, lb(key), out);
      AddRanks(f, t.tag, ub(key), vHi, out);
      break;
    case expr::Tok::Lt: desc ? AddRanks(f, t.tag, ub(key), vHi, out) : AddRanks(f, t.tag, vLo, lb(key), out); break;
    case expr::Tok::Le: desc ? AddRanks(f, t.tag, lb(key), vHi, out) : AddRanks(f, t.tag, vLo, ub(key), out); break;
    case expr::Tok::Gt: desc ? AddRanks(f, t.tag, vLo, lb(key), out) : AddRanks(f, t.tag, ub(key), vHi, out); break;
    case expr::Tok::Ge: desc ? AddRanks(f, t.tag, vLo, ub(key), out) : AddRanks(f, t.tag, lb(key), vHi, out); break;
    default: break;
  }
  if (markers && (n.nullMatches || (!n.exactText && n.type == expr::ExprType::String))) {
    AddRanks(f, t.tag, lb(nullMarker), ub(nullMarker), out);
  }
  return out;
}

RecordSet ResolveNode(const Node& n, const std::vector<IndexedTag>& tags, const expr::EvalOptions& options,
                      uint32_t count) {
  switch (n.kind) {
    case Node::Kind::kLeaf: return ResolveLeaf(n, tags[n.tag], options);
    case Node::Kind::kNot: return ResolveNode(*n.kids[0], tags, options, count).Complement(count);
    case Node::Kind::kAnd: {
      bool first = true;
      RecordSet out;
      for (const auto& k : n.kids) {
        if (k->level == OptLevel::kNone) continue;
        RecordSet s = ResolveNode(*k, tags, options, count);
        if (first) {
          out = std::move(s);
          first = false;
        } else {
          out.IntersectWith(s);
        }
      }
      return out;
    }
    case Node::Kind::kOr: {
      RecordSet out(count);
      for (const auto& k : n.kids) out.UnionWith(ResolveNode(*k, tags, options, count));
      return out;
    }
  }
  return RecordSet::All(count);
}

}  // namespace

RecordSet AofPlan::Resolve(uint32_t recordCount) {
  for (const IndexedTag& t : tags_) t.file->Revalidate();
  return ResolveNode(*root_, tags_, options_, recordCount);
}

}  // namespace engine::filter
