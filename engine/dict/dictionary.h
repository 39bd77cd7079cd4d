// A data dictionary (".add" file): an SQLite database holding the dictionary's tables and their
// files, users with salted password hashes, groups, rights, links to other dictionaries,
// procedures and database properties. The schema is documented in docs/formats.md, section
// "Data dictionary".
//
// Each engine connection to a dictionary opens its own Dictionary object (its own SQLite
// connection), so several connections in one process and connections from several processes
// work at once; SQLite's file locking serialises writers and each write is one transaction, so
// a crash leaves the dictionary as it was before or after the change.
//
// Names of tables, users, groups, links and procedures are matched ignoring the case of a..z
// (SQLite's NOCASE collation folds exactly those).
//
// Thread safety: all members lock the object's mutex; a Dictionary may be shared between threads.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace engine::dict {

class SqliteDb;

// Object types of the dictionary, as AdsDDFindFirstObject and AdsDDRenameObject number them.
enum class ObjectType : uint16_t {
  kTable = 1,
  kColumn = 4,  // a column of a table, named "table.column"
  kUser = 5,
  kGroup = 6,
  kProcedure = 10,
  kLink = 12,
};

// Rights of a user or group on a dictionary object (bits).
namespace rights {
constexpr uint32_t kRead = 0x1;
constexpr uint32_t kUpdate = 0x2;
constexpr uint32_t kExecute = 0x4;
constexpr uint32_t kInsert = 0x10;
constexpr uint32_t kDelete = 0x20;
constexpr uint32_t kAll = 0xFFFFFFFFu;
}  // namespace rights

inline constexpr const char* kAdministrator = "adssys";
// Members of this group administer the dictionary beside "adssys": they may use tables that
// lie outside it.
inline constexpr const char* kAdministratorsGroup = "DB:Admin";
inline constexpr uint16_t kVersionMajor = 11;
inline constexpr uint16_t kVersionMinor = 10;

struct TableEntry {
  std::string name;           // dictionary name of the table
  std::string path;           // table file in Windows form; relative paths are relative to the dictionary's folder
  uint16_t type = 3;          // ADS_ADT, ADS_CDX, ...
  uint16_t char_type = 1;     // 1 ANSI, 2 OEM
  std::string default_index;  // "" when none
  std::string primary_key;    // "" when none
  std::string index_files;    // ";"-separated extra index files opened with the table
  std::string comment;
};

struct LinkEntry {
  std::string alias;
  std::string path;      // the linked dictionary, Windows form
  std::string user;      // user to connect as ("" with option 2: the active user)
  std::string password;  // kept as given: the engine needs it to open the link
  uint32_t options = 0;  // 1 global, 2 authenticate active user, 4 path is static
};

class Dictionary {
 public:
  // Creates a new, empty dictionary file at `host_path` with the administrator "adssys"
  // (password `admin_password`, none when empty). The file appears complete or not at all.
  // Fails with 5909 when the file exists and 5915 when it cannot be written.
  static void Create(const std::string& host_path, const std::string& description, const std::string& admin_password);

  // Opens the dictionary at `host_path`; `windows_path` is its path as the caller named it.
  // Fails with 5906 when the file is missing and 5908 when it is not a dictionary (empty, not
  // SQLite, or SQLite of another shape or a newer format).
  static std::shared_ptr<Dictionary> Open(const std::string& host_path, const std::string& windows_path);

  // Use Open; the key keeps construction inside the class.
  class Key {
    friend class Dictionary;
    Key() = default;
  };
  Dictionary(Key, std::unique_ptr<SqliteDb> db, std::string host_path, std::string windows_path);
  ~Dictionary();

  const std::string& hostPath() const { return host_path_; }
  const std::string& windowsPath() const { return windows_path_; }
  // The dictionary's folder, Windows form without trailing separator (".\" parts resolved).
  std::string WindowsFolder() const;

  // ---- users and groups ----
  // Checks a login; an empty user means "adssys". Returns the user's stored name. Fails with
  // 5907 for an unknown user, a wrong password, a missing one, or one given where none is set.
  std::string Authenticate(const std::string& user, const std::string& password);
  bool UserExists(const std::string& user);
  void CreateUser(const std::string& user, const std::string& password, const std::string& comment);
  void DeleteUser(const std::string& user);  // never the administrator
  void SetPassword(const std::string& user, const std::string& password);
  void CreateGroup(const std::string& group, const std::string& comment);
  void DeleteGroup(const std::string& group);
  void AddToGroup(const std::string& group, const std::string& user);
  void RemoveFromGroup(const std::string& group, const std::string& user);
  // Groups of `user` in name order; fails with 5132 for an unknown user.
  std::vector<std::string> GroupsOf(const std::string& user);
  std::vector<std::string> MembersOf(const std::string& group);
  // Whether `user` is "adssys" or a member of the administrators' group.
  bool IsAdministrator(const std::string& user);

  // ---- tables ----
  std::optional<TableEntry> FindTable(const std::string& name);
  // Fails with 5132 naming the table when it is not in the dictionary.
  TableEntry GetTable(const std::string& name);
  std::vector<TableEntry> Tables();
  // Fails with 5909 when the name is taken.
  void AddTable(const TableEntry& entry);
  // Fails with 5132 when absent. Returns the removed entry.
  TableEntry RemoveTable(const std::string& name);
  // Updates the stored entry of `entry.name` (5132 when absent).
  void UpdateTable(const TableEntry& entry);
  // The host path of a table's file.
  std::string TableHostPath(const TableEntry& entry) const;
  // The Windows-form path of a table's file.
  std::string TableWindowsPath(const TableEntry& entry) const;

  // ---- rights ----
  void Grant(ObjectType type, const std::string& object, const std::string& grantee, uint32_t rights);
  void Revoke(ObjectType type, const std::string& object, const std::string& grantee, uint32_t rights);
  // Rights of `user` on the object: everything for the administrator, else the user's own
  // rights combined with those of its groups.
  uint32_t RightsOf(const std::string& user, ObjectType type, const std::string& object);
  // The rights of `user` (with its groups) on those columns of `table` that have rights of
  // their own, by column name as granted: such a column has these rights instead of the
  // table's. Empty for the administrator.
  std::map<std::string, uint32_t> ColumnRightsOf(const std::string& user, const std::string& table);

  // ---- links and procedures ----
  std::vector<LinkEntry> Links();
  void AddLink(const LinkEntry& link);
  void DropLink(const std::string& alias);  // 5132 when absent
  std::vector<std::string> Procedures();
  void AddProcedure(const std::string& name, const std::string& container, const std::string& proc,
                    const std::string& comment);

  // All names of objects of `type` (members of `parent` when type is user and parent a group).
  std::vector<std::string> ObjectNames(ObjectType type, const std::string& parent);
  // Renames an object; 5132 when absent, 5909 when the new name is taken, 5903 for the
  // administrator.
  void Rename(ObjectType type, const std::string& name, const std::string& new_name);
  // Removes an object of any type (tables: the entry only, never the files).
  void Drop(ObjectType type, const std::string& name);

  // ---- database properties ----
  std::optional<std::string> Property(uint16_t id);
  void SetProperty(uint16_t id, const std::string& value);

 private:
  // The rights objects of the columns of `table` ("table.column"). REQUIRES: mutex_ held.
  std::vector<std::string> ColumnObjectsOf(const std::string& table);

  std::mutex mutex_;
  std::unique_ptr<SqliteDb> db_;
  std::string host_path_;
  std::string windows_path_;
};

}  // namespace engine::dict
