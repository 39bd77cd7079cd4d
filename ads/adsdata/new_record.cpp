// TAdsDataSet: the image of a new record. The engine writes an empty record image; autoincrement
// fields get the engine's "no value yet" mark, and each field whose field object has a
// default expression gets that value, read as the field's engine type reads it (texts in
// single quotes, numbers, dates and times in the framework's value texts, logicals as T or F).
// Fields that receive a default count as assigned, so the post sends them.
#include <cmath>
#include <cstring>
#include <vector>

#include "ads/ace.h"
#include "ads/adsdata.h"
#include "ads/adsdata/adsdata_internal.h"
#include "runtime/data/bcd.h"
#include "runtime/data/db_dates.h"
#include "runtime/data/db_errors.h"
#include "runtime/text.h"

namespace {

[[noreturn]] void BadDefault(const QString& format, const QString& expression, const TACEFieldDef& def) {
  throw EConvertError(FormatMessage(format, {expression, def.FieldName()}));
}

double ParseFloat(const QString& expression, const TACEFieldDef& def) {
  bool ok = false;
  const double v = expression.toDouble(&ok);
  if (!ok) BadDefault(dbmsg::kInvalidFloatValue, expression, def);
  return v;
}

TBcd ParseBcd(const QString& expression, const TACEFieldDef& def) {
  TBcd bcd;
  if (!TryStrToBcd(expression, bcd)) BadDefault(dbmsg::kInvalidBcdValue, expression, def);
  return bcd;
}

// The text between single quotes; false when the expression is not quoted.
bool QuotedText(const QString& expression, QString& text) {
  if (expression.size() < 2 || !expression.startsWith(QLatin1Char('\'')) || !expression.endsWith(QLatin1Char('\'')))
    return false;
  text = expression.mid(1, expression.size() - 2);
  return true;
}

}  // namespace

void TAdsDataSet::FillNewRecord(TRecordBuffer buffer) {
  CheckAceResult(this, AdsClearRecordBuffer(mlHandle, buffer, musRecordSize));
  UNSIGNED16 fieldCount = 0;
  CheckAceResult(this, AdsGetNumFields(mlHandle, &fieldCount));
  const int count = std::min<int>(fieldCount, FACEFieldDefs->Count());
  const bool editing = State() == dsEdit;
  // The field objects that carry a default, by engine field number (a data field's FieldNo).
  std::vector<TField*> withDefault;
  for (TField* field : Fields()) {
    if (field->FieldNo() < 1 || field->FieldNo() > count || field->DefaultExpression().isEmpty()) continue;
    withDefault.resize(static_cast<size_t>(count), nullptr);
    withDefault[static_cast<size_t>(field->FieldNo() - 1)] = field;
  }
  for (int i = 0; i < count; ++i) {
    TACEFieldDef& def = *FACEFieldDefs->Items(i);
    def.SetModified(editing);
    const uint16_t t = def.FieldType();
    if (adsdata::IsBlobEngineType(t)) continue;
    if (t == ADS_AUTOINC) {
      // The engine numbers the record when it is stored.
      if (def.Offset() + 4 > musRecordSize) continue;
      if (musAceTableType == kAceTypeADT)
        adsdata::Write<int32_t>(buffer + def.Offset(), -1);
      else if (musAceTableType == kAceTypeVFP)
        adsdata::Write<int32_t>(buffer + def.Offset(), 0);
      continue;
    }
    TField* field = withDefault.empty() ? nullptr : withDefault[static_cast<size_t>(i)];
    if (field == nullptr) continue;
    def.SetModified(true);
    ApplyDefaultExpression(def, field->DefaultExpression().trimmed(), buffer);
  }
  const TDataSetState s = State();
  if (FBlobFieldCount > 0 &&
      (s == dsBrowse || s == dsEdit || s == dsInsert || s == dsCalcFields || s == dsNewValue))
    ClearBlobCaches(buffer);
}

void TAdsDataSet::ApplyDefaultExpression(const TACEFieldDef& def, const QString& expression, TRecordBuffer buffer) {
  const uint16_t n = def.FieldNumber();
  switch (def.FieldType()) {
    case ADS_LOGICAL: {
      const QString upper = UpperCaseAZ(expression);
      const int16_t v = (upper == QLatin1String("TRUE") || upper == QLatin1String("T") ||
                         upper == QLatin1String(".T.") || upper == QLatin1String("1"))
                            ? int16_t(-1)
                            : int16_t(0);
      WriteFieldValue(n, ftBoolean, &v, buffer);
      return;
    }
    case ADS_NUMERIC:
      if (musAceTableType == kAceTypeADT && !mpoAdsTableOptions->AdsNumericsAsFloats()) {
        const TBcd bcd = ParseBcd(expression, def);
        WriteFieldValue(n, ftBCD, &bcd, buffer);
      } else {
        const double v = ParseFloat(expression, def);
        WriteFieldValue(n, ftFloat, &v, buffer);
      }
      return;
    case ADS_DOUBLE:
    case ADS_CURDOUBLE: {
      const double v = ParseFloat(expression, def);
      WriteFieldValue(n, ftFloat, &v, buffer);
      return;
    }
    case ADS_DATE:
    case ADS_COMPACTDATE: {
      TDateTime date = 0;
      if (!dbdates::TryParseDate(expression, date)) BadDefault(dbmsg::kInvalidDateValue, expression, def);
      const int32_t day = static_cast<int32_t>(std::trunc(date)) + dbdates::kDateDelta;
      WriteFieldValue(n, ftDate, &day, buffer);
      return;
    }
    case ADS_STRING:
    case ADS_CISTRING:
    case ADS_VARCHAR_FOX: {
      // Only a quoted text is a value; anything else leaves the field as the engine cleared it.
      QString text;
      if (!QuotedText(expression, text)) return;
      QByteArray bytes = ToAnsi(text);
      WriteFieldValue(n, ftString, bytes.constData(), buffer);
      return;
    }
    case ADS_NCHAR:
    case ADS_NVARCHAR: {
      QString text;
      if (!QuotedText(expression, text)) return;
      WriteFieldValue(n, ftWideString, text.utf16(), buffer);
      return;
    }
    case ADS_INTEGER:
    case ADS_SHORTINT: {
      bool ok = false;
      const int v = expression.toInt(&ok);
      if (!ok) BadDefault(dbmsg::kInvalidIntegerValue, expression, def);
      if ((def.FieldType() == ADS_SHORTINT && (v > 32767 || v < -32767)) || v == INT32_MIN)
        throw EADSDatabaseError(this, 0, QStringLiteral("Numeric out of range:") + expression);
      const int32_t value = v;
      WriteFieldValue(n, ftInteger, &value, buffer);
      return;
    }
    case ADS_TIME: {
      TDateTime time = 0;
      if (!dbdates::TryParseTime(expression, time)) BadDefault(dbmsg::kInvalidDateValue, expression, def);
      const double fraction = time - std::floor(time);
      const int32_t ms = static_cast<int32_t>(std::llround(fraction * dbdates::kMSecsPerDay));
      WriteFieldValue(n, ftTime, &ms, buffer);
      return;
    }
    case ADS_TIMESTAMP:
    case ADS_MODTIME: {
      TDateTime stamp = 0;
      if (!dbdates::TryParseDateTime(expression, stamp)) BadDefault(dbmsg::kInvalidDateValue, expression, def);
      const double value = (stamp + dbdates::kDateDelta) * dbdates::kMSecsPerDay;
      WriteFieldValue(n, ftDateTime, &value, buffer);
      return;
    }
    case ADS_MONEY:
    case ADS_ROWVERSION: {
      const TBcd bcd = ParseBcd(expression, def);
      WriteFieldValue(n, ftBCD, &bcd, buffer);
      return;
    }
    default:
      return;
  }
}
