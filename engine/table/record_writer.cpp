#include "engine/table/record_writer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/core/error.h"
#include "engine/core/byte_order.h"
#include "engine/table/dbf_field.h"
#include "engine/table/dbf_null_flags.h"

namespace engine::table {

namespace {

[[noreturn]] void Mismatch(const FieldDescriptor& d, const char* what) {
  Fail(err::kFieldTypeMismatch, std::string("Field \"") + d.name + "\" of type " + std::string(TypeWordOf(d.type)) +
                                    " cannot take " + what + ".");
}

[[noreturn]] void TooBig(const FieldDescriptor& d) {
  Fail(err::kValueDoesNotFit, "The value does not fit field \"" + d.name + "\".");
}

bool Vfp(const Schema& schema) { return schema.tableType() == TableType::kVfp; }

void StoreVarLength(uint8_t* image, const FieldDescriptor& d, uint16_t n) {
  StoreLE<uint16_t>(image + d.offset + d.dataSize, n);
}

// A value was written into field d of a FoxPro-compatible table: it is no longer NULL.
void MarkValue(const Schema& schema, uint8_t* image, const FieldDescriptor& d) {
  if (d.nullBit >= 0) SetNullFlagBit(schema, image, d.nullBit, false);
}

// FoxPro VarChar and VarBinary: `text` (at most the field's size) and its length. A value
// shorter than the field is padded (blanks, zero bytes for VarBinary), its length goes into
// the field's last byte and the variable-length bit is set; a full value clears the bit.
void WriteVfpVarValue(const Schema& schema, uint8_t* image, const FieldDescriptor& d, std::string_view text) {
  uint8_t* p = image + d.offset;
  std::memset(p, d.type == FieldType::kVarBinary ? 0 : ' ', d.size);
  if (!text.empty()) std::memcpy(p, text.data(), text.size());
  const bool shorter = text.size() < d.size;
  if (shorter) p[d.size - 1] = static_cast<uint8_t>(text.size());
  SetNullFlagBit(schema, image, d.varBit, shorter);
}

// The blank value of field d of a FoxPro-compatible table: blanks for the text types, zero
// bytes for the binary ones, an empty VarChar or VarBinary.
void WriteVfpBlank(const Schema& schema, uint8_t* image, const FieldDescriptor& d) {
  uint8_t* p = image + d.offset;
  switch (d.type) {
    case FieldType::kString:
    case FieldType::kNumeric:
    case FieldType::kDate:
    case FieldType::kLogical:
      std::memset(p, ' ', d.size);
      return;
    case FieldType::kVarChar:
    case FieldType::kVarBinary:
      WriteVfpVarValue(schema, image, d, std::string_view());
      return;
    default:
      std::memset(p, 0, d.size);
  }
}

bool IntegerKind(FieldType t) {
  return t == FieldType::kInteger || t == FieldType::kShortInt || t == FieldType::kAutoInc ||
         t == FieldType::kRowVersion || t == FieldType::kMoney;
}

// Number text right-aligned in `width` characters with `decimals` digits after ".".
bool FormatNumeric(double value, uint32_t width, uint16_t decimals, uint8_t* out) {
  if (!std::isfinite(value)) return false;
  // The digits printf's "%.*f" gives, without its cost: a number is written for every record.
  char buf[400];
  std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
  if (r.ec != std::errc()) return false;
  const char* text = buf;
  size_t n = static_cast<size_t>(r.ptr - buf);
  // A negative number that rounds to zero is written without its sign.
  if (n > 1 && text[0] == '-' && std::all_of(text + 1, text + n, [](char c) { return c == '0' || c == '.'; })) {
    ++text;
    --n;
  }
  if (n > width) return false;
  std::memset(out, ' ', width - n);
  std::memcpy(out + (width - n), text, n);
  return true;
}

}  // namespace

void WriteNull(const Schema& schema, uint8_t* image, size_t i) {
  const FieldDescriptor& d = schema.fields().at(i);
  uint8_t* p = image + d.offset;
  if (Vfp(schema)) {
    WriteVfpBlank(schema, image, d);
    if (d.nullBit >= 0) SetNullFlagBit(schema, image, d.nullBit, true);
    return;
  }
  if (schema.dbf()) {
    // Every DBF field is text, and blanks are its empty value (a memo reference included).
    std::memset(p, ' ', d.size);
    return;
  }
  switch (d.type) {
    case FieldType::kLogical:
      p[0] = ' ';
      break;
    case FieldType::kDouble:
    case FieldType::kCurDouble:
      StoreLE<uint32_t>(p, 32);
      StoreLE<uint32_t>(p + 4, 0x80000000u);
      break;
    case FieldType::kInteger:
      StoreLE<int32_t>(p, INT32_MIN);
      break;
    case FieldType::kShortInt:
      StoreLE<uint16_t>(p, 0x8000);
      break;
    case FieldType::kTime:
    case FieldType::kAutoInc:
      StoreLE<int32_t>(p, -1);
      break;
    case FieldType::kTimeStamp:
    case FieldType::kModTime:
      StoreLE<int32_t>(p, 0);
      StoreLE<int32_t>(p + 4, -1);
      break;
    case FieldType::kMoney:
    case FieldType::kRowVersion:
      StoreLE<int64_t>(p, INT64_MIN);
      break;
    case FieldType::kVarChar:
    case FieldType::kVarBinary:
    case FieldType::kNVarChar:
      std::memset(p, 0, d.dataSize);
      StoreVarLength(image, d, 0xFFFF);
      break;
    default:
      std::memset(p, 0, d.size);
  }
}

void WriteEmpty(const Schema& schema, uint8_t* image, size_t i) {
  if (!Vfp(schema)) return WriteNull(schema, image, i);
  const FieldDescriptor& d = schema.fields().at(i);
  WriteVfpBlank(schema, image, d);
  MarkValue(schema, image, d);
}

void WriteEmptyRecord(const Schema& schema, uint8_t* image) {
  image[0] = kLiveFlag;
  if (schema.nullFlagsSize() > 0) std::memset(image + schema.nullFlagsOffset(), 0, schema.nullFlagsSize());
  for (size_t i = 0; i < schema.fieldCount(); ++i) WriteNull(schema, image, i);
}

void WriteText(const Schema& schema, uint8_t* image, size_t i, std::string_view text, bool truncate) {
  const FieldDescriptor& d = schema.fields().at(i);
  uint8_t* p = image + d.offset;
  switch (d.type) {
    case FieldType::kString:
    case FieldType::kCIString:
    case FieldType::kRaw: {
      if (text.size() > d.size) {
        if (!truncate) TooBig(d);
        text = text.substr(0, d.size);
      }
      std::memset(p, d.type == FieldType::kRaw ? 0 : ' ', d.size);
      if (!text.empty()) std::memcpy(p, text.data(), text.size());  // an empty text may have no data
      MarkValue(schema, image, d);
      return;
    }
    case FieldType::kVarChar:
    case FieldType::kVarBinary: {
      if (text.size() > d.dataSize) {
        if (!truncate) TooBig(d);
        text = text.substr(0, d.dataSize);
      }
      if (Vfp(schema)) {
        WriteVfpVarValue(schema, image, d, text);
        MarkValue(schema, image, d);
        return;
      }
      std::memset(p, 0, d.dataSize);
      if (!text.empty()) std::memcpy(p, text.data(), text.size());
      StoreVarLength(image, d, static_cast<uint16_t>(text.size()));
      return;
    }
    case FieldType::kNumeric: {
      std::string t(text);
      while (!t.empty() && t.back() == ' ') t.pop_back();
      size_t start = t.find_first_not_of(' ');
      if (start == std::string::npos) {
        WriteNull(schema, image, i);
        return;
      }
      t.erase(0, start);
      char* end = nullptr;
      double v = std::strtod(t.c_str(), &end);
      if (end == t.c_str() || *end != 0) Mismatch(d, "text that is not a number");
      WriteNumber(schema, image, i, v);
      return;
    }
    case FieldType::kLogical: {
      std::string_view t = text;
      while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
      if (t.empty()) {
        WriteNull(schema, image, i);
        return;
      }
      char c = t[0];
      if (c == 'T' || c == 't' || c == 'Y' || c == 'y' || c == '1') {
        p[0] = 'T';
      } else if (c == 'F' || c == 'f' || c == 'N' || c == 'n' || c == '0') {
        p[0] = 'F';
      } else {
        Mismatch(d, "text that is not a logical value");
      }
      MarkValue(schema, image, d);
      return;
    }
    default:
      Mismatch(d, "text");
  }
}

void WriteWideText(const Schema& schema, uint8_t* image, size_t i, std::u16string_view text, bool truncate) {
  const FieldDescriptor& d = schema.fields().at(i);
  uint8_t* p = image + d.offset;
  uint32_t capacity = d.dataSize / 2;
  if (d.type != FieldType::kNChar && d.type != FieldType::kNVarChar) Mismatch(d, "UTF-16 text");
  if (text.size() > capacity) {
    if (!truncate) TooBig(d);
    text = text.substr(0, capacity);
  }
  for (uint32_t k = 0; k < capacity; ++k) {
    char16_t c = k < text.size() ? text[k] : (d.type == FieldType::kNChar ? u' ' : 0);
    StoreLE<uint16_t>(p + 2 * k, static_cast<uint16_t>(c));
  }
  if (d.type == FieldType::kNVarChar) StoreVarLength(image, d, static_cast<uint16_t>(text.size()));
}

void WriteNumber(const Schema& schema, uint8_t* image, size_t i, double value) {
  const FieldDescriptor& d = schema.fields().at(i);
  uint8_t* p = image + d.offset;
  switch (d.type) {
    case FieldType::kNumeric: {
      if (!FormatNumeric(value, d.size, d.decimals, p)) TooBig(d);
      MarkValue(schema, image, d);
      return;
    }
    case FieldType::kDouble:
    case FieldType::kCurDouble:
      if (std::isnan(value)) TooBig(d);
      StoreLE<double>(p, value);
      MarkValue(schema, image, d);
      return;
    case FieldType::kMoney: {
      double scaled = std::round(value * 10000.0);
      if (!(std::fabs(scaled) < 9.2e18)) TooBig(d);
      StoreLE<int64_t>(p, static_cast<int64_t>(scaled));
      MarkValue(schema, image, d);
      return;
    }
    default:
      if (!IntegerKind(d.type)) Mismatch(d, "a number");
      double r = std::round(value);
      if (!(std::fabs(r) < 9.2e18)) TooBig(d);
      WriteInteger(schema, image, i, static_cast<int64_t>(r));
  }
}

void WriteInteger(const Schema& schema, uint8_t* image, size_t i, int64_t value) {
  const FieldDescriptor& d = schema.fields().at(i);
  uint8_t* p = image + d.offset;
  switch (d.type) {
    case FieldType::kInteger:
    case FieldType::kAutoInc:
      // The smallest value is the null encoding of native Integer and -1 that of AutoInc;
      // FoxPro integers keep NULL in the null flags and take every 32-bit value.
      if (value < INT32_MIN || value > INT32_MAX || (value == INT32_MIN && !Vfp(schema)) ||
          (d.type == FieldType::kAutoInc && value < 0)) {
        TooBig(d);
      }
      StoreLE<int32_t>(p, static_cast<int32_t>(value));
      MarkValue(schema, image, d);
      return;
    case FieldType::kShortInt:
      if (value < -32767 || value > 32767) TooBig(d);
      StoreLE<int16_t>(p, static_cast<int16_t>(value));
      return;
    case FieldType::kMoney:
    case FieldType::kRowVersion:
      if (value == INT64_MIN && !Vfp(schema)) TooBig(d);
      StoreLE<int64_t>(p, value);
      MarkValue(schema, image, d);
      return;
    case FieldType::kNumeric:
    case FieldType::kDouble:
    case FieldType::kCurDouble:
      WriteNumber(schema, image, i, static_cast<double>(value));
      return;
    default:
      Mismatch(d, "a number");
  }
}

void WriteJulian(const Schema& schema, uint8_t* image, size_t i, int32_t julian) {
  const FieldDescriptor& d = schema.fields().at(i);
  uint8_t* p = image + d.offset;
  if (julian < 0) TooBig(d);
  switch (d.type) {
    case FieldType::kDate:
      if (d.size == kDbfDateSize) {
        std::string text = DbfDateText(julian);
        if (julian != 0 && text[0] == ' ') TooBig(d);
        std::memcpy(p, text.data(), kDbfDateSize);
        MarkValue(schema, image, d);
        return;
      }
      StoreLE<int32_t>(p, julian);
      return;
    case FieldType::kTimeStamp:
    case FieldType::kModTime: {
      if (Vfp(schema)) {
        // The empty FoxPro datetime is 8 zero bytes.
        StoreLE<int32_t>(p, julian);
        if (julian == 0) StoreLE<int32_t>(p + 4, 0);
        MarkValue(schema, image, d);
        return;
      }
      int32_t ms = LoadLE<int32_t>(p + 4);
      StoreLE<int32_t>(p, julian);
      if (julian == 0) {
        StoreLE<int32_t>(p + 4, -1);
      } else if (ms < 0) {
        StoreLE<int32_t>(p + 4, 0);
      }
      return;
    }
    default:
      Mismatch(d, "a date");
  }
}

void WriteMilliseconds(const Schema& schema, uint8_t* image, size_t i, int32_t ms) {
  const FieldDescriptor& d = schema.fields().at(i);
  uint8_t* p = image + d.offset;
  if (ms < 0 || ms >= 86400000) TooBig(d);
  switch (d.type) {
    case FieldType::kTime:
      StoreLE<int32_t>(p, ms);
      return;
    case FieldType::kTimeStamp:
    case FieldType::kModTime:
      StoreLE<int32_t>(p + 4, ms);
      MarkValue(schema, image, d);
      return;
    default:
      Mismatch(d, "a time");
  }
}

void WriteTimeStamp(const Schema& schema, uint8_t* image, size_t i, int32_t julian, int32_t ms) {
  const FieldDescriptor& d = schema.fields().at(i);
  if (d.type != FieldType::kTimeStamp && d.type != FieldType::kModTime) Mismatch(d, "a timestamp");
  if (julian <= 0 || ms < 0 || ms >= 86400000) TooBig(d);
  StoreLE<int32_t>(image + d.offset, julian);
  StoreLE<int32_t>(image + d.offset + 4, ms);
  MarkValue(schema, image, d);
}

void WriteLogical(const Schema& schema, uint8_t* image, size_t i, bool value) {
  const FieldDescriptor& d = schema.fields().at(i);
  if (d.type != FieldType::kLogical) Mismatch(d, "a logical value");
  image[d.offset] = value ? 'T' : 'F';
  MarkValue(schema, image, d);
}

void WriteBlobRef(const Schema& schema, uint8_t* image, size_t i, BlobRef ref) {
  const FieldDescriptor& d = schema.fields().at(i);
  if (!IsBlobType(d.type)) Mismatch(d, "a blob");
  if (Vfp(schema)) {
    StoreLE<uint32_t>(image + d.offset, ref.block);
    MarkValue(schema, image, d);
    return;
  }
  if (d.size == kDbfMemoRefSize) {
    WriteDbfMemoBlock(image + d.offset, ref.block);
    return;
  }
  StoreLE<uint32_t>(image + d.offset, ref.block);
  StoreLE<uint32_t>(image + d.offset + 4, ref.length);
}

void WriteRaw(const Schema& schema, uint8_t* image, size_t i, const uint8_t* bytes, size_t size) {
  const FieldDescriptor& d = schema.fields().at(i);
  if (size > d.size) TooBig(d);
  if (size != 0) std::memcpy(image + d.offset, bytes, size);
  MarkValue(schema, image, d);
}

void CopyFieldValue(const Schema& schema, uint8_t* to, const uint8_t* from, size_t i) {
  const FieldDescriptor& d = schema.fields().at(i);
  std::memcpy(to + d.offset, from + d.offset, d.size);
  SetNullFlagBit(schema, to, d.nullBit, NullFlagBit(schema, from, d.nullBit));
  SetNullFlagBit(schema, to, d.varBit, NullFlagBit(schema, from, d.varBit));
}

}  // namespace engine::table
