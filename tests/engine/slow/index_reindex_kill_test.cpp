// A reindex of a table killed with SIGKILL at any moment leaves a table that opens with a
// complete index: the old one or the new one, agreeing with the table (aceadmin verify-index)
// and giving the same orders as before: native tables, and DBF tables with their CDX or NTX
// files.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

#include "support/aceadmin_run.h"
#include "support/api_fixture.h"
#include "support/kill_delays.h"

namespace {

using acetest::Aceadmin;
using acetest::Q;
using acetest::ToolRun;
using Clock = std::chrono::steady_clock;

constexpr int kRecords = 6000;

// The kinds of tables: the engine's table type, aceadmin's --type word, the table file's
// extension, its fields, and the index file whose replacement tells a finished reindex.
struct Kind {
  UNSIGNED16 type;
  const char* word;
  const char* extension;
  const char* fields;
  const char* watched;
};
constexpr Kind kKinds[] = {
    {ADS_ADT, "adt", ".adt", "ID,Integer;NAME,Char,12;PORT,Char,8;BUILT,Date;TONNAGE,Integer;", "vessel.adi"},
    {ADS_CDX, "cdx", ".dbf", "ID,Numeric,7,0;NAME,Char,12;PORT,Char,8;BUILT,Date;TONNAGE,Numeric,5,0;", "vessel.cdx"},
    {ADS_NTX, "ntx", ".dbf", "ID,Numeric,7,0;NAME,Char,12;PORT,Char,8;BUILT,Date;TONNAGE,Numeric,5,0;", "BYID.ntx"},
};
// At least this many rounds, more (up to the most) until kills fell on both sides of the rename.
constexpr int kRounds = 20;
constexpr int kMostRounds = 60;
// Each round rebuilds with the other page size, so the page size tells which file survived.
constexpr UNSIGNED32 kPageSizes[2] = {512, 1024};

struct Tag {
  const char* name;
  const char* args;  // as the shell takes them
};
constexpr Tag kTags[] = {
    {"BYID", "ID --candidate"},
    {"BYNAME", "'UPPER(NAME)'"},
    {"PORTDATE", "'PORT+DTOS(BUILT)' --descending"},
    {"HEAVY", "TONNAGE --for 'TONNAGE > 5000'"},
};

std::string Rows(int count) {
  std::mt19937 rng(7);
  const char* ports[] = {"Oslo", "Bergen", "Hull", "Wick", "Tromso", "Cork", "Bremen"};
  std::string csv = "ID,NAME,PORT,BUILT,TONNAGE\n";
  for (int i = 1; i <= count; ++i) {
    std::string name;
    for (int c = 0; c < 12; ++c) name += static_cast<char>((c ? 'a' : 'A') + rng() % 6);  // many duplicates
    char built[16];
    std::snprintf(built, sizeof built, "%02u/%02u/%u", static_cast<unsigned>(1 + rng() % 12),
                  static_cast<unsigned>(1 + rng() % 28), static_cast<unsigned>(1950 + rng() % 70));
    csv += std::to_string(i * 7 % 100003) + "," + name + "," + ports[rng() % 7] + "," + built + "," +
           std::to_string(rng() % 10000) + "\n";
  }
  return csv;
}

// The record numbers along every tag, and the index page size; {} with a message on failure.
struct Orders {
  std::vector<std::vector<UNSIGNED32>> records;
  UNSIGNED32 pageSize = 0;
  std::string failure;
};

Orders ReadOrders(const std::string& folder, UNSIGNED16 type) {
  Orders o;
  ADSHANDLE c = 0, t = 0;
  UNSIGNED32 rc = acetest::Connect101("Data Source=" + folder + ";", &c);
  if (rc == 0) rc = AdsOpenTable90(c, acetest::U8("vessel"), nullptr, type, 0, 0, 2, ADS_READONLY, nullptr, &t);
  for (const Tag& tag : kTags) {
    ADSHANDLE order = 0;
    if (rc == 0) rc = AdsGetIndexHandle(t, acetest::U8(tag.name), &order);
    if (rc == 0 && o.pageSize == 0) rc = AdsGetIndexPageSize(order, &o.pageSize);
    std::vector<UNSIGNED32> along;
    if (rc == 0) rc = AdsGotoTop(order);
    UNSIGNED16 eof = 0;
    while (rc == 0 && (rc = AdsAtEOF(order, &eof)) == 0 && !eof && along.size() <= kRecords) {
      UNSIGNED32 r = 0;
      rc = AdsGetRecordNum(t, ADS_IGNOREFILTERS, &r);
      along.push_back(r);
      if (rc == 0) rc = AdsSkip(order, 1);
    }
    o.records.push_back(std::move(along));
  }
  if (rc != 0) o.failure = acetest::Last().text;
  if (t) AdsCloseTable(t);
  if (c) AdsDisconnect(c);
  return o;
}

// Rebuilds the table's indexes with that page size in a child process; returns its pid. The
// parent holds no engine handle meanwhile, so the child shares no open file with it.
pid_t StartReindex(const std::string& folder, UNSIGNED16 type, UNSIGNED32 pageSize) {
  pid_t child = fork();
  if (child != 0) return child;
  ADSHANDLE c = 0, t = 0;
  UNSIGNED32 rc = acetest::Connect101("Data Source=" + folder + ";", &c);
  if (rc == 0) rc = AdsOpenTable90(c, acetest::U8("vessel"), nullptr, type, 0, 0, 2, ADS_EXCLUSIVE, nullptr, &t);
  if (rc == 0) rc = AdsReindex61(t, pageSize);
  if (rc == 0) rc = AdsCloseTable(t);
  _exit(rc == 0 ? 0 : 3);
}

// Tells a replaced file from the one it replaced (a rebuild renames a new file into place).
uint64_t FileId(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_ino) : 0;
}

class IndexReindexKill : public ::testing::TestWithParam<Kind> {};

TEST_P(IndexReindexKill, AKilledReindexLeavesTheOldOrTheNewIndexCompleteAndAgreeing) {
  const Kind kind = GetParam();
  const std::string type = std::string(" --type ") + kind.word;
  acetest::Workspace ws;
  const std::string folder = ws.WinFolder();
  const std::string adt = ws.Host(std::string("vessel") + kind.extension);
  const std::string watched = ws.Host(kind.watched);
  // Native tables take the other page size in each round, which tells the files apart too;
  // the DBF formats have one page size.
  const bool native = kind.type == ADS_ADT;
  ToolRun r = Aceadmin("create-table " + Q(folder) + " vessel " + Q(kind.fields) + type);
  ASSERT_EQ(r.status, 0) << r.output;
  acetest::WriteFile(ws.Host("rows.csv"), Rows(kRecords));
  r = Aceadmin("load-csv " + Q(folder) + " vessel " + Q(ws.Host("rows.csv")) + type);
  ASSERT_EQ(r.status, 0) << r.output;
  for (const Tag& tag : kTags) {
    r = Aceadmin("create-index " + Q(adt) + " " + tag.name + " " + tag.args + type);
    ASSERT_EQ(r.status, 0) << r.output;
  }

  // The orders as built, and how long a whole reindex takes here (the quickest of three, as a
  // busy machine makes some runs much slower).
  int current = 0;
  double seconds = 1e9;
  for (int i = 0; i < 3; ++i) {
    const auto t0 = Clock::now();
    int status = 0;
    pid_t child = StartReindex(folder, kind.type, kPageSizes[current]);
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    seconds = std::min(seconds, std::chrono::duration<double>(Clock::now() - t0).count());
  }
  const Orders before = ReadOrders(folder, kind.type);
  ASSERT_EQ(before.failure, "");
  if (native) ASSERT_EQ(before.pageSize, kPageSizes[current]);
  ASSERT_EQ(before.records[0].size(), static_cast<size_t>(kRecords));

  // Delays cover the whole run and a little beyond, so that some rounds finish.
  acetest::KillDelays delays(seconds, 1.2, 2026);
  int killed = 0, sawOld = 0, sawNew = 0;
  for (int round = 0; round < kMostRounds && (round < kRounds || !delays.SawBothSides()); ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const int target = 1 - current;
    const auto delay = delays.Next();
    const uint64_t idBefore = FileId(watched);
    pid_t child = StartReindex(folder, kind.type, kPageSizes[target]);
    ASSERT_GT(child, 0);
    std::this_thread::sleep_for(delay);
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) == 0)) << status;
    killed += WIFSIGNALED(status);

    const Orders now = ReadOrders(folder, kind.type);
    ASSERT_EQ(now.failure, "") << "the table does not open with a usable index";
    if (native) ASSERT_TRUE(now.pageSize == kPageSizes[current] || now.pageSize == kPageSizes[target]) << now.pageSize;
    if (native ? now.pageSize == kPageSizes[target] : FileId(watched) != idBefore) {
      current = target;
      ++sawNew;
    } else {
      ++sawOld;
    }
    delays.Saw(current == target);
    for (size_t i = 0; i < std::size(kTags); ++i) EXPECT_EQ(now.records[i], before.records[i]) << kTags[i].name;
    ToolRun v = Aceadmin("verify-index " + Q(adt) + type);
    ASSERT_EQ(v.status, 0) << v.output;
  }
  RecordProperty("rounds", "killed " + std::to_string(killed) + ", old " + std::to_string(sawOld) + ", new " +
                                std::to_string(sawNew) + ", reindex " + std::to_string(seconds) + " s, last bound " +
                                std::to_string(delays.bound()) + " s");
  // Both outcomes occur, so the kills fell before and after the new file took the old one's place.
  EXPECT_GT(killed, 0);
  EXPECT_GT(sawOld, 0);
  EXPECT_GT(sawNew, 0);
}

INSTANTIATE_TEST_SUITE_P(TableTypes, IndexReindexKill, ::testing::ValuesIn(kKinds),
                         [](const auto& info) { return std::string(info.param.word); });

}  // namespace
