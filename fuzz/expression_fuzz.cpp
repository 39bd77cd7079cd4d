// Compiles fuzzed text as an expression, as the same text read as UTF-16 (a filter given in
// wide text), as index key segments and as a CONTAINS search condition, and evaluates what
// compiles on two records.
//
// The records hand out every character value in an allocation of its own that lives exactly as
// long as ExprRecord promises (until the record changes), so that the sanitizer sees any view
// the evaluator keeps beyond that or any text it reads past its end.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/error.h"
#include "engine/expr/compiled_expr.h"
#include "engine/expr/contains_search.h"

namespace {

using engine::expr::ExprField;
using engine::expr::ExprType;

struct FieldValue {
  bool null = false;
  std::string text;
  std::u16string wide;  // national fields: the exact text, of which `text` is the ANSI form
  double number = 0;
  int64_t integer = 0;
  bool logical = false;
};

class StrictRecord final : public engine::expr::ExprSchema, public engine::expr::ExprRecord {
 public:
  StrictRecord() {
    add("NAME", ExprType::String, 20);
    add("CITY", ExprType::String, 12);
    add("NOTE", ExprType::String, 10, true);
    add("QTY", ExprType::Numeric, 11);
    add("PRICE", ExprType::Numeric, 10, false, 2);
    add("BORN", ExprType::Date, 8);
    add("STAMP", ExprType::Timestamp, 8);
    add("AT", ExprType::Time, 8);
    add("OK", ExprType::Logical, 1);
    add("NICK", ExprType::String, 6, false, 0, true);
  }

  // Record 1 or 2 (different values, nulls in the second); every view handed out before dies.
  void at(int which) {
    handedOut_.clear();
    wideHandedOut_.clear();
    recno_ = static_cast<uint32_t>(which);
    values_.assign(fields_.size(), FieldValue{});
    if (which == 1) {
      values_[0].text = "Anna Karenina       ";
      values_[1].text = "moscow      ";
      values_[2].text = "a long note ((about)) AND nothing much";
      values_[3].number = 42;
      values_[4].number = -12.25;
      values_[5].integer = 2448000;
      values_[6].integer = int64_t{2451545} * engine::expr::kMsPerDay + 3600000;
      values_[7].integer = 45000000;
      values_[8].logical = true;
      values_[9].wide = u"Жук ю ";
      values_[9].text = "??? ? ";
    } else {
      values_[0].text = std::string(20, ' ');
      values_[1].null = true;
      values_[2].text = "";
      values_[3].null = true;
      values_[5].integer = 0;
      values_[6].integer = 0;
      values_[8].null = true;
      values_[9].wide = u"Smith ";
      values_[9].text = "Smith ";
    }
  }

  std::optional<ExprField> FindField(std::string_view name) const override {
    for (const ExprField& f : fields_) {
      if (f.name.size() != name.size()) continue;
      bool same = true;
      for (size_t i = 0; i < name.size() && same; ++i) {
        char a = f.name[i], b = name[i];
        if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 32);
        same = a == b;
      }
      if (same) return f;
    }
    return std::nullopt;
  }
  bool IsOwnAlias(std::string_view alias) const override { return alias == "t" || alias == "T"; }
  size_t FieldCount() const override { return fields_.size(); }
  ExprField FieldAt(size_t index) const override { return fields_[index]; }

  bool FieldIsNull(int slot) const override { return values_[slot].null; }
  std::string_view FieldString(int slot) const override {
    handedOut_.push_back(std::make_unique<std::string>(values_[slot].text));
    return *handedOut_.back();
  }
  std::u16string_view FieldWide(int slot) const override {
    wideHandedOut_.push_back(std::make_unique<std::u16string>(values_[slot].wide));
    return *wideHandedOut_.back();
  }
  double FieldNumber(int slot) const override { return values_[slot].number; }
  bool FieldLogical(int slot) const override { return values_[slot].logical; }
  int64_t FieldDate(int slot) const override { return values_[slot].integer; }
  int64_t FieldTime(int slot) const override { return values_[slot].integer; }
  int64_t FieldTimestamp(int slot) const override { return values_[slot].integer; }
  uint32_t RecordNumber() const override { return recno_; }
  bool IsDeleted() const override { return recno_ == 2; }

 private:
  void add(const char* name, ExprType type, uint32_t length, bool variable = false, uint16_t decimals = 0,
           bool national = false) {
    ExprField f;
    f.name = name;
    f.slot = static_cast<int>(fields_.size());
    f.type = type;
    f.length = length;
    f.decimals = decimals;
    f.variableLength = variable;
    f.national = national;
    fields_.push_back(f);
  }

  std::vector<ExprField> fields_;
  std::vector<FieldValue> values_;
  uint32_t recno_ = 1;
  mutable std::vector<std::unique_ptr<std::string>> handedOut_;
  mutable std::vector<std::unique_ptr<std::u16string>> wideHandedOut_;
};

void Evaluate(engine::expr::CompiledExpr& e, StrictRecord& record) {
  engine::expr::EvalOptions options;
  options.fixedNowMs = int64_t{2460000} * engine::expr::kMsPerDay;
  std::vector<char> key(e.type() == ExprType::String ? e.length() : 0);
  for (int which : {1, 2, 1}) {
    record.at(which);
    const engine::expr::Value& v = e.Evaluate(&record, options);
    if (e.type() == ExprType::String && !v.null && v.len > 0) {
      volatile char first = v.str[0], last = v.str[v.len - 1];  // the value's bytes must be readable
      (void)first;
      (void)last;
    }
    e.EvalText(&record, options);
    if (e.type() == ExprType::String) e.WriteKey(&record, options, key.data());
    if (e.type() == ExprType::Logical) e.EvalLogical(&record, options);
    options.exact = !options.exact;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static StrictRecord record;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    auto e = engine::expr::CompiledExpr::Compile(text, &record);
    Evaluate(*e, record);
  } catch (const engine::EngineError&) {
  }
  try {
    // The bytes as little-endian UTF-16 code units, unpaired surrogates included.
    std::u16string wide(size / 2, u'\0');
    for (size_t i = 0; i < wide.size(); ++i) wide[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    auto e = engine::expr::CompiledExpr::Compile(engine::expr::ExprText::FromUtf16(wide), &record);
    Evaluate(*e, record);
  } catch (const engine::EngineError&) {
  }
  try {
    for (auto& segment : engine::expr::CompiledExpr::CompileSegments(text, &record)) Evaluate(*segment, record);
  } catch (const engine::EngineError&) {
  }
  std::string error;
  size_t at = 0;
  if (auto condition = engine::expr::ContainsCondition::Parse(text, error, at)) {
    std::string_view texts[] = {"Anna Karenina went to Moscow", "", "a b c d e f"};
    condition->Matches(texts, 3);
  } else if (at > text.size()) {
    __builtin_trap();  // an error must point inside the text
  }
  return 0;
}
