// The functions of the expression language: their argument checks, static result lengths
// and evaluation. Functions that return part of a character argument (TRIM, SUBSTR, LEFT,
// IIF ...) return a view of it and copy nothing; the others write into their node's buffer.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>

#include "engine/core/error.h"
#include "engine/expr/builders.h"
#include "engine/expr/contains_search.h"
#include "engine/expr/text_ops.h"

namespace engine {

namespace {

using T = ExprType;

bool truthy(const Value& v) { return !v.null && v.logical; }

#define ARG1                     \
  const Value& a = n.arg(0, cx); \
  if (a.null) {                  \
    out.null = true;             \
    return;                      \
  }                              \
  out.null = false

#define ARG2                     \
  const Value& a = n.arg(0, cx); \
  const Value& b = n.arg(1, cx); \
  if (a.null || b.null) {        \
    out.null = true;             \
    return;                      \
  }                              \
  out.null = false

void setText(Value& out, const char* p, size_t len) {
  out.str = p;
  out.len = static_cast<uint32_t>(len);
}

// ---- character functions ----

void fnUpper(FuncNode& n, EvalContext& cx, Value& out) {
  ARG1;
  const unsigned char* map = n.param ? LowerTable() : UpperTable();
  // Locals, so that the character stores cannot be taken to change the source or the length.
  const uint32_t len = a.len;
  const unsigned char* src = reinterpret_cast<const unsigned char*>(a.str);
  char* p = n.buffer(len);
  for (uint32_t i = 0; i < len; ++i) p[i] = static_cast<char>(map[src[i]]);
  setText(out, p, len);
}
void fnRTrim(FuncNode& n, EvalContext& cx, Value& out) {
  ARG1;
  std::string_view s = TrimRight(a.text());
  setText(out, s.data(), s.size());
}
void fnLTrim(FuncNode& n, EvalContext& cx, Value& out) {
  ARG1;
  std::string_view s = TrimLeft(a.text());
  setText(out, s.data(), s.size());
}
void fnAllTrim(FuncNode& n, EvalContext& cx, Value& out) {
  ARG1;
  std::string_view s = TrimLeft(TrimRight(a.text()));
  setText(out, s.data(), s.size());
}

// 1-based start; 0 means 1, a negative start counts from the end.
size_t startIndex(double start, size_t len) {
  int64_t s = static_cast<int64_t>(start);
  if (s < 0) s = static_cast<int64_t>(len) + s + 1;
  if (s < 1) s = 1;
  return static_cast<size_t>(s - 1);
}
size_t countOf(double c) { return c <= 0 ? 0 : c > 4294967295.0 ? 4294967295u : static_cast<size_t>(c); }

void fnSubstr(FuncNode& n, EvalContext& cx, Value& out) {
  ARG2;
  size_t from = startIndex(b.number, a.len);
  size_t take = a.len > from ? a.len - from : 0;
  if (n.kids.size() > 2) {
    const Value& c = n.arg(2, cx);
    if (c.null) {
      out.null = true;
      return;
    }
    take = std::min(take, countOf(c.number));
  }
  setText(out, a.str + std::min<size_t>(from, a.len), take);
}
void fnLeft(FuncNode& n, EvalContext& cx, Value& out) {
  ARG2;
  setText(out, a.str, std::min<size_t>(a.len, countOf(b.number)));
}
void fnRight(FuncNode& n, EvalContext& cx, Value& out) {
  ARG2;
  size_t take = std::min<size_t>(a.len, countOf(b.number));
  setText(out, a.str + a.len - take, take);
}
void fnLen(FuncNode& n, EvalContext& cx, Value& out) {
  ARG1;
  out.number = a.len;
}
void fnAt(FuncNode& n, EvalContext& cx, Value& out) {
  ARG2;
  if (a.len == 0) {
    out.number = 0;
    return;
  }
  size_t p = b.text().find(a.text());
  out.number = p == std::string_view::npos ? 0 : static_cast<double>(p + 1);
}
void fnChr(FuncNode& n, EvalContext& cx, Value& out) {
  ARG1;
  char* p = n.buffer(1);
  p[0] = static_cast<char>(static_cast<int64_t>(a.number) & 0xFF);
  setText(out, p, 1);
}
void fnAsc(FuncNode& n, EvalContext& cx, Value& out) {
  ARG1;
  out.number = a.len ? static_cast<unsigned char>(a.str[0]) : 0;
}
// SPACE(n) and REPLICATE(s, n): the count was fixed at compile time (param).
void fnSpace(FuncNode& n, EvalContext&, Value& out) {
  out.null = false;
  char* p = n.buffer(static_cast<size_t>(n.param));
  std::memset(p, ' ', static_cast<size_t>(n.param));
  setText(out, p, static_cast<size_t>(n.param));
}
void fnReplicate(FuncNode& n, EvalContext& cx, Value& out) {
  ARG1;
  size_t total = a.len * static_cast<size_t>(n.param);
  char* p = n.buffer(total);
  for (int64_t i = 0; i < n.param; ++i) std::memcpy(p + i * a.len, a.str, a.len);
  setText(out, p, total);
}
// PADL, PADR, PADC: param is the length, kids[2] (when present) the fill character.
void pad(FuncNode& n, EvalContext& cx, Value& out, int where) {
  ARG1;
  char fill = ' ';
  if (n.kids.size() > 2) {
    const Value& f = n.arg(2, cx);
    if (!f.null && f.len) fill = f.str[0];
  }
  size_t len = static_cast<size_t>(n.param);
  char* p = n.buffer(len);
  std::string_view s = a.text();
  if (s.size() >= len) {
    // Too long: PADL keeps the right end, the others the left.
    std::memcpy(p, where == 0 ? s.data() + s.size() - len : s.data(), len);
  } else {
    size_t gap = len - s.size();
    size_t before = where == 0 ? gap : where == 1 ? 0 : gap / 2;
    std::memset(p, fill, len);
    std::memcpy(p + before, s.data(), s.size());
  }
  setText(out, p, len);
}
void fnPadL(FuncNode& n, EvalContext& cx, Value& out) { pad(n, cx, out, 0); }
void fnPadR(FuncNode& n, EvalContext& cx, Value& out) { pad(n, cx, out, 1); }
void fnPadC(FuncNode& n, EvalContext& cx, Value& out) { pad(n, cx, out, 2); }

// ---- numbers as text ----

double roundHalfAway(double v, int dec) {
  double scale = std::pow(10.0, dec);
  double r = std::round(v * scale) / scale;
  return std::isfinite(r) ? r : v;
}

// STR(n, len, dec) and STRZERO: right-aligned in len characters, asterisks when too wide.
// param packs len * 256 + dec; bit 1 << 40 asks for leading zeros.
void formatNumber(FuncNode& n, EvalContext& cx, Value& out) {
  ARG1;
  int len = static_cast<int>((n.param >> 8) & 0xFFFF);
  int dec = static_cast<int>(n.param & 0xFF);
  bool zeros = (n.param >> 40) & 1;
  char* p = n.buffer(static_cast<size_t>(len) + 1);
  double v = roundHalfAway(a.number, dec);
  if (v == 0) v = 0;  // no "-0"
  char tmp[400];
  int w = std::isfinite(v) ? std::snprintf(tmp, sizeof tmp, "%.*f", dec, v) : -1;
  if (w < 0 || w > len) {
    std::memset(p, '*', static_cast<size_t>(len));
  } else {
    int gap = len - w;
    if (zeros) {
      bool neg = tmp[0] == '-';
      size_t at = 0;
      if (neg) p[at++] = '-';
      std::memset(p + at, '0', static_cast<size_t>(gap));
      std::memcpy(p + at + gap, tmp + (neg ? 1 : 0), static_cast<size_t>(w - (neg ? 1 : 0)));
    } else {
      std::memset(p, ' ', static_cast<size_t>(gap));
      std::memcpy(p + gap, tmp, static_cast<size_t>(w));
    }
  }
  setText(out, p, static_cast<size_t>(len));
}
void fnVal(FuncNode& n, EvalContext& cx, Value& out) {
  ARG1;
  // The longest leading number of the text; 0 when there is none.
  char tmp[80];
  size_t i = 0, k = 0;
  std::string_view s = a.text();
  while (i < s.size() && s[i] == ' ') ++i;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) tmp[k++] = s[i++];
  bool digits = false;
  while (i < s.size() && k < 70 && ((s[i] >= '0' && s[i] <= '9') || s[i] == '.')) {
    if (s[i] == '.' && std::memchr(tmp, '.', k)) break;
    digits = digits || s[i] != '.';
    tmp[k++] = s[i++];
  }
  tmp[k] = '\0';
  out.number = digits ? std::strtod(tmp, nullptr) : 0;
}

// ---- dates and times ----

void fnDtos(FuncNode& n, EvalContext& cx, Value& out) {
  ARG1;
  char* p = n.buffer(8);
  int64_t julian = n.kids[0]->type == T::Timestamp ? a.integer / kMsPerDay : a.integer;
  if (julian <= 0) {
    std::memset(p, ' ', 8);
  } else {
    int y, m, d;
    YmdFromJulian(julian, y, m, d);
    std::snprintf(p, 9, "%04d%02d%02d", y, m, d);
  }
  setText(out, p, 8);
}
void fnStod(FuncNode& n, EvalContext& cx, Value& out) {
  ARG1;
  std::string_view s = TrimRight(a.text());
  out.integer = 0;
  if (s.size() != 8) return;
  int v[3] = {0, 0, 0};
  int widths[3] = {4, 2, 2};
  size_t at = 0;
  for (int k = 0; k < 3; ++k)
    for (int j = 0; j < widths[k]; ++j, ++at) {
      if (s[at] < '0' || s[at] > '9') return;
      v[k] = v[k] * 10 + (s[at] - '0');
    }
  out.integer = JulianFromYmd(v[0], v[1], v[2]);
}
void fnDtoc(FuncNode& n, EvalContext& cx, Value& out) {
  ARG1;
  const DateFormat& f = *cx.dateFormat;
  char* p = n.buffer(f.length());
  int64_t julian = n.kids[0]->type == T::Timestamp ? a.integer / kMsPerDay : a.integer;
  setText(out, p, f.write(julian, p));
}
void fnCtod(FuncNode& n, EvalContext& cx, Value& out) {
  ARG1;
  out.integer = cx.dateFormat->read(a.text(), cx.epoch);
}
void fnCtot(FuncNode& n, EvalContext& cx, Value& out) {
  ARG1;
  std::optional<int64_t> t = ReadTime(a.text());
  // An unreadable time has no value (midnight is a real time, so there is no empty one).
  out.null = !t;
  out.integer = t.value_or(0);
}
// The date part in the connection's format, then the time: "MM/DD/YYYY HH:MM:SS".
void fnCtots(FuncNode& n, EvalContext& cx, Value& out) {
  ARG1;
  std::string_view s = TrimLeft(TrimRight(a.text()));
  out.integer = 0;
  if (s.empty()) return;
  size_t split = s.find(' ');
  int64_t julian = cx.dateFormat->read(s.substr(0, split), cx.epoch);
  if (julian == 0) return;
  int64_t ms = 0;
  if (split != std::string_view::npos) {
    std::optional<int64_t> t = ReadTime(s.substr(split + 1));
    if (!t) return;
    ms = *t;
  }
  out.integer = julian * kMsPerDay + ms;
}
void fnTtoc(FuncNode& n, EvalContext& cx, Value& out) {
  ARG1;
  if (n.kids[0]->type == T::Time) {
    char* p = n.buffer(8);
    WriteTime(a.integer, p);
    setText(out, p, 8);
    return;
  }
  const DateFormat& f = *cx.dateFormat;
  char* p = n.buffer(f.length() + 9);
  uint32_t w;
  if (a.integer <= 0) {
    w = f.write(0, p);
    std::memcpy(p + w, "   :  :  ", 9);
  } else {
    w = f.write(a.integer / kMsPerDay, p);
    p[w] = ' ';
    WriteTime(a.integer % kMsPerDay, p + w + 1);
  }
  setText(out, p, w + 9);
}
void datePart(FuncNode& n, EvalContext& cx, Value& out) {
  ARG1;
  int64_t julian = n.kids[0]->type == T::Timestamp ? a.integer / kMsPerDay : a.integer;
  if (julian <= 0) {
    out.number = 0;
    return;
  }
  int y, m, d;
  YmdFromJulian(julian, y, m, d);
  out.number = n.param == 0 ? y : n.param == 1 ? m : n.param == 2 ? d : static_cast<double>((julian + 1) % 7 + 1);
}
void fnToday(FuncNode&, EvalContext& cx, Value& out) {
  out.null = false;
  out.integer = cx.nowMs() / kMsPerDay;
}
void fnNow(FuncNode&, EvalContext& cx, Value& out) {
  out.null = false;
  out.integer = cx.nowMs();
}
void fnTime(FuncNode& n, EvalContext& cx, Value& out) {
  out.null = false;
  char* p = n.buffer(8);
  WriteTime(cx.nowMs() % kMsPerDay, p);
  setText(out, p, 8);
}

// ---- numbers ----

void fnAbs(FuncNode& n, EvalContext& cx, Value& out) {
  ARG1;
  out.number = std::fabs(a.number);
}
void fnInt(FuncNode& n, EvalContext& cx, Value& out) {
  ARG1;
  out.number = std::trunc(a.number);
}
void fnRound(FuncNode& n, EvalContext& cx, Value& out) {
  ARG2;
  out.number = roundHalfAway(a.number, static_cast<int>(std::max(-20.0, std::min(20.0, b.number))));
}
void fnMod(FuncNode& n, EvalContext& cx, Value& out) {
  ARG2;
  if (b.number == 0) {
    out.null = true;
    return;
  }
  // The sign of the divisor, as xBase MOD gives it.
  double r = std::fmod(a.number, b.number);
  if (r != 0 && ((r < 0) != (b.number < 0))) r += b.number;
  out.number = r;
}
int compareValues(T type, const Value& a, const Value& b) {
  switch (type) {
    case T::String: return CompareFull(a.text(), b.text());
    case T::Numeric: return a.number < b.number ? -1 : a.number > b.number ? 1 : 0;
    default: return a.integer < b.integer ? -1 : a.integer > b.integer ? 1 : 0;
  }
}
void fnMaxMin(FuncNode& n, EvalContext& cx, Value& out) {
  ARG2;
  int c = compareValues(n.type, a, b);
  out = (n.param ? c <= 0 : c >= 0) ? a : b;
}

// ---- logic and the record ----

void fnIif(FuncNode& n, EvalContext& cx, Value& out) {
  bool c = truthy(n.arg(0, cx));
  n.kids[c ? 1 : 2]->eval(cx, out);
}
void fnEmpty(FuncNode& n, EvalContext& cx, Value& out) {
  const Value& a = n.arg(0, cx);
  bool empty = a.null;
  if (!empty) switch (n.kids[0]->type) {
      case T::String: empty = TrimRight(a.text()).empty(); break;
      case T::Numeric: empty = a.number == 0; break;
      case T::Logical: empty = !a.logical; break;
      case T::Time: empty = false; break;
      default: empty = a.integer == 0;
    }
  out.null = false;
  out.logical = empty;
}
void fnIsNull(FuncNode& n, EvalContext& cx, Value& out) {
  out.null = false;
  out.logical = n.arg(0, cx).null;
}
void fnDeleted(FuncNode&, EvalContext& cx, Value& out) {
  out.null = false;
  out.logical = cx.record && cx.record->isDeleted();
}
void fnRecno(FuncNode&, EvalContext& cx, Value& out) {
  out.null = false;
  out.number = cx.record ? cx.record->recordNumber() : 0;
}

// CONTAINS: kids[0] is the condition, the others the texts searched.
void fnContains(FuncNode& n, EvalContext& cx, Value& out) {
  out.null = false;
  const ContainsCondition* cond = static_cast<const ContainsCondition*>(n.extra.get());
  std::unique_ptr<ContainsCondition> parsed;
  if (!cond) {
    // A condition computed per record; one that does not parse matches nothing.
    const Value& c = n.arg(0, cx);
    std::string error;
    size_t at = 0;
    if (!c.null) parsed = ContainsCondition::Parse(c.text(), error, at);
    if (!parsed) {
      out.logical = false;
      return;
    }
    cond = parsed.get();
  }
  // Kept in the node so that a search over many records allocates once; per node, because a
  // searched text may itself hold a CONTAINS (IIF(CONTAINS(...), ...)) evaluated meanwhile.
  std::vector<std::string_view>& texts = n.views;
  texts.clear();
  for (size_t i = 1; i < n.kids.size(); ++i) {
    const Value& v = n.arg(i, cx);
    if (!v.null) texts.push_back(v.text());
  }
  out.logical = cond->matches(texts.data(), texts.size());
}

// ---- the table of functions ----

struct Call {
  const std::string& name;
  uint32_t pos;
  std::vector<NodePtr>& args;
  CallArgs& raw;
  uint32_t dateLength;
};

void need(const Call& c, size_t i, T type) {
  if (c.args[i]->type != type) FailType(*c.args[i], "argument " + std::to_string(i + 1) + " of " + c.name, type);
}
void needOneOf(const Call& c, size_t i, std::initializer_list<T> types) {
  for (T t : types)
    if (c.args[i]->type == t) return;
  std::string list;
  size_t k = 0;
  for (T t : types) list += std::string(k++ == 0 ? "" : k == types.size() ? " or " : ", ") + ExprTypeName(t);
  FailExpr(err::kExprTypeMismatch, c.args[i]->pos,
           "argument " + std::to_string(i + 1) + " of " + c.name + " must be " + list + ", not " +
               ExprTypeName(c.args[i]->type));
}
std::optional<double> constNumber(const Node& n) {
  if (!n.isConstant() || n.type != T::Numeric) return std::nullopt;
  const Value& v = static_cast<const ConstNode&>(n).value();
  if (v.null) return std::nullopt;
  return v.number;
}
// A length argument: a constant from 0 to kMaxExprLength.
uint32_t constLength(const Call& c, size_t i, const char* what) {
  need(c, i, T::Numeric);
  std::optional<double> v = constNumber(*c.args[i]);
  if (!v)
    FailExpr(err::kExprNotConstant, c.args[i]->pos, std::string("the ") + what + " of " + c.name + " must be a constant");
  if (*v < 0 || *v > kMaxExprLength)
    FailExpr(err::kExprTooComplex, c.args[i]->pos, std::string("the ") + what + " of " + c.name + " must be 0 to 65535");
  return static_cast<uint32_t>(*v);
}

NodePtr node(const Call& c, T type, FuncImpl impl, uint32_t length = 0, int64_t param = 0) {
  auto n = std::make_unique<FuncNode>(type, c.pos, impl, std::move(c.args));
  n->length = length;
  n->param = param;
  if (type == T::Logical) n->length = 1;
  if (type == T::Date) n->length = 8;
  return n;
}
NodePtr impure(NodePtr n) {
  n->pure = false;
  return n;
}
NodePtr readsClock(NodePtr n) {
  n->pure = false;
  n->clock = true;
  return n;
}

using Builder = NodePtr (*)(Call& c);

NodePtr bUpper(Call& c) {
  need(c, 0, T::String);
  return node(c, T::String, fnUpper, c.args[0]->length, c.name == "LOWER" ? 1 : 0);
}
NodePtr bTrim(Call& c) {
  need(c, 0, T::String);
  FuncImpl f = c.name == "LTRIM" ? fnLTrim : c.name == "ALLTRIM" ? fnAllTrim : fnRTrim;
  return node(c, T::String, f, c.args[0]->length);
}
NodePtr bSubstr(Call& c) {
  need(c, 0, T::String);
  need(c, 1, T::Numeric);
  uint32_t len = c.args[0]->length;
  std::optional<double> start = constNumber(*c.args[1]);
  if (start && *start > 1) len = *start - 1 >= len ? 0 : len - static_cast<uint32_t>(*start - 1);
  if (c.args.size() > 2) {
    need(c, 2, T::Numeric);
    if (std::optional<double> count = constNumber(*c.args[2])) len = std::min<double>(len, std::max(0.0, *count));
  }
  return node(c, T::String, fnSubstr, len);
}
NodePtr bLeftRight(Call& c) {
  need(c, 0, T::String);
  need(c, 1, T::Numeric);
  uint32_t len = c.args[0]->length;
  if (std::optional<double> count = constNumber(*c.args[1])) len = std::min<double>(len, std::max(0.0, *count));
  return node(c, T::String, c.name == "LEFT" ? fnLeft : fnRight, len);
}
NodePtr bLen(Call& c) {
  need(c, 0, T::String);
  return node(c, T::Numeric, fnLen, 5);
}
NodePtr bAt(Call& c) {
  need(c, 0, T::String);
  need(c, 1, T::String);
  return node(c, T::Numeric, fnAt, 5);
}
NodePtr bChr(Call& c) {
  need(c, 0, T::Numeric);
  return node(c, T::String, fnChr, 1);
}
NodePtr bAsc(Call& c) {
  need(c, 0, T::String);
  return node(c, T::Numeric, fnAsc, 3);
}
NodePtr bSpace(Call& c) {
  uint32_t len = constLength(c, 0, "length");
  return node(c, T::String, fnSpace, len, len);
}
NodePtr bReplicate(Call& c) {
  need(c, 0, T::String);
  uint32_t count = constLength(c, 1, "count");
  uint64_t len = uint64_t{c.args[0]->length} * count;
  if (len > kMaxExprLength) FailExpr(err::kExprTooComplex, c.pos, "result longer than 65535 characters");
  // The count was folded into the node; the argument stays only to keep positions.
  return node(c, T::String, fnReplicate, static_cast<uint32_t>(len), count);
}
NodePtr bPad(Call& c) {
  need(c, 0, T::String);
  uint32_t len = constLength(c, 1, "length");
  if (c.args.size() > 2) need(c, 2, T::String);
  FuncImpl f = c.name == "PADL" ? fnPadL : c.name == "PADC" ? fnPadC : fnPadR;
  return node(c, T::String, f, len, len);
}
NodePtr bStr(Call& c) {
  need(c, 0, T::Numeric);
  bool zero = c.name == "STRZERO";
  uint32_t len = 10, dec = 0;
  if (c.args.size() > 1) len = constLength(c, 1, "length");
  if (c.args.size() > 2) dec = constLength(c, 2, "decimals");
  if (len < 1 || len > 255) FailExpr(err::kExprTooComplex, c.args[1]->pos, "the length of " + c.name + " must be 1 to 255");
  if (dec > 15) FailExpr(err::kExprTooComplex, c.args[2]->pos, "the decimals of " + c.name + " must be 0 to 15");
  return node(c, T::String, formatNumber, len, (int64_t{zero} << 40) | (int64_t{len} << 8) | dec);
}
NodePtr bVal(Call& c) {
  need(c, 0, T::String);
  return node(c, T::Numeric, fnVal, 10);
}
NodePtr bDtos(Call& c) {
  needOneOf(c, 0, {T::Date, T::Timestamp});
  return node(c, T::String, fnDtos, 8);
}
NodePtr bStod(Call& c) {
  need(c, 0, T::String);
  return node(c, T::Date, fnStod);
}
NodePtr bDtoc(Call& c) {
  needOneOf(c, 0, {T::Date, T::Timestamp});
  return impure(node(c, T::String, fnDtoc, c.dateLength));
}
NodePtr bCtod(Call& c) {
  need(c, 0, T::String);
  return impure(node(c, T::Date, fnCtod));
}
NodePtr bCtot(Call& c) {
  need(c, 0, T::String);
  return node(c, T::Time, fnCtot, 8);
}
NodePtr bCtots(Call& c) {
  need(c, 0, T::String);
  return impure(node(c, T::Timestamp, fnCtots, c.dateLength + 9));
}
NodePtr bTtoc(Call& c) {
  needOneOf(c, 0, {T::Timestamp, T::Time});
  bool time = c.args[0]->type == T::Time;
  return impure(node(c, T::String, fnTtoc, time ? 8 : c.dateLength + 9));
}
NodePtr bDatePart(Call& c) {
  needOneOf(c, 0, {T::Date, T::Timestamp});
  int64_t part = c.name == "YEAR" ? 0 : c.name == "MONTH" ? 1 : c.name == "DAY" ? 2 : 3;
  return node(c, T::Numeric, datePart, part == 0 ? 4 : 2, part);
}
NodePtr bToday(Call& c) { return readsClock(node(c, T::Date, fnToday)); }
NodePtr bNow(Call& c) { return readsClock(node(c, T::Timestamp, fnNow, c.dateLength + 9)); }
NodePtr bTime(Call& c) { return readsClock(node(c, T::String, fnTime, 8)); }
NodePtr bAbsInt(Call& c) {
  need(c, 0, T::Numeric);
  uint32_t len = c.args[0]->length;
  return node(c, T::Numeric, c.name == "ABS" ? fnAbs : fnInt, len);
}
NodePtr bRound(Call& c) {
  need(c, 0, T::Numeric);
  need(c, 1, T::Numeric);
  uint32_t len = c.args[0]->length;
  return node(c, T::Numeric, fnRound, len);
}
NodePtr bMod(Call& c) {
  need(c, 0, T::Numeric);
  need(c, 1, T::Numeric);
  uint32_t len = c.args[0]->length;
  return node(c, T::Numeric, fnMod, len);
}
NodePtr bMaxMin(Call& c) {
  needOneOf(c, 0, {T::Numeric, T::String, T::Date, T::Timestamp, T::Time});
  if (c.args[1]->type != c.args[0]->type) FailType(*c.args[1], "argument 2 of " + c.name, c.args[0]->type);
  T type = c.args[0]->type;
  uint32_t len = std::max(c.args[0]->length, c.args[1]->length);
  return node(c, type, fnMaxMin, len, c.name == "MIN" ? 1 : 0);
}
NodePtr bIif(Call& c) {
  need(c, 0, T::Logical);
  if (c.args[2]->type != c.args[1]->type) FailType(*c.args[2], "argument 3 of IIF", c.args[1]->type);
  T type = c.args[1]->type;
  uint32_t len = std::max(c.args[1]->length, c.args[2]->length);
  uint16_t dec = std::max(c.args[1]->decimals, c.args[2]->decimals);
  NodePtr n = node(c, type, fnIif, len);
  n->decimals = dec;
  return n;
}
NodePtr bEmpty(Call& c) { return node(c, T::Logical, fnEmpty); }
NodePtr bIsNull(Call& c) { return node(c, T::Logical, fnIsNull); }
NodePtr bDeleted(Call& c) { return impure(node(c, T::Logical, fnDeleted)); }
NodePtr bRecno(Call& c) { return impure(node(c, T::Numeric, fnRecno, 10)); }
NodePtr bContains(Call& c) {
  std::vector<NodePtr> kids;
  if (c.raw.star) {
    need(c, 0, T::String);  // args[0] is the condition when the fields were written as "*"
    kids.push_back(std::move(c.args[0]));
    for (NodePtr& f : c.raw.starFields) kids.push_back(std::move(f));
  } else {
    need(c, 0, T::String);
    need(c, 1, T::String);
    kids.push_back(std::move(c.args[1]));
    kids.push_back(std::move(c.args[0]));
  }
  std::shared_ptr<ContainsCondition> cond;
  const Node& condNode = *kids[0];
  if (condNode.isConstant()) {
    const Value& v = static_cast<const ConstNode&>(condNode).value();
    std::string error;
    size_t at = 0;
    std::unique_ptr<ContainsCondition> parsed = ContainsCondition::Parse(v.null ? "" : v.text(), error, at);
    // The literal's text starts one character after its opening quote.
    if (!parsed) FailExpr(err::kExprSyntax, condNode.pos + 1 + static_cast<uint32_t>(at), error);
    cond = std::move(parsed);
  }
  auto n = std::make_unique<FuncNode>(T::Logical, c.pos, fnContains, std::move(kids));
  n->length = 1;
  n->extra = cond;
  return n;
}

struct FnInfo {
  int minArgs, maxArgs;
  Builder build;
};

const std::map<std::string, FnInfo>& functionTable() {
  static const std::map<std::string, FnInfo> table = {
      {"UPPER", {1, 1, bUpper}},       {"LOWER", {1, 1, bUpper}},       {"TRIM", {1, 1, bTrim}},
      {"RTRIM", {1, 1, bTrim}},        {"LTRIM", {1, 1, bTrim}},        {"ALLTRIM", {1, 1, bTrim}},
      {"SUBSTR", {2, 3, bSubstr}},     {"LEFT", {2, 2, bLeftRight}},    {"RIGHT", {2, 2, bLeftRight}},
      {"LEN", {1, 1, bLen}},           {"AT", {2, 2, bAt}},             {"CHR", {1, 1, bChr}},
      {"ASC", {1, 1, bAsc}},           {"SPACE", {1, 1, bSpace}},       {"REPLICATE", {2, 2, bReplicate}},
      {"PADL", {2, 3, bPad}},          {"PADR", {2, 3, bPad}},          {"PADC", {2, 3, bPad}},
      {"STR", {1, 3, bStr}},           {"STRZERO", {1, 3, bStr}},       {"VAL", {1, 1, bVal}},
      {"DTOS", {1, 1, bDtos}},         {"STOD", {1, 1, bStod}},         {"DTOC", {1, 1, bDtoc}},
      {"CTOD", {1, 1, bCtod}},         {"CTOT", {1, 1, bCtot}},         {"CTOTS", {1, 1, bCtots}},
      {"TTOC", {1, 1, bTtoc}},         {"YEAR", {1, 1, bDatePart}},     {"MONTH", {1, 1, bDatePart}},
      {"DAY", {1, 1, bDatePart}},      {"DOW", {1, 1, bDatePart}},      {"DATE", {0, 0, bToday}},
      {"TODAY", {0, 0, bToday}},       {"NOW", {0, 0, bNow}},           {"TIME", {0, 0, bTime}},
      {"ABS", {1, 1, bAbsInt}},        {"INT", {1, 1, bAbsInt}},        {"ROUND", {2, 2, bRound}},
      {"MOD", {2, 2, bMod}},           {"MAX", {2, 2, bMaxMin}},        {"MIN", {2, 2, bMaxMin}},
      {"IIF", {3, 3, bIif}},           {"EMPTY", {1, 1, bEmpty}},       {"ISNULL", {1, 1, bIsNull}},
      {"DELETED", {0, 0, bDeleted}},   {"RECNO", {0, 0, bRecno}},       {"CONTAINS", {2, 2, bContains}},
  };
  return table;
}

std::string plural(int n) { return std::to_string(n) + (n == 1 ? " argument" : " arguments"); }

}  // namespace

NodePtr MakeCall(const std::string& name, uint32_t pos, CallArgs call, uint32_t dateLength) {
  const auto& table = functionTable();
  auto it = table.find(name);
  if (it == table.end()) FailExpr(err::kExprUnknownFunction, pos, "unknown function " + name);
  const FnInfo& info = it->second;
  if (call.star && name != "CONTAINS")
    FailExpr(err::kExprSyntax, pos, "only CONTAINS accepts * as an argument");
  int given = static_cast<int>(call.args.size()) + (call.star ? 1 : 0);
  if (given < info.minArgs || given > info.maxArgs) {
    std::string takes = info.minArgs == info.maxArgs ? plural(info.minArgs)
                                                     : std::to_string(info.minArgs) + " to " + plural(info.maxArgs);
    FailExpr(err::kExprArgumentCount, pos, name + " takes " + takes + ", not " + std::to_string(given));
  }
  Call c{name, pos, call.args, call, dateLength};
  NodePtr n = info.build(c);
  return Fold(std::move(n));
}

}  // namespace engine
