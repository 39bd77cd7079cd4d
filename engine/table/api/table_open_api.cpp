// Entry points that create, open, close, delete, restructure, pack and zap native tables,
// describe an open table, and set its caching; and the progress callback.

#include <atomic>
#include <mutex>
#include <filesystem>
#include <map>

#include "engine/core/connection.h"
#include "engine/core/error.h"
#include "engine/core/host_path.h"
#include "engine/core/text_out.h"
#include "engine/dict/dictionary.h"
#include "engine/storage/storage.h"
#include "engine/index/expression_keys.h"
#include "engine/index/table_indexes.h"
#include "engine/index/table_key_fields.h"
#include "engine/index/table_reindex.h"
#include "engine/table/api/field_values.h"
#include "engine/table/api/table_handles.h"
#include "engine/table/field_def_parser.h"
#include "engine/table/table_files.h"
#include "engine_api/entry_points.h"

namespace engine::table {

namespace {

std::atomic<ADS_PROGRESS_CALLBACK> gProgress{nullptr};
// The callback function registered with an identifier (32-bit or 64-bit form); one at a time.
struct IdentifiedCallback {
  ADS_CALLBACK_FUNCTION fn32 = nullptr;
  ADS_CALLBACK_FUNCTION101 fn64 = nullptr;
  int64_t id = 0;
};
std::mutex gCallbackMutex;
IdentifiedCallback gCallback;
std::atomic<uint16_t> gCacheOpenTables{0};
std::atomic<uint16_t> gCacheOpenCursors{0};

constexpr uint16_t kNativeTableType = 3;
constexpr uint32_t kOpenExclusive = 0x1;
constexpr uint32_t kOpenReadOnly = 0x2;

// The table type an entry point's code names; nullopt for 0 (the dictionary's or the
// connection's choice).
std::optional<TableType> CheckTableType(uint16_t code) {
  if (code == 0) return std::nullopt;
  std::optional<TableType> type = TableTypeOf(code);
  if (!type) Fail(err::kInvalidArgument, "Table type " + std::to_string(code) + " is unknown (1 NTX, 2 CDX, 3 ADT, 4 VFP).");
  return type;
}

// The type a free table of the connection is taken to have when the caller names none: the
// connection's TableType, else native.
TableType DefaultTableType(uint32_t connection) {
  if (connection != 0) {
    std::optional<TableType> t = TableTypeOf(core::Connections::Get(connection)->default_table_type);
    if (t) return *t;
  }
  return TableType::kAdt;
}

void CheckCharType(uint16_t charType) {
  if (charType > 2 && charType < 70) return;  // the collation character types: kept as given
  if (charType > 118) Fail(err::kInvalidArgument, "Character type " + std::to_string(charType) + " is unknown.");
}

ProgressFn ProgressForCall() {
  return [](uint16_t percent) { return ReportProgress(percent); };
}

}  // namespace

bool ReportProgress(uint16_t percent) {
  // A non-zero answer of either callback asks to stop.
  IdentifiedCallback identified;
  {
    std::lock_guard<std::mutex> lock(gCallbackMutex);
    identified = gCallback;
  }
  if (identified.fn32 && identified.fn32(percent, static_cast<UNSIGNED32>(identified.id)) != 0) return false;
  if (identified.fn64 && identified.fn64(percent, identified.id) != 0) return false;
  ADS_PROGRESS_CALLBACK cb = gProgress.load();
  if (!cb) return true;
  return cb(percent) == 0;
}

std::unique_ptr<Table> OpenForUndo(const std::string& host) {
  std::unique_ptr<Table> t = Table::Open(host, {});
  index::TableIndexes::Attach(*t);
  return t;
}

}  // namespace engine::table

namespace engine::api {

using table::CursorInfo;
using table::TableCursor;

namespace {

// Opens the table file at `host` as a table of `type` (unset: the file says) and registers its
// cursor on `connection`.
ADSHANDLE RegisterOpen(ADSHANDLE connection, const std::string& name, const std::string& host,
                       const std::string& windowsPath, std::optional<table::TableType> type, uint32_t options,
                       uint16_t lockType, bool checkRights, uint32_t rights = dict::rights::kAll,
                       const std::string& collation = {}, const std::map<std::string, uint32_t>& columnRights = {}) {
  if (checkRights && !(rights & dict::rights::kRead)) {
    Fail(err::kPermissionDenied, "Read permission not granted on the table \"" + name + "\".");
  }
  table::Table::OpenOptions o;
  o.exclusive = options & table::kOpenExclusive;
  o.readOnly = options & table::kOpenReadOnly;
  o.type = type;
  std::unique_ptr<table::Table> t = table::Table::Open(host, o);
  index::TableIndexes::Attach(*t, collation, options);
  // What a transaction whose process died left in the table is undone before anyone reads it.
  if (!o.readOnly) table::RecoverAbandonedTransactions(*t);
  CursorInfo info;
  info.connection = connection;
  info.name = name;
  info.windowsPath = windowsPath;
  info.collation = t->properties().collation;
  info.charType = t->properties().charType;
  info.lockType = lockType;
  info.checkRights = checkRights;
  info.options = (o.exclusive ? table::kOptExclusive : 0) | (o.readOnly ? table::kOptReadOnly : 0);
  if (!o.readOnly) {
    bool all = !checkRights;
    if (all || (rights & dict::rights::kUpdate)) info.options |= table::kOptUpdateGranted;
    if (all || (rights & dict::rights::kInsert)) info.options |= table::kOptInsertGranted;
    if (all || (rights & dict::rights::kDelete)) info.options |= table::kOptDeleteGranted;
    if (!all && !columnRights.empty()) info.columnOptions = table::ColumnOptionsOf(t->schema(), columnRights);
  }
  auto cursor = std::make_shared<TableCursor>(std::move(t), std::move(info));
  return core::Handles::Add(core::Kind::kTable, cursor, connection);
}

// Where a table name leads on a connection: a dictionary connection knows its tables by name;
// a path, or a name on a free connection, names the file. *rights receives the user's rights
// on a dictionary table (all rights otherwise).
// *type is the type asked for; a dictionary table takes its dictionary's type.
std::string ResolveOpenPath(ADSHANDLE connection, const std::string& name, std::string* windowsPath,
                            std::optional<table::TableType>* type, uint32_t* rights = nullptr,
                            std::map<std::string, uint32_t>* columnRights = nullptr) {
  if (rights) *rights = dict::rights::kAll;
  if (connection != 0) {
    std::shared_ptr<core::Connection> c = core::Connections::Get(connection);
    bool plainName = name.find_first_of("\\/:") == std::string::npos;
    if (c->is_dictionary && c->dictionary && plainName) {
      dict::TableEntry entry = c->dictionary->GetTable(name);  // 5132 when absent
      std::optional<table::TableType> stored = table::TableTypeOf(entry.type);
      if (entry.type != 0 && !stored) {
        Fail(err::kInvalidArgument, "The table \"" + name + "\" is of type " + std::to_string(entry.type) +
                                        ", which this engine does not open.");
      }
      if (type) *type = stored ? *stored : table::TableType::kAdt;
      if (rights && !c->is_administrator) *rights = c->dictionary->RightsOf(c->user, dict::ObjectType::kTable, entry.name);
      if (columnRights && !c->is_administrator) *columnRights = c->dictionary->ColumnRightsOf(c->user, entry.name);
      if (windowsPath) *windowsPath = c->dictionary->TableWindowsPath(entry);
      return c->dictionary->TableHostPath(entry);
    }
  }
  table::TableType wanted = type && *type ? **type : table::DefaultTableType(connection);
  std::string host = table::TableHostPath(connection, name, windowsPath, wanted);
  // A free table opened without a type: the connection's TableType when it names a DBF type,
  // else whatever its file is.
  if (type && !*type && wanted != table::TableType::kAdt) *type = wanted;
  return host;
}

}  // namespace

UNSIGNED32 AdsCreateTable90(ADSHANDLE hConnect, UNSIGNED8* pucName, UNSIGNED8* pucDBObjName, UNSIGNED16 usTableType,
                            UNSIGNED16 usCharType, UNSIGNED16 usLockType, UNSIGNED16 usCheckRights,
                            UNSIGNED16 usMemoSize, UNSIGNED8* pucFields, UNSIGNED32 ulOptions, UNSIGNED8* pucCollation,
                            ADSHANDLE* phTable) {
  core::Require(pucName, "pucName");
  core::Require(pucFields, "pucFields");
  core::Require(phTable, "phTable");
  std::optional<table::TableType> requested = table::CheckTableType(usTableType);
  table::CheckCharType(usCharType);
  (void)pucDBObjName;
  const table::TableType type = requested ? *requested : table::DefaultTableType(hConnect);
  std::string name = core::InText(pucName);
  std::vector<table::FieldSpec> specs = table::ParseFieldDefinitions(core::InText(pucFields));
  table::Schema schema = type == table::TableType::kAdt ? table::Schema::FromSpecs(specs) : table::Schema::FromDbfSpecs(specs, type);
  std::string windowsPath;
  std::string host = table::TableHostPath(hConnect, name, &windowsPath, type);
  table::Table::CreateOptions co;
  co.memoBlockSize = usMemoSize;
  co.charType = usCharType == 2 ? 2 : 1;
  co.collation = core::InText(pucCollation);
  table::Table::Create(host, schema, co);
  // On a dictionary connection the table joins the dictionary unless it is asked to be free.
  constexpr uint32_t kFreeTable = 0x00001000;
  if (hConnect != 0) {
    std::shared_ptr<core::Connection> c = core::Connections::Get(hConnect);
    if (c->is_dictionary && c->dictionary && !(ulOptions & kFreeTable)) {
      dict::TableEntry entry;
      entry.name = core::InText(pucDBObjName);
      if (entry.name.empty()) entry.name = core::FromHostName(std::filesystem::path(host).stem().string());
      // A table beside the dictionary is listed by its file name, as SQL's CREATE TABLE lists
      // it, so that the installation can be moved or copied as a whole; one elsewhere by its path.
      const bool beside = storage::FolderOf(host) == storage::FolderOf(c->dictionary->hostPath());
      entry.path = beside ? core::FromHostName(std::filesystem::path(host).filename().string()) : windowsPath;
      entry.type = TableTypeCode(type);
      entry.char_type = co.charType;
      try {
        if (c->dictionary->FindTable(entry.name)) c->dictionary->RemoveTable(entry.name);
        c->dictionary->AddTable(entry);
      } catch (const EngineError&) {
        try {
          table_files::RemoveTable(host);
        } catch (const EngineError&) {
          // The table's files stay; the failure reported is the one that stopped the creation.
        }
        throw;
      }
    }
  }
  *phTable = RegisterOpen(hConnect, name, host, windowsPath, type, table::kOpenExclusive, usLockType, usCheckRights != 2);
  return 0;
}

UNSIGNED32 AdsOpenTable90(ADSHANDLE hConnect, UNSIGNED8* pucName, UNSIGNED8* pucAlias, UNSIGNED16 usTableType,
                          UNSIGNED16 usCharType, UNSIGNED16 usLockType, UNSIGNED16 usCheckRights, UNSIGNED32 ulOptions,
                          UNSIGNED8* pucCollation, ADSHANDLE* phTable) {
  core::Require(pucName, "pucName");
  core::Require(phTable, "phTable");
  std::optional<table::TableType> type = table::CheckTableType(usTableType);
  table::CheckCharType(usCharType);
  (void)pucAlias;
  std::string name = core::InText(pucName);
  std::string windowsPath;
  uint32_t rights = 0;
  std::map<std::string, uint32_t> columnRights;
  std::string host = ResolveOpenPath(hConnect, name, &windowsPath, &type, &rights, &columnRights);
  *phTable = RegisterOpen(hConnect, name, host, windowsPath, type,
                          ulOptions & (table::kOpenExclusive | table::kOpenReadOnly | index::kOpenRebuildOnCollationMismatch |
                                       index::kOpenIgnoreCollationMismatch),
                          usLockType, usCheckRights != 2, rights, core::InText(pucCollation), columnRights);
  return 0;
}

UNSIGNED32 AdsCloseTable(ADSHANDLE hTable) {
  core::Kind kind = core::Handles::KindOf(hTable);
  if (kind != core::Kind::kTable && kind != core::Kind::kCursor) {
    Fail(err::kInvalidHandle, "AdsCloseTable needs a table or cursor handle.");
  }
  std::shared_ptr<TableCursor> cursor = table::TableOf(hTable);
  try {
    cursor->FlushPending();
    // Whatever is pending is committed here, where a failure can still be reported (inside a
    // transaction it waits for the transaction).
    if (!table::InTransaction(cursor->info().connection)) cursor->table().Commit();
  } catch (const EngineError&) {
    core::Handles::Remove(hTable, kind);
    throw;
  }
  core::Handles::Remove(hTable, kind);
  return 0;
}

UNSIGNED32 AdsDeleteTable(ADSHANDLE hTable) {
  std::shared_ptr<TableCursor> cursor = table::TableOf(hTable);
  table::Table& t = cursor->table();
  if (!t.exclusive()) {
    Fail(err::kExclusiveRequired, "The table \"" + cursor->info().name + "\" must be open exclusively to delete it.");
  }
  // A change in progress goes with the table; without one there is nothing to drop.
  if (cursor->pending()) cursor->CancelUpdate();
  std::string path = t.path();
  core::Handles::Remove(hTable, core::Kind::kTable);
  table_files::RemoveTable(path);
  return 0;
}

UNSIGNED32 AdsRestructureTable90(ADSHANDLE hObj, UNSIGNED8* pucName, UNSIGNED8* pucPassword, UNSIGNED16 usTableType,
                                 UNSIGNED16 usCharType, UNSIGNED16 usLockType, UNSIGNED16 usCheckRights,
                                 UNSIGNED8* pucAddFields, UNSIGNED8* pucDeleteFields, UNSIGNED8* pucChangeFields,
                                 UNSIGNED32 ulOptions, UNSIGNED8* pucCollation) {
  core::Require(pucName, "pucName");
  std::optional<table::TableType> type = table::CheckTableType(usTableType);
  (void)pucPassword, (void)usCharType, (void)usLockType, (void)usCheckRights, (void)ulOptions, (void)pucCollation;
  std::string name = core::InText(pucName);
  std::string windowsPath;
  std::string host = ResolveOpenPath(hObj, name, &windowsPath, &type);
  // The structural index holds keys made from the old fields. Every tag must still work with
  // the new ones (a tag on a deleted or renamed field is refused, nothing changes); the index
  // file goes just before the new table takes the old one's place, so that a crash from then
  // until the rebuild leaves an index that is missing (rebuilt by the next exclusive open)
  // rather than one that lies.
  bool hasTags = false;
  auto checkTags = [&](const table::Schema& next, const std::vector<table::TagDefinition>& tags) {
    index::TableFields fields(next);
    for (const table::TagDefinition& tag : tags) {
      try {
        index::ExpressionKeys keys(tag.expression, tag.condition, fields);
      } catch (const EngineError& e) {
        Fail(e.code(), "The index tag \"" + tag.name + "\" of \"" + name + "\" cannot be kept with the new fields (" +
                           e.what() + "); delete the tag first.");
      }
    }
    hasTags = !tags.empty();
  };
  auto rebuild = [&]() {
    table::Table::OpenOptions exclusive;
    exclusive.exclusive = true;
    std::unique_ptr<table::Table> t = table::Table::Open(host, exclusive);
    index::ReindexTable(*t);
  };
  try {
    table::Table::Restructure(host, core::InText(pucAddFields), core::InText(pucDeleteFields), core::InText(pucChangeFields),
                       table::ProgressForCall(), checkTags);
  } catch (...) {
    if (hasTags && !storage::Exists(table_files::IndexPath(host))) {
      try {
        rebuild();  // the table stayed as it was: it gets its index back
      } catch (const EngineError&) {
        // The restructure's failure is the one to report; a later reindex repairs the index.
      }
    }
    throw;
  }
  if (hasTags) rebuild();
  return 0;
}

namespace {
void RefuseInTransaction(const TableCursor& cursor, const char* what) {
  if (table::InTransaction(cursor.info().connection)) {
    Fail(err::kInTransaction, std::string("The table \"") + cursor.info().name + "\" cannot be " + what +
                                  " during a transaction.");
  }
}
}  // namespace

UNSIGNED32 AdsPackTable(ADSHANDLE hTable) {
  std::shared_ptr<TableCursor> cursor = table::TableOf(hTable);
  RefuseInTransaction(*cursor, "packed");
  cursor->FlushPending();
  cursor->table().Pack(table::ProgressForCall());
  cursor->InvalidateCache();
  cursor->GotoTop(nullptr);
  return 0;
}

UNSIGNED32 AdsZapTable(ADSHANDLE hTable) {
  std::shared_ptr<TableCursor> cursor = table::TableOf(hTable);
  RefuseInTransaction(*cursor, "zapped");
  if (cursor->pending()) cursor->CancelUpdate();
  cursor->table().Zap();
  cursor->InvalidateCache();
  cursor->GotoTop(nullptr);
  return 0;
}

UNSIGNED32 AdsFlushFileBuffers(ADSHANDLE hTable) {
  std::shared_ptr<TableCursor> cursor = table::TableOf(hTable);
  cursor->FlushPending();
  cursor->table().Commit();
  return 0;
}

UNSIGNED32 AdsCacheRecords(ADSHANDLE hTable, UNSIGNED16 usNumRecords) {
  table::CursorOf(hTable)->SetCacheSize(usNumRecords);
  return 0;
}

// Tables and cursors are closed when their handle is closed; these settings are kept and
// reported but no closed table is held open.
UNSIGNED32 AdsCacheOpenTables(UNSIGNED16 usOpen) {
  table::gCacheOpenTables.store(usOpen);
  return 0;
}

UNSIGNED32 AdsCacheOpenCursors(UNSIGNED16 usOpen) {
  table::gCacheOpenCursors.store(usOpen);
  return 0;
}

UNSIGNED32 AdsCloseCachedTables(ADSHANDLE hConnect) {
  core::Connections::Get(hConnect);
  return 0;
}

UNSIGNED32 AdsGetTableConnection(ADSHANDLE hTable, ADSHANDLE* phConnect) {
  uint32_t connection = table::CursorOf(hTable)->info().connection;
  core::Out(phConnect, connection, "phConnect");
  if (connection == 0) Fail(err::kNoConnectionForHandle, "The table was opened without a connection.");
  return 0;
}

UNSIGNED32 AdsGetTableType(ADSHANDLE hTable, UNSIGNED16* pusType) {
  table::CursorOf(hTable);
  core::Out(pusType, TableTypeCode(table::CursorOf(hTable)->table().type()), "pusType");
  return 0;
}

UNSIGNED32 AdsGetTableCharType(ADSHANDLE hTable, UNSIGNED16* pusCharType) {
  core::Out(pusCharType, table::CursorOf(hTable)->info().charType, "pusCharType");
  return 0;
}

UNSIGNED32 AdsGetTableCollation(ADSHANDLE hTable, UNSIGNED8* pucCollation, UNSIGNED16* pusLen) {
  return core::TextOut(table::CursorOf(hTable)->info().collation, pucCollation, pusLen);
}

UNSIGNED32 AdsGetTableFilename(ADSHANDLE hTable, UNSIGNED16 usOption, UNSIGNED8* pucName, UNSIGNED16* pusLen) {
  return table::FileNameOut(table::CursorOf(hTable)->info().windowsPath, usOption, pucName, pusLen, "AdsGetTableFilename");
}

UNSIGNED32 AdsGetTableMemoSize(ADSHANDLE hTable, UNSIGNED16* pusMemoSize) {
  core::Out(pusMemoSize, table::CursorOf(hTable)->table().properties().memoBlockSize, "pusMemoSize");
  return 0;
}

UNSIGNED32 AdsGetTableOpenOptions(ADSHANDLE hTable, UNSIGNED32* pulOptions) {
  core::Out(pulOptions, table::CursorOf(hTable)->info().options, "pulOptions");
  return 0;
}

UNSIGNED32 AdsShowDeleted(UNSIGNED16 bShowDeleted) {
  table::SetShowDeleted(bShowDeleted != 0);
  return 0;
}

UNSIGNED32 AdsRegisterProgressCallback(ADS_PROGRESS_CALLBACK pfn) {
  table::gProgress.store(pfn);
  return 0;
}

UNSIGNED32 AdsClearProgressCallback() {
  table::gProgress.store(nullptr);
  return 0;
}

UNSIGNED32 AdsRegisterCallbackFunction(ADS_CALLBACK_FUNCTION pfn, UNSIGNED32 ulCallbackID) {
  std::lock_guard<std::mutex> lock(table::gCallbackMutex);
  table::gCallback = {pfn, nullptr, ulCallbackID};
  return 0;
}

UNSIGNED32 AdsRegisterCallbackFunction101(ADS_CALLBACK_FUNCTION101 pfn, SIGNED64 qCallbackID) {
  std::lock_guard<std::mutex> lock(table::gCallbackMutex);
  table::gCallback = {nullptr, pfn, qCallbackID};
  return 0;
}

UNSIGNED32 AdsClearCallbackFunction() {
  std::lock_guard<std::mutex> lock(table::gCallbackMutex);
  table::gCallback = {};
  return 0;
}

}  // namespace engine::api
