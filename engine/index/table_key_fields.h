// How index key expressions and conditions see a native table: its fields as an expression
// schema and a record image as the expression record. Every part of the index layer (rebuilds
// and the maintenance of open tags) compiles and evaluates keys through these, so a key is the
// same whichever path made it.
//
// Fields the expressions can read: every type except the blob types (memo, binary, image,
// national memo) and the national (UTF-16) character types. A national field is a key segment
// of its own when the segment names it alone (ExpressionKeys): FindNational and NationalText
// serve that segment with the field's UTF-16 text, which an 8-bit expression could not hold.
//
// A TableRecord keeps the text it decoded for the current record; one thread uses it at a time.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/ascii_case.h"
#include "engine/core/codepage.h"
#include "engine/expr/expr_record.h"
#include "engine/expr/field_text_cache.h"
#include "engine/table/record_access.h"

namespace engine::index {

// The table's fields as the expression language sees them; a field's slot is its position.
class TableFields final : public expr::ExprSchema {
 public:
  explicit TableFields(const table::Schema& schema) {
    const auto& fields = schema.fields();
    for (size_t i = 0; i < fields.size(); ++i) {
      const table::FieldDescriptor& f = fields[i];
      if (f.type == table::FieldType::kNChar || f.type == table::FieldType::kNVarChar) {
        national_.push_back({f.name, static_cast<int>(i), f.length});
        continue;
      }
      std::optional<expr::ExprType> type = TypeOf(f.type);
      if (!type) {
        unreadable_.push_back(f.name);
        continue;
      }
      expr::ExprField e;
      e.name = f.name;
      e.slot = static_cast<int>(i);
      e.type = *type;
      e.length = f.length;
      e.decimals = f.decimals;
      e.variableLength = f.type == table::FieldType::kVarChar || f.type == table::FieldType::kVarBinary;
      fields_.push_back(e);
    }
  }

  std::optional<expr::ExprField> FindField(std::string_view name) const override {
    for (const expr::ExprField& f : fields_) {
      if (AsciiEqualsIgnoreCase(f.name, name)) return f;
    }
    return std::nullopt;
  }
  // A national character field by name: its slot and its length in characters.
  struct NationalField {
    std::string name;
    int slot = 0;
    uint32_t chars = 0;
  };
  std::optional<NationalField> FindNational(std::string_view name) const {
    for (const NationalField& f : national_) {
      if (AsciiEqualsIgnoreCase(f.name, name)) return f;
    }
    return std::nullopt;
  }
  std::string WhyUnreadable(std::string_view name) const override {
    if (std::optional<NationalField> f = FindNational(name)) {
      return "the national character field " + f->name + " can be read by an index only as a key segment of its own";
    }
    for (const std::string& field : unreadable_) {
      if (AsciiEqualsIgnoreCase(field, name)) {
        return "the field " + field + " cannot be read by an index key or condition (memo, binary and image fields cannot)";
      }
    }
    return {};
  }
  bool IsOwnAlias(std::string_view) const override { return false; }
  size_t FieldCount() const override { return fields_.size(); }
  expr::ExprField FieldAt(size_t index) const override { return fields_.at(index); }

 private:
  static std::optional<expr::ExprType> TypeOf(table::FieldType t) {
    switch (t) {
      case table::FieldType::kLogical: return expr::ExprType::Logical;
      case table::FieldType::kNumeric:
      case table::FieldType::kDouble:
      case table::FieldType::kInteger:
      case table::FieldType::kShortInt:
      case table::FieldType::kAutoInc:
      case table::FieldType::kCurDouble:
      case table::FieldType::kMoney:
      case table::FieldType::kRowVersion: return expr::ExprType::Numeric;
      case table::FieldType::kDate:
      case table::FieldType::kCompactDate: return expr::ExprType::Date;
      case table::FieldType::kString:
      case table::FieldType::kCIString:
      case table::FieldType::kVarChar:
      case table::FieldType::kRaw:
      case table::FieldType::kVarBinary: return expr::ExprType::String;
      case table::FieldType::kTime: return expr::ExprType::Time;
      case table::FieldType::kTimeStamp:
      case table::FieldType::kModTime: return expr::ExprType::Timestamp;
      default: return std::nullopt;
    }
  }
  std::vector<expr::ExprField> fields_;
  std::vector<NationalField> national_;
  std::vector<std::string> unreadable_;  // blob fields
};

// The record a table scan stands on, as the expression language reads it.
class TableRecord final : public expr::ExprRecord {
 public:
  explicit TableRecord(size_t fieldCount) : text_(fieldCount), wideText_(fieldCount), wide_(fieldCount) {}
  // The record the next evaluations read; the view must outlive them. `deletedOverride` (-1:
  // none) makes the record read as deleted (1) or not (0) whatever its flag says.
  void Set(const table::RecordView* view, int deletedOverride = -1) {
    view_ = view;
    deleted_ = deletedOverride;
    text_.NextRecord();
    wideText_.NextRecord();
  }

  bool FieldIsNull(int slot) const override { return view_->isNull(static_cast<size_t>(slot)); }
  std::string_view FieldString(int slot) const override {
    size_t i = static_cast<size_t>(slot);
    if (const std::string* done = text_.Find(i)) return *done;
    std::string& text = text_.Fill(i);
    view_->TextInto(i, &text);
    return text;
  }
  std::u16string_view FieldWide(int slot) const override {
    size_t i = static_cast<size_t>(slot);
    if (const std::u16string* done = wideText_.Find(i)) return *done;
    std::u16string text = view_->field(i).type == table::FieldType::kNChar || view_->field(i).type == table::FieldType::kNVarChar
                              ? view_->wideText(i)
                              : core::AnsiToUtf16(FieldString(slot));
    return wideText_.Fill(i) = std::move(text);
  }
  double FieldNumber(int slot) const override { return view_->number(static_cast<size_t>(slot)); }
  bool FieldLogical(int slot) const override { return view_->logical(static_cast<size_t>(slot)); }
  int64_t FieldDate(int slot) const override { return view_->julian(static_cast<size_t>(slot)); }
  int64_t FieldTime(int slot) const override { return view_->milliseconds(static_cast<size_t>(slot)); }
  int64_t FieldTimestamp(int slot) const override {
    int32_t day = view_->julian(static_cast<size_t>(slot));
    if (day == 0) return 0;
    return int64_t{day} * expr::kMsPerDay + view_->milliseconds(static_cast<size_t>(slot));
  }
  // The UTF-16 text of a national character field (see TableFields::FindNational).
  std::u16string_view NationalText(int slot) const {
    wide_[static_cast<size_t>(slot)] = view_->wideText(static_cast<size_t>(slot));
    return wide_[static_cast<size_t>(slot)];
  }
  uint32_t RecordNumber() const override { return view_->recordNumber(); }
  bool IsDeleted() const override { return deleted_ < 0 ? view_->deleted() : deleted_ == 1; }

 private:
  const table::RecordView* view_ = nullptr;
  int deleted_ = -1;
  mutable expr::FieldTextCache text_;  // decoded text; views of it live until the next Set
  mutable expr::WideFieldTextCache wideText_;  // FieldWide's text, the same way
  mutable std::vector<std::u16string> wide_;
};

}  // namespace engine::index
