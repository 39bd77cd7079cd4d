// Reindexing a native table; see table_reindex.h.
#include "engine/index/table_reindex.h"

#include <algorithm>
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
      std::vector<std::unique_ptr<KeyBuilder>> builders;
      for (const TagInfo& t : tags) builders.push_back(std::make_unique<KeyBuilder>(t.layout));
      TableRecord record(table_.schema().fieldCount());
      expr::EvalOptions options;
      uint64_t done = 0;
      table_.Scan([&](const table::RecordView& view) {
        record.Set(&view);
        for (size_t t = 0; t < keys_.size(); ++t) {
          if (custom_[t] || !keys_[t]->Includes(record, options)) continue;
          builders[t]->Clear();
          keys_[t]->Build(record, options, *builders[t]);
          sink.Add(t, builders[t]->Key().data(), view.recordNumber());
        }
        if ((++done & 0x3FFF) == 0) sink.RecordsDone(done);
      });
      sink.RecordsDone(done);
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
