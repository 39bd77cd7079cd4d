#include "engine/index/table_indexes.h"
#include "engine/sql/live_cursor.h"

#include "engine/dict/dictionary.h"
#include "engine/table/table.h"

namespace engine::sql {

std::shared_ptr<table::TableCursor> OpenLiveCursor(Session& session, const ResolvedTable& t,
                                                   const StatementOptions& options) {
  bool checkRights = t.checkRights && options.checkRights != 2;
  if (checkRights && !(t.rights & dict::rights::kRead)) {
    Fail(err::kPermissionDenied, "Read permission not granted on the table \"" + t.name + "\".");
  }
  Table::OpenOptions o;
  std::unique_ptr<Table> file = Table::Open(t.hostPath, o);
  session.ApplyPassword(*file, t);
  TableIndexes::Attach(*file);  // edits through the cursor keep the indexes right
  table::CursorInfo info;
  info.connection = session.connection();
  info.name = t.name;
  info.windowsPath = t.windowsPath;
  info.collation = file->properties().collation;
  info.charType = file->properties().charType;
  info.lockType = options.lockType;
  info.checkRights = checkRights;
  if (!checkRights || (t.rights & dict::rights::kUpdate)) info.options |= table::kOptUpdateGranted;
  if (!checkRights || (t.rights & dict::rights::kInsert)) info.options |= table::kOptInsertGranted;
  if (!checkRights || (t.rights & dict::rights::kDelete)) info.options |= table::kOptDeleteGranted;
  return std::make_shared<table::TableCursor>(std::move(file), std::move(info));
}

}  // namespace engine::sql
