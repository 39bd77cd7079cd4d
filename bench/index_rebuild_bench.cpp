// Rebuilding the indexes of a table: this engine's rebuild against SQLite's REINDEX of the same
// rows and the same three indexes, measured in the same run.
//
// Rows: a 32-bit integer, a 30-character string, a 20-character string and a date, generated
// from the record number (so both sides see identical rows without holding them in memory).
// Indexes: the integer; UPPER of the 30-character string; the 20-character string followed by
// the date. SQLite holds the rows in a table of its database file and rebuilds
// CREATE INDEX ... (i), (upper(s30)), (s20, d) with REINDEX. This engine's side runs the real
// rebuild (sort within the budget, runs and merge beyond it, bottom-up trees, a new file flushed
// and renamed into place); its key source computes the keys from the generated rows in place of
// the table and expression layers. Both flush to disk at the end. This isolates the sort and
// the tree writing; table_reindex_bench.cpp measures the whole reindex of a real table.
//
// --format picks the index files: "adi" (default, one native file), "cdx" (one compound file
// with the three tags) or "ntx" (three files, one order each, each rebuilt by its own pass over
// the rows as a reindex of an NTX table does).
//
// Options: --records N (default 1000000), --budget-mb M (default: the engine's default budget),
// --page-size P (default 512, the table's default index page size; fixed by the DBF formats),
// --format adi|cdx|ntx, --skip-sqlite, --folder PATH (default: a new folder under the temporary
// folder).
#include <sqlite3.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/core/error.h"
#include "engine/index/key_builder.h"
#include "engine/index/rebuild.h"
#include "rebuild_rows.h"
#include "rebuild_sqlite.h"

namespace {

using bench::MakeRow;
using bench::Row;

class BenchSource : public engine::index::KeySource {
 public:
  explicit BenchSource(uint32_t n) : n_(n) {}
  uint64_t RecordCount() override { return n_; }
  void Scan(const std::vector<engine::index::TagInfo>& tags, engine::index::KeySink& sink) override {
    engine::index::KeyBuilder ki(tags[0].layout), ku(tags[1].layout), kc(tags[2].layout);
    Row r;
    char upper[30];
    for (uint32_t recno = 1; recno <= n_; ++recno) {
      MakeRow(recno, r);
      ki.SetInteger(0, r.i);
      sink.Add(0, ki.Key().data(), recno);
      for (int k = 0; k < 30; ++k) {
        char c = r.s30[k];
        upper[k] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
      }
      ku.SetString(0, upper, 30);
      sink.Add(1, ku.Key().data(), recno);
      kc.SetString(0, r.s20, 20);
      kc.SetDate(1, r.d);
      sink.Add(2, kc.Key().data(), recno);
      if ((recno & 0xFFFF) == 0) sink.RecordsDone(recno);
    }
    sink.RecordsDone(n_);
  }

 private:
  uint32_t n_;
};

// The keys of one tag of another source, as tag 0: one NTX file's pass.
class OneTag : public engine::index::KeySource, engine::index::KeySink {
 public:
  OneTag(engine::index::KeySource& all, const std::vector<engine::index::TagInfo>& allTags, size_t tag)
      : all_(all), allTags_(allTags), tag_(tag) {}
  uint64_t RecordCount() override { return all_.RecordCount(); }
  void Scan(const std::vector<engine::index::TagInfo>&, engine::index::KeySink& sink) override {
    sink_ = &sink;
    all_.Scan(allTags_, *this);
  }
  void Add(size_t tag, const uint8_t* key, uint32_t recno) override {
    if (tag == tag_) sink_->Add(0, key, recno);
  }
  void RecordsDone(uint64_t count) override { sink_->RecordsDone(count); }
  // One thread: every tag of the other source in one group.
  std::vector<std::vector<size_t>> ConcurrentGroups() const override {
    std::vector<size_t> all(allTags_.size());
    for (size_t t = 0; t < all.size(); ++t) all[t] = t;
    return {all};
  }

 private:
  engine::index::KeySource& all_;
  const std::vector<engine::index::TagInfo>& allTags_;
  size_t tag_;
  engine::index::KeySink* sink_ = nullptr;
};

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Peak resident memory of this process so far, in MB (VmHWM).
double PeakRssMb() {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
  }
  return 0;
}

double SqliteReindex(const std::filesystem::path& file, uint32_t n, size_t budget) {
  std::filesystem::remove(file);
  sqlite3* db = nullptr;
  sqlite3_open(file.c_str(), &db);
  bench::FillSqliteTable(db, n);
  // The same memory and the same number of threads as the engine's rebuild.
  std::string pragma = "PRAGMA cache_size = -" + std::to_string(budget / 1024);
  bench::SqliteExec(db, pragma.c_str());
  bench::SqliteExec(db, "PRAGMA threads = 2");
  double t0 = Now();
  bench::SqliteExec(db, "REINDEX");
  double t1 = Now();
  sqlite3_close(db);
  return t1 - t0;
}

}  // namespace

int main(int argc, char** argv) {
  uint32_t records = 1000000;
  size_t budget = engine::index::kDefaultRebuildMemoryBudget;
  uint32_t pageSize = 512;
  bool sqlite = true;
  std::string format = "adi";
  std::filesystem::path folder;
  for (int a = 1; a < argc; ++a) {
    std::string o = argv[a];
    if (o == "--records" && a + 1 < argc) records = static_cast<uint32_t>(std::stoul(argv[++a]));
    else if (o == "--budget-mb" && a + 1 < argc) budget = std::stoul(argv[++a]) << 20;
    else if (o == "--page-size" && a + 1 < argc) pageSize = static_cast<uint32_t>(std::stoul(argv[++a]));
    else if (o == "--skip-sqlite") sqlite = false;
    else if (o == "--format" && a + 1 < argc) format = argv[++a];
    else if (o == "--folder" && a + 1 < argc) folder = argv[++a];
    else {
      std::fprintf(stderr, "usage: %s [--records N] [--budget-mb M] [--page-size P] [--format adi|cdx|ntx] [--skip-sqlite] [--folder PATH]\n", argv[0]);
      return 2;
    }
  }
  if (format != "adi" && format != "cdx" && format != "ntx") {
    std::fprintf(stderr, "unknown format %s\n", format.c_str());
    return 2;
  }
  if (format == "ntx") pageSize = 1024;
  if (format == "cdx") pageSize = 512;
  bool ownFolder = folder.empty();
  if (ownFolder) {
    folder = std::filesystem::temp_directory_path() / ("index_rebuild_bench." + std::to_string(getpid()));
  }
  std::filesystem::create_directories(folder);

  std::vector<engine::index::TagDef> tags(3);
  tags[0].name = "I";
  tags[0].expression = "I";
  tags[0].keyType = engine::index::kKeyTypeNumeric;
  tags[0].segments = {{engine::index::SegmentKind::kInteger}};
  tags[1].name = "US30";
  tags[1].expression = "UPPER(S30)";
  tags[1].segments = {{engine::index::SegmentKind::kString, 30}};
  tags[2].name = "S20D";
  tags[2].expression = "S20;D";
  tags[2].keyType = engine::index::kKeyTypeRaw;
  tags[2].segments = {{engine::index::SegmentKind::kString, 20}, {engine::index::SegmentKind::kDate}};
  for (auto& t : tags) t.collation = "ANSI";

  std::printf("index rebuild: %u records, 3 tags (integer; UPPER of 30 characters; 20 characters + date)\n", records);
  std::printf("engine: %s file%s, page size %u, memory budget %zu MB, ANSI collation; keys computed by the benchmark's key source from generated rows\n",
              format.c_str(), format == "ntx" ? "s (one per tag)" : "", pageSize, budget >> 20);
  double rssBefore = PeakRssMb();
  BenchSource source(records);
  engine::index::RebuildOptions options;
  options.memoryBudget = budget;
  // Phase times from the progress callback: the pass over records ends at 70, the trees are
  // written by 99, flushing and renaming take the rest.
  double tScan = 0, tWrite = 0, start = 0;
  options.progress = [&](unsigned p) {
    if (p == 70) tScan = Now() - start;
    if (p == 99) tWrite = Now() - start;
    return true;
  };
  auto adi = folder / ("bench." + format);
  double t0 = Now();
  start = t0;
  engine::index::RebuildStats stats;
  uint64_t fileBytes = 0;
  try {
    if (format != "ntx") {
      stats = engine::index::RebuildIndexFile(adi, pageSize, tags, source, options);
      fileBytes = std::filesystem::file_size(adi);
    } else {
      // Phase times add up over the three passes.
      std::vector<engine::index::TagInfo> prepared = engine::index::PrepareTags(tags, pageSize, engine::index::KeyForm::kNtx);
      double scanSum = 0, writeSum = 0;
      for (size_t t = 0; t < tags.size(); ++t) {
        OneTag one(source, prepared, t);
        auto file = folder / (tags[t].name + ".ntx");
        start = Now();
        engine::index::RebuildStats s = engine::index::RebuildIndexFile(file, pageSize, {tags[t]}, one, options);
        scanSum += tScan;
        writeSum += tWrite;
        stats.keys += s.keys;
        stats.runs += s.runs;
        fileBytes += std::filesystem::file_size(file);
      }
      tScan = scanSum;
      tWrite = writeSum;
    }
  } catch (const engine::EngineError& e) {
    std::fprintf(stderr, "rebuild failed: %s\n", e.what());
    return 1;
  }
  double ours = Now() - t0;
  double rssAfter = PeakRssMb();
  std::printf("engine phases:   records and keys %.3f s, sort and trees %.3f s, flush and rename %.3f s\n", tScan,
              tWrite - tScan, ours - tWrite);
  std::printf("engine rebuild:  %.3f s  (%llu keys, %llu sorted runs merged, %.1f MB file)\n", ours,
              static_cast<unsigned long long>(stats.keys), static_cast<unsigned long long>(stats.runs),
              static_cast<double>(fileBytes) / 1048576.0);
  std::printf("engine peak RSS: %.1f MB (%.1f MB before the rebuild; budget %zu MB)\n", rssAfter, rssBefore, budget >> 20);
  if (sqlite) {
    std::printf("sqlite: %s, cache_size %zu MB, threads 2, rows loaded before timing\n", sqlite3_libversion(), budget >> 20);
    double theirs = SqliteReindex(folder / "bench.db", records, budget);
    std::printf("sqlite REINDEX:  %.3f s\n", theirs);
    std::printf("ratio (sqlite / engine): %.2f\n", theirs / ours);
  }
  if (ownFolder) std::filesystem::remove_all(folder);
  return 0;
}
