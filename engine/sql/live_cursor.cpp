#include "engine/index/table_indexes.h"
#include "engine/sql/live_cursor.h"

#include <cctype>
#include <optional>
#include <string_view>

#include "engine/core/codepage.h"
#include "engine/dict/dictionary.h"
#include "engine/index/tag_def.h"
#include "engine/table/api/field_values.h"
#include "engine/table/table.h"

namespace engine::sql {

namespace {

std::string Trimmed(std::string_view v) {
  while (!v.empty() && std::isspace(static_cast<unsigned char>(v.front()))) v.remove_prefix(1);
  while (!v.empty() && std::isspace(static_cast<unsigned char>(v.back()))) v.remove_suffix(1);
  return std::string(v);
}

// The tag whose key is exactly the ordered fields in that direction and that shows every
// record; "" when the table has none.
std::string TagFor(table::Table& file, const LiveOrder& order) {
  for (const table::TagDefinition& tag : file.tags()) {
    if (!tag.condition.empty() || (tag.flags & (index::kTagUnique | index::kTagCustom))) continue;
    if (((tag.flags & index::kTagDescending) != 0) != order.descending) continue;
    std::vector<std::string> segments;
    size_t from = 0;
    for (;;) {
      size_t semi = tag.expression.find(';', from);
      segments.push_back(Trimmed(std::string_view(tag.expression).substr(from, semi == std::string::npos ? semi : semi - from)));
      if (semi == std::string::npos) break;
      from = semi + 1;
    }
    if (segments.size() != order.fields.size()) continue;
    bool same = true;
    for (size_t i = 0; i < segments.size() && same; ++i) {
      std::optional<size_t> field = file.schema().Find(segments[i]);
      same = field && core::EqualsIgnoringAsciiCase(file.schema().fields()[*field].name, segments[i]) &&
             core::EqualsIgnoringAsciiCase(segments[i], core::Utf8ToAnsi(order.fields[i]));
    }
    if (same) return tag.name;
  }
  return "";
}

}  // namespace

std::shared_ptr<table::TableCursor> OpenLiveCursor(Session& session, const ResolvedTable& t,
                                                   const StatementOptions& options, const LiveOrder& order) {
  RequireReachable(t);
  bool checkRights = t.checkRights && options.checkRights != 2;
  if (checkRights && !(t.rights & dict::rights::kRead)) {
    Fail(err::kPermissionDenied, "Read permission not granted on the table \"" + t.name + "\".");
  }
  table::Table::OpenOptions o;
  std::unique_ptr<table::Table> file = table::Table::Open(t.hostPath, o);
  session.ApplyPassword(*file, t);
  index::TableIndexes& indexes = index::TableIndexes::Attach(*file);  // edits through the cursor keep the indexes right
  table::CursorInfo info;
  if (!order.fields.empty()) {
    info.ownOrder = TagFor(*file, order);
    if (info.ownOrder.empty() || indexes.structuralUnavailable() || !indexes.FindTag(info.ownOrder)) return nullptr;
  }
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
  if (checkRights && !t.columnRights.empty()) info.columnOptions = table::ColumnOptionsOf(file->schema(), t.columnRights);
  return std::make_shared<table::TableCursor>(std::move(file), std::move(info));
}

}  // namespace engine::sql
