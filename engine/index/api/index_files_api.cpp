// Entry points that create, open, close and delete index files and tags, and rebuild them.
#include <algorithm>
#include <filesystem>

#include "engine/core/error.h"
#include "engine/core/host_path.h"
#include "engine/core/text_out.h"
#include "engine/index/api/index_order.h"
#include "engine/index/expression_keys.h"
#include "engine/index/table_key_fields.h"
#include "engine/index/table_reindex.h"
#include "engine/table/table_type.h"
#include "engine/table/api/table_handles.h"
#include "engine/table/table_files.h"
#include "engine_api/entry_points.h"

namespace engine::index_api {
namespace {

constexpr uint32_t kCreateOptionBits = index::kTagUnique | index::kTagCompound | index::kTagCustom | index::kTagDescending | index::kTagCandidate;

// The host path of an index file named by a caller: empty for the structural index; a name
// without extension gets ".adi"; a name without a folder lives beside its table.
std::filesystem::path IndexHostPath(table::TableCursor& cursor, const std::string& name) {
  if (name.empty()) return {};
  // A name without an extension takes the table's kind of index file.
  std::string n = name;
  table::TableType type = cursor.table().type();
  if (std::filesystem::path(n).extension().empty() && type != table::TableType::kAdt) {
    n += type == table::TableType::kNtx ? ".ntx" : ".cdx";
  } else {
    n = table_files::IndexFileName(name);
  }
  if (n.find_first_of("\\/") == std::string::npos && n.find(':') == std::string::npos) {
    return std::filesystem::path(cursor.table().path()).parent_path() / n;
  }
  return table::TableHostPath(cursor.info().connection, n, nullptr);
}

// The records a creation limited by a WHILE condition takes: from the current record of the
// handle (a table, or an index order walked in its order), each record the handle shows while
// the condition holds, stopping at the first one where it does not. The position is left as it
// was. A condition that does not compile fails before anything changes.
std::vector<uint32_t> WhileRecords(uint32_t handle, table::TableCursor& cursor, const std::string& key,
                                   const std::string& condition) {
  index::TableFields fields(cursor.schema());
  index::ExpressionKeys whileKeys(key, condition, fields);
  table::CursorRef ref = table::CursorOf(handle);
  std::vector<uint32_t> out;
  uint32_t start = cursor.recordNumber();
  if (start == 0) return out;  // at an end: no record to start from
  index::TableRecord record(cursor.schema().fieldCount());
  expr::EvalOptions options;
  for (;;) {
    table::RecordView view = cursor.CurrentView();
    record.Set(&view);
    if (!whileKeys.Includes(record, options)) break;
    out.push_back(cursor.recordNumber());
    cursor.Skip(1, ref.order());
    if (cursor.recordNumber() == 0) break;
  }
  cursor.GotoRecord(start);
  std::sort(out.begin(), out.end());
  return out;
}

uint32_t TableHandleOf(uint32_t handle) {
  if (core::Handles::KindOf(handle) == core::Kind::kIndexOrder) return core::Handles::OwnerOf(handle);
  return handle;
}

}  // namespace
}  // namespace engine::index_api

namespace engine::api {

using index_api::IndexOrder;

UNSIGNED32 AdsCreateIndex90(ADSHANDLE hObj, UNSIGNED8* pucFileName, UNSIGNED8* pucTag, UNSIGNED8* pucExpr,
                            UNSIGNED8* pucCondition, UNSIGNED8* pucWhile, UNSIGNED32 ulOptions, UNSIGNED32 ulPageSize,
                            UNSIGNED8* pucCollation, ADSHANDLE* phIndex) {
  core::Require(pucExpr, "pucExpr");
  core::Require(phIndex, "phIndex");
  uint32_t hTable = index_api::TableHandleOf(hObj);
  std::shared_ptr<table::TableCursor> cursor = table::TableOf(hTable);
  if (ulPageSize != 0 && !index::KeyLayout::ValidPageSize(ulPageSize)) {
    Fail(err::kInvalidIndexPageSize, "The index page size " + std::to_string(ulPageSize) +
                                         " is not a power of two from 512 to 8192.");
  }
  index::TagDef def;
  def.expression = core::InText(pucExpr);
  def.name = core::InText(pucTag);
  std::filesystem::path file = index_api::IndexHostPath(*cursor, core::InText(pucFileName));
  if (def.name.empty()) {
    // An index file of its own without a tag name: the tag takes the file's name.
    if (file.empty()) Fail(err::kInvalidTagDefinition, "AdsCreateIndex90: a tag of the structural index needs a name.");
    def.name = core::FromHostName(file.stem().string());
  }
  def.condition = core::InText(pucCondition);
  def.options = ulOptions & index_api::kCreateOptionBits;
  def.collation = core::InText(pucCollation);
  cursor->FlushPending();
  index::TableIndexes& ix = index_api::IndexesOf(*cursor);
  std::string whileText = core::InText(pucWhile);
  std::vector<uint32_t> keep;
  if (!whileText.empty()) {
    if (!cursor->table().exclusive()) {
      Fail(err::kExclusiveRequired, "Creating an index of \"" + cursor->table().path() + "\" needs the table open exclusively");
    }
    keep = index_api::WhileRecords(hObj, *cursor, def.expression, whileText);
  }
  size_t position = ix.CreateTag(file, def, ulPageSize);
  uint64_t id = ix.tag(position).id;
  if (!whileText.empty()) ix.LimitTag(id, keep);
  index_api::DropStaleHandles(hTable, ix);
  *phIndex = index_api::HandleFor(hTable, cursor, id);
  return 0;
}

UNSIGNED32 AdsOpenIndex(ADSHANDLE hTable, UNSIGNED8* pucName, ADSHANDLE* ahIndex, UNSIGNED16* pusArrayLen) {
  core::Require(pucName, "pucName");
  std::shared_ptr<table::TableCursor> cursor = table::TableOf(hTable);
  std::string name = core::InText(pucName);
  std::filesystem::path file = index_api::IndexHostPath(*cursor, name);
  if (file.empty()) Fail(err::kInvalidArgument, "AdsOpenIndex: no index file was named.");
  index::TableIndexes& ix = index_api::IndexesOf(*cursor);
  std::filesystem::path structural = index::StructuralIndexPath(cursor->table());
  if (!structural.empty() && file.lexically_normal() == structural.lexically_normal()) {
    Fail(err::kIndexAlreadyOpen, "The index file \"" + name + "\" is the table's own and is open with it.");
  }
  size_t capacity = (ahIndex && pusArrayLen) ? *pusArrayLen : 0;
  size_t filled = 0;
  // A file that is open already answers with the orders it has, as many as there is room for,
  // so that a caller who knows only its name can reach (and close) them.
  std::vector<size_t> open;
  for (size_t p = 0; p < ix.tagCount(); ++p) {
    if (ix.FileEntry(ix.tag(p)).path.lexically_normal() == file.lexically_normal()) open.push_back(p);
  }
  if (!open.empty()) {
    for (size_t p : open) {
      if (filled < capacity) ahIndex[filled++] = index_api::HandleFor(hTable, cursor, ix.tag(p).id);
    }
    if (pusArrayLen) *pusArrayLen = static_cast<UNSIGNED16>(filled);
    Fail(err::kIndexAlreadyOpen, "The index file \"" + name + "\" is already open.");
  }
  if (!storage::Exists(file.string(), err::kIndexIoError)) Fail(err::kIndexIoError, "The index file \"" + name + "\" does not exist.");
  std::vector<size_t> positions = ix.OpenFile(file);
  for (size_t p : positions) {
    uint32_t h = index_api::HandleFor(hTable, cursor, ix.tag(p).id);
    if (filled < capacity) ahIndex[filled++] = h;
  }
  if (pusArrayLen) {
    if (filled < positions.size()) {
      *pusArrayLen = static_cast<UNSIGNED16>(positions.size());
      Fail(err::kInsufficientBuffer, "The index file is open; its " + std::to_string(positions.size()) +
                                         " index orders need a larger array.");
    }
    *pusArrayLen = static_cast<UNSIGNED16>(filled);
  }
  return 0;
}

UNSIGNED32 AdsCloseIndex(ADSHANDLE hIndex) {
  std::shared_ptr<IndexOrder> order = index_api::OrderOf(hIndex);
  IndexOrder::Bound b = order->Resolve();
  uint32_t hTable = core::Handles::OwnerOf(hIndex);
  b.indexes->CloseFile(b.tag->file);
  index_api::DropStaleHandles(hTable, *b.indexes);
  return 0;
}

UNSIGNED32 AdsCloseAllIndexes(ADSHANDLE hTable) {
  std::shared_ptr<table::TableCursor> cursor = table::TableOf(hTable);
  index::TableIndexes& ix = index_api::IndexesOf(*cursor);
  ix.CloseAllOtherFiles();
  index_api::DropStaleHandles(hTable, ix);
  return 0;
}

UNSIGNED32 AdsDeleteIndex(ADSHANDLE hIndex) {
  std::shared_ptr<IndexOrder> order = index_api::OrderOf(hIndex);
  IndexOrder::Bound b = order->Resolve();
  uint32_t hTable = core::Handles::OwnerOf(hIndex);
  b.cursor->FlushPending();
  b.indexes->DeleteTag(b.tag->id);
  index_api::DropStaleHandles(hTable, *b.indexes);
  return 0;
}

UNSIGNED32 AdsReindex61(ADSHANDLE hObject, UNSIGNED32 ulPageSize) {
  uint32_t hTable = index_api::TableHandleOf(hObject);
  std::shared_ptr<table::TableCursor> cursor = table::TableOf(hTable);
  if (ulPageSize != 0 && !index::KeyLayout::ValidPageSize(ulPageSize)) {
    Fail(err::kInvalidIndexPageSize, "The index page size " + std::to_string(ulPageSize) +
                                         " is not a power of two from 512 to 8192.");
  }
  cursor->FlushPending();
  index::RebuildOptions options;
  options.progress = [](unsigned percent) { return table::ReportProgress(static_cast<uint16_t>(percent)); };
  index::TableIndexes& ix = index_api::IndexesOf(*cursor);
  ix.Rebuild(ulPageSize, options);
  index_api::DropStaleHandles(hTable, ix);
  cursor->InvalidateCache();
  return 0;
}

}  // namespace engine::api
