// aceadmin build-demo: the layout discovery relies on, tables the engine reads, the planted
// faults (a listed table without its file, a damaged index file), the decoy folders, and the
// same rows on every build.
#include "support/aceadmin_run.h"
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>

#include "support/api_fixture.h"

namespace {

namespace fs = std::filesystem;

using acetest::Aceadmin;
using acetest::ToolRun;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::vector<std::string> Tables(const std::string& dictionary) {
  ADSHANDLE c = 0;
  EXPECT_EQ(acetest::Connect101("Data Source=" + dictionary + ";User ID=adssys;", &c), 0u) << acetest::Last().text;
  UNSIGNED32 end = 0;
  std::vector<std::string> names = acetest::ListTables(c, "", &end);
  AdsDisconnect(c);
  return names;
}

// Opens `table` of `dictionary`; returns the code and its record count.
UNSIGNED32 OpenAndCount(const std::string& dictionary, const std::string& table, UNSIGNED32* count,
                        UNSIGNED16* tags = nullptr) {
  ADSHANDLE c = 0, t = 0;
  if (UNSIGNED32 rc = acetest::Connect101("Data Source=" + dictionary + ";User ID=adssys;", &c)) return rc;
  UNSIGNED32 rc = AdsOpenTable90(c, acetest::U8(table), nullptr, ADS_ADT, 0, 0, 2, 0, nullptr, &t);
  if (rc == 0) rc = AdsGetRecordCount(t, 2, count);
  if (rc == 0 && tags) rc = AdsGetNumIndexes(t, tags);
  if (t) AdsCloseTable(t);
  AdsDisconnect(c);
  return rc;
}

TEST(TableDemo, BuildsTheInstallationDiscoveryExpects) {
  testenv::TempDir dir;
  const fs::path root = dir.str();
  ToolRun build = Aceadmin("build-demo '" + dir.str() + "'");
  EXPECT_EQ(build.status, 0) << build.output;

  const fs::path db = root / "DB";
  const std::string main = acetest::Win((db / "DB.add").string());
  EXPECT_EQ(Tables(main), (std::vector<std::string>{"crew", "vessel"}));
  for (const char* site : {"1000001", "1000002", "1000003"}) {
    SCOPED_TRACE(site);
    ASSERT_TRUE(fs::exists(db / site / "sitedb.add"));
    std::vector<std::string> tables = Tables(acetest::Win((db / site / "sitedb.add").string()));
    EXPECT_TRUE(std::find(tables.begin(), tables.end(), "job") != tables.end());
    EXPECT_TRUE(std::find(tables.begin(), tables.end(), "incident") != tables.end());
  }
  // Decoys that discovery skips: a name that is no number and six digits.
  EXPECT_TRUE(fs::exists(db / "backup" / "sitedb.add"));
  EXPECT_TRUE(fs::exists(db / "100004" / "sitedb.add"));

  const struct {
    fs::path dictionary;
    std::string table;
    UNSIGNED32 records;
    UNSIGNED16 tags;
  } tables[] = {
      {db / "DB.add", "vessel", 1000, 4},
      {db / "DB.add", "crew", 3000, 4},
      {db / "1000001" / "sitedb.add", "job", 5000, 4},
      {db / "1000002" / "sitedb.add", "porder", 3000, 3},
  };
  for (const auto& t : tables) {
    SCOPED_TRACE(t.table);
    UNSIGNED32 count = 0;
    UNSIGNED16 tags = 0;
    ASSERT_EQ(OpenAndCount(acetest::Win(t.dictionary.string()), t.table, &count, &tags), 0u) << acetest::Last().text;
    EXPECT_EQ(count, t.records);
    EXPECT_EQ(tags, t.tags);
  }

  // The planted faults: a listed table whose file is missing, a damaged index file.
  const std::string site2 = acetest::Win((db / "1000002" / "sitedb.add").string());
  std::vector<std::string> site2Tables = Tables(site2);
  EXPECT_TRUE(std::find(site2Tables.begin(), site2Tables.end(), "certificate") != site2Tables.end());
  EXPECT_FALSE(fs::exists(db / "1000002" / "certificate.adt"));
  UNSIGNED32 count = 0;
  EXPECT_NE(OpenAndCount(site2, "certificate", &count), 0u);
  ASSERT_TRUE(fs::exists(db / "1000003" / "incident.adi"));
  EXPECT_EQ(acetest::ReadFile((db / "1000003" / "incident.adi").string()).substr(0, 16), std::string(16, '\xA5'));

  // Default indexes are dictionary properties of some tables.
  ADSHANDLE c = 0;
  ASSERT_EQ(acetest::Connect101("Data Source=" + main + ";User ID=adssys;", &c), 0u);
  UNSIGNED8 buf[64];
  UNSIGNED16 len = sizeof buf;
  ASSERT_EQ(AdsDDGetTableProperty(c, acetest::U8("vessel"), ADS_DD_TABLE_DEFAULT_INDEX, buf, &len), 0u)
      << acetest::Last().text;
  EXPECT_STREQ(reinterpret_cast<char*>(buf), "VESSELID");
  len = sizeof buf;
  EXPECT_EQ(AdsDDGetTableProperty(c, acetest::U8("crew"), ADS_DD_TABLE_DEFAULT_INDEX, buf, &len), AE_PROPERTY_NOT_SET);
  AdsDisconnect(c);

  // A second build into the same folder is refused and leaves the first as it was.
  ToolRun again = Aceadmin("build-demo '" + dir.str() + "'");
  EXPECT_EQ(again.status, 1);
  EXPECT_TRUE(Has(again.output, "exists already")) << again.output;
  ASSERT_EQ(OpenAndCount(main, "vessel", &count), 0u);
  EXPECT_EQ(count, 1000u);
}

TEST(TableDemo, GeneratesTheSameRowsOnEveryBuildAndScales) {
  testenv::TempDir a, b;
  Aceadmin("build-demo '" + a.str() + "'");
  Aceadmin("build-demo '" + b.str() + "' --scale 2");
  ToolRun rowsA = Aceadmin("show-rows '" + acetest::Win(a.str() + "/DB/1000001/sitedb.add") + "' job --limit 50");
  testenv::TempDir c;
  Aceadmin("build-demo '" + c.str() + "'");
  ToolRun rowsC = Aceadmin("show-rows '" + acetest::Win(c.str() + "/DB/1000001/sitedb.add") + "' job --limit 50");
  ASSERT_EQ(rowsA.status, 0) << rowsA.output;
  EXPECT_EQ(rowsA.output, rowsC.output);
  EXPECT_TRUE(Has(rowsA.output, "JOBID,VESSELID,EQUIP,DUE,DONE,HOURS,STATUS,REMARKS\n1,")) << rowsA.output;
  UNSIGNED32 count = 0;
  ASSERT_EQ(OpenAndCount(acetest::Win(b.str() + "/DB/DB.add"), "vessel", &count), 0u) << acetest::Last().text;
  EXPECT_EQ(count, 2000u);
  const struct {
    std::string args;
    std::string says;
  } bad[] = {{"build-demo", "usage"}, {"build-demo x --scale 0", "--scale"}, {"build-demo x --scale many", "--scale"}};
  for (const auto& c2 : bad) {
    ToolRun r = Aceadmin(c2.args);
    EXPECT_EQ(r.status, 2) << c2.args;
    EXPECT_TRUE(Has(r.output, c2.says)) << r.output;
  }
}

}  // namespace
