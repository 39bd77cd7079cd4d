// aceadmin create-index, drop-index and verify-index: tags are created with their options and
// built, dropped again, and checked against the table; an index that disagrees with its table
// (records changed behind its back, an older index file put back) is reported with exit 1.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/aceadmin_run.h"
#include "support/api_fixture.h"

namespace {

using acetest::Aceadmin;
using acetest::Q;
using acetest::ToolRun;

constexpr const char* kFields = "ID,Integer;NAME,Char,20;PORT,Char,10;";
constexpr const char* kRows =
    "ID,NAME,PORT\n"
    "1,Aurora,Oslo\n"
    "2,Borealis,Bergen\n"
    "3,Fjord,Oslo\n"
    "4,Aurora,Tromso\n"
    "5,Cape,Bergen\n";

// A folder with the table vessel (five rows) in it.
struct Folder {
  acetest::Workspace ws;
  std::string folder = ws.WinFolder();
  std::string adt = ws.Host("vessel.adt");

  void Create() {
    ToolRun r = Aceadmin("create-table " + Q(folder) + " vessel " + Q(kFields));
    ASSERT_EQ(r.status, 0) << r.output;
    Load(kRows);
  }
  void Load(const std::string& csv) {
    acetest::WriteFile(ws.Host("rows.csv"), csv);
    ToolRun r = Aceadmin("load-csv " + Q(folder) + " vessel " + Q(ws.Host("rows.csv")));
    ASSERT_EQ(r.status, 0) << r.output;
  }
  ToolRun CreateIndex(const std::string& args) { return Aceadmin("create-index " + Q(adt) + " " + args); }
  ToolRun VerifyIndex(const std::string& extra = "") { return Aceadmin("verify-index " + Q(folder) + " vessel" + extra); }
};

// Runs `body` with the table open on a connection to the folder.
template <typename Body>
void WithTable(const std::string& folder, UNSIGNED32 options, Body body) {
  ADSHANDLE c = 0, t = 0;
  ASSERT_EQ(acetest::Connect101("Data Source=" + folder + ";", &c), 0u) << acetest::Last().text;
  ASSERT_EQ(AdsOpenTable90(c, acetest::U8("vessel"), nullptr, ADS_ADT, 0, 0, 2, options, nullptr, &t), 0u)
      << acetest::Last().text;
  body(t);
  EXPECT_EQ(AdsCloseTable(t), 0u) << acetest::Last().text;
  AdsDisconnect(c);
}

// The record numbers along tag `tag` (walked with AdsSkip, deleted records shown).
std::vector<UNSIGNED32> RecordsAlong(ADSHANDLE t, const std::string& tag) {
  std::vector<UNSIGNED32> out;
  ADSHANDLE order = 0;
  EXPECT_EQ(AdsGetIndexHandle(t, acetest::U8(tag), &order), 0u) << tag << ": " << acetest::Last().text;
  AdsShowDeleted(1);
  UNSIGNED16 eof = 0;
  for (UNSIGNED32 rc = AdsGotoTop(order); rc == 0 && AdsAtEOF(order, &eof) == 0 && !eof && out.size() < 100;
       rc = AdsSkip(order, 1)) {
    UNSIGNED32 r = 0;
    AdsGetRecordNum(t, ADS_IGNOREFILTERS, &r);
    out.push_back(r);
  }
  AdsShowDeleted(0);
  return out;
}

TEST(IndexAceadmin, CreatedTagsFollowTheirOptionsAndVerifyAgainstTheTable) {
  Folder f;
  f.Create();
  struct Case {
    std::string args, line;
    std::vector<UNSIGNED32> order;
  } cases[] = {
      {"BYNAME NAME", "created index tag BYNAME of vessel.adt: 5 keys\n", {1, 4, 2, 5, 3}},
      {"BYID ID --descending", "created index tag BYID of vessel.adt: 5 keys\n", {5, 4, 3, 2, 1}},
      {"PORTS PORT --unique", "created index tag PORTS of vessel.adt: 3 keys\n", {2, 1, 4}},
      {"LATER ID --for " + Q("ID > 2"), "created index tag LATER of vessel.adt: 3 keys\n", {3, 4, 5}},
      {"PK ID --candidate", "created index tag PK of vessel.adt: 5 keys\n", {1, 2, 3, 4, 5}},
      {"LIVE NAME --for " + Q(".NOT. DELETED()"), "created index tag LIVE of vessel.adt: 5 keys\n", {1, 4, 2, 5, 3}},
      {"PLACE " + Q("UPPER(PORT)+NAME") + " --file extra", "created index tag PLACE of vessel.adt in extra: 5 keys\n",
       {2, 5, 1, 3, 4}},
  };
  for (const Case& c : cases) {
    ToolRun r = f.CreateIndex(c.args);
    EXPECT_EQ(r.status, 0) << c.args << ": " << r.output;
    EXPECT_EQ(r.output, c.line);
  }
  EXPECT_TRUE(std::filesystem::is_regular_file(f.ws.Host("extra.adi")));
  WithTable(f.folder, 0, [&](ADSHANDLE t) {
    ADSHANDLE extra[4];
    UNSIGNED16 n = 4;
    ASSERT_EQ(AdsOpenIndex(t, acetest::U8("extra.adi"), extra, &n), 0u) << acetest::Last().text;
    for (const Case& c : cases) {
      const std::string tag = c.args.substr(0, c.args.find(' '));
      EXPECT_EQ(RecordsAlong(t, tag), c.order) << tag;
    }
    // A deleted record stays in the tags (deleted records are kept until a pack), except where
    // the condition asks for it to go.
    ASSERT_EQ(AdsGotoRecord(t, 2), 0u);
    ASSERT_EQ(AdsDeleteRecord(t), 0u) << acetest::Last().text;
    EXPECT_EQ(RecordsAlong(t, "LIVE"), (std::vector<UNSIGNED32>{1, 4, 5, 3}));
  });

  ToolRun v = f.VerifyIndex(" --file extra.adi");
  EXPECT_EQ(v.status, 0) << v.output;
  EXPECT_EQ(v.output,
            "vessel BYNAME: ok, 5 keys\n"
            "vessel BYID: ok, 5 keys\n"
            "vessel PORTS: ok, 3 keys\n"
            "vessel LATER: ok, 3 keys\n"
            "vessel PK: ok, 5 keys\n"
            "vessel LIVE: ok, 4 keys\n"
            "vessel PLACE: ok, 5 keys\n");
  // The table-file form; without --file only the table's own index file is checked.
  v = Aceadmin("verify-index " + Q(f.adt));
  EXPECT_EQ(v.status, 0) << v.output;
  EXPECT_EQ(v.output.find("PLACE"), std::string::npos) << v.output;
}

TEST(IndexAceadmin, VerifyIndexChecksOnlyTheRecordsOfACustomTag) {
  Folder f;
  f.Create();
  WithTable(f.folder, ADS_EXCLUSIVE, [&](ADSHANDLE t) {
    ADSHANDLE mine = 0;
    ASSERT_EQ(AdsCreateIndex90(t, nullptr, acetest::U8("MINE"), acetest::U8("NAME"), nullptr, nullptr, ADS_CUSTOM, 0,
                               nullptr, &mine),
              0u)
        << acetest::Last().text;
    for (UNSIGNED32 r : {4u, 2u}) {
      ASSERT_EQ(AdsGotoRecord(t, r), 0u);
      ASSERT_EQ(AdsAddCustomKey(mine), 0u) << acetest::Last().text;
    }
    // The record changes after its key was added; a custom tag keeps the key it was given.
    ASSERT_EQ(AdsSetString(t, acetest::U8("NAME"), acetest::U8("Zodiac"), 6), 0u) << acetest::Last().text;
    ASSERT_EQ(AdsWriteRecord(t), 0u) << acetest::Last().text;
  });
  ToolRun v = f.VerifyIndex();
  EXPECT_EQ(v.status, 0) << v.output;
  EXPECT_EQ(v.output, "vessel MINE: ok, 2 keys (custom: added by hand, not compared)\n");
}

TEST(IndexAceadmin, CreateIndexReportsUsageAndEngineErrors) {
  Folder f;
  f.Create();
  ASSERT_EQ(f.CreateIndex("BYNAME NAME").status, 0);
  struct Case {
    std::string args;
    int status;
    std::string says;
  } cases[] = {
      {"ONLYTAG", 2, "usage: aceadmin create-index"},
      {"T NAME --unique --candidate", 2, "either unique or candidate"},
      {"T NAME --sideways", 2, "unknown option \"--sideways\""},
      {"T NAME --for", 2, "--for needs a value"},
      {"BAD " + Q("UPPER(NAME"), 1, "aceadmin: create-index BAD of vessel.adt: Error"},
      {"BAD " + Q("NOSUCHFIELD"), 1, "aceadmin: create-index BAD of vessel.adt: Error"},
      {"BAD NAME --for " + Q("ID >"), 1, "aceadmin: create-index BAD of vessel.adt: Error"},
      {"BAD NAME --collation NOSUCH", 1, "aceadmin: create-index BAD of vessel.adt: Error"},
      {"BAD NAME --candidate", 1, "aceadmin: create-index BAD of vessel.adt: Error"},  // Aurora twice
  };
  for (const Case& c : cases) {
    ToolRun r = f.CreateIndex(c.args);
    EXPECT_EQ(r.status, c.status) << c.args << ": " << r.output;
    EXPECT_NE(r.output.find(c.says), std::string::npos) << c.args << ": " << r.output;
  }
  // None of the refused tags was left behind.
  ToolRun v = f.VerifyIndex();
  EXPECT_EQ(v.status, 0) << v.output;
  EXPECT_EQ(v.output, "vessel BYNAME: ok, 5 keys\n");

  ToolRun missing = Aceadmin("create-index " + Q(f.folder) + " nosuch T NAME");
  EXPECT_EQ(missing.status, 1) << missing.output;
  EXPECT_NE(missing.output.find("aceadmin: open nosuch: Error"), std::string::npos) << missing.output;

  // Creating a tag needs the table to itself.
  WithTable(f.folder, 0, [&](ADSHANDLE) {
    ToolRun r = f.CreateIndex("LATER ID");
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("aceadmin: open vessel.adt: Error"), std::string::npos) << r.output;
  });
}

TEST(IndexAceadmin, DropIndexDeletesATagOfTheTableOrOfANamedFile) {
  Folder f;
  f.Create();
  ASSERT_EQ(f.CreateIndex("BYNAME NAME").status, 0);
  ASSERT_EQ(f.CreateIndex("BYID ID").status, 0);
  ASSERT_EQ(f.CreateIndex("PLACE PORT --file extra").status, 0);

  ToolRun r = Aceadmin("drop-index " + Q(f.folder) + " vessel byname");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output, "dropped index tag byname of vessel\n");
  r = Aceadmin("drop-index " + Q(f.adt) + " PLACE --file extra.adi");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output, "dropped index tag PLACE of vessel.adt from extra.adi\n");

  WithTable(f.folder, 0, [&](ADSHANDLE t) {
    UNSIGNED16 n = 0;
    ASSERT_EQ(AdsGetNumIndexes(t, &n), 0u);
    EXPECT_EQ(n, 1);
    ADSHANDLE order = 0;
    EXPECT_EQ(AdsGetIndexHandle(t, acetest::U8("BYNAME"), &order), 5016u);
    EXPECT_EQ(RecordsAlong(t, "BYID"), (std::vector<UNSIGNED32>{1, 2, 3, 4, 5}));
  });
  // A tag that is not there, and a missing argument.
  r = Aceadmin("drop-index " + Q(f.adt) + " BYNAME");
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_NE(r.output.find("aceadmin: finding the tag BYNAME: Error 5016"), std::string::npos) << r.output;
  r = Aceadmin("drop-index " + Q(f.folder) + " vessel");
  EXPECT_EQ(r.status, 2) << r.output;
  EXPECT_NE(r.output.find("usage: aceadmin drop-index"), std::string::npos) << r.output;
}

// Replaces every `from` in the file by `to` (of the same length): the table changes without its
// indexes hearing of it.
void PatchFile(const std::string& host, const std::string& from, const std::string& to) {
  std::string bytes = acetest::ReadFile(host);
  size_t at = 0;
  int patched = 0;
  while ((at = bytes.find(from, at)) != std::string::npos) {
    bytes.replace(at, to.size(), to);
    ++patched;
  }
  ASSERT_GT(patched, 0) << from;
  acetest::WriteFile(host, bytes);
}

TEST(IndexAceadmin, VerifyIndexReportsRecordsChangedBehindTheIndex) {
  Folder f;
  f.Create();
  ASSERT_EQ(f.CreateIndex("BYNAME NAME").status, 0);
  ASSERT_EQ(f.CreateIndex("BYPORT PORT").status, 0);
  PatchFile(f.adt, "Borealis", "Zeppelin");

  ToolRun v = f.VerifyIndex();
  EXPECT_EQ(v.status, 1) << v.output;
  // Along NAME the entries are Aurora 1, Aurora 4, Borealis 2, Cape 5, Fjord 3: the third one
  // still holds the old name and now stands before Cape.
  EXPECT_EQ(v.output,
            "vessel BYNAME: keys 3 and 4 are out of order (records 2 and 5)\n"
            "vessel BYNAME: key 3 (record 2) does not hold the key of its record\n"
            "vessel BYNAME: disagrees with the table: 2 problems, 5 keys, 5 records\n"
            "vessel BYPORT: ok, 5 keys\n");

  ToolRun reindex = Aceadmin("reindex " + Q(f.adt));
  ASSERT_EQ(reindex.status, 0) << reindex.output;
  v = f.VerifyIndex();
  EXPECT_EQ(v.status, 0) << v.output;
}

TEST(IndexAceadmin, VerifyIndexReportsAnOlderIndexFilePutBack) {
  Folder f;
  f.Create();
  ASSERT_EQ(f.CreateIndex("BYNAME NAME").status, 0);
  ASSERT_EQ(f.CreateIndex("ONEPORT PORT --unique").status, 0);
  const std::string adi = f.ws.Host("vessel.adi");
  const std::string older = acetest::ReadFile(adi);
  // Thirty more rows, and record 1 renamed and moved to another port.
  std::string rows = "ID,NAME,PORT\n";
  for (int i = 6; i <= 35; ++i) rows += std::to_string(i) + ",Added" + std::to_string(i) + ",Hull\n";
  f.Load(rows);
  WithTable(f.folder, ADS_EXCLUSIVE, [&](ADSHANDLE t) {
    ASSERT_EQ(AdsGotoRecord(t, 1), 0u);
    ASSERT_EQ(AdsSetString(t, acetest::U8("NAME"), acetest::U8("Zodiac"), 6), 0u) << acetest::Last().text;
    ASSERT_EQ(AdsSetString(t, acetest::U8("PORT"), acetest::U8("Wick"), 4), 0u) << acetest::Last().text;
    ASSERT_EQ(AdsWriteRecord(t), 0u) << acetest::Last().text;
  });
  acetest::WriteFile(adi, older);

  ToolRun v = f.VerifyIndex();
  EXPECT_EQ(v.status, 1) << v.output;
  const std::string& out = v.output;
  EXPECT_NE(out.find("vessel BYNAME: the tag counts 5 keys; the table has 35 records for it\n"
                     "vessel BYNAME: keys 1 and 2 are out of order (records 1 and 4)\n"
                     "vessel BYNAME: key 1 (record 1) does not hold the key of its record\n"
                     "vessel BYNAME: record 6 is missing\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("vessel BYNAME: record 22 is missing\n"), std::string::npos) << out;
  // Only the first twenty problems are shown.
  EXPECT_EQ(out.find("record 23 is missing"), std::string::npos) << out;
  EXPECT_NE(out.find("vessel BYNAME: 13 more problems\n"
                     "vessel BYNAME: disagrees with the table: 33 problems, 5 keys, 35 records\n"),
            std::string::npos)
      << out;
  // The unique tag owes Oslo to record 3 now, and lacks Hull (record 6 first); Wick is stored
  // under its old key.
  EXPECT_NE(out.find("vessel ONEPORT: the tag counts 3 keys; the table has 5 records for it\n"
                     "vessel ONEPORT: keys 2 and 3 are out of order (records 1 and 4)\n"
                     "vessel ONEPORT: key 2 (record 1) does not hold the key of its record\n"
                     "vessel ONEPORT: record 3 is missing\n"
                     "vessel ONEPORT: record 6 is missing\n"
                     "vessel ONEPORT: disagrees with the table: 5 problems, 3 keys, 35 records\n"),
            std::string::npos)
      << out;
}

TEST(IndexAceadmin, VerifyIndexReportsAnIndexItCannotReadAndRunsBesideAWriter) {
  Folder f;
  f.Create();
  ASSERT_EQ(f.CreateIndex("BYNAME NAME").status, 0);
  // Beside another user who has the table open for writing.
  WithTable(f.folder, 0, [&](ADSHANDLE t) {
    ASSERT_EQ(AdsGotoRecord(t, 3), 0u);
    ASSERT_EQ(AdsLockRecord(t, 3), 0u) << acetest::Last().text;
    ToolRun v = f.VerifyIndex();
    EXPECT_EQ(v.status, 0) << v.output;
    EXPECT_EQ(v.output, "vessel BYNAME: ok, 5 keys\n");
  });

  acetest::WriteFile(f.ws.Host("vessel.adi"), std::string(4096, '\xA5'));
  ToolRun v = f.VerifyIndex();
  EXPECT_EQ(v.status, 1) << v.output;
  EXPECT_NE(v.output.find("vessel: the indexes cannot be read: Error"), std::string::npos) << v.output;

  EXPECT_EQ(Aceadmin("verify-index " + Q(f.folder)).status, 2);
  EXPECT_EQ(Aceadmin("verify-index " + Q(f.folder) + " vessel extra").status, 2);
}

}  // namespace
