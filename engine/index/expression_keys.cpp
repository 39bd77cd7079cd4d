// Keys from expressions; see expression_keys.h.
#include "engine/index/expression_keys.h"

#include <algorithm>
#include <cassert>

#include "engine/core/error.h"
#include "engine/index/table_key_fields.h"

namespace engine::index {
namespace {

SegmentSpec SpecFor(const expr::CompiledExpr& e) {
  switch (e.type()) {
    case expr::ExprType::String:
      return {SegmentKind::kString, static_cast<uint16_t>(std::clamp<uint32_t>(e.length(), 1, 0xFFFF))};
    case expr::ExprType::Numeric:
      // The width and decimals matter only to NTX keys, which hold numbers as text.
      return {SegmentKind::kNumeric, static_cast<uint16_t>(std::min<uint32_t>(e.length(), 255)),
              static_cast<uint8_t>(std::min<uint32_t>(e.decimals(), 255))};
    case expr::ExprType::Date: return {SegmentKind::kDate};
    case expr::ExprType::Timestamp: return {SegmentKind::kTimestamp};
    case expr::ExprType::Time: return {SegmentKind::kInteger};
    case expr::ExprType::Logical: return {SegmentKind::kLogical};
  }
  return {SegmentKind::kString, 1};
}

uint8_t KeyTypeFor(expr::ExprType t) {
  switch (t) {
    case expr::ExprType::Logical: return kKeyTypeLogical;
    case expr::ExprType::Numeric: return kKeyTypeNumeric;
    case expr::ExprType::Date: return kKeyTypeDate;
    case expr::ExprType::String: return kKeyTypeString;
    default: return kKeyTypeRaw;
  }
}

// The segments of a key text: split at ";" outside literals, as CompileSegments splits them.
std::vector<std::string> SegmentTexts(const std::string& text) {
  std::vector<std::string> parts(1);
  char close = 0;
  for (char c : text) {
    if (close) {
      if (c == close) close = 0;
    } else if (c == '\'' || c == '"') {
      close = c;
    } else if (c == '[') {
      close = ']';
    } else if (c == '{') {
      close = '}';
    } else if (c == ';') {
      parts.emplace_back();
      continue;
    }
    parts.back().push_back(c);
  }
  return parts;
}

std::string Trimmed(const std::string& s) {
  const size_t a = s.find_first_not_of(" \t\r\n");
  if (a == std::string::npos) return std::string();
  const size_t b = s.find_last_not_of(" \t\r\n");
  return s.substr(a, b - a + 1);
}

}  // namespace

ExpressionKeys::ExpressionKeys(const std::string& expression, const std::string& condition,
                               const expr::ExprSchema& schema)
    : text_(expression) {
  std::vector<std::string> parts = SegmentTexts(expression);
  std::vector<std::optional<TableFields::NationalField>> nationals(parts.size());
  bool anyNational = false;
  if (const auto* table = dynamic_cast<const TableFields*>(&schema)) {
    for (size_t i = 0; i < parts.size(); ++i) {
      nationals[i] = table->FindNational(Trimmed(parts[i]));
      anyNational = anyNational || nationals[i].has_value();
    }
  }
  if (!anyNational) {
    keys_ = expr::CompiledExpr::CompileSegments(expression, &schema);
    if (keys_.empty()) Fail(err::kInvalidTagDefinition, "The index key expression is empty");
    national_.assign(keys_.size(), -1);
    for (const auto& k : keys_) specs_.push_back(SpecFor(*k));
    keyType_ = keys_.size() == 1 ? KeyTypeFor(keys_[0]->type()) : kKeyTypeRaw;
  } else {
    size_t offset = 0;  // where parts[i] starts in the whole text
    for (size_t i = 0; i < parts.size(); offset += parts[i].size() + 1, ++i) {
      if (nationals[i]) {
        keys_.push_back(nullptr);
        national_.push_back(nationals[i]->slot);
        specs_.push_back({SegmentKind::kWideString, static_cast<uint16_t>(std::clamp<uint32_t>(nationals[i]->chars, 1, 0xFFFF))});
      } else {
        // Blanks in place of the text before it, so that an error's position counts from the
        // start of the whole key, as CompileSegments counts.
        keys_.push_back(expr::CompiledExpr::Compile(std::string(offset, ' ') + parts[i], &schema));
        national_.push_back(-1);
        specs_.push_back(SpecFor(*keys_.back()));
      }
    }
    keyType_ = parts.size() == 1 ? kKeyTypeString : kKeyTypeRaw;
  }
  if (!condition.empty()) {
    condition_ = expr::CompiledExpr::Compile(condition, &schema);
    if (condition_->type() != expr::ExprType::Logical) {
      Fail(err::kInvalidTagDefinition, "The index condition \"" + condition + "\" is not a logical expression");
    }
  }
}

bool ExpressionKeys::readsClock() const {
  for (const auto& k : keys_)
    if (k && k->readsClock()) return true;  // a national segment (null) is a field's text
  return condition_ && condition_->readsClock();
}

bool ExpressionKeys::Includes(const expr::ExprRecord& record, const expr::EvalOptions& options) {
  return !condition_ || condition_->EvalLogical(&record, options);
}

void ExpressionKeys::Build(const expr::ExprRecord& record, const expr::EvalOptions& options, KeyBuilder& builder) {
  for (size_t i = 0; i < keys_.size(); ++i) {
    if (national_[i] >= 0) {
      // National segments exist only over TableFields, whose records are TableRecords.
      assert(dynamic_cast<const TableRecord*>(&record) != nullptr);
      const auto& table = static_cast<const TableRecord&>(record);
      if (table.FieldIsNull(national_[i])) {
        builder.SetNull(i);
      } else {
        const std::u16string_view text = table.NationalText(national_[i]);
        builder.SetWideString(i, text.data(), text.size());
      }
      continue;
    }
    const expr::Value& v = keys_[i]->Evaluate(&record, options);
    if (v.null) {
      builder.SetNull(i);
      continue;
    }
    switch (keys_[i]->type()) {
      case expr::ExprType::String: builder.SetString(i, v.str, v.len); break;
      case expr::ExprType::Numeric: builder.SetNumeric(i, v.number); break;
      case expr::ExprType::Date: builder.SetDate(i, static_cast<int32_t>(v.integer)); break;
      case expr::ExprType::Timestamp:
        builder.SetTimestamp(i, static_cast<int32_t>(v.integer / expr::kMsPerDay), static_cast<uint32_t>(v.integer % expr::kMsPerDay));
        break;
      case expr::ExprType::Time: builder.SetInteger(i, v.integer); break;
      case expr::ExprType::Logical: builder.SetLogical(i, v.logical); break;
    }
  }
}

RecordKeySource::RecordKeySource(uint64_t recordCount, RecordWalk walk, std::vector<ExpressionKeys*> tagKeys,
                                 expr::EvalOptions options)
    : count_(recordCount), walk_(std::move(walk)), keys_(std::move(tagKeys)), options_(std::move(options)) {}

void RecordKeySource::Scan(const std::vector<TagInfo>& tags, KeySink& sink) {
  if (tags.size() != keys_.size()) Fail(err::kInvalidTagDefinition, "Key expressions do not match the tags");
  std::vector<std::unique_ptr<KeyBuilder>> builders;
  for (const TagInfo& t : tags) builders.push_back(std::make_unique<KeyBuilder>(t.layout));
  uint64_t done = 0;
  walk_([&](const expr::ExprRecord& record) {
    for (size_t t = 0; t < keys_.size(); ++t) {
      if (!keys_[t]->Includes(record, options_)) continue;
      builders[t]->Clear();
      keys_[t]->Build(record, options_, *builders[t]);
      sink.Add(t, builders[t]->Key().data(), record.RecordNumber());
    }
    if ((++done & 0x3FFF) == 0) sink.RecordsDone(done);
  });
  sink.RecordsDone(done);
}

}  // namespace engine::index
