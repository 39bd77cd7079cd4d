// Locate and filtered counts through the components on a 1,000,000-record native table:
//  - 1,000 Locate calls for random keys (about half of them present) on a table with an index
//    on the key, against the same calls on a copy without the index, which the components serve
//    with a temporary filter;
//  - the count of a 1% Filter with AdsOptimizedFilters (an optimised filter resolved through the
//    index) against the same Filter as an expression filter.
// Both sides of each pair run in this process, one after the other; the figures are seconds
// and their ratio. The exit status is 1 when the two sides of a pair disagree.
#include <unistd.h>

#include <QString>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "ads/adscnnct.h"
#include "ads/adstable.h"
#include "engine/index/table_reindex.h"
#include "engine/table/record_writer.h"
#include "engine/table/table.h"

namespace {

constexpr uint32_t kRows = 1000000;
constexpr int kLocates = 1000;
constexpr uint32_t kKeySpace = 2 * kRows;  // keys are even numbers: odd ones are never found

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// "name.adt" in dir with K (a distinct even number per record, in random order), N (uniform in
// 0..99999) and NAME; with a tag on K and one on N when indexed.
void MakeTable(const std::filesystem::path& dir, const char* name, bool indexed) {
  using namespace engine;
  const std::string path = (dir / (std::string(name) + ".adt")).string();
  table::Schema schema = table::Schema::FromSpecs({{"K", table::FieldType::kInteger, 0, 0},
                                     {"N", table::FieldType::kInteger, 0, 0},
                                     {"NAME", table::FieldType::kString, 20, 0}});
  table::Table::CreateOptions options;
  if (indexed) options.tags = {{"K", "K", "", 0, "", 0}, {"N", "N", "", 0, "", 0}};
  table::Table::Create(path, schema, options);
  auto t = table::Table::Open(path, {true, false});
  std::vector<uint32_t> keys(kRows);
  for (uint32_t i = 0; i < kRows; ++i) keys[i] = 2 * i;
  std::mt19937 rng(7);
  std::shuffle(keys.begin(), keys.end(), rng);
  std::vector<uint8_t> image(t->schema().recordLength());
  for (uint32_t i = 0; i < kRows; ++i) {
    table::WriteEmptyRecord(t->schema(), image.data());
    table::WriteInteger(t->schema(), image.data(), 0, keys[i]);
    table::WriteInteger(t->schema(), image.data(), 1, rng() % 100000);
    table::WriteText(t->schema(), image.data(), 2, "name" + std::to_string(i), false);
    t->AppendRecord(image.data());
  }
  if (indexed) index::ReindexTable(*t);
}

struct Locates {
  double seconds = 0;
  int found = 0;
  long long sum = 0;  // of the N values found, so that both sides must find the same records
};

Locates RunLocates(TAdsConnection& con, const char* table, const std::vector<int>& keys) {
  TAdsTable tb(nullptr);
  tb.SetAdsConnection(&con);
  tb.SetTableName(table);
  tb.Open();
  Locates r;
  const auto start = std::chrono::steady_clock::now();
  for (int key : keys) {
    if (tb.Locate("K", key, {})) {
      ++r.found;
      r.sum += tb.FieldByName("N")->AsInteger();
    }
  }
  r.seconds = Seconds(start);
  tb.Close();
  return r;
}

struct Count {
  double seconds = 0;
  int count = 0;
};

Count RunCount(TAdsConnection& con, bool optimised) {
  TAdsTable tb(nullptr);
  tb.SetAdsConnection(&con);
  tb.SetTableName("indexed");
  tb.AdsTableOptions().SetAdsOptimizedFilters(optimised);
  tb.AdsTableOptions().SetAdsFilterOptions(RESPECT_WHEN_COUNTING);
  tb.Open();
  const auto start = std::chrono::steady_clock::now();
  tb.SetFilter("N < 1000");
  tb.SetFiltered(true);
  Count c;
  c.count = tb.RecordCount();
  c.seconds = Seconds(start);
  tb.Close();
  return c;
}

}  // namespace

int main() {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("locate_bench_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  auto start = std::chrono::steady_clock::now();
  MakeTable(dir, "indexed", true);
  MakeTable(dir, "plain", false);
  std::printf("tables of %u records made in %.1f s\n", kRows, Seconds(start));

  std::mt19937 rng(11);
  std::vector<int> keys(kLocates);
  for (int& k : keys) k = static_cast<int>(rng() % kKeySpace);

  int status = 0;
  try {
    TAdsConnection con(nullptr);
    con.SetAdsServerTypes(AdsServerTypeBit(stADS_LOCAL));
    con.SetLoginPrompt(false);
    con.SetConnectPath(QString::fromStdString(dir.string()));
    const Locates seek = RunLocates(con, "indexed", keys);
    const Locates scan = RunLocates(con, "plain", keys);
    std::printf("%d Locate calls, %d found\n", kLocates, seek.found);
    std::printf("  with an index on the key: %.3f s (%.1f us each)\n", seek.seconds,
                seek.seconds * 1e6 / kLocates);
    std::printf("  without an index:         %.3f s (%.1f us each)\n", scan.seconds,
                scan.seconds * 1e6 / kLocates);
    std::printf("  ratio (without / with):   %.0fx\n", seek.seconds > 0 ? scan.seconds / seek.seconds : 0.0);
    if (seek.found != scan.found || seek.sum != scan.sum) {
      std::printf("the two sides found different records\n");
      status = 1;
    }
    const Count aof = RunCount(con, true);
    const Count plain = RunCount(con, false);
    std::printf("filtered count of \"N < 1000\": %d records\n", aof.count);
    std::printf("  optimised filter:  %.3f s\n", aof.seconds);
    std::printf("  expression filter: %.3f s\n", plain.seconds);
    std::printf("  ratio (expression / optimised): %.1fx\n",
                aof.seconds > 0 ? plain.seconds / aof.seconds : 0.0);
    if (aof.count != plain.count) {
      std::printf("the two counts differ\n");
      status = 1;
    }
  } catch (const Exception& e) {
    std::fprintf(stderr, "bench_locate: %s\n", e.Message().toStdString().c_str());
    status = 1;
  }
  std::filesystem::remove_all(dir);
  return status;
}
