// TAdsDataSet: writing a field's value form into a record image in the engine's layout, the
// reverse of the byte rules in field_values.cpp. Key buffers are its first user: a key value
// entered in dsSetKey is laid out exactly as the engine stores it, so the engine can build the
// order's key from it. The layouts of native tables (type 3) are complete; for the DBF-style
// tables the fixed-width types are written, and the ones whose text forms need the DBF
// conventions (numeric text, packed dates, BCD) refuse as not built.
#include <cmath>
#include <cstring>

#include "ads/ace.h"
#include "ads/adsdata.h"
#include "ads/adsdata/adsdata_internal.h"

using adsdata::Write;

namespace {
constexpr double kMsPerDay = 86400000.0;

void FillWideBlanks(uint8_t* raw, uint32_t bytes) {
  for (uint32_t i = 0; i + 1 < bytes; i += 2) {
    raw[i] = ' ';
    raw[i + 1] = 0;
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
  const bool hasLengthWord = native && (t == 23 || t == 24 || t == 27);
  if (def.Offset() + length + (hasLengthWord ? 2u : 0u) > musRecordSize)
    RaiseComponentError(QStringLiteral("Internal Error: field %1 reaches past the record").arg(def.FieldName()));

  if (value == nullptr) {
    if (native) {
      switch (t) {
        case 1: raw[0] = ' '; return;
        case 10: case 17: Write<int32_t>(raw, 32); Write<int32_t>(raw + 4, INT32_MIN); return;
        case 11: Write<int32_t>(raw, INT32_MIN); return;
        case 12: Write<int16_t>(raw, INT16_MIN); return;
        case 13: case 15: Write<int32_t>(raw, -1); return;
        case 14: case 22: Write<int32_t>(raw, 0); Write<int32_t>(raw + 4, -1); return;
        case 18: case 21: Write<int32_t>(raw, 0); Write<int32_t>(raw + 4, INT32_MIN); return;
        case 23: case 24: case 27: Write<uint16_t>(raw + length, 0xFFFF); return;
        case 0: case 19: case 25: return;
        default:
          if (t > 28) return;
          std::memset(raw, 0, length);
          return;
      }
    }
    switch (t) {
      case 5: case 6: case 7: case 8: case 9: case 10: case 11: case 12: case 17: case 28:
        std::memset(raw, 0, length);
        return;
      case 26: case 27:
        FillWideBlanks(raw, length);
        return;
      default:
        std::memset(raw, ' ', length);
        return;
    }
  }

  const bool zeroFill = !mpoAdsTableOptions->AdsPreserveSpaces() && meTableType == ttAdsADT;
  switch (t) {
    case 1: {
      int16_t b;
      std::memcpy(&b, value, sizeof b);
      raw[0] = b != 0 ? 'T' : 'F';
      return;
    }
    case 3: {
      if (length != 4) break;
      int32_t day;
      std::memcpy(&day, value, sizeof day);
      Write<int32_t>(raw, day + adsdata::kJulianOffset);
      return;
    }
    case 4:
    case 20: {
      const char* text = static_cast<const char*>(value);
      const size_t n = std::min<size_t>(std::strlen(text), length);
      std::memset(raw, (n == 0 && zeroFill) ? 0 : ' ', length);
      std::memcpy(raw, text, n);
      return;
    }
    case 10:
    case 17:
      std::memcpy(raw, value, 8);
      return;
    case 11:
    case 13:
    case 15:
      std::memcpy(raw, value, 4);
      return;
    case 12:
      std::memcpy(raw, value, 2);
      return;
    case 14:
    case 22: {
      double v;
      std::memcpy(&v, value, sizeof v);
      const double d = std::trunc(v / kMsPerDay);
      Write<int32_t>(raw, static_cast<int32_t>(d) + adsdata::kJulianOffset);
      Write<int32_t>(raw + 4, static_cast<int32_t>(std::llround(v - d * kMsPerDay)));
      return;
    }
    case 16:
      std::memcpy(raw, value, length);
      return;
    case 23: {
      if (!native) break;
      const char* text = static_cast<const char*>(value);
      const size_t n = std::min<size_t>(std::strlen(text), length);
      std::memset(raw, ' ', length);
      std::memcpy(raw, text, n);
      Write<uint16_t>(raw + length, static_cast<uint16_t>(n));
      return;
    }
    case 24: {
      if (!native) break;
      uint16_t count;
      std::memcpy(&count, value, sizeof count);
      const size_t n = std::min<size_t>(count, length);
      std::memset(raw, ' ', length);
      std::memcpy(raw, static_cast<const char*>(value) + 2, n);
      Write<uint16_t>(raw + length, static_cast<uint16_t>(n));
      return;
    }
    case 26:
    case 27: {
      const auto* text = static_cast<const char16_t*>(value);
      const size_t chars = std::min<size_t>(std::char_traits<char16_t>::length(text), length / 2);
      if (chars == 0 && zeroFill)
        std::memset(raw, 0, length);
      else
        FillWideBlanks(raw, length);
      std::memcpy(raw, text, chars * 2);
      if (t == 27 && native) Write<uint16_t>(raw + length, static_cast<uint16_t>(chars));
      return;
    }
    default:
      break;
  }
  (void)type;
  NotBuilt(QStringLiteral("Writing values of engine field type %1 in this table type").arg(t));
}
