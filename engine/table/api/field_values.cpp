#include "engine/table/api/field_values.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/core/codepage.h"
#include "engine/core/date_format.h"
#include "engine/core/error.h"
#include "engine/dict/dictionary.h"
#include "engine/expr/date_text.h"
#include "engine/table/api/table_handles.h"
#include "engine/table/record_writer.h"

namespace engine::table {

namespace {

// The date format in force for the cursor's calls. Dates are read and written for every
// record: the format worked out last on this thread is kept with the connection it was for and
// the count of format changes at that time, and worked out again only when either differs.
// Valid until the thread's next call.
const expr::DateFormat& CurrentFormat(TableCursor& cursor) {
  struct Kept {
    uint32_t connection = 0;
    uint64_t changes = 0;
    std::optional<expr::DateFormat> format;
  };
  thread_local Kept kept;
  const uint32_t connection = cursor.info().connection;
  // Read before the text: a change made meanwhile leaves a count that the next call sees move.
  const uint64_t changes = core::DateFormatChanges();
  if (!kept.format || kept.connection != connection || kept.changes != changes) {
    std::optional<expr::DateFormat> f = expr::DateFormat::Parse(DateFormatText(connection));
    if (!f) f = expr::DateFormat::Parse("MM/DD/CCYY");
    kept.format = std::move(f);
    kept.connection = connection;
    kept.changes = changes;
  }
  return *kept.format;
}

// The text printf's "%.*f" gives for v, without its cost (numbers are read for every record),
// into buf; returns its length.
size_t NumberInto(double v, uint16_t decimals, char* buf, size_t size) {
  std::to_chars_result r = std::to_chars(buf, buf + size, v, std::chars_format::fixed, decimals);
  if (r.ec == std::errc()) return static_cast<size_t>(r.ptr - buf);
  int n = std::snprintf(buf, size, "%.*f", static_cast<int>(decimals), v);
  return n < 0 ? 0 : std::min(static_cast<size_t>(n), size - 1);
}

}  // namespace

std::vector<uint32_t> ColumnOptionsOf(const Schema& schema, const std::map<std::string, uint32_t>& columnRights) {
  std::vector<uint32_t> options(schema.fieldCount(), kColumnAsTable);
  for (const auto& [column, rights] : columnRights) {
    std::optional<size_t> i = schema.Find(column);
    if (!i) continue;  // a column the table no longer has
    uint32_t bits = 0;
    if (rights & dict::rights::kUpdate) bits |= kOptUpdateGranted;
    if (rights & dict::rights::kInsert) bits |= kOptInsertGranted;
    options[*i] = options[*i] == kColumnAsTable ? bits : (options[*i] | bits);
  }
  return options;
}

uint32_t ColumnOptions(const TableCursor& cursor, size_t i) {
  const CursorInfo& info = cursor.info();
  if (i < info.columnOptions.size() && info.columnOptions[i] != kColumnAsTable) return info.columnOptions[i];
  return info.options;
}

namespace {
void CheckWritableColumn(TableCursor& cursor, size_t i, bool inserting) {
  const FieldDescriptor& d = cursor.schema().fields()[i];
  if (d.type == FieldType::kAutoInc || d.type == FieldType::kRowVersion || d.type == FieldType::kModTime) {
    Fail(err::kFieldTypeMismatch, "Field \"" + d.name + "\" is maintained by the engine.");
  }
  // The table's own rights are checked when the change begins; here only a column's own.
  const CursorInfo& info = cursor.info();
  if (!info.checkRights || i >= info.columnOptions.size() || info.columnOptions[i] == kColumnAsTable) return;
  if (!(info.columnOptions[i] & (inserting ? kOptInsertGranted : kOptUpdateGranted))) {
    Fail(err::kPermissionDenied,
         std::string(inserting ? "Insert" : "Update") + " permission not granted on the column \"" + d.name + "\".");
  }
}
}  // namespace

void CheckAssignable(TableCursor& cursor, size_t i) { CheckWritableColumn(cursor, i, cursor.appending()); }

void CheckInsertable(TableCursor& cursor, size_t i) { CheckWritableColumn(cursor, i, true); }

void FieldTextInto(TableCursor& cursor, size_t i, std::string* out) {
  RecordView v = cursor.CurrentView();
  const FieldDescriptor& d = v.field(i);
  if (IsBlobType(d.type)) {
    std::string content = cursor.ReadBlob(i);
    if (d.type == FieldType::kNMemo) {
      std::u16string wide(content.size() / 2, u'\0');
      std::memcpy(wide.data(), content.data(), wide.size() * 2);
      *out = core::Utf16ToAnsi(wide);
      return;
    }
    *out = std::move(content);
    return;
  }
  switch (d.type) {
    case FieldType::kString:
    case FieldType::kCIString:
    case FieldType::kVarChar:
    case FieldType::kVarBinary:
    case FieldType::kRaw:
    case FieldType::kLogical:
      v.TextInto(i, out);
      return;
    case FieldType::kNChar:
    case FieldType::kNVarChar:
      *out = core::Utf16ToAnsi(v.wideText(i));
      return;
    default:
      break;
  }
  out->clear();
  if (v.isNull(i)) return;
  // A date that is no date (an empty FoxPro datetime, which is not NULL) shows as no text.
  const ValueKind kind = ValueKindOf(d.type);
  if ((kind == ValueKind::kDate || kind == ValueKind::kTimeStamp) && v.julian(i) == 0) return;
  // Every other value is at most a few dozen characters, written here and copied once.
  char buf[400];
  size_t n = 0;
  switch (d.type) {
    case FieldType::kNumeric:
      v.TextInto(i, out);  // its digits as stored
      return;
    case FieldType::kDouble:
    case FieldType::kCurDouble:
      n = NumberInto(v.number(i), d.decimals, buf, sizeof buf);
      break;
    case FieldType::kMoney:
      n = NumberInto(v.number(i), 4, buf, sizeof buf);
      break;
    case FieldType::kDate:
      n = CurrentFormat(cursor).Write(v.julian(i), buf);
      break;
    case FieldType::kTime:
      expr::WriteTime(v.milliseconds(i), buf);
      n = 8;
      break;
    case FieldType::kTimeStamp:
    case FieldType::kModTime:
      n = CurrentFormat(cursor).Write(v.julian(i), buf);
      buf[n++] = ' ';
      expr::WriteTime(v.milliseconds(i), buf + n);
      n += 8;
      break;
    default:
      n = static_cast<size_t>(std::to_chars(buf, buf + sizeof buf, v.integer(i)).ptr - buf);
  }
  out->assign(buf, n);
}

std::string FieldText(TableCursor& cursor, size_t i) {
  std::string text;
  FieldTextInto(cursor, i, &text);
  return text;
}

std::u16string FieldWideText(TableCursor& cursor, size_t i) {
  const FieldDescriptor& d = cursor.schema().fields()[i];
  if (d.type == FieldType::kNChar || d.type == FieldType::kNVarChar) return cursor.CurrentView().wideText(i);
  if (d.type == FieldType::kNMemo) {
    std::string content = cursor.ReadBlob(i);
    std::u16string wide(content.size() / 2, u'\0');
    std::memcpy(wide.data(), content.data(), wide.size() * 2);
    return wide;
  }
  return core::AnsiToUtf16(FieldText(cursor, i));
}

template <typename S>
S TrimImpl(S text, uint16_t option, typename S::value_type blank) {
  if (option & 2) {
    while (!text.empty() && (text.back() == blank || text.back() == 0)) text.pop_back();
  }
  if (option & 1) {
    size_t k = 0;
    while (k < text.size() && text[k] == blank) ++k;
    text.erase(0, k);
  }
  return text;
}

std::string Trimmed(std::string text, uint16_t option) { return TrimImpl(std::move(text), option, ' '); }
std::u16string Trimmed(std::u16string text, uint16_t option) { return TrimImpl(std::move(text), option, u' '); }

std::string_view Trimmed(std::string_view text, uint16_t option) {
  if (option & 2) {
    while (!text.empty() && (text.back() == ' ' || text.back() == 0)) text.remove_suffix(1);
  }
  if (option & 1) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  }
  return text;
}

namespace {
void SetConvertedText(TableCursor& cursor, size_t i, std::string_view text, uint8_t* copy);
}  // namespace

uint8_t* ScratchCopy(const uint8_t* image, size_t length) {
  thread_local std::vector<uint8_t> scratch;
  if (scratch.size() < length) scratch.resize(length);
  std::memcpy(scratch.data(), image, length);
  return scratch.data();
}

void SetFieldText(TableCursor& cursor, size_t i, std::string_view text, uint8_t* into) {
  const Schema& s = cursor.schema();
  const FieldDescriptor& d = s.fields()[i];
  if (into && IsBlobType(d.type)) Fail(err::kFieldTypeMismatch, "Field \"" + d.name + "\" is a blob and cannot be part of a key.");
  if (!into) CheckAssignable(cursor, i);
  if (IsBlobType(d.type)) {
    if (d.type == FieldType::kNMemo) {
      std::u16string wide = core::AnsiToUtf16(text);
      cursor.SetBlob(i, std::string_view(reinterpret_cast<const char*>(wide.data()), wide.size() * 2));
    } else {
      cursor.SetBlob(i, text);
    }
    return;
  }
  const uint8_t* base = into ? into : cursor.Current();
  uint8_t* const copy = ScratchCopy(base, s.recordLength());
  switch (d.type) {
    case FieldType::kString:
    case FieldType::kCIString:
    case FieldType::kVarChar:
      // Text goes in as it is given: no trimmed copy is needed.
      WriteText(s, copy, i, text, false);
      break;
    default:
      SetConvertedText(cursor, i, text, copy);
  }
  uint8_t* image = into ? into : cursor.BeginChange();
  CopyFieldValue(s, image, copy, i);
}

namespace {

// Stores text that needs converting (a date, a time, a number, national text) into field i of
// the record image `copy`.
void SetConvertedText(TableCursor& cursor, size_t i, std::string_view text, uint8_t* copy) {
  const Schema& s = cursor.schema();
  const FieldDescriptor& d = s.fields()[i];
  const std::string_view trimmed = Trimmed(text, 3);
  switch (d.type) {
    case FieldType::kNChar:
    case FieldType::kNVarChar:
      WriteWideText(s, copy, i, core::AnsiToUtf16(text), false);
      break;
    case FieldType::kDate:
    case FieldType::kTimeStamp: {
      if (trimmed.empty()) {
        WriteEmpty(s, copy, i);
        break;
      }
      const std::string_view datePart = trimmed.substr(0, trimmed.find(' '));
      int64_t julian = CurrentFormat(cursor).Read(datePart, 1900);
      if (julian <= 0) {
        Fail(err::kInvalidDateText,
             "\"" + std::string(datePart) + "\" is not a date in the format " + CurrentFormat(cursor).pattern() + ".");
      }
      WriteJulian(s, copy, i, static_cast<int32_t>(julian));
      if (d.type == FieldType::kTimeStamp) {
        size_t space = trimmed.find(' ');
        int64_t ms = 0;
        if (space != std::string_view::npos) {
          std::optional<int64_t> parsed = expr::ReadTime(trimmed.substr(space + 1));
          if (!parsed) Fail(err::kInvalidDateText, "\"" + std::string(trimmed) + "\" is not a timestamp.");
          ms = *parsed;
        }
        WriteMilliseconds(s, copy, i, static_cast<int32_t>(ms));
      }
      break;
    }
    case FieldType::kTime: {
      if (trimmed.empty()) {
        WriteEmpty(s, copy, i);
        break;
      }
      std::optional<int64_t> ms = expr::ReadTime(trimmed);
      if (!ms) Fail(err::kInvalidDateText, "\"" + std::string(trimmed) + "\" is not a time of day.");
      WriteMilliseconds(s, copy, i, static_cast<int32_t>(*ms));
      break;
    }
    case FieldType::kDouble:
    case FieldType::kCurDouble:
    case FieldType::kInteger:
    case FieldType::kShortInt:
    case FieldType::kMoney: {
      if (trimmed.empty()) {
        WriteEmpty(s, copy, i);
        break;
      }
      const std::string number(trimmed);  // strtod reads up to a NUL
      char* end = nullptr;
      double value = std::strtod(number.c_str(), &end);
      if (end == number.c_str() || *end != 0) {
        Fail(err::kFieldTypeMismatch, "\"" + number + "\" is not a number for field \"" + d.name + "\".");
      }
      WriteNumber(s, copy, i, value);
      break;
    }
    default:
      WriteText(s, copy, i, text, false);
  }
}

}  // namespace

void SetFieldWideText(TableCursor& cursor, size_t i, std::u16string_view text, uint8_t* into) {
  const FieldDescriptor& d = cursor.schema().fields()[i];
  if (d.type == FieldType::kNChar || d.type == FieldType::kNVarChar) {
    if (!into) CheckAssignable(cursor, i);
    const uint8_t* base = into ? into : cursor.Current();
    uint8_t* const copy = ScratchCopy(base, cursor.schema().recordLength());
    WriteWideText(cursor.schema(), copy, i, text, false);
    uint8_t* image = into ? into : cursor.BeginChange();
    CopyFieldValue(cursor.schema(), image, copy, i);
    return;
  }
  if (into) return SetFieldText(cursor, i, core::Utf16ToAnsi(text), into);
  if (d.type == FieldType::kNMemo) {
    CheckAssignable(cursor, i);
    cursor.SetBlob(i, std::string_view(reinterpret_cast<const char*>(text.data()), text.size() * 2));
    return;
  }
  SetFieldText(cursor, i, core::Utf16ToAnsi(text));
}

}  // namespace engine::table
