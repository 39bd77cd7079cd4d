#include "engine/sql/result_order.h"

#include <algorithm>
#include <cctype>
#include <span>

#include "engine/core/codepage.h"
#include "engine/core/error.h"
#include "engine/index/expression_keys.h"
#include "engine/index/key_builder.h"
#include "engine/index/table_key_fields.h"
#include "engine/index/tag_def.h"
#include "engine/sql/sql_text.h"
#include "engine/table/table.h"

namespace engine::sql {

namespace {

constexpr uint32_t kRecordsAtATime = 1024;  // result records KeysFollowRecordOrder reads at once

bool IsWord(const Token& t, const char* word) { return !t.quoted && !t.literal && Upper(t.text) == word; }

bool AllDigits(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

// A field name that a key expression can name as it stands.
bool KeyableName(const std::string& name) {
  if (name.empty() || !(std::isalpha(static_cast<unsigned char>(name[0])) || name[0] == '_')) return false;
  for (char c : name) {
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_')) return false;
  }
  return true;
}

// The result column a term (its tokens without ASC/DESC) names: a column number, or a name,
// possibly qualified, that is the name of a result column.
std::optional<size_t> ColumnOfTerm(const std::vector<Token>& term, const std::vector<std::string>& names) {
  if (term.size() == 1 && !term[0].quoted && !term[0].literal && AllDigits(term[0].text)) {
    size_t n = std::stoul(term[0].text);
    if (n >= 1 && n <= names.size()) return n - 1;
    return std::nullopt;
  }
  const Token* name = nullptr;
  if (term.size() == 1 && !term[0].literal) name = &term[0];
  if (term.size() == 3 && term[1].text == "." && !term[1].quoted && !term[2].literal) name = &term[2];
  if (!name) return std::nullopt;
  std::optional<size_t> found;
  for (size_t i = 0; i < names.size(); ++i) {
    if (!core::EqualsIgnoringAsciiCase(names[i], name->text)) continue;
    if (found) return std::nullopt;  // two result columns of that name: which one is unclear
    found = i;
  }
  return found;
}

// Whether the keys of `tag` over the records of `result`, taken in record order, never
// descend: the tag (ties broken by record number) then walks records 1, 2, ... in sequence.
// Throws the index layer's error for a key no tag can have (a memo column, a key too long).
bool KeysFollowRecordOrder(table::Table& result, const table::TagDefinition& tag) {
  index::TableFields fields(result.schema());
  index::ExpressionKeys keys(tag.expression, tag.condition, fields);
  index::TagDef def;
  def.name = tag.name;
  def.expression = tag.expression;
  def.options = tag.flags;
  def.collation = result.properties().collation;
  def.keyType = keys.keyType();
  def.segments = keys.segments();
  std::vector<index::TagInfo> info = index::PrepareTags({def}, result.properties().indexPageSize);
  index::KeyBuilder builder(info[0].layout);
  index::TableRecord record(result.schema().fieldCount());
  expr::EvalOptions options;
  std::vector<uint8_t> previous;
  // A result is mostly small: the records are read in pieces no larger than the result.
  const uint32_t total = result.cachedRecordCount();
  const uint32_t length = result.schema().recordLength();
  std::vector<uint8_t> images(size_t{std::min(total, kRecordsAtATime)} * length);
  for (uint32_t n = 1; n <= total;) {
    const uint32_t got = result.ReadRecords(n, std::min(kRecordsAtATime, total - n + 1), images.data());
    if (got == 0) Fail(err::kTableTruncated, "A record of the result ended early.");
    for (uint32_t k = 0; k < got; ++k) {
      table::RecordView view(result.schema(), images.data() + size_t{k} * length, n + k);
      record.Set(&view);
      builder.Clear();
      keys.Build(record, options, builder);
      std::span<const uint8_t> key = builder.Key();
      if (n + k > 1 && std::lexicographical_compare(key.begin(), key.end(), previous.begin(), previous.end())) {
        return false;
      }
      previous.assign(key.begin(), key.end());
    }
    n += got;
  }
  return true;
}

}  // namespace

std::optional<OrderByClause> FindOrderBy(std::string_view statement, const std::vector<std::string>& columnNames) {
  std::vector<Token> t = Tokenize(statement);
  // The last ORDER BY outside parentheses belongs to the statement itself.
  size_t by = t.size();
  int depth = 0;
  for (size_t i = 0; i < t.size(); ++i) {
    if (!t[i].quoted && !t[i].literal && t[i].text == "(") ++depth;
    if (!t[i].quoted && !t[i].literal && t[i].text == ")") --depth;
    if (depth == 0 && i + 1 < t.size() && IsWord(t[i], "ORDER") && IsWord(t[i + 1], "BY")) by = i + 2;
  }
  if (by == t.size()) return std::nullopt;
  size_t end = by;
  depth = 0;
  for (; end < t.size(); ++end) {
    if (!t[end].quoted && !t[end].literal && t[end].text == "(") ++depth;
    if (!t[end].quoted && !t[end].literal && t[end].text == ")") --depth;
    if (depth == 0 && (IsWord(t[end], "LIMIT") || IsWord(t[end], "OFFSET"))) break;
  }

  OrderByClause clause;
  bool keyable = true;
  int descending = 0;
  std::vector<Token> term;
  auto endTerm = [&]() {
    bool desc = false;
    if (!term.empty() && (IsWord(term.back(), "ASC") || IsWord(term.back(), "DESC"))) {
      desc = IsWord(term.back(), "DESC");
      term.pop_back();
    }
    descending += desc ? 1 : 0;
    bool plain = true;
    for (const Token& k : term) {
      if (IsWord(k, "COLLATE") || IsWord(k, "NULLS")) plain = false;
    }
    std::optional<size_t> column = plain ? ColumnOfTerm(term, columnNames) : std::nullopt;
    if (!column || !KeyableName(columnNames[*column])) keyable = false;
    if (column) clause.columns.push_back(*column);
    term.clear();
  };
  depth = 0;
  for (size_t i = by; i < end; ++i) {
    if (!t[i].quoted && !t[i].literal && t[i].text == "(") ++depth;
    if (!t[i].quoted && !t[i].literal && t[i].text == ")") --depth;
    if (depth == 0 && !t[i].quoted && !t[i].literal && t[i].text == ",") {
      endTerm();
      continue;
    }
    term.push_back(t[i]);
  }
  endTerm();
  // One tag has one direction: terms that mix them are not keyed.
  if (descending != 0 && descending != static_cast<int>(clause.columns.size())) keyable = false;
  clause.descending = keyable && descending != 0;
  if (!keyable) clause.columns.clear();
  return clause;
}

void AddResultOrder(table::Table& result, const OrderByClause& clause) {
  table::TagDefinition tag;
  tag.name = kResultOrderTag;
  tag.expression = "RECNO()";
  if (!clause.columns.empty()) {
    table::TagDefinition keyed = tag;
    keyed.expression.clear();
    for (size_t i = 0; i < clause.columns.size(); ++i) {
      keyed.expression += (i ? ";" : "") + result.schema().fields()[clause.columns[i]].name;
    }
    if (clause.columns.size() > 1) keyed.flags |= index::kTagCompound;
    if (clause.descending) keyed.flags |= index::kTagDescending;
    try {
      // The engine's collation or its keys of empty values may sort these rows otherwise than
      // the statement did; the rows keep the statement's order and the order follows them.
      if (KeysFollowRecordOrder(result, keyed)) tag = keyed;
    } catch (const EngineError&) {
      // A column that no key can hold (a memo, a blob): the order follows the rows.
    }
  }
  // Only the definition is stored: the index is built when the cursor's orders are first used.
  result.SetTags({tag});
}

}  // namespace engine::sql
