// Appending the records of a 10-field native table through the table component (Append, the
// fields' setters, Post) against the same rows appended through the engine's C interface
// directly (AdsAppendRecord, the typed setters, AdsWriteRecord), in the same run and the same
// process. Prints both times and the ratio (component time / engine time): what the components
// add to the engine's own work.
//
// Fields: two integers, three character fields (30, 20 and 10), a date, a numeric, a double,
// a logical and an integer; values are generated from the record number, so both sides write
// identical rows (the check at the end compares them). Both tables are opened exclusively, in
// one new folder under the temporary folder. The engine side calls the same entry points the
// components reach (through the components' binding of the engine library).
//
// By default each side appends its records inside one transaction of its connection (begun
// before the first append, committed after the last, both inside the timing), so the disk's
// syncs are paid once per side and the ratio shows the work the components add.
// --no-transaction appends outside any transaction instead: each append is then made durable
// when its call returns, and the figures are dominated by the disk.
//
// Options: --records N (default 100000), --rounds R (default 3; the best round of each side
// is reported, so that one disturbed round does not decide), --no-transaction. The load
// average is printed beside the figures, as other work on the machine moves them.
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "ads/ace.h"
#include "ads/adstable.h"
#include "runtime/datetime.h"
#include "runtime/text.h"
#include "ten_field_rows.h"

namespace {

using Clock = std::chrono::steady_clock;

UNSIGNED8* U8(const char* s) { return reinterpret_cast<UNSIGNED8*>(const_cast<char*>(s)); }

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

void Check(UNSIGNED32 rc, const char* what) {
  if (rc == 0) return;
  UNSIGNED32 code = 0;
  UNSIGNED8 text[600];
  UNSIGNED16 len = sizeof text;
  AdsGetLastError(&code, text, &len);
  std::fprintf(stderr, "bench_component_append: %s: %.*s\n", what, static_cast<int>(len), reinterpret_cast<char*>(text));
  std::exit(1);
}

using Row = bench::TenFieldRow;
constexpr auto MakeRow = bench::MakeTenFieldRow;

void CreateTable(ADSHANDLE connection, const char* name) {
  ADSHANDLE t = 0;
  Check(AdsCreateTable90(connection, U8(name), nullptr, ADS_ADT, 1, 0, 2, 0, U8(bench::kTenFields), 0, nullptr, &t), "create");
  Check(AdsCloseTable(t), "close");
}

// Neither side is inlined into main, so that a profiler can measure each alone.
[[gnu::noinline]] double Engine(ADSHANDLE connection, const char* name, uint32_t records, bool transaction) {
  ADSHANDLE t = 0;
  Row r;
  Check(AdsOpenTable90(connection, U8(name), nullptr, ADS_ADT, 1, 0, 2, 1, nullptr, &t), "open");
  const auto start = Clock::now();
  if (transaction) Check(AdsBeginTransaction(connection), "begin");
  for (uint32_t n = 1; n <= records; ++n) {
    MakeRow(n, &r);
    Check(AdsAppendRecord(t), "append");
    bench::SetTenFieldsThroughEngine(t, r, false, Check);
    Check(AdsWriteRecord(t), "write");
  }
  if (transaction) Check(AdsCommitTransaction(connection), "commit");
  const double seconds = Seconds(start);
  Check(AdsCloseTable(t), "close");
  return seconds;
}

[[gnu::noinline]] double Components(TAdsConnection& con, const char* name, uint32_t records, bool transaction) {
  TAdsTable tb(nullptr);
  tb.SetAdsConnection(&con);
  tb.SetTableName(name);
  tb.SetExclusive(true);
  tb.Open();
  TField* fields[10];
  for (int i = 0; i < 10; ++i) fields[i] = tb.FieldByName(bench::kTenFieldNames[i]);
  Row r;
  const auto start = Clock::now();
  if (transaction) con.BeginTransaction();
  for (uint32_t n = 1; n <= records; ++n) {
    MakeRow(n, &r);
    tb.Append();
    fields[0]->SetAsInteger(r.id);
    fields[1]->SetAsInteger(r.vessel);
    fields[2]->SetAsString(QString::fromLatin1(r.name));
    fields[3]->SetAsString(QString::fromLatin1(r.port));
    fields[4]->SetAsString(QString::fromLatin1(r.code));
    fields[5]->SetAsDateTime(EncodeDate(r.year, r.month, r.day));
    fields[6]->SetAsFloat(r.amount);
    fields[7]->SetAsFloat(r.ratio);
    fields[8]->SetAsBoolean(r.active);
    fields[9]->SetAsInteger(r.grossTon);
    tb.Post();
  }
  if (transaction) con.Commit();
  const double seconds = Seconds(start);
  tb.Close();
  return seconds;
}

// The records of both tables must be byte for byte the same (the autoincrement-free rows are
// generated alike); a difference means the figures compare different work.
void CompareTables(ADSHANDLE connection, const char* a, const char* b, uint32_t records) {
  ADSHANDLE ta = 0, tb = 0;
  Check(AdsOpenTable90(connection, U8(a), nullptr, ADS_ADT, 1, 0, 2, 2, nullptr, &ta), "open a");
  Check(AdsOpenTable90(connection, U8(b), nullptr, ADS_ADT, 1, 0, 2, 2, nullptr, &tb), "open b");
  UNSIGNED32 ca = 0, cb = 0;
  Check(AdsGetRecordCount(ta, ADS_IGNOREFILTERS, &ca), "count a");
  Check(AdsGetRecordCount(tb, ADS_IGNOREFILTERS, &cb), "count b");
  if (ca != records || cb != records) {
    std::fprintf(stderr, "bench_component_append: %u and %u records instead of %u\n", ca, cb, records);
    std::exit(1);
  }
  UNSIGNED8 ra[256], rb[256];
  Check(AdsGotoTop(ta), "top a");
  Check(AdsGotoTop(tb), "top b");
  for (uint32_t n = 1; n <= records; ++n) {
    UNSIGNED32 la = sizeof ra, lb = sizeof rb;
    Check(AdsGetRecord(ta, ra, &la), "record a");
    Check(AdsGetRecord(tb, rb, &lb), "record b");
    if (la != lb || std::memcmp(ra, rb, la) != 0) {
      std::fprintf(stderr, "bench_component_append: record %u differs between the two tables\n", n);
      std::exit(1);
    }
    Check(AdsSkip(ta, 1), "skip a");
    Check(AdsSkip(tb, 1), "skip b");
  }
  AdsCloseTable(ta);
  AdsCloseTable(tb);
}

// The machine's load averages over 1, 5 and 15 minutes, as uptime shows them.
std::string LoadAverage() {
  char text[128] = {0};
  if (FILE* f = std::fopen("/proc/loadavg", "r")) {
    double a = 0, b = 0, c = 0;
    if (std::fscanf(f, "%lf %lf %lf", &a, &b, &c) == 3) std::snprintf(text, sizeof text, "%.2f, %.2f, %.2f", a, b, c);
    std::fclose(f);
  }
  return text[0] != 0 ? text : "unknown";
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  uint32_t records = 100000;
  int rounds = 3;
  bool transaction = true;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--records") == 0 && i + 1 < argc) records = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
    if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) rounds = std::atoi(argv[++i]);
    if (std::strcmp(argv[i], "--no-transaction") == 0) transaction = false;
  }
  if (records == 0) records = 1;
  if (rounds < 1) rounds = 1;
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("bench_component_append_" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  ADSHANDLE connection = 0;
  Check(AdsConnect(U8(folder.string().c_str()), &connection), "connect");
  TAdsConnection con(nullptr);
  con.SetConnectPath(QString::fromStdString(folder.string()));
  con.SetLoginPrompt(false);

  const std::string loadBefore = LoadAverage();
  double engine = 1e300, components = 1e300;
  for (int round = 0; round < rounds; ++round) {
    const std::string e = "engine" + std::to_string(round), c = "components" + std::to_string(round);
    CreateTable(connection, e.c_str());
    CreateTable(connection, c.c_str());
    engine = std::min(engine, Engine(connection, e.c_str(), records, transaction));
    components = std::min(components, Components(con, c.c_str(), records, transaction));
    CompareTables(connection, e.c_str(), c.c_str(), records);
  }
  con.Disconnect();
  AdsDisconnect(connection);
  std::printf("records: %u, fields: 10, best of %d rounds, %s\n", records, rounds,
              transaction ? "each side in one transaction" : "no transaction (each append durable)");
  std::printf("load average: %s before, %s after\n", loadBefore.c_str(), LoadAverage().c_str());
  std::printf("append: components %.3f s, engine %.3f s, ratio %.2f\n", components, engine, components / engine);
  std::filesystem::remove_all(folder);
  return 0;
}
