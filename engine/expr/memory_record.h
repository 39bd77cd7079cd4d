// A table of one record held in memory: a schema and a current record whose values are set
// directly. Evaluates expressions over values that do not live in a table file.
//
// Thread safety: none; one thread uses it at a time.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/expr/expr_record.h"

namespace engine {

class MemoryRecord final : public ExprSchema, public ExprRecord {
 public:
  explicit MemoryRecord(std::string alias = "") : alias_(std::move(alias)) {}

  // Adds a field; returns its slot. Character values are padded to `length` when set.
  int addField(std::string name, ExprType type, uint32_t length = 0, uint16_t decimals = 0,
               bool variableLength = false);

  void setNull(int slot);
  void setString(int slot, std::string_view text);
  void setNumber(int slot, double v);
  void setLogical(int slot, bool v);
  void setDate(int slot, int64_t julian);
  void setTime(int slot, int64_t ms);
  void setTimestamp(int slot, int64_t v);
  void setRecordNumber(uint32_t n) { recno_ = n; }
  void setDeleted(bool d) { deleted_ = d; }

  // ExprSchema
  std::optional<ExprField> findField(std::string_view name) const override;
  bool isOwnAlias(std::string_view alias) const override;
  size_t fieldCount() const override { return fields_.size(); }
  ExprField fieldAt(size_t index) const override { return fields_[index].def; }

  // ExprRecord
  bool fieldIsNull(int slot) const override { return fields_[slot].null; }
  std::string_view fieldString(int slot) const override { return fields_[slot].text; }
  double fieldNumber(int slot) const override { return fields_[slot].number; }
  bool fieldLogical(int slot) const override { return fields_[slot].logical; }
  int64_t fieldDate(int slot) const override { return fields_[slot].integer; }
  int64_t fieldTime(int slot) const override { return fields_[slot].integer; }
  int64_t fieldTimestamp(int slot) const override { return fields_[slot].integer; }
  uint32_t recordNumber() const override { return recno_; }
  bool isDeleted() const override { return deleted_; }

 private:
  struct Slot {
    ExprField def;
    bool null = true;
    std::string text;
    double number = 0;
    bool logical = false;
    int64_t integer = 0;
  };
  std::string alias_;
  std::vector<Slot> fields_;
  uint32_t recno_ = 1;
  bool deleted_ = false;
};

}  // namespace engine
