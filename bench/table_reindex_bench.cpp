// Rebuilding the indexes of a native table through the engine's C interface (AdsReindex61 on the
// table opened exclusively), against SQLite's REINDEX of the same rows and the same three
// indexes, measured in the same run.
//
// The table: fields I Integer, S30 Char 30, S20 Char 20, D Date, filled with the rows of
// rebuild_rows.h through AdsAppendRecord and the typed setters, with three tags in its
// structural index: "I" on I, "US30" on UPPER(S30), "S20D" on S20;D (the 20 characters followed
// by the date). SQLite holds the same rows in a table of its database file with
// CREATE INDEX ... (i), (upper(s30)), (s20, d). Creating and filling both is not timed.
//
// What is timed: the engine's whole reindex from the open table (reading every record of the
// .adt, evaluating the key expressions, sorting, writing the trees, flushing the new file and
// renaming it into place) and SQLite's REINDEX in autocommit (its journal and fsync included).
// Each side runs in a child process of its own, so the peak memory printed (the child's
// maximum resident set, from wait4) is that side's alone; beside it, what the child held just
// before the timed work (its resident set then), so that peak minus that is what the work took. SQLite gets the engine's memory
// budget as its page cache and two sorter threads, as many as the engine may use.
//
// The engine reads its sort budget from ACE_REBUILD_MEMORY_MB (docs/formats.md, "Rebuilds");
// --budget-mb sets it for the engine's child and SQLite's cache_size alike.
//
// --type cdx|ntx makes the table a DBF table (I Numeric 11 instead of Integer) whose three tags
// are in its structural .cdx, or in three NTX files (I.ntx, US30.ntx, S20D.ntx) that the reindex
// rebuilds one after another, each with its own pass over the records.
//
// Options: --records N (default 1000000), --budget-mb M (default: the engine's default budget),
// --type adt|cdx|ntx (default adt),
// --repeat R (default 2: each side R times, alternating, a ratio per round; the median and the
// spread of the rounds follow), --skip-sqlite,
// --folder PATH (keep the table and the database there and reuse them when they hold N rows;
// default: a new folder under the temporary folder, removed at the end).
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "ace/ace.h"
#include "ace_check.h"
#include "rebuild_rows.h"
#include "rebuild_sqlite.h"
#include "rounds.h"

namespace {

namespace fs = std::filesystem;

const char* const kTags[][2] = {{"I", "I"}, {"US30", "UPPER(S30)"}, {"S20D", "S20;D"}};

UNSIGNED8* U8(const char* s) { return reinterpret_cast<UNSIGNED8*>(const_cast<char*>(s)); }

// The resident set of this process in MB, from /proc/self/status (0 where unavailable).
double ResidentMb() {
  FILE* f = std::fopen("/proc/self/status", "r");
  if (f == nullptr) return 0;
  char line[256];
  double kb = 0;
  while (std::fgets(line, sizeof line, f) != nullptr) {
    if (std::strncmp(line, "VmRSS:", 6) == 0) kb = std::atof(line + 6);
  }
  std::fclose(f);
  return kb / 1024.0;
}

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The table's type (--type), the same in the parent and the children.
UNSIGNED16 gType = ADS_ADT;

UNSIGNED16 TypeOf(const std::string& word) {
  if (word == "cdx") return ADS_CDX;
  if (word == "ntx") return ADS_NTX;
  return word == "adt" ? ADS_ADT : 0;
}

const char* TypeWord() { return gType == ADS_CDX ? "cdx" : gType == ADS_NTX ? "ntx" : "adt"; }

void Check(UNSIGNED32 rc, const char* what) { bench::CheckAce(rc, "bench_table_reindex", what); }

// The number of records of an existing table, or 0 when it cannot be opened.
uint32_t TableRecords(const fs::path& adt) {
  if (!fs::exists(adt)) return 0;
  ADSHANDLE t = 0;
  if (AdsOpenTable90(0, U8(adt.c_str()), nullptr, gType, 1, 0, 2, ADS_EXCLUSIVE, nullptr, &t) != 0) return 0;
  UNSIGNED32 n = 0;
  UNSIGNED16 tags = 0;
  if (AdsGetRecordCount(t, ADS_IGNOREFILTERS, &n) != 0) n = 0;
  AdsGetNumIndexes(t, &tags);
  AdsCloseTable(t);
  return tags == 3 ? n : 0;
}

void CreateTable(const fs::path& adt, uint32_t n) {
  fs::remove(adt);
  fs::path adi = adt;
  fs::remove(adi.replace_extension(".adi"));
  for (const char* stale : {"rows.cdx", "rows.qdx", "I.ntx", "US30.ntx", "S20D.ntx"}) fs::remove(adt.parent_path() / stale);
  ADSHANDLE t = 0, connection = 0;
  // The rows go in as one transaction of the table's connection: one commit, not one per row.
  Check(AdsConnect60(U8(adt.parent_path().c_str()), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &connection), "connect");
  const char* fields = gType == ADS_ADT ? "I,Integer;S30,Char,30;S20,Char,20;D,Date;"
                                         : "I,Numeric,11,0;S30,Char,30;S20,Char,20;D,Date;";
  Check(AdsCreateTable90(connection, U8(adt.c_str()), nullptr, gType, 1, 0, 2, 0, U8(fields), 0, nullptr, &t),
        "create table");
  Check(AdsBeginTransaction(connection), "begin");
  bench::Row r;
  for (uint32_t recno = 1; recno <= n; ++recno) {
    bench::MakeRow(recno, r);
    Check(AdsAppendRecord(t), "append");
    Check(AdsSetLong(t, U8("I"), r.i), "I");
    Check(AdsSetString(t, U8("S30"), U8(r.s30), 30), "S30");
    Check(AdsSetString(t, U8("S20"), U8(r.s20), 20), "S20");
    Check(AdsSetJulian(t, U8("D"), r.d), "D");
    Check(AdsWriteRecord(t), "write");
  }
  Check(AdsCommitTransaction(connection), "commit");
  for (const auto& tag : kTags) {
    ADSHANDLE index = 0;
    Check(AdsCreateIndex90(t, nullptr, U8(tag[0]), U8(tag[1]), nullptr, nullptr, ADS_COMPOUND, 0, nullptr, &index),
          tag[0]);
  }
  Check(AdsCloseTable(t), "close table");
  Check(AdsDisconnect(connection), "disconnect");
}

bool DatabaseRows(const fs::path& file, uint32_t n) {
  if (!fs::exists(file)) return false;
  sqlite3* db = nullptr;
  sqlite3_int64 rows = -1, indexes = 0;
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT (SELECT max(rowid) FROM t), (SELECT count(*) FROM sqlite_master WHERE type='index')",
                           -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW) {
      rows = sqlite3_column_int64(st, 0);
      indexes = sqlite3_column_int64(st, 1);
    }
    sqlite3_finalize(st);
  }
  sqlite3_close(db);
  return rows == n && indexes == 3;
}

void CreateDatabase(const fs::path& file, uint32_t n) {
  fs::remove(file);
  sqlite3* db = nullptr;
  sqlite3_open(file.c_str(), &db);
  bench::FillSqliteTable(db, n);
  sqlite3_close(db);
}

// Child: reindexes the table and prints the seconds; then checks that every tag holds a key
// for every record (outside the timing).
int ChildEngine(const fs::path& adt, uint32_t n) {
  ADSHANDLE t = 0;
  Check(AdsOpenTable90(0, U8(adt.c_str()), nullptr, gType, 1, 0, 2, ADS_EXCLUSIVE, nullptr, &t), "open");
  const double before = ResidentMb();
  double t0 = Now();
  Check(AdsReindex61(t, 0), "reindex");
  double seconds = Now() - t0;
  for (const auto& tag : kTags) {
    ADSHANDLE index = 0;
    UNSIGNED32 keys = 0;
    Check(AdsGetIndexHandle(t, U8(tag[0]), &index), tag[0]);
    Check(AdsGetKeyCount(index, ADS_IGNOREFILTERS, &keys), tag[0]);
    if (keys != n) {
      std::fprintf(stderr, "bench_table_reindex: tag %s holds %u keys of %u\n", tag[0], keys, n);
      return 1;
    }
  }
  Check(AdsCloseTable(t), "close");
  std::printf("%.6f %.1f\n", seconds, before);
  return 0;
}

int ChildSqlite(const fs::path& file, size_t budgetMb) {
  sqlite3* db = nullptr;
  if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) return 1;
  std::string pragma = "PRAGMA cache_size = -" + std::to_string(budgetMb * 1024);
  bench::SqliteExec(db, pragma.c_str());
  bench::SqliteExec(db, "PRAGMA threads = 2");
  const double before = ResidentMb();
  double t0 = Now();
  bench::SqliteExec(db, "REINDEX");
  double seconds = Now() - t0;
  sqlite3_close(db);
  std::printf("%.6f %.1f\n", seconds, before);
  return 0;
}

struct Figure {
  double seconds = 0;
  double peakMb = 0;
  double beforeMb = 0;  // resident just before the timed work
};

// Runs this program again as a child with args and returns what it printed and its peak memory.
Figure RunChild(const std::vector<std::string>& args) {
  int fds[2];
  if (pipe(fds) != 0) std::exit(1);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], 1);
    close(fds[0]);
    close(fds[1]);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv("/proc/self/exe", argv.data());
    _exit(127);
  }
  close(fds[1]);
  std::string out;
  char buf[256];
  for (ssize_t k; (k = read(fds[0], buf, sizeof buf)) > 0;) out.append(buf, static_cast<size_t>(k));
  close(fds[0]);
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || out.empty()) {
    std::fprintf(stderr, "bench_table_reindex: the %s run failed\n", args[2].c_str());
    std::exit(1);
  }
  double seconds = 0, before = 0;
  std::sscanf(out.c_str(), "%lf %lf", &seconds, &before);
  return Figure{seconds, static_cast<double>(usage.ru_maxrss) / 1024.0, before};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 6 && std::strcmp(argv[1], "--child") == 0) {
    gType = TypeOf(argv[5]);
    if (std::strcmp(argv[2], "engine") == 0) return ChildEngine(argv[3], static_cast<uint32_t>(std::stoul(argv[4])));
    return ChildSqlite(argv[3], std::stoul(argv[4]));
  }
  uint32_t records = 1000000;
  size_t budgetMb = 0;
  int repeat = 2;
  bool sqlite = true;
  fs::path folder;
  for (int a = 1; a < argc; ++a) {
    std::string o = argv[a];
    if (o == "--records" && a + 1 < argc) records = static_cast<uint32_t>(std::stoul(argv[++a]));
    else if (o == "--budget-mb" && a + 1 < argc) budgetMb = std::stoul(argv[++a]);
    else if (o == "--repeat" && a + 1 < argc) repeat = std::max(1, std::stoi(argv[++a]));
    else if (o == "--skip-sqlite") sqlite = false;
    else if (o == "--type" && a + 1 < argc && TypeOf(argv[a + 1]) != 0) gType = TypeOf(argv[++a]);
    else if (o == "--folder" && a + 1 < argc) folder = argv[++a];
    else {
      std::fprintf(stderr,
                   "usage: %s [--records N] [--budget-mb M] [--repeat R] [--type adt|cdx|ntx] [--skip-sqlite] [--folder PATH]\n", argv[0]);
      return 2;
    }
  }
  if (records == 0) records = 1;
  if (budgetMb > 0) {
    setenv("ACE_REBUILD_MEMORY_MB", std::to_string(budgetMb).c_str(), 1);
  } else if (const char* env = std::getenv("ACE_REBUILD_MEMORY_MB")) {
    budgetMb = std::stoul(env);
  } else {
    budgetMb = 256;  // the engine's default
  }
  bool ownFolder = folder.empty();
  if (ownFolder) folder = fs::temp_directory_path() / ("table_reindex_bench." + std::to_string(getpid()));
  fs::create_directories(folder);
  fs::path adt = fs::absolute(folder / (gType == ADS_ADT ? "rows.adt" : "rows.dbf"));
  fs::path db = fs::absolute(folder / "rows.db");

  std::printf("table reindex: %u records, %s table, 3 tags (I; UPPER(S30); S20;D), ANSI\n", records, TypeWord());
  double t0 = Now();
  if (TableRecords(adt) != records) {
    CreateTable(adt, records);
    std::printf("created %s in %.1f s (not timed)\n", adt.c_str(), Now() - t0);
  }
  if (sqlite && !DatabaseRows(db, records)) {
    t0 = Now();
    CreateDatabase(db, records);
    std::printf("created %s in %.1f s (not timed)\n", db.c_str(), Now() - t0);
  }
  std::printf("engine: AdsReindex61 on the table opened exclusively, memory budget %zu MB\n", budgetMb);
  if (sqlite) std::printf("sqlite: %s REINDEX, cache_size %zu MB, threads 2\n", sqlite3_libversion(), budgetMb);
  const std::string self = argv[0];
  std::vector<double> engineSeconds, enginePeak, engineTaken, ratios;
  for (int round = 1; round <= repeat; ++round) {
    Figure ours = RunChild({self, "--child", "engine", adt.string(), std::to_string(records), TypeWord()});
    std::printf("round %d: engine %.3f s (peak %.1f MB, %.1f MB before)", round, ours.seconds, ours.peakMb, ours.beforeMb);
    engineSeconds.push_back(ours.seconds);
    enginePeak.push_back(ours.peakMb);
    engineTaken.push_back(ours.peakMb - ours.beforeMb);
    if (sqlite) {
      Figure theirs = RunChild({self, "--child", "sqlite", db.string(), std::to_string(budgetMb), TypeWord()});
      std::printf(", sqlite %.3f s (peak %.1f MB, %.1f MB before), ratio (sqlite / engine) %.2f", theirs.seconds,
                  theirs.peakMb, theirs.beforeMb, theirs.seconds / ours.seconds);
      ratios.push_back(theirs.seconds / ours.seconds);
    }
    std::printf("\n");
    std::fflush(stdout);
  }
  std::printf("median of %d rounds (lowest to highest): engine %s s, peak %s MB (reindex's own %s MB)", repeat,
              bench::Format(bench::SpreadOf(engineSeconds), "%.3f").c_str(),
              bench::Format(bench::SpreadOf(enginePeak), "%.1f").c_str(),
              bench::Format(bench::SpreadOf(engineTaken), "%.1f").c_str());
  if (sqlite) std::printf(", ratio (sqlite / engine) %s", bench::Format(bench::SpreadOf(ratios)).c_str());
  std::printf("\n");
  if (ownFolder) fs::remove_all(folder);
  return 0;
}
