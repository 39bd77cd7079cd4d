// The operators of the expression language: arithmetic, concatenation, comparison and logic.
#include <cmath>
#include <cstring>

#include "engine/core/error.h"
#include "engine/expr/builders.h"
#include "engine/expr/text_ops.h"

namespace engine::expr {

namespace {

enum CmpOp : int64_t { kEq, kEqEq, kNe, kLt, kLe, kGt, kGe };

bool Truthy(const Value& v) { return !v.null && v.logical; }

#define TWO_ARGS                        \
  const Value& a = n.Arg(0, cx);        \
  const Value& b = n.Arg(1, cx);        \
  if (a.null || b.null) {               \
    out.null = true;                    \
    return;                             \
  }                                     \
  out.null = false

void AddNum(FuncNode& n, EvalContext& cx, Value& out) { TWO_ARGS; out.number = a.number + b.number; }
void SubNum(FuncNode& n, EvalContext& cx, Value& out) { TWO_ARGS; out.number = a.number - b.number; }
void MulNum(FuncNode& n, EvalContext& cx, Value& out) { TWO_ARGS; out.number = a.number * b.number; }
void DivNum(FuncNode& n, EvalContext& cx, Value& out) {
  TWO_ARGS;
  // A division by zero has no value; it gives null rather than stopping a scan or rebuild.
  if (b.number == 0) {
    out.null = true;
    return;
  }
  out.number = a.number / b.number;
}
void ModNum(FuncNode& n, EvalContext& cx, Value& out) {
  TWO_ARGS;
  if (b.number == 0) {
    out.null = true;
    return;
  }
  out.number = std::fmod(a.number, b.number);
}
void PowNum(FuncNode& n, EvalContext& cx, Value& out) {
  TWO_ARGS;
  out.number = std::pow(a.number, b.number);
  if (std::isnan(out.number)) out.null = true;
}

// Date and timestamp arithmetic: days are added; an empty date stays empty.
void AddDays(FuncNode& n, EvalContext& cx, Value& out) {
  TWO_ARGS;
  bool dateFirst = n.kids[0]->type != ExprType::Numeric;
  const Value& d = dateFirst ? a : b;
  double days = dateFirst ? b.number : a.number;
  if (d.integer == 0) {
    out.integer = 0;
    return;
  }
  if (n.param < 0) days = -days;
  if (n.type == ExprType::Date)
    out.integer = d.integer + static_cast<int64_t>(std::trunc(days));
  else
    out.integer = d.integer + static_cast<int64_t>(std::llround(days * kMsPerDay));
}
void DiffDays(FuncNode& n, EvalContext& cx, Value& out) {
  TWO_ARGS;
  if (a.integer == 0 || b.integer == 0) {
    out.null = true;
    return;
  }
  double d = static_cast<double>(a.integer - b.integer);
  out.number = n.kids[0]->type == ExprType::Timestamp ? d / kMsPerDay : d;
}

void Concat(FuncNode& n, EvalContext& cx, Value& out) {
  TWO_ARGS;
  char* p = n.Buffer(a.len + b.len);
  if (a.len) std::memcpy(p, a.str, a.len);
  if (b.len) std::memcpy(p + a.len, b.str, b.len);
  out.str = p;
  out.len = a.len + b.len;
}
// "-" between strings: the left side's trailing blanks move to the end of the result.
void ConcatTrim(FuncNode& n, EvalContext& cx, Value& out) {
  TWO_ARGS;
  uint32_t keep = static_cast<uint32_t>(TrimRight(a.text()).size());
  uint32_t total = a.len + b.len;
  char* p = n.Buffer(total);
  if (keep) std::memcpy(p, a.str, keep);
  if (b.len) std::memcpy(p + keep, b.str, b.len);
  std::memset(p + keep + b.len, ' ', a.len - keep);
  out.str = p;
  out.len = total;
}

// The UTF-16 forms of "+" and "-" between strings, for national operands.
bool ConcatWide(FuncNode& n, EvalContext& cx, std::u16string_view* out) {
  std::u16string_view a, b;
  if (!n.ArgWide(0, cx, &a) || !n.ArgWide(1, cx, &b)) return false;
  n.wideBuf.assign(a);
  n.wideBuf.append(b);
  *out = n.wideBuf;
  return true;
}
bool ConcatTrimWide(FuncNode& n, EvalContext& cx, std::u16string_view* out) {
  std::u16string_view a, b;
  if (!n.ArgWide(0, cx, &a) || !n.ArgWide(1, cx, &b)) return false;
  std::u16string_view kept = TrimRight(a);
  n.wideBuf.assign(kept);
  n.wideBuf.append(b);
  n.wideBuf.append(a.size() - kept.size(), u' ');
  *out = n.wideBuf;
  return true;
}

bool Decide(int64_t op, int c) {
  switch (op) {
    case kEq:
    case kEqEq: return c == 0;
    case kNe: return c != 0;
    case kLt: return c < 0;
    case kLe: return c <= 0;
    case kGt: return c > 0;
    default: return c >= 0;
  }
}

// Comparisons treat a null operand as the empty value of its type, as a blank field
// compares; ISNULL tells the two apart.
void CmpString(FuncNode& n, EvalContext& cx, Value& out) {
  const Value& a = n.Arg(0, cx);
  const Value& b = n.Arg(1, cx);
  std::string_view x = a.null ? std::string_view() : a.text();
  std::string_view y = b.null ? std::string_view() : b.text();
  bool full = n.param == kEqEq || cx.exact;
  out.null = false;
  out.logical = Decide(n.param, full ? CompareFull(x, y) : ComparePrefix(x, y));
}
// The same over UTF-16 text, when a side may hold characters the ANSI code page cannot.
void CmpWide(FuncNode& n, EvalContext& cx, Value& out) {
  std::u16string_view x, y;
  if (!n.ArgWide(0, cx, &x)) x = {};
  if (!n.ArgWide(1, cx, &y)) y = {};
  bool full = n.param == kEqEq || cx.exact;
  out.null = false;
  out.logical = Decide(n.param, full ? CompareFull(x, y) : ComparePrefix(x, y));
}
void CmpNumber(FuncNode& n, EvalContext& cx, Value& out) {
  const Value& a = n.Arg(0, cx);
  const Value& b = n.Arg(1, cx);
  double x = a.null ? 0 : a.number, y = b.null ? 0 : b.number;
  out.null = false;
  out.logical = Decide(n.param, x < y ? -1 : x > y ? 1 : 0);
}
void CmpInteger(FuncNode& n, EvalContext& cx, Value& out) {
  const Value& a = n.Arg(0, cx);
  const Value& b = n.Arg(1, cx);
  int64_t x = a.null ? 0 : a.integer, y = b.null ? 0 : b.integer;
  // A date meets a timestamp at the date's midnight.
  if (n.kids[0]->type == ExprType::Date && n.kids[1]->type == ExprType::Timestamp) x *= kMsPerDay;
  if (n.kids[0]->type == ExprType::Timestamp && n.kids[1]->type == ExprType::Date) y *= kMsPerDay;
  out.null = false;
  out.logical = Decide(n.param, x < y ? -1 : x > y ? 1 : 0);
}
void CmpLogical(FuncNode& n, EvalContext& cx, Value& out) {
  int x = Truthy(n.Arg(0, cx)) ? 1 : 0;
  int y = Truthy(n.Arg(1, cx)) ? 1 : 0;
  out.null = false;
  out.logical = Decide(n.param, x - y);
}
void Contained(FuncNode& n, EvalContext& cx, Value& out) {
  const Value& a = n.Arg(0, cx);
  const Value& b = n.Arg(1, cx);
  out.null = false;
  out.logical = !a.null && !b.null && b.text().find(a.text()) != std::string_view::npos;
}

void ContainedWide(FuncNode& n, EvalContext& cx, Value& out) {
  std::u16string_view a, b;
  out.null = false;
  out.logical = n.ArgWide(0, cx, &a) && n.ArgWide(1, cx, &b) && b.find(a) != std::u16string_view::npos;
}

void LogicalAnd(FuncNode& n, EvalContext& cx, Value& out) {
  out.null = false;
  out.logical = Truthy(n.Arg(0, cx)) && Truthy(n.Arg(1, cx));
}
void LogicalOr(FuncNode& n, EvalContext& cx, Value& out) {
  out.null = false;
  out.logical = Truthy(n.Arg(0, cx)) || Truthy(n.Arg(1, cx));
}
void LogicalNot(FuncNode& n, EvalContext& cx, Value& out) {
  out.null = false;
  out.logical = !Truthy(n.Arg(0, cx));
}
void Negate(FuncNode& n, EvalContext& cx, Value& out) {
  const Value& a = n.Arg(0, cx);
  out.null = a.null;
  out.number = -a.number;
}

const char* OpText(Tok op) {
  switch (op) {
    case Tok::Plus: return "+";
    case Tok::Minus: return "-";
    case Tok::Star: return "*";
    case Tok::Slash: return "/";
    case Tok::Percent: return "%";
    case Tok::Power: return "**";
    case Tok::Eq: return "=";
    case Tok::EqEq: return "==";
    case Tok::Ne: return "<>";
    case Tok::Lt: return "<";
    case Tok::Le: return "<=";
    case Tok::Gt: return ">";
    case Tok::Ge: return ">=";
    case Tok::Dollar: return "$";
    case Tok::And: return ".AND.";
    case Tok::Or: return ".OR.";
    default: return "?";
  }
}

[[noreturn]] void FailCombine(Tok op, uint32_t pos, const Node& l, const Node& r) {
  FailExpr(err::kExprTypeMismatch, pos,
           std::string("operator ") + OpText(op) + " cannot combine " + ExprTypeName(l.type) + " and " +
               ExprTypeName(r.type));
}

NodePtr Make(ExprType type, uint32_t pos, FuncImpl impl, NodePtr l, NodePtr r, int64_t param = 0) {
  std::vector<NodePtr> kids;
  kids.push_back(std::move(l));
  if (r) kids.push_back(std::move(r));
  auto n = std::make_unique<FuncNode>(type, pos, impl, std::move(kids));
  n->param = param;
  return n;
}

bool IsDateLike(ExprType t) { return t == ExprType::Date || t == ExprType::Timestamp; }

}  // namespace

void FailType(const Node& node, const std::string& what, ExprType wanted) {
  FailExpr(err::kExprTypeMismatch, node.pos,
           what + " must be " + ExprTypeName(wanted) + ", not " + ExprTypeName(node.type));
}

NodePtr MakeBinary(Tok op, uint32_t pos, NodePtr l, NodePtr r) {
  ExprType lt = l->type, rt = r->type;
  NodePtr n;
  switch (op) {
    case Tok::Plus:
    case Tok::Minus:
      if (lt == ExprType::Numeric && rt == ExprType::Numeric) {
        n = Make(ExprType::Numeric, pos, op == Tok::Plus ? AddNum : SubNum, std::move(l), std::move(r));
      } else if (lt == ExprType::String && rt == ExprType::String) {
        uint32_t len = l->length + r->length;
        if (len > kMaxExprLength) FailExpr(err::kExprTooComplex, pos, "result longer than 65535 characters");
        const bool national = l->national || r->national;
        n = Make(ExprType::String, pos, op == Tok::Plus ? Concat : ConcatTrim, std::move(l), std::move(r));
        n->length = len;
        if (national) static_cast<FuncNode&>(*n).SetWide(op == Tok::Plus ? ConcatWide : ConcatTrimWide);
      } else if (IsDateLike(lt) && rt == ExprType::Numeric) {
        n = Make(lt, pos, AddDays, std::move(l), std::move(r), op == Tok::Plus ? 1 : -1);
      } else if (op == Tok::Plus && lt == ExprType::Numeric && IsDateLike(rt)) {
        n = Make(rt, pos, AddDays, std::move(l), std::move(r), 1);
      } else if (op == Tok::Minus && IsDateLike(lt) && lt == rt) {
        n = Make(ExprType::Numeric, pos, DiffDays, std::move(l), std::move(r));
      } else {
        FailCombine(op, pos, *l, *r);
      }
      break;
    case Tok::Star:
    case Tok::Slash:
    case Tok::Percent:
    case Tok::Power: {
      if (lt != ExprType::Numeric || rt != ExprType::Numeric) FailCombine(op, pos, *l, *r);
      FuncImpl f = op == Tok::Star ? MulNum : op == Tok::Slash ? DivNum : op == Tok::Percent ? ModNum : PowNum;
      n = Make(ExprType::Numeric, pos, f, std::move(l), std::move(r));
      break;
    }
    case Tok::Eq:
    case Tok::EqEq:
    case Tok::Ne:
    case Tok::Lt:
    case Tok::Le:
    case Tok::Gt:
    case Tok::Ge: {
      CmpOp c = op == Tok::Eq ? kEq : op == Tok::EqEq ? kEqEq : op == Tok::Ne ? kNe : op == Tok::Lt ? kLt
              : op == Tok::Le ? kLe : op == Tok::Gt ? kGt : kGe;
      FuncImpl f = nullptr;
      if (lt == ExprType::String && rt == ExprType::String) f = l->national || r->national ? CmpWide : CmpString;
      else if (lt == ExprType::Numeric && rt == ExprType::Numeric) f = CmpNumber;
      else if (lt == ExprType::Logical && rt == ExprType::Logical) f = CmpLogical;
      else if ((IsDateLike(lt) && IsDateLike(rt)) || (lt == ExprType::Time && rt == ExprType::Time)) f = CmpInteger;
      else FailCombine(op, pos, *l, *r);
      n = Make(ExprType::Logical, pos, f, std::move(l), std::move(r), c);
      // Character comparisons other than "==" follow the exact setting of the evaluation.
      if ((f == CmpString || f == CmpWide) && c != kEqEq) n->pure = false;
      break;
    }
    case Tok::Dollar:
      if (lt != ExprType::String || rt != ExprType::String) FailCombine(op, pos, *l, *r);
      {
        FuncImpl f = l->national || r->national ? ContainedWide : Contained;  // before l and r move
        n = Make(ExprType::Logical, pos, f, std::move(l), std::move(r));
      }
      break;
    case Tok::And:
    case Tok::Or:
      if (lt != ExprType::Logical) FailType(*l, std::string("the left operand of ") + OpText(op), ExprType::Logical);
      if (rt != ExprType::Logical) FailType(*r, std::string("the right operand of ") + OpText(op), ExprType::Logical);
      n = Make(ExprType::Logical, pos, op == Tok::And ? LogicalAnd : LogicalOr, std::move(l), std::move(r));
      break;
    default:
      FailExpr(err::kExprSyntax, pos, "unexpected operator");
  }
  if (n->type == ExprType::Logical) n->length = 1;
  if (n->type == ExprType::Date) n->length = 8;
  return Fold(std::move(n));
}

NodePtr MakeNot(uint32_t pos, NodePtr operand) {
  if (operand->type != ExprType::Logical) FailType(*operand, "the operand of .NOT.", ExprType::Logical);
  NodePtr n = Make(ExprType::Logical, pos, LogicalNot, std::move(operand), nullptr);
  n->length = 1;
  return Fold(std::move(n));
}

NodePtr MakeSign(uint32_t pos, bool minus, NodePtr operand) {
  if (operand->type != ExprType::Numeric) FailType(*operand, "the operand of a sign", ExprType::Numeric);
  if (!minus) return operand;
  uint32_t len = operand->length + 1;
  uint16_t dec = operand->decimals;
  NodePtr n = Make(ExprType::Numeric, pos, Negate, std::move(operand), nullptr);
  n->length = len;
  n->decimals = dec;
  return Fold(std::move(n));
}

NodePtr Fold(NodePtr node) {
  auto* f = dynamic_cast<FuncNode*>(node.get());
  if (!f || !f->pure) return node;
  for (const NodePtr& k : f->kids)
    if (!k->IsConstant()) return node;
  EvalContext cx;
  Value v;
  f->Eval(cx, v);
  std::u16string_view wide;
  auto c = f->national && !v.null && f->EvalWide(cx, &wide) ? std::make_unique<ConstNode>(f->pos, v, wide)
                                                             : std::make_unique<ConstNode>(f->type, f->pos, v);
  c->length = f->length;
  c->decimals = f->decimals;
  return c;
}

}  // namespace engine::expr
