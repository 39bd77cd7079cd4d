#include "checker/folder_check.h"

#include <sqlite3.h>

#include "ace/ace.h"
#include "platform/paths.h"
#include "tools/aceadmin/index_check.h"

namespace acetest {

namespace {

// The code of a table that does not exist.
constexpr UNSIGNED32 kTableNotFound = 5401;

UNSIGNED8* U8(const std::string& s) { return reinterpret_cast<UNSIGNED8*>(const_cast<char*>(s.c_str())); }

std::string Win(const std::string& hostPath) { return platform::ToWindowsPath(hostPath); }

// The text of the calling thread's last error.
std::string LastText() {
  UNSIGNED32 code = 0;
  std::vector<UNSIGNED8> buf(601);
  UNSIGNED16 len = 600;
  UNSIGNED32 rc = AdsGetLastError(&code, buf.data(), &len);
  if (rc == 5005) {  // a longer text: len is the capacity it needs
    buf.assign(len, 0);
    rc = AdsGetLastError(&code, buf.data(), &len);
  }
  return rc == 0 ? std::string(reinterpret_cast<char*>(buf.data()), len) : std::string();
}

// A connection of libace32 to a folder or dictionary, closed when it goes.
struct Connection {
  ADSHANDLE handle = 0;
  UNSIGNED32 rc = 0;
  explicit Connection(const std::string& connectString) { rc = AdsConnect101(U8(connectString), nullptr, &handle); }
  ~Connection() {
    if (handle) AdsDisconnect(handle);
  }
};

struct DeletedShown {
  DeletedShown() { AdsShowDeleted(1); }
  ~DeletedShown() { AdsShowDeleted(0); }
};

std::string FieldText(ADSHANDLE t, const std::string& name) {
  std::string buf(256, '\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    UNSIGNED32 len = static_cast<UNSIGNED32>(buf.size());
    UNSIGNED32 rc = AdsGetField(t, U8(name), reinterpret_cast<UNSIGNED8*>(buf.data()), &len, 2);
    if (rc == AE_INSUFFICIENT_BUFFER && attempt == 0) {
      buf.resize(static_cast<size_t>(len) + 1);
      continue;
    }
    if (rc != 0) return "<error " + std::to_string(rc) + ">";
    return buf.substr(0, len);
  }
  return "<error>";
}

// A table named with ".dbf" is opened as whatever DBF type its file is; others as native.
UNSIGNED16 TypeOf(const std::string& table) {
  const bool dbf = table.size() > 4 && (table.compare(table.size() - 4, 4, ".dbf") == 0);
  return dbf ? 0 : ADS_ADT;
}

}  // namespace

std::vector<std::string> ReadRows(const std::string& folder, const std::string& table, const std::string& password) {
  Connection c("Data Source=" + Win(folder) + ";");
  if (c.rc != 0) return {"the folder does not open: " + std::to_string(c.rc)};
  ADSHANDLE t = 0;
  UNSIGNED32 rc = AdsOpenTable90(c.handle, U8(table), nullptr, TypeOf(table), 0, 0, 2, ADS_READONLY, nullptr, &t);
  if (rc == kTableNotFound) return {"(no table)"};
  if (rc != 0) return {"the table does not open: " + std::to_string(rc) + " " + LastText()};
  DeletedShown shown;
  std::vector<std::string> rows;
  UNSIGNED16 encrypted = 0;
  AdsIsTableEncrypted(t, &encrypted);
  if (encrypted) rows.push_back("encrypted");
  if (!password.empty()) AdsEnableEncryption(t, U8(password));
  std::vector<std::string> names;
  UNSIGNED16 count = 0;
  AdsGetNumFields(t, &count);
  for (UNSIGNED16 i = 1; i <= count; ++i) {
    UNSIGNED8 buf[256];
    UNSIGNED16 len = sizeof buf;
    AdsGetFieldName(t, i, buf, &len);
    names.emplace_back(reinterpret_cast<char*>(buf), len);
  }
  UNSIGNED32 records = 0;
  rc = AdsGetRecordCount(t, ADS_IGNOREFILTERS, &records);
  if (rc != 0) rows.push_back("cannot count: " + std::to_string(rc));
  for (UNSIGNED32 n = 1; n <= records; ++n) {
    rc = AdsGotoRecord(t, n);
    if (rc != 0) {
      rows.push_back("record " + std::to_string(n) + " cannot be read: " + std::to_string(rc));
      continue;
    }
    UNSIGNED16 deleted = 0;
    AdsIsRecordDeleted(t, &deleted);
    std::string row = deleted ? "*" : " ";
    for (const std::string& name : names) row += "|" + FieldText(t, name);
    rows.push_back(row);
  }
  AdsCloseTable(t);
  return rows;
}

std::vector<std::string> IndexProblems(const std::string& folder, const std::string& table, bool exclusive,
                                       bool* unavailable, const std::string& password) {
  *unavailable = false;
  Connection c("Data Source=" + Win(folder) + ";");
  if (c.rc != 0) return {"the folder does not open"};
  ADSHANDLE t = 0;
  UNSIGNED32 rc = AdsOpenTable90(c.handle, U8(table), nullptr, TypeOf(table), 0, 0, 2,
                                 exclusive ? ADS_EXCLUSIVE : ADS_READONLY, nullptr, &t);
  if (rc != 0) return {"the table does not open: " + LastText()};
  DeletedShown shown;
  if (!password.empty()) AdsEnableEncryption(t, U8(password));
  std::vector<std::string> problems;
  UNSIGNED32 records = 0;
  AdsGetRecordCount(t, ADS_IGNOREFILTERS, &records);
  UNSIGNED16 tags = 0;
  // What a user does with an index the open could not repair (an encrypted table's needs the
  // key): reindex it.
  if (exclusive && AdsGetNumIndexes(t, &tags) != 0) AdsReindex61(t, 0);
  if (AdsGetNumIndexes(t, &tags) != 0) {
    *unavailable = true;
    problems.push_back("the indexes cannot be read: " + LastText());
  }
  for (UNSIGNED16 order = 1; order <= tags; ++order) {
    ADSHANDLE index = 0;
    if (AdsGetIndexHandleByOrder(t, order, &index) != 0) {
      problems.push_back("tag " + std::to_string(order) + " cannot be read: " + LastText());
      continue;
    }
    aceadmin::TagCheck check = aceadmin::CheckTag(t, index, records);
    for (const std::string& p : check.problems) problems.push_back(check.name + ": " + p);
  }
  AdsCloseTable(t);
  return problems;
}

std::vector<std::string> ReadDictionary(const std::string& path) {
  {
    Connection c("Data Source=" + Win(path) + ";User ID=adssys;");
    if (c.rc != 0) return {"the dictionary does not open: " + std::to_string(c.rc) + " " + LastText()};
  }
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return {"the dictionary does not open in SQLite"};
  }
  std::vector<std::string> out;
  std::vector<std::string> tables;
  sqlite3_stmt* s = nullptr;
  sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name", -1, &s, nullptr);
  while (sqlite3_step(s) == SQLITE_ROW) tables.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
  sqlite3_finalize(s);
  for (const std::string& table : tables) {
    sqlite3_prepare_v2(db, ("SELECT * FROM \"" + table + "\" ORDER BY rowid").c_str(), -1, &s, nullptr);
    while (s && sqlite3_step(s) == SQLITE_ROW) {
      std::string row = table;
      for (int i = 0; i < sqlite3_column_count(s); ++i) {
        const std::string column = sqlite3_column_name(s, i);
        const unsigned char* v = sqlite3_column_text(s, i);
        std::string text = v ? reinterpret_cast<const char*>(v) : "NULL";
        // A password's salt is new every time it is set, and its hash with it.
        if (v && table == "dd_users" && (column == "salt" || column == "hash")) text = "(set)";
        row += "|" + text;
      }
      out.push_back(row);
    }
    sqlite3_finalize(s);
  }
  sqlite3_close(db);
  return out;
}

}  // namespace acetest

extern "C" const acetest::FolderChecker* acetest_folder_checker() {
  static const acetest::FolderChecker checker{&acetest::ReadRows, &acetest::IndexProblems, &acetest::ReadDictionary,
                                              reinterpret_cast<const void*>(&AdsGetVersion)};
  return &checker;
}
