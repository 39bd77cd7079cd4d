// Names and paths with letters outside ASCII: the interface's ANSI text reaches the host's
// UTF-8 file names through the process's one code page setting, and host names come back as
// ANSI text, for dictionaries, tables, SQL, enumeration and reindexing.
#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "platform/code_page.h"
#include "support/api_fixture.h"
#include "support/sql_fixture.h"

namespace {

using acetest::Last;
using acetest::U8;

namespace fs = std::filesystem;

// Makes `page` the process's ANSI code page for the life of the object.
class CodePageScope {
 public:
  explicit CodePageScope(const std::string& page) {
    const char* old = std::getenv("PELLMAR_ANSI_CODEPAGE");
    had_ = old != nullptr;
    if (had_) old_ = old;
    EXPECT_TRUE(platform::SetAnsiCodePage(page).ok());
  }
  ~CodePageScope() {
    if (had_)
      ::setenv("PELLMAR_ANSI_CODEPAGE", old_.c_str(), 1);
    else
      ::unsetenv("PELLMAR_ANSI_CODEPAGE");
  }

 private:
  bool had_ = false;
  std::string old_;
};

std::vector<std::string> SortedHostFiles(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// One case: a code page, a folder and a table name as the host spells them (UTF-8) and as the
// interface spells them in that code page.
struct NameCase {
  const char* page;
  const char* host_folder;
  const char* ansi_folder;
  const char* host_table;
  const char* ansi_table;
};

const NameCase kCases[] = {
    {"windows-1252", "Daten-\xC3\xBC", "Daten-\xFC", "M\xC3\xBCll", "M\xFCll"},
    {"windows-1250", "\xC5\x81\xC3\xB3" "d\xC5\xBA", "\xA3\xF3" "d\x9F", "\xC5\xBB" "ar", "\xAF" "ar"},
};

TEST(ApiHostNames, ADictionaryInAFolderWithLettersOutsideAsciiHoldsTablesNamedSo) {
  for (const NameCase& c : kCases) {
    SCOPED_TRACE(c.page);
    CodePageScope page(c.page);
    testenv::TempDir dir;
    const fs::path host_folder = dir.path() / c.host_folder;
    fs::create_directory(host_folder);
    // The folder in Windows form: ASCII up to the new folder, then the code page's bytes.
    const std::string folder = acetest::Win(dir.str()) + "\\" + c.ansi_folder;

    ADSHANDLE dd = 0;
    ASSERT_EQ(AdsDDCreate(U8(folder + "\\DB.add"), 0, nullptr, &dd), 0u) << Last().text;
    EXPECT_TRUE(fs::exists(host_folder / "DB.add"));
    ADSHANDLE table = 0;
    ASSERT_EQ(AdsCreateTable90(dd, U8(c.ansi_table), nullptr, 3, 1, 1, 1, 0, U8("ID,Integer;NAME,Char,10;"), 0,
                               nullptr, &table),
              0u)
        << Last().text;
    ADSHANDLE tag = 0;
    ASSERT_EQ(AdsCreateIndex90(table, nullptr, U8("BYID"), U8("ID"), nullptr, nullptr, 0, 0, nullptr, &tag), 0u)
        << Last().text;
    ASSERT_EQ(AdsAppendRecord(table), 0u);
    ASSERT_EQ(AdsSetLong(table, ADSFIELD(1), 7), 0u);
    ASSERT_EQ(AdsWriteRecord(table), 0u);
    ASSERT_EQ(AdsCloseTable(table), 0u);
    const std::string host_table(c.host_table);
    EXPECT_EQ(SortedHostFiles(host_folder),
              (std::vector<std::string>{"DB.add", host_table + ".adi", host_table + ".adt"}));

    // Listed by the catalogue and by the enumeration in the code page's bytes.
    ADSHANDLE statement = 0, cursor = 0;
    ASSERT_EQ(AdsCreateSQLStatement(dd, &statement), 0u);
    ASSERT_EQ(AdsExecuteSQLDirect(statement, U8("select name from system.tables"), &cursor), 0u) << Last().text;
    EXPECT_EQ(sqltest::ReadAll(cursor), (sqltest::Rows{{c.ansi_table}}));
    ASSERT_EQ(AdsCloseTable(cursor), 0u);
    ASSERT_EQ(AdsCloseSQLStatement(statement), 0u);
    UNSIGNED32 end = 0;
    EXPECT_EQ(acetest::ListTables(dd, "", &end), (std::vector<std::string>{c.ansi_table}));

    // Opened exclusively by its dictionary name and reindexed, as the reindex run does.
    ASSERT_EQ(AdsOpenTable90(dd, U8(c.ansi_table), nullptr, 0, 1, 1, 1, ADS_EXCLUSIVE, nullptr, &table), 0u)
        << Last().text;
    EXPECT_EQ(AdsReindex61(table, 0), 0u) << Last().text;
    UNSIGNED8 name[260];
    UNSIGNED16 len = sizeof name;
    ASSERT_EQ(AdsGetTableFilename(table, 3, name, &len), 0u);  // 3: the full path
    EXPECT_EQ(std::string(reinterpret_cast<char*>(name), len), folder + "\\" + c.ansi_table + ".adt");
    ASSERT_EQ(AdsCloseTable(table), 0u);
    EXPECT_EQ(AdsDisconnect(dd), 0u);

    // A free connection on the folder finds the file by its ANSI name.
    ADSHANDLE free = 0;
    ASSERT_EQ(AdsConnect(U8(folder), &free), 0u) << Last().text;
    EXPECT_EQ(acetest::ListTables(free, "*.adt", &end), (std::vector<std::string>{std::string(c.ansi_table) + ".adt"}));
    EXPECT_EQ(AdsDisconnect(free), 0u);
  }
}

}  // namespace

namespace {

TEST(ApiHostNames, MessagesNameTheFilesAsTheCallerDid) {
  testenv::TempDir dir;
  const std::string folder = acetest::Win(dir.str());
  ADSHANDLE free = 0, table = 0, again = 0;
  ASSERT_EQ(AdsConnect(U8(folder), &free), 0u) << Last().text;
  ASSERT_EQ(AdsCreateTable90(free, U8("items"), nullptr, 3, 1, 1, 1, 0, U8("ID,Integer;"), 0, nullptr, &table), 0u)
      << Last().text;
  ASSERT_EQ(AdsCloseTable(table), 0u);
  ASSERT_EQ(AdsOpenTable90(free, U8("items"), nullptr, 3, 1, 1, 1, ADS_EXCLUSIVE, nullptr, &table), 0u);
  const struct {
    ADSHANDLE connection;
    std::string name;
    std::string shown;
  } cases[] = {
      {free, "items", folder + "\\items.adt"},
      {0, folder + "\\items.adt", folder + "\\items.adt"},
      {0, dir.str() + "/items", dir.str() + "/items.adt"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_NE(AdsOpenTable90(c.connection, U8(c.name), nullptr, 3, 1, 1, 1, 0, nullptr, &again), 0u);
    const std::string text = Last().text;
    EXPECT_NE(text.find("\"" + c.shown + "\""), std::string::npos) << text;
    if (c.shown.find('/') == std::string::npos) {
      EXPECT_EQ(text.find(dir.str()), std::string::npos) << text;
    }
  }
  EXPECT_EQ(AdsCloseTable(table), 0u);
  EXPECT_EQ(AdsDisconnect(free), 0u);
}


// A file beside a table (its memo file here) is named as the caller named the table, for every
// table type, and with the case of the caller's extension.
TEST(ApiHostNames, FilesBesideATableAreNamedAsTheCallerNamedTheTable) {
  const struct {
    UNSIGNED16 type;
    const char* table;
    const char* memo;
  } cases[] = {
      {ADS_ADT, "crew.adt", "crew.adm"},
      {ADS_NTX, "crew.dbf", "crew.dbt"},
      {ADS_CDX, "crew.dbf", "crew.fpt"},
      {ADS_VFP, "crew.dbf", "crew.fpt"},
      {ADS_CDX, "CREW.DBF", "CREW.FPT"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.table + std::string(" of type ") + std::to_string(c.type));
    testenv::TempDir dir;
    const std::string folder = acetest::Win(dir.str());
    ADSHANDLE table = 0;
    ASSERT_EQ(AdsCreateTable90(0, U8(folder + "\\" + c.table), nullptr, c.type, 1, 1, 1, 0, U8("NAME,Char,10;NOTE,Memo;"),
                               0, nullptr, &table),
              0u)
        << Last().text;
    ASSERT_EQ(AdsAppendRecord(table), 0u) << Last().text;
    const std::string note(600, 'n');
    ASSERT_EQ(AdsSetString(table, U8("NOTE"), U8(note), static_cast<UNSIGNED32>(note.size())), 0u) << Last().text;
    ASSERT_EQ(AdsWriteRecord(table), 0u) << Last().text;
    ASSERT_EQ(AdsCloseTable(table), 0u);
    // The memo file loses its blocks: the record's memo points past its end.
    fs::resize_file(dir.path() / c.memo, 0);

    ASSERT_EQ(AdsOpenTable90(0, U8(folder + "\\" + c.table), nullptr, c.type, 1, 1, 1, 0, nullptr, &table), 0u)
        << Last().text;
    std::string value(1000, '\0');
    UNSIGNED32 length = static_cast<UNSIGNED32>(value.size());
    EXPECT_NE(AdsGetString(table, U8("NOTE"), U8(value), &length, 0), 0u);
    const std::string text = Last().text;
    EXPECT_NE(text.find("\"" + folder + "\\" + c.memo + "\""), std::string::npos) << text;
    EXPECT_EQ(text.find(dir.str()), std::string::npos) << text;
    EXPECT_EQ(AdsCloseTable(table), 0u);
  }
}

}  // namespace
