#include "engine/table/record_access.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "engine/core/byte_order.h"
#include "engine/table/dbf_field.h"
#include "engine/table/dbf_null_flags.h"

namespace engine::table {

ValueKind ValueKindOf(FieldType type) {
  switch (type) {
    case FieldType::kString:
    case FieldType::kCIString:
    case FieldType::kVarChar:
    case FieldType::kMemo:
      return ValueKind::kString;
    case FieldType::kNChar:
    case FieldType::kNVarChar:
    case FieldType::kNMemo:
      return ValueKind::kWideString;
    case FieldType::kRaw:
    case FieldType::kVarBinary:
    case FieldType::kBinary:
    case FieldType::kImage:
      return ValueKind::kBytes;
    case FieldType::kDate:
    case FieldType::kCompactDate:
      return ValueKind::kDate;
    case FieldType::kTime:
      return ValueKind::kTime;
    case FieldType::kTimeStamp:
    case FieldType::kModTime:
      return ValueKind::kTimeStamp;
    case FieldType::kLogical:
      return ValueKind::kLogical;
    default:
      return ValueKind::kNumber;
  }
}

namespace {

bool AllZero(const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (p[i] != 0) return false;
  }
  return true;
}

}  // namespace

uint16_t RecordView::usedLength(size_t i) const {
  const FieldDescriptor& d = field(i);
  if (!IsVarLengthType(d.type)) return 0;
  if (schema_->tableType() == TableType::kVfp) {
    if (NullFlagBit(*schema_, image_, d.nullBit)) return 0xFFFF;
    if (!NullFlagBit(*schema_, image_, d.varBit)) return static_cast<uint16_t>(d.size);
    // Shorter than the field: its length is in the field's last byte.
    return std::min<uint16_t>(image_[d.offset + d.size - 1], static_cast<uint16_t>(d.size - 1));
  }
  return LoadLE<uint16_t>(image_ + d.offset + d.dataSize);
}

bool RecordView::isBlank(size_t i) const {
  const FieldDescriptor& d = field(i);
  const uint8_t* p = image_ + d.offset;
  switch (d.type) {
    case FieldType::kLogical:
      return p[0] == ' ' || p[0] == '?' || p[0] == 0;
    case FieldType::kDate:
      return DbfDateJulian(p) == 0;
    case FieldType::kMemo:
    case FieldType::kBinary:
    case FieldType::kImage:
      return blob(i).block == 0;
    case FieldType::kInteger:
    case FieldType::kDouble:
    case FieldType::kMoney:
    case FieldType::kVarChar:
    case FieldType::kVarBinary:
      // Every value of these FoxPro types is a value (a short or empty text has its length).
      return false;
    case FieldType::kTimeStamp:
      return AllZero(p, d.size);
    default:
      for (uint32_t k = 0; k < d.size; ++k) {
        if (p[k] != ' ' && p[k] != 0) return false;
      }
      return true;
  }
}

bool RecordView::isNull(size_t i) const {
  const FieldDescriptor& d = field(i);
  const uint8_t* p = image_ + d.offset;
  // A nullable FoxPro field is NULL exactly when its null bit says so; another DBF field when
  // it holds its blank value.
  if (d.nullable()) return NullFlagBit(*schema_, image_, d.nullBit);
  if (schema_->dbf()) return isBlank(i);
  switch (d.type) {
    case FieldType::kLogical:
      return p[0] == ' ' || p[0] == 0;
    case FieldType::kDouble:
    case FieldType::kCurDouble:
      return LoadLE<uint32_t>(p) == 32 && LoadLE<uint32_t>(p + 4) == 0x80000000u;
    case FieldType::kInteger:
      return LoadLE<int32_t>(p) == INT32_MIN;
    case FieldType::kShortInt:
      return LoadLE<uint16_t>(p) == 0x8000;
    case FieldType::kTime:
    case FieldType::kAutoInc:
      return LoadLE<int32_t>(p) == -1;
    case FieldType::kTimeStamp:
    case FieldType::kModTime:
      return LoadLE<int32_t>(p) == 0;
    case FieldType::kMoney:
    case FieldType::kRowVersion:
      return LoadLE<int64_t>(p) == INT64_MIN;
    case FieldType::kVarChar:
    case FieldType::kVarBinary:
    case FieldType::kNVarChar:
      return usedLength(i) == 0xFFFF;
    case FieldType::kMemo:
    case FieldType::kBinary:
    case FieldType::kImage:
    case FieldType::kNMemo:
      return LoadLE<uint32_t>(p) == 0;
    default:
      return AllZero(p, d.size);
  }
}

bool RecordView::isEmpty(size_t i) const {
  if (isNull(i)) return true;
  const FieldDescriptor& d = field(i);
  if (schema_->tableType() == TableType::kVfp) {
    // FoxPro numbers have no blank form: 0 is their empty value (what emptying writes), though
    // a value and never NULL.
    if (d.type == FieldType::kInteger || d.type == FieldType::kDouble || d.type == FieldType::kMoney) {
      return AllZero(image_ + d.offset, d.size);
    }
    if (d.nullable() && d.type != FieldType::kVarChar && d.type != FieldType::kVarBinary && isBlank(i)) return true;
  }
  const uint8_t* p = image_ + d.offset;
  switch (d.type) {
    case FieldType::kString:
    case FieldType::kCIString:
      for (uint32_t k = 0; k < d.size; ++k) {
        if (p[k] != ' ' && p[k] != 0) return false;
      }
      return true;
    case FieldType::kVarChar: {
      uint16_t n = usedLength(i);
      for (uint32_t k = 0; k < n && k < d.dataSize; ++k) {
        if (p[k] != ' ') return false;
      }
      return true;
    }
    case FieldType::kVarBinary:
      return usedLength(i) == 0;
    case FieldType::kNChar:
    case FieldType::kNVarChar: {
      uint32_t chars = d.type == FieldType::kNChar ? d.size / 2 : std::min<uint32_t>(usedLength(i), d.dataSize / 2);
      for (uint32_t k = 0; k < chars; ++k) {
        uint16_t c = LoadLE<uint16_t>(p + 2 * k);
        if (c != u' ' && c != 0) return false;
      }
      return true;
    }
    case FieldType::kMemo:
    case FieldType::kBinary:
    case FieldType::kImage:
    case FieldType::kNMemo:
      return schema_->dbf() ? blob(i).block == 0 : blob(i).length == 0;
    default:
      return false;
  }
}

std::string RecordView::text(size_t i) const {
  std::string s;
  TextInto(i, &s);
  return s;
}

void RecordView::TextInto(size_t i, std::string* out) const {
  const FieldDescriptor& d = field(i);
  const char* p = reinterpret_cast<const char*>(image_ + d.offset);
  switch (d.type) {
    case FieldType::kString:
    case FieldType::kCIString:
      out->assign(p, d.size);
      std::replace(out->begin(), out->end(), '\0', ' ');
      return;
    case FieldType::kVarChar:
    case FieldType::kVarBinary: {
      uint16_t n = usedLength(i);
      if (n == 0xFFFF) {
        out->clear();
        return;
      }
      out->assign(p, std::min<uint32_t>(n, d.dataSize));
      return;
    }
    case FieldType::kLogical:
      out->assign(isNull(i) ? " " : logical(i) ? "T" : "F");
      return;
    case FieldType::kNumeric:
      if (isNull(i)) {
        out->assign(d.size, ' ');
        return;
      }
      out->assign(p, d.size);
      return;
    default:
      out->assign(p, d.size);
  }
}

std::u16string RecordView::wideText(size_t i) const {
  const FieldDescriptor& d = field(i);
  const uint8_t* p = image_ + d.offset;
  uint32_t chars = 0;
  if (d.type == FieldType::kNChar) {
    chars = d.size / 2;
  } else if (d.type == FieldType::kNVarChar) {
    uint16_t n = usedLength(i);
    if (n == 0xFFFF) return std::u16string();
    chars = std::min<uint32_t>(n, d.dataSize / 2);
  } else {
    return std::u16string();
  }
  std::u16string s(chars, u' ');
  for (uint32_t k = 0; k < chars; ++k) {
    char16_t c = static_cast<char16_t>(LoadLE<uint16_t>(p + 2 * k));
    s[k] = c == 0 ? u' ' : c;
  }
  return s;
}

double RecordView::number(size_t i) const {
  if (isNull(i)) return 0;
  const FieldDescriptor& d = field(i);
  const uint8_t* p = image_ + d.offset;
  switch (d.type) {
    case FieldType::kNumeric: {
      std::string s(reinterpret_cast<const char*>(p), d.size);
      return std::strtod(s.c_str(), nullptr);
    }
    case FieldType::kDouble:
    case FieldType::kCurDouble:
      return LoadLE<double>(p);
    case FieldType::kMoney:
      return static_cast<double>(LoadLE<int64_t>(p)) / 10000.0;
    default:
      return static_cast<double>(integer(i));
  }
}

int64_t RecordView::integer(size_t i) const {
  if (isNull(i)) return 0;
  const FieldDescriptor& d = field(i);
  const uint8_t* p = image_ + d.offset;
  switch (d.type) {
    case FieldType::kDate:
      return julian(i);
    case FieldType::kInteger:
    case FieldType::kAutoInc:
    case FieldType::kTime:
      return LoadLE<int32_t>(p);
    case FieldType::kShortInt:
      return LoadLE<int16_t>(p);
    case FieldType::kMoney:
    case FieldType::kRowVersion:
      return LoadLE<int64_t>(p);
    case FieldType::kNumeric:
    case FieldType::kDouble:
    case FieldType::kCurDouble: {
      double v = number(i);
      if (!(std::fabs(v) < 9.2e18)) return 0;
      return static_cast<int64_t>(v);
    }
    default:
      return 0;
  }
}

int32_t RecordView::julian(size_t i) const {
  if (isNull(i)) return 0;
  const FieldDescriptor& d = field(i);
  if (d.type != FieldType::kDate && d.type != FieldType::kTimeStamp && d.type != FieldType::kModTime) return 0;
  if (d.type == FieldType::kDate && d.size == kDbfDateSize) return DbfDateJulian(image_ + d.offset);
  return LoadLE<int32_t>(image_ + d.offset);
}

int32_t RecordView::milliseconds(size_t i) const {
  if (isNull(i)) return 0;
  const FieldDescriptor& d = field(i);
  const uint8_t* p = image_ + d.offset;
  if (d.type == FieldType::kTime) return LoadLE<int32_t>(p);
  if (d.type == FieldType::kTimeStamp || d.type == FieldType::kModTime) {
    int32_t ms = LoadLE<int32_t>(p + 4);
    return ms < 0 ? 0 : ms;
  }
  return 0;
}

bool RecordView::logical(size_t i) const {
  const FieldDescriptor& d = field(i);
  if (d.type != FieldType::kLogical) return false;
  uint8_t c = image_[d.offset];
  return c == '1' || c == 'T' || c == 'Y' || c == 't' || c == 'y';
}

BlobRef RecordView::blob(size_t i) const {
  const FieldDescriptor& d = field(i);
  if (!IsBlobType(d.type)) return {};
  const uint8_t* p = image_ + d.offset;
  // A DBF reference holds only the first block; the memo file knows the length.
  if (schema_->tableType() == TableType::kVfp) return BlobRef{LoadLE<uint32_t>(p), 0};
  if (d.size == kDbfMemoRefSize) return BlobRef{DbfMemoBlock(p), 0};
  return BlobRef{LoadLE<uint32_t>(p), LoadLE<uint32_t>(p + 4)};
}

}  // namespace engine::table
