#include "engine/sql/session.h"

#include <filesystem>

#include "engine/core/codepage.h"
#include "engine/core/host_path.h"
#include "engine/dict/dictionary.h"
#include "engine/sql/catalog.h"
#include "engine/sql/sql_error.h"
#include "engine/sql/sql_text.h"
#include "engine/sql/table_vtab.h"
#include "engine/storage/sqlite_vfs.h"
#include "engine/table/api/table_handles.h"
#include "engine/table/table.h"

namespace engine::sql {

namespace {

std::mutex gSessionsMutex;
// One session per connection handle while any statement holds it. Handles are never reused,
// so an expired entry can never be mistaken for a newer connection's.
std::map<uint32_t, std::weak_ptr<Session>> gSessions;

std::string Key(const std::string& database, const std::string& table) {
  return Upper(database) + "." + Upper(table);
}

// SQL text for an identifier: double quotes, inner ones doubled.
std::string Quoted(const std::string& name) {
  std::string out = "\"";
  for (char c : name) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

// Statements reach SQLite only to read and change the engine's tables through the virtual
// tables. Anything that would make or change objects of SQLite's own (tables, views,
// triggers, attached files, settings) would live only in the connection's scratch database and
// vanish unseen, so it is refused; the session's own virtual tables are made while
// `internal` is set.
int Authorize(void* p, int action, const char*, const char*, const char*, const char*) {
  auto* internal = static_cast<bool*>(p);
  switch (action) {
    case SQLITE_CREATE_VTABLE:
    case SQLITE_DROP_VTABLE:
      return *internal ? SQLITE_OK : SQLITE_DENY;
    case SQLITE_ATTACH:
    case SQLITE_DETACH:
    case SQLITE_PRAGMA:
    case SQLITE_ALTER_TABLE:
    case SQLITE_CREATE_INDEX:
    case SQLITE_CREATE_TABLE:
    case SQLITE_CREATE_TEMP_INDEX:
    case SQLITE_CREATE_TEMP_TABLE:
    case SQLITE_CREATE_TEMP_TRIGGER:
    case SQLITE_CREATE_TEMP_VIEW:
    case SQLITE_CREATE_TRIGGER:
    case SQLITE_CREATE_VIEW:
    case SQLITE_DROP_INDEX:
    case SQLITE_DROP_TABLE:
    case SQLITE_DROP_TEMP_INDEX:
    case SQLITE_DROP_TEMP_TABLE:
    case SQLITE_DROP_TEMP_TRIGGER:
    case SQLITE_DROP_TEMP_VIEW:
    case SQLITE_DROP_TRIGGER:
    case SQLITE_DROP_VIEW:
    case SQLITE_ANALYZE:
    case SQLITE_REINDEX:
      return *internal ? SQLITE_OK : SQLITE_DENY;
    default:
      return SQLITE_OK;
  }
}

// Sets `flag` for its lifetime.
struct InternalScope {
  bool& flag;
  explicit InternalScope(bool& f) : flag(f) { flag = true; }
  ~InternalScope() { flag = false; }
};

void Exec(sqlite3* db, const std::string& sql) {
  int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) FailFromSqlite(db, rc);
}

}  // namespace

std::shared_ptr<Session> Session::For(uint32_t connection) {
  core::Connections::Get(connection);  // 5024 for a bad handle
  std::lock_guard<std::mutex> lock(gSessionsMutex);
  for (auto it = gSessions.begin(); it != gSessions.end();) {
    it = it->second.expired() ? gSessions.erase(it) : std::next(it);
  }
  std::shared_ptr<Session> s = gSessions[connection].lock();
  if (!s) {
    s = std::make_shared<Session>(connection);
    gSessions[connection] = s;
  }
  return s;
}

Session::Session(uint32_t connection) : connection_(connection) {
  // The statements' own work files (large sorts) go through the engine's storage too.
  int rc = sqlite3_open_v2(":memory:", &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                           storage::SqliteVfsName());
  if (rc != SQLITE_OK) {
    std::string msg = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
    sqlite3_close(db_);
    db_ = nullptr;
    FailSql(native::kOther, "The SQL engine could not start: " + msg + ".");
  }
  sqlite3_extended_result_codes(db_, 1);
  sqlite3_set_authorizer(db_, Authorize, &internal_);
  InternalScope scope(internal_);
  RegisterTableModule(db_, this);
  Exec(db_, "ATTACH DATABASE ':memory:' AS system");
  CreateCatalog(db_, this);
}

Session::~Session() { sqlite3_close_v2(db_); }

std::shared_ptr<core::Connection> Session::Connection() const { return core::Connections::Get(connection_); }

std::optional<ResolvedTable> Session::Resolve(const std::string& name, const std::string* opened) const {
  if (name.empty()) return std::nullopt;
  std::shared_ptr<core::Connection> c = Connection();
  std::string ansi = core::Utf8ToAnsi(name);
  ResolvedTable r;
  const bool onDictionary = c->is_dictionary && c->dictionary;
  auto fromDictionary = [&](const dict::TableEntry& entry) {
    r.name = entry.name;
    r.windowsPath = c->dictionary->TableWindowsPath(entry);
    r.hostPath = opened && core::MapsAsWritten(r.windowsPath, *opened) ? *opened : c->dictionary->TableHostPath(entry);
    r.inDictionary = true;
    if (!c->is_administrator) {
      r.rights = c->dictionary->RightsOf(c->user, dict::ObjectType::kTable, entry.name);
      r.columnRights = c->dictionary->ColumnRightsOf(c->user, entry.name);
      r.checkRights = true;
    }
    return r;
  };
  bool plainName = ansi.find_first_of("\\/:") == std::string::npos;
  if (onDictionary && plainName) {
    std::optional<dict::TableEntry> entry = c->dictionary->FindTable(ansi);
    if (!entry) return std::nullopt;
    return fromDictionary(*entry);
  }
  std::string host;
  std::error_code ec;
  try {
    r.windowsPath = table::TableWindowsPath(connection_, ansi);
    if (opened && core::MapsAsWritten(r.windowsPath, *opened)) {
      host = *opened;  // the file was just opened under that name
    } else {
      host = table::TableHostPath(connection_, ansi, &r.windowsPath);
      if (!std::filesystem::is_regular_file(host, ec)) {
        // A name without extension names a free DBF table when only its ".dbf" file is there.
        if (table::TableWindowsPath(connection_, ansi, table::TableType::kNtx) == r.windowsPath) return std::nullopt;
        host = table::TableHostPath(connection_, ansi, &r.windowsPath, table::TableType::kNtx);
        if (!std::filesystem::is_regular_file(host, ec)) return std::nullopt;
      }
    }
  } catch (const EngineError&) {
    return std::nullopt;  // a name that cannot be a path names no table
  }
  if (onDictionary) {
    // A path to the file of one of the dictionary's tables is that table, with its rights.
    for (const dict::TableEntry& entry : c->dictionary->Tables()) {
      std::string entryHost;
      if (!core::ToHostPath(c->dictionary->TableWindowsPath(entry), &entryHost).ok()) continue;
      if (std::filesystem::equivalent(host, entryHost, ec)) return fromDictionary(entry);
    }
  }
  r.name = ansi;
  r.hostPath = host;
  if (onDictionary) {
    // Any other file lies outside the dictionary: only its administrators may use it.
    r.outsideDictionary = true;
    if (!c->is_administrator && !c->dictionary->IsAdministrator(c->user)) {
      r.rights = 0;
      r.checkRights = true;
    }
  }
  return r;
}

void RequireReachable(const ResolvedTable& table) {
  if (table.outsideDictionary && table.checkRights) {
    Fail(err::kPermissionDenied, "The table \"" + table.name +
                                     "\" lies outside the data dictionary; only the administrator and members of the "
                                     "group \"" + std::string(dict::kAdministratorsGroup) + "\" may use it.");
  }
}

void Session::ApplyPassword(table::Table& file, const ResolvedTable& table) const {
  if (!file.encrypted()) return;
  auto byName = [&](const std::string& name) -> const std::string* {
    auto it = tablePasswords.find(core::AsciiUpper(name));
    return it == tablePasswords.end() ? nullptr : &it->second;
  };
  // The application may name the table as the dictionary does, or by its file.
  const std::string* password = byName(table.name);
  if (!password) password = byName(core::FromHostName(std::filesystem::path(table.hostPath).stem().string()));
  if (!password && encryptionPassword) password = &*encryptionPassword;
  if (!password || password->empty()) return;
  file.EnableEncryption(*password, table::CipherKind::kAes256Gcm);
}

bool Session::AttachTable(const std::string& name) {
  std::optional<ResolvedTable> resolved = Resolve(name);
  if (!resolved) return false;
  std::string sql = "CREATE VIRTUAL TABLE main." + Quoted(name) + " USING engine_table(" + Quoted(name) + ")";
  InternalScope scope(internal_);
  attaching_.emplace(name, std::move(*resolved));
  int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
  attaching_.reset();
  if (rc != SQLITE_OK) {
    if (std::optional<EngineError> e = TakePendingError()) throw *e;
    FailFromSqlite(db_, rc);
  }
  attached_.push_back(name);
  return true;
}

std::optional<ResolvedTable> Session::ResolveForAttach(const std::string& name) const {
  if (attaching_ && attaching_->first == name) return attaching_->second;
  return Resolve(name);
}

void Session::ForgetTables() {
  EndStatement();
  InternalScope scope(internal_);
  for (const std::string& name : attached_) {
    std::string sql = "DROP TABLE IF EXISTS main." + Quoted(name);
    sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);  // dropping a virtual table only forgets it
    columns_.erase(Key("main", name));
  }
  attached_.clear();
  pending_.reset();
}

void Session::ForgetTable(const std::string& name) {
  for (auto it = attached_.begin(); it != attached_.end(); ++it) {
    if (Upper(*it) != Upper(name)) continue;
    InternalScope scope(internal_);
    std::string sql = "DROP TABLE IF EXISTS main." + Quoted(*it);
    sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
    columns_.erase(Key("main", *it));
    attached_.erase(it);
    return;
  }
}

void Session::EndStatement() {
  // A hook may not add or remove hooks, so the map is walked as it stands.
  for (auto& [owner, hooks] : hooks_) hooks.endStatement();
  pending_.reset();
  stale_.reset();
}

void Session::AddTableHooks(const void* owner, const std::string& name, std::function<void()> endStatement,
                            std::function<bool()> isStale) {
  hooks_[owner] = TableHooks{name, std::move(endStatement), std::move(isStale)};
}

void Session::RemoveTableHooks(const void* owner) { hooks_.erase(owner); }

bool Session::ForgetChangedTables() {
  std::vector<std::string> changed;
  for (auto& [owner, hooks] : hooks_) {
    if (hooks.isStale()) changed.push_back(hooks.name);
  }
  if (changed.empty()) return false;
  EndStatement();
  for (const std::string& name : changed) ForgetTable(name);
  return true;
}

std::optional<std::string> Session::TakeStale() {
  std::optional<std::string> s = std::move(stale_);
  stale_.reset();
  return s;
}

const std::vector<table::FieldSpec>* Session::ColumnsOf(const std::string& database, const std::string& table) const {
  auto it = columns_.find(Key(database, table));
  return it == columns_.end() ? nullptr : &it->second;
}

void Session::SetColumns(const std::string& database, const std::string& table, std::vector<table::FieldSpec> columns) {
  columns_[Key(database, table)] = std::move(columns);
}

std::optional<EngineError> Session::TakePendingError() {
  std::optional<EngineError> e = std::move(pending_);
  pending_.reset();
  return e;
}

}  // namespace engine::sql
