// Reindexing a native table; see table_reindex.h.
#include "engine/index/table_reindex.h"

#include <memory>
#include <vector>

#include "engine/core/error.h"
#include "engine/expr/expr_record.h"
#include "engine/index/expression_keys.h"
#include "engine/table/record_access.h"
#include "engine/table/table.h"

namespace engine {
namespace {

// The table's fields as the expression language sees them; a field's slot is its position.
class TableFields final : public ExprSchema {
 public:
  explicit TableFields(const Schema& schema) {
    const auto& fields = schema.fields();
    for (size_t i = 0; i < fields.size(); ++i) {
      const FieldDescriptor& f = fields[i];
      std::optional<ExprType> type = TypeOf(f.type);
      if (!type) continue;
      ExprField e;
      e.name = f.name;
      e.slot = static_cast<int>(i);
      e.type = *type;
      e.length = f.length;
      e.decimals = f.decimals;
      e.variableLength = f.type == FieldType::kVarChar || f.type == FieldType::kVarBinary;
      fields_.push_back(e);
    }
  }

  std::optional<ExprField> findField(std::string_view name) const override {
    for (const ExprField& f : fields_) {
      if (SameNameAZ(f.name, name)) return f;
    }
    return std::nullopt;
  }
  bool isOwnAlias(std::string_view) const override { return false; }
  size_t fieldCount() const override { return fields_.size(); }
  ExprField fieldAt(size_t index) const override { return fields_.at(index); }

 private:
  static std::optional<ExprType> TypeOf(FieldType t) {
    switch (t) {
      case FieldType::kLogical: return ExprType::Logical;
      case FieldType::kNumeric:
      case FieldType::kDouble:
      case FieldType::kInteger:
      case FieldType::kShortInt:
      case FieldType::kAutoInc:
      case FieldType::kCurDouble:
      case FieldType::kMoney:
      case FieldType::kRowVersion: return ExprType::Numeric;
      case FieldType::kDate:
      case FieldType::kCompactDate: return ExprType::Date;
      case FieldType::kString:
      case FieldType::kCIString:
      case FieldType::kVarChar:
      case FieldType::kRaw:
      case FieldType::kVarBinary: return ExprType::String;
      case FieldType::kTime: return ExprType::Time;
      case FieldType::kTimeStamp:
      case FieldType::kModTime: return ExprType::Timestamp;
      default: return std::nullopt;
    }
  }
  static bool SameNameAZ(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
      char x = a[i], y = b[i];
      if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
      if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
      if (x != y) return false;
    }
    return true;
  }

  std::vector<ExprField> fields_;
};

// The record a table scan stands on, as the expression language reads it.
class TableRecord final : public ExprRecord {
 public:
  explicit TableRecord(size_t fieldCount) : text_(fieldCount) {}
  void Set(const RecordView* view) { view_ = view; }

  bool fieldIsNull(int slot) const override { return view_->isNull(static_cast<size_t>(slot)); }
  std::string_view fieldString(int slot) const override {
    text_[static_cast<size_t>(slot)] = view_->text(static_cast<size_t>(slot));
    return text_[static_cast<size_t>(slot)];
  }
  double fieldNumber(int slot) const override { return view_->number(static_cast<size_t>(slot)); }
  bool fieldLogical(int slot) const override { return view_->logical(static_cast<size_t>(slot)); }
  int64_t fieldDate(int slot) const override { return view_->julian(static_cast<size_t>(slot)); }
  int64_t fieldTime(int slot) const override { return view_->milliseconds(static_cast<size_t>(slot)); }
  int64_t fieldTimestamp(int slot) const override {
    int32_t day = view_->julian(static_cast<size_t>(slot));
    if (day == 0) return 0;
    return int64_t{day} * kMsPerDay + view_->milliseconds(static_cast<size_t>(slot));
  }
  uint32_t recordNumber() const override { return view_->recordNumber(); }
  bool isDeleted() const override { return view_->deleted(); }

 private:
  const RecordView* view_ = nullptr;
  mutable std::vector<std::string> text_;
};

}  // namespace

std::filesystem::path StructuralIndexPath(const std::string& tablePath) {
  std::filesystem::path p(tablePath);
  p.replace_extension(".adi");
  return p;
}

RebuildStats ReindexTable(Table& table, uint32_t pageSize, const RebuildOptions& options) {
  if (!table.exclusive()) {
    Fail(err::kExclusiveRequired, "Rebuilding the indexes of \"" + table.path() + "\" needs the table open exclusively");
  }
  table.Refresh();
  if (pageSize == 0) pageSize = table.properties().indexPageSize;
  TableFields fields(table.schema());
  std::vector<std::unique_ptr<ExpressionKeys>> keys;
  std::vector<ExpressionKeys*> sourceKeys;
  std::vector<TagDef> defs;
  for (const TagDefinition& t : table.tags()) {
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
    Source(Table& table, std::vector<ExpressionKeys*> keys, std::vector<bool> custom)
        : table_(table), keys_(std::move(keys)), custom_(std::move(custom)) {}
    uint64_t RecordCount() override { return table_.cachedRecordCount(); }
    void Scan(const std::vector<TagInfo>& tags, KeySink& sink) override {
      std::vector<std::unique_ptr<KeyBuilder>> builders;
      for (const TagInfo& t : tags) builders.push_back(std::make_unique<KeyBuilder>(t.layout));
      TableRecord record(table_.schema().fieldCount());
      EvalOptions options;
      uint64_t done = 0;
      table_.Scan([&](const RecordView& view) {
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
    Table& table_;
    std::vector<ExpressionKeys*> keys_;
    std::vector<bool> custom_;
  };
  std::vector<bool> custom;
  for (const TagDef& d : defs) custom.push_back((d.options & kTagCustom) != 0);
  Source source(table, sourceKeys, custom);
  return RebuildIndexFile(StructuralIndexPath(table.path()), pageSize, defs, source, options);
}

}  // namespace engine
