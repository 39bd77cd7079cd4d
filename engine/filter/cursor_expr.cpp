#include "engine/filter/cursor_expr.h"

#include "engine/filter/cursor_filters.h"
#include "engine/table/api/table_handles.h"
#include "engine/table/record_writer.h"

namespace engine::filter {

std::string AliasOf(const table::CursorInfo& info) {
  std::string name = info.name.empty() ? info.windowsPath : info.name;
  size_t slash = name.find_last_of("\\/");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

expr::EvalOptions OptionsFor(table::TableCursor& cursor) {
  expr::EvalOptions options;
  if (const CursorFilters* f = CursorFilters::Find(cursor)) options.exact = f->exact();
  options.dateFormat = table::DateFormatText(cursor.info().connection);
  return options;
}

CursorExpr::CursorExpr(table::TableCursor& cursor)
    : cursor_(cursor),
      schema_(cursor.schema(), AliasOf(cursor.info()), cursor.table().hasMemo()),
      record_(cursor.schema(), [&t = cursor.table()](table::BlobRef ref) { return t.ReadBlob(ref); }) {}

const expr::ExprRecord& CursorExpr::Current() {
  if (cursor_.recordNumber() != 0) return At(cursor_.Current(), cursor_.recordNumber());
  if (empty_.empty()) {
    empty_.resize(cursor_.schema().recordLength());
    table::WriteEmptyRecord(cursor_.schema(), empty_.data());
  }
  return At(empty_.data(), 0);
}

}  // namespace engine::filter
