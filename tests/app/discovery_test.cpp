// Discovery of the data dictionaries over real folders: which entries of "DB" qualify as site
// folders, in which order they are listed, and what an empty or missing "DB" gives.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "environment/toolbookprocs.h"
#include "tests/app/main_window_fixture.h"

namespace apptest {
namespace {

namespace fs = std::filesystem;

void Touch(const fs::path& file) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << "dictionary";
}

struct EntryCase {
  const char* name;
  bool folder;      // a folder (true) or a plain file (false)
  bool dictionary;  // a folder holding "sitedb.add"
  bool listed;
};

// Every kind of name next to each other in one "DB" folder.
const EntryCase kEntries[] = {
    {"1234567", true, true, true},      // seven decimal digits with a dictionary
    {"2345678", true, false, false},    // seven digits, no dictionary
    {"123456", true, true, false},      // six digits
    {"12345678", true, true, false},    // eight digits
    {"-000001", true, true, false},     // converts to -1
    {"-000002", true, true, true},      // converts to -2
    {"$00001F", true, true, true},      // hexadecimal after "$"
    {"0x0001F", true, true, true},      // hexadecimal after "0x"
    {"x00001F", true, true, true},      // hexadecimal after "x"
    {"$0000G1", true, true, false},     // not a hexadecimal number
    {"12a4567", true, true, false},     // a letter among the digits
    {"abcdefg", true, true, false},     // letters only
    {"7654321", false, false, false},   // a file, not a folder
    {"DB.add", false, false, false},    // the main dictionary's own file
    {"sitedb.add", false, false, false},
};

TEST_F(MainWindowTest, SiteFoldersQualifyByNameAndDictionaryInEnumerationOrder) {
  const fs::path data = UseHostDataFolder();
  const fs::path db = data / "DB";
  fs::create_directories(db);
  std::set<std::string> listed;
  for (const EntryCase& e : kEntries) {
    if (!e.folder) {
      Touch(db / e.name);
      continue;
    }
    fs::create_directories(db / e.name);
    if (e.dictionary) Touch(db / e.name / "sitedb.add");
    if (e.listed) listed.insert(e.name);
  }
  QStringList expected;
  for (const std::string& name : ReaddirOrder(db))
    if (listed.count(name)) expected << QString::fromStdString(name) + "\\sitedb.add";
  ASSERT_EQ(expected.size(), static_cast<qsizetype>(listed.size()));

  MainWindowProbe& w = CreateWindow();
  EXPECT_EQ(w.PaneLines(), IntroductionHead(DataFolder()) + expected + IntroductionTail());
  ASSERT_NE(DatabaseList, nullptr);
  QStringList list;
  for (int i = 0; i < DatabaseList->Count(); ++i) list << DatabaseList->Strings(i);
  EXPECT_EQ(list, QStringList{"DB.add"} + expected);
}

TEST_F(MainWindowTest, ManySitesAreListedInTheFileSystemsOrderNotSorted) {
  const fs::path data = UseHostDataFolder();
  const fs::path db = data / "DB";
  // Created out of numeric order; the host decides the enumeration order.
  const char* sites[] = {"0000042", "9000001", "0000007", "5555555", "0100000", "0000001",
                         "8888888", "3000000", "0000100", "7777777", "2000002", "0000010"};
  for (const char* s : sites) Touch(db / s / "sitedb.add");
  QStringList expected;
  for (const std::string& name : ReaddirOrder(db))
    if (name != "." && name != "..") expected << QString::fromStdString(name) + "\\sitedb.add";
  ASSERT_EQ(expected.size(), 12);

  MainWindowProbe& w = CreateWindow();
  EXPECT_EQ(w.PaneLines(), IntroductionHead(DataFolder()) + expected + IntroductionTail());
  QStringList list;
  for (int i = 1; i < DatabaseList->Count(); ++i) list << DatabaseList->Strings(i);
  EXPECT_EQ(list, expected);
}

TEST_F(MainWindowTest, WithoutSitesOnlyTheMainDictionaryIsListed) {
  struct Case {
    const char* name;
    bool makeDb;      // create the "DB" folder
    bool makeData;    // create the data folder itself
  };
  const Case cases[] = {
      {"empty DB folder", true, true},
      {"no DB folder", false, true},
      {"no data folder at all", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path data = install.root() / c.name;
    if (c.makeData) fs::create_directories(data);
    if (c.makeDb) fs::create_directories(data / "DB");
    UseDataFolder(install.Win(c.name));
    MainWindowProbe& w = CreateWindow();
    EXPECT_EQ(w.PaneLines(), IntroductionHead(DataFolder()) + IntroductionTail());
    ASSERT_NE(DatabaseList, nullptr);
    EXPECT_EQ(DatabaseList->Count(), 1);
    EXPECT_EQ(DatabaseList->Strings(0), "DB.add");
  }
}

TEST_F(MainWindowTest, MainDictionaryIsListedWhetherItExistsOrNot) {
  const fs::path data = UseHostDataFolder();
  Touch(data / "DB" / "DB.add");
  Touch(data / "DB" / "1000000" / "sitedb.add");
  MainWindowProbe& w = CreateWindow();
  EXPECT_EQ(w.PaneLines(), IntroductionHead(DataFolder()) + QStringList{"1000000\\sitedb.add"} + IntroductionTail());
  EXPECT_EQ(DatabaseList->Strings(0), "DB.add");
}

}  // namespace
}  // namespace apptest
