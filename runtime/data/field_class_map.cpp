// The default field class of each field type, and the names of the types.
#include "runtime/data/field_classes.h"

TFieldClass DefaultFieldClass(TFieldType type) {
  switch (type) {
    case ftString:
    case ftFixedChar:
      return &CreateFieldOfClass<TStringField>;
    case ftWideString:
    case ftFixedWideChar:
      return &CreateFieldOfClass<TWideStringField>;
    case ftSmallint:
      return &CreateFieldOfClass<TSmallintField>;
    case ftInteger:
      return &CreateFieldOfClass<TIntegerField>;
    case ftAutoInc:
      return &CreateFieldOfClass<TAutoIncField>;
    case ftFloat:
      return &CreateFieldOfClass<TFloatField>;
    case ftCurrency:
      return &CreateFieldOfClass<TCurrencyField>;
    case ftBCD:
      return &CreateFieldOfClass<TBCDField>;
    case ftFMTBcd:
      return &CreateFieldOfClass<TFMTBCDField>;
    case ftBoolean:
      return &CreateFieldOfClass<TBooleanField>;
    case ftDate:
      return &CreateFieldOfClass<TDateField>;
    case ftTime:
      return &CreateFieldOfClass<TTimeField>;
    case ftDateTime:
      return &CreateFieldOfClass<TDateTimeField>;
    case ftBytes:
      return &CreateFieldOfClass<TBytesField>;
    case ftVarBytes:
      return &CreateFieldOfClass<TVarBytesField>;
    case ftBlob:
    case ftGraphic:
    case ftTypedBinary:
      return &CreateFieldOfClass<TBlobField>;
    case ftMemo:
    case ftFmtMemo:
      return &CreateFieldOfClass<TMemoField>;
    case ftWideMemo:
      return &CreateFieldOfClass<TWideMemoField>;
    default:
      return nullptr;
  }
}

bool IsBlobFieldType(TFieldType type) {
  switch (type) {
    case ftBlob:
    case ftMemo:
    case ftGraphic:
    case ftFmtMemo:
    case ftParadoxOle:
    case ftDBaseOle:
    case ftTypedBinary:
    case ftOraBlob:
    case ftOraClob:
    case ftWideMemo:
      return true;
    default:
      return false;
  }
}

QString FieldTypeName(TFieldType type) {
  static const char* const kNames[] = {
      "ftUnknown", "ftString", "ftSmallint", "ftInteger", "ftWord", "ftBoolean", "ftFloat",
      "ftCurrency", "ftBCD", "ftDate", "ftTime", "ftDateTime", "ftBytes", "ftVarBytes",
      "ftAutoInc", "ftBlob", "ftMemo", "ftGraphic", "ftFmtMemo", "ftParadoxOle", "ftDBaseOle",
      "ftTypedBinary", "ftCursor", "ftFixedChar", "ftWideString", "ftLargeint", "ftADT",
      "ftArray", "ftReference", "ftDataSet", "ftOraBlob", "ftOraClob", "ftVariant",
      "ftInterface", "ftIDispatch", "ftGuid", "ftTimeStamp", "ftFMTBcd", "ftFixedWideChar",
      "ftWideMemo", "ftOraTimeStamp", "ftOraInterval", "ftLongWord", "ftShortint", "ftByte",
      "ftExtended", "ftConnection", "ftParams", "ftStream", "ftTimeStampOffset", "ftObject",
      "ftSingle"};
  int i = static_cast<int>(type);
  if (i < 0 || i >= static_cast<int>(sizeof(kNames) / sizeof(kNames[0]))) return QStringLiteral("ftUnknown");
  return QString::fromLatin1(kNames[i]);
}
