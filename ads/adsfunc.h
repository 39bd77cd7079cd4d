// The extended dataset operations: members named after the engine functions they call, for
// one open dataset. TAdsExtendedDataSet holds those that make sense for any cursor (tables and
// query results), TAdsExtendedTable those that need a table. Neither adds state.
//
// Every member follows one pattern: prepare the dataset (CheckBrowseMode and/or position the
// engine on the active record), convert its arguments, make one engine call on one of the
// dataset's handles, check the result with CheckExtendedResult (5068 passes), then bring the
// buffers back in line with the engine's cursor (AdsExtendResync), announce a property change,
// or go to the top. A failed check ends the member before its closing step.
//
// Text arguments go to the engine in the ANSI code page, cut to the maximum of their role
// (names 128, file names 260, expressions and conditions 510, keys and scopes 4082).
// Record numbers, lengths and offsets are taken signed; negative values raise ERangeError
// before any engine call.
//
// Threading: a dataset is used by one thread at a time.
#pragma once

#include <QString>
#include <cstdint>
#include <vector>

#include "ads/ace.h"
#include "ads/adsdata.h"

// The engine's field types, in engine code order (code = value + 1).
enum TAdsFieldTypes {
  AdsfldLOGICAL, AdsfldNUMERIC, AdsfldDATE, AdsfldSTRING, AdsfldMEMO, AdsfldBINARY, AdsfldIMAGE,
  AdsfldVARCHAR, AdsfldCOMPACTDATE, AdsfldDOUBLE, AdsfldINTEGER, AdsfldSHORTINT, AdsfldTIME,
  AdsfldTIMESTAMP, AdsfldAUTOINC, AdsfldRAW, AdsfldCURDOUBLE, AdsfldMONEY, AdsfldLONGLONG,
  AdsfldCISTRING, AdsfldROWVERSION, AdsfldMODTIME, AdsfldVARCHARFOX, AdsfldVARBINARYFOX,
  AdsfldSYSTEMFIELD, AdsfldNCHAR, AdsfldNVARCHAR, AdsfldNMEMO
};
enum TAdsExpressionTypes { etLOGICAL, etNUMERIC, etDATE, etSTRING, etRAW };
enum TAdsScopeOptions { soTOP, soBOTTOM };
enum TAdsSeekTypes { stSOFT, stHARD };
enum TAdsBinaryTypes { btBINARY, btIMAGE };
enum TAdsFilenameOptions { foBASENAME, foBASENAMEANDEXT, foFULLPATHNAME };
enum TAdsTrimOptions { optNONE, optLTRIM, optRTRIM, optTRIM };
enum TAdsAOFCustomizeOptions { coADD, coREMOVE, coTOGGLE };
enum TAdsIndexOption { optUNIQUE, optCOMPOUND, optCUSTOM, optDESCENDING, optUSERDEFINED, optCANDIDATE, optBINARY };
// A set of TAdsIndexOption: bit (1 << option) set for each member.
using TAdsIndexOptions = uint32_t;
constexpr TAdsIndexOptions IndexOptionBit(TAdsIndexOption o) { return 1u << static_cast<unsigned>(o); }
enum TAdsMemoDataTypes { mdtMEMO, mdtBINARY, mdtIMAGE };
enum TAdsAOFOptimizeLevel { olFULL, olPART, olNONE };
enum TAdsHandleTypes { htTABLE, htINDEX };

// The engine values of the enumerations above, and the reverse mappings of engine answers.
namespace adsfunc_map {
uint16_t CountingOption(const TAdsTableOptions& options);
uint16_t TableType(TAdsTableTypes t);
uint16_t ScopeOption(TAdsScopeOptions o);
uint16_t SeekType(TAdsSeekTypes t);
uint16_t BinaryType(TAdsBinaryTypes t);
uint16_t FilenameOption(TAdsFilenameOptions o);
uint16_t TrimOption(TAdsTrimOptions o);
uint16_t CustomizeOption(TAdsAOFCustomizeOptions o);
uint32_t IndexOptions(TAdsIndexOptions set);
TAdsFieldTypes FieldType(uint16_t engineCode);
TAdsExpressionTypes ExpressionType(uint16_t engineCode);
TAdsMemoDataTypes MemoDataType(uint16_t engineCode);
TAdsAOFOptimizeLevel OptimizeLevel(uint16_t engineCode);
// The AOF option bits of the dataset's table options (type, resolution, 8192).
uint32_t AofOptions(const TAdsTableOptions& options);
}  // namespace adsfunc_map

class TAdsExtendedDataSet : public TAdsDataSet {
 public:
  using TAdsDataSet::TAdsDataSet;

  // After an engine call that moved or changed the cursor: asks the engine whether the table
  // handle is at end and at beginning, forgets the current buffer, then First at beginning,
  // Last at end, otherwise Resync([]) around the engine's position.
  void AdsExtendResync();

  void AdsCacheRecords(int64_t usNumRecords);
  bool AdsCheckExistence(const QString& strFilename);
  bool AdsIsServerLoaded(const QString& strServer);
  QString AdsGetVersion(uint32_t& ulMajor, uint32_t& ulMinor, char& ucLetter);
  void AdsConvertTable(const QString& strFileName, TAdsTableTypes eTableType);
  void AdsCopyTable(const QString& strFileName);
  void AdsCopyTableContents(TAdsDataSet* poDestinationTable);
  void AdsCopyTableStructure(const QString& strFileName);
  // Returns the new index handle.
  uint32_t AdsCreateIndex(const QString& strFileName, const QString& strTagName, const QString& strExpression,
                          const QString& strCondition, const QString& strWhile, TAdsIndexOptions setIndexOptions);
  uint32_t AdsGetKeyCount();
  uint32_t AdsGetKeyNum();
  double AdsGetRelKeyPos();
  void AdsSetRelKeyPos(double dPos);
  bool AdsInTransaction();
  bool AdsIsRecordDeleted(int64_t ulRecNum);
  bool AdsIsRecordEncrypted(int64_t ulRecNum);
  bool AdsIsTableEncrypted();
  bool AdsIsEncryptionEnabled();
  void AdsEnableEncryption(const QString& strPassword);
  void AdsDisableEncryption();
  void AdsEncryptRecord();
  void AdsDecryptRecord();
  void AdsRecallRecord();
  void AdsRefreshAOF();
  // The optimisation level of the active AOF; its non-optimised part through strNonOptimized.
  TAdsAOFOptimizeLevel AdsGetAOFOptLevel(QString& strNonOptimized);
  void AdsFlushFileBuffers();
  void AdsThreadExit();
  void AdsClearProgressCallback();
  void AdsClearSQLAbortFunc();
  void AdsClearCallbackFunction();
  void AdsRegisterProgressCallBack(ADS_PROGRESS_CALLBACK Value);
  void AdsRegisterSQLAbortFunc(ADS_SQL_ABORT_FUNC Value);
  void AdsRegisterCallbackFunction(ADS_CALLBACK_FUNCTION Value, uint32_t ulCallbackID);
  void AdsRegisterCallbackFunction101(ADS_CALLBACK_FUNCTION101 Value, int64_t qCallbackID);

 protected:
  // Engine code 5068 is ignored; every other code goes to CheckAceResult with this dataset.
  void CheckExtendedResult(uint32_t code);

  // The steps of one member, in the order they run.
  enum Step : unsigned { kBrowse = 1, kActive = 2, kResync = 4, kPropertyChange = 8, kGotoTop = 16 };
  // Runs the preparing steps of steps, then call (which returns the engine code, checked with
  // CheckExtendedResult), then the closing step.
  template <class Call>
  void RunMember(unsigned steps, Call&& call) {
    Prepare(steps);
    CheckExtendedResult(call());
    Finish(steps);
  }
  void Prepare(unsigned steps);
  void Finish(unsigned steps);
  // The index handle of an index order named by tag (AdsGetIndexHandle, result checked).
  uint32_t IndexHandleOfTag(const QString& strTag);
  // The active index handle, or the table handle in natural order.
  uint32_t IndexOrTableHandle() const;
};

class TAdsExtendedTable : public TAdsExtendedDataSet {
 public:
  using TAdsExtendedDataSet::TAdsExtendedDataSet;

  // Rebuilds every index of the open table (AdsReindex61 with the options' index page size).
  // Needs the table open exclusively; the engine's error otherwise.
  void AdsReindex();
  void AdsPackTable();
  void AdsZapTable();
  void AdsAppendRecord();
  void AdsDeleteRecord();
  void AdsWriteRecord();
  void AdsRefreshRecord();

  // ---- navigation and search ----------------------------------------------------------------
  void AdsGotoTop();
  void AdsGotoBottom();
  void AdsGotoRecord(int64_t ulRecNum);
  void AdsGotoBookMark(uint32_t hBookmark);
  void AdsSkip(int32_t lNumRecs);
  uint32_t AdsGetBookMark();
  bool AdsSeek(const QString& strKey, TAdsSeekTypes eSeekType);
  bool AdsSeekLast(const QString& strKey);
  bool AdsLocate(const QString& strExpression, bool bForward);
  bool AdsContinue();
  bool AdsLookupKey(const QString& strTag, const QString& strKey);

  // ---- locks ----------------------------------------------------------------------------------
  // False when the engine reports the lock failed (5035).
  bool AdsLockRecord(int64_t ulRecNum);
  bool AdsLockTable();
  // Always true; a record that was not locked (5062) is no failure.
  bool AdsUnlockRecord(int64_t ulRecNum);
  // A table that was not locked (5087) is no failure.
  void AdsUnlockTable();
  bool AdsIsRecordLocked(int64_t ulRecNum);
  bool AdsIsTableLocked();

  // ---- table questions ----------------------------------------------------------------------
  uint32_t AdsGetRecordNum();
  uint32_t AdsGetRecordCount();
  uint32_t AdsGetRecordLength();
  uint16_t AdsGetNumFields();
  uint16_t AdsGetNumIndexes();
  uint16_t AdsGetNumLocks();
  uint16_t AdsGetTableMemoSize();
  // Fill the array up to its size; return the number of entries the engine filled in.
  uint16_t AdsGetAllIndexes(std::vector<uint32_t>& ahIndexes);
  uint16_t AdsGetAllLocks(std::vector<uint32_t>& aulLocks);
  uint16_t AdsGetFieldDecimals(const QString& strFieldName);
  uint32_t AdsGetFieldLength(const QString& strFieldName);
  uint16_t AdsGetFieldNum(const QString& strFieldName);
  uint32_t AdsGetFieldOffset(const QString& strFieldName);
  TAdsFieldTypes AdsGetFieldType(const QString& strFieldName);
  QString AdsGetFieldName(uint16_t usFieldNum);

  // ---- values of the active record ----------------------------------------------------------
  double AdsGetDouble(const QString& strFieldName);
  int32_t AdsGetJulian(const QString& strFieldName);
  bool AdsGetLogical(const QString& strFieldName);
  int32_t AdsGetLong(const QString& strFieldName);
  int16_t AdsGetShort(const QString& strFieldName);
  int32_t AdsGetMilliseconds(const QString& strFieldName);
  uint32_t AdsGetMemoLength(const QString& strFieldName);
  uint32_t AdsGetBinaryLength(const QString& strFieldName);
  bool AdsIsEmpty(const QString& strFieldName);
  TAdsMemoDataTypes AdsGetMemoDataType(const QString& strFieldName);
  void AdsImageToClipboard(const QString& strFieldName);
  QString AdsGetDate(const QString& strFieldName);
  QString AdsGetTime(const QString& strFieldName);
  QString AdsGetString(const QString& strFieldName, TAdsTrimOptions enumTrimOptions);
  QString AdsGetField(const QString& strFieldName, TAdsTrimOptions enumTrimOptions);
  void AdsSetDouble(const QString& strFieldName, double dValue);
  void AdsSetJulian(const QString& strFieldName, int32_t lDate);
  void AdsSetLogical(const QString& strFieldName, bool bValue);
  void AdsSetLong(const QString& strFieldName, int32_t lValue);
  void AdsSetMilliseconds(const QString& strFieldName, int32_t lTime);
  void AdsSetEmpty(const QString& strFieldName);
  void AdsSetShort(const QString& strFieldName, int16_t sValue);
  void AdsSetDate(const QString& strFieldName, const QString& strDate);
  void AdsSetTime(const QString& strFieldName, const QString& strTime);
  void AdsSetField(const QString& strFieldName, const QString& strValue);
  void AdsSetString(const QString& strFieldName, const QString& strValue);
  void AdsSetBinary(const QString& strFieldName, TAdsBinaryTypes eBinaryType, int64_t ulTotalLength,
                    int64_t ulOffSet, const uint8_t* pucBuf, int64_t ulBufLen);
  // Reads up to ulBufLen bytes from ulOffSet; returns the number read.
  uint32_t AdsGetBinary(const QString& strFieldName, int64_t ulOffSet, uint8_t* pucBuf, int64_t ulBufLen);
  void AdsBinaryToFile(const QString& strFieldName, const QString& strFileName);
  void AdsFileToBinary(const QString& strFieldName, TAdsBinaryTypes eBinaryType, const QString& strFileName);

  // ---- expressions ----------------------------------------------------------------------------
  bool AdsEvalLogicalExpr(const QString& strExpr);
  double AdsEvalNumericExpr(const QString& strExpr);
  QString AdsEvalStringExpr(const QString& strExpr);
  TAdsExpressionTypes AdsEvalTestExpr(const QString& strExpr);
  bool AdsIsExprValid(const QString& strExpr);

  // ---- indexes --------------------------------------------------------------------------------
  // The active record's key; one character per key byte (zero bytes included).
  QString AdsExtractKey();
  uint16_t AdsGetKeyLength();
  TAdsExpressionTypes AdsGetKeyType();
  bool AdsIsIndexCompound();
  bool AdsIsIndexCustom();
  bool AdsIsIndexDescending();
  bool AdsIsIndexUnique();
  QString AdsGetIndexCondition();
  QString AdsGetIndexExpr();
  QString AdsGetIndexFileName(TAdsFilenameOptions eOption);
  QString AdsGetTableFileName(TAdsFilenameOptions eOption);
  // The name of hIndexHandle, or of the active index when 0.
  QString AdsGetIndexName(uint32_t hIndexHandle);
  uint32_t AdsGetIndexHandle(const QString& strIndexOrder);
  uint32_t AdsGetIndexHandleByOrder(uint16_t usOrderNum);
  // 0: natural order; otherwise the index with that order number becomes IndexName.
  void AdsSetIndexByOrder(uint16_t usOrderNum);
  uint32_t AdsGetHandleLong();
  void AdsSetHandleLong(uint32_t ulHandle);
  TAdsHandleTypes AdsGetHandleType(uint32_t hObj);
  QString AdsGetScope(TAdsScopeOptions eScopeOption);
  void AdsSetScope(TAdsScopeOptions eScopeOption, const QString& strScope);
  void AdsClearScope(TAdsScopeOptions eScopeOption);
  void AdsClearAllScopes();
  void AdsAddCustomKey(const QString& strTag);
  void AdsDeleteCustomKey(const QString& strTag);
  void AdsDeleteIndex(const QString& strTag);
  void AdsOpenIndex(const QString& strIndexName);
  void AdsCloseIndex(const QString& strTag);
  void AdsCloseAllIndexes();

  // ---- filters --------------------------------------------------------------------------------
  void AdsClearFilter();
  void AdsClearAOF();
  void AdsSetFilter(const QString& strFilter);
  QString AdsGetFilter();
  void AdsSetAOF(const QString& strFilter);
  QString AdsGetAOF();
  TAdsAOFOptimizeLevel AdsEvalAOF(const QString& strFilter);
  void AdsCustomizeAOF(int64_t ulNumRecs, const uint32_t* pulRecords, TAdsAOFCustomizeOptions eOption);
  bool AdsIsRecordInAOF(int64_t ulRecordNum);

  // ---- tables, errors, encryption -----------------------------------------------------------
  void AdsCreateTable(const QString& strName, TAdsTableTypes eTableType, TAdsCharTypes eCharType,
                      uint16_t usMemoSize, const QString& strFields);
  void AdsShowError(const QString& strCaption);
  QString AdsGetErrorString(uint32_t ulErrorCode);
  uint32_t AdsGetLastError(QString& strError);
  void AdsEncryptTable();
  void AdsDecryptTable();
};
