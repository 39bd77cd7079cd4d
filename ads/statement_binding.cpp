// Binding one parameter to a statement parameter by its data type (see statement_binding.h).
#include "ads/statement_binding.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "ads/ace.h"
#include "ads/ads_errors.h"
#include "runtime/text.h"

namespace {

constexpr int64_t kJulianOfDayZero = 2415019;
constexpr double kMsPerDay = 86400000.0;

int32_t Fit32(double value) {
  if (!(value >= static_cast<double>(std::numeric_limits<int32_t>::min()) &&
        value <= static_cast<double>(std::numeric_limits<int32_t>::max())))
    throw ERangeError(QStringLiteral("Range check error"));
  return static_cast<int32_t>(value);
}

// Whole days of the date value (truncated) as a Julian day.
int32_t JulianDay(TDateTime value) { return Fit32(std::trunc(value) + static_cast<double>(kJulianOfDayZero)); }

// The fraction of the day as milliseconds, rounded.
int32_t DayMilliseconds(TDateTime value) {
  const double fraction = std::fabs(value - std::trunc(value));
  return Fit32(std::round(fraction * kMsPerDay));
}

[[noreturn]] void RefuseType(AdsDataSetClient* dataset, const TParam& param, const QString& what) {
  throw EADSDatabaseError(dataset, kAdsComponentError,
                          QStringLiteral("The field named: '") + param.Name() + QStringLiteral("' has ") + what);
}

}  // namespace

void BindStatementParam(AdsDataSetClient* dataset, uint32_t statement, uint16_t number, const TParam& param,
                        StructuredParamTypes structured) {
  UNSIGNED8* target = ADSFIELD(number);
  if (param.IsNull()) {
    CheckAceResult(dataset, AdsSetEmpty(statement, target));
    return;
  }
  switch (param.DataType()) {
    case ftUnknown:
      RefuseType(dataset, param, QStringLiteral("the DataType of ftUnknown, which is invalid."));
    case ftString: case ftSmallint: case ftInteger: case ftWord: case ftBCD: case ftAutoInc:
    case ftMemo: case ftFmtMemo: case ftFixedChar: case ftLargeint: {
      QByteArray text = ToAnsi(param.AsString());
      CheckAceResult(dataset, AdsSetString(statement, target, reinterpret_cast<UNSIGNED8*>(text.data()),
                                           static_cast<UNSIGNED32>(text.size())));
      return;
    }
    case ftBoolean:
      CheckAceResult(dataset, AdsSetLogical(statement, target, param.AsBoolean() ? 1 : 0));
      return;
    case ftFloat: case ftCurrency:
      CheckAceResult(dataset, AdsSetDouble(statement, target, param.AsFloat()));
      return;
    case ftDate:
      CheckAceResult(dataset, AdsSetJulian(statement, target, JulianDay(param.AsDateTime())));
      return;
    case ftTime:
      CheckAceResult(dataset, AdsSetMilliseconds(statement, target, DayMilliseconds(param.AsDateTime())));
      return;
    case ftDateTime: case ftTimeStamp: {
      const TDateTime value = param.AsDateTime();
      const int32_t day = JulianDay(value);
      const int32_t ms = DayMilliseconds(value);
      uint8_t buffer[8];
      for (int i = 0; i < 4; ++i) {
        buffer[i] = static_cast<uint8_t>(static_cast<uint32_t>(day) >> (8 * i));
        buffer[4 + i] = static_cast<uint8_t>(static_cast<uint32_t>(ms) >> (8 * i));
      }
      CheckAceResult(dataset, AdsSetTimeStampRaw(statement, target, buffer, 8));
      return;
    }
    case ftBytes: case ftVarBytes: case ftBlob: case ftGraphic: {
      const int size = param.GetDataSize();
      std::vector<uint8_t> buffer(static_cast<size_t>(size > 0 ? size : 0));
      if (size > 0) param.GetData(buffer.data());
      const UNSIGNED32 rc = AdsSetBinary(statement, target, 6, static_cast<UNSIGNED32>(buffer.size()), 0,
                                         buffer.data(), static_cast<UNSIGNED32>(buffer.size()));
      buffer.clear();
      buffer.shrink_to_fit();
      CheckAceResult(dataset, rc);
      return;
    }
    case ftWideString: case ftWideMemo: {
      const QString text = param.AsWideString();
      std::u16string wide(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size()));
      CheckAceResult(dataset, AdsSetStringW(statement, target, reinterpret_cast<WCHAR*>(wide.data()),
                                            static_cast<UNSIGNED32>(wide.size())));
      return;
    }
    case ftParadoxOle: case ftDBaseOle: case ftTypedBinary: case ftCursor:
      RefuseType(dataset, param, QStringLiteral("a DataType that is not supported."));
    case ftADT: case ftArray: case ftReference: case ftDataSet:
      if (structured == StructuredParamTypes::kRefused)
        RefuseType(dataset, param, QStringLiteral("a DataType that is not supported."));
      return;
    default:
      // The remaining types have no statement binding: the parameter is left unbound.
      return;
  }
}
