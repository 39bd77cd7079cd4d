#include "engine/sql/value_codec.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/core/codepage.h"
#include "engine/core/error.h"
#include "engine/sql/sql_error.h"
#include "engine/sql/sql_text.h"
#include "engine/table/julian.h"
#include "engine/table/record_writer.h"

namespace engine::sql {

namespace {

constexpr int32_t kMsPerDay = 86400000;

std::string RightTrimmed(std::string s) {
  size_t e = s.find_last_not_of(' ');
  s.resize(e == std::string::npos ? 0 : e + 1);
  return s;
}

std::u16string RightTrimmed(std::u16string s) {
  size_t e = s.find_last_not_of(u' ');
  s.resize(e == std::u16string::npos ? 0 : e + 1);
  return s;
}

void ResultText(sqlite3_context* ctx, const std::string& utf8) {
  sqlite3_result_text(ctx, utf8.data(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
}

[[noreturn]] void Mismatch(const table::FieldDescriptor& d, const std::string& what) {
  FailColumn(err::kColumnTypeMismatch, d.name, "The value " + what + " does not fit the column's type");
}

std::string ValueText(sqlite3_value* v) {
  const unsigned char* t = sqlite3_value_text(v);
  return t ? std::string(reinterpret_cast<const char*>(t), sqlite3_value_bytes(v)) : std::string();
}

std::string ValueBytes(sqlite3_value* v) {
  const void* b = sqlite3_value_blob(v);
  return b ? std::string(static_cast<const char*>(b), sqlite3_value_bytes(v)) : std::string();
}

bool ReadNumber(std::string_view s, size_t* pos, size_t digits, int* out) {
  if (*pos + digits > s.size()) return false;
  int v = 0;
  for (size_t k = 0; k < digits; ++k) {
    char c = s[*pos + k];
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  *pos += digits;
  *out = v;
  return true;
}

bool ParseDateAt(std::string_view s, size_t* pos, int32_t* julian) {
  table::CivilDate d;
  if (!ReadNumber(s, pos, 4, &d.year)) return false;
  if (*pos >= s.size() || (s[*pos] != '-' && s[*pos] != '/')) return false;
  ++*pos;
  if (!ReadNumber(s, pos, 2, &d.month)) return false;
  if (*pos >= s.size() || (s[*pos] != '-' && s[*pos] != '/')) return false;
  ++*pos;
  if (!ReadNumber(s, pos, 2, &d.day)) return false;
  if (!table::IsValidCivil(d)) return false;
  *julian = table::CivilToJulian(d);
  return true;
}

bool ParseTimeAt(std::string_view s, size_t* pos, int32_t* ms) {
  int h = 0, m = 0, sec = 0, frac = 0;
  if (!ReadNumber(s, pos, 2, &h)) return false;
  if (*pos >= s.size() || s[*pos] != ':') return false;
  ++*pos;
  if (!ReadNumber(s, pos, 2, &m)) return false;
  if (*pos < s.size() && s[*pos] == ':') {
    ++*pos;
    if (!ReadNumber(s, pos, 2, &sec)) return false;
    if (*pos < s.size() && s[*pos] == '.') {
      ++*pos;
      int scale = 100;
      size_t start = *pos;
      while (*pos < s.size() && s[*pos] >= '0' && s[*pos] <= '9') {
        if (scale > 0) frac += (s[*pos] - '0') * scale;
        scale /= 10;
        ++*pos;
      }
      if (*pos == start) return false;
    }
  }
  if (h > 23 || m > 59 || sec > 59) return false;
  *ms = ((h * 60 + m) * 60 + sec) * 1000 + frac;
  return true;
}

}  // namespace

const char* DeclaredType(table::FieldType type) {
  switch (table::ValueKindOf(type)) {
    case table::ValueKind::kString:
    case table::ValueKind::kWideString:
    case table::ValueKind::kDate:
    case table::ValueKind::kTime:
    case table::ValueKind::kTimeStamp:
      return "TEXT";
    case table::ValueKind::kBytes:
      return "BLOB";
    case table::ValueKind::kLogical:
      return "INTEGER";
    case table::ValueKind::kNumber:
      break;
  }
  switch (type) {
    case table::FieldType::kInteger:
    case table::FieldType::kShortInt:
    case table::FieldType::kAutoInc:
    case table::FieldType::kRowVersion:
      return "INTEGER";
    default:
      return "REAL";
  }
}

std::string DateText(int32_t julian) {
  table::CivilDate d = table::JulianToCivil(julian);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.year, d.month, d.day);
  return buf;
}

std::string TimeText(int32_t ms) {
  if (ms < 0) ms = 0;
  if (ms >= kMsPerDay) ms = kMsPerDay - 1;
  char buf[32];
  int s = ms / 1000;
  if (ms % 1000) {
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", s / 3600, s / 60 % 60, s % 60, ms % 1000);
  } else {
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", s / 3600, s / 60 % 60, s % 60);
  }
  return buf;
}

std::optional<int32_t> ParseDate(std::string_view text) {
  size_t pos = 0;
  int32_t j = 0;
  if (!ParseDateAt(text, &pos, &j) || pos != text.size()) return std::nullopt;
  return j;
}

std::optional<int32_t> ParseTime(std::string_view text) {
  size_t pos = 0;
  int32_t ms = 0;
  if (!ParseTimeAt(text, &pos, &ms) || pos != text.size()) return std::nullopt;
  return ms;
}

bool ParseTimeStamp(std::string_view text, int32_t* julian, int32_t* ms) {
  size_t pos = 0;
  if (!ParseDateAt(text, &pos, julian)) return false;
  *ms = 0;
  if (pos == text.size()) return true;
  if (text[pos] != ' ' && text[pos] != 'T') return false;
  ++pos;
  return ParseTimeAt(text, &pos, ms) && pos == text.size();
}

bool NumberField(const table::RecordView& r, size_t i, SqlNumber* out) {
  const table::FieldDescriptor& d = r.field(i);
  switch (d.type) {
    case table::FieldType::kString:
    case table::FieldType::kCIString:
    case table::FieldType::kVarChar:
    case table::FieldType::kNChar:
    case table::FieldType::kNVarChar:
    case table::FieldType::kMemo:
    case table::FieldType::kNMemo:
    case table::FieldType::kBinary:
    case table::FieldType::kImage:
    case table::FieldType::kRaw:
    case table::FieldType::kVarBinary:
    case table::FieldType::kDate:
    case table::FieldType::kTime:
    case table::FieldType::kTimeStamp:
    case table::FieldType::kModTime:
      return false;
    default:
      break;
  }
  SqlNumber& n = *out;
  if (r.isNull(i)) {
    n.kind = SqlNumber::Kind::kNull;
    return true;
  }
  n.kind = SqlNumber::Kind::kInteger;
  switch (d.type) {
    case table::FieldType::kLogical:
      n.integer = r.logical(i) ? 1 : 0;
      break;
    case table::FieldType::kInteger:
    case table::FieldType::kShortInt:
    case table::FieldType::kAutoInc:
    case table::FieldType::kRowVersion:
      n.integer = r.integer(i);
      break;
    case table::FieldType::kNumeric:
      if (d.decimals == 0) {
        n.integer = r.integer(i);
      } else {
        n.kind = SqlNumber::Kind::kReal;
        n.real = r.number(i);
      }
      break;
    default:
      n.kind = SqlNumber::Kind::kReal;
      n.real = r.number(i);
      break;
  }
  return true;
}

void ResultNumber(sqlite3_context* ctx, const SqlNumber& n) {
  switch (n.kind) {
    case SqlNumber::Kind::kNull:
      sqlite3_result_null(ctx);
      return;
    case SqlNumber::Kind::kInteger:
      sqlite3_result_int64(ctx, n.integer);
      return;
    case SqlNumber::Kind::kReal:
      sqlite3_result_double(ctx, n.real);
      return;
  }
}

void ResultField(sqlite3_context* ctx, const table::RecordView& r, size_t i,
                 const std::function<std::string(table::BlobRef)>& readBlob) {
  SqlNumber n;
  if (NumberField(r, i, &n)) {
    ResultNumber(ctx, n);
    return;
  }
  const table::FieldDescriptor& d = r.field(i);
  if (r.isNull(i)) {
    sqlite3_result_null(ctx);
    return;
  }
  switch (d.type) {
    case table::FieldType::kString:
    case table::FieldType::kCIString:
      ResultText(ctx, core::AnsiToUtf8(RightTrimmed(r.text(i))));
      return;
    case table::FieldType::kVarChar:
      ResultText(ctx, core::AnsiToUtf8(r.text(i)));
      return;
    case table::FieldType::kNChar:
      ResultText(ctx, core::Utf16ToUtf8(RightTrimmed(r.wideText(i))));
      return;
    case table::FieldType::kNVarChar:
      ResultText(ctx, core::Utf16ToUtf8(r.wideText(i)));
      return;
    case table::FieldType::kMemo:
      ResultText(ctx, core::AnsiToUtf8(readBlob(r.blob(i))));
      return;
    case table::FieldType::kNMemo: {
      std::string bytes = readBlob(r.blob(i));
      std::u16string wide(bytes.size() / 2, u'\0');
      std::memcpy(wide.data(), bytes.data(), wide.size() * 2);
      ResultText(ctx, core::Utf16ToUtf8(wide));
      return;
    }
    case table::FieldType::kBinary:
    case table::FieldType::kImage: {
      std::string bytes = readBlob(r.blob(i));
      sqlite3_result_blob(ctx, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
      return;
    }
    case table::FieldType::kRaw:
    case table::FieldType::kVarBinary: {
      std::string bytes = r.text(i);
      sqlite3_result_blob(ctx, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
      return;
    }
    case table::FieldType::kDate:
      ResultText(ctx, DateText(r.julian(i)));
      return;
    case table::FieldType::kTime:
      ResultText(ctx, TimeText(r.milliseconds(i)));
      return;
    case table::FieldType::kTimeStamp:
    case table::FieldType::kModTime:
      ResultText(ctx, DateText(r.julian(i)) + " " + TimeText(r.milliseconds(i)));
      return;
    default:
      return;  // the numbers, given above
  }
}

void StoreValue(const table::Schema& s, uint8_t* image, size_t i, sqlite3_value* v, bool truncate,
                const std::function<void(std::string_view)>& setBlob) {
  const table::FieldDescriptor& d = s.fields()[i];
  int vt = sqlite3_value_type(v);
  if (vt == SQLITE_NULL) {
    if (table::IsBlobType(d.type)) {
      setBlob("");
    } else {
      table::WriteNull(s, image, i);
    }
    return;
  }
  switch (d.type) {
    case table::FieldType::kString:
    case table::FieldType::kCIString:
    case table::FieldType::kVarChar:
      if (vt == SQLITE_BLOB) Mismatch(d, "of binary data");
      table::WriteText(s, image, i, core::Utf8ToAnsi(ValueText(v)), truncate);
      return;
    case table::FieldType::kNChar:
    case table::FieldType::kNVarChar:
      if (vt == SQLITE_BLOB) Mismatch(d, "of binary data");
      table::WriteWideText(s, image, i, core::Utf8ToUtf16(ValueText(v)), truncate);
      return;
    case table::FieldType::kMemo:
      setBlob(vt == SQLITE_BLOB ? ValueBytes(v) : core::Utf8ToAnsi(ValueText(v)));
      return;
    case table::FieldType::kNMemo: {
      std::u16string wide = core::Utf8ToUtf16(ValueText(v));
      setBlob(std::string_view(reinterpret_cast<const char*>(wide.data()), wide.size() * 2));
      return;
    }
    case table::FieldType::kBinary:
    case table::FieldType::kImage:
      setBlob(vt == SQLITE_BLOB ? ValueBytes(v) : ValueText(v));
      return;
    case table::FieldType::kRaw:
    case table::FieldType::kVarBinary:
      table::WriteText(s, image, i, vt == SQLITE_BLOB ? ValueBytes(v) : ValueText(v), truncate);
      return;
    case table::FieldType::kLogical: {
      if (vt == SQLITE_INTEGER || vt == SQLITE_FLOAT) {
        table::WriteLogical(s, image, i, sqlite3_value_double(v) != 0);
        return;
      }
      std::string t = Upper(ValueText(v));
      if (t == "T" || t == "TRUE" || t == "Y" || t == "1") {
        table::WriteLogical(s, image, i, true);
      } else if (t == "F" || t == "FALSE" || t == "N" || t == "0") {
        table::WriteLogical(s, image, i, false);
      } else {
        Mismatch(d, "'" + ValueText(v) + "'");
      }
      return;
    }
    case table::FieldType::kDate: {
      std::optional<int32_t> j = ParseDate(ValueText(v));
      if (!j) {
        int32_t ms = 0, jj = 0;
        if (vt == SQLITE_TEXT && ParseTimeStamp(ValueText(v), &jj, &ms)) j = jj;
      }
      if (!j) Mismatch(d, "'" + ValueText(v) + "' (a date is written 'YYYY-MM-DD')");
      table::WriteJulian(s, image, i, *j);
      return;
    }
    case table::FieldType::kTime: {
      std::optional<int32_t> ms = ParseTime(ValueText(v));
      if (!ms) Mismatch(d, "'" + ValueText(v) + "' (a time is written 'HH:MM:SS')");
      table::WriteMilliseconds(s, image, i, *ms);
      return;
    }
    case table::FieldType::kTimeStamp:
    case table::FieldType::kModTime: {
      int32_t j = 0, ms = 0;
      if (!ParseTimeStamp(ValueText(v), &j, &ms)) {
        Mismatch(d, "'" + ValueText(v) + "' (a timestamp is written 'YYYY-MM-DD HH:MM:SS')");
      }
      table::WriteTimeStamp(s, image, i, j, ms);
      return;
    }
    default:
      break;
  }
  // The numeric kinds.
  if (vt == SQLITE_BLOB) Mismatch(d, "of binary data");
  if (vt == SQLITE_TEXT) {
    // Text that reads as a number is that number (SQLite's own affinity rule).
    std::string t = ValueText(v);
    char* end = nullptr;
    double value = std::strtod(t.c_str(), &end);
    if (t.empty() || end == t.c_str() || *end != '\0' || !std::isfinite(value)) Mismatch(d, "'" + t + "'");
    table::WriteNumber(s, image, i, value);
    return;
  }
  if (vt == SQLITE_INTEGER && d.type != table::FieldType::kMoney && d.type != table::FieldType::kNumeric &&
      d.type != table::FieldType::kDouble && d.type != table::FieldType::kCurDouble) {
    table::WriteInteger(s, image, i, sqlite3_value_int64(v));
    return;
  }
  table::WriteNumber(s, image, i, sqlite3_value_double(v));
}

}  // namespace engine::sql
