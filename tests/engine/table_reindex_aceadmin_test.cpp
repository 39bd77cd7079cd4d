// aceadmin reindex: every table of a dictionary or one table file gets its index file rebuilt,
// one line per table; a table that cannot be opened exclusively or whose file is missing is
// reported, the others are still rebuilt, and the exit status says so.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "support/aceadmin_run.h"
#include "support/api_fixture.h"

namespace {

using acetest::Aceadmin;
using acetest::Q;
using acetest::ToolRun;

constexpr const char* kFields = "ID,Integer;NAME,Char,20;BUILT,Date;NOTES,Memo;";

// A dictionary DB.add with the tables `names`, each loaded with three rows.
struct Installation {
  acetest::Workspace ws;
  std::string dd = ws.Win("DB.add");

  void Create(std::initializer_list<const char*> names) {
    ASSERT_EQ(Aceadmin("create-dictionary " + Q(dd)).status, 0);
    acetest::WriteFile(ws.Host("rows.csv"), "ID,NAME,BUILT,NOTES\n1,Aurora,03/15/1999,long\n2,Borealis,,\n3,Fjord,,x\n");
    for (const char* name : names) {
      ToolRun r = Aceadmin("create-table " + Q(dd) + " " + name + " " + Q(kFields));
      ASSERT_EQ(r.status, 0) << r.output;
      r = Aceadmin("load-csv " + Q(dd) + " " + name + " " + Q(ws.Host("rows.csv")));
      ASSERT_EQ(r.status, 0) << r.output;
    }
  }
};

// The output with every time replaced by "T".
std::string Timeless(const std::string& output) {
  static const std::regex time("[0-9]+\\.[0-9]{3} s");
  return std::regex_replace(output, time, "T");
}

TEST(TableReindexAceadmin, RebuildsEveryTableOfADictionaryAndReportsEachWithItsTime) {
  Installation f;
  f.Create({"vessel", "crew", "job"});
  // A garbage index file is replaced, not refused.
  acetest::WriteFile(f.ws.Host("crew.adi"), std::string(2048, '\xA5'));

  ToolRun r = Aceadmin("reindex " + Q(f.dd));
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(Timeless(r.output),
            "reindexed crew: 3 records, T\n"  // in the dictionary's order
            "reindexed job: 3 records, T\n"
            "reindexed vessel: 3 records, T\n"
            "3 of 3 tables reindexed in T\n");
  for (const char* name : {"vessel", "crew", "job"}) {
    EXPECT_TRUE(std::filesystem::is_regular_file(f.ws.Host(std::string(name) + ".adi"))) << name;
  }
  EXPECT_NE(acetest::ReadFile(f.ws.Host("crew.adi")), std::string(2048, '\xA5'));
  // The records are all still there and readable.
  ToolRun verify = Aceadmin("verify " + Q(f.dd) + " crew");
  EXPECT_EQ(verify.status, 0) << verify.output;
}

// The names of the records in the order of tag `tag` of `table` in the dictionary, or
// {"failed: " + the engine's text} when the engine refuses a step.
std::vector<std::string> NamesAlong(const std::string& dd, const std::string& table, const std::string& tag) {
  std::vector<std::string> names;
  ADSHANDLE c = 0, t = 0, order = 0;
  UNSIGNED32 rc = acetest::Connect101("Data Source=" + dd + ";User ID=adssys;", &c);
  if (rc == 0) rc = AdsOpenTable90(c, acetest::U8(table), nullptr, ADS_ADT, 0, 0, 2, 0, nullptr, &t);
  if (rc == 0) rc = AdsGetIndexHandle(t, acetest::U8(tag), &order);
  if (rc == 0) rc = AdsGotoTop(order);
  UNSIGNED16 eof = 0;
  while (rc == 0 && (rc = AdsAtEOF(order, &eof)) == 0 && !eof && names.size() < 100) {
    UNSIGNED8 buf[64];
    UNSIGNED32 len = sizeof buf;
    rc = AdsGetField(order, acetest::U8("NAME"), buf, &len, 2);
    if (rc == 0) names.emplace_back(reinterpret_cast<char*>(buf), len);
    if (rc == 0) rc = AdsSkip(order, 1);
  }
  if (rc != 0) names = {"failed: " + acetest::Last().text};
  if (t) AdsCloseTable(t);
  if (c) AdsDisconnect(c);
  return names;
}

TEST(TableReindexAceadmin, ADamagedIndexFileIsRebuiltFromTheTagsOfItsTable) {
  Installation f;
  f.Create({"vessel"});
  {
    ADSHANDLE c = 0, t = 0, order = 0;
    ASSERT_EQ(acetest::Connect101("Data Source=" + f.dd + ";User ID=adssys;", &c), 0u) << acetest::Last().text;
    ASSERT_EQ(AdsOpenTable90(c, acetest::U8("vessel"), nullptr, ADS_ADT, 0, 0, 2, ADS_EXCLUSIVE, nullptr, &t), 0u)
        << acetest::Last().text;
    ASSERT_EQ(AdsCreateIndex90(t, nullptr, acetest::U8("BYNAME"), acetest::U8("NAME"), nullptr, nullptr, ADS_COMPOUND, 512,
                               nullptr, &order),
              0u)
        << acetest::Last().text;
    ASSERT_EQ(AdsCreateIndex90(t, nullptr, acetest::U8("BYID"), acetest::U8("ID"), nullptr, nullptr, ADS_COMPOUND | ADS_DESCENDING, 512,
                               nullptr, &order),
              0u)
        << acetest::Last().text;
    AdsCloseTable(t);
    AdsDisconnect(c);
  }
  const std::vector<std::string> byName = {"Aurora", "Borealis", "Fjord"}, byIdDescending = {"Fjord", "Borealis", "Aurora"};
  ASSERT_EQ(NamesAlong(f.dd, "vessel", "BYNAME"), byName);
  std::string adi = acetest::ReadFile(f.ws.Host("vessel.adi"));
  ASSERT_GT(adi.size(), 1024u);
  for (size_t i = 512; i < adi.size(); i += 7) adi[i] = '\x5A';  // every page past the first damaged
  acetest::WriteFile(f.ws.Host("vessel.adi"), adi);
  ASSERT_NE(NamesAlong(f.dd, "vessel", "BYNAME"), byName) << "the damage shows";

  ToolRun r = Aceadmin("reindex " + Q(f.ws.Host("vessel.adt")));
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(NamesAlong(f.dd, "vessel", "BYNAME"), byName);
  EXPECT_EQ(NamesAlong(f.dd, "vessel", "BYID"), byIdDescending);
}

TEST(TableReindexAceadmin, FailingTablesAreReportedAndTheOthersStillRebuilt) {
  Installation f;
  f.Create({"vessel", "crew", "job"});
  std::filesystem::remove(f.ws.Host("vessel.adt"));
  // crew held open by this process: the tool, another process, cannot open it exclusively.
  ADSHANDLE c = 0, held = 0;
  ASSERT_EQ(acetest::Connect101("Data Source=" + f.dd + ";User ID=adssys;", &c), 0u) << acetest::Last().text;
  ASSERT_EQ(AdsOpenTable90(c, acetest::U8("crew"), nullptr, ADS_ADT, 0, 0, 2, 0, nullptr, &held), 0u)
      << acetest::Last().text;

  ToolRun r = Aceadmin("reindex " + Q(f.dd));
  EXPECT_EQ(r.status, 1) << r.output;
  // The files are named as the dictionary names them (in Windows form), not by their host paths.
  EXPECT_EQ(Timeless(r.output), "aceadmin: open crew: Error 5402: The table \"" + f.ws.Win("crew.adt") +
                                    "\" is open by another user and cannot be opened exclusively.\n"
                                    "reindexed job: 3 records, T\n"
                                    "aceadmin: open vessel: Error 5401: The table \"" +
                                    f.ws.Win("vessel.adt") +
                                    "\" does not exist.\n"
                                    "1 of 3 tables reindexed in T\n");
  EXPECT_FALSE(std::filesystem::exists(f.ws.Host("crew.adi")));
  EXPECT_TRUE(std::filesystem::exists(f.ws.Host("job.adi")));
  AdsCloseTable(held);
  AdsDisconnect(c);
}

TEST(TableReindexAceadmin, RebuildsOneTableFileByItsPath) {
  Installation f;
  f.Create({"vessel", "crew"});
  for (const std::string& path : {f.ws.Host("vessel.adt"), f.ws.Win("vessel.adt")}) {
    SCOPED_TRACE(path);
    std::filesystem::remove(f.ws.Host("vessel.adi"));
    ToolRun r = Aceadmin("reindex " + Q(path));
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(Timeless(r.output), "reindexed vessel.adt: 3 records, T\n1 of 1 tables reindexed in T\n");
    EXPECT_TRUE(std::filesystem::exists(f.ws.Host("vessel.adi")));
    EXPECT_FALSE(std::filesystem::exists(f.ws.Host("crew.adi"))) << "only the named table";
  }
}

TEST(TableReindexAceadmin, RefusesArgumentsThatNameNeitherADictionaryNorATable) {
  Installation f;
  f.Create({"vessel"});
  const struct {
    std::string args;
    int status;
  } cases[] = {{"", 2}, {Q(f.ws.Host("rows.csv")), 2}, {Q(f.dd) + " " + Q(f.dd), 2},
               {Q(f.ws.Win("missing.add")), 1}, {Q(f.ws.Host("missing.adt")), 1}};
  for (const auto& c : cases) {
    ToolRun r = Aceadmin("reindex " + c.args);
    EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.output;
    EXPECT_NE(r.output.find("aceadmin: "), std::string::npos) << c.args << "\n" << r.output;
  }
  EXPECT_FALSE(std::filesystem::exists(f.ws.Host("vessel.adi")));
}

}  // namespace
