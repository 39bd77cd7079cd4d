// TAdsDataSet: which buffer field access reads, and the byte rules that turn a field of a raw
// record image into "no value" or into the field's value form, for native, FoxPro and DBF
// record layouts.
#include <cmath>
#include <cstring>
#include <string>

#include "ads/adsdata.h"
#include "ads/adsdata/adsdata_internal.h"
#include "runtime/data/bcd.h"

using adsdata::FieldArg;
using adsdata::ReadI16;
using adsdata::ReadI32;
using adsdata::ReadI64;
using adsdata::ReadU16;
using adsdata::ReadU32;
using adsdata::Write;

namespace {

bool AllBytesAre(const uint8_t* p, uint32_t n, uint8_t a) {
  for (uint32_t i = 0; i < n; ++i)
    if (p[i] != a) return false;
  return true;
}

bool AllBytesZeroOrBlank(const uint8_t* p, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i)
    if (p[i] != 0 && p[i] != ' ') return false;
  return true;
}

// Copies n bytes as NUL-terminated 8-bit text with trailing blanks removed.
void CopyTrimmedText(const uint8_t* src, uint32_t n, void* value) {
  auto* out = static_cast<char*>(value);
  std::memcpy(out, src, n);
  out[n] = 0;
  int end = static_cast<int>(n);
  while (end > 0 && out[end - 1] == ' ') --end;
  out[end] = 0;
}

// Copies n UTF-16 characters, NUL-terminated, with trailing U+0020 removed.
void CopyTrimmedWide(const uint8_t* src, uint32_t n, void* value) {
  auto* out = static_cast<char16_t*>(value);
  std::memcpy(out, src, n * 2);
  out[n] = 0;
  int end = static_cast<int>(n);
  while (end > 0 && out[end - 1] == u' ') --end;
  out[end] = 0;
}


// ---- empty-field rules, one per record layout ------------------------------------------------

// Native tables mark an empty field with a per-type sentinel.
bool IsNativeFieldEmpty(uint16_t t, const uint8_t* raw, uint32_t length) {
  switch (t) {
    case ADS_LOGICAL:
      return raw[0] == ' ';
    case ADS_NUMERIC: case ADS_DATE: case ADS_STRING: case ADS_COMPACTDATE: case ADS_RAW: case ADS_CISTRING: case ADS_NCHAR:
      return AllBytesAre(raw, length, 0);
    case ADS_MEMO: case ADS_BINARY: case ADS_IMAGE: case ADS_VARCHAR: case ADS_NMEMO:
      return ReadU32(raw) == 0;
    case ADS_DOUBLE: case ADS_CURDOUBLE:
      return ReadU32(raw) == 32u && ReadI32(raw + 4) == INT32_MIN;
    case ADS_INTEGER:
      return ReadI32(raw) == INT32_MIN;
    case ADS_SHORTINT:
      return ReadU16(raw) == 0x8000u;
    case ADS_TIME: case ADS_AUTOINC:
      return ReadI32(raw) == -1;
    case ADS_TIMESTAMP: case ADS_MODTIME:
      return ReadI32(raw) == 0;
    case ADS_MONEY: case ADS_ROWVERSION:
      return ReadI32(raw + 4) == INT32_MIN && ReadU32(raw) == 0;
    case ADS_VARCHAR_FOX: case ADS_VARBINARY_FOX: case ADS_NVARCHAR:
      return ReadU16(raw + length) == 0xFFFFu;
    default:
      return true;
  }
}

// FoxPro tables: the bytes alone (the null flag is asked separately).
bool IsFoxProBytesEmpty(uint16_t t, const uint8_t* raw, uint32_t length) {
  switch (t) {
    case ADS_LOGICAL: case ADS_NUMERIC: case ADS_DATE:
      return AllBytesAre(raw, length, ' ');
    case ADS_MEMO: case ADS_BINARY: case ADS_IMAGE: case ADS_TIMESTAMP: case ADS_NMEMO:
      return ReadU32(raw) == 0;
    case ADS_NVARCHAR:
      return ReadU16(raw + length) == 0xFFFFu;
    default:
      return false;
  }
}

// DBF tables: blank or zero bytes.
bool IsDbfFieldEmpty(uint16_t t, const uint8_t* raw, uint32_t length) {
  switch (t) {
    case ADS_LOGICAL: case ADS_NUMERIC: case ADS_STRING:
      return AllBytesZeroOrBlank(raw, length);
    case ADS_DATE:
      return length == 4 ? ReadI32(raw) == 0 : AllBytesZeroOrBlank(raw, length);
    case ADS_MEMO: case ADS_BINARY: case ADS_IMAGE: case ADS_VARCHAR: case ADS_NMEMO:
      return ReadU32(raw) == 0;
    case ADS_COMPACTDATE:
      return AllBytesAre(raw, length, 0);
    case ADS_DOUBLE: case ADS_INTEGER: case ADS_SHORTINT: case ADS_CURDOUBLE:
      return false;
    case ADS_NCHAR:
      return AllBytesZeroOrBlank(raw, length / 2);
    case ADS_NVARCHAR:
      return ReadU16(raw + length) == 0xFFFFu;
    default:
      return true;
  }
}

// ---- value conversion, one step per kind of field --------------------------------------------

void ReadLogical(const uint8_t* raw, void* value) {
  const uint8_t c = raw[0];
  const bool truth = c == '1' || c == 'T' || c == 'Y' || c == 't' || c == 'y';
  Write<int16_t>(value, truth ? int16_t(-1) : int16_t(0));
}

// Numbers stored as text, in the value form the field was described with. A number that does
// not parse leaves the value as it was; the field reads its old value.
void ReadNumericText(const TField* field, const uint8_t* raw, uint32_t length, void* value) {
  // The text ends at the field's end or at a NUL inside it.
  qsizetype n = 0;
  while (n < static_cast<qsizetype>(length) && raw[n] != 0) ++n;
  const QString text = QString::fromLatin1(reinterpret_cast<const char*>(raw), n);
  switch (field->DataType()) {
    case ftSmallint: {
      bool ok = false;
      const int v = text.trimmed().toInt(&ok);
      if (ok && v >= INT16_MIN && v <= INT16_MAX) Write<int16_t>(value, static_cast<int16_t>(v));
      return;
    }
    case ftBCD:
    case ftFMTBcd: {
      TBcd bcd;
      if (TryStrToBcd(text, bcd, QLatin1Char('.'))) std::memcpy(value, &bcd, sizeof bcd);
      return;
    }
    default: {
      bool ok = false;
      const double v = text.trimmed().toDouble(&ok);
      if (ok) Write<double>(value, v);
      return;
    }
  }
}

// The first `length` bytes of date text in the engine's date format, as the framework's day
// number.
void WriteDayOfDateText(TAdsDataSet* ds, std::string text, uint32_t length, void* value) {
  DOUBLE julian = 0;
  CheckAceResult(ds, AdsConvertStringToJulian(reinterpret_cast<UNSIGNED8*>(text.data()),
                                              static_cast<UNSIGNED16>(length), &julian));
  Write<int32_t>(value, static_cast<int32_t>(std::trunc(julian - adsdata::kJulianOffset)));
}

// A date: a 4-byte day number, or date text.
void ReadDate(TAdsDataSet* ds, const uint8_t* raw, uint32_t length, void* value) {
  if (length == 4) {
    Write<int32_t>(value, ReadI32(raw) - adsdata::kJulianOffset);
    return;
  }
  WriteDayOfDateText(ds, std::string(reinterpret_cast<const char*>(raw), length), length, value);
}

// A compact date: year x 512 + month x 32 + day in 3 bytes, most significant first.
void ReadCompactDate(TAdsDataSet* ds, const uint8_t* raw, void* value) {
  const uint32_t packed = (uint32_t(raw[0]) << 16) | (uint32_t(raw[1]) << 8) | uint32_t(raw[2]);
  const unsigned year = packed >> 9;
  const unsigned month = (packed >> 5) & 15u;
  const unsigned day = packed & 31u;
  WriteDayOfDateText(ds,
                     QStringLiteral("%1%2%3")
                         .arg(year, 4, 10, QLatin1Char('0'))
                         .arg(month, 2, 10, QLatin1Char('0'))
                         .arg(day, 2, 10, QLatin1Char('0'))
                         .toStdString(),
                     8, value);
}

// Day number and milliseconds as the framework's milliseconds; FoxPro keeps whole seconds.
void ReadTimeStamp(const uint8_t* raw, void* value, bool foxPro) {
  const int32_t d = ReadI32(raw);
  int64_t m = ReadI32(raw + 4);
  if (foxPro) m = (m + 500) / 1000 * 1000;
  double v = static_cast<double>(int64_t(d) - adsdata::kJulianOffset) * 86400000.0 + static_cast<double>(m);
  if (v < 0) v = 0;
  Write<double>(value, v);
}

// Money: a 64-bit integer with four implied decimals.
void ReadMoney(const uint8_t* raw, void* value) {
  TBcd scaled = Int64ToBcd(ReadI64(raw), 4);
  TBcd out;
  if (!NormalizeBcd(scaled, out, 20, 4)) out = scaled;
  std::memcpy(value, &out, sizeof out);
}

void ReadRowVersion(const uint8_t* raw, void* value) {
  const TBcd bcd = StrToBcd(QString::number(ReadI64(raw)));
  std::memcpy(value, &bcd, sizeof bcd);
}

// The used length of a variable field: native tables store it after the field; FoxPro tables
// store it in the field's last byte unless the full-length flag is set.
uint32_t UsedLengthOfVarField(TAdsDataSet* ds, const TACEFieldDef& def, const uint8_t* record, uint16_t tableType) {
  const uint8_t* raw = record + def.Offset();
  const uint32_t length = def.Length();
  uint32_t used = length;
  if (tableType == kAceTypeADT) {
    used = ReadU16(raw + length);
  } else if (tableType == kAceTypeVFP) {
    UNSIGNED16 full = 0;
    CheckAceResult(ds, AdsAccessVfpSystemField(ds->Handle(), FieldArg(def.FieldNumber()),
                                               const_cast<uint8_t*>(record), 4, &full));
    used = (full != 0 || length == 0) ? length : raw[length - 1];
  }
  // A stored length beyond the field is damage; the value is cut to the field.
  return used > length ? length : used;
}

// Variable character text, or variable bytes behind their 16-bit count.
void ReadVarField(TAdsDataSet* ds, const TACEFieldDef& def, const uint8_t* record, void* value, uint16_t tableType) {
  const uint8_t* raw = record + def.Offset();
  const uint32_t length = def.Length();
  std::memset(value, 0, length);
  const uint32_t used = UsedLengthOfVarField(ds, def, record, tableType);
  if (def.FieldType() == ADS_VARBINARY_FOX) {
    Write<uint16_t>(value, static_cast<uint16_t>(used));
    std::memcpy(static_cast<char*>(value) + 2, raw, used);
  } else {
    CopyTrimmedText(raw, used, value);
  }
}

// National variable text: its character count follows the field.
void ReadNVarChar(const uint8_t* raw, uint32_t length, void* value) {
  std::memset(value, 0, length);
  uint32_t chars = ReadU16(raw + length);
  if (chars > length / 2) chars = length / 2;
  CopyTrimmedWide(raw, chars, value);
}

}  // namespace

TRecordBuffer TAdsDataSet::ActiveRecordBuffer() {
  switch (State()) {
    case dsBrowse:
    case dsBlockRead:
      return FActiveRecord < FRecordCount ? ActiveBuffer() : nullptr;
    case dsEdit:
    case dsInsert:
    case dsNewValue:
      return ActiveBuffer();
    case dsSetKey:
      // The record image inside the key buffer being edited, after its fixed fields.
      return mpstKeyBuffer == nullptr ? nullptr : mpstKeyBuffer + kKeyBufferHeaderSize;
    case dsCalcFields:
      return FCalcBuffer;
    case dsFilter:
      return mpFilterBuffer;
    case dsOldValue:
      return FOldRecordBuffer;
    default:
      return nullptr;
  }
}

bool TAdsDataSet::GetFieldData(TField* field, void* value) {
  TRecordBuffer buffer = ActiveRecordBuffer();
  if (buffer == nullptr || field == nullptr) return false;
  if (field->FieldNo() > 0) {
    if (field->FieldNo() > FACEFieldDefs->Count()) return false;
    const TACEFieldDef& def = *FACEFieldDefs->Items(field->FieldNo() - 1);
    // A description that reaches past the record (with the 16-bit length of variable fields)
    // is not read from: the bytes there belong to other regions of the buffer.
    const uint16_t t = def.FieldType();
    // FoxPro tables keep a variable field's length inside the field.
    const bool lengthWord = t == ADS_NVARCHAR || (musAceTableType != kAceTypeVFP && (t == ADS_VARCHAR_FOX || t == ADS_VARBINARY_FOX));
    const uint32_t extent = def.Offset() + def.Length() + (lengthWord ? 2u : 0u);
    if (extent > musRecordSize) return false;
    const auto* record = reinterpret_cast<const uint8_t*>(buffer);
    // A blob changed in the edit lives in its cache until the post: its size decides.
    bool empty = false;
    TAdsBlobCache* cache = nullptr;
    const TDataSetState s = State();
    if ((s == dsEdit || s == dsInsert) && adsdata::IsBlobEngineType(t) && field->IsBlob())
      cache = BlobCacheOf(buffer, field->Offset());
    if (cache != nullptr && cache->IsCacheModified())
      empty = cache->Size() == 0;
    else
      empty = IsFieldEmpty(record + def.Offset(), def.Length(), def, record, musAceTableType);
    if (!empty && value != nullptr) ConvertFieldValue(field, def, record, value, musAceTableType);
    return !empty;
  }
  const TDataSetState s = State();
  if (s != dsBrowse && s != dsEdit && s != dsInsert && s != dsCalcFields && s != dsFilter) return false;
  const char* slot = buffer + musRecordSize + field->Offset();
  const bool hasValue = slot[0] != 0;
  if (hasValue && value != nullptr) std::memcpy(value, slot + 1, static_cast<size_t>(field->DataSize()));
  return hasValue;
}

bool TAdsDataSet::IsFieldEmpty(const uint8_t* raw, uint32_t length, const TACEFieldDef& field, const uint8_t* record,
                               uint16_t tableType) {
  const uint16_t t = field.FieldType();
  if (tableType == kAceTypeADT) return IsNativeFieldEmpty(t, raw, length);
  if (tableType != kAceTypeVFP) return IsDbfFieldEmpty(t, raw, length);
  if (IsFoxProBytesEmpty(t, raw, length)) return true;
  if (!field.Nullable()) return false;
  UNSIGNED16 isNull = 0;
  CheckAceResult(this, AdsAccessVfpSystemField(mlHandle, FieldArg(field.FieldNumber()),
                                               const_cast<uint8_t*>(record), 1, &isNull));
  return isNull != 0;
}

void TAdsDataSet::ConvertFieldValue(TField* field, const TACEFieldDef& def, const uint8_t* record, void* value,
                                    uint16_t tableType) {
  const uint8_t* raw = record + def.Offset();
  const uint32_t length = def.Length();
  switch (def.FieldType()) {
    case ADS_LOGICAL:
      ReadLogical(raw, value);
      return;
    case ADS_NUMERIC:
      ReadNumericText(field, raw, length, value);
      return;
    case ADS_DATE:
      ReadDate(this, raw, length, value);
      return;
    case ADS_STRING:
    case ADS_CISTRING:
      CopyTrimmedText(raw, length, value);
      return;
    case ADS_COMPACTDATE:
      ReadCompactDate(this, raw, value);
      return;
    case ADS_DOUBLE:
    case ADS_CURDOUBLE:
      std::memcpy(value, raw, 8);
      return;
    case ADS_INTEGER:
    case ADS_TIME:
    case ADS_AUTOINC:
      Write<int32_t>(value, ReadI32(raw));
      return;
    case ADS_SHORTINT:
      Write<int16_t>(value, ReadI16(raw));
      return;
    case ADS_TIMESTAMP:
    case ADS_MODTIME:
      ReadTimeStamp(raw, value, tableType == kAceTypeVFP);
      return;
    case ADS_RAW:
      std::memcpy(value, raw, length);
      return;
    case ADS_MONEY:
      ReadMoney(raw, value);
      return;
    case ADS_ROWVERSION:
      ReadRowVersion(raw, value);
      return;
    case ADS_VARCHAR_FOX:
    case ADS_VARBINARY_FOX:
      ReadVarField(this, def, record, value, tableType);
      return;
    case ADS_NCHAR:
      CopyTrimmedWide(raw, length / 2, value);
      return;
    case ADS_NVARCHAR:
      ReadNVarChar(raw, length, value);
      return;
    default:
      // Blobs are read through blob streams.
      return;
  }
}
