// Appending and reading the records of a 10-field native table through the engine's C
// interface, against the same rows inserted into and read from an SQLite table in the same
// run. Prints both figures and the ratios (engine time / SQLite time; below 1 the engine is
// faster).
//
// Fields: two integers, three character fields (30, 20 and 10), a date, a numeric, a double,
// a logical and an integer; values are generated from the record number, so both sides write
// identical rows. The engine appends through AdsAppendRecord, the typed setters and
// AdsWriteRecord on a table opened exclusively, inside one transaction of its connection (as
// SQLite inserts inside one transaction; every append outside one would be forced to the disk
// on its own), and reads every field of every record with
// AdsGetField while skipping through the table. SQLite inserts inside one transaction with
// a prepared statement and reads every column with one SELECT. Both files live in one new
// folder under the temporary folder.
//
// The work runs in rounds, each side writing its file anew and reading it back in every round;
// prints the median time of each side and the median ratio of the rounds with their spread
// (lowest to highest).
//
// Options: --records N (default 1000000), --rounds N (default 3).
#include <sqlite3.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "ace/ace.h"
#include "ace_check.h"
#include "rounds.h"
#include "ten_field_rows.h"

namespace {

using Clock = std::chrono::steady_clock;

UNSIGNED8* U8(const char* s) { return reinterpret_cast<UNSIGNED8*>(const_cast<char*>(s)); }

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

void Check(UNSIGNED32 rc, const char* what) { bench::CheckAce(rc, "bench_table", what); }

void CheckSql(int rc, sqlite3* db, const char* what) {
  if (rc == SQLITE_OK || rc == SQLITE_DONE || rc == SQLITE_ROW) return;
  std::fprintf(stderr, "bench_table: %s: %s\n", what, sqlite3_errmsg(db));
  std::exit(1);
}

using Row = bench::TenFieldRow;
constexpr auto MakeRow = bench::MakeTenFieldRow;
const auto& kFieldNames = bench::kTenFieldNames;

struct Figures {
  double append, read;
};

Figures Engine(const std::string& path, uint32_t records) {
  const char* fields = bench::kTenFields;
  ADSHANDLE t = 0, connection = 0;
  Row r;
  auto start = Clock::now();
  const std::string folder = std::filesystem::path(path).parent_path().string();
  Check(AdsConnect60(U8(folder.c_str()), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &connection), "connect");
  Check(AdsCreateTable90(connection, U8(path.c_str()), nullptr, ADS_ADT, 1, 0, 2, 0, U8(fields), 0, nullptr, &t),
        "create");
  Check(AdsBeginTransaction(connection), "begin");
  for (uint32_t n = 1; n <= records; ++n) {
    MakeRow(n, &r);
    Check(AdsAppendRecord(t), "append");
    bench::SetTenFieldsThroughEngine(t, r, true, Check);
    Check(AdsWriteRecord(t), "write");
  }
  Check(AdsCommitTransaction(connection), "commit");
  Check(AdsCloseTable(t), "close");
  Check(AdsDisconnect(connection), "disconnect");
  Figures f{Seconds(start), 0};

  start = Clock::now();
  Check(AdsOpenTable90(0, U8(path.c_str()), nullptr, ADS_ADT, 0, 0, 2, ADS_READONLY, nullptr, &t), "open");
  Check(AdsGotoTop(t), "top");
  uint64_t bytes = 0, seen = 0;
  UNSIGNED8 buf[64];
  for (;;) {
    UNSIGNED16 eof = 0;
    Check(AdsAtEOF(t, &eof), "eof");
    if (eof) break;
    for (const char* name : kFieldNames) {
      UNSIGNED32 len = sizeof buf;
      Check(AdsGetField(t, U8(name), buf, &len, 0), name);
      bytes += len;
    }
    ++seen;
    Check(AdsSkip(t, 1), "skip");
  }
  Check(AdsCloseTable(t), "close");
  f.read = Seconds(start);
  if (seen != records || bytes == 0) {
    std::fprintf(stderr, "bench_table: read %llu records of %u\n", static_cast<unsigned long long>(seen), records);
    std::exit(1);
  }
  return f;
}

Figures Sqlite(const std::string& path, uint32_t records) {
  sqlite3* db = nullptr;
  Row r;
  auto start = Clock::now();
  CheckSql(sqlite3_open(path.c_str(), &db), db, "open");
  CheckSql(sqlite3_exec(db,
                        "CREATE TABLE t(id INTEGER, vessel INTEGER, name TEXT, port TEXT, code TEXT, due TEXT, "
                        "amount REAL, ratio REAL, active INTEGER, gross INTEGER); BEGIN;",
                        nullptr, nullptr, nullptr),
           db, "create");
  sqlite3_stmt* ins = nullptr;
  CheckSql(sqlite3_prepare_v2(db, "INSERT INTO t VALUES(?,?,?,?,?,?,?,?,?,?)", -1, &ins, nullptr), db, "prepare");
  for (uint32_t n = 1; n <= records; ++n) {
    MakeRow(n, &r);
    sqlite3_bind_int(ins, 1, r.id);
    sqlite3_bind_int(ins, 2, r.vessel);
    sqlite3_bind_text(ins, 3, r.name, -1, SQLITE_STATIC);
    sqlite3_bind_text(ins, 4, r.port, -1, SQLITE_STATIC);
    sqlite3_bind_text(ins, 5, r.code, -1, SQLITE_STATIC);
    sqlite3_bind_text(ins, 6, r.date, 10, SQLITE_STATIC);
    sqlite3_bind_double(ins, 7, r.amount);
    sqlite3_bind_double(ins, 8, r.ratio);
    sqlite3_bind_int(ins, 9, r.active);
    sqlite3_bind_int(ins, 10, r.grossTon);
    CheckSql(sqlite3_step(ins), db, "insert");
    sqlite3_reset(ins);
  }
  sqlite3_finalize(ins);
  CheckSql(sqlite3_exec(db, "COMMIT;", nullptr, nullptr, nullptr), db, "commit");
  sqlite3_close(db);
  Figures f{Seconds(start), 0};

  start = Clock::now();
  CheckSql(sqlite3_open(path.c_str(), &db), db, "open");
  sqlite3_stmt* sel = nullptr;
  CheckSql(sqlite3_prepare_v2(db, "SELECT * FROM t", -1, &sel, nullptr), db, "prepare");
  uint64_t bytes = 0, seen = 0;
  int rc;
  while ((rc = sqlite3_step(sel)) == SQLITE_ROW) {
    for (int c = 0; c < 10; ++c) bytes += static_cast<uint64_t>(sqlite3_column_bytes(sel, c)) + (sqlite3_column_text(sel, c) != nullptr);
    ++seen;
  }
  CheckSql(rc, db, "select");
  sqlite3_finalize(sel);
  sqlite3_close(db);
  f.read = Seconds(start);
  if (seen != records || bytes == 0) std::exit(1);
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  uint32_t records = 1000000;
  int rounds = 3;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--records") == 0 && i + 1 < argc) {
      records = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
    } else if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
      rounds = std::atoi(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: bench_table [--records N] [--rounds N]\n");
      return 2;
    }
  }
  if (records == 0) records = 1;
  if (rounds <= 0) rounds = 1;
  std::filesystem::path folder = std::filesystem::temp_directory_path() / ("bench_table_" + std::to_string(::getpid()));
  std::vector<double> appendEngine, appendSqlite, appendRatio, readEngine, readSqlite, readRatio;
  for (int round = 0; round < rounds; ++round) {
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    Figures e = Engine((folder / "rows.adt").string(), records);
    Figures s = Sqlite((folder / "rows.db").string(), records);
    appendEngine.push_back(e.append);
    appendSqlite.push_back(s.append);
    appendRatio.push_back(e.append / s.append);
    readEngine.push_back(e.read);
    readSqlite.push_back(s.read);
    readRatio.push_back(e.read / s.read);
  }
  std::filesystem::remove_all(folder);
  std::printf("records: %u, fields: 10, rounds: %d; median of the rounds, ratio engine / sqlite median (lowest to highest)\n",
              records, rounds);
  std::printf("append: engine %.3f s, sqlite %.3f s, ratio %s\n", bench::SpreadOf(appendEngine).median,
              bench::SpreadOf(appendSqlite).median, bench::Format(bench::SpreadOf(appendRatio)).c_str());
  std::printf("read:   engine %.3f s, sqlite %.3f s, ratio %s\n", bench::SpreadOf(readEngine).median,
              bench::SpreadOf(readSqlite).median, bench::Format(bench::SpreadOf(readRatio)).c_str());
  return 0;
}
