// How expressions see one table cursor: its fields as an expression schema, a record image as
// the expression record, and the evaluation options in force for the handle (its exact
// setting, the date format of its connection).
//
// Thread safety: a CursorExpr is used by the thread that uses its cursor; it borrows the
// cursor's table, which must outlive it.
#pragma once

#include <cstdint>
#include <string>

#include "engine/expr/eval_options.h"
#include "engine/expr/table_expr_record.h"
#include "engine/table/table_cursor.h"

namespace engine::filter {

// The name an expression may write before "->" for this cursor's table: its file's base name.
std::string AliasOf(const table::CursorInfo& info);

// The handle's options: the exact setting of its filters, the date format of its connection.
expr::EvalOptions OptionsFor(table::TableCursor& cursor);

class CursorExpr {
 public:
  explicit CursorExpr(table::TableCursor& cursor);

  const expr::TableExprSchema& schema() const { return schema_; }
  // The record the next evaluations read; the image must stay unchanged while they run.
  const expr::ExprRecord& At(const uint8_t* image, uint32_t recordNumber) {
    record_.At(image, recordNumber);
    return record_;
  }
  // The cursor's current record (with its pending changes), or an empty record when it stands
  // on no record.
  const expr::ExprRecord& Current();

 private:
  table::TableCursor& cursor_;
  expr::TableExprSchema schema_;
  expr::TableExprRecord record_;
  std::vector<uint8_t> empty_;
};

}  // namespace engine::filter
