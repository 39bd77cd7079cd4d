#include "tools/aceadmin/sql_catalog.h"

#include <ostream>
#include <vector>

#include "tools/aceadmin/command.h"
#include "tools/aceadmin/table_common.h"

namespace aceadmin {
namespace {

// A table opened shared and read-only on the shell's connection, closed when it goes.
class LookedAtTable {
 public:
  LookedAtTable(ADSHANDLE connection, const std::string& name) {
    rc_ = AdsOpenTable90(connection, Text(name), nullptr, ADS_ADT, 0, 0, 2, ADS_READONLY, nullptr, &table_);
  }
  ~LookedAtTable() {
    if (table_) AdsCloseTable(table_);
  }
  LookedAtTable(const LookedAtTable&) = delete;
  LookedAtTable& operator=(const LookedAtTable&) = delete;

  UNSIGNED32 rc() const { return rc_; }
  ADSHANDLE get() const { return table_; }

 private:
  ADSHANDLE table_ = 0;
  UNSIGNED32 rc_ = 0;
};

// The type words of the engine's field definitions, by the type number AdsGetFieldType gives,
// and what follows the word.
enum class Size { kNone, kLength, kLengthDecimals };
struct TypeWord {
  UNSIGNED16 type;
  const char* word;
  Size size;
};
constexpr TypeWord kTypeWords[] = {
    {1, "Logical", Size::kNone},      {2, "Numeric", Size::kLengthDecimals}, {3, "Date", Size::kNone},
    {4, "Char", Size::kLength},       {5, "Memo", Size::kNone},              {6, "Binary", Size::kNone},
    {7, "Image", Size::kNone},        {9, "CompactDate", Size::kNone},       {10, "Double", Size::kNone},
    {11, "Integer", Size::kNone},     {12, "ShortInt", Size::kNone},         {13, "Time", Size::kNone},
    {14, "TimeStamp", Size::kNone},   {15, "AutoInc", Size::kNone},          {16, "Raw", Size::kLength},
    {17, "CurDouble", Size::kNone},   {18, "Money", Size::kNone},            {20, "CIChar", Size::kLength},
    {21, "RowVersion", Size::kNone},  {22, "ModTime", Size::kNone},          {23, "VarChar", Size::kLength},
    {24, "VarBinary", Size::kLength}, {26, "NChar", Size::kLength},      {27, "NVarChar", Size::kLength},
    {28, "NMemo", Size::kNone},
};

// "Char(20)", "Numeric(10, 2)", ...; 0 or the engine's code.
UNSIGNED32 FieldDefinition(ADSHANDLE table, const std::string& field, std::string* definition) {
  UNSIGNED16 type = 0;
  if (UNSIGNED32 rc = AdsGetFieldType(table, Text(field), &type)) return rc;
  const TypeWord* word = nullptr;
  for (const TypeWord& w : kTypeWords) {
    if (w.type == type) word = &w;
  }
  if (!word) {
    *definition = "type " + std::to_string(type);  // a type this shell does not know by name
    return 0;
  }
  *definition = word->word;
  if (word->size == Size::kNone) return 0;
  UNSIGNED32 length = 0;
  if (UNSIGNED32 rc = AdsGetFieldLength(table, Text(field), &length)) return rc;
  *definition += "(" + std::to_string(length);
  if (word->size == Size::kLengthDecimals) {
    UNSIGNED16 decimals = 0;
    if (UNSIGNED32 rc = AdsGetFieldDecimals(table, Text(field), &decimals)) return rc;
    *definition += ", " + std::to_string(decimals);
  }
  *definition += ")";
  return 0;
}

// The text an index call gives into a buffer; 0 or the engine's code.
template <typename Call>
UNSIGNED32 IndexText(Call call, std::string* text) {
  std::string buf(1024, '\0');
  UNSIGNED16 len = static_cast<UNSIGNED16>(buf.size());
  if (UNSIGNED32 rc = call(reinterpret_cast<UNSIGNED8*>(buf.data()), &len)) return rc;
  text->assign(buf.data(), len);
  return 0;
}

}  // namespace

UNSIGNED32 PrintTables(ADSHANDLE connection, std::ostream& out) {
  UNSIGNED8 name[261];
  UNSIGNED16 len = 260;
  ADSHANDLE find = 0;
  UNSIGNED32 rc = AdsFindFirstTable(connection, nullptr, name, &len, &find);
  while (rc == 0) {
    out << std::string(reinterpret_cast<char*>(name), len) << "\n";
    len = 260;
    rc = AdsFindNextTable(connection, find, name, &len);
  }
  if (find) AdsFindClose(connection, find);
  return rc == AE_NO_MORE_TABLES ? 0 : rc;
}

UNSIGNED32 PrintSchema(ADSHANDLE connection, const std::string& table, std::ostream& out) {
  LookedAtTable t(connection, table);
  if (t.rc()) return t.rc();
  std::vector<std::string> names;
  if (UNSIGNED32 rc = FieldNames(t.get(), &names)) return rc;
  std::string text = "CREATE TABLE " + table + " (";
  for (size_t i = 0; i < names.size(); ++i) {
    std::string definition;
    if (UNSIGNED32 rc = FieldDefinition(t.get(), names[i], &definition)) return rc;
    text += std::string(i ? "," : "") + "\n  " + names[i] + " " + definition;
  }
  out << text << "\n);\n";
  return 0;
}

UNSIGNED32 PrintIndexes(ADSHANDLE connection, const std::string& table, OutputMode mode, std::ostream& out) {
  LookedAtTable t(connection, table);
  if (t.rc()) return t.rc();
  UNSIGNED16 count = 0;
  if (UNSIGNED32 rc = AdsGetNumIndexes(t.get(), &count)) return rc;
  std::vector<std::vector<std::string>> rows;
  for (UNSIGNED16 n = 1; n <= count; ++n) {
    ADSHANDLE index = 0;
    if (UNSIGNED32 rc = AdsGetIndexHandleByOrder(t.get(), n, &index)) return rc;
    std::string name, key, condition;
    if (UNSIGNED32 rc = IndexText([&](UNSIGNED8* b, UNSIGNED16* l) { return AdsGetIndexName(index, b, l); }, &name)) {
      return rc;
    }
    if (UNSIGNED32 rc = IndexText([&](UNSIGNED8* b, UNSIGNED16* l) { return AdsGetIndexExpr(index, b, l); }, &key)) {
      return rc;
    }
    if (UNSIGNED32 rc =
            IndexText([&](UNSIGNED8* b, UNSIGNED16* l) { return AdsGetIndexCondition(index, b, l); }, &condition)) {
      return rc;
    }
    const struct {
      UNSIGNED32 (*ask)(ADSHANDLE, UNSIGNED16*);
      const char* word;
    } flags[] = {{&AdsIsIndexPrimaryKey, "primary key"}, {&AdsIsIndexUnique, "unique"},
                 {&AdsIsIndexCandidate, "candidate"},    {&AdsIsIndexDescending, "descending"},
                 {&AdsIsIndexCustom, "custom"}};
    std::string options;
    for (const auto& f : flags) {
      UNSIGNED16 set = 0;
      if (UNSIGNED32 rc = f.ask(index, &set)) return rc;
      if (set) options += (options.empty() ? "" : ", ") + std::string(f.word);
    }
    rows.push_back({name, key, condition, options});
  }
  PrintRows({"tag", "key", "condition", "options"}, rows, mode, out);
  return 0;
}

}  // namespace aceadmin
