// The value types shared by the dataset framework: field types and kinds, dataset states, data
// events, the fetch and bookmark codes the record hooks exchange, and the small option sets.
// Ordinal values are fixed: descendants compare states by range (dsEdit through dsNewValue) and
// stored definitions hold field types by number.
//
// Threading: plain values.
#pragma once

#include <QFlags>
#include <QString>
#include <cstdint>

// Field data types, in their fixed order (stored definitions and parameter binding rely on it).
enum TFieldType {
  ftUnknown, ftString, ftSmallint, ftInteger, ftWord, ftBoolean, ftFloat, ftCurrency, ftBCD,
  ftDate, ftTime, ftDateTime, ftBytes, ftVarBytes, ftAutoInc, ftBlob, ftMemo, ftGraphic,
  ftFmtMemo, ftParadoxOle, ftDBaseOle, ftTypedBinary, ftCursor, ftFixedChar, ftWideString,
  ftLargeint, ftADT, ftArray, ftReference, ftDataSet, ftOraBlob, ftOraClob, ftVariant,
  ftInterface, ftIDispatch, ftGuid, ftTimeStamp, ftFMTBcd, ftFixedWideChar, ftWideMemo,
  ftOraTimeStamp, ftOraInterval, ftLongWord, ftShortint, ftByte, ftExtended, ftConnection,
  ftParams, ftStream, ftTimeStampOffset, ftObject, ftSingle
};

// The name of a field type as written in code ("ftString"), for messages.
QString FieldTypeName(TFieldType type);
// Whether values of the type travel through blob streams instead of value buffers.
bool IsBlobFieldType(TFieldType type);

enum TFieldKind { fkData, fkCalculated, fkLookup, fkInternalCalc, fkAggregate };

enum TDataSetState {
  dsInactive = 0,
  dsBrowse = 1,
  dsEdit = 2,
  dsInsert = 3,
  dsSetKey = 4,
  dsCalcFields = 5,
  dsFilter = 6,
  dsNewValue = 7,
  dsOldValue = 8,
  dsCurValue = 9,
  dsBlockRead = 10,
  dsInternalCalc = 11,
  dsOpening = 12
};

enum TDataEvent {
  deFieldChange = 0,
  deRecordChange = 1,
  deDataSetChange = 2,
  deDataSetScroll = 3,
  deLayoutChange = 4,
  deUpdateRecord = 5,
  deUpdateState = 6,
  deCheckBrowseMode = 7,
  dePropertyChange = 8,
  deFieldListChange = 9,
  deFocusControl = 10,
  deParentScroll = 11,
  deConnectChange = 12,
  deReconcileError = 13,
  deDisabledStateChange = 14
};

// How FetchRecord moves before it reads.
enum class FetchMode { Current = 0, Next = 1, Prior = 2 };
// What FetchRecord found.
enum class FetchResult { Ok = 0, Bof = 1, Eof = 2, Error = 3 };
// What a record buffer holds: a record, the crack before the first or after the last record,
// or a record being inserted.
enum class BookmarkFlag { Current = 0, BeforeFirst = 1, AfterLast = 2, Inserted = 3 };

enum TResyncModeItem { rmExact = 1, rmCenter = 2 };
Q_DECLARE_FLAGS(TResyncMode, TResyncModeItem)
Q_DECLARE_OPERATORS_FOR_FLAGS(TResyncMode)

enum TLocateOption { loCaseInsensitive = 1, loPartialKey = 2 };
Q_DECLARE_FLAGS(TLocateOptions, TLocateOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TLocateOptions)

enum TIndexOption {
  ixPrimary = 1,
  ixUnique = 2,
  ixDescending = 4,
  ixCaseInsensitive = 8,
  ixExpression = 16,
  ixNonMaintained = 32
};
Q_DECLARE_FLAGS(TIndexOptions, TIndexOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TIndexOptions)

enum TFieldAttribute { faHiddenCol = 1, faReadonly = 2, faRequired = 4, faLink = 8, faUnNamed = 16, faFixed = 32 };
Q_DECLARE_FLAGS(TFieldAttributes, TFieldAttribute)
Q_DECLARE_OPERATORS_FOR_FLAGS(TFieldAttributes)

enum TBlobStreamMode { bmRead, bmWrite, bmReadWrite };
enum TUpdateStatus { usUnmodified, usModified, usInserted, usDeleted };
// What an OnEditError, OnPostError or OnDeleteError handler wants done with a failure.
enum TDataAction { daFail, daAbort, daRetry };
enum TParamType { ptUnknown, ptInput, ptOutput, ptInputOutput, ptResult };

// A record buffer: an opaque block the dataset descendant allocates and lays out.
using TRecordBuffer = char*;
