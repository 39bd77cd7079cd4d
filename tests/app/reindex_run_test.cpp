// The reindex run on installations built at test time: the saved log file compared line by
// line (time stamps by pattern), a data folder without any dictionary, a table the dictionary
// lists whose file is missing, a dictionary file that is garbage, and a second run replacing
// the log of the first.
#include <gtest/gtest.h>

#include <QRegularExpression>
#include <filesystem>
#include <fstream>

#include "ads/ace.h"
#include "environment/toolbookprocs.h"
#include "runtime/text.h"
#include "test_env.h"
#include "tests/app/main_window_fixture.h"

namespace apptest {
namespace {

UNSIGNED8* A(QByteArray& b) { return reinterpret_cast<UNSIGNED8*>(b.data()); }

class ReindexRunTest : public MainWindowTest {
 protected:
  // The saved log file, split at CR LF; the file must end with CR LF.
  QStringList SavedLog() {
    std::ifstream in(data_ / "Logs" / "quenlor.txt", std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    EXPECT_TRUE(bytes.size() >= 2 && bytes.substr(bytes.size() - 2) == "\r\n");
    QStringList lines = FromAnsi(QByteArray::fromStdString(bytes)).split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
    return lines;
  }
  // The lines after the introduction ("Starting" onwards), time stamps replaced by "T".
  static QStringList RunPart(const QStringList& lines) {
    const int start = static_cast<int>(lines.indexOf(QStringLiteral("Starting")));
    EXPECT_GE(start, 1);
    QStringList out;
    static const QRegularExpression stamp(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}( \\d{2}:\\d{2}:\\d{2})? "));
    for (int i = start - 1; i < lines.size(); ++i) out << QString(lines[i]).replace(stamp, QStringLiteral("T "));
    return out;
  }
  // A dictionary at data/DB/<relative> with native tables of one row each.
  void MakeDictionary(const std::string& relative, std::initializer_list<const char*> tables) {
    const std::filesystem::path path = data_ / "DB" / relative;
    std::filesystem::create_directories(path.parent_path());
    QByteArray p = ToAnsi(QString::fromStdString(path.string()));
    ADSHANDLE dict = 0;
    ASSERT_EQ(AdsDDCreate(A(p), 0, nullptr, &dict), 0u);
    for (const char* t : tables) {
      QByteArray name(t);
      QByteArray fields("NAME,Char,10;");
      ADSHANDLE table = 0;
      ASSERT_EQ(AdsCreateTable90(dict, A(name), nullptr, 3, 1, 1, 1, 512, A(fields), 0, nullptr, &table), 0u);
      ASSERT_EQ(AdsAppendRecord(table), 0u);
      ASSERT_EQ(AdsWriteRecord(table), 0u);
      ASSERT_EQ(AdsCloseTable(table), 0u);
    }
    ASSERT_EQ(AdsDisconnect(dict), 0u);
  }
  QString Db(const QString& relative) { return DataFolder() + "DB\\" + relative; }

  // The engine library beside the tool's executable, where the components look first.
  bool engineInstalled_ = [this] {
    std::filesystem::create_directories(install.root() / "exe");
    std::filesystem::create_symlink(testenv::BinDir() / "libace32.so", install.root() / "exe" / "libace32.so");
    ace_binding::ResetForTesting();
    return true;
  }();
  std::filesystem::path data_ = UseHostDataFolder();
};

TEST_F(ReindexRunTest, ADataFolderWithoutDictionariesStillSavesItsLog) {
  MainWindowProbe& w = CreateWindow();
  w.cmStartClick(w.cmStart);
  const QString logFile = DataFolder() + "Logs\\quenlor.txt";
  EXPECT_EQ(RunPart(SavedLog()),
            QStringList({"", "Starting", "", "T Reindexing DB \"" + Db("DB.add") + "\"",
                         "ERROR: file not found (" + Db("DB.add") + ")", "", "T Finished."}));
  EXPECT_EQ(w.PaneLines().back(), "A log file has been saved to \"" + logFile + "\".");
  EXPECT_FALSE(w.cmStart->Enabled());
}

TEST_F(ReindexRunTest, TablesAreReindexedMissingFilesWarnedAndGarbageDictionariesReported) {
  MakeDictionary("DB.add", {"crew", "ghost", "vessel"});
  std::filesystem::remove(data_ / "DB" / "ghost.adt");
  std::filesystem::create_directories(data_ / "DB" / "1000001");
  std::ofstream(data_ / "DB" / "1000001" / "sitedb.add", std::ios::binary) << std::string(3000, 'g');
  MakeDictionary("1000002/sitedb.add", {"job"});

  MainWindowProbe& w = CreateWindow();
  w.cmStartClick(w.cmStart);
  QStringList run = RunPart(SavedLog());
  // The garbage dictionary's line carries the engine's text; compare its start.
  const int dictError = static_cast<int>(run.indexOf(QRegularExpression(QStringLiteral("ERROR \\(dict\\): Error 5908: .*"))));
  ASSERT_GE(dictError, 0) << run.join('\n').toStdString();
  run[dictError] = QStringLiteral("ERROR (dict): ...");
  const QStringList sites = {DatabaseList->Strings(1), DatabaseList->Strings(2)};
  QStringList expected = {"", "Starting", "", "T Reindexing DB \"" + Db("DB.add") + "\"",
                          "- table \"crew, open, reindex, finished", "- table \"ghost",
                          "WARNING: table \"ghost not found.", "- table \"vessel, open, reindex, finished"};
  for (const QString& site : sites) {
    expected << "" << "T Reindexing DB \"" + Db(site) + "\"";
    if (site.startsWith("1000001"))
      expected << "ERROR (dict): ...";
    else
      expected << "- table \"job, open, reindex, finished";
  }
  expected << "" << "T Finished.";
  EXPECT_EQ(run, expected) << run.join('\n').toStdString();
  EXPECT_TRUE(std::filesystem::exists(data_ / "DB" / "crew.adi"));
  EXPECT_TRUE(std::filesystem::exists(data_ / "DB" / "1000002" / "job.adi"));
}

TEST_F(ReindexRunTest, ASecondRunReplacesTheLogOfTheFirst) {
  std::filesystem::create_directories(data_ / "Logs");
  std::ofstream(data_ / "Logs" / "quenlor.txt") << std::string(100000, 'x') << "\r\n";
  MainWindowProbe& w = CreateWindow();
  w.cmStartClick(w.cmStart);
  const QStringList saved = SavedLog();
  EXPECT_EQ(saved.first(), "This tool performs a re-indexing of all Pellmar database tables.");
  EXPECT_EQ(RunPart(saved).last(), "T Finished.") << "the announcement of the saved file is not in it";
  EXPECT_FALSE(saved.join("").contains("xxxx"));
}

TEST_F(ReindexRunTest, ClosingTheWindowDuringARunStopsAfterTheCurrentTableAndSavesTheLog) {
  MakeDictionary("DB.add", {"crew", "vessel"});
  MakeDictionary("1000002/sitedb.add", {"job"});
  MainWindowProbe& w = CreateWindow();
  w.Show();
  bool asked = false;
  w.OnLogLine = [&](const QString& line, bool appended) {
    if (!appended && line.startsWith("- table \"crew") && !asked) {
      asked = true;
      w.Close();  // as the close box does while the run pumps messages
    }
  };
  w.cmStartClick(w.cmStart);
  EXPECT_TRUE(asked);
  const QStringList run = RunPart(SavedLog());
  EXPECT_EQ(run, QStringList({"", "Starting", "", "T Reindexing DB \"" + Db("DB.add") + "\"",
                              "- table \"crew, open, reindex, finished", "", "T Finished."}))
      << run.join('\n').toStdString();
  EXPECT_EQ(DatabaseList, nullptr) << "the window closed once the run had ended";
}

}  // namespace
}  // namespace apptest
