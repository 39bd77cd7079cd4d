// SQL over the engine's tables against the same SQL on a native SQLite table, in one run:
//
//   equality   "SELECT COUNT(*), SUM(v) FROM rows WHERE k = <key>" for --lookups different keys,
//              k being indexed on both sides (CREATE INDEX through the engine's SQL, which builds
//              an index tag, and SQLite's CREATE INDEX);
//   range      "SELECT COUNT(*), SUM(v) FROM rows WHERE k BETWEEN <key> AND <key> + 9" for the same
//              keys (ten keys' rows each);
//   ordered    "SELECT k, v FROM rows WHERE k = <key> ORDER BY v DESC" for the same keys, reading
//              the first row (a result with an order of its own on the engine's side);
//   aggregate  "SELECT COUNT(*), SUM(v), MIN(v), MAX(v), AVG(k) FROM rows" over every record.
//
// The table has three fields: K Integer (record number modulo 100,000, so each key holds
// records / 100,000 rows), V Double and NAME Char(20). Both sides hold identical rows, and the
// answers of both sides are compared. The engine runs its statements through the C interface
// on a connection to the folder; SQLite through its own interface on a database file beside.
// Loading and indexing are timed too, for orientation. Prints every figure and the ratios
// (engine time / SQLite time; below 1 the engine is faster).
//
// Options: --records N (default 1000000), --lookups N (default 20).
#include <sqlite3.h>

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "ace/ace.h"
#include "ace_check.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint32_t kKeys = 100000;

UNSIGNED8* U8(const char* s) { return reinterpret_cast<UNSIGNED8*>(const_cast<char*>(s)); }

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

void Check(UNSIGNED32 rc, const char* what) { bench::CheckAce(rc, "bench_sql", what); }

void CheckSql(int rc, sqlite3* db, const char* what) {
  if (rc == SQLITE_OK || rc == SQLITE_DONE || rc == SQLITE_ROW) return;
  std::fprintf(stderr, "bench_sql: %s: %s\n", what, sqlite3_errmsg(db));
  std::exit(1);
}

int KeyOf(uint32_t n) { return static_cast<int>(n % kKeys); }
double ValueOf(uint32_t n) { return static_cast<double>((n * 7919u) % 100000u) / 100.0; }
void NameOf(uint32_t n, char* buf, size_t size) { std::snprintf(buf, size, "row %u", n); }

// The keys the equality queries look up, spread over the key range.
std::vector<int> LookupKeys(int lookups) {
  std::vector<int> keys;
  for (int i = 0; i < lookups; ++i) keys.push_back(static_cast<int>((static_cast<uint64_t>(i) * 48271u + 17) % kKeys));
  return keys;
}

// The statements run once per lookup key, and how many columns of their first row are read.
struct Lookup {
  const char* name;
  int columns;
  std::string (*text)(int key);
};
const Lookup kLookups[] = {
    {"equality", 2, [](int key) { return "SELECT COUNT(*), SUM(v) FROM rows WHERE k = " + std::to_string(key); }},
    {"range", 2,
     [](int key) {
       return "SELECT COUNT(*), SUM(v) FROM rows WHERE k BETWEEN " + std::to_string(key) + " AND " +
              std::to_string(key + 9);
     }},
    {"ordered", 2,
     [](int key) { return "SELECT k, v FROM rows WHERE k = " + std::to_string(key) + " ORDER BY v DESC"; }},
};
constexpr size_t kLookupKinds = sizeof kLookups / sizeof kLookups[0];

struct Answers {
  // Per kind and lookup, the first row's values folded into one number (a * 1e9 + b) that both
  // sides must match.
  std::vector<double> lookups[kLookupKinds];
  std::vector<double> aggregate;
};

struct Figures {
  double load = 0, index = 0, aggregate = 0;
  double lookups[kLookupKinds] = {};
  Answers answers;
};

// Reads the numeric columns of a one-row cursor.
std::vector<double> OneRow(ADSHANDLE cursor, int columns) {
  std::vector<double> values;
  Check(AdsGotoTop(cursor), "top");
  for (int c = 1; c <= columns; ++c) {
    DOUBLE v = 0;
    Check(AdsGetDouble(cursor, ADSFIELD(c), &v), "reading a result");
    values.push_back(v);
  }
  return values;
}

Figures Engine(const std::filesystem::path& folder, uint32_t records, int lookups) {
  Figures f;
  std::string path = (folder / "rows.adt").string();
  auto start = Clock::now();
  ADSHANDLE t = 0, loader = 0;
  // The rows go in as one transaction: one commit, not one per row.
  Check(AdsConnect60(U8(folder.string().c_str()), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &loader), "connect");
  Check(AdsCreateTable90(loader, U8(path.c_str()), nullptr, ADS_ADT, 1, 0, 2, 0, U8("K,Integer;V,Double;NAME,Char,20;"),
                         0, nullptr, &t),
        "create");
  Check(AdsBeginTransaction(loader), "begin");
  char name[32];
  for (uint32_t n = 1; n <= records; ++n) {
    Check(AdsAppendRecord(t), "append");
    Check(AdsSetLong(t, U8("K"), KeyOf(n)), "K");
    Check(AdsSetDouble(t, U8("V"), ValueOf(n)), "V");
    NameOf(n, name, sizeof name);
    Check(AdsSetString(t, U8("NAME"), U8(name), static_cast<UNSIGNED32>(std::strlen(name))), "NAME");
    Check(AdsWriteRecord(t), "write");
  }
  Check(AdsCommitTransaction(loader), "commit");
  Check(AdsCloseTable(t), "close");
  Check(AdsDisconnect(loader), "disconnect");
  f.load = Seconds(start);

  ADSHANDLE connection = 0;
  std::string connect = "Data Source=" + folder.string() + "/;";
  Check(AdsConnect101(U8(connect.c_str()), nullptr, &connection), "connect");
  ADSHANDLE statement = 0;
  Check(AdsCreateSQLStatement(connection, &statement), "statement");
  ADSHANDLE cursor = 0;
  start = Clock::now();
  Check(AdsExecuteSQLDirect(statement, U8("CREATE INDEX bykey ON rows (k)"), &cursor), "create index");
  f.index = Seconds(start);

  for (size_t kind = 0; kind < kLookupKinds; ++kind) {
    start = Clock::now();
    for (int key : LookupKeys(lookups)) {
      std::string sql = kLookups[kind].text(key);
      Check(AdsExecuteSQLDirect(statement, U8(sql.c_str()), &cursor), kLookups[kind].name);
      std::vector<double> row = OneRow(cursor, kLookups[kind].columns);
      f.answers.lookups[kind].push_back(row[0] * 1e9 + row[1]);
      Check(AdsCloseTable(cursor), "close cursor");
    }
    f.lookups[kind] = Seconds(start);
  }

  start = Clock::now();
  Check(AdsExecuteSQLDirect(statement, U8("SELECT COUNT(*), SUM(v), MIN(v), MAX(v), AVG(k) FROM rows"), &cursor),
        "aggregate query");
  f.answers.aggregate = OneRow(cursor, 5);
  Check(AdsCloseTable(cursor), "close cursor");
  f.aggregate = Seconds(start);

  Check(AdsCloseSQLStatement(statement), "close statement");
  Check(AdsDisconnect(connection), "disconnect");
  return f;
}

std::vector<double> OneRow(sqlite3_stmt* stmt, sqlite3* db, int columns) {
  CheckSql(sqlite3_step(stmt), db, "query");
  std::vector<double> values;
  for (int c = 0; c < columns; ++c) values.push_back(sqlite3_column_double(stmt, c));
  sqlite3_finalize(stmt);
  return values;
}

Figures Sqlite(const std::filesystem::path& folder, uint32_t records, int lookups) {
  Figures f;
  sqlite3* db = nullptr;
  auto start = Clock::now();
  CheckSql(sqlite3_open((folder / "rows.db").c_str(), &db), db, "open");
  CheckSql(sqlite3_exec(db, "CREATE TABLE rows(k INTEGER, v REAL, name TEXT); BEGIN;", nullptr, nullptr, nullptr), db,
           "create");
  sqlite3_stmt* ins = nullptr;
  CheckSql(sqlite3_prepare_v2(db, "INSERT INTO rows VALUES(?,?,?)", -1, &ins, nullptr), db, "prepare");
  char name[32];
  for (uint32_t n = 1; n <= records; ++n) {
    NameOf(n, name, sizeof name);
    sqlite3_bind_int(ins, 1, KeyOf(n));
    sqlite3_bind_double(ins, 2, ValueOf(n));
    sqlite3_bind_text(ins, 3, name, -1, SQLITE_STATIC);
    CheckSql(sqlite3_step(ins), db, "insert");
    sqlite3_reset(ins);
  }
  sqlite3_finalize(ins);
  CheckSql(sqlite3_exec(db, "COMMIT;", nullptr, nullptr, nullptr), db, "commit");
  f.load = Seconds(start);

  start = Clock::now();
  CheckSql(sqlite3_exec(db, "CREATE INDEX bykey ON rows(k)", nullptr, nullptr, nullptr), db, "create index");
  f.index = Seconds(start);

  for (size_t kind = 0; kind < kLookupKinds; ++kind) {
    start = Clock::now();
    for (int key : LookupKeys(lookups)) {
      // The statement text is prepared anew each time, as the engine's side does.
      std::string sql = kLookups[kind].text(key);
      sqlite3_stmt* q = nullptr;
      CheckSql(sqlite3_prepare_v2(db, sql.c_str(), -1, &q, nullptr), db, "prepare");
      std::vector<double> row = OneRow(q, db, kLookups[kind].columns);
      f.answers.lookups[kind].push_back(row[0] * 1e9 + row[1]);
    }
    f.lookups[kind] = Seconds(start);
  }

  start = Clock::now();
  sqlite3_stmt* q = nullptr;
  CheckSql(sqlite3_prepare_v2(db, "SELECT COUNT(*), SUM(v), MIN(v), MAX(v), AVG(k) FROM rows", -1, &q, nullptr), db,
           "prepare");
  f.answers.aggregate = OneRow(q, db, 5);
  f.aggregate = Seconds(start);
  sqlite3_close(db);
  return f;
}

bool Same(const std::vector<double>& a, const std::vector<double>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::fabs(a[i] - b[i]) > 1e-6 * std::max(1.0, std::fabs(b[i]))) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  uint32_t records = 1000000;
  int lookups = 20;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--records") == 0 && i + 1 < argc) {
      records = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
    } else if (std::strcmp(argv[i], "--lookups") == 0 && i + 1 < argc) {
      lookups = std::atoi(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: bench_sql [--records N] [--lookups N]\n");
      return 2;
    }
  }
  if (records == 0) records = 1;
  if (lookups <= 0) lookups = 1;
  std::filesystem::path folder = std::filesystem::temp_directory_path() / ("bench_sql_" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  Figures e = Engine(folder, records, lookups);
  Figures s = Sqlite(folder, records, lookups);
  std::filesystem::remove_all(folder);
  bool same = Same(e.answers.aggregate, s.answers.aggregate);
  for (size_t kind = 0; kind < kLookupKinds; ++kind) same = same && Same(e.answers.lookups[kind], s.answers.lookups[kind]);
  if (!same) {
    std::fprintf(stderr, "bench_sql: the engine and SQLite answered differently\n");
    return 1;
  }
  std::printf("records: %u, lookups of each kind: %d (%u rows per key)\n", records, lookups, records / kKeys);
  std::printf("load:      engine %.3f s, sqlite %.3f s, ratio %.2f\n", e.load, s.load, e.load / s.load);
  std::printf("index:     engine %.3f s, sqlite %.3f s, ratio %.2f\n", e.index, s.index, e.index / s.index);
  for (size_t kind = 0; kind < kLookupKinds; ++kind) {
    std::printf("%-10s engine %.4f s, sqlite %.4f s, ratio %.2f (per lookup: engine %.2f ms, sqlite %.2f ms)\n",
                (std::string(kLookups[kind].name) + ":").c_str(), e.lookups[kind], s.lookups[kind],
                e.lookups[kind] / s.lookups[kind], 1000 * e.lookups[kind] / lookups, 1000 * s.lookups[kind] / lookups);
  }
  std::printf("aggregate: engine %.3f s, sqlite %.3f s, ratio %.2f\n", e.aggregate, s.aggregate,
              e.aggregate / s.aggregate);
  return 0;
}
