// TAdsDataSet: writing a field's value form into a record image in the engine's layout, the
// reverse of the byte rules in field_values.cpp. Record buffers being edited and the record
// images of key buffers are both written here, so a value is laid out exactly as the engine
// stores it: the post sends the bytes on, and a key search builds the order's key from them.
//
// Numbers of the engine's numeric-text type are written as right-aligned fixed-point text; a
// value whose text does not fit the field is refused ("Numeric out of range.") rather than cut.
#include <cmath>
#include <cstring>
#include <string>

#include "ads/ace.h"
#include "ads/adsdata.h"
#include "ads/adsdata/adsdata_internal.h"
#include "runtime/data/bcd.h"

using adsdata::FieldArg;
using adsdata::Write;

namespace {
constexpr double kMsPerDay = 86400000.0;
constexpr uint16_t kFullLengthFlag = 0xFFFF;  // -1 as the engine's 16-bit flag
// Options of the engine's access to FoxPro system fields.
constexpr UNSIGNED32 kVfpNullFlag = 2;
constexpr UNSIGNED32 kVfpFullLength = 3;

void FillWideBlanks(uint8_t* raw, uint32_t bytes) {
  for (uint32_t i = 0; i + 1 < bytes; i += 2) {
    raw[i] = ' ';
    raw[i + 1] = 0;
  }
}

bool IsVarLength(uint16_t t) { return t == ADS_VARCHAR_FOX || t == ADS_VARBINARY_FOX || t == ADS_NVARCHAR; }

// The right-aligned text of a number for an engine numeric-text field of `length` bytes with
// `decimals` decimals, from the value form of `type`; ASCII, '.' as the separator.
std::string NumericFieldText(TFieldType type, const void* value, uint32_t length, uint16_t decimals, bool& bcdForm) {
  const int len = static_cast<int>(length);
  bcdForm = false;
  switch (type) {
    case ftSmallint: {
      int16_t v;
      std::memcpy(&v, value, sizeof v);
      return std::to_string(v);
    }
    case ftBCD:
    case ftFMTBcd: {
      TBcd bcd;
      std::memcpy(&bcd, value, sizeof bcd);
      bcdForm = true;
      return decimals > 0 ? BcdToAsciiFixed(bcd, len - 2, decimals) : BcdToAsciiFixed(bcd, len - 1, 0);
    }
    default: {
      double v = 0;
      if (type == ftInteger || type == ftAutoInc) {
        int32_t i;
        std::memcpy(&i, value, sizeof i);
        v = i;
      } else {
        std::memcpy(&v, value, sizeof v);
      }
      TBcd bcd;
      // Not a number at all: a text that no field holds.
      if (!TryDoubleToBcd(v, bcd)) return "E";
      return decimals > 0 ? BcdToAsciiFixed(bcd, len - 1, decimals) : BcdToAsciiFixed(bcd, len, 0);
    }
  }
}

}  // namespace

void TAdsDataSet::WriteFieldValue(uint16_t fieldNumber, TFieldType type, const void* value, TRecordBuffer record) {
  if (fieldNumber == 0 || fieldNumber > FACEFieldDefs->Count())
    RaiseComponentError(QStringLiteral("Internal Error: field number %1 out of range").arg(fieldNumber));
  const TACEFieldDef& def = *FACEFieldDefs->Items(fieldNumber - 1);
  auto* raw = reinterpret_cast<uint8_t*>(record) + def.Offset();
  const uint32_t length = def.Length();
  const uint16_t t = def.FieldType();
  const bool native = musAceTableType == kAceTypeADT;
  const bool foxPro = musAceTableType == kAceTypeVFP;
  // The 16-bit used length follows the variable fields of native records, and the national
  // variable strings of the others.
  const bool hasLengthWord = native ? IsVarLength(t) : t == ADS_NVARCHAR;
  if (def.Offset() + length + (hasLengthWord ? 2u : 0u) > musRecordSize)
    RaiseComponentError(QStringLiteral("Internal Error: field %1 reaches past the record").arg(def.FieldName()));

  // FoxPro tables keep a null flag per nullable field in a hidden field of the record.
  auto setFoxProNull = [&](bool isNull) {
    if (!foxPro || !def.Nullable()) return;
    UNSIGNED16 flag = isNull ? kFullLengthFlag : 0;
    CheckAceResult(this, AdsAccessVfpSystemField(mlHandle, FieldArg(fieldNumber), record, kVfpNullFlag, &flag));
  };

  if (value == nullptr) {
    if (native) {
      switch (t) {
        case ADS_LOGICAL: raw[0] = ' '; return;
        case ADS_DOUBLE: case ADS_CURDOUBLE: Write<int32_t>(raw, 32); Write<int32_t>(raw + 4, INT32_MIN); return;
        case ADS_INTEGER: Write<int32_t>(raw, INT32_MIN); return;
        case ADS_SHORTINT: Write<int16_t>(raw, INT16_MIN); return;
        case ADS_TIME: case ADS_AUTOINC: Write<int32_t>(raw, -1); return;
        case ADS_TIMESTAMP: case ADS_MODTIME: Write<int32_t>(raw, 0); Write<int32_t>(raw + 4, -1); return;
        case ADS_MONEY: case ADS_ROWVERSION: Write<int32_t>(raw, 0); Write<int32_t>(raw + 4, INT32_MIN); return;
        case ADS_VARCHAR_FOX: case ADS_VARBINARY_FOX: case ADS_NVARCHAR: Write<uint16_t>(raw + length, 0xFFFF); return;
        case ADS_TYPE_UNKNOWN: case ADS_LONGLONG: case ADS_SYSTEM_FIELD: return;
        default:
          if (t > ADS_NMEMO) return;
          std::memset(raw, 0, length);
          return;
      }
    }
    if (foxPro) {
      switch (t) {
        case ADS_LOGICAL: case ADS_NUMERIC: case ADS_DATE: case ADS_STRING: case ADS_VARCHAR_FOX: case ADS_VARBINARY_FOX:
          std::memset(raw, ' ', length);
          break;
        case ADS_MEMO: case ADS_BINARY: case ADS_IMAGE: case ADS_DOUBLE: case ADS_INTEGER: case ADS_SHORTINT: case ADS_TIMESTAMP: case ADS_AUTOINC: case ADS_CURDOUBLE: case ADS_MONEY: case ADS_NMEMO: case ADS_BINARY_KIND_51: case ADS_BINARY_KIND_52:
          std::memset(raw, 0, length);
          break;
        case ADS_NCHAR:
          FillWideBlanks(raw, length);
          break;
        case ADS_NVARCHAR:
          FillWideBlanks(raw, length);
          Write<uint16_t>(raw + length, 0xFFFF);
          break;
        default:
          break;
      }
      setFoxProNull(true);
      return;
    }
    switch (t) {
      case ADS_MEMO: case ADS_BINARY: case ADS_IMAGE: case ADS_VARCHAR: case ADS_COMPACTDATE: case ADS_DOUBLE: case ADS_INTEGER: case ADS_SHORTINT: case ADS_CURDOUBLE: case ADS_NMEMO:
        std::memset(raw, 0, length);
        return;
      case ADS_NCHAR:
        FillWideBlanks(raw, length);
        return;
      case ADS_NVARCHAR:
        FillWideBlanks(raw, length);
        Write<uint16_t>(raw + length, 0xFFFF);
        return;
      default:
        std::memset(raw, ' ', length);
        return;
    }
  }

  // Stores the used length of a variable field: after the field in native tables; in FoxPro
  // tables in the field's last byte when shorter than the field, with the full-length flag.
  auto storeUsedLength = [&](size_t used) {
    if (native) {
      Write<uint16_t>(raw + length, static_cast<uint16_t>(used));
    } else if (foxPro) {
      const bool full = used >= length;
      if (!full) raw[length - 1] = static_cast<uint8_t>(used);
      UNSIGNED16 flag = full ? kFullLengthFlag : 0;
      CheckAceResult(this, AdsAccessVfpSystemField(mlHandle, FieldArg(fieldNumber), record, kVfpFullLength, &flag));
    }
  };

  const bool zeroFill = !mpoAdsTableOptions->AdsPreserveSpaces() && meTableType == ttAdsADT;
  switch (t) {
    case ADS_LOGICAL: {
      int16_t b;
      std::memcpy(&b, value, sizeof b);
      raw[0] = b != 0 ? 'T' : 'F';
      break;
    }
    case ADS_NUMERIC: {
      bool bcdForm = false;
      const std::string text = NumericFieldText(type, value, length, def.Decimals(), bcdForm);
      if (text.empty() || text.size() > length || text.find('E') != std::string::npos ||
          (bcdForm && text.size() == length && text.front() != '-'))
        RaiseComponentError(QStringLiteral("Numeric out of range."));
      std::memset(raw, ' ', length - text.size());
      std::memcpy(raw + (length - text.size()), text.data(), text.size());
      break;
    }
    case ADS_DATE:
    case ADS_COMPACTDATE: {
      int32_t day;
      std::memcpy(&day, value, sizeof day);
      if (t == ADS_DATE && length == 4) {
        Write<int32_t>(raw, day + adsdata::kJulianOffset);
        break;
      }
      UNSIGNED8 text[13] = {};
      UNSIGNED16 textLength = sizeof text;
      CheckAceResult(this, AdsConvertJulianToString(static_cast<double>(day) + adsdata::kJulianOffset, text, &textLength));
      if (t == ADS_DATE) {
        if (textLength > length) RaiseComponentError(QStringLiteral("Something's wrong with ADS date functions"));
        std::memset(raw, ' ', length);
        std::memcpy(raw, text, textLength);
        break;
      }
      // Compact dates: year x 512 + month x 32 + day in 3 bytes, most significant first.
      const QString ymd = QString::fromLatin1(reinterpret_cast<const char*>(text), textLength);
      bool okYear = false, okMonth = false, okDay = false;
      const uint32_t year = ymd.left(4).toUInt(&okYear);
      const uint32_t month = ymd.mid(4, 2).toUInt(&okMonth);
      const uint32_t dom = ymd.mid(6, 2).toUInt(&okDay);
      if (textLength != 8 || !okYear || !okMonth || !okDay || length < 3)
        RaiseComponentError(QStringLiteral("Something's wrong with ADS date functions"));
      const uint32_t packed = year * 512 + month * 32 + dom;
      raw[0] = static_cast<uint8_t>(packed >> 16);
      raw[1] = static_cast<uint8_t>(packed >> 8);
      raw[2] = static_cast<uint8_t>(packed);
      break;
    }
    case ADS_STRING:
    case ADS_CISTRING: {
      const char* text = static_cast<const char*>(value);
      const size_t n = strnlen(text, length);
      std::memset(raw, (n == 0 && zeroFill) ? 0 : ' ', length);
      std::memcpy(raw, text, n);
      break;
    }
    case ADS_DOUBLE:
    case ADS_CURDOUBLE:
      std::memcpy(raw, value, 8);
      break;
    case ADS_INTEGER:
    case ADS_TIME:
    case ADS_AUTOINC:
      std::memcpy(raw, value, 4);
      break;
    case ADS_SHORTINT:
      std::memcpy(raw, value, 2);
      break;
    case ADS_TIMESTAMP:
    case ADS_MODTIME: {
      double v;
      std::memcpy(&v, value, sizeof v);
      const double d = std::trunc(v / kMsPerDay);
      Write<int32_t>(raw, static_cast<int32_t>(d) + adsdata::kJulianOffset);
      Write<int32_t>(raw + 4, static_cast<int32_t>(std::llround(v - d * kMsPerDay)));
      break;
    }
    case ADS_RAW:
      std::memcpy(raw, value, length);
      break;
    case ADS_MONEY:
    case ADS_ROWVERSION: {
      TBcd bcd;
      std::memcpy(&bcd, value, sizeof bcd);
      int64_t scaled = 0;
      try {
        if (t == ADS_MONEY) {
          scaled = BcdToScaledInt64(bcd, 4);
        } else {
          bool ok = false;
          scaled = BcdToStr(bcd).toLongLong(&ok);
          if (!ok) RaiseComponentError(QStringLiteral("Numeric out of range."));
        }
      } catch (const EConvertError&) {
        RaiseComponentError(QStringLiteral("Numeric out of range."));
      }
      Write<int64_t>(raw, scaled);
      break;
    }
    case ADS_VARCHAR_FOX: {
      const char* text = static_cast<const char*>(value);
      const size_t n = strnlen(text, length);
      std::memset(raw, ' ', length);
      std::memcpy(raw, text, n);
      storeUsedLength(n);
      break;
    }
    case ADS_VARBINARY_FOX: {
      uint16_t count;
      std::memcpy(&count, value, sizeof count);
      const size_t n = std::min<size_t>(count, length);
      std::memset(raw, ' ', length);
      std::memcpy(raw, static_cast<const char*>(value) + 2, n);
      storeUsedLength(n);
      break;
    }
    case ADS_NCHAR:
    case ADS_NVARCHAR: {
      const auto* text = static_cast<const char16_t*>(value);
      size_t chars = 0;
      while (chars < length / 2 && text[chars] != 0) ++chars;
      if (chars == 0 && zeroFill)
        std::memset(raw, 0, length);
      else
        FillWideBlanks(raw, length);
      std::memcpy(raw, text, chars * 2);
      if (t == ADS_NVARCHAR) Write<uint16_t>(raw + length, static_cast<uint16_t>(chars));
      break;
    }
    default:
      // Blobs travel through their caches; other types have no value form to write.
      return;
  }
  setFoxProNull(false);
}
