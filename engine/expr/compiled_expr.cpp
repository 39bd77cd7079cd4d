#include "engine/expr/compiled_expr.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/core/error.h"
#include "engine/expr/parser.h"

namespace engine::expr {

namespace {

uint32_t DateLengthOf(std::string_view dateFormat) {
  std::optional<DateFormat> f = DateFormat::Parse(dateFormat);
  return f ? f->length() : 10;
}

const DateFormat& DefaultDateFormat() {
  static const DateFormat f = *DateFormat::Parse("MM/DD/YYYY");
  return f;
}

}  // namespace

bool IsValidDateFormat(std::string_view pattern) { return DateFormat::Parse(pattern).has_value(); }

std::unique_ptr<CompiledExpr> CompiledExpr::Compile(std::string_view text, const ExprSchema* schema,
                                                    std::string_view dateFormat) {
  return Compile(ExprText(std::string(text)), schema, dateFormat);
}

std::unique_ptr<CompiledExpr> CompiledExpr::Compile(const ExprText& text, const ExprSchema* schema,
                                                    std::string_view dateFormat) {
  Parser p(text, schema, DateLengthOf(dateFormat));
  auto e = std::make_unique<CompiledExpr>();
  e->root_ = p.ParseAll();
  e->text_.assign(text.ansi());
  e->fields_ = p.FieldsUsed();
  e->usesDateFormat_ = p.UsesDateFormat();
  return e;
}

std::vector<std::unique_ptr<CompiledExpr>> CompiledExpr::CompileSegments(std::string_view text,
                                                                         const ExprSchema* schema,
                                                                         std::string_view dateFormat) {
  Parser p(text, schema, DateLengthOf(dateFormat));
  std::vector<NodePtr> roots = p.ParseSegments();
  std::vector<std::unique_ptr<CompiledExpr>> out;
  for (NodePtr& r : roots) {
    auto e = std::make_unique<CompiledExpr>();
    e->root_ = std::move(r);
    out.push_back(std::move(e));
  }
  // Each segment carries its own text and fields: split the text again by the segment
  // boundaries the parser accepted (";" outside literals).
  std::vector<std::string> texts;
  std::string cur;
  char quote = 0;
  for (char c : text) {
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '\'' || c == '"') {
      quote = c;
    } else if (c == '[') {
      quote = ']';
    } else if (c == '{') {
      quote = '}';
    } else if (c == ';') {
      texts.push_back(cur);
      cur.clear();
      continue;
    }
    cur.push_back(c);
  }
  texts.push_back(cur);
  for (size_t i = 0; i < out.size(); ++i) {
    out[i]->text_ = i < texts.size() ? texts[i] : std::string();
    // Fields per segment: compile the segment text alone (it compiled as part of the whole).
    Parser single(out[i]->text_, schema, DateLengthOf(dateFormat));
    single.ParseAll();
    out[i]->fields_ = single.FieldsUsed();
    out[i]->usesDateFormat_ = single.UsesDateFormat();
  }
  return out;
}

bool CompiledExpr::IsSingleField() const { return dynamic_cast<const FieldNode*>(root_.get()) != nullptr; }

void CompiledExpr::Prepare(const EvalOptions& options, EvalContext& cx, bool needFormat) {
  // The format is looked at only by expressions that use it, to keep key evaluation lean.
  if (needFormat && (!dateFormat_ || dateFormat_->pattern() != options.dateFormat))
    dateFormat_ = DateFormat::Parse(options.dateFormat);
  // A format the connection could not have accepted falls back to the default one.
  cx.dateFormat = dateFormat_ ? &*dateFormat_ : &DefaultDateFormat();
  cx.exact = options.exact;
  cx.epoch = options.epoch;
  cx.fixedNowMs = options.fixedNowMs;
}

const Value& CompiledExpr::Evaluate(const ExprRecord* record, const EvalOptions& options) {
  EvalContext cx;
  cx.record = record;
  Prepare(options, cx, usesDateFormat_);
  root_->Eval(cx, result_);
  return result_;
}

bool CompiledExpr::EvalLogical(const ExprRecord* record, const EvalOptions& options) {
  const Value& v = Evaluate(record, options);
  return !v.null && v.logical;
}

bool CompiledExpr::WriteKey(const ExprRecord* record, const EvalOptions& options, char* out) {
  const Value& v = Evaluate(record, options);
  uint32_t len = root_->length;
  // A key of length 0 ('' or LEFT(NAME, 0)) writes nothing, and its buffer may be null.
  if (v.null) {
    if (len) std::memset(out, ' ', len);
    return false;
  }
  uint32_t n = v.len < len ? v.len : len;
  if (n) std::memcpy(out, v.str, n);
  if (n < len) std::memset(out + n, ' ', len - n);
  return true;
}

std::string CompiledExpr::EvalText(const ExprRecord* record, const EvalOptions& options) {
  EvalContext cx;
  cx.record = record;
  Prepare(options, cx, true);
  root_->Eval(cx, result_);
  const Value& v = result_;
  if (v.null) return std::string();
  const DateFormat& f = dateFormat_ ? *dateFormat_ : DefaultDateFormat();
  switch (type()) {
    case ExprType::String: return std::string(v.text());
    case ExprType::Logical: return v.logical ? "T" : "F";
    case ExprType::Numeric: {
      char buf[64];
      // Whole numbers in full; others in the shortest form that reads back as the same number.
      if (std::fabs(v.number) < 1e15 && v.number == std::trunc(v.number)) {
        std::snprintf(buf, sizeof buf, "%.0f", v.number == 0 ? 0.0 : v.number);
        return buf;
      }
      for (int precision = 1; precision <= 17; ++precision) {
        std::snprintf(buf, sizeof buf, "%.*g", precision, v.number);
        if (std::strtod(buf, nullptr) == v.number) break;
      }
      return buf;
    }
    case ExprType::Date: {
      std::string s(f.length(), ' ');
      s.resize(f.Write(v.integer, s.data()));
      return s;
    }
    case ExprType::Time: {
      std::string s(8, ' ');
      WriteTime(v.integer, s.data());
      return s;
    }
    case ExprType::Timestamp: {
      std::string s(f.length() + 9, ' ');
      uint32_t n = f.Write(v.integer > 0 ? v.integer / kMsPerDay : 0, s.data());
      if (v.integer > 0) WriteTime(v.integer % kMsPerDay, s.data() + n + 1);
      s.resize(n + 9);
      return s;
    }
  }
  return std::string();
}

}  // namespace engine::expr
