// The reindex run over the demo installation (aceadmin build-demo): the whole log as the user
// reads it, every index of every table afterwards walking exactly like the same index built
// afresh on a copy of the table, the demo's damaged index repaired, and no record changed.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/app/reindex_run_fixture.h"
#include "tests/engine/support/aceadmin_run.h"

namespace apptest {
namespace {

QString Text(ADSHANDLE index, UNSIGNED32 (*get)(ADSHANDLE, UNSIGNED8*, UNSIGNED16*)) {
  QByteArray buf(1024, '\0');
  UNSIGNED16 len = static_cast<UNSIGNED16>(buf.size());
  EXPECT_EQ(get(index, AnsiArg(buf), &len), 0u);
  return QString::fromLatin1(buf.left(len));
}

// The record numbers along an index order, from its top to its end.
std::vector<UNSIGNED32> Walk(ADSHANDLE order) {
  std::vector<UNSIGNED32> records;
  EXPECT_EQ(AdsGotoTop(order), 0u);
  UNSIGNED16 eof = 0;
  while (AdsAtEOF(order, &eof) == 0 && !eof) {
    UNSIGNED32 record = 0;
    EXPECT_EQ(AdsGetRecordNum(order, ADS_IGNOREFILTERS, &record), 0u);
    records.push_back(record);
    if (AdsSkip(order, 1) != 0) break;
  }
  return records;
}

class DemoRunTest : public ReindexRunFixture {
 protected:
  // Compares every tag of the table file `path` with the same tag built on a fresh copy of the
  // table (records copied, no index), walk for walk.
  void ExpectIndexesLikeFreshOnes(const std::filesystem::path& path) {
    SCOPED_TRACE(path.string());
    QByteArray source = ToAnsi(QString::fromStdString(path.string()));
    const std::filesystem::path copyPath = install.root() / "fresh" / path.filename();
    std::filesystem::create_directories(copyPath.parent_path());
    std::filesystem::remove(copyPath);
    QByteArray copy = ToAnsi(QString::fromStdString(copyPath.string()));
    ADSHANDLE table = 0, fresh = 0;
    ASSERT_EQ(AdsOpenTable90(0, AnsiArg(source), nullptr, 3, 1, 1, 1, ADS_EXCLUSIVE, nullptr, &table), 0u);
    ASSERT_EQ(AdsCopyTable(table, ADS_IGNOREFILTERS, AnsiArg(copy)), 0u);
    ASSERT_EQ(AdsOpenTable90(0, AnsiArg(copy), nullptr, 3, 1, 1, 1, ADS_EXCLUSIVE, nullptr, &fresh), 0u);
    UNSIGNED16 tags = 0;
    ASSERT_EQ(AdsGetNumIndexes(table, &tags), 0u);
    EXPECT_GE(tags, 3u);
    for (UNSIGNED16 i = 1; i <= tags; ++i) {
      ADSHANDLE order = 0, freshOrder = 0;
      ASSERT_EQ(AdsGetIndexHandleByOrder(table, i, &order), 0u);
      QByteArray name = ToAnsi(Text(order, AdsGetIndexName));
      QByteArray expression = ToAnsi(Text(order, AdsGetIndexExpr));
      QByteArray condition = ToAnsi(Text(order, AdsGetIndexCondition));
      UNSIGNED16 descending = 0, unique = 0;
      ASSERT_EQ(AdsIsIndexDescending(order, &descending), 0u);
      ASSERT_EQ(AdsIsIndexUnique(order, &unique), 0u);
      const UNSIGNED32 options = ADS_COMPOUND | (descending ? ADS_DESCENDING : 0) | (unique ? ADS_UNIQUE : 0);
      ASSERT_EQ(AdsCreateIndex90(fresh, nullptr, AnsiArg(name), AnsiArg(expression),
                                 condition.isEmpty() ? nullptr : AnsiArg(condition), nullptr, options, 512, nullptr,
                                 &freshOrder),
                0u)
          << name.constData();
      const std::vector<UNSIGNED32> walk = Walk(order);
      EXPECT_FALSE(walk.empty()) << name.constData();
      EXPECT_TRUE(walk == Walk(freshOrder)) << name.constData() << " walks differently from a fresh build";
    }
    EXPECT_EQ(AdsCloseTable(fresh), 0u);
    EXPECT_EQ(AdsCloseTable(table), 0u);
  }
};

TEST_F(DemoRunTest, TheDemoIsReindexedWithoutErrorsItsIndexesMatchFreshOnesAndNoRecordChanges) {
  const acetest::ToolRun build = acetest::Aceadmin("build-demo " + acetest::Q(data_.string()));
  ASSERT_EQ(build.status, 0) << build.output;
  const std::map<std::string, QByteArray> before = RecordImages();
  ASSERT_EQ(before.size(), 11u) << "vessel and crew, and three tables in each of the three sites";

  // The damaged index of site 1000003 shows as damaged before the run: walking along it fails.
  const std::filesystem::path incident = data_ / "DB" / "1000003" / "incident.adt";
  {
    QByteArray path = ToAnsi(QString::fromStdString(incident.string()));
    ADSHANDLE h = 0, order = 0;
    const UNSIGNED32 open = AdsOpenTable90(0, AnsiArg(path), nullptr, 3, 1, 1, 1, ADS_READONLY, nullptr, &h);
    const bool usable = open == 0 && AdsGetIndexHandleByOrder(h, 1, &order) == 0 && AdsGotoTop(order) == 0 &&
                        AdsSkip(order, 1) == 0;
    if (open == 0) AdsCloseTable(h);
    ASSERT_FALSE(usable) << "the demo's damaged index";
  }

  MainWindowProbe& w = CreateWindow();
  w.cmStartClick(w.cmStart);
  const QStringList run = RunPart(SavedLog());
  QStringList expected = {"", "Starting", "", "T Reindexing DB \"" + Db("DB.add") + "\"",
                          "- table \"crew, open, reindex, finished", "- table \"vessel, open, reindex, finished"};
  for (int i = 1; i < DatabaseList->Count(); ++i) {
    const QString site = DatabaseList->Strings(i);
    expected << "" << "T Reindexing DB \"" + Db(site) + "\"";
    if (site.startsWith("1000002")) expected << "- table \"certificate" << "WARNING: table \"certificate not found.";
    for (const char* table : {"incident", "job", "porder"})
      expected << "- table \"" + QString(table) + ", open, reindex, finished";
  }
  expected << "" << "T Finished.";
  EXPECT_EQ(DatabaseList->Count(), 4) << "the main dictionary and three sites; backup and 100004 are skipped";
  EXPECT_EQ(run, expected) << run.join('\n').toStdString();

  const std::map<std::string, QByteArray> after = RecordImages();
  ASSERT_EQ(after.size(), before.size());
  for (const auto& [table, image] : before) EXPECT_TRUE(after.at(table) == image) << table << " changed";
  for (const auto& [table, image] : before) ExpectIndexesLikeFreshOnes(table);
}

}  // namespace
}  // namespace apptest
