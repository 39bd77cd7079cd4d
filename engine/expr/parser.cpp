#include "engine/expr/parser.h"

#include "engine/core/ascii_case.h"
#include "engine/core/error.h"
#include "engine/expr/builders.h"
#include "engine/expr/field_names.h"

namespace engine::expr {

namespace {

// Nesting the parser follows by recursion: parentheses, calls, signs and NOT.
constexpr int kMaxDepth = 200;
// Height of the tree built (see Node::height): what evaluating and destroying it recurse on.
constexpr uint32_t kMaxHeight = 1000;

std::string Upper(std::string_view s) { return engine::AsciiUpperCopy(s); }

const char* Describe(const Token& t) {
  switch (t.kind) {
    case Tok::End: return "the end of the expression";
    case Tok::RParen: return "')'";
    case Tok::Comma: return "','";
    case Tok::Semicolon: return "';'";
    default: return nullptr;
  }
}

// Reads digits at s[i..] into v; false when there are none.
bool Digits(std::string_view s, size_t& i, int maxDigits, int& v) {
  v = 0;
  int n = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9' && n < maxDigits) v = v * 10 + (s[i++] - '0'), ++n;
  return n > 0;
}

// Refuses a node whose tree grew beyond kMaxHeight; a left-associative chain grows by one level
// per operator without any nesting in the text.
NodePtr Bounded(NodePtr n) {
  if (n->height > kMaxHeight) FailExpr(err::kExprTooComplex, n->pos, "the expression is nested too deeply");
  return n;
}

}  // namespace

std::optional<ExprField> ResolveField(const ExprSchema& schema, std::string_view name) {
  if (std::optional<ExprField> f = schema.FindField(name)) return f;
  if (name.size() > 10) return std::nullopt;
  std::vector<std::string> shorts = ShortFieldNames(schema);
  for (size_t i = 0; i < shorts.size(); ++i)
    if (SameName(shorts[i], name)) return schema.FieldAt(i);
  return std::nullopt;
}

Parser::Parser(std::string_view text, const ExprSchema* schema, uint32_t dateLength)
    : text_(text), lexer_(text), schema_(schema), dateLength_(dateLength) {
  Advance();
}

Parser::Parser(const ExprText& text, const ExprSchema* schema, uint32_t dateLength)
    : Parser(std::string_view(text.ansi()), schema, dateLength) {
  if (text.wide()) original_ = &text;
}

void Parser::Advance() { tok_ = lexer_.Next(); }

bool Parser::Accept(Tok k) {
  if (tok_.kind != k) return false;
  Advance();
  return true;
}

void Parser::Unexpected(const char* wanted) {
  const char* what = Describe(tok_);
  std::string found = what ? what : "'" + std::string(text_.substr(tok_.pos - 1, 1)) + "'";
  if (tok_.kind == Tok::Ident || tok_.kind == Tok::Number) found = "'" + tok_.text + "'";
  if (tok_.kind == Tok::String) found = "a string literal";
  FailExpr(err::kExprSyntax, tok_.pos, std::string("expected ") + wanted + ", found " + found);
}

void Parser::Expect(Tok k, const char* what) {
  if (!Accept(k)) Unexpected(what);
}

NodePtr Parser::ParseAll() {
  if (tok_.kind == Tok::End) FailExpr(err::kExprSyntax, 1, "the expression is empty");
  NodePtr n = ParseOr();
  if (tok_.kind != Tok::End) Unexpected("an operator or the end of the expression");
  return n;
}

std::vector<NodePtr> Parser::ParseSegments() {
  std::vector<NodePtr> out;
  if (tok_.kind == Tok::End) FailExpr(err::kExprSyntax, 1, "the expression is empty");
  out.push_back(ParseOr());
  while (Accept(Tok::Semicolon)) out.push_back(ParseOr());
  if (tok_.kind != Tok::End) Unexpected("an operator, ';' or the end of the expression");
  return out;
}

NodePtr Parser::ParseOr() {
  if (++depth_ > kMaxDepth) FailExpr(err::kExprTooComplex, tok_.pos, "the expression is nested too deeply");
  NodePtr l = ParseAnd();
  while (tok_.kind == Tok::Or) {
    uint32_t pos = tok_.pos;
    Advance();
    l = Bounded(MakeBinary(Tok::Or, pos, std::move(l), ParseAnd()));
  }
  --depth_;
  return l;
}

NodePtr Parser::ParseAnd() {
  NodePtr l = ParseNot();
  while (tok_.kind == Tok::And) {
    uint32_t pos = tok_.pos;
    Advance();
    l = Bounded(MakeBinary(Tok::And, pos, std::move(l), ParseNot()));
  }
  return l;
}

NodePtr Parser::ParseNot() {
  if (tok_.kind == Tok::Not) {
    uint32_t pos = tok_.pos;
    Advance();
    if (++depth_ > kMaxDepth) FailExpr(err::kExprTooComplex, pos, "the expression is nested too deeply");
    NodePtr n = Bounded(MakeNot(pos, ParseNot()));
    --depth_;
    return n;
  }
  return ParseComparison();
}

NodePtr Parser::ParseComparison() {
  NodePtr l = ParseAdditive();
  for (;;) {
    Tok k = tok_.kind;
    if (k != Tok::Eq && k != Tok::EqEq && k != Tok::Ne && k != Tok::Lt && k != Tok::Le && k != Tok::Gt &&
        k != Tok::Ge && k != Tok::Dollar)
      return l;
    uint32_t pos = tok_.pos;
    Advance();
    l = Bounded(MakeBinary(k, pos, std::move(l), ParseAdditive()));
  }
}

NodePtr Parser::ParseAdditive() {
  NodePtr l = ParseMultiplicative();
  while (tok_.kind == Tok::Plus || tok_.kind == Tok::Minus) {
    Tok k = tok_.kind;
    uint32_t pos = tok_.pos;
    Advance();
    l = Bounded(MakeBinary(k, pos, std::move(l), ParseMultiplicative()));
  }
  return l;
}

NodePtr Parser::ParseMultiplicative() {
  NodePtr l = ParseSign();
  while (tok_.kind == Tok::Star || tok_.kind == Tok::Slash || tok_.kind == Tok::Percent) {
    Tok k = tok_.kind;
    uint32_t pos = tok_.pos;
    Advance();
    l = Bounded(MakeBinary(k, pos, std::move(l), ParseSign()));
  }
  return l;
}

NodePtr Parser::ParseSign() {
  if (tok_.kind == Tok::Plus || tok_.kind == Tok::Minus) {
    bool minus = tok_.kind == Tok::Minus;
    uint32_t pos = tok_.pos;
    Advance();
    if (++depth_ > kMaxDepth) FailExpr(err::kExprTooComplex, pos, "the expression is nested too deeply");
    NodePtr n = Bounded(MakeSign(pos, minus, ParseSign()));
    --depth_;
    return n;
  }
  return ParsePower();
}

NodePtr Parser::ParsePower() {
  NodePtr base = ParsePrimary();
  if (tok_.kind != Tok::Power) return base;
  uint32_t pos = tok_.pos;
  Advance();
  // Right associative: 2 ** 3 ** 2 is 2 ** 9; the exponent may carry a sign.
  if (++depth_ > kMaxDepth) FailExpr(err::kExprTooComplex, pos, "the expression is nested too deeply");
  NodePtr n = Bounded(MakeBinary(Tok::Power, pos, std::move(base), ParseSign()));
  --depth_;
  return n;
}

NodePtr Parser::ParsePrimary() {
  Token t = tok_;
  switch (t.kind) {
    case Tok::Number: {
      Advance();
      Value v;
      v.number = t.number;
      auto n = std::make_unique<ConstNode>(ExprType::Numeric, t.pos, v);
      n->length = static_cast<uint32_t>(t.text.size());
      size_t dot = t.text.find('.');
      n->decimals = dot == std::string::npos ? 0 : static_cast<uint16_t>(t.text.size() - dot - 1);
      return n;
    }
    case Tok::String: {
      Advance();
      if (t.text.size() > kMaxExprLength) FailExpr(err::kExprTooComplex, t.pos, "string literal longer than 65535 characters");
      Value v;
      v.str = t.text.data();
      v.len = static_cast<uint32_t>(t.text.size());
      // The literal's characters stand right after its opening quote, at byte t.pos.
      if (original_ != nullptr) return std::make_unique<ConstNode>(t.pos, v, original_->Original(t.pos, t.pos + t.text.size()));
      return std::make_unique<ConstNode>(ExprType::String, t.pos, v);
    }
    case Tok::DateLit:
      Advance();
      return DateLiteral(t);
    case Tok::True:
    case Tok::False: {
      Advance();
      Value v;
      v.logical = t.kind == Tok::True;
      auto n = std::make_unique<ConstNode>(ExprType::Logical, t.pos, v);
      n->length = 1;
      return n;
    }
    case Tok::LParen: {
      Advance();
      NodePtr n = ParseOr();
      Expect(Tok::RParen, "')'");
      return n;
    }
    case Tok::Ident: {
      Advance();
      if (tok_.kind == Tok::LParen) return ParseCall(t);
      if (tok_.kind == Tok::Arrow) {
        Advance();
        if (tok_.kind != Tok::Ident) Unexpected("a field name after '->'");
        Token field = tok_;
        Advance();
        return ParseField(field, &t);
      }
      return ParseField(t, nullptr);
    }
    default:
      Unexpected("a value, a field or a function");
  }
}

NodePtr Parser::ParseCall(const Token& name) {
  Advance();  // "("
  if (++depth_ > kMaxDepth) FailExpr(err::kExprTooComplex, name.pos, "the expression is nested too deeply");
  std::string fn = Upper(name.text);
  if (fn == "DTOC" || fn == "CTOD" || fn == "CTOTS" || fn == "TTOC") usesDateFormat_ = true;
  CallArgs call;
  if (tok_.kind != Tok::RParen) {
    if (tok_.kind == Tok::Star) {
      // "*" for "every character field of the table", as CONTAINS(*, 'word') writes it.
      if (fn != "CONTAINS") FailExpr(err::kExprSyntax, tok_.pos, "only CONTAINS accepts * as an argument");
      call.star = true;
      if (schema_) {
        for (size_t i = 0; i < schema_->FieldCount(); ++i) {
          ExprField f = schema_->FieldAt(i);
          if (f.type != ExprType::String) continue;
          bool seen = false;
          for (const std::string& s : fields_) seen = seen || s == f.name;
          if (!seen) fields_.push_back(f.name);
          call.starFields.push_back(std::make_unique<FieldNode>(f, tok_.pos));
        }
      }
      Advance();
      if (tok_.kind != Tok::Comma) Unexpected("','");
      Advance();
    }
    call.args.push_back(ParseOr());
    while (Accept(Tok::Comma)) call.args.push_back(ParseOr());
  }
  Expect(Tok::RParen, "',' or ')'");
  --depth_;
  return Bounded(MakeCall(fn, name.pos, std::move(call), dateLength_));
}

NodePtr Parser::ParseField(const Token& name, const Token* alias) {
  if (!schema_) FailExpr(err::kExprUnknownField, name.pos, "unknown field " + name.text);
  if (alias && !schema_->IsOwnAlias(alias->text))
    FailExpr(err::kExprUnknownField, alias->pos, "unknown alias " + alias->text);
  std::optional<ExprField> f = ResolveField(*schema_, name.text);
  if (!f) {
    const std::string why = schema_->WhyUnreadable(name.text);
    FailExpr(err::kExprUnknownField, name.pos, why.empty() ? "unknown field " + name.text : why);
  }
  bool seen = false;
  for (const std::string& s : fields_) seen = seen || s == f->name;
  if (!seen) fields_.push_back(f->name);
  return std::make_unique<FieldNode>(*f, name.pos);
}

// {} is the empty date; {YYYY-MM-DD} a date and {YYYY-MM-DD HH:MM[:SS]} a timestamp
// ("/" or "." may separate the date's parts, and a leading "^" is allowed).
NodePtr Parser::DateLiteral(const Token& t) {
  std::string_view s = t.text;
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  Value v;
  if (s.empty()) return std::make_unique<ConstNode>(ExprType::Date, t.pos, v);
  if (s.front() == '^') s.remove_prefix(1);
  size_t i = 0;
  int y = 0, m = 0, d = 0;
  auto bad = [&]() { FailExpr(err::kExprSyntax, t.pos, "invalid date literal {" + t.text + "}"); };
  if (!Digits(s, i, 4, y) || i >= s.size() || (s[i] != '-' && s[i] != '/' && s[i] != '.')) bad();
  char sep = s[i++];
  if (!Digits(s, i, 2, m) || i >= s.size() || s[i] != sep) bad();
  ++i;
  if (!Digits(s, i, 2, d)) bad();
  int64_t julian = JulianFromYmd(y, m, d);
  if (julian == 0) bad();
  if (i == s.size()) {
    v.integer = julian;
    auto n = std::make_unique<ConstNode>(ExprType::Date, t.pos, v);
    n->length = 8;
    return n;
  }
  std::optional<int64_t> time = ReadTime(s.substr(i));
  if (!time || s[i] != ' ') bad();
  v.integer = julian * kMsPerDay + *time;
  auto n = std::make_unique<ConstNode>(ExprType::Timestamp, t.pos, v);
  n->length = dateLength_ + 9;
  return n;
}

}  // namespace engine::expr
