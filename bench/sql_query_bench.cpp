// SQL over the engine's tables against the same SQL on a native SQLite table, in one run:
//
//   equality   "SELECT COUNT(*), SUM(v) FROM rows WHERE k = <key>" for --lookups different keys,
//              k being indexed on both sides (CREATE INDEX through the engine's SQL, which builds
//              an index tag, and SQLite's CREATE INDEX);
//   range      "SELECT COUNT(*), SUM(v) FROM rows WHERE k BETWEEN <key> AND <key> + 9" for the same
//              keys (ten keys' rows each);
//   ordered    "SELECT k, v FROM rows WHERE k = <key> ORDER BY v DESC" for the same keys, reading
//              the first row (a result with an order of its own on the engine's side);
//   by key     "SELECT k, v FROM rows WHERE k BETWEEN <key> AND <key> + 9 ORDER BY k" for the
//              same keys, reading the first row (ordered by the indexed column);
//   aggregate  "SELECT COUNT(*), SUM(v), MIN(v), MAX(v), AVG(k) FROM rows" over every record.
//
// The table has three fields: K Integer (record number modulo 100,000, so each key holds
// records / 100,000 rows), V Double and NAME Char(20). Both sides hold identical rows, and the
// answers of both sides are compared in every round. The engine runs its statements through
// the C interface on a connection to the folder; SQLite through its own interface on a database
// file beside. Each statement text is prepared anew on both sides.
//
// Loading and indexing are timed once, for orientation. The queries then run in rounds, after
// one statement of each kind on each side that is not timed (the engine's first statement on a
// table makes its virtual table, SQLite's first reads its schema). In each round every kind runs
// on the engine and then on SQLite, so that both meet the same load on the machine. Prints, per
// kind, the median time of a statement on each side and the median ratio of the rounds (engine
// time / SQLite time; below 1 the engine is faster) with their spread (lowest to highest).
//
// Options: --records N (default 1000000), --lookups N (statements of each kind per round,
// default 200), --rounds N (default 5), --only KIND (one kind alone: equality, range, ordered,
// "by key" or aggregate; for profiling one row).
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
#include "rounds.h"

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

// The keys the lookups look up, spread over the key range.
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
    {"by key", 2,
     [](int key) {
       return "SELECT k, v FROM rows WHERE k BETWEEN " + std::to_string(key) + " AND " + std::to_string(key + 9) +
              " ORDER BY k";
     }},
};
constexpr size_t kLookupKinds = sizeof kLookups / sizeof kLookups[0];
const char* const kAggregate = "SELECT COUNT(*), SUM(v), MIN(v), MAX(v), AVG(k) FROM rows";

// The first row's values of a statement folded into one number (a * 1e9 + b), or the five
// values of the aggregate: what both sides must answer alike.
using Answer = std::vector<double>;

bool Same(const Answer& a, const Answer& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::fabs(a[i] - b[i]) > 1e-6 * std::max(1.0, std::fabs(b[i]))) return false;
  }
  return true;
}

// One side of the comparison: a table of the rows, indexed on k, and the statements over it.
class Side {
 public:
  virtual ~Side() = default;
  // Runs `sql` and gives its first row's first `columns` values.
  virtual Answer Run(const std::string& sql, int columns) = 0;

  // Runs the statements of `kind` for `keys`; answers the seconds taken and appends the answers.
  double Lookups(size_t kind, const std::vector<int>& keys, Answer* answers) {
    auto start = Clock::now();
    for (int key : keys) {
      Answer row = Run(kLookups[kind].text(key), kLookups[kind].columns);
      answers->push_back(row[0] * 1e9 + row[1]);
    }
    return Seconds(start);
  }
  double Aggregate(Answer* answer) {
    auto start = Clock::now();
    *answer = Run(kAggregate, 5);
    return Seconds(start);
  }
  double load = 0, index = 0;
};

class EngineSide : public Side {
 public:
  EngineSide(const std::filesystem::path& folder, uint32_t records) {
    std::string path = (folder / "rows.adt").string();
    auto start = Clock::now();
    ADSHANDLE t = 0, loader = 0;
    // The rows go in as one transaction: one commit, not one per row.
    Check(AdsConnect60(U8(folder.string().c_str()), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &loader), "connect");
    Check(AdsCreateTable90(loader, U8(path.c_str()), nullptr, ADS_ADT, 1, 0, 2, 0,
                           U8("K,Integer;V,Double;NAME,Char,20;"), 0, nullptr, &t),
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
    load = Seconds(start);

    std::string connect = "Data Source=" + folder.string() + "/;";
    Check(AdsConnect101(U8(connect.c_str()), nullptr, &connection_), "connect");
    Check(AdsCreateSQLStatement(connection_, &statement_), "statement");
    start = Clock::now();
    ADSHANDLE cursor = 0;
    Check(AdsExecuteSQLDirect(statement_, U8("CREATE INDEX bykey ON rows (k)"), &cursor), "create index");
    index = Seconds(start);
  }
  ~EngineSide() override {
    Check(AdsCloseSQLStatement(statement_), "close statement");
    Check(AdsDisconnect(connection_), "disconnect");
  }

  Answer Run(const std::string& sql, int columns) override {
    ADSHANDLE cursor = 0;
    Check(AdsExecuteSQLDirect(statement_, U8(sql.c_str()), &cursor), sql.c_str());
    Answer values;
    Check(AdsGotoTop(cursor), "top");
    for (int c = 1; c <= columns; ++c) {
      DOUBLE v = 0;
      Check(AdsGetDouble(cursor, ADSFIELD(c), &v), "reading a result");
      values.push_back(v);
    }
    Check(AdsCloseTable(cursor), "close cursor");
    return values;
  }

 private:
  ADSHANDLE connection_ = 0, statement_ = 0;
};

class SqliteSide : public Side {
 public:
  SqliteSide(const std::filesystem::path& folder, uint32_t records) {
    auto start = Clock::now();
    CheckSql(sqlite3_open((folder / "rows.db").c_str(), &db_), db_, "open");
    CheckSql(sqlite3_exec(db_, "CREATE TABLE rows(k INTEGER, v REAL, name TEXT); BEGIN;", nullptr, nullptr, nullptr),
             db_, "create");
    sqlite3_stmt* ins = nullptr;
    CheckSql(sqlite3_prepare_v2(db_, "INSERT INTO rows VALUES(?,?,?)", -1, &ins, nullptr), db_, "prepare");
    char name[32];
    for (uint32_t n = 1; n <= records; ++n) {
      NameOf(n, name, sizeof name);
      sqlite3_bind_int(ins, 1, KeyOf(n));
      sqlite3_bind_double(ins, 2, ValueOf(n));
      sqlite3_bind_text(ins, 3, name, -1, SQLITE_STATIC);
      CheckSql(sqlite3_step(ins), db_, "insert");
      sqlite3_reset(ins);
    }
    sqlite3_finalize(ins);
    CheckSql(sqlite3_exec(db_, "COMMIT;", nullptr, nullptr, nullptr), db_, "commit");
    load = Seconds(start);
    start = Clock::now();
    CheckSql(sqlite3_exec(db_, "CREATE INDEX bykey ON rows(k)", nullptr, nullptr, nullptr), db_, "create index");
    index = Seconds(start);
  }
  ~SqliteSide() override { sqlite3_close(db_); }

  Answer Run(const std::string& sql, int columns) override {
    sqlite3_stmt* q = nullptr;
    CheckSql(sqlite3_prepare_v2(db_, sql.c_str(), -1, &q, nullptr), db_, "prepare");
    CheckSql(sqlite3_step(q), db_, "query");
    Answer values;
    for (int c = 0; c < columns; ++c) values.push_back(sqlite3_column_double(q, c));
    sqlite3_finalize(q);
    return values;
  }

 private:
  sqlite3* db_ = nullptr;
};

void Differ(const char* what) {
  std::fprintf(stderr, "bench_sql: the engine and SQLite answered differently (%s)\n", what);
  std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
  uint32_t records = 1000000;
  int lookups = 200, rounds = 5;
  std::string only;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--records") == 0 && i + 1 < argc) {
      records = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
    } else if (std::strcmp(argv[i], "--lookups") == 0 && i + 1 < argc) {
      lookups = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
      rounds = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) {
      only = argv[++i];
    } else {
      std::fprintf(stderr, "usage: bench_sql [--records N] [--lookups N] [--rounds N] [--only KIND]\n");
      return 2;
    }
  }
  if (records == 0) records = 1;
  if (lookups <= 0) lookups = 1;
  if (rounds <= 0) rounds = 1;
  auto KindName = [](size_t kind) { return kind < kLookupKinds ? kLookups[kind].name : "aggregate"; };
  auto Chosen = [&](size_t kind) { return only.empty() || only == KindName(kind); };
  bool known = false;
  for (size_t kind = 0; kind <= kLookupKinds; ++kind) known = known || Chosen(kind);
  if (!known) {
    std::fprintf(stderr, "bench_sql: no kind named \"%s\"\n", only.c_str());
    return 2;
  }
  std::filesystem::path folder = std::filesystem::temp_directory_path() / ("bench_sql_" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  {
    EngineSide engine(folder, records);
    SqliteSide sqlite(folder, records);
    std::printf("records: %u, statements of each kind per round: %d (%u rows per key), rounds: %d\n", records, lookups,
                records / kKeys, rounds);
    std::printf("load:      engine %.3f s, sqlite %.3f s, ratio %.2f\n", engine.load, sqlite.load,
                engine.load / sqlite.load);
    std::printf("index:     engine %.3f s, sqlite %.3f s, ratio %.2f\n", engine.index, sqlite.index,
                engine.index / sqlite.index);

    std::vector<int> keys = LookupKeys(lookups);
    for (size_t kind = 0; kind < kLookupKinds; ++kind) {
      if (!Chosen(kind)) continue;
      Answer e, s;
      engine.Lookups(kind, {keys[0]}, &e);
      sqlite.Lookups(kind, {keys[0]}, &s);
      if (!Same(e, s)) Differ(kLookups[kind].name);
    }
    // Per kind (the aggregate last): each round's seconds per statement on both sides and ratio.
    std::vector<double> engineTimes[kLookupKinds + 1], sqliteTimes[kLookupKinds + 1], ratios[kLookupKinds + 1];
    for (int round = 0; round < rounds; ++round) {
      for (size_t kind = 0; kind <= kLookupKinds; ++kind) {
        if (!Chosen(kind)) continue;
        Answer e, s;
        double te, ts;
        if (kind < kLookupKinds) {
          te = engine.Lookups(kind, keys, &e) / lookups;
          ts = sqlite.Lookups(kind, keys, &s) / lookups;
        } else {
          te = engine.Aggregate(&e);
          ts = sqlite.Aggregate(&s);
        }
        if (!Same(e, s)) Differ(KindName(kind));
        engineTimes[kind].push_back(te);
        sqliteTimes[kind].push_back(ts);
        ratios[kind].push_back(te / ts);
      }
    }
    std::printf("per statement, median of the rounds; ratio engine / sqlite, median (lowest to highest):\n");
    for (size_t kind = 0; kind <= kLookupKinds; ++kind) {
      if (!Chosen(kind)) continue;
      std::string name = std::string(KindName(kind)) + ":";
      bench::Spread e = bench::SpreadOf(engineTimes[kind]), s = bench::SpreadOf(sqliteTimes[kind]);
      std::printf("%-10s engine %9.3f ms, sqlite %9.3f ms, ratio %s\n", name.c_str(), e.median * 1000, s.median * 1000,
                  bench::Format(bench::SpreadOf(ratios[kind])).c_str());
    }
  }
  std::filesystem::remove_all(folder);
  return 0;
}
