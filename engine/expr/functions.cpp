// The functions of the expression language: their argument checks, static result lengths
// and evaluation. Functions that return part of a character argument (TRIM, SUBSTR, LEFT,
// IIF ...) return a view of it and copy nothing; the others write into their node's buffer.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>

#include <unicode/uchar.h>

#include "engine/core/error.h"
#include "engine/expr/builders.h"
#include "engine/expr/contains_search.h"
#include "engine/expr/text_ops.h"

namespace engine::expr {

namespace {

using T = ExprType;

bool Truthy(const Value& v) { return !v.null && v.logical; }

#define ARG1                     \
  const Value& a = n.Arg(0, cx); \
  if (a.null) {                  \
    out.null = true;             \
    return;                      \
  }                              \
  out.null = false

#define ARG2                     \
  const Value& a = n.Arg(0, cx); \
  const Value& b = n.Arg(1, cx); \
  if (a.null || b.null) {        \
    out.null = true;             \
    return;                      \
  }                              \
  out.null = false

void SetText(Value& out, const char* p, size_t len) {
  out.str = p;
  out.len = static_cast<uint32_t>(len);
}

// ---- character functions ----

void EvalUpper(FuncNode& n, EvalContext& cx, Value& out) {
  ARG1;
  const unsigned char* map = n.param ? LowerTable() : UpperTable();
  // Locals, so that the character stores cannot be taken to change the source or the length.
  const uint32_t len = a.len;
  const unsigned char* src = reinterpret_cast<const unsigned char*>(a.str);
  char* p = n.Buffer(len);
  for (uint32_t i = 0; i < len; ++i) p[i] = static_cast<char>(map[src[i]]);
  SetText(out, p, len);
}
void EvalRTrim(FuncNode& n, EvalContext& cx, Value& out) {
  ARG1;
  std::string_view s = TrimRight(a.text());
  SetText(out, s.data(), s.size());
}
void EvalLTrim(FuncNode& n, EvalContext& cx, Value& out) {
  ARG1;
  std::string_view s = TrimLeft(a.text());
  SetText(out, s.data(), s.size());
}
void EvalAllTrim(FuncNode& n, EvalContext& cx, Value& out) {
  ARG1;
  std::string_view s = TrimLeft(TrimRight(a.text()));
  SetText(out, s.data(), s.size());
}

// The UTF-16 forms of the functions above, for national arguments (see Node::national).
bool WideUpper(FuncNode& n, EvalContext& cx, std::u16string_view* out) {
  std::u16string_view a;
  if (!n.ArgWide(0, cx, &a)) return false;
  n.wideBuf.assign(a);
  // Character by character, as the 8-bit form maps: a letter whose other case lies outside
  // the basic plane keeps its case.
  for (char16_t& c : n.wideBuf) {
    if (c >= 0xD800 && c < 0xE000) continue;
    UChar32 m = n.param ? u_tolower(c) : u_toupper(c);
    if (m <= 0xFFFF) c = static_cast<char16_t>(m);
  }
  *out = n.wideBuf;
  return true;
}
bool WideRTrim(FuncNode& n, EvalContext& cx, std::u16string_view* out) {
  if (!n.ArgWide(0, cx, out)) return false;
  *out = TrimRight(*out);
  return true;
}
bool WideLTrim(FuncNode& n, EvalContext& cx, std::u16string_view* out) {
  if (!n.ArgWide(0, cx, out)) return false;
  *out = TrimLeft(*out);
  return true;
}
bool WideAllTrim(FuncNode& n, EvalContext& cx, std::u16string_view* out) {
  if (!n.ArgWide(0, cx, out)) return false;
  *out = TrimLeft(TrimRight(*out));
  return true;
}

// 1-based start; 0 means 1, a negative start counts from the end.
size_t StartIndex(double start, size_t len) {
  int64_t s = static_cast<int64_t>(start);
  if (s < 0) s = static_cast<int64_t>(len) + s + 1;
  if (s < 1) s = 1;
  return static_cast<size_t>(s - 1);
}
size_t CountOf(double c) { return c <= 0 ? 0 : c > 4294967295.0 ? 4294967295u : static_cast<size_t>(c); }

void EvalSubstr(FuncNode& n, EvalContext& cx, Value& out) {
  ARG2;
  size_t from = StartIndex(b.number, a.len);
  size_t take = a.len > from ? a.len - from : 0;
  if (n.kids.size() > 2) {
    const Value& c = n.Arg(2, cx);
    if (c.null) {
      out.null = true;
      return;
    }
    take = std::min(take, CountOf(c.number));
  }
  SetText(out, a.str + std::min<size_t>(from, a.len), take);
}
void EvalLeft(FuncNode& n, EvalContext& cx, Value& out) {
  ARG2;
  SetText(out, a.str, std::min<size_t>(a.len, CountOf(b.number)));
}
void EvalRight(FuncNode& n, EvalContext& cx, Value& out) {
  ARG2;
  size_t take = std::min<size_t>(a.len, CountOf(b.number));
  SetText(out, a.str + a.len - take, take);
}
void EvalLen(FuncNode& n, EvalContext& cx, Value& out) {
  ARG1;
  out.number = a.len;
}
void EvalAt(FuncNode& n, EvalContext& cx, Value& out) {
  ARG2;
  if (a.len == 0) {
    out.number = 0;
    return;
  }
  size_t p = b.text().find(a.text());
  out.number = p == std::string_view::npos ? 0 : static_cast<double>(p + 1);
}
void EvalChr(FuncNode& n, EvalContext& cx, Value& out) {
  ARG1;
  char* p = n.Buffer(1);
  p[0] = static_cast<char>(static_cast<int64_t>(a.number) & 0xFF);
  SetText(out, p, 1);
}
void EvalAsc(FuncNode& n, EvalContext& cx, Value& out) {
  ARG1;
  out.number = a.len ? static_cast<unsigned char>(a.str[0]) : 0;
}
// SPACE(n) and REPLICATE(s, n): the count was fixed at compile time (param).
void EvalSpace(FuncNode& n, EvalContext&, Value& out) {
  out.null = false;
  char* p = n.Buffer(static_cast<size_t>(n.param));
  std::memset(p, ' ', static_cast<size_t>(n.param));
  SetText(out, p, static_cast<size_t>(n.param));
}
void EvalReplicate(FuncNode& n, EvalContext& cx, Value& out) {
  ARG1;
  size_t total = a.len * static_cast<size_t>(n.param);
  char* p = n.Buffer(total);
  for (int64_t i = 0; i < n.param; ++i) std::memcpy(p + i * a.len, a.str, a.len);
  SetText(out, p, total);
}
// PADL, PADR, PADC: param is the length, kids[2] (when present) the fill character.
void Pad(FuncNode& n, EvalContext& cx, Value& out, int where) {
  ARG1;
  char fill = ' ';
  if (n.kids.size() > 2) {
    const Value& f = n.Arg(2, cx);
    if (!f.null && f.len) fill = f.str[0];
  }
  size_t len = static_cast<size_t>(n.param);
  char* p = n.Buffer(len);
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
  SetText(out, p, len);
}
void EvalPadL(FuncNode& n, EvalContext& cx, Value& out) { Pad(n, cx, out, 0); }
void EvalPadR(FuncNode& n, EvalContext& cx, Value& out) { Pad(n, cx, out, 1); }
void EvalPadC(FuncNode& n, EvalContext& cx, Value& out) { Pad(n, cx, out, 2); }

// ---- numbers as text ----

double RoundHalfAway(double v, int dec) {
  double scale = std::pow(10.0, dec);
  double r = std::round(v * scale) / scale;
  return std::isfinite(r) ? r : v;
}

// STR(n, len, dec) and STRZERO: right-aligned in len characters, asterisks when too wide.
// param packs len * 256 + dec; bit 1 << 40 asks for leading zeros.
void FormatNumber(FuncNode& n, EvalContext& cx, Value& out) {
  ARG1;
  int len = static_cast<int>((n.param >> 8) & 0xFFFF);
  int dec = static_cast<int>(n.param & 0xFF);
  bool zeros = (n.param >> 40) & 1;
  char* p = n.Buffer(static_cast<size_t>(len) + 1);
  double v = RoundHalfAway(a.number, dec);
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
  SetText(out, p, static_cast<size_t>(len));
}
void EvalVal(FuncNode& n, EvalContext& cx, Value& out) {
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

void EvalDtos(FuncNode& n, EvalContext& cx, Value& out) {
  ARG1;
  char* p = n.Buffer(8);
  int64_t julian = n.kids[0]->type == T::Timestamp ? a.integer / kMsPerDay : a.integer;
  if (julian <= 0) {
    std::memset(p, ' ', 8);
  } else {
    int y, m, d;
    YmdFromJulian(julian, y, m, d);
    std::snprintf(p, 9, "%04d%02d%02d", y, m, d);
  }
  SetText(out, p, 8);
}
void EvalStod(FuncNode& n, EvalContext& cx, Value& out) {
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
void EvalDtoc(FuncNode& n, EvalContext& cx, Value& out) {
  ARG1;
  const DateFormat& f = *cx.dateFormat;
  char* p = n.Buffer(f.length());
  int64_t julian = n.kids[0]->type == T::Timestamp ? a.integer / kMsPerDay : a.integer;
  SetText(out, p, f.Write(julian, p));
}
void EvalCtod(FuncNode& n, EvalContext& cx, Value& out) {
  ARG1;
  out.integer = cx.dateFormat->Read(a.text(), cx.epoch);
}
void EvalCtot(FuncNode& n, EvalContext& cx, Value& out) {
  ARG1;
  std::optional<int64_t> t = ReadTime(a.text());
  // An unreadable time has no value (midnight is a real time, so there is no empty one).
  out.null = !t;
  out.integer = t.value_or(0);
}
// The date part in the connection's format, then the time: "MM/DD/YYYY HH:MM:SS".
void EvalCtots(FuncNode& n, EvalContext& cx, Value& out) {
  ARG1;
  std::string_view s = TrimLeft(TrimRight(a.text()));
  out.integer = 0;
  if (s.empty()) return;
  size_t split = s.find(' ');
  int64_t julian = cx.dateFormat->Read(s.substr(0, split), cx.epoch);
  if (julian == 0) return;
  int64_t ms = 0;
  if (split != std::string_view::npos) {
    std::optional<int64_t> t = ReadTime(s.substr(split + 1));
    if (!t) return;
    ms = *t;
  }
  out.integer = julian * kMsPerDay + ms;
}
void EvalTtoc(FuncNode& n, EvalContext& cx, Value& out) {
  ARG1;
  if (n.kids[0]->type == T::Time) {
    char* p = n.Buffer(8);
    WriteTime(a.integer, p);
    SetText(out, p, 8);
    return;
  }
  const DateFormat& f = *cx.dateFormat;
  char* p = n.Buffer(f.length() + 9);
  uint32_t w;
  if (a.integer <= 0) {
    w = f.Write(0, p);
    std::memcpy(p + w, "   :  :  ", 9);
  } else {
    w = f.Write(a.integer / kMsPerDay, p);
    p[w] = ' ';
    WriteTime(a.integer % kMsPerDay, p + w + 1);
  }
  SetText(out, p, w + 9);
}
void DatePart(FuncNode& n, EvalContext& cx, Value& out) {
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
void EvalToday(FuncNode&, EvalContext& cx, Value& out) {
  out.null = false;
  out.integer = cx.NowMs() / kMsPerDay;
}
void EvalNow(FuncNode&, EvalContext& cx, Value& out) {
  out.null = false;
  out.integer = cx.NowMs();
}
void EvalTime(FuncNode& n, EvalContext& cx, Value& out) {
  out.null = false;
  char* p = n.Buffer(8);
  WriteTime(cx.NowMs() % kMsPerDay, p);
  SetText(out, p, 8);
}

// ---- numbers ----

void EvalAbs(FuncNode& n, EvalContext& cx, Value& out) {
  ARG1;
  out.number = std::fabs(a.number);
}
void EvalInt(FuncNode& n, EvalContext& cx, Value& out) {
  ARG1;
  out.number = std::trunc(a.number);
}
void EvalRound(FuncNode& n, EvalContext& cx, Value& out) {
  ARG2;
  out.number = RoundHalfAway(a.number, static_cast<int>(std::max(-20.0, std::min(20.0, b.number))));
}
void EvalMod(FuncNode& n, EvalContext& cx, Value& out) {
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
int CompareValues(T type, const Value& a, const Value& b) {
  switch (type) {
    case T::String: return CompareFull(a.text(), b.text());
    case T::Numeric: return a.number < b.number ? -1 : a.number > b.number ? 1 : 0;
    default: return a.integer < b.integer ? -1 : a.integer > b.integer ? 1 : 0;
  }
}
void EvalMaxMin(FuncNode& n, EvalContext& cx, Value& out) {
  ARG2;
  int c = CompareValues(n.type, a, b);
  out = (n.param ? c <= 0 : c >= 0) ? a : b;
}

// ---- logic and the record ----

void EvalIif(FuncNode& n, EvalContext& cx, Value& out) {
  bool c = Truthy(n.Arg(0, cx));
  n.kids[c ? 1 : 2]->Eval(cx, out);
}
void EvalEmpty(FuncNode& n, EvalContext& cx, Value& out) {
  const Value& a = n.Arg(0, cx);
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
void EvalIsNull(FuncNode& n, EvalContext& cx, Value& out) {
  out.null = false;
  out.logical = n.Arg(0, cx).null;
}
void EvalDeleted(FuncNode&, EvalContext& cx, Value& out) {
  out.null = false;
  out.logical = cx.record && cx.record->IsDeleted();
}
void EvalRecno(FuncNode&, EvalContext& cx, Value& out) {
  out.null = false;
  out.number = cx.record ? cx.record->RecordNumber() : 0;
}

// CONTAINS: kids[0] is the condition, the others the texts searched.
void EvalContains(FuncNode& n, EvalContext& cx, Value& out) {
  out.null = false;
  const ContainsCondition* cond = static_cast<const ContainsCondition*>(n.extra.get());
  std::unique_ptr<ContainsCondition> parsed;
  if (!cond) {
    // A condition computed per record; one that does not parse matches nothing.
    const Value& c = n.Arg(0, cx);
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
    const Value& v = n.Arg(i, cx);
    if (!v.null) texts.push_back(v.text());
  }
  out.logical = cond->Matches(texts.data(), texts.size());
}

// ---- the table of functions ----

struct Call {
  const std::string& name;
  uint32_t pos;
  std::vector<NodePtr>& args;
  CallArgs& raw;
  uint32_t dateLength;
};

void Need(const Call& c, size_t i, T type) {
  if (c.args[i]->type != type) FailType(*c.args[i], "argument " + std::to_string(i + 1) + " of " + c.name, type);
}
void NeedOneOf(const Call& c, size_t i, std::initializer_list<T> types) {
  for (T t : types)
    if (c.args[i]->type == t) return;
  std::string list;
  size_t k = 0;
  for (T t : types) list += std::string(k++ == 0 ? "" : k == types.size() ? " or " : ", ") + ExprTypeName(t);
  FailExpr(err::kExprTypeMismatch, c.args[i]->pos,
           "argument " + std::to_string(i + 1) + " of " + c.name + " must be " + list + ", not " +
               ExprTypeName(c.args[i]->type));
}
std::optional<double> ConstNumber(const Node& n) {
  if (!n.IsConstant() || n.type != T::Numeric) return std::nullopt;
  const Value& v = static_cast<const ConstNode&>(n).value();
  if (v.null) return std::nullopt;
  return v.number;
}
// A length argument: a constant from 0 to kMaxExprLength.
uint32_t ConstLength(const Call& c, size_t i, const char* what) {
  Need(c, i, T::Numeric);
  std::optional<double> v = ConstNumber(*c.args[i]);
  if (!v)
    FailExpr(err::kExprNotConstant, c.args[i]->pos, std::string("the ") + what + " of " + c.name + " must be a constant");
  if (*v < 0 || *v > kMaxExprLength)
    FailExpr(err::kExprTooComplex, c.args[i]->pos, std::string("the ") + what + " of " + c.name + " must be 0 to 65535");
  return static_cast<uint32_t>(*v);
}

NodePtr MakeNode(const Call& c, T type, FuncImpl impl, uint32_t length = 0, int64_t param = 0) {
  auto n = std::make_unique<FuncNode>(type, c.pos, impl, std::move(c.args));
  n->length = length;
  n->param = param;
  if (type == T::Logical) n->length = 1;
  if (type == T::Date) n->length = 8;
  return n;
}
NodePtr Impure(NodePtr n) {
  n->pure = false;
  return n;
}
NodePtr ReadsClock(NodePtr n) {
  n->pure = false;
  n->clock = true;
  return n;
}

using Builder = NodePtr (*)(Call& c);

// A node over one character argument that keeps the argument's national characters.
NodePtr KeepsNational(NodePtr n, WideFuncImpl wide) {
  auto& f = static_cast<FuncNode&>(*n);
  if (f.kids[0]->national) f.SetWide(wide);
  return n;
}
NodePtr BuildUpper(Call& c) {
  Need(c, 0, T::String);
  return KeepsNational(MakeNode(c, T::String, EvalUpper, c.args[0]->length, c.name == "LOWER" ? 1 : 0), WideUpper);
}
NodePtr BuildTrim(Call& c) {
  Need(c, 0, T::String);
  const bool left = c.name == "LTRIM", both = c.name == "ALLTRIM";
  return KeepsNational(MakeNode(c, T::String, left ? EvalLTrim : both ? EvalAllTrim : EvalRTrim, c.args[0]->length),
                       left ? WideLTrim : both ? WideAllTrim : WideRTrim);
}
NodePtr BuildSubstr(Call& c) {
  Need(c, 0, T::String);
  Need(c, 1, T::Numeric);
  uint32_t len = c.args[0]->length;
  std::optional<double> start = ConstNumber(*c.args[1]);
  if (start && *start > 1) len = *start - 1 >= len ? 0 : len - static_cast<uint32_t>(*start - 1);
  if (c.args.size() > 2) {
    Need(c, 2, T::Numeric);
    if (std::optional<double> count = ConstNumber(*c.args[2])) len = std::min<double>(len, std::max(0.0, *count));
  }
  return MakeNode(c, T::String, EvalSubstr, len);
}
NodePtr BuildLeftRight(Call& c) {
  Need(c, 0, T::String);
  Need(c, 1, T::Numeric);
  uint32_t len = c.args[0]->length;
  if (std::optional<double> count = ConstNumber(*c.args[1])) len = std::min<double>(len, std::max(0.0, *count));
  return MakeNode(c, T::String, c.name == "LEFT" ? EvalLeft : EvalRight, len);
}
NodePtr BuildLen(Call& c) {
  Need(c, 0, T::String);
  return MakeNode(c, T::Numeric, EvalLen, 5);
}
NodePtr BuildAt(Call& c) {
  Need(c, 0, T::String);
  Need(c, 1, T::String);
  return MakeNode(c, T::Numeric, EvalAt, 5);
}
NodePtr BuildChr(Call& c) {
  Need(c, 0, T::Numeric);
  return MakeNode(c, T::String, EvalChr, 1);
}
NodePtr BuildAsc(Call& c) {
  Need(c, 0, T::String);
  return MakeNode(c, T::Numeric, EvalAsc, 3);
}
NodePtr BuildSpace(Call& c) {
  uint32_t len = ConstLength(c, 0, "length");
  return MakeNode(c, T::String, EvalSpace, len, len);
}
NodePtr BuildReplicate(Call& c) {
  Need(c, 0, T::String);
  uint32_t count = ConstLength(c, 1, "count");
  uint64_t len = uint64_t{c.args[0]->length} * count;
  if (len > kMaxExprLength) FailExpr(err::kExprTooComplex, c.pos, "result longer than 65535 characters");
  // The count was folded into the node; the argument stays only to keep positions.
  return MakeNode(c, T::String, EvalReplicate, static_cast<uint32_t>(len), count);
}
NodePtr BuildPad(Call& c) {
  Need(c, 0, T::String);
  uint32_t len = ConstLength(c, 1, "length");
  if (c.args.size() > 2) Need(c, 2, T::String);
  FuncImpl f = c.name == "PADL" ? EvalPadL : c.name == "PADC" ? EvalPadC : EvalPadR;
  return MakeNode(c, T::String, f, len, len);
}
NodePtr BuildStr(Call& c) {
  Need(c, 0, T::Numeric);
  bool zero = c.name == "STRZERO";
  uint32_t len = 10, dec = 0;
  if (c.args.size() > 1) len = ConstLength(c, 1, "length");
  if (c.args.size() > 2) dec = ConstLength(c, 2, "decimals");
  if (len < 1 || len > 255) FailExpr(err::kExprTooComplex, c.args[1]->pos, "the length of " + c.name + " must be 1 to 255");
  if (dec > 15) FailExpr(err::kExprTooComplex, c.args[2]->pos, "the decimals of " + c.name + " must be 0 to 15");
  return MakeNode(c, T::String, FormatNumber, len, (int64_t{zero} << 40) | (int64_t{len} << 8) | dec);
}
NodePtr BuildVal(Call& c) {
  Need(c, 0, T::String);
  return MakeNode(c, T::Numeric, EvalVal, 10);
}
NodePtr BuildDtos(Call& c) {
  NeedOneOf(c, 0, {T::Date, T::Timestamp});
  return MakeNode(c, T::String, EvalDtos, 8);
}
NodePtr BuildStod(Call& c) {
  Need(c, 0, T::String);
  return MakeNode(c, T::Date, EvalStod);
}
NodePtr BuildDtoc(Call& c) {
  NeedOneOf(c, 0, {T::Date, T::Timestamp});
  return Impure(MakeNode(c, T::String, EvalDtoc, c.dateLength));
}
NodePtr BuildCtod(Call& c) {
  Need(c, 0, T::String);
  return Impure(MakeNode(c, T::Date, EvalCtod));
}
NodePtr BuildCtot(Call& c) {
  Need(c, 0, T::String);
  return MakeNode(c, T::Time, EvalCtot, 8);
}
NodePtr BuildCtots(Call& c) {
  Need(c, 0, T::String);
  return Impure(MakeNode(c, T::Timestamp, EvalCtots, c.dateLength + 9));
}
NodePtr BuildTtoc(Call& c) {
  NeedOneOf(c, 0, {T::Timestamp, T::Time});
  bool time = c.args[0]->type == T::Time;
  return Impure(MakeNode(c, T::String, EvalTtoc, time ? 8 : c.dateLength + 9));
}
NodePtr BuildDatePart(Call& c) {
  NeedOneOf(c, 0, {T::Date, T::Timestamp});
  int64_t part = c.name == "YEAR" ? 0 : c.name == "MONTH" ? 1 : c.name == "DAY" ? 2 : 3;
  return MakeNode(c, T::Numeric, DatePart, part == 0 ? 4 : 2, part);
}
NodePtr BuildToday(Call& c) { return ReadsClock(MakeNode(c, T::Date, EvalToday)); }
NodePtr BuildNow(Call& c) { return ReadsClock(MakeNode(c, T::Timestamp, EvalNow, c.dateLength + 9)); }
NodePtr BuildTime(Call& c) { return ReadsClock(MakeNode(c, T::String, EvalTime, 8)); }
NodePtr BuildAbsInt(Call& c) {
  Need(c, 0, T::Numeric);
  uint32_t len = c.args[0]->length;
  return MakeNode(c, T::Numeric, c.name == "ABS" ? EvalAbs : EvalInt, len);
}
NodePtr BuildRound(Call& c) {
  Need(c, 0, T::Numeric);
  Need(c, 1, T::Numeric);
  uint32_t len = c.args[0]->length;
  return MakeNode(c, T::Numeric, EvalRound, len);
}
NodePtr BuildMod(Call& c) {
  Need(c, 0, T::Numeric);
  Need(c, 1, T::Numeric);
  uint32_t len = c.args[0]->length;
  return MakeNode(c, T::Numeric, EvalMod, len);
}
NodePtr BuildMaxMin(Call& c) {
  NeedOneOf(c, 0, {T::Numeric, T::String, T::Date, T::Timestamp, T::Time});
  if (c.args[1]->type != c.args[0]->type) FailType(*c.args[1], "argument 2 of " + c.name, c.args[0]->type);
  T type = c.args[0]->type;
  uint32_t len = std::max(c.args[0]->length, c.args[1]->length);
  return MakeNode(c, type, EvalMaxMin, len, c.name == "MIN" ? 1 : 0);
}
NodePtr BuildIif(Call& c) {
  Need(c, 0, T::Logical);
  if (c.args[2]->type != c.args[1]->type) FailType(*c.args[2], "argument 3 of IIF", c.args[1]->type);
  T type = c.args[1]->type;
  uint32_t len = std::max(c.args[1]->length, c.args[2]->length);
  uint16_t dec = std::max(c.args[1]->decimals, c.args[2]->decimals);
  NodePtr n = MakeNode(c, type, EvalIif, len);
  n->decimals = dec;
  return n;
}
NodePtr BuildEmpty(Call& c) { return MakeNode(c, T::Logical, EvalEmpty); }
NodePtr BuildIsNull(Call& c) { return MakeNode(c, T::Logical, EvalIsNull); }
NodePtr BuildDeleted(Call& c) { return Impure(MakeNode(c, T::Logical, EvalDeleted)); }
NodePtr BuildRecno(Call& c) { return Impure(MakeNode(c, T::Numeric, EvalRecno, 10)); }
NodePtr BuildContains(Call& c) {
  std::vector<NodePtr> kids;
  if (c.raw.star) {
    Need(c, 0, T::String);  // args[0] is the condition when the fields were written as "*"
    kids.push_back(std::move(c.args[0]));
    for (NodePtr& f : c.raw.starFields) kids.push_back(std::move(f));
  } else {
    Need(c, 0, T::String);
    Need(c, 1, T::String);
    kids.push_back(std::move(c.args[1]));
    kids.push_back(std::move(c.args[0]));
  }
  std::shared_ptr<ContainsCondition> cond;
  const Node& condNode = *kids[0];
  if (condNode.IsConstant()) {
    const Value& v = static_cast<const ConstNode&>(condNode).value();
    std::string error;
    size_t at = 0;
    std::unique_ptr<ContainsCondition> parsed = ContainsCondition::Parse(v.null ? "" : v.text(), error, at);
    // The literal's text starts one character after its opening quote.
    if (!parsed) FailExpr(err::kExprSyntax, condNode.pos + 1 + static_cast<uint32_t>(at), error);
    cond = std::move(parsed);
  }
  auto n = std::make_unique<FuncNode>(T::Logical, c.pos, EvalContains, std::move(kids));
  n->length = 1;
  n->extra = cond;
  return n;
}

struct FnInfo {
  int minArgs, maxArgs;
  Builder build;
};

const std::map<std::string, FnInfo>& FunctionTable() {
  static const std::map<std::string, FnInfo> table = {
      {"UPPER", {1, 1, BuildUpper}},       {"LOWER", {1, 1, BuildUpper}},       {"TRIM", {1, 1, BuildTrim}},
      {"RTRIM", {1, 1, BuildTrim}},        {"LTRIM", {1, 1, BuildTrim}},        {"ALLTRIM", {1, 1, BuildTrim}},
      {"SUBSTR", {2, 3, BuildSubstr}},     {"LEFT", {2, 2, BuildLeftRight}},    {"RIGHT", {2, 2, BuildLeftRight}},
      {"LEN", {1, 1, BuildLen}},           {"AT", {2, 2, BuildAt}},             {"CHR", {1, 1, BuildChr}},
      {"ASC", {1, 1, BuildAsc}},           {"SPACE", {1, 1, BuildSpace}},       {"REPLICATE", {2, 2, BuildReplicate}},
      {"PADL", {2, 3, BuildPad}},          {"PADR", {2, 3, BuildPad}},          {"PADC", {2, 3, BuildPad}},
      {"STR", {1, 3, BuildStr}},           {"STRZERO", {1, 3, BuildStr}},       {"VAL", {1, 1, BuildVal}},
      {"DTOS", {1, 1, BuildDtos}},         {"STOD", {1, 1, BuildStod}},         {"DTOC", {1, 1, BuildDtoc}},
      {"CTOD", {1, 1, BuildCtod}},         {"CTOT", {1, 1, BuildCtot}},         {"CTOTS", {1, 1, BuildCtots}},
      {"TTOC", {1, 1, BuildTtoc}},         {"YEAR", {1, 1, BuildDatePart}},     {"MONTH", {1, 1, BuildDatePart}},
      {"DAY", {1, 1, BuildDatePart}},      {"DOW", {1, 1, BuildDatePart}},      {"DATE", {0, 0, BuildToday}},
      {"TODAY", {0, 0, BuildToday}},       {"NOW", {0, 0, BuildNow}},           {"TIME", {0, 0, BuildTime}},
      {"ABS", {1, 1, BuildAbsInt}},        {"INT", {1, 1, BuildAbsInt}},        {"ROUND", {2, 2, BuildRound}},
      {"MOD", {2, 2, BuildMod}},           {"MAX", {2, 2, BuildMaxMin}},        {"MIN", {2, 2, BuildMaxMin}},
      {"IIF", {3, 3, BuildIif}},           {"EMPTY", {1, 1, BuildEmpty}},       {"ISNULL", {1, 1, BuildIsNull}},
      {"DELETED", {0, 0, BuildDeleted}},   {"RECNO", {0, 0, BuildRecno}},       {"CONTAINS", {2, 2, BuildContains}},
  };
  return table;
}

std::string Plural(int n) { return std::to_string(n) + (n == 1 ? " argument" : " arguments"); }

}  // namespace

NodePtr MakeCall(const std::string& name, uint32_t pos, CallArgs call, uint32_t dateLength) {
  const auto& table = FunctionTable();
  auto it = table.find(name);
  if (it == table.end()) FailExpr(err::kExprUnknownFunction, pos, "unknown function " + name);
  const FnInfo& info = it->second;
  if (call.star && name != "CONTAINS")
    FailExpr(err::kExprSyntax, pos, "only CONTAINS accepts * as an argument");
  int given = static_cast<int>(call.args.size()) + (call.star ? 1 : 0);
  if (given < info.minArgs || given > info.maxArgs) {
    std::string takes = info.minArgs == info.maxArgs ? Plural(info.minArgs)
                                                     : std::to_string(info.minArgs) + " to " + Plural(info.maxArgs);
    FailExpr(err::kExprArgumentCount, pos, name + " takes " + takes + ", not " + std::to_string(given));
  }
  Call c{name, pos, call.args, call, dateLength};
  NodePtr n = info.build(c);
  return Fold(std::move(n));
}

}  // namespace engine::expr
