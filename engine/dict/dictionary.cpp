#include "engine/dict/dictionary.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "engine/core/codepage.h"
#include "engine/core/error.h"
#include "engine/core/host_path.h"
#include "engine/dict/password_hash.h"
#include "engine/dict/sqlite_db.h"
#include "engine/storage/storage.h"
#include "platform/paths.h"

namespace engine::dict {
namespace {

constexpr const char* kFormatName = "Quenlor data dictionary";
constexpr int kFormatVersion = 1;

// The schema; docs/formats.md "Data dictionary" describes every table and column.
constexpr const char* kSchema = R"sql(
CREATE TABLE dd_meta(key TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE dd_properties(id INTEGER PRIMARY KEY, value BLOB NOT NULL);
CREATE TABLE dd_tables(
  name TEXT PRIMARY KEY COLLATE NOCASE,
  path TEXT NOT NULL,
  table_type INTEGER NOT NULL,
  char_type INTEGER NOT NULL,
  default_index TEXT NOT NULL DEFAULT '',
  primary_key TEXT NOT NULL DEFAULT '',
  index_files TEXT NOT NULL DEFAULT '',
  comment TEXT NOT NULL DEFAULT '');
CREATE TABLE dd_users(
  name TEXT PRIMARY KEY COLLATE NOCASE,
  salt BLOB,
  hash BLOB,
  iterations INTEGER NOT NULL DEFAULT 0,
  comment TEXT NOT NULL DEFAULT '');
CREATE TABLE dd_groups(name TEXT PRIMARY KEY COLLATE NOCASE, comment TEXT NOT NULL DEFAULT '');
CREATE TABLE dd_members(
  group_name TEXT NOT NULL COLLATE NOCASE REFERENCES dd_groups(name) ON DELETE CASCADE ON UPDATE CASCADE,
  user_name TEXT NOT NULL COLLATE NOCASE REFERENCES dd_users(name) ON DELETE CASCADE ON UPDATE CASCADE,
  PRIMARY KEY(group_name, user_name));
CREATE TABLE dd_rights(
  object_type INTEGER NOT NULL,
  object_name TEXT NOT NULL COLLATE NOCASE,
  grantee TEXT NOT NULL COLLATE NOCASE,
  rights INTEGER NOT NULL,
  PRIMARY KEY(object_type, object_name, grantee));
CREATE TABLE dd_links(
  alias TEXT PRIMARY KEY COLLATE NOCASE,
  path TEXT NOT NULL,
  user_name TEXT NOT NULL DEFAULT '',
  password TEXT NOT NULL DEFAULT '',
  options INTEGER NOT NULL DEFAULT 0);
CREATE TABLE dd_procedures(
  name TEXT PRIMARY KEY COLLATE NOCASE,
  container TEXT NOT NULL DEFAULT '',
  proc_name TEXT NOT NULL DEFAULT '',
  comment TEXT NOT NULL DEFAULT '');
)sql";

const char* TypeWord(ObjectType t) {
  switch (t) {
    case ObjectType::kTable: return "table";
    case ObjectType::kColumn: return "column";
    case ObjectType::kUser: return "user";
    case ObjectType::kGroup: return "group";
    case ObjectType::kProcedure: return "procedure";
    case ObjectType::kLink: return "link";
  }
  return "object";
}

[[noreturn]] void NotThere(ObjectType t, const std::string& name) {
  Fail(err::kNotInDictionary, std::string("The ") + TypeWord(t) + " \"" + name + "\" is not in the data dictionary.");
}

// Table and key column of each object type.
struct ObjectTable {
  const char* table;
  const char* column;
};
ObjectTable TableOf(ObjectType t) {
  switch (t) {
    case ObjectType::kTable: return {"dd_tables", "name"};
    case ObjectType::kUser: return {"dd_users", "name"};
    case ObjectType::kGroup: return {"dd_groups", "name"};
    case ObjectType::kProcedure: return {"dd_procedures", "name"};
    case ObjectType::kLink: return {"dd_links", "alias"};
    case ObjectType::kColumn: break;  // columns are objects of rights only, kept with their table
  }
  Fail(err::kInvalidArgument, "Unknown dictionary object type.");
}

bool IsRelative(const std::string& path) {
  if (path.empty()) return true;
  if (path[0] == '\\' || path[0] == '/') return false;
  if (path.size() >= 2 && path[1] == ':') return false;
  return true;
}

// The folder's own separator: a dictionary opened by a host path names its tables as host paths.
std::string Join(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  char last = folder.back();
  if (last == '\\' || last == '/') return folder + name;
  const bool hostForm = folder.find('/') != std::string::npos && folder.find('\\') == std::string::npos;
  return folder + (hostForm ? "/" : "\\") + name;
}

}  // namespace

Dictionary::Dictionary(Key, std::unique_ptr<SqliteDb> db, std::string host_path, std::string windows_path)
    : db_(std::move(db)), host_path_(std::move(host_path)), windows_path_(std::move(windows_path)) {}

Dictionary::~Dictionary() = default;

void Dictionary::Create(const std::string& host_path, const std::string& description,
                        const std::string& admin_password) {
  if (storage::Exists(host_path)) {
    Fail(err::kAlreadyExists, "The data dictionary " + host_path + " cannot be created: the file exists.");
  }
  // Build the new dictionary beside its final name, then link it into place: a link refuses to
  // replace an existing file, so a file created meanwhile by someone else is never overwritten.
  std::string temp = host_path + ".creating." + std::to_string(::getpid());
  storage::Current().Remove(temp);
  int code = 0;
  int hostError = 0;
  std::string message;
  {
    auto db = SqliteDb::Open(temp, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, &code, &message, &hostError);
    if (!db) {
      Fail(FailureCode(code, hostError, err::kFileFailure),
           "The data dictionary " + host_path + " cannot be created: " + message);
    }
    try {
      db->Exec("BEGIN");
      db->Exec(kSchema);
      SqliteStmt meta(*db, "INSERT INTO dd_meta(key, value) VALUES (?, ?)");
      meta.Bind(1, std::string("format")).Bind(2, std::string(kFormatName)).Run();
      SqliteStmt meta2(*db, "INSERT INTO dd_meta(key, value) VALUES ('format_version', ?)");
      meta2.Bind(1, std::to_string(kFormatVersion)).Run();
      SqliteStmt prop(*db, "INSERT INTO dd_properties(id, value) VALUES (?, ?)");
      prop.Bind(1, int64_t{111}).Bind(2, std::to_string(kVersionMajor)).Run();
      SqliteStmt prop2(*db, "INSERT INTO dd_properties(id, value) VALUES (?, ?)");
      prop2.Bind(1, int64_t{112}).Bind(2, std::to_string(kVersionMinor)).Run();
      if (!description.empty()) {
        SqliteStmt prop3(*db, "INSERT INTO dd_properties(id, value) VALUES (1, ?)");
        prop3.Bind(1, description).Run();
      }
      SqliteStmt admin(*db, "INSERT INTO dd_users(name, salt, hash, iterations, comment) VALUES (?, ?, ?, ?, ?)");
      admin.Bind(1, std::string(kAdministrator));
      if (admin_password.empty()) {
        admin.BindNull(2).BindNull(3).Bind(4, int64_t{0});
      } else {
        PasswordHash h = HashPassword(admin_password);
        admin.BindBlob(2, h.salt).BindBlob(3, h.hash).Bind(4, int64_t{h.iterations});
      }
      admin.Bind(5, std::string("Administrator")).Run();
      db->Exec("COMMIT");
    } catch (...) {
      db.reset();
      storage::Current().Remove(temp);
      throw;
    }
  }
  // The database is complete on the disk (SQLite synced its commit); its name becomes durable
  // with the folder.
  if (int e = storage::Current().Link(temp, host_path)) {
    storage::Current().Remove(temp);
    if (e == EEXIST) Fail(err::kAlreadyExists, "The data dictionary " + host_path + " cannot be created: the file exists.");
    storage::FailHost(err::kFileFailure, e, "The data dictionary " + host_path + " cannot be created");
  }
  storage::Current().Remove(temp);
  storage::SyncFolderOf(host_path, err::kFileFailure);
}

std::shared_ptr<Dictionary> Dictionary::Open(const std::string& host_path, const std::string& windows_path) {
  storage::FileInfo st;
  if (storage::Current().Stat(host_path, &st) != 0 || !st.exists || st.isFolder) {
    Fail(err::kDataSourceNotFound, "The data dictionary " + windows_path + " does not exist.");
  }
  if (st.size == 0) {
    Fail(err::kNotADictionary, "The file " + windows_path + " is not a data dictionary: it is empty.");
  }
  int code = 0;
  int hostError = 0;
  std::string message;
  auto db = SqliteDb::Open(host_path, SQLITE_OPEN_READWRITE, &code, &message, &hostError);
  if (!db) db = SqliteDb::Open(host_path, SQLITE_OPEN_READONLY, &code, &message, &hostError);
  if (!db) {
    Fail(FailureCode(code, hostError, err::kDictionaryFailure),
         "The data dictionary " + windows_path + " cannot be opened: " + message);
  }
  db->Exec("PRAGMA foreign_keys = ON");
  // Read the format marker; a file that is not SQLite fails here with SQLITE_NOTADB.
  sqlite3_stmt* raw = nullptr;
  int rc = sqlite3_prepare_v2(db->raw(), "SELECT key, value FROM dd_meta WHERE key IN ('format', 'format_version')", -1,
                              &raw, nullptr);
  if (rc != SQLITE_OK) {
    std::string why = rc == SQLITE_NOTADB ? "it is not a database file" : "it has no dictionary tables";
    if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
      Fail(err::kDictionaryFailure, "The data dictionary " + windows_path + " is locked: " + db->ErrorMessage());
    }
    Fail(err::kNotADictionary, "The file " + windows_path + " is not a data dictionary: " + why + ".");
  }
  std::string format, version;
  while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
    std::string key = reinterpret_cast<const char*>(sqlite3_column_text(raw, 0));
    const unsigned char* v = sqlite3_column_text(raw, 1);
    (key == "format" ? format : version) = v ? reinterpret_cast<const char*>(v) : "";
  }
  sqlite3_finalize(raw);
  if (rc != SQLITE_DONE) {
    Fail(err::kNotADictionary, "The file " + windows_path + " is not a data dictionary: " + db->ErrorMessage() + ".");
  }
  if (format != kFormatName) {
    Fail(err::kNotADictionary, "The file " + windows_path + " is not a data dictionary: it has no dictionary marker.");
  }
  if (version != std::to_string(kFormatVersion)) {
    Fail(err::kNotADictionary,
         "The data dictionary " + windows_path + " has format version " + version + ", which this engine cannot read.");
  }
  return std::make_shared<Dictionary>(Key(), std::move(db), host_path, windows_path);
}

std::string Dictionary::WindowsFolder() const {
  std::string full = core::FullPath(windows_path_);
  size_t cut = full.find_last_of("\\/");
  if (cut == std::string::npos) return ".";
  if (cut == 2 && full.size() > 1 && full[1] == ':') return full.substr(0, 3);  // "C:\"
  if (cut == 0) return full.substr(0, 1);
  return full.substr(0, cut);
}

// ---- users and groups ----

std::string Dictionary::Authenticate(const std::string& user, const std::string& password) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string name = user.empty() ? std::string(kAdministrator) : user;
  SqliteStmt q(*db_, "SELECT name, salt, hash, iterations FROM dd_users WHERE name = ?");
  q.Bind(1, name);
  if (!q.Step()) {
    Fail(err::kLoginRefused, "The user \"" + name + "\" is not a user of the data dictionary " + windows_path_ + ".");
  }
  PasswordHash stored;
  stored.salt = q.OptionalText(1).value_or("");
  stored.hash = q.OptionalText(2).value_or("");
  stored.iterations = static_cast<uint32_t>(q.Int(3));
  std::string stored_name = q.Text(0);
  bool has_password = stored.iterations != 0;
  if (!has_password && password.empty()) return stored_name;
  if (has_password && password.empty()) {
    Fail(err::kLoginRefused, "The user \"" + name + "\" needs a password to connect to " + windows_path_ + ".");
  }
  if (!has_password || !VerifyPassword(password, stored)) {
    Fail(err::kLoginRefused, "The password of the user \"" + name + "\" is not valid.");
  }
  return stored_name;
}

bool Dictionary::UserExists(const std::string& user) {
  std::lock_guard<std::mutex> lock(mutex_);
  SqliteStmt q(*db_, "SELECT 1 FROM dd_users WHERE name = ?");
  q.Bind(1, user);
  return q.Step();
}

void Dictionary::CreateUser(const std::string& user, const std::string& password, const std::string& comment) {
  if (user.empty()) Fail(err::kInvalidArgument, "A user needs a name.");
  std::lock_guard<std::mutex> lock(mutex_);
  SqliteStmt q(*db_, "INSERT INTO dd_users(name, salt, hash, iterations, comment) VALUES (?, ?, ?, ?, ?)");
  q.Bind(1, user);
  if (password.empty()) {
    q.BindNull(2).BindNull(3).Bind(4, int64_t{0});
  } else {
    PasswordHash h = HashPassword(password);
    q.BindBlob(2, h.salt).BindBlob(3, h.hash).Bind(4, int64_t{h.iterations});
  }
  q.Bind(5, comment).Run("The user \"" + user + "\"");
}

void Dictionary::DeleteUser(const std::string& user) {
  if (core::EqualsIgnoringAsciiCase(user, kAdministrator)) {
    Fail(err::kInvalidArgument, "The administrator adssys cannot be removed.");
  }
  Drop(ObjectType::kUser, user);
}

void Dictionary::SetPassword(const std::string& user, const std::string& password) {
  std::lock_guard<std::mutex> lock(mutex_);
  SqliteStmt q(*db_, "UPDATE dd_users SET salt = ?, hash = ?, iterations = ? WHERE name = ?");
  if (password.empty()) {
    q.BindNull(1).BindNull(2).Bind(3, int64_t{0});
  } else {
    PasswordHash h = HashPassword(password);
    q.BindBlob(1, h.salt).BindBlob(2, h.hash).Bind(3, int64_t{h.iterations});
  }
  q.Bind(4, user).Run();
  if (sqlite3_changes(db_->raw()) == 0) NotThere(ObjectType::kUser, user);
}

void Dictionary::CreateGroup(const std::string& group, const std::string& comment) {
  if (group.empty()) Fail(err::kInvalidArgument, "A group needs a name.");
  std::lock_guard<std::mutex> lock(mutex_);
  SqliteStmt q(*db_, "INSERT INTO dd_groups(name, comment) VALUES (?, ?)");
  q.Bind(1, group).Bind(2, comment).Run("The group \"" + group + "\"");
}

void Dictionary::DeleteGroup(const std::string& group) { Drop(ObjectType::kGroup, group); }

void Dictionary::AddToGroup(const std::string& group, const std::string& user) {
  std::lock_guard<std::mutex> lock(mutex_);
  {
    SqliteStmt g(*db_, "SELECT 1 FROM dd_groups WHERE name = ?");
    if (!g.Bind(1, group).Step()) NotThere(ObjectType::kGroup, group);
    SqliteStmt u(*db_, "SELECT 1 FROM dd_users WHERE name = ?");
    if (!u.Bind(1, user).Step()) NotThere(ObjectType::kUser, user);
  }
  SqliteStmt q(*db_,
               "INSERT INTO dd_members(group_name, user_name) SELECT g.name, u.name FROM dd_groups g, dd_users u "
               "WHERE g.name = ? AND u.name = ?");
  q.Bind(1, group).Bind(2, user).Run("The membership of \"" + user + "\" in \"" + group + "\"");
}

void Dictionary::RemoveFromGroup(const std::string& group, const std::string& user) {
  std::lock_guard<std::mutex> lock(mutex_);
  SqliteStmt q(*db_, "DELETE FROM dd_members WHERE group_name = ? AND user_name = ?");
  q.Bind(1, group).Bind(2, user).Run();
  if (sqlite3_changes(db_->raw()) == 0) {
    Fail(err::kNotInDictionary, "The user \"" + user + "\" is not a member of the group \"" + group + "\".");
  }
}

std::vector<std::string> Dictionary::GroupsOf(const std::string& user) {
  std::lock_guard<std::mutex> lock(mutex_);
  {
    SqliteStmt u(*db_, "SELECT 1 FROM dd_users WHERE name = ?");
    if (!u.Bind(1, user).Step()) NotThere(ObjectType::kUser, user);
  }
  SqliteStmt q(*db_, "SELECT group_name FROM dd_members WHERE user_name = ? ORDER BY group_name COLLATE NOCASE");
  q.Bind(1, user);
  std::vector<std::string> out;
  while (q.Step()) out.push_back(q.Text(0));
  return out;
}

bool Dictionary::IsAdministrator(const std::string& user) {
  if (core::EqualsIgnoringAsciiCase(user, kAdministrator)) return true;
  if (!UserExists(user)) return false;
  for (const std::string& group : GroupsOf(user)) {
    if (core::EqualsIgnoringAsciiCase(group, kAdministratorsGroup)) return true;
  }
  return false;
}

std::vector<std::string> Dictionary::MembersOf(const std::string& group) {
  std::lock_guard<std::mutex> lock(mutex_);
  {
    SqliteStmt g(*db_, "SELECT 1 FROM dd_groups WHERE name = ?");
    if (!g.Bind(1, group).Step()) NotThere(ObjectType::kGroup, group);
  }
  SqliteStmt q(*db_, "SELECT user_name FROM dd_members WHERE group_name = ? ORDER BY user_name COLLATE NOCASE");
  q.Bind(1, group);
  std::vector<std::string> out;
  while (q.Step()) out.push_back(q.Text(0));
  return out;
}

// ---- tables ----

namespace {
constexpr const char* kTableColumns =
    "name, path, table_type, char_type, default_index, primary_key, index_files, comment";

TableEntry ReadTable(const SqliteStmt& q) {
  TableEntry t;
  t.name = q.Text(0);
  t.path = q.Text(1);
  t.type = static_cast<uint16_t>(q.Int(2));
  t.char_type = static_cast<uint16_t>(q.Int(3));
  t.default_index = q.Text(4);
  t.primary_key = q.Text(5);
  t.index_files = q.Text(6);
  t.comment = q.Text(7);
  return t;
}
}  // namespace

std::optional<TableEntry> Dictionary::FindTable(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  SqliteStmt q(*db_, (std::string("SELECT ") + kTableColumns + " FROM dd_tables WHERE name = ?").c_str());
  q.Bind(1, name);
  if (!q.Step()) return std::nullopt;
  return ReadTable(q);
}

TableEntry Dictionary::GetTable(const std::string& name) {
  auto t = FindTable(name);
  if (!t) NotThere(ObjectType::kTable, name);
  return *t;
}

std::vector<TableEntry> Dictionary::Tables() {
  std::lock_guard<std::mutex> lock(mutex_);
  SqliteStmt q(*db_, (std::string("SELECT ") + kTableColumns + " FROM dd_tables ORDER BY name COLLATE NOCASE").c_str());
  std::vector<TableEntry> out;
  while (q.Step()) out.push_back(ReadTable(q));
  return out;
}

void Dictionary::AddTable(const TableEntry& t) {
  if (t.name.empty()) Fail(err::kInvalidArgument, "A table needs a name.");
  if (t.path.empty()) Fail(err::kInvalidArgument, "The table \"" + t.name + "\" needs a file.");
  std::lock_guard<std::mutex> lock(mutex_);
  SqliteStmt q(*db_, (std::string("INSERT INTO dd_tables(") + kTableColumns + ") VALUES (?, ?, ?, ?, ?, ?, ?, ?)").c_str());
  q.Bind(1, t.name).Bind(2, t.path).Bind(3, int64_t{t.type}).Bind(4, int64_t{t.char_type});
  q.Bind(5, t.default_index).Bind(6, t.primary_key).Bind(7, t.index_files).Bind(8, t.comment);
  q.Run("The table \"" + t.name + "\"");
}

TableEntry Dictionary::RemoveTable(const std::string& name) {
  TableEntry t = GetTable(name);
  Drop(ObjectType::kTable, name);
  return t;
}

void Dictionary::UpdateTable(const TableEntry& t) {
  std::lock_guard<std::mutex> lock(mutex_);
  SqliteStmt q(*db_,
               "UPDATE dd_tables SET path = ?, table_type = ?, char_type = ?, default_index = ?, primary_key = ?, "
               "index_files = ?, comment = ? WHERE name = ?");
  q.Bind(1, t.path).Bind(2, int64_t{t.type}).Bind(3, int64_t{t.char_type}).Bind(4, t.default_index);
  q.Bind(5, t.primary_key).Bind(6, t.index_files).Bind(7, t.comment).Bind(8, t.name).Run();
  if (sqlite3_changes(db_->raw()) == 0) NotThere(ObjectType::kTable, t.name);
}

std::string Dictionary::TableWindowsPath(const TableEntry& t) const {
  return IsRelative(t.path) ? Join(WindowsFolder(), t.path) : t.path;
}

std::string Dictionary::TableHostPath(const TableEntry& t) const {
  std::string host;
  platform::Status s = core::ToHostPath(TableWindowsPath(t), &host);
  if (!s.ok()) {
    Fail(err::kPathInvalid, "The file of the table \"" + t.name + "\" (" + TableWindowsPath(t) + ") cannot be found: " +
                                s.message());
  }
  return host;
}

// ---- rights ----

void Dictionary::Grant(ObjectType type, const std::string& object, const std::string& grantee, uint32_t r) {
  std::lock_guard<std::mutex> lock(mutex_);
  SqliteStmt q(*db_,
               "INSERT INTO dd_rights(object_type, object_name, grantee, rights) VALUES (?, ?, ?, ?) "
               "ON CONFLICT(object_type, object_name, grantee) DO UPDATE SET rights = rights | excluded.rights");
  q.Bind(1, int64_t{static_cast<uint16_t>(type)}).Bind(2, object).Bind(3, grantee).Bind(4, int64_t{r}).Run();
}

void Dictionary::Revoke(ObjectType type, const std::string& object, const std::string& grantee, uint32_t r) {
  std::lock_guard<std::mutex> lock(mutex_);
  SqliteStmt q(*db_,
               "UPDATE dd_rights SET rights = rights & ~? WHERE object_type = ? AND object_name = ? AND grantee = ?");
  q.Bind(1, int64_t{r}).Bind(2, int64_t{static_cast<uint16_t>(type)}).Bind(3, object).Bind(4, grantee).Run();
}

std::map<std::string, uint32_t> Dictionary::ColumnRightsOf(const std::string& user, const std::string& table) {
  std::map<std::string, uint32_t> out;
  if (core::EqualsIgnoringAsciiCase(user, kAdministrator)) return out;
  const std::string prefix = table + ".";
  std::lock_guard<std::mutex> lock(mutex_);
  SqliteStmt q(*db_,
               "SELECT object_name, rights FROM dd_rights WHERE object_type = ? AND "
               "(grantee = ? OR grantee IN (SELECT group_name FROM dd_members WHERE user_name = ?))");
  q.Bind(1, int64_t{static_cast<uint16_t>(ObjectType::kColumn)}).Bind(2, user).Bind(3, user);
  while (q.Step()) {
    const std::string object = q.Text(0);
    if (object.compare(0, prefix.size(), prefix) == 0) out[object.substr(prefix.size())] |= static_cast<uint32_t>(q.Int(1));
  }
  return out;
}

std::vector<std::string> Dictionary::ColumnObjectsOf(const std::string& table) {
  const std::string prefix = table + ".";
  SqliteStmt q(*db_, "SELECT DISTINCT object_name FROM dd_rights WHERE object_type = ?");
  q.Bind(1, int64_t{static_cast<uint16_t>(ObjectType::kColumn)});
  std::vector<std::string> out;
  while (q.Step()) {
    std::string object = q.Text(0);
    if (object.compare(0, prefix.size(), prefix) == 0) out.push_back(std::move(object));
  }
  return out;
}

uint32_t Dictionary::RightsOf(const std::string& user, ObjectType type, const std::string& object) {
  if (core::EqualsIgnoringAsciiCase(user, kAdministrator)) return rights::kAll;
  std::lock_guard<std::mutex> lock(mutex_);
  SqliteStmt q(*db_,
               "SELECT rights FROM dd_rights WHERE object_type = ? AND object_name = ? AND (grantee = ? OR grantee IN "
               "(SELECT group_name FROM dd_members WHERE user_name = ?))");
  q.Bind(1, int64_t{static_cast<uint16_t>(type)}).Bind(2, object).Bind(3, user).Bind(4, user);
  uint32_t r = 0;
  while (q.Step()) r |= static_cast<uint32_t>(q.Int(0));
  return r;
}

// ---- links and procedures ----

std::vector<LinkEntry> Dictionary::Links() {
  std::lock_guard<std::mutex> lock(mutex_);
  SqliteStmt q(*db_, "SELECT alias, path, user_name, password, options FROM dd_links ORDER BY alias COLLATE NOCASE");
  std::vector<LinkEntry> out;
  while (q.Step()) {
    out.push_back({q.Text(0), q.Text(1), q.Text(2), q.Text(3), static_cast<uint32_t>(q.Int(4))});
  }
  return out;
}

void Dictionary::AddLink(const LinkEntry& l) {
  if (l.alias.empty()) Fail(err::kInvalidArgument, "A link needs an alias.");
  if (l.path.empty()) Fail(err::kInvalidArgument, "The link \"" + l.alias + "\" needs the path of a data dictionary.");
  std::lock_guard<std::mutex> lock(mutex_);
  SqliteStmt q(*db_, "INSERT INTO dd_links(alias, path, user_name, password, options) VALUES (?, ?, ?, ?, ?)");
  q.Bind(1, l.alias).Bind(2, l.path).Bind(3, l.user).Bind(4, l.password).Bind(5, int64_t{l.options});
  q.Run("The link \"" + l.alias + "\"");
}

void Dictionary::DropLink(const std::string& alias) { Drop(ObjectType::kLink, alias); }

std::vector<std::string> Dictionary::Procedures() { return ObjectNames(ObjectType::kProcedure, std::string()); }

void Dictionary::AddProcedure(const std::string& name, const std::string& container, const std::string& proc,
                              const std::string& comment) {
  if (name.empty()) Fail(err::kInvalidArgument, "A procedure needs a name.");
  std::lock_guard<std::mutex> lock(mutex_);
  SqliteStmt q(*db_, "INSERT INTO dd_procedures(name, container, proc_name, comment) VALUES (?, ?, ?, ?)");
  q.Bind(1, name).Bind(2, container).Bind(3, proc).Bind(4, comment).Run("The procedure \"" + name + "\"");
}

std::vector<std::string> Dictionary::ObjectNames(ObjectType type, const std::string& parent) {
  if (type == ObjectType::kUser && !parent.empty()) return MembersOf(parent);
  ObjectTable ot = TableOf(type);
  std::lock_guard<std::mutex> lock(mutex_);
  std::string sql = std::string("SELECT ") + ot.column + " FROM " + ot.table + " ORDER BY " + ot.column + " COLLATE NOCASE";
  SqliteStmt q(*db_, sql.c_str());
  std::vector<std::string> out;
  while (q.Step()) out.push_back(q.Text(0));
  return out;
}

void Dictionary::Rename(ObjectType type, const std::string& name, const std::string& new_name) {
  if (new_name.empty()) Fail(err::kInvalidArgument, "The new name of \"" + name + "\" is empty.");
  if (type == ObjectType::kUser && core::EqualsIgnoringAsciiCase(name, kAdministrator)) {
    Fail(err::kInvalidArgument, "The administrator adssys cannot be renamed.");
  }
  ObjectTable ot = TableOf(type);
  std::lock_guard<std::mutex> lock(mutex_);
  db_->Exec("BEGIN IMMEDIATE");
  try {
    std::string sql = std::string("UPDATE ") + ot.table + " SET " + ot.column + " = ? WHERE " + ot.column + " = ?";
    SqliteStmt q(*db_, sql.c_str());
    q.Bind(1, new_name).Bind(2, name).Run(std::string("The ") + TypeWord(type) + " \"" + new_name + "\"");
    if (sqlite3_changes(db_->raw()) == 0) NotThere(type, name);
    SqliteStmt r(*db_, "UPDATE dd_rights SET object_name = ? WHERE object_type = ? AND object_name = ?");
    r.Bind(1, new_name).Bind(2, int64_t{static_cast<uint16_t>(type)}).Bind(3, name).Run();
    if (type == ObjectType::kTable) {
      // The table's columns keep their rights under the new name.
      for (const std::string& column : ColumnObjectsOf(name)) {
        SqliteStmt c(*db_, "UPDATE dd_rights SET object_name = ? WHERE object_type = ? AND object_name = ?");
        c.Bind(1, new_name + column.substr(name.size())).Bind(2, int64_t{static_cast<uint16_t>(ObjectType::kColumn)});
        c.Bind(3, column).Run();
      }
    }
    if (type == ObjectType::kUser || type == ObjectType::kGroup) {
      SqliteStmt g(*db_, "UPDATE dd_rights SET grantee = ? WHERE grantee = ?");
      g.Bind(1, new_name).Bind(2, name).Run();
    }
    db_->Exec("COMMIT");
  } catch (...) {
    sqlite3_exec(db_->raw(), "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

void Dictionary::Drop(ObjectType type, const std::string& name) {
  ObjectTable ot = TableOf(type);
  std::lock_guard<std::mutex> lock(mutex_);
  db_->Exec("BEGIN IMMEDIATE");
  try {
    std::string sql = std::string("DELETE FROM ") + ot.table + " WHERE " + ot.column + " = ?";
    SqliteStmt q(*db_, sql.c_str());
    q.Bind(1, name).Run();
    if (sqlite3_changes(db_->raw()) == 0) NotThere(type, name);
    SqliteStmt r(*db_, "DELETE FROM dd_rights WHERE object_type = ? AND object_name = ?");
    r.Bind(1, int64_t{static_cast<uint16_t>(type)}).Bind(2, name).Run();
    if (type == ObjectType::kTable) {
      // The table's columns go with it.
      for (const std::string& column : ColumnObjectsOf(name)) {
        SqliteStmt c(*db_, "DELETE FROM dd_rights WHERE object_type = ? AND object_name = ?");
        c.Bind(1, int64_t{static_cast<uint16_t>(ObjectType::kColumn)}).Bind(2, column).Run();
      }
    }
    if (type == ObjectType::kUser || type == ObjectType::kGroup) {
      SqliteStmt g(*db_, "DELETE FROM dd_rights WHERE grantee = ?");
      g.Bind(1, name).Run();
    }
    db_->Exec("COMMIT");
  } catch (...) {
    sqlite3_exec(db_->raw(), "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

// ---- properties ----

std::optional<std::string> Dictionary::Property(uint16_t id) {
  std::lock_guard<std::mutex> lock(mutex_);
  SqliteStmt q(*db_, "SELECT value FROM dd_properties WHERE id = ?");
  q.Bind(1, int64_t{id});
  if (!q.Step()) return std::nullopt;
  return q.OptionalText(0);
}

void Dictionary::SetProperty(uint16_t id, const std::string& value) {
  std::lock_guard<std::mutex> lock(mutex_);
  SqliteStmt q(*db_, "INSERT INTO dd_properties(id, value) VALUES (?, ?) ON CONFLICT(id) DO UPDATE SET value = excluded.value");
  q.Bind(1, int64_t{id}).BindBlob(2, value).Run();
}

}  // namespace engine::dict
