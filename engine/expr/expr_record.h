// How an expression reaches the fields of a table.
//
// Compiling resolves every field name once through an ExprSchema, which hands back an
// ExprField with a slot number; evaluating reads the current record through an ExprRecord by
// that slot, so the hot path never looks a name up. A table implements both (or an adapter
// does); the values are already decoded: fixed-length character fields come back with their
// stored trailing blanks, dates as julian day numbers.
//
// Thread safety: an implementation is used by one thread at a time unless it says otherwise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/expr/expr_types.h"

namespace engine::expr {

struct ExprField {
  std::string name;       // as the table declares it
  int slot = 0;           // handed back to ExprRecord's getters
  ExprType type = ExprType::String;
  uint32_t length = 0;    // characters of a character field; display width of the others
  uint16_t decimals = 0;  // numeric fields
  bool variableLength = false;  // memo-like text: the value may be shorter or longer than length
  // National-character text (UTF-16 in the record): FieldString gives it in the ANSI code page,
  // where a character the page cannot hold reads as "?", and FieldWide gives it exactly.
  bool national = false;
};

class ExprSchema {
 public:
  virtual ~ExprSchema() = default;

  // The field whose name equals `name` ignoring the case of a to z, or nothing.
  virtual std::optional<ExprField> FindField(std::string_view name) const = 0;

  // Whether `alias` (as written before "->") names this table.
  virtual bool IsOwnAlias(std::string_view alias) const = 0;

  // All fields in table order; used by CONTAINS(*, ...) and the short-name conversion.
  virtual size_t FieldCount() const = 0;
  virtual ExprField FieldAt(size_t index) const = 0;

  // For a name FindField does not answer: why the table's field of that name cannot be read
  // here (for a message), or empty when the table has no such field.
  virtual std::string WhyUnreadable(std::string_view /*name*/) const { return {}; }
};

// The current record. Getters are called only with slots the schema handed out and only for
// the type that slot has; a getter for a null field is never called (fieldIsNull first).
class ExprRecord {
 public:
  virtual ~ExprRecord() = default;

  virtual bool FieldIsNull(int slot) const = 0;
  // Character fields: the stored text (blank padded for fixed-length fields). The view stays
  // valid until the record changes, also when the same field is read again meanwhile: one
  // evaluation may read a field twice and compare the two views (NAME = NAME).
  virtual std::string_view FieldString(int slot) const = 0;
  // Character fields as UTF-16: national fields exactly, others as their ANSI text converted.
  // The view stays valid as FieldString's does.
  virtual std::u16string_view FieldWide(int slot) const = 0;
  virtual double FieldNumber(int slot) const = 0;
  virtual bool FieldLogical(int slot) const = 0;
  virtual int64_t FieldDate(int slot) const = 0;       // julian day, 0 when empty
  virtual int64_t FieldTime(int slot) const = 0;       // ms since midnight
  virtual int64_t FieldTimestamp(int slot) const = 0;  // julian day * kMsPerDay + ms, 0 when empty

  virtual uint32_t RecordNumber() const = 0;
  virtual bool IsDeleted() const = 0;
};

}  // namespace engine::expr
