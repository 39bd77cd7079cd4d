// The reindex run over an installation whose data folder and tables are named with letters
// outside ASCII, in two ANSI code pages: discovery finds the dictionaries, every table is
// opened and reindexed, the log names them as the user wrote them, and the log file written in
// the ANSI code page reads back the same.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "ads/ace.h"
#include "environment/toolbookprocs.h"
#include "runtime/text.h"
#include "tests/app/reindex_run_fixture.h"

namespace apptest {
namespace {

struct NamesCase {
  const char* page;
  const char* folder;                             // UTF-8
  std::vector<const char*> mainTables, siteTables;  // UTF-8
};

class ReindexNames : public ReindexRunFixture, public ::testing::WithParamInterface<NamesCase> {
 protected:
  ReindexNames() {
    const char* old = std::getenv("PELLMAR_ANSI_CODEPAGE");
    if (old != nullptr) savedPage_ = old;
    SetAnsiCodePage(QString::fromLatin1(GetParam().page));  // the runtime's and the engine's
  }
  ~ReindexNames() override {
    if (savedPage_)
      setenv("PELLMAR_ANSI_CODEPAGE", savedPage_->c_str(), 1);
    else
      unsetenv("PELLMAR_ANSI_CODEPAGE");
  }

  void MakeDictionary(const std::filesystem::path& path, const std::vector<const char*>& tables) {
    std::filesystem::create_directories(path.parent_path());
    QByteArray p = ToAnsi(QString::fromStdString(path.string()));
    ADSHANDLE dict = 0;
    ASSERT_EQ(AdsDDCreate(AnsiArg(p), 0, nullptr, &dict), 0u);
    for (const char* t : tables) {
      QByteArray name = ToAnsi(QString::fromUtf8(t));
      QByteArray fields("NAME,Char,10;"), tag("BYNAME"), expression("NAME");
      ADSHANDLE table = 0, order = 0;
      ASSERT_EQ(AdsCreateTable90(dict, AnsiArg(name), nullptr, 3, 1, 1, 1, 512, AnsiArg(fields), 0, nullptr, &table),
                0u)
          << t;
      ASSERT_EQ(AdsCreateIndex90(table, nullptr, AnsiArg(tag), AnsiArg(expression), nullptr, nullptr, 2, 512, nullptr,
                                 &order),
                0u);
      ASSERT_EQ(AdsAppendRecord(table), 0u);
      ASSERT_EQ(AdsWriteRecord(table), 0u);
      ASSERT_EQ(AdsCloseTable(table), 0u);
      std::filesystem::remove(path.parent_path() / (std::string(t) + ".adi"));  // the run builds it again
    }
    ASSERT_EQ(AdsDisconnect(dict), 0u);
  }

 private:
  std::optional<std::string> savedPage_;
};

TEST_P(ReindexNames, EveryTableIsReindexedAndLoggedByItsName) {
  const NamesCase& c = GetParam();
  data_ = install.root() / c.folder;
  std::filesystem::create_directories(data_);
  UseDataFolder(install.Win(c.folder));
  MakeDictionary(data_ / "DB" / "DB.add", c.mainTables);
  MakeDictionary(data_ / "DB" / "1000001" / "sitedb.add", c.siteTables);

  MainWindowProbe& w = CreateWindow();
  EXPECT_TRUE(w.PaneLines().contains("Database folder: " + DataFolder()));
  w.cmStartClick(w.cmStart);
  QStringList expected = {"", "Starting", "", "T Reindexing DB \"" + Db("DB.add") + "\""};
  for (const char* t : c.mainTables) expected << "- table \"" + QString::fromUtf8(t) + ", open, reindex, finished";
  expected << "" << "T Reindexing DB \"" + Db("1000001\\sitedb.add") + "\"";
  for (const char* t : c.siteTables) expected << "- table \"" + QString::fromUtf8(t) + ", open, reindex, finished";
  expected << "" << "T Finished.";
  const QStringList run = RunPart(SavedLog());  // the file, read in the ANSI code page
  EXPECT_EQ(run, expected) << run.join('\n').toStdString();
  EXPECT_TRUE(DataFolder().contains(QString::fromUtf8(c.folder))) << DataFolder().toStdString();
  for (const char* t : c.mainTables) EXPECT_TRUE(std::filesystem::exists(data_ / "DB" / (std::string(t) + ".adi"))) << t;
  for (const char* t : c.siteTables) {
    EXPECT_TRUE(std::filesystem::exists(data_ / "DB" / "1000001" / (std::string(t) + ".adi"))) << t;
  }
}

INSTANTIATE_TEST_SUITE_P(
    CodePages, ReindexNames,
    ::testing::Values(NamesCase{"windows-1252", "Daten-\xC3\xBC", {"Gr\xC3\xB6\xC3\x9F" "e", "M\xC3\xBCll"}, {"\xC3\x86rt"}},
                      NamesCase{"windows-1250", "\xC5\x81\xC3\xB3" "d\xC5\xBA", {"\xC5\xBB" "ar"}, {"\xC5\x9A" "nieg"}}),
    [](const ::testing::TestParamInfo<NamesCase>& info) {
      std::string name = info.param.page;
      for (char& ch : name) ch = ch == '-' ? '_' : ch;
      return name;
    });

}  // namespace
}  // namespace apptest
