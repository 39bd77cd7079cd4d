// An optimised filter selecting 1% of a 1,000,000-record table through an indexed integer key,
// against an expression filter of the same expression in the same run: the time to set the
// filter, count the visible records and walk them from top to bottom, and the ratio.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "engine/filter/cursor_filters.h"
#include "engine/filter/optimized_filter.h"
#include "engine/index/table_reindex.h"
#include "engine/table/record_writer.h"
#include "engine/table/table.h"
#include "engine/table/table_cursor.h"

namespace {

constexpr uint32_t kRows = 1000000;
const char* kExpr = "N < 1000";  // N is uniform in 0..99999: about 1% of the records

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

struct Run {
  double seconds = 0;
  uint32_t counted = 0, walked = 0;
};

Run Measure(const std::string& path, bool optimised) {
  using namespace engine;
  auto table = table::Table::Open(path, {false, false});
  table::CursorInfo info;
  info.name = "bench";
  table::TableCursor cursor(std::move(table), info);
  auto start = std::chrono::steady_clock::now();
  filter::CursorFilters& f = filter::CursorFilters::Of(cursor);
  if (optimised) {
    f.SetAof(std::make_unique<filter::OptimizedFilter>(cursor, f.expr(), expr::ExprText(kExpr), filter::kAofResolveLater,
                                                       false));
  } else {
    f.SetFilter(expr::ExprText(kExpr));
  }
  Run r;
  r.counted = cursor.CountRecords(1, nullptr);
  for (cursor.GotoTop(nullptr); !cursor.atEOF(); cursor.Skip(1, nullptr)) ++r.walked;
  r.seconds = Seconds(start);
  return r;
}

}  // namespace

int main() {
  using namespace engine;
  std::filesystem::path dir = std::filesystem::temp_directory_path() / ("filter_aof_bench_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::string path = (dir / "big.adt").string();
  {
    table::Schema schema = table::Schema::FromSpecs({{"N", table::FieldType::kInteger, 0, 0}, {"NAME", table::FieldType::kString, 20, 0}});
    table::Table::CreateOptions co;
    co.tags = {{"BYN", "N", "", 0, "", 0}};
    table::Table::Create(path, schema, co);
    auto t = table::Table::Open(path, {true, false});
    std::mt19937 rng(1);
    std::vector<uint8_t> image(t->schema().recordLength());
    table::Table::Batch batch(*t);  // one commit for all the rows
    for (uint32_t i = 0; i < kRows; ++i) {
      table::WriteEmptyRecord(t->schema(), image.data());
      table::WriteInteger(t->schema(), image.data(), 0, rng() % 100000);
      table::WriteText(t->schema(), image.data(), 1, "name" + std::to_string(i), false);
      t->AppendRecord(image.data());
    }
    batch.Commit();
    index::ReindexTable(*t);
  }
  Run plain = Measure(path, false);
  Run aof = Measure(path, true);
  std::printf("records %u, expression \"%s\"\n", kRows, kExpr);
  std::printf("expression filter: %.3f s (counted %u, walked %u)\n", plain.seconds, plain.counted, plain.walked);
  std::printf("optimised filter:  %.3f s (counted %u, walked %u)\n", aof.seconds, aof.counted, aof.walked);
  std::printf("ratio (expression / optimised): %.1fx\n", aof.seconds > 0 ? plain.seconds / aof.seconds : 0.0);
  std::filesystem::remove_all(dir);
  return plain.counted == aof.counted && plain.walked == aof.walked ? 0 : 1;
}
