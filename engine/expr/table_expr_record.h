// Lets expressions read the records of a native table.
//
// TableExprSchema presents a table Schema as an ExprSchema (field slots are the 0-based field
// indexes); TableExprRecord presents one record image, through a RecordView, as the
// ExprRecord. Field types map onto expression types as follows:
//   Char, CIChar, VarChar, Raw, VarBinary  -> character (Raw and VarBinary as their bytes)
//   NChar, NVarChar                        -> character, converted to the ANSI code page
//   Memo, NMemo                            -> character of variable length, read through the
//                                             MemoReader when one is given (else unknown)
//   Numeric, Double, CurDouble, Integer, ShortInt, AutoInc, Money, RowVersion -> numeric
//   Date, CompactDate                      -> date
//   Time                                   -> time
//   TimeStamp, ModTime                     -> timestamp
//   Logical                                -> logical
// Binary and Image fields are not part of the language.
//
// Thread safety: a TableExprRecord keeps the text it decoded for the current record; one thread
// uses it at a time.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/expr/expr_record.h"
#include "engine/expr/field_text_cache.h"
#include "engine/table/record_access.h"

namespace engine::expr {

// Reads the text of a memo field's blob (the Table's ReadBlob).
using MemoReader = std::function<std::string(table::BlobRef ref)>;

class TableExprSchema final : public ExprSchema {
 public:
  // `alias` is the name the table may be written with before "->" (its alias or file name).
  TableExprSchema(const table::Schema& schema, std::string alias, bool memosReadable);

  std::optional<ExprField> FindField(std::string_view name) const override;
  bool IsOwnAlias(std::string_view alias) const override;
  size_t FieldCount() const override { return fields_.size(); }
  ExprField FieldAt(size_t index) const override { return fields_[index]; }

 private:
  std::string alias_;
  std::vector<ExprField> fields_;  // the fields the language can read, in table order
};

class TableExprRecord final : public ExprRecord {
 public:
  TableExprRecord(const table::Schema& schema, MemoReader memo = nullptr);

  // The record the next evaluations read. The image must stay unchanged while they run.
  void At(const uint8_t* image, uint32_t recordNumber);

  bool FieldIsNull(int slot) const override;
  std::string_view FieldString(int slot) const override;
  std::u16string_view FieldWide(int slot) const override;
  double FieldNumber(int slot) const override;
  bool FieldLogical(int slot) const override;
  int64_t FieldDate(int slot) const override;
  int64_t FieldTime(int slot) const override;
  int64_t FieldTimestamp(int slot) const override;
  uint32_t RecordNumber() const override { return view_.recordNumber(); }
  bool IsDeleted() const override { return view_.deleted(); }

 private:
  const table::Schema& schema_;
  table::RecordView view_;
  MemoReader memo_;
  mutable FieldTextCache scratch_;  // converted or copied text; views of it live until the next At()
  mutable WideFieldTextCache wide_;  // UTF-16 text, the same way
};

}  // namespace engine::expr
