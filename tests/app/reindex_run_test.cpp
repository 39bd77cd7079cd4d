// The reindex run on installations built at test time: the saved log file compared line by
// line (time stamps by pattern), a data folder without any dictionary, a table the dictionary
// lists whose file is missing, a dictionary file that is garbage, a second run replacing the
// log of the first, a close request during the run, a table held open by another process, a
// failure after a table was opened, a site folder that goes away after discovery, a log folder
// that cannot be made, an exception no handler of the run takes, and the records of every table
// left exactly as they were.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QRegularExpression>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <new>

#include "ads/ace.h"
#include "environment/toolbookprocs.h"
#include "runtime/dialogs.h"
#include "runtime/text.h"
#include "runtime/ui/screen.h"
#include "test_env.h"
#include "tests/app/reindex_run_fixture.h"

namespace apptest {
namespace {

UNSIGNED8* A(QByteArray& b) { return reinterpret_cast<UNSIGNED8*>(b.data()); }

// A second process that opens a table file shared through the engine and holds it until it is
// killed. The constructor returns once the child reports the outcome of its open.
class TableHolder {
 public:
  explicit TableHolder(const std::filesystem::path& table) {
    int up[2];
    if (pipe(up) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(up[0]);
      QByteArray path = ToAnsi(QString::fromStdString(table.string()));
      ADSHANDLE h = 0;
      const UNSIGNED32 rc = AdsOpenTable90(0, A(path), nullptr, 3, 1, 1, 1, 0, nullptr, &h);
      if (write(up[1], &rc, sizeof rc) != sizeof rc) _exit(2);
      for (;;) pause();
    }
    close(up[1]);
    if (pid_ < 0 || read(up[0], &openResult_, sizeof openResult_) != sizeof openResult_) openResult_ = 0xFFFFFFFF;
    close(up[0]);
  }
  ~TableHolder() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  TableHolder(const TableHolder&) = delete;
  TableHolder& operator=(const TableHolder&) = delete;
  UNSIGNED32 openResult() const { return openResult_; }

 private:
  pid_t pid_ = -1;
  UNSIGNED32 openResult_ = 0xFFFFFFFF;
};

class ReindexRunTest : public ReindexRunFixture {
 protected:
  // A dictionary at data/DB/<relative> with native tables of one row each, made by the
  // Windows-form path the tool finds it by.
  void MakeDictionary(const std::string& relative, std::initializer_list<const char*> tables) {
    std::filesystem::create_directories((data_ / "DB" / relative).parent_path());
    MakeOneRowDictionary(Db(QString::fromStdString(relative).replace('/', '\\')), tables);
  }

  // A dictionary at data/DB/<relative> whose tables hold `rows` records of several field types,
  // memos among them, every seventh record deleted.
  void MakeDictionaryWithRecords(const std::string& relative, std::initializer_list<const char*> tables, int rows) {
    const std::filesystem::path path = data_ / "DB" / relative;
    std::filesystem::create_directories(path.parent_path());
    QByteArray p = ToAnsi(QString::fromStdString(path.string()));
    ADSHANDLE dict = 0;
    ASSERT_EQ(AdsDDCreate(A(p), 0, nullptr, &dict), 0u);
    for (const char* t : tables) {
      QByteArray name(t);
      QByteArray fields("NAME,Char,20;QTY,Integer;PRICE,Numeric,10,2;DUE,Date;OK,Logical;NOTE,Memo;");
      ADSHANDLE table = 0;
      ASSERT_EQ(AdsCreateTable90(dict, A(name), nullptr, 3, 1, 1, 1, 512, A(fields), 0, nullptr, &table), 0u);
      for (int n = 1; n <= rows; ++n) {
        char due[16];
        std::snprintf(due, sizeof due, "%02d/%02d/20%02d", n % 12 + 1, n % 28 + 1, n % 30);
        const std::pair<const char*, QByteArray> values[] = {
            {"NAME", QByteArray(t) + " " + QByteArray::number(n * 7919 % 1000)},
            {"QTY", QByteArray::number(n * 31 % 500 - 250)},
            {"PRICE", QByteArray::number(n * 13 % 10000) + ".25"},
            {"DUE", due},
            {"OK", n % 2 ? "T" : "F"},
            {"NOTE", n % 3 ? QByteArray("remark ").repeated(n % 40 + 1) : QByteArray()}};
        ASSERT_EQ(AdsAppendRecord(table), 0u);
        for (auto [field, value] : values) {
          QByteArray f(field);
          if (!value.isEmpty()) {
            ASSERT_EQ(AdsSetString(table, A(f), A(value), value.size()), 0u) << field;
          }
        }
        ASSERT_EQ(AdsWriteRecord(table), 0u);
        if (n % 7 == 0) {
          ASSERT_EQ(AdsDeleteRecord(table), 0u);
        }
      }
      ASSERT_EQ(AdsCloseTable(table), 0u);
    }
    ASSERT_EQ(AdsDisconnect(dict), 0u);
  }

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

// The run looks for each dictionary table's ".adt" file beside the dictionary, so it warns that a
// DBF table of the dictionary is not found and goes on; the engine rebuilds such a table's CDX
// and NTX files (here from garbage) from the definitions it keeps when it is reindexed.
TEST_F(ReindexRunTest, DbfTablesOfADictionaryAreLeftToTheEngineWithAWarning) {
  std::filesystem::create_directories(data_ / "DB");
  QByteArray p = ToAnsi(Db("DB.add"));
  ADSHANDLE dict = 0;
  ASSERT_EQ(AdsDDCreate(A(p), 0, nullptr, &dict), 0u);
  const struct {
    const char* name;
    UNSIGNED16 type;
  } tables[] = {{"cargo", 1}, {"crew", 3}, {"freight", 2}};
  for (const auto& t : tables) {
    QByteArray name(t.name), fields("NAME,Char,10;NOTES,Memo;"), tag("BYNAME"), expr("NAME"), field("NAME");
    ADSHANDLE table = 0;
    ASSERT_EQ(AdsCreateTable90(dict, A(name), nullptr, t.type, 1, 1, 1, 0, A(fields), 0, nullptr, &table), 0u);
    for (const char* value : {"delta", "alpha", "charlie"}) {
      QByteArray v(value);
      ASSERT_EQ(AdsAppendRecord(table), 0u);
      ASSERT_EQ(AdsSetString(table, A(field), A(v), v.size()), 0u);
      ASSERT_EQ(AdsWriteRecord(table), 0u);
    }
    ADSHANDLE index = 0;
    ASSERT_EQ(AdsCreateIndex90(table, nullptr, A(tag), A(expr), nullptr, nullptr, t.type == 1 ? 0 : 2, 0, nullptr,
                               &index),
              0u);
    ASSERT_EQ(AdsCloseTable(table), 0u);
  }
  ASSERT_EQ(AdsDisconnect(dict), 0u);
  // The index files are garbage now; the run rebuilds them.
  for (const char* file : {"BYNAME.ntx", "freight.cdx", "crew.adi"}) {
    ASSERT_TRUE(std::filesystem::exists(data_ / "DB" / file)) << file;
    std::ofstream(data_ / "DB" / file, std::ios::binary | std::ios::trunc) << std::string(700, 'g');
  }

  MainWindowProbe& w = CreateWindow();
  w.cmStartClick(w.cmStart);
  const QStringList run = RunPart(SavedLog());
  EXPECT_EQ(run, QStringList({"", "Starting", "", "T Reindexing DB \"" + Db("DB.add") + "\"",
                              "- table \"cargo", "WARNING: table \"cargo not found.",
                              "- table \"crew, open, reindex, finished", "- table \"freight",
                              "WARNING: table \"freight not found.", "", "T Finished."}))
      << run.join('\n').toStdString();
  for (const char* name : {"cargo", "crew", "freight"}) {
    QByteArray n(name), tag("BYNAME"), user("adssys"), field("NAME");
    ADSHANDLE conn = 0, table = 0, index = 0;
    ASSERT_EQ(AdsConnect60(A(p), 7, A(user), nullptr, 0, &conn), 0u);
    ASSERT_EQ(AdsOpenTable90(conn, A(n), nullptr, 0, 0, 0, 2, ADS_EXCLUSIVE, nullptr, &table), 0u) << name;
    ASSERT_EQ(AdsReindex61(table, 0), 0u) << name;
    ASSERT_EQ(AdsGetIndexHandle(table, A(tag), &index), 0u) << name;
    ASSERT_EQ(AdsGotoTop(index), 0u);
    UNSIGNED8 buf[32];
    UNSIGNED32 len = sizeof buf;
    ASSERT_EQ(AdsGetString(index, A(field), buf, &len, 3), 0u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), len), "alpha") << name;
    AdsCloseTable(table);
    AdsDisconnect(conn);
  }
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

// The window is closed (as by its close box or a termination signal) while the run writes the
// given line: the run stops after the table in progress, its log ends with what was not
// reindexed instead of claiming a finished run, the log is saved and the window closes. A close
// during the last table stops nothing, and that run finishes.
TEST_F(ReindexRunTest, ClosingTheWindowDuringARunStopsAfterTheCurrentTableAndLogsWhatWasNotReindexed) {
  const QString main = Db("DB.add"), site = Db("1000002\\sitedb.add");
  const QString mainHeader = "T Reindexing DB \"" + main + "\"", siteHeader = "T Reindexing DB \"" + site + "\"";
  const QString crew = "- table \"crew, open, reindex, finished", vessel = "- table \"vessel, open, reindex, finished";
  const QString job = "- table \"job, open, reindex, finished";
  const QString notStarted = " was not reindexed.", notEnded = " was not reindexed to its end.";
  const struct {
    const char* closeAt;  // the close comes while this line is written
    bool stopped;
    QStringList run;
  } cases[] = {
      {"Starting", true,
       {"", "Starting", "", "T Stopped.", "WARNING: DB \"" + main + "\"" + notStarted,
        "WARNING: DB \"" + site + "\"" + notStarted}},
      {"- table \"crew", true,
       {"", "Starting", "", mainHeader, crew, "", "T Stopped.", "WARNING: DB \"" + main + "\"" + notEnded,
        "WARNING: DB \"" + site + "\"" + notStarted}},
      {"1000002\\sitedb.add\"", true,  // the site's header
       {"", "Starting", "", mainHeader, crew, vessel, "", siteHeader, "", "T Stopped.",
        "WARNING: DB \"" + site + "\"" + notEnded}},
      {"- table \"job", false, {"", "Starting", "", mainHeader, crew, vessel, "", siteHeader, job, "", "T Finished."}},
  };
  MakeDictionary("DB.add", {"crew", "vessel"});  // listed in name order
  MakeDictionary("1000002/sitedb.add", {"job"});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.closeAt);
    MainWindowProbe& w = CreateWindow();
    w.Show();
    bool asked = false;
    w.OnLogLine = [&](const QString& line, bool appended) {
      if (!appended && line.contains(QString::fromUtf8(c.closeAt)) && !asked) {
        asked = true;
        w.Close();  // as the close box does while the run pumps messages
      }
    };
    w.cmStartClick(w.cmStart);
    ASSERT_TRUE(asked);
    const QStringList run = RunPart(SavedLog());
    EXPECT_EQ(run, c.run) << run.join('\n').toStdString();
    EXPECT_EQ(w.Stopped(), c.stopped);
    EXPECT_EQ(w.PaneLines().back(), "A log file has been saved to \"" + DataFolder() + "Logs\\quenlor.txt\".");
    EXPECT_EQ(DatabaseList, nullptr) << "the window closed once the run had ended";
    EXPECT_FALSE(w.Widget()->isVisible());
    window.reset();
    fmReindex = nullptr;
  }
}

// A close asked for during the run is not forgotten when the log then cannot be saved: the
// failure is shown first, then the window closes.
TEST_F(ReindexRunTest, ALogThatCannotBeSavedAfterAStopIsShownAndTheWindowStillCloses) {
  MakeDictionary("DB.add", {"crew", "vessel"});
  std::ofstream(data_ / "Logs", std::ios::binary) << "not a folder";
  MainWindowProbe& w = CreateWindow();
  w.Show();
  w.OnLogLine = [&](const QString& line, bool appended) {
    if (!appended && line == "- table \"crew") w.Close();
  };
  ScopedErrorMessageCapture boxes;
  w.cmStart->Click();
  ASSERT_EQ(boxes.messages().size(), 1u);
  EXPECT_EQ(boxes.messages()[0].text,
            "Cannot create file \"" + DataFolder() + "Logs\\quenlor.txt\". The system cannot find the path specified.");
  EXPECT_EQ(DatabaseList, nullptr) << "the window closed after the message";
  EXPECT_FALSE(w.Widget()->isVisible());
  Screen->SetCursor(crDefault);
}

// An exception that is not one of the runtime's (here: memory ran out while a table was being
// logged) passes the table and dictionary handlers. The run still ends its log and saves it,
// then the exception reaches the default handler; the window can be closed afterwards, or
// closes at once when that was asked for during the run.
TEST_F(ReindexRunTest, AnExceptionNoHandlerTakesEndsTheRunWithItsLogAndLeavesTheWindowClosable) {
  MakeDictionary("DB.add", {"crew", "vessel"});
  MakeDictionary("1000002/sitedb.add", {"job"});
  for (bool closeAsked : {false, true}) {
    SCOPED_TRACE(closeAsked ? "closed during the run" : "not closed");
    MainWindowProbe& w = CreateWindow();
    w.Show();
    bool thrown = false;
    w.OnLogLine = [&](const QString& line, bool appended) {
      if (!appended && line == "- table \"crew" && !thrown) {
        thrown = true;
        if (closeAsked) w.Close();
        throw std::bad_alloc();
      }
    };
    {
      ScopedErrorMessageCapture boxes;
      w.cmStart->Click();  // as the user clicks: the exception goes to the default handler
      ASSERT_EQ(boxes.messages().size(), 1u);
      EXPECT_EQ(boxes.messages()[0].text, "std::bad_alloc");
    }
    const QStringList run = RunPart(SavedLog());
    EXPECT_EQ(run, QStringList({"", "Starting", "", "T Reindexing DB \"" + Db("DB.add") + "\"", "- table \"crew",
                                "ERROR: std::bad_alloc", "", "T Stopped.",
                                "WARNING: DB \"" + Db("DB.add") + "\" was not reindexed to its end.",
                                "WARNING: DB \"" + Db("1000002\\sitedb.add") + "\" was not reindexed."}))
        << run.join('\n').toStdString();
    EXPECT_FALSE(w.Running());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << "the run is over: the busy cursor goes";
    if (!closeAsked) {
      EXPECT_NE(DatabaseList, nullptr);
      w.Close();
    }
    EXPECT_EQ(DatabaseList, nullptr) << "the window closed";
    EXPECT_FALSE(w.Widget()->isVisible());
    window.reset();
    fmReindex = nullptr;
  }
}

TEST_F(ReindexRunTest, ATableHeldOpenByAnotherProcessIsLoggedAndTheFollowingTablesAreProcessed) {
  MakeDictionary("DB.add", {"crew", "job", "vessel"});  // listed in name order
  TableHolder other(data_ / "DB" / "job.adt");
  ASSERT_EQ(other.openResult(), 0u);

  MainWindowProbe& w = CreateWindow();
  w.cmStartClick(w.cmStart);
  const QStringList run = RunPart(SavedLog());
  const QString job = Db("job.adt");  // named as the dictionary names it, not by its host path
  EXPECT_EQ(run, QStringList({"", "Starting", "", "T Reindexing DB \"" + Db("DB.add") + "\"",
                              "- table \"crew, open, reindex, finished", "- table \"job, open",
                              "ERROR (table): tb: Error 5402: The table \"" + job +
                                  "\" is open by another user and cannot be opened exclusively.",
                              "- table \"vessel, open, reindex, finished", "", "T Finished."}))
      << run.join('\n').toStdString();
  EXPECT_FALSE(std::filesystem::exists(data_ / "DB" / "job.adi")) << "the held table was not reindexed";
}

TEST_F(ReindexRunTest, AFailureAfterTheOpenLeavesTheLaterTablesOfThatDictionaryFailingUntilTheNext) {
  MakeDictionary("DB.add", {"crew", "job", "porder", "vessel"});  // listed in name order
  MakeDictionary("1000002/sitedb.add", {"incident"});
  // A folder where the rebuilt index file would be renamed to: the reindex of "job" fails
  // after its table was opened.
  std::filesystem::remove(data_ / "DB" / "job.adi");
  std::filesystem::create_directory(data_ / "DB" / "job.adi");

  MainWindowProbe& w = CreateWindow();
  w.cmStartClick(w.cmStart);
  const QStringList run = RunPart(SavedLog());
  const QString adi = Db("job.adi");
  const QString openDataset = QStringLiteral("ERROR (table): tb: Cannot perform this operation on an open dataset");
  EXPECT_EQ(run, QStringList({"", "Starting", "", "T Reindexing DB \"" + Db("DB.add") + "\"",
                              "- table \"crew, open, reindex, finished", "- table \"job, open, reindex",
                              "ERROR (table): tb: Error 7048: Replacing index file \"" + adi + "\" failed: Is a directory.",
                              "- table \"porder", openDataset, "- table \"vessel", openDataset,
                              "", "T Reindexing DB \"" + Db("1000002\\sitedb.add") + "\"",
                              "- table \"incident, open, reindex, finished", "", "T Finished."}))
      << run.join('\n').toStdString();
  // The failed rebuild left nothing behind beside the table: the folder in the way is as it
  // was, and no half-written index file remains.
  EXPECT_TRUE(std::filesystem::is_directory(data_ / "DB" / "job.adi"));
  std::vector<std::string> left;
  for (const auto& e : std::filesystem::directory_iterator(data_ / "DB")) {
    const std::string name = e.path().filename().string();
    if (name.rfind("job", 0) == 0) left.push_back(name);
  }
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, std::vector<std::string>({"job.adi", "job.adt"}));
}

// A site dictionary whose folder is removed after discovery listed it, either before Start or
// while the run works on the dictionary before it: the dictionary is reported as not found and
// the run carries on with the next one.
TEST_F(ReindexRunTest, ASiteFolderThatDisappearsAfterDiscoveryIsReportedAsNotFound) {
  for (bool duringTheRun : {false, true}) {
    SCOPED_TRACE(duringTheRun ? "removed during the run" : "removed before Start");
    std::filesystem::remove_all(data_ / "DB");
    MakeDictionary("DB.add", {"crew"});
    MakeDictionary("1000001/sitedb.add", {"job"});
    MakeDictionary("1000002/sitedb.add", {"porder"});
    MainWindowProbe& w = CreateWindow();
    ASSERT_EQ(DatabaseList->Count(), 3);
    const std::filesystem::path gone = data_ / "DB" / "1000001";
    if (duringTheRun) {
      w.OnLogLine = [&](const QString& line, bool appended) {
        if (!appended && line == "- table \"crew") std::filesystem::remove_all(gone);
      };
    } else {
      std::filesystem::remove_all(gone);
    }
    w.cmStartClick(w.cmStart);
    QStringList expected = {"", "Starting", "", "T Reindexing DB \"" + Db("DB.add") + "\"",
                            "- table \"crew, open, reindex, finished"};
    for (int i = 1; i < 3; ++i) {
      const QString site = DatabaseList->Strings(i);
      expected << "" << "T Reindexing DB \"" + Db(site) + "\"";
      if (site.startsWith("1000001"))
        expected << "ERROR: file not found (" + Db(site) + ")";
      else
        expected << "- table \"porder, open, reindex, finished";
    }
    expected << "" << "T Finished.";
    const QStringList run = RunPart(SavedLog());
    EXPECT_EQ(run, expected) << run.join('\n').toStdString();
    window.reset();
    fmReindex = nullptr;
    DatabaseList.reset();
  }
}

TEST_F(ReindexRunTest, ALogFolderThatCannotBeCreatedReachesTheDefaultHandlerWithTheCursorLeftBusy) {
  MakeDictionary("DB.add", {"crew"});
  std::ofstream(data_ / "Logs", std::ios::binary) << "not a folder";
  MainWindowProbe& w = CreateWindow();
  const QString logFile = DataFolder() + "Logs\\quenlor.txt";
  {
    ScopedErrorMessageCapture boxes;
    w.cmStart->Click();  // as the user clicks: an escaping exception goes to the default handler
    ASSERT_EQ(boxes.messages().size(), 1u);
    const QString text = boxes.messages()[0].text;
    EXPECT_EQ(text, "Cannot create file \"" + logFile + "\". The system cannot find the path specified.");
    EXPECT_EQ(boxes.messages()[0].title, "Database Quenlor");
  }
  ASSERT_NE(QGuiApplication::overrideCursor(), nullptr) << "the busy cursor stays";
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
  Screen->SetCursor(crDefault);
  const QStringList pane = w.PaneLines();
  EXPECT_TRUE(pane.back().endsWith(" Finished.")) << pane.back().toStdString();
  EXPECT_FALSE(pane.join('\n').contains("A log file has been saved"));
  EXPECT_FALSE(w.cmStart->Enabled());
  std::ifstream in(data_ / "Logs", std::ios::binary);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}), "not a folder") << "the file in the way is kept";
}

TEST_F(ReindexRunTest, NoRecordOfAnyTableChanges) {
  MakeDictionaryWithRecords("DB.add", {"vessel", "crew"}, 300);
  MakeDictionaryWithRecords("1000001/sitedb.add", {"job", "porder"}, 700);
  const std::map<std::string, QByteArray> before = RecordImages();
  ASSERT_EQ(before.size(), 4u);
  for (const auto& [table, image] : before) ASSERT_GT(image.size(), 300 * 40) << table;

  MainWindowProbe& w = CreateWindow();
  w.cmStartClick(w.cmStart);
  const QStringList run = RunPart(SavedLog());
  ASSERT_EQ(run.filter(", open, reindex, finished").size(), 4) << run.join('\n').toStdString();
  const std::map<std::string, QByteArray> after = RecordImages();
  ASSERT_EQ(after.size(), before.size());
  for (const auto& [table, image] : before) EXPECT_TRUE(after.at(table) == image) << table << " changed";
}

}  // namespace
}  // namespace apptest
