// A table of one record held in memory: a schema and a current record whose values are set
// directly. Evaluates expressions over values that do not live in a table file.
//
// Thread safety: none; one thread uses it at a time.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/expr/expr_record.h"

namespace engine::expr {

class MemoryRecord final : public ExprSchema, public ExprRecord {
 public:
  explicit MemoryRecord(std::string alias = "") : alias_(std::move(alias)) {}

  // Adds a field; returns its slot. Character values are padded to `length` when set.
  int AddField(std::string name, ExprType type, uint32_t length = 0, uint16_t decimals = 0,
               bool variableLength = false);

  void SetNull(int slot);
  void SetString(int slot, std::string_view text);
  void SetNumber(int slot, double v);
  void SetLogical(int slot, bool v);
  void SetDate(int slot, int64_t julian);
  void SetTime(int slot, int64_t ms);
  void SetTimestamp(int slot, int64_t v);
  void SetRecordNumber(uint32_t n) { recno_ = n; }
  void SetDeleted(bool d) { deleted_ = d; }

  // ExprSchema
  std::optional<ExprField> FindField(std::string_view name) const override;
  bool IsOwnAlias(std::string_view alias) const override;
  size_t FieldCount() const override { return fields_.size(); }
  ExprField FieldAt(size_t index) const override { return fields_[index].def; }

  // ExprRecord
  bool FieldIsNull(int slot) const override { return fields_[slot].null; }
  std::string_view FieldString(int slot) const override { return fields_[slot].text; }
  std::u16string_view FieldWide(int slot) const override;
  double FieldNumber(int slot) const override { return fields_[slot].number; }
  bool FieldLogical(int slot) const override { return fields_[slot].logical; }
  int64_t FieldDate(int slot) const override { return fields_[slot].integer; }
  int64_t FieldTime(int slot) const override { return fields_[slot].integer; }
  int64_t FieldTimestamp(int slot) const override { return fields_[slot].integer; }
  uint32_t RecordNumber() const override { return recno_; }
  bool IsDeleted() const override { return deleted_; }

 private:
  struct Slot {
    ExprField def;
    bool null = true;
    std::string text;
    mutable std::u16string wide;  // text as UTF-16, made on first use after a change
    mutable bool wideMade = false;
    double number = 0;
    bool logical = false;
    int64_t integer = 0;
  };
  std::string alias_;
  std::vector<Slot> fields_;
  uint32_t recno_ = 1;
  bool deleted_ = false;
};

}  // namespace engine::expr
