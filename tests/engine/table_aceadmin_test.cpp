// aceadmin's table commands: creating a table, loading CSV rows, showing them, packing, and
// verifying table files, sound and damaged.
#include "support/aceadmin_run.h"
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>

#include "support/api_fixture.h"

namespace {

using acetest::Aceadmin;
using acetest::ToolRun;

using acetest::Q;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

constexpr const char* kVesselFields = "ID,Integer;NAME,Char,20;BUILT,Date;NOTES,Memo;PRICE,Numeric,10,2;";

// A dictionary with the table vessel holding `csv`.
struct VesselFixture {
  acetest::Workspace ws;
  std::string dd = ws.Win("DB.add");

  ToolRun Load(const std::string& csv) {
    acetest::WriteFile(ws.Host("rows.csv"), csv);
    return Aceadmin("load-csv " + Q(dd) + " vessel " + Q(ws.Host("rows.csv")));
  }
  void Create() {
    ASSERT_EQ(Aceadmin("create-dictionary " + Q(dd)).status, 0);
    ToolRun r = Aceadmin("create-table " + Q(dd) + " vessel " + Q(kVesselFields));
    ASSERT_EQ(r.status, 0) << r.output;
  }
};

TEST(TableAceadmin, LoadsCsvRowsThatTheEngineReadsBack) {
  VesselFixture f;
  f.Create();
  ToolRun load = f.Load(
      "ID,NAME,BUILT,NOTES,PRICE\r\n"
      "1,Aurora,03/15/1999,\"two lines,\nwith \"\"quotes\"\"\",12.50\r\n"
      "\n"
      "2,Borealis,,,\r\n"
      "3,\"\",01/02/2020,,7\n");
  ASSERT_EQ(load.status, 0) << load.output;
  EXPECT_TRUE(Has(load.output, "loaded 3 rows into vessel")) << load.output;

  // The table is in the dictionary, and the engine reads every value as loaded.
  ADSHANDLE c = 0, t = 0;
  ASSERT_EQ(acetest::Connect101("Data Source=" + f.dd + ";User ID=adssys;", &c), 0u) << acetest::Last().text;
  ASSERT_EQ(AdsOpenTable90(c, acetest::U8("vessel"), nullptr, ADS_ADT, 0, 0, 2, 0, nullptr, &t), 0u)
      << acetest::Last().text;
  UNSIGNED32 count = 0;
  ASSERT_EQ(AdsGetRecordCount(t, 2, &count), 0u);
  EXPECT_EQ(count, 3u);
  ASSERT_EQ(AdsGotoRecord(t, 1), 0u);
  UNSIGNED8 buf[128];
  UNSIGNED32 len = sizeof buf;
  ASSERT_EQ(AdsGetField(t, acetest::U8("NOTES"), buf, &len, 0), 0u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), len), "two lines,\nwith \"quotes\"");
  ASSERT_EQ(AdsGotoRecord(t, 2), 0u);
  UNSIGNED16 empty = 0;
  ASSERT_EQ(AdsIsEmpty(t, acetest::U8("BUILT"), &empty), 0u);
  EXPECT_EQ(empty, 1);
  EXPECT_EQ(AdsCloseTable(t), 0u);
  EXPECT_EQ(AdsDisconnect(c), 0u);

  ToolRun show = Aceadmin("show-rows " + Q(f.dd) + " vessel");
  ASSERT_EQ(show.status, 0) << show.output;
  EXPECT_TRUE(Has(show.output, "ID,NAME,BUILT,NOTES,PRICE\n")) << show.output;
  EXPECT_TRUE(Has(show.output, "1,Aurora,03/15/1999,\"two lines,\nwith \"\"quotes\"\"\",")) << show.output;
  EXPECT_TRUE(Has(show.output, "2,Borealis,,,\n")) << show.output;
  ToolRun limited = Aceadmin("show-rows " + Q(f.dd) + " vessel --limit 1");
  EXPECT_FALSE(Has(limited.output, "Borealis")) << limited.output;
}

// Dates as other programs export them (ISO), beside the engine's own format; an ISO value
// that names no real day is refused rather than stored as some other day.
TEST(TableAceadmin, LoadsIsoDatesAndTimestamps) {
  acetest::Workspace ws;
  const std::string folder = ws.WinFolder();
  ASSERT_EQ(Aceadmin("create-table " + Q(folder) + " event 'ID,Integer;DAY,Date;AT,TimeStamp;'").status, 0);
  acetest::WriteFile(ws.Host("event.csv"),
                     "ID,DAY,AT\n"
                     "1,2024-02-29,2024-02-29 13:45:10\n"
                     "2,03/15/1999,1999-03-15T08:00:00.250\n"
                     "3,1899-12-30,2000-01-01\n"
                     "4,,2000-01-01 23:59\n");
  ToolRun load = Aceadmin("load-csv " + Q(folder) + " event " + Q(ws.Host("event.csv")));
  ASSERT_EQ(load.status, 0) << load.output;
  const struct {
    SIGNED32 day, atDay, atMs;  // 0: empty
  } expected[] = {
      {2460370, 2460370, (13 * 3600 + 45 * 60 + 10) * 1000},
      {2451253, 2451253, 8 * 3600 * 1000 + 250},
      {2415019, 2451545, 0},
      {0, 2451545, (23 * 3600 + 59 * 60) * 1000},
  };
  ADSHANDLE t = 0;
  ASSERT_EQ(AdsOpenTable90(0, acetest::U8(ws.Win("event.adt")), nullptr, ADS_ADT, 0, 0, 2, 0, nullptr, &t), 0u)
      << acetest::Last().text;
  for (UNSIGNED32 n = 1; n <= 4; ++n) {
    SCOPED_TRACE("record " + std::to_string(n));
    ASSERT_EQ(AdsGotoRecord(t, n), 0u);
    SIGNED32 day = -1, atDay = -1, atMs = -1;
    EXPECT_EQ(AdsGetJulian(t, acetest::U8("DAY"), &day), 0u);
    EXPECT_EQ(AdsGetJulian(t, acetest::U8("AT"), &atDay), 0u);
    EXPECT_EQ(AdsGetMilliseconds(t, acetest::U8("AT"), &atMs), 0u);
    EXPECT_EQ(day, expected[n - 1].day);
    EXPECT_EQ(atDay, expected[n - 1].atDay);
    EXPECT_EQ(atMs, expected[n - 1].atMs);
  }
  ASSERT_EQ(AdsCloseTable(t), 0u);

  const struct {
    std::string row;
    std::string says;
  } refused[] = {
      {"5,2023-02-29,", "line 2, field DAY: \"2023-02-29\" is not a date"},
      {"5,2024-13-01,", "field DAY: \"2024-13-01\" is not a date"},
      {"5,2024-01-01 10:00,", "field DAY: \"2024-01-01 10:00\" is not a date"},
      {"5,,2024-04-31 10:00", "field AT: \"2024-04-31 10:00\" is not a timestamp"},
      {"5,,2024-04-30 25:00", "field AT"},
  };
  for (const auto& r : refused) {
    SCOPED_TRACE(r.row);
    acetest::WriteFile(ws.Host("bad.csv"), "ID,DAY,AT\n" + r.row + "\n");
    ToolRun bad = Aceadmin("load-csv " + Q(folder) + " event " + Q(ws.Host("bad.csv")));
    EXPECT_EQ(bad.status, 1) << bad.output;
    EXPECT_TRUE(Has(bad.output, r.says)) << bad.output;
  }
  ToolRun show = Aceadmin("show-rows " + Q(folder) + " event");
  EXPECT_FALSE(Has(show.output, "\n5,")) << show.output;
}

TEST(TableAceadmin, RefusesBadInputWithoutLosingRowsAlreadyStored) {
  VesselFixture f;
  f.Create();
  ASSERT_EQ(f.Load("ID,NAME\n1,Kept\n").status, 0);
  const struct {
    std::string csv;
    std::string says;
  } cases[] = {
      {"ID,NAME\n2,Two\n3\n", "line 3: 1 values for 2 columns"},
      {"ID,NAME\n2,\"open\n", "line 2: a quoted field is not closed"},
      {"ID,NOSUCH\n2,x\n", "NOSUCH"},
      {"ID,BUILT\n2,01/02/2020\n3,13/45/2020\n", "BUILT"},
      {"", "the first line must name the fields"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.csv);
    ToolRun r = f.Load(c.csv);
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_TRUE(Has(r.output, c.says)) << r.output;
    // A load is stored whole or not at all, and the tool says which.
    if (!c.csv.empty()) EXPECT_TRUE(Has(r.output, "no rows were stored")) << r.output;
  }
  // The row stored first is the only record: no row before the bad one, and no deleted blank
  // record left by the row that failed.
  ToolRun show = Aceadmin("show-rows " + Q(f.dd) + " vessel");
  EXPECT_TRUE(Has(show.output, "1,Kept,")) << show.output;
  EXPECT_FALSE(Has(show.output, "2,")) << show.output;
  ADSHANDLE c = 0, t = 0;
  ASSERT_EQ(acetest::Connect101("Data Source=" + f.dd + ";User ID=adssys;", &c), 0u) << acetest::Last().text;
  ASSERT_EQ(AdsOpenTable90(c, acetest::U8("vessel"), nullptr, ADS_ADT, 0, 0, 2, 0, nullptr, &t), 0u);
  UNSIGNED32 records = 0;
  ASSERT_EQ(AdsGetRecordCount(t, ADS_IGNOREFILTERS, &records), 0u);
  EXPECT_EQ(records, 1u);
  EXPECT_EQ(AdsCloseTable(t), 0u);
  EXPECT_EQ(AdsDisconnect(c), 0u);
  ToolRun verify = Aceadmin("verify " + Q(f.dd) + " vessel");
  EXPECT_EQ(verify.status, 0) << verify.output;
}

TEST(TableAceadmin, CreatesFreeTablesAndRefusesBadDefinitions) {
  acetest::Workspace ws;
  const std::string folder = ws.WinFolder();
  const struct {
    std::string args;
    int status;
    std::string says;
  } steps[] = {
      {"create-table " + Q(folder) + " parts 'CODE,Char,8;QTY,Integer'", 0, "created table parts"},
      {"create-table " + Q(folder) + " bad 'CODE,Sausage,8'", 1, "Error"},
      {"create-table " + Q(folder) + " parts", 2, "usage"},
      {"create-table " + Q(folder) + " memo 'N,Memo' --memo-size 0", 2, "memo block size"},
      {"show-rows " + Q(folder) + " nothere", 1, "Error"},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.args);
    ToolRun r = Aceadmin(s.args);
    EXPECT_EQ(r.status, s.status) << r.output;
    EXPECT_TRUE(Has(r.output, s.says)) << r.output;
  }
  EXPECT_TRUE(std::filesystem::exists(ws.Host("parts.adt")));
  EXPECT_FALSE(std::filesystem::exists(ws.Host("bad.adt")));

  // In a dictionary --free leaves the table out of it.
  const std::string dd = ws.Win("DB.add");
  ASSERT_EQ(Aceadmin("create-dictionary " + Q(dd)).status, 0);
  ASSERT_EQ(Aceadmin("create-table " + Q(dd) + " loose 'A,Char,2' --free").status, 0);
  ASSERT_EQ(Aceadmin("create-table " + Q(dd) + " listed 'A,Char,2'").status, 0);
  ToolRun list = Aceadmin("list-tables " + Q(dd));
  EXPECT_TRUE(Has(list.output, "listed")) << list.output;
  EXPECT_FALSE(Has(list.output, "loose")) << list.output;
}

TEST(TableAceadmin, PackRemovesDeletedRecords) {
  VesselFixture f;
  f.Create();
  ASSERT_EQ(f.Load("ID,NAME\n1,a\n2,b\n3,c\n").status, 0);
  ADSHANDLE t = 0;
  ASSERT_EQ(AdsOpenTable90(0, acetest::U8(f.ws.Win("vessel.adt")), nullptr, ADS_ADT, 0, 0, 2, 0, nullptr, &t), 0u)
      << acetest::Last().text;
  ASSERT_EQ(AdsGotoRecord(t, 2), 0u);
  ASSERT_EQ(AdsDeleteRecord(t), 0u);
  ASSERT_EQ(AdsCloseTable(t), 0u);
  ToolRun pack = Aceadmin("pack " + Q(f.dd) + " vessel");
  ASSERT_EQ(pack.status, 0) << pack.output;
  EXPECT_TRUE(Has(pack.output, "packed vessel: 2 records")) << pack.output;
  ToolRun show = Aceadmin("show-rows " + Q(f.dd) + " vessel");
  EXPECT_TRUE(Has(show.output, "1,a,") && Has(show.output, "3,c,")) << show.output;
  EXPECT_FALSE(Has(show.output, "2,b,")) << show.output;
}

// Damage done to the files of a sound table, and what verify must say about it.
TEST(TableAceadmin, VerifyFindsDamagedFiles) {
  const struct {
    const char* name;
    std::function<void(const std::string& adt, const std::string& adm)> damage;
    std::string says;
  } cases[] = {
      {"sound", [](const std::string&, const std::string&) {}, "ok, 3 records, 5 fields"},
      {"fixed header byte changed",
       [](const std::string& adt, const std::string&) {
         std::string b = acetest::ReadFile(adt);
         b[12] ^= 0x5A;
         acetest::WriteFile(adt, b);
       },
       "damaged"},
      {"structure byte changed",
       [](const std::string& adt, const std::string&) {
         std::string b = acetest::ReadFile(adt);
         b[150] ^= 0x5A;
         acetest::WriteFile(adt, b);
       },
       "damaged"},
      {"not a table",
       [](const std::string& adt, const std::string&) { acetest::WriteFile(adt, std::string(600, 'x')); },
       "damaged"},
      {"truncated table",
       [](const std::string& adt, const std::string&) {
         std::filesystem::resize_file(adt, std::filesystem::file_size(adt) - 5);
       },
       "record 3"},
      {"memo references past the memo file",
       [](const std::string&, const std::string& adm) { std::filesystem::resize_file(adm, 8); },
       "field NOTES"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    VesselFixture f;
    f.Create();
    ASSERT_EQ(f.Load("ID,NAME,NOTES\n1,a,first note\n2,b,second note\n3,c,third note\n").status, 0);
    c.damage(f.ws.Host("vessel.adt"), f.ws.Host("vessel.adm"));
    ToolRun r = Aceadmin("verify " + Q(f.dd) + " vessel");
    EXPECT_EQ(r.status, std::string(c.name) == "sound" ? 0 : 1) << r.output;
    EXPECT_TRUE(Has(r.output, c.says)) << r.output;
  }
}

}  // namespace

namespace {

// Names typed in the terminal's encoding reach the engine in its ANSI code page and come back
// as typed; the host file carries the name in UTF-8.
TEST(TableAceadmin, NamesFollowTheTerminalsEncoding) {
  acetest::Workspace ws;
  const std::string folder = ws.WinFolder() + "\\Daten-\xC3\xBC";  // "Daten-ü", as a UTF-8 terminal types it
  std::filesystem::create_directories(ws.Host("Daten-\xC3\xBC"));
  for (const char* locale : {"C.UTF-8", "C"}) {  // the C locale's terminal writes UTF-8 as well
    SCOPED_TRACE(locale);
    const char* old = getenv("LC_ALL");
    const std::string saved = old ? old : "";
    setenv("LC_ALL", locale, 1);
    const std::string table = std::string("M\xC3\xBCll") + (std::string(locale) == "C" ? "2" : "1");
    ToolRun created = Aceadmin("create-table " + Q(folder) + " " + Q(table) + " 'ID,Integer;'");
    ToolRun listed = Aceadmin("list-tables " + Q(folder));
    if (old) {
      setenv("LC_ALL", saved.c_str(), 1);
    } else {
      unsetenv("LC_ALL");
    }
    EXPECT_EQ(created.status, 0) << created.output;
    EXPECT_TRUE(Has(created.output, table)) << created.output;
    EXPECT_TRUE(std::filesystem::exists(ws.Host("Daten-\xC3\xBC/" + table + ".adt")));
    EXPECT_EQ(listed.status, 0) << listed.output;
    EXPECT_TRUE(Has(listed.output, table + ".adt")) << listed.output;
  }
}

}  // namespace
