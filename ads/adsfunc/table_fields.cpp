// Members of the extended table about the table's structure and the active record's values.
#include <vector>

#include "ads/ace.h"
#include "ads/adsfunc.h"
#include "ads/adsfunc/adsfunc_internal.h"
#include "runtime/text.h"

using namespace adsfunc_detail;

namespace {
constexpr UNSIGNED32 kDataLengthOption = 1;
constexpr UNSIGNED16 kEngineBinaryType = 6;
constexpr UNSIGNED16 kEngineDateType = 3;
constexpr UNSIGNED32 kDateFieldLength = 24;
}  // namespace

uint32_t TAdsExtendedTable::AdsGetRecordNum() {
  const UNSIGNED16 option = AdsTableOptions().AdsFilterOptions() == RESPECT_WHEN_COUNTING ? 1 : 2;
  UNSIGNED32 record = 0;
  RunMember(State() == dsInsert ? 0u : static_cast<unsigned>(kActive),
            [&] { return ::AdsGetRecordNum(GetAceTableHandle(), option, &record); });
  return record;
}

uint32_t TAdsExtendedTable::AdsGetRecordCount() {
  RequireActive();
  UNSIGNED16 option = adsfunc_map::CountingOption(AdsTableOptions());
  uint32_t handle = GetAceOrderHandle();
  const uint32_t index = GetAceIndexHandle();
  if (option == 1 && index != kNoHandle) {
    UNSIGNED32 flags = 0;
    CheckAceResult(this, ::AdsGetIndexFlags(index, &flags));
    QString condition;
    // A unique index of a DBF table hides the records whose key repeats, so only an index
    // that is not such a one may be counted on the table.
    const bool mayHideDuplicates = TableType() != ttAdsADT && (flags & 1u) != 0;
    if (!mayHideDuplicates) {
      UNSIGNED8 text[kExpressionBuffer + 1] = {};
      UNSIGNED16 length = kExpressionBuffer;
      CheckAceResult(this, ::AdsGetIndexCondition(index, text, &length));
      condition = FromBuffer(text, length);
    }
    if (!mayHideDuplicates && condition.isEmpty()) {
      // Without a condition the index sees every record: count on the table unless a scope
      // narrows the order.
      UNSIGNED16 topLength = 0;
      UNSIGNED16 bottomLength = 0;
      const bool top = ::AdsGetScope(index, 1, nullptr, &topLength) == 5005 || topLength != 0;
      const bool bottom = ::AdsGetScope(index, 2, nullptr, &bottomLength) == 5005 || bottomLength != 0;
      if (!top && !bottom) handle = GetAceTableHandle();
    }
  }
  if (AdsTableOptions().AdsFreshRecordCount()) option += 4;
  UNSIGNED32 count = 0;
  CheckExtendedResult(::AdsGetRecordCount(handle, option, &count));
  return count;
}

uint32_t TAdsExtendedTable::AdsGetRecordLength() {
  UNSIGNED32 v = 0;
  RunMember(0, [&] { return ::AdsGetRecordLength(GetAceTableHandle(), &v); });
  return v;
}

uint16_t TAdsExtendedTable::AdsGetNumFields() {
  UNSIGNED16 v = 0;
  RunMember(0, [&] { return ::AdsGetNumFields(GetAceTableHandle(), &v); });
  return v;
}

uint16_t TAdsExtendedTable::AdsGetNumIndexes() {
  UNSIGNED16 v = 0;
  RunMember(0, [&] { return ::AdsGetNumIndexes(GetAceTableHandle(), &v); });
  return v;
}

uint16_t TAdsExtendedTable::AdsGetNumLocks() {
  UNSIGNED16 v = 0;
  RunMember(0, [&] { return ::AdsGetNumLocks(GetAceTableHandle(), &v); });
  return v;
}

uint16_t TAdsExtendedTable::AdsGetTableMemoSize() {
  UNSIGNED16 v = 0;
  RunMember(0, [&] { return ::AdsGetTableMemoSize(GetAceTableHandle(), &v); });
  return v;
}

uint16_t TAdsExtendedTable::AdsGetAllIndexes(std::vector<uint32_t>& ahIndexes) {
  UNSIGNED16 count = static_cast<UNSIGNED16>(std::min<size_t>(ahIndexes.size(), 0xFFFF));
  RunMember(0, [&] { return ::AdsGetAllIndexes(GetAceTableHandle(), ahIndexes.data(), &count); });
  return count;
}

uint16_t TAdsExtendedTable::AdsGetAllLocks(std::vector<uint32_t>& aulLocks) {
  UNSIGNED16 count = static_cast<UNSIGNED16>(std::min<size_t>(aulLocks.size(), 0xFFFF));
  RunMember(0, [&] { return ::AdsGetAllLocks(GetAceTableHandle(), aulLocks.data(), &count); });
  return count;
}

// Field questions and value readers: one engine call on the table handle with the field name
// cut to 128 characters, the given preparing steps, the answer returned.
#define ADSFUNC_FIELD_QUERY(Member, Result, EngineType, Steps, Convert)                  \
  Result TAdsExtendedTable::Member(const QString& strFieldName) {                        \
    Ansi field(strFieldName, kNameMax);                                                  \
    EngineType value{};                                                                  \
    RunMember(Steps, [&] { return ::Member(GetAceTableHandle(), field.get(), &value); }); \
    return Convert;                                                                      \
  }

ADSFUNC_FIELD_QUERY(AdsGetFieldDecimals, uint16_t, UNSIGNED16, 0, value)
ADSFUNC_FIELD_QUERY(AdsGetFieldLength, uint32_t, UNSIGNED32, 0, value)
ADSFUNC_FIELD_QUERY(AdsGetFieldNum, uint16_t, UNSIGNED16, 0, value)
ADSFUNC_FIELD_QUERY(AdsGetFieldOffset, uint32_t, UNSIGNED32, 0, value)
ADSFUNC_FIELD_QUERY(AdsGetFieldType, TAdsFieldTypes, UNSIGNED16, 0, adsfunc_map::FieldType(value))
ADSFUNC_FIELD_QUERY(AdsGetDouble, double, DOUBLE, kActive, value)
ADSFUNC_FIELD_QUERY(AdsGetJulian, int32_t, SIGNED32, kActive, value)
ADSFUNC_FIELD_QUERY(AdsGetLogical, bool, UNSIGNED16, kActive, value != 0)
ADSFUNC_FIELD_QUERY(AdsGetLong, int32_t, SIGNED32, kActive, value)
ADSFUNC_FIELD_QUERY(AdsGetShort, int16_t, SIGNED16, kActive, value)
ADSFUNC_FIELD_QUERY(AdsGetMilliseconds, int32_t, SIGNED32, kActive, value)
ADSFUNC_FIELD_QUERY(AdsGetMemoLength, uint32_t, UNSIGNED32, kActive, value)
ADSFUNC_FIELD_QUERY(AdsGetBinaryLength, uint32_t, UNSIGNED32, kActive, value)
ADSFUNC_FIELD_QUERY(AdsIsEmpty, bool, UNSIGNED16, kActive, value != 0)
ADSFUNC_FIELD_QUERY(AdsGetMemoDataType, TAdsMemoDataTypes, UNSIGNED16, kActive, adsfunc_map::MemoDataType(value))
#undef ADSFUNC_FIELD_QUERY

void TAdsExtendedTable::AdsImageToClipboard(const QString& strFieldName) {
  Ansi field(strFieldName, kNameMax);
  RunMember(kActive, [&] { return ::AdsImageToClipboard(GetAceTableHandle(), field.get()); });
}

QString TAdsExtendedTable::AdsGetFieldName(uint16_t usFieldNum) {
  UNSIGNED8 text[kFieldNameBuffer + 1] = {};
  UNSIGNED16 length = kFieldNameBuffer;
  RunMember(0, [&] { return ::AdsGetFieldName(GetAceTableHandle(), usFieldNum, text, &length); });
  return FromBuffer(text, length);
}

QString TAdsExtendedTable::AdsGetDate(const QString& strFieldName) {
  Ansi field(strFieldName, kNameMax);
  UNSIGNED8 text[kDateBuffer + 1] = {};
  UNSIGNED16 length = kDateBuffer;
  RunMember(kActive, [&] { return ::AdsGetDate(GetAceTableHandle(), field.get(), text, &length); });
  return FromBuffer(text, length);
}

QString TAdsExtendedTable::AdsGetTime(const QString& strFieldName) {
  Ansi field(strFieldName, kNameMax);
  UNSIGNED8 text[kTimeBuffer + 1] = {};
  UNSIGNED16 length = kTimeBuffer;
  RunMember(kActive, [&] { return ::AdsGetTime(GetAceTableHandle(), field.get(), text, &length); });
  return FromBuffer(text, length);
}

QString TAdsExtendedTable::AdsGetString(const QString& strFieldName, TAdsTrimOptions enumTrimOptions) {
  Ansi field(strFieldName, kNameMax);
  Prepare(kActive);
  UNSIGNED32 dataLength = 0;
  CheckExtendedResult(::AdsGetDataLength(GetAceTableHandle(), field.get(), kDataLengthOption, &dataLength));
  UNSIGNED32 length = dataLength + 1;
  UNSIGNED16 type = 0;
  CheckExtendedResult(::AdsGetFieldType(GetAceTableHandle(), field.get(), &type));
  const TAdsFieldTypes fieldType = adsfunc_map::FieldType(type);
  const UNSIGNED16 trim = adsfunc_map::TrimOption(enumTrimOptions);
  if (fieldType == AdsfldNCHAR || fieldType == AdsfldNVARCHAR || fieldType == AdsfldNMEMO) {
    length += 1;
    // The engine gives a wide field's data length in characters; the engine is told the
    // buffer's whole room, as half of it would cut every value longer than about half its length.
    std::vector<char16_t> text(length + 1, u'\0');
    UNSIGNED32 characters = length;
    CheckExtendedResult(
        ::AdsGetStringW(GetAceTableHandle(), field.get(), reinterpret_cast<WCHAR*>(text.data()), &characters, trim));
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(characters));
  }
  std::vector<UNSIGNED8> text(length + 1, 0);
  CheckExtendedResult(::AdsGetString(GetAceTableHandle(), field.get(), text.data(), &length, trim));
  return FromBuffer(text.data(), length);
}

QString TAdsExtendedTable::AdsGetField(const QString& strFieldName, TAdsTrimOptions enumTrimOptions) {
  Ansi field(strFieldName, kNameMax);
  Prepare(kActive);
  UNSIGNED16 type = 0;
  CheckExtendedResult(::AdsGetFieldType(GetAceTableHandle(), field.get(), &type));
  UNSIGNED32 length = 0;
  if (type == kEngineBinaryType) {
    CheckExtendedResult(::AdsGetBinaryLength(GetAceTableHandle(), field.get(), &length));
  } else if (type == kEngineDateType) {
    length = kDateFieldLength;
  } else {
    CheckExtendedResult(::AdsGetDataLength(GetAceTableHandle(), field.get(), kDataLengthOption, &length));
  }
  // The engine is told the buffer's whole room in characters: half of it would cut every value
  // longer than about half its length.
  std::vector<char16_t> text(static_cast<size_t>(length) + 2, u'\0');
  UNSIGNED32 characters = length + 2;
  CheckExtendedResult(::AdsGetFieldW(GetAceTableHandle(), field.get(), reinterpret_cast<WCHAR*>(text.data()),
                                     &characters, adsfunc_map::TrimOption(enumTrimOptions)));
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(characters));
}

// Value writers: the record is posted or checked first, the engine moved to the active record,
// the value written, the buffers re-read.
#define ADSFUNC_FIELD_SETTER(Member, ValueType, EngineValue)                                          \
  void TAdsExtendedTable::Member(const QString& strFieldName, ValueType value) {                     \
    Ansi field(strFieldName, kNameMax);                                                              \
    RunMember(kBrowse | kActive | kResync,                                                           \
              [&] { return ::Member(GetAceTableHandle(), field.get(), EngineValue); });              \
  }

ADSFUNC_FIELD_SETTER(AdsSetDouble, double, value)
ADSFUNC_FIELD_SETTER(AdsSetJulian, int32_t, value)
ADSFUNC_FIELD_SETTER(AdsSetLogical, bool, static_cast<UNSIGNED16>(value ? 1 : 0))
ADSFUNC_FIELD_SETTER(AdsSetLong, int32_t, value)
ADSFUNC_FIELD_SETTER(AdsSetMilliseconds, int32_t, value)
#undef ADSFUNC_FIELD_SETTER

void TAdsExtendedTable::AdsSetEmpty(const QString& strFieldName) {
  Ansi field(strFieldName, kNameMax);
  RunMember(kBrowse | kActive | kResync, [&] { return ::AdsSetEmpty(GetAceTableHandle(), field.get()); });
}

void TAdsExtendedTable::AdsSetShort(const QString& strFieldName, int16_t sValue) {
  Ansi field(strFieldName, -1);
  RunMember(kBrowse | kActive | kResync, [&] { return ::AdsSetShort(GetAceTableHandle(), field.get(), sValue); });
}

void TAdsExtendedTable::AdsSetDate(const QString& strFieldName, const QString& strDate) {
  Ansi field(strFieldName, kNameMax);
  Ansi date(strDate, kDateMax);
  RunMember(kBrowse | kActive | kResync, [&] {
    return ::AdsSetDate(GetAceTableHandle(), field.get(), date.get(), static_cast<UNSIGNED16>(date.size()));
  });
}

void TAdsExtendedTable::AdsSetTime(const QString& strFieldName, const QString& strTime) {
  Ansi field(strFieldName, -1);
  Ansi time(strTime, -1);
  const uint32_t length = NonNegative(time.size(), "strTime length", 0xFFFF);
  RunMember(kBrowse | kActive | kResync, [&] {
    return ::AdsSetTime(GetAceTableHandle(), field.get(), time.get(), static_cast<UNSIGNED16>(length));
  });
}

void TAdsExtendedTable::AdsSetField(const QString& strFieldName, const QString& strValue) {
  Ansi field(strFieldName, kNameMax);
  Ansi value(strValue, -1);
  RunMember(kBrowse | kActive | kResync,
            [&] { return ::AdsSetField(GetAceTableHandle(), field.get(), value.get(), value.size()); });
}

void TAdsExtendedTable::AdsSetString(const QString& strFieldName, const QString& strValue) {
  Ansi field(strFieldName, kNameMax);
  Ansi value(strValue, -1);
  RunMember(kBrowse | kActive | kResync,
            [&] { return ::AdsSetString(GetAceTableHandle(), field.get(), value.get(), value.size()); });
}

void TAdsExtendedTable::AdsSetBinary(const QString& strFieldName, TAdsBinaryTypes eBinaryType,
                                     int64_t ulTotalLength, int64_t ulOffSet, const uint8_t* pucBuf,
                                     int64_t ulBufLen) {
  const uint32_t total = NonNegative(ulTotalLength, "ulTotalLength");
  const uint32_t offset = NonNegative(ulOffSet, "ulOffSet");
  const uint32_t length = NonNegative(ulBufLen, "ulBufLen");
  Ansi field(strFieldName, kNameMax);
  RunMember(kActive, [&] {
    return ::AdsSetBinary(GetAceTableHandle(), field.get(), adsfunc_map::BinaryType(eBinaryType), total, offset,
                          const_cast<UNSIGNED8*>(pucBuf), length);
  });
}

uint32_t TAdsExtendedTable::AdsGetBinary(const QString& strFieldName, int64_t ulOffSet, uint8_t* pucBuf,
                                         int64_t ulBufLen) {
  const uint32_t offset = NonNegative(ulOffSet, "ulOffSet");
  UNSIGNED32 length = NonNegative(ulBufLen, "ulBufLen");
  Ansi field(strFieldName, kNameMax);
  RunMember(kActive, [&] { return ::AdsGetBinary(GetAceTableHandle(), field.get(), offset, pucBuf, &length); });
  return length;
}

void TAdsExtendedTable::AdsBinaryToFile(const QString& strFieldName, const QString& strFileName) {
  Ansi field(strFieldName, kNameMax);
  Ansi file(strFileName, kFileNameMax);
  RunMember(kActive, [&] { return ::AdsBinaryToFile(GetAceTableHandle(), field.get(), file.get()); });
}

void TAdsExtendedTable::AdsFileToBinary(const QString& strFieldName, TAdsBinaryTypes eBinaryType,
                                        const QString& strFileName) {
  Ansi field(strFieldName, kNameMax);
  Ansi file(strFileName, kFileNameMax);
  RunMember(kBrowse | kActive, [&] {
    return ::AdsFileToBinary(GetAceTableHandle(), field.get(), adsfunc_map::BinaryType(eBinaryType), file.get());
  });
}

bool TAdsExtendedTable::AdsEvalLogicalExpr(const QString& strExpr) {
  Ansi expression(strExpr, -1);
  UNSIGNED16 value = 0;
  RunMember(kActive, [&] { return ::AdsEvalLogicalExpr(GetAceTableHandle(), expression.get(), &value); });
  return value != 0;
}

double TAdsExtendedTable::AdsEvalNumericExpr(const QString& strExpr) {
  Ansi expression(strExpr, -1);
  DOUBLE value = 0;
  RunMember(kActive, [&] { return ::AdsEvalNumericExpr(GetAceTableHandle(), expression.get(), &value); });
  return value;
}

QString TAdsExtendedTable::AdsEvalStringExpr(const QString& strExpr) {
  Ansi expression(strExpr, -1);
  std::vector<UNSIGNED8> text(kStringExprBuffer + 1, 0);
  UNSIGNED16 length = kStringExprBuffer;
  RunMember(kActive,
            [&] { return ::AdsEvalStringExpr(GetAceTableHandle(), expression.get(), text.data(), &length); });
  return FromBuffer(text.data(), length);
}

TAdsExpressionTypes TAdsExtendedTable::AdsEvalTestExpr(const QString& strExpr) {
  Ansi expression(strExpr, -1);
  UNSIGNED16 type = 0;
  RunMember(kActive, [&] { return ::AdsEvalTestExpr(GetAceTableHandle(), expression.get(), &type); });
  return adsfunc_map::ExpressionType(type);
}

bool TAdsExtendedTable::AdsIsExprValid(const QString& strExpr) {
  Ansi expression(strExpr, -1);
  UNSIGNED16 valid = 0;
  RunMember(kActive, [&] { return ::AdsIsExprValid(GetAceTableHandle(), expression.get(), &valid); });
  return valid != 0;
}
