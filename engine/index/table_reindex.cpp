// Reindexing a native table; see table_reindex.h.
#include "engine/index/table_reindex.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <memory>
#include <vector>

#include "engine/core/error.h"
#include "engine/expr/expr_record.h"
#include "engine/index/expression_keys.h"
#include "engine/index/table_key_fields.h"
#include "engine/table/record_access.h"
#include "engine/table/table.h"
#include "engine/table/table_files.h"

namespace engine::index {

namespace {

// Whether the extension of the table's file is written in capitals ("A.DBF").
bool CapitalExtension(const table::Table& table) {
  std::string ext = std::filesystem::path(table.path()).extension().string();
  return ext.size() > 1 && std::all_of(ext.begin() + 1, ext.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
}

// Threads that each run `work` over every batch of records the calling thread posts, while it
// works on the same batch itself; Wait returns once every worker is done with it. A failure in a
// worker is handed to the calling thread at the next Wait, and the workers stop.
class BatchWorkers {
 public:
  using Work = std::function<void(size_t worker, const uint8_t* images, uint32_t first, uint32_t count)>;

  BatchWorkers(size_t count, Work work) : work_(std::move(work)), errors_(count) {
    for (size_t w = 0; w < count; ++w) threads_.emplace_back([this, w] { Run(w); });
  }
  ~BatchWorkers() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    posted_.notify_all();
    for (std::thread& t : threads_) t.join();
  }
  BatchWorkers(const BatchWorkers&) = delete;
  BatchWorkers& operator=(const BatchWorkers&) = delete;

  void Post(const uint8_t* images, uint32_t first, uint32_t count) {
    if (threads_.empty()) return;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      images_ = images;
      first_ = first;
      count_ = count;
      finished_ = 0;
      ++batch_;
    }
    posted_.notify_all();
  }

  void Wait() {
    if (threads_.empty()) return;
    std::unique_lock<std::mutex> lock(mutex_);
    finishedAll_.wait(lock, [&] { return finished_ == threads_.size(); });
    for (std::exception_ptr& e : errors_) {
      if (e) std::rethrow_exception(e);
    }
  }

 private:
  void Run(size_t w) {
    uint64_t seen = 0;
    for (;;) {
      const uint8_t* images;
      uint32_t first, count;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        posted_.wait(lock, [&] { return stop_ || batch_ != seen; });
        if (stop_) return;
        seen = batch_;
        images = images_;
        first = first_;
        count = count_;
      }
      if (!errors_[w]) {
        try {
          work_(w, images, first, count);
        } catch (...) {
          errors_[w] = std::current_exception();  // handed to the posting thread by Wait
        }
      }
      {
        std::lock_guard<std::mutex> lock(mutex_);
        ++finished_;
      }
      finishedAll_.notify_one();
    }
  }

  Work work_;
  std::vector<std::exception_ptr> errors_;
  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable posted_, finishedAll_;
  bool stop_ = false;
  uint64_t batch_ = 0;
  size_t finished_ = 0;
  const uint8_t* images_ = nullptr;
  uint32_t first_ = 0, count_ = 0;
};

}  // namespace

std::filesystem::path StructuralIndexPath(const table::Table& table) {
  switch (table.type()) {
    case table::TableType::kNtx: return {};
    case table::TableType::kCdx:
    case table::TableType::kVfp:
      return std::filesystem::path(table.path()).replace_extension(CapitalExtension(table) ? ".CDX" : ".cdx");
    case table::TableType::kAdt: break;
  }
  return table_files::IndexPath(table.path());
}

std::filesystem::path NtxIndexPath(const table::Table& table, const std::string& name) {
  return std::filesystem::path(table.path()).parent_path() / (name + (CapitalExtension(table) ? ".NTX" : ".ntx"));
}

std::filesystem::path NtxIndexPath(const table::Table& table, const table::TagDefinition& def) {
  if (def.file.empty()) return NtxIndexPath(table, def.name);
  return std::filesystem::path(table.path()).parent_path() / def.file;
}

RebuildStats ReindexTable(table::Table& table, uint32_t pageSize, const RebuildOptions& options) {
  if (table.type() != table::TableType::kNtx) {
    return RebuildTableIndex(table, StructuralIndexPath(table), table.tags(), pageSize, options);
  }
  RebuildStats total;
  for (const table::TagDefinition& def : table.tags()) {
    RebuildStats s = RebuildTableIndex(table, NtxIndexPath(table, def), {def}, pageSize, options);
    total.records = s.records;
    total.keys += s.keys;
    total.runs += s.runs;
    total.pages += s.pages;
  }
  return total;
}

RebuildStats RebuildTableIndex(table::Table& table, const std::filesystem::path& path, const std::vector<table::TagDefinition>& tags,
                               uint32_t pageSize, const RebuildOptions& options) {
  if (!table.exclusive()) {
    Fail(err::kExclusiveRequired, "Rebuilding the indexes of \"" + table.path() + "\" needs the table open exclusively");
  }
  table.Refresh();
  if (pageSize == 0) pageSize = table.properties().indexPageSize;
  TableFields fields(table.schema());
  std::vector<std::unique_ptr<ExpressionKeys>> keys;
  std::vector<ExpressionKeys*> sourceKeys;
  std::vector<TagDef> defs;
  for (const table::TagDefinition& t : tags) {
    keys.push_back(std::make_unique<ExpressionKeys>(t.expression, t.condition, fields));
    TagDef d;
    d.name = t.name;
    d.expression = t.expression;
    d.condition = t.condition;
    d.options = t.flags;
    d.collation = t.collation.empty() ? table.properties().collation : t.collation;
    d.keyType = keys.back()->keyType();
    d.segments = keys.back()->segments();
    defs.push_back(d);
    sourceKeys.push_back(keys.back().get());
  }
  // Custom tags get no keys from the records.
  class Source final : public KeySource {
   public:
    Source(table::Table& table, std::vector<ExpressionKeys*> keys, std::vector<bool> custom)
        : table_(table), keys_(std::move(keys)), custom_(std::move(custom)) {}
    uint64_t RecordCount() override { return table_.cachedRecordCount(); }
    void Scan(const std::vector<TagInfo>& tags, KeySink& sink) override {
      const table::Schema& schema = table_.schema();
      const uint32_t len = schema.recordLength();
      std::vector<std::unique_ptr<KeyBuilder>> builders;
      for (const TagInfo& t : tags) builders.push_back(std::make_unique<KeyBuilder>(t.layout));
      // One lane per group of tags the sink takes at once: its own record and options, since
      // evaluating keeps scratch state. A tag (its expressions and builder) is in one lane.
      struct Lane {
        std::vector<size_t> tags;
        TableRecord record;
        expr::EvalOptions options;
      };
      std::vector<Lane> lanes;
      for (std::vector<size_t>& group : sink.ConcurrentGroups()) {
        std::vector<size_t> computed;
        for (size_t t : group) {
          if (!custom_[t]) computed.push_back(t);
        }
        if (!computed.empty()) lanes.push_back(Lane{std::move(computed), TableRecord(schema.fieldCount()), expr::EvalOptions{}});
      }
      auto keysOf = [&](Lane& lane, const uint8_t* images, uint32_t first, uint32_t count) {
        for (uint32_t k = 0; k < count; ++k) {
          table::RecordView view(schema, images + static_cast<size_t>(k) * len, first + k);
          lane.record.Set(&view);
          for (size_t t : lane.tags) {
            if (!keys_[t]->Includes(lane.record, lane.options)) continue;
            builders[t]->Clear();
            keys_[t]->Build(lane.record, lane.options, *builders[t]);
            sink.Add(t, builders[t]->Key().data(), first + k);
          }
        }
      };
      BatchWorkers workers(lanes.size() > 1 ? lanes.size() - 1 : 0, [&](size_t w, const uint8_t* images, uint32_t first,
                                                                          uint32_t count) {
        keysOf(lanes[w + 1], images, first, count);
      });
      uint64_t done = 0;
      table_.ScanBatches([&](const uint8_t* images, uint32_t first, uint32_t count) {
        workers.Post(images, first, count);
        // The batch must outlive the workers' use of it, so they are waited for even when this
        // thread's share fails.
        std::exception_ptr failed;
        try {
          if (!lanes.empty()) keysOf(lanes[0], images, first, count);
        } catch (...) {
          failed = std::current_exception();
        }
        workers.Wait();
        if (failed) std::rethrow_exception(failed);
        done += count;
        sink.RecordsDone(done);
      });
    }

   private:
    table::Table& table_;
    std::vector<ExpressionKeys*> keys_;
    std::vector<bool> custom_;
  };
  std::vector<bool> custom;
  for (const TagDef& d : defs) custom.push_back((d.options & kTagCustom) != 0);
  Source source(table, sourceKeys, custom);
  RebuildOptions effective = options;
  if (table.scratch()) effective.durable = false;  // nothing needs a scratch table's index after a crash
  return RebuildIndexFile(path, pageSize, defs, source, effective);
}

}  // namespace engine::index
