#include "engine/expr/parser.h"

#include "engine/core/ascii_case.h"
#include "engine/core/error.h"
#include "engine/expr/builders.h"
#include "engine/expr/field_names.h"

namespace engine {

namespace {

// Nesting the parser follows by recursion: parentheses, calls, signs and NOT.
constexpr int kMaxDepth = 200;
// Height of the tree built (see Node::height): what evaluating and destroying it recurse on.
constexpr uint32_t kMaxHeight = 1000;

std::string upper(std::string_view s) { return engine::AsciiUpperCopy(s); }

const char* describe(const Token& t) {
  switch (t.kind) {
    case Tok::End: return "the end of the expression";
    case Tok::RParen: return "')'";
    case Tok::Comma: return "','";
    case Tok::Semicolon: return "';'";
    default: return nullptr;
  }
}

// Reads digits at s[i..] into v; false when there are none.
bool digits(std::string_view s, size_t& i, int maxDigits, int& v) {
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
  if (std::optional<ExprField> f = schema.findField(name)) return f;
  if (name.size() > 10) return std::nullopt;
  std::vector<std::string> shorts = ShortFieldNames(schema);
  for (size_t i = 0; i < shorts.size(); ++i)
    if (SameName(shorts[i], name)) return schema.fieldAt(i);
  return std::nullopt;
}

Parser::Parser(std::string_view text, const ExprSchema* schema, uint32_t dateLength)
    : text_(text), lexer_(text), schema_(schema), dateLength_(dateLength) {
  advance();
}

void Parser::advance() { tok_ = lexer_.next(); }

bool Parser::accept(Tok k) {
  if (tok_.kind != k) return false;
  advance();
  return true;
}

void Parser::unexpected(const char* wanted) {
  const char* what = describe(tok_);
  std::string found = what ? what : "'" + std::string(text_.substr(tok_.pos - 1, 1)) + "'";
  if (tok_.kind == Tok::Ident || tok_.kind == Tok::Number) found = "'" + tok_.text + "'";
  if (tok_.kind == Tok::String) found = "a string literal";
  FailExpr(err::kExprSyntax, tok_.pos, std::string("expected ") + wanted + ", found " + found);
}

void Parser::expect(Tok k, const char* what) {
  if (!accept(k)) unexpected(what);
}

NodePtr Parser::parseAll() {
  if (tok_.kind == Tok::End) FailExpr(err::kExprSyntax, 1, "the expression is empty");
  NodePtr n = parseOr();
  if (tok_.kind != Tok::End) unexpected("an operator or the end of the expression");
  return n;
}

std::vector<NodePtr> Parser::parseSegments() {
  std::vector<NodePtr> out;
  if (tok_.kind == Tok::End) FailExpr(err::kExprSyntax, 1, "the expression is empty");
  out.push_back(parseOr());
  while (accept(Tok::Semicolon)) out.push_back(parseOr());
  if (tok_.kind != Tok::End) unexpected("an operator, ';' or the end of the expression");
  return out;
}

NodePtr Parser::parseOr() {
  if (++depth_ > kMaxDepth) FailExpr(err::kExprTooComplex, tok_.pos, "the expression is nested too deeply");
  NodePtr l = parseAnd();
  while (tok_.kind == Tok::Or) {
    uint32_t pos = tok_.pos;
    advance();
    l = Bounded(MakeBinary(Tok::Or, pos, std::move(l), parseAnd()));
  }
  --depth_;
  return l;
}

NodePtr Parser::parseAnd() {
  NodePtr l = parseNot();
  while (tok_.kind == Tok::And) {
    uint32_t pos = tok_.pos;
    advance();
    l = Bounded(MakeBinary(Tok::And, pos, std::move(l), parseNot()));
  }
  return l;
}

NodePtr Parser::parseNot() {
  if (tok_.kind == Tok::Not) {
    uint32_t pos = tok_.pos;
    advance();
    if (++depth_ > kMaxDepth) FailExpr(err::kExprTooComplex, pos, "the expression is nested too deeply");
    NodePtr n = Bounded(MakeNot(pos, parseNot()));
    --depth_;
    return n;
  }
  return parseComparison();
}

NodePtr Parser::parseComparison() {
  NodePtr l = parseAdditive();
  for (;;) {
    Tok k = tok_.kind;
    if (k != Tok::Eq && k != Tok::EqEq && k != Tok::Ne && k != Tok::Lt && k != Tok::Le && k != Tok::Gt &&
        k != Tok::Ge && k != Tok::Dollar)
      return l;
    uint32_t pos = tok_.pos;
    advance();
    l = Bounded(MakeBinary(k, pos, std::move(l), parseAdditive()));
  }
}

NodePtr Parser::parseAdditive() {
  NodePtr l = parseMultiplicative();
  while (tok_.kind == Tok::Plus || tok_.kind == Tok::Minus) {
    Tok k = tok_.kind;
    uint32_t pos = tok_.pos;
    advance();
    l = Bounded(MakeBinary(k, pos, std::move(l), parseMultiplicative()));
  }
  return l;
}

NodePtr Parser::parseMultiplicative() {
  NodePtr l = parseSign();
  while (tok_.kind == Tok::Star || tok_.kind == Tok::Slash || tok_.kind == Tok::Percent) {
    Tok k = tok_.kind;
    uint32_t pos = tok_.pos;
    advance();
    l = Bounded(MakeBinary(k, pos, std::move(l), parseSign()));
  }
  return l;
}

NodePtr Parser::parseSign() {
  if (tok_.kind == Tok::Plus || tok_.kind == Tok::Minus) {
    bool minus = tok_.kind == Tok::Minus;
    uint32_t pos = tok_.pos;
    advance();
    if (++depth_ > kMaxDepth) FailExpr(err::kExprTooComplex, pos, "the expression is nested too deeply");
    NodePtr n = Bounded(MakeSign(pos, minus, parseSign()));
    --depth_;
    return n;
  }
  return parsePower();
}

NodePtr Parser::parsePower() {
  NodePtr base = parsePrimary();
  if (tok_.kind != Tok::Power) return base;
  uint32_t pos = tok_.pos;
  advance();
  // Right associative: 2 ** 3 ** 2 is 2 ** 9; the exponent may carry a sign.
  if (++depth_ > kMaxDepth) FailExpr(err::kExprTooComplex, pos, "the expression is nested too deeply");
  NodePtr n = Bounded(MakeBinary(Tok::Power, pos, std::move(base), parseSign()));
  --depth_;
  return n;
}

NodePtr Parser::parsePrimary() {
  Token t = tok_;
  switch (t.kind) {
    case Tok::Number: {
      advance();
      Value v;
      v.number = t.number;
      auto n = std::make_unique<ConstNode>(ExprType::Numeric, t.pos, v);
      n->length = static_cast<uint32_t>(t.text.size());
      size_t dot = t.text.find('.');
      n->decimals = dot == std::string::npos ? 0 : static_cast<uint16_t>(t.text.size() - dot - 1);
      return n;
    }
    case Tok::String: {
      advance();
      if (t.text.size() > kMaxExprLength) FailExpr(err::kExprTooComplex, t.pos, "string literal longer than 65535 characters");
      Value v;
      v.str = t.text.data();
      v.len = static_cast<uint32_t>(t.text.size());
      return std::make_unique<ConstNode>(ExprType::String, t.pos, v);
    }
    case Tok::DateLit:
      advance();
      return dateLiteral(t);
    case Tok::True:
    case Tok::False: {
      advance();
      Value v;
      v.logical = t.kind == Tok::True;
      auto n = std::make_unique<ConstNode>(ExprType::Logical, t.pos, v);
      n->length = 1;
      return n;
    }
    case Tok::LParen: {
      advance();
      NodePtr n = parseOr();
      expect(Tok::RParen, "')'");
      return n;
    }
    case Tok::Ident: {
      advance();
      if (tok_.kind == Tok::LParen) return parseCall(t);
      if (tok_.kind == Tok::Arrow) {
        advance();
        if (tok_.kind != Tok::Ident) unexpected("a field name after '->'");
        Token field = tok_;
        advance();
        return parseField(field, &t);
      }
      return parseField(t, nullptr);
    }
    default:
      unexpected("a value, a field or a function");
  }
}

NodePtr Parser::parseCall(const Token& name) {
  advance();  // "("
  if (++depth_ > kMaxDepth) FailExpr(err::kExprTooComplex, name.pos, "the expression is nested too deeply");
  std::string fn = upper(name.text);
  if (fn == "DTOC" || fn == "CTOD" || fn == "CTOTS" || fn == "TTOC") usesDateFormat_ = true;
  CallArgs call;
  if (tok_.kind != Tok::RParen) {
    if (tok_.kind == Tok::Star) {
      // "*" for "every character field of the table", as CONTAINS(*, 'word') writes it.
      if (fn != "CONTAINS") FailExpr(err::kExprSyntax, tok_.pos, "only CONTAINS accepts * as an argument");
      call.star = true;
      if (schema_) {
        for (size_t i = 0; i < schema_->fieldCount(); ++i) {
          ExprField f = schema_->fieldAt(i);
          if (f.type != ExprType::String) continue;
          bool seen = false;
          for (const std::string& s : fields_) seen = seen || s == f.name;
          if (!seen) fields_.push_back(f.name);
          call.starFields.push_back(std::make_unique<FieldNode>(f, tok_.pos));
        }
      }
      advance();
      if (tok_.kind != Tok::Comma) unexpected("','");
      advance();
    }
    call.args.push_back(parseOr());
    while (accept(Tok::Comma)) call.args.push_back(parseOr());
  }
  expect(Tok::RParen, "',' or ')'");
  --depth_;
  return Bounded(MakeCall(fn, name.pos, std::move(call), dateLength_));
}

NodePtr Parser::parseField(const Token& name, const Token* alias) {
  if (!schema_) FailExpr(err::kExprUnknownField, name.pos, "unknown field " + name.text);
  if (alias && !schema_->isOwnAlias(alias->text))
    FailExpr(err::kExprUnknownField, alias->pos, "unknown alias " + alias->text);
  std::optional<ExprField> f = ResolveField(*schema_, name.text);
  if (!f) FailExpr(err::kExprUnknownField, name.pos, "unknown field " + name.text);
  bool seen = false;
  for (const std::string& s : fields_) seen = seen || s == f->name;
  if (!seen) fields_.push_back(f->name);
  return std::make_unique<FieldNode>(*f, name.pos);
}

// {} is the empty date; {YYYY-MM-DD} a date and {YYYY-MM-DD HH:MM[:SS]} a timestamp
// ("/" or "." may separate the date's parts, and a leading "^" is allowed).
NodePtr Parser::dateLiteral(const Token& t) {
  std::string_view s = t.text;
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  Value v;
  if (s.empty()) return std::make_unique<ConstNode>(ExprType::Date, t.pos, v);
  if (s.front() == '^') s.remove_prefix(1);
  size_t i = 0;
  int y = 0, m = 0, d = 0;
  auto bad = [&]() { FailExpr(err::kExprSyntax, t.pos, "invalid date literal {" + t.text + "}"); };
  if (!digits(s, i, 4, y) || i >= s.size() || (s[i] != '-' && s[i] != '/' && s[i] != '.')) bad();
  char sep = s[i++];
  if (!digits(s, i, 2, m) || i >= s.size() || s[i] != sep) bad();
  ++i;
  if (!digits(s, i, 2, d)) bad();
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

}  // namespace engine
