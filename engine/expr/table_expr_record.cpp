#include "engine/expr/table_expr_record.h"

#include <cstring>

#include "engine/core/codepage.h"
#include "engine/expr/field_names.h"

namespace engine::expr {

namespace {

std::optional<ExprType> ExprTypeOf(table::FieldType t, bool memosReadable) {
  switch (t) {
    case table::FieldType::kString:
    case table::FieldType::kCIString:
    case table::FieldType::kVarChar:
    case table::FieldType::kRaw:
    case table::FieldType::kVarBinary:
    case table::FieldType::kNChar:
    case table::FieldType::kNVarChar:
      return ExprType::String;
    case table::FieldType::kMemo:
    case table::FieldType::kNMemo:
      if (memosReadable) return ExprType::String;
      return std::nullopt;
    case table::FieldType::kNumeric:
    case table::FieldType::kDouble:
    case table::FieldType::kCurDouble:
    case table::FieldType::kInteger:
    case table::FieldType::kShortInt:
    case table::FieldType::kAutoInc:
    case table::FieldType::kMoney:
    case table::FieldType::kRowVersion:
      return ExprType::Numeric;
    case table::FieldType::kDate:
    case table::FieldType::kCompactDate:
      return ExprType::Date;
    case table::FieldType::kTime:
      return ExprType::Time;
    case table::FieldType::kTimeStamp:
    case table::FieldType::kModTime:
      return ExprType::Timestamp;
    case table::FieldType::kLogical:
      return ExprType::Logical;
    default:
      return std::nullopt;
  }
}

// Display width of a numeric field that declares no length.
uint32_t WidthOf(const table::FieldDescriptor& d) {
  if (d.length) return d.length;
  switch (d.type) {
    case table::FieldType::kShortInt: return 6;
    case table::FieldType::kInteger:
    case table::FieldType::kAutoInc: return 11;
    default: return 20;
  }
}

}  // namespace

TableExprSchema::TableExprSchema(const table::Schema& schema, std::string alias, bool memosReadable)
    : alias_(std::move(alias)) {
  const auto& fields = schema.fields();
  for (size_t i = 0; i < fields.size(); ++i) {
    const table::FieldDescriptor& d = fields[i];
    std::optional<ExprType> t = ExprTypeOf(d.type, memosReadable);
    if (!t) continue;
    ExprField f;
    f.name = d.name;
    f.slot = static_cast<int>(i);
    f.type = *t;
    f.decimals = d.decimals;
    f.variableLength = d.type == table::FieldType::kMemo || d.type == table::FieldType::kNMemo;
    f.national = d.type == table::FieldType::kNChar || d.type == table::FieldType::kNVarChar || d.type == table::FieldType::kNMemo;
    switch (*t) {
      case ExprType::String: f.length = f.variableLength ? 10 : d.length; break;
      case ExprType::Numeric: f.length = WidthOf(d); break;
      case ExprType::Logical: f.length = 1; break;
      default: f.length = 8;
    }
    fields_.push_back(std::move(f));
  }
}

std::optional<ExprField> TableExprSchema::FindField(std::string_view name) const {
  for (const ExprField& f : fields_)
    if (SameName(f.name, name)) return f;
  return std::nullopt;
}

bool TableExprSchema::IsOwnAlias(std::string_view alias) const { return SameName(alias, alias_); }

TableExprRecord::TableExprRecord(const table::Schema& schema, MemoReader memo)
    : schema_(schema),
      view_(schema, nullptr, 0),
      memo_(std::move(memo)),
      scratch_(schema.fieldCount()),
      wide_(schema.fieldCount()) {}

void TableExprRecord::At(const uint8_t* image, uint32_t recordNumber) {
  view_ = table::RecordView(schema_, image, recordNumber);
  scratch_.NextRecord();
  wide_.NextRecord();
}

bool TableExprRecord::FieldIsNull(int slot) const { return view_.isNull(static_cast<size_t>(slot)); }

std::string_view TableExprRecord::FieldString(int slot) const {
  size_t i = static_cast<size_t>(slot);
  const table::FieldDescriptor& d = view_.field(i);
  const char* p = reinterpret_cast<const char*>(view_.fieldBytes(i));
  // Text that is not the stored bytes is decoded once per record (see FieldTextCache).
  if (const std::string* done = scratch_.Find(i)) return *done;
  switch (d.type) {
    case table::FieldType::kString:
    case table::FieldType::kCIString: {
      // Stored bytes are the text; zero bytes (never written by the engine itself) read as blanks.
      if (!std::memchr(p, 0, d.size)) return std::string_view(p, d.size);
      std::string& s = scratch_.Fill(i);
      s.assign(p, d.size);
      for (char& c : s)
        if (c == 0) c = ' ';
      return s;
    }
    case table::FieldType::kVarChar:
    case table::FieldType::kVarBinary: {
      uint16_t n = view_.usedLength(i);
      return std::string_view(p, n == 0xFFFF ? 0 : std::min<uint32_t>(n, d.dataSize));
    }
    case table::FieldType::kRaw:
      return std::string_view(p, d.size);
    case table::FieldType::kNChar:
    case table::FieldType::kNVarChar: {
      std::string text = core::Utf16ToAnsi(view_.wideText(i));
      return scratch_.Fill(i) = std::move(text);
    }
    case table::FieldType::kMemo: {
      std::string text = memo_ ? memo_(view_.blob(i)) : std::string();  // may throw: fill only after
      return scratch_.Fill(i) = std::move(text);
    }
    case table::FieldType::kNMemo: {
      std::string text = core::Utf16ToAnsi(FieldWide(slot));
      return scratch_.Fill(i) = std::move(text);
    }
    default:
      return std::string_view();
  }
}

std::u16string_view TableExprRecord::FieldWide(int slot) const {
  size_t i = static_cast<size_t>(slot);
  if (const std::u16string* done = wide_.Find(i)) return *done;
  switch (view_.field(i).type) {
    case table::FieldType::kNChar:
    case table::FieldType::kNVarChar: {
      std::u16string text = view_.wideText(i);
      return wide_.Fill(i) = std::move(text);
    }
    case table::FieldType::kNMemo: {
      // Little-endian UTF-16 code units; an odd last byte is no character.
      std::string bytes = memo_ ? memo_(view_.blob(i)) : std::string();  // may throw: fill only after
      std::u16string text(bytes.size() / 2, u' ');
      for (size_t k = 0; k < text.size(); ++k)
        text[k] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * k]) |
                                        (static_cast<unsigned char>(bytes[2 * k + 1]) << 8));
      return wide_.Fill(i) = std::move(text);
    }
    default: {
      std::u16string text = core::AnsiToUtf16(FieldString(slot));
      return wide_.Fill(i) = std::move(text);
    }
  }
}

double TableExprRecord::FieldNumber(int slot) const { return view_.number(static_cast<size_t>(slot)); }

bool TableExprRecord::FieldLogical(int slot) const { return view_.logical(static_cast<size_t>(slot)); }

int64_t TableExprRecord::FieldDate(int slot) const { return view_.julian(static_cast<size_t>(slot)); }

int64_t TableExprRecord::FieldTime(int slot) const { return view_.milliseconds(static_cast<size_t>(slot)); }

int64_t TableExprRecord::FieldTimestamp(int slot) const {
  size_t i = static_cast<size_t>(slot);
  int64_t julian = view_.julian(i);
  if (julian == 0) return 0;
  return julian * kMsPerDay + view_.milliseconds(i);
}

}  // namespace engine::expr
