// The dataset core of the data-access layer: TAdsDataSet, the dataset over one engine table or
// cursor handle, with its option set (TAdsTableOptions), the engine description of its fields
// (TACEFieldDefs), its two field classes (TAdsStringField, TAdsBCDField), the record-buffer
// layout and reading of values, and the implicit connections and path resolution that give a
// dataset without a connection component its engine connection (TDynamicConnList).
//
// TAdsDataSet implements the hooks of the dataset framework (runtime/data/dataset.h) with engine
// calls. Its handle provider AcquireEngineHandle is abstract: the table and query components
// supply it. Every engine return code goes to CheckAceResult with this dataset unless a comment
// names the code as a signal.
//
// Record buffer layout (offsets 16-bit, computed by ComputeRecordLayout):
//   [0, musRecordSize)                 the engine record (blob fields hold a 4-byte marker:
//                                      0 empty or null, all bits set otherwise)
//   [musRecordSize, +FCalcFieldsSize)  calculated-field area: has-value byte + value form
//   [musBlobCacheOfs, +4*blobs)        one TAdsBlobCache pointer slot per blob field
//   [musRecInfoOfs, +8)                record-info block: position (int32), 0, BookmarkFlag
//   [musBookmarkOfs, +FBookmarkSize)   engine bookmark (first 32 bits: the record identifier)
//
// Implementation files live in ads/adsdata/, one concern each. The members of indexes, keys,
// ranges and scopes are declared in the block at the end of TAdsDataSet and implemented in
// ads/adsdata/index_*.cpp.
//
// Threading: a dataset is used by one thread at a time. The dataset registry and the list of
// implicit connections are process-wide and locked.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "ace/ace_types.h"
#include "ads/ads_dataset_client.h"
#include "ads/ads_errors.h"
#include "ads/ads_table_types.h"
#include "ads/adscnnct.h"
#include "runtime/classes.h"
#include "runtime/data/data_link.h"
#include "runtime/data/dataset.h"
#include "runtime/data/field_classes.h"
#include "runtime/data/params.h"

class TAdsDataSet;
class TAdsQuery;
class TAdsBlobCache;

// The extra index files a dataset opens with its table: a sorted list of file names (duplicates
// ignored), normally relative to the dataset's database path. While the owner is open, adding
// an entry opens the file and deleting or clearing closes it; every change marks the owner's
// IndexDefs out of date.
class TAdsIndexFiles : public TStringList {
 public:
  // EADSDatabaseError (5121, no dataset) "TAdsIndexFiles instances require a non-nil owner"
  // when AOwner is null.
  explicit TAdsIndexFiles(TAdsDataSet* AOwner);
  int Add(const QString& strValue);
  // A sorted list refuses positional inserts (EStringListError), so nothing is opened then.
  void Insert(int Index, const QString& S);
  void Delete(int Index);
  void Clear();

 private:
  TAdsDataSet* mpoOwner;
};

// Creates an index order from a definition on an open table (table creation): the engine
// table type decides compound options and whether the name is the tag (every type but NTX, 1)
// or the file (NTX). EADSDatabaseError (5121, no dataset) "ixCaseInsensitive is not supported
// with ixExpression indexes" before any engine call.
void CreateIndexFromDef(uint32_t hTable, uint16_t usTableType, const TIndexDef& def, const QString& strCollation,
                        uint32_t ulPageSize);

// ---- table creation ---------------------------------------------------------------------------

// How CreateTable(eOptions) makes the table: a set of TAdsCreateTableOption, bit n for value n.
enum TAdsCreateTableOption { ctFreeTable = 0, ctDictionaryTable = 1 };
using TAdsCreateTableOptions = unsigned;
constexpr TAdsCreateTableOptions AdsCreateTableOptionBit(TAdsCreateTableOption o) {
  return 1u << static_cast<unsigned>(o);
}

// The engine's field-definition string for FieldDefs in a table of engine type usTableType
// (3 native, else a DBF type): "NAME,Type[,size[,decimals]];" per field, in order. A type the
// table type cannot store raises EADSDatabaseError (dataset, 5121) "<ftName> is not a
// supported field type.".
QString AdsFieldDefinitionString(AdsDataSetClient* dataset, TFieldDefs& FieldDefs, uint16_t usTableType);

// The fixed fields at the start of a key buffer block; the block continues with a record
// image (RecordSize bytes) and one 16-bit length per table field (0xFFFF: not given).
struct TAdsKeyBuffer {
  bool Modified = false;
  bool Exclusive = false;
  int32_t FieldCount = 0;
  uint32_t BufferSize = 0;
};
constexpr size_t kKeyBufferHeaderSize = sizeof(TAdsKeyBuffer);

// ---- option value types ---------------------------------------------------------------------

// The 118 character types, in their fixed order: ANSI, OEM, 66 FoxPro collations, 50 engine
// collations. X(name) for each.
#define ADS_CHAR_TYPE_LIST(X)                                                                     \
  X(ANSI) X(OEM) X(CZECH_VFP_CI_AS_1250) X(GENERAL_VFP_CI_AS_1250) X(HUNGARY_VFP_CI_AS_1250)      \
  X(MACHINE_VFP_BIN_1250) X(POLISH_VFP_CI_AS_1250) X(SLOVAK_VFP_CI_AS_1250)                       \
  X(MACHINE_VFP_BIN_1251) X(RUSSIAN_VFP_CI_AS_1251) X(DUTCH_VFP_CI_AS_1252)                       \
  X(GENERAL_VFP_CI_AS_1252) X(GERMAN_VFP_CI_AS_1252) X(ICELAND_VFP_CI_AS_1252)                    \
  X(MACHINE_VFP_BIN_1252) X(NORDAN_VFP_CI_AS_1252) X(SPANISH_VFP_CI_AS_1252)                      \
  X(SWEFIN_VFP_CI_AS_1252) X(UNIQWT_VFP_CS_AS_1252) X(GREEK_VFP_CI_AS_1253)                       \
  X(MACHINE_VFP_BIN_1253) X(GENERAL_VFP_CI_AS_1254) X(MACHINE_VFP_BIN_1254)                       \
  X(TURKISH_VFP_CI_AS_1254) X(DUTCH_VFP_CI_AS_437) X(GENERAL_VFP_CI_AS_437)                       \
  X(GERMAN_VFP_CI_AS_437) X(ICELAND_VFP_CI_AS_437) X(MACHINE_VFP_BIN_437)                         \
  X(NORDAN_VFP_CI_AS_437) X(SPANISH_VFP_CI_AS_437) X(SWEFIN_VFP_CI_AS_437)                        \
  X(UNIQWT_VFP_CS_AS_437) X(GENERAL_VFP_CI_AS_620) X(MACHINE_VFP_BIN_620)                         \
  X(POLISH_VFP_CI_AS_620) X(GREEK_VFP_CI_AS_737) X(MACHINE_VFP_BIN_737) X(DUTCH_VFP_CI_AS_850)    \
  X(GENERAL_VFP_CI_AS_850) X(ICELAND_VFP_CI_AS_850) X(MACHINE_VFP_BIN_850)                        \
  X(NORDAN_VFP_CI_AS_850) X(SPANISH_VFP_CI_AS_850) X(SWEFIN_VFP_CI_AS_850)                        \
  X(UNIQWT_VFP_CS_AS_850) X(CZECH_VFP_CI_AS_852) X(GENERAL_VFP_CI_AS_852)                         \
  X(HUNGARY_VFP_CI_AS_852) X(MACHINE_VFP_BIN_852) X(POLISH_VFP_CI_AS_852)                         \
  X(SLOVAK_VFP_CI_AS_852) X(GENERAL_VFP_CI_AS_857) X(MACHINE_VFP_BIN_857)                         \
  X(TURKISH_VFP_CI_AS_857) X(GENERAL_VFP_CI_AS_861) X(ICELAND_VFP_CI_AS_861)                      \
  X(MACHINE_VFP_BIN_861) X(GENERAL_VFP_CI_AS_865) X(MACHINE_VFP_BIN_865)                          \
  X(NORDAN_VFP_CI_AS_865) X(SWEFIN_VFP_CI_AS_865) X(MACHINE_VFP_BIN_866)                          \
  X(RUSSIAN_VFP_CI_AS_866) X(CZECH_VFP_CI_AS_895) X(GENERAL_VFP_CI_AS_895)                        \
  X(MACHINE_VFP_BIN_895) X(SLOVAK_VFP_CI_AS_895) X(DANISH_ADS_CS_AS_1252)                         \
  X(DUTCH_ADS_CS_AS_1252) X(ENGL_AMER_ADS_CS_AS_1252) X(ENGL_CAN_ADS_CS_AS_1252)                  \
  X(ENGL_UK_ADS_CS_AS_1252) X(FINNISH_ADS_CS_AS_1252) X(FRENCH_ADS_CS_AS_1252)                    \
  X(FRENCH_CAN_ADS_CS_AS_1252) X(GERMAN_ADS_CS_AS_1252) X(ICELANDIC_ADS_CS_AS_1252)               \
  X(ITALIAN_ADS_CS_AS_1252) X(NORWEGIAN_ADS_CS_AS_1252) X(PORTUGUESE_ADS_CS_AS_1252)              \
  X(SPANISH_ADS_CS_AS_1252) X(SPAN_MOD_ADS_CS_AS_1252) X(SWEDISH_ADS_CS_AS_1252)                  \
  X(RUSSIAN_ADS_CS_AS_1251) X(ASCII_ADS_CS_AS_1252) X(TURKISH_ADS_CS_AS_1254)                     \
  X(POLISH_ADS_CS_AS_1250) X(BALTIC_ADS_CS_AS_1257) X(UKRAINIAN_ADS_CS_AS_1251)                   \
  X(DUDEN_DE_ADS_CS_AS_1252) X(USA_ADS_CS_AS_437) X(DANISH_ADS_CS_AS_865)                         \
  X(DUTCH_ADS_CS_AS_850) X(FINNISH_ADS_CS_AS_865) X(FRENCH_ADS_CS_AS_863)                         \
  X(GERMAN_ADS_CS_AS_850) X(GREEK437_ADS_CS_AS_437) X(GREEK851_ADS_CS_AS_851)                     \
  X(ICELD850_ADS_CS_AS_850) X(ICELD861_ADS_CS_AS_861) X(ITALIAN_ADS_CS_AS_850)                    \
  X(NORWEGN_ADS_CS_AS_865) X(PORTUGUE_ADS_CS_AS_860) X(SPANISH_ADS_CS_AS_852)                     \
  X(SWEDISH_ADS_CS_AS_865) X(MAZOVIA_ADS_CS_AS_852) X(PC_LATIN_ADS_CS_AS_852)                     \
  X(ISOLATIN_ADS_CS_AS_850) X(RUSSIAN_ADS_CS_AS_866) X(NTXCZ852_ADS_CS_AS_852)                    \
  X(NTXCZ895_ADS_CS_AS_895) X(NTXSL852_ADS_CS_AS_852) X(NTXSL895_ADS_CS_AS_895)                   \
  X(NTXHU852_ADS_CS_AS_852) X(NTXPL852_ADS_CS_AS_852) X(TURKISH_ADS_CS_AS_857)                    \
  X(BOSNIAN_ADS_CS_AS_775)

#define ADS_CHAR_TYPE_ENUM_ITEM(name) name,
enum TAdsCharTypes : uint8_t { ADS_CHAR_TYPE_LIST(ADS_CHAR_TYPE_ENUM_ITEM) };
#undef ADS_CHAR_TYPE_ENUM_ITEM
constexpr int kAdsCharTypeCount = 118;

// The value's name as written in code ("GERMAN_VFP_CI_AS_1252"); empty outside the range.
QString AdsCharTypeName(int value);
// The collation text the engine knows the value by: the name, except the four engine
// collations whose names carry parentheses ("ENGL(AMER)_ADS_CS_AS_1252", ...). Empty outside
// the range.
QString AdsCharTypeCollation(int value);

enum TAdsLockTypes { Proprietary, Compatible };
enum TAdsRespectFilters { IGNORE_WHEN_COUNTING, RESPECT_WHEN_COUNTING };
enum TAdsRespectScopes { IGNORE_SCOPES_WHEN_COUNTING, RESPECT_SCOPES_WHEN_COUNTING };
using TAdsIndexPageSizes = uint16_t;
enum TAdsRecordCacheTypes { rcNone, rcStandard, rcAggressive };
enum TAdsAOFTypes { atDynamic, atKeySet, atFixed };
enum TAdsRecordLockingModes { lmPessimistic, lmOptimistic };
enum TAdsTableCachingOption { tcNone, tcReads, tcWrites };
enum TAdsLocateBehavior { lbFastestPossible, lbFindFirst };
enum TAdsIndexTypes { ndxNone, ndxIndexName, ndxIndexField, ndxDefault };
enum TAdsSequenceLevel { slStandard, slExact };

// Update kinds and actions of the provider's update-record hook.
enum TUpdateKind { ukModify, ukInsert, ukDelete };
enum TUpdateAction { uaFail, uaAbort, uaSkip, uaRetry, uaApplied };

// ---- TAdsTableOptions -------------------------------------------------------------------------

// The option set of one dataset, owned by it and bound to it by SetTableInstance. "Refused
// while open" setters raise EADSDatabaseError (5121) "Table must not be Active." while the
// dataset is active.
class TAdsTableOptions : public TPersistent {
 public:
  TAdsTableOptions();
  void SetTableInstance(TAdsDataSet* poAdsTable) { mpoAdsTable = poAdsTable; }
  TAdsDataSet* TableInstance() const { return mpoAdsTable; }

  TAdsLockTypes AdsLockType() const { return meAdsLockType; }
  void SetAdsLockType(TAdsLockTypes value);  // refused while open
  TAdsCharTypes AdsCharType() const { return meAdsCharType; }
  // Refused while open; for ttAdsCDX / ttAdsNTX only ANSI and OEM; 118 or above is refused.
  void SetAdsCharType(int value);
  TAdsRespectFilters AdsFilterOptions() const { return meAdsRespectFilters; }
  void SetAdsFilterOptions(TAdsRespectFilters value) { meAdsRespectFilters = value; }
  TAdsRespectScopes AdsScopeOptions() const { return meAdsRespectScopes; }
  void SetAdsScopeOptions(TAdsRespectScopes value) { meAdsRespectScopes = value; }
  bool AdsFreshRecordCount() const { return mbRefreshCount; }
  void SetAdsFreshRecordCount(bool value) { mbRefreshCount = value; }
  bool AdsAOFResolveImmediate() const { return mbAOFResolveImmediate; }
  void SetAdsAOFResolveImmediate(bool value) { mbAOFResolveImmediate = value; }
  bool AdsRightsCheck() const { return mbAdsRightsCheck; }
  void SetAdsRightsCheck(bool value);  // refused while open
  bool AdsOptimizedFilters() const { return mbAdsOptimizedFilters; }
  // Re-applies an active filter under the new setting (restoring the old one on failure).
  void SetAdsOptimizedFilters(bool value);
  TAdsIndexPageSizes AdsIndexPageSize() const { return mulIndexPageSize; }
  void SetAdsIndexPageSize(TAdsIndexPageSizes value) { mulIndexPageSize = value; }
  TAdsRecordCacheTypes AdsRecordCache() const { return meAdsRecordCache; }
  // While open, tells the engine first (AdsCacheRecords 0 / 10 / 100).
  void SetAdsRecordCache(TAdsRecordCacheTypes value);
  TAdsAOFTypes AdsAOFType() const { return meAdsAOFType; }
  void SetAdsAOFType(TAdsAOFTypes value) { meAdsAOFType = value; }
  bool AdsAutoKeyFieldCount() const { return mbAutoKeyFieldCount; }
  void SetAdsAutoKeyFieldCount(bool value) { mbAutoKeyFieldCount = value; }
  bool AdsCalcFieldsBeforeFilter() const { return mbCalcFieldsBeforeFilter; }
  void SetAdsCalcFieldsBeforeFilter(bool value) { mbCalcFieldsBeforeFilter = value; }
  TAdsRecordLockingModes AdsRecordLockingMode() const { return meRecordLockingMode; }
  void SetAdsRecordLockingMode(TAdsRecordLockingModes value) { meRecordLockingMode = value; }
  bool AdsPreserveSpaces() const { return mbPreserveSpaces; }
  void SetAdsPreserveSpaces(bool value) { mbPreserveSpaces = value; }
  bool AdsNumericsAsFloats() const { return mbNumericsAsFloats; }
  void SetAdsNumericsAsFloats(bool value) { mbNumericsAsFloats = value; }
  QString AdsCollation() const { return mstrCollation; }
  void SetAdsCollation(const QString& value) { mstrCollation = value; }
  TAdsTableCachingOption AdsCachingOption() const { return meAdsCachingOption; }
  void SetAdsCachingOption(TAdsTableCachingOption value);  // refused while open
  TAdsLocateBehavior AdsLocateBehavior() const { return meAdsLocateBehavior; }
  void SetAdsLocateBehavior(TAdsLocateBehavior value) { meAdsLocateBehavior = value; }

 private:
  void refuseWhileOpen() const;

  TAdsDataSet* mpoAdsTable = nullptr;
  TAdsLockTypes meAdsLockType = Proprietary;
  TAdsCharTypes meAdsCharType = ANSI;
  TAdsRespectFilters meAdsRespectFilters = IGNORE_WHEN_COUNTING;
  TAdsRespectScopes meAdsRespectScopes = IGNORE_SCOPES_WHEN_COUNTING;
  bool mbRefreshCount = false;
  bool mbAOFResolveImmediate = false;
  bool mbAdsRightsCheck = false;
  bool mbAdsOptimizedFilters = false;
  TAdsIndexPageSizes mulIndexPageSize = 0;
  TAdsRecordCacheTypes meAdsRecordCache = rcNone;
  TAdsAOFTypes meAdsAOFType = atDynamic;
  bool mbAutoKeyFieldCount = false;
  bool mbCalcFieldsBeforeFilter = false;
  TAdsRecordLockingModes meRecordLockingMode = lmPessimistic;
  bool mbPreserveSpaces = false;
  bool mbNumericsAsFloats = false;
  QString mstrCollation;
  TAdsTableCachingOption meAdsCachingOption = tcNone;
  TAdsLocateBehavior meAdsLocateBehavior = lbFastestPossible;
};

// ---- engine field descriptions ----------------------------------------------------------------

class TACEFieldDefs;

// The engine's description of one field.
class TACEFieldDef {
 public:
  explicit TACEFieldDef(TACEFieldDefs* collection) : FCollection(collection) {}

  QString FieldName() const { return FName; }
  void SetFieldName(const QString& v) { FName = v; }
  uint16_t FieldNumber() const { return FNumber; }
  void SetFieldNumber(uint16_t v) { FNumber = v; }
  uint32_t Offset() const { return FOffset; }
  void SetOffset(uint32_t v) { FOffset = v; }
  // Bytes in the engine record (twice the characters for the national string types 26, 27).
  uint32_t Length() const { return FLength; }
  void SetLength(uint32_t v) { FLength = v; }
  uint16_t FieldType() const { return FType; }
  void SetFieldType(uint16_t v) { FType = v; }
  uint16_t Decimals() const { return FDecimals; }
  void SetDecimals(uint16_t v) { FDecimals = v; }
  // Bit value 2: update granted; 4: insert granted.
  uint8_t Permissions() const { return FPermissions; }
  void SetPermissions(uint8_t v) { FPermissions = v; }
  bool Modified() const { return FModified; }
  void SetModified(bool v) { FModified = v; }
  bool Nullable() const { return FNullable; }
  void SetNullable(bool v) { FNullable = v; }
  TACEFieldDefs* Collection() const { return FCollection; }

 private:
  TACEFieldDefs* FCollection;
  QString FName;
  uint16_t FNumber = 0;
  uint32_t FOffset = 0;
  uint32_t FLength = 0;
  uint16_t FType = 0;
  uint16_t FDecimals = 0;
  uint8_t FPermissions = 0;
  bool FModified = false;
  bool FNullable = false;
};

// The engine descriptions of a dataset's fields, in engine field order.
class TACEFieldDefs {
 public:
  explicit TACEFieldDefs(TPersistent* Owner) : FOwner(Owner) {}
  TACEFieldDefs(const TACEFieldDefs&) = delete;
  TACEFieldDefs& operator=(const TACEFieldDefs&) = delete;

  TACEFieldDef* Add();
  int Count() const { return static_cast<int>(FItems.size()); }
  // An index outside 0..Count()-1 raises ERangeError.
  TACEFieldDef* Items(int Index) const;
  void SetItems(int Index, const TACEFieldDef& value);
  TACEFieldDef* operator[](int Index) const { return Items(Index); }
  // The first item whose name equals FieldName ignoring case; -1 when none.
  int IndexOf(const QString& FieldName) const;
  void Clear() { FItems.clear(); }
  TPersistent* Owner() const { return FOwner; }

 private:
  TPersistent* FOwner;
  std::vector<std::unique_ptr<TACEFieldDef>> FItems;
};

// ---- field classes ------------------------------------------------------------------------------

class TAdsStringField : public TStringField {
 public:
  explicit TAdsStringField(TComponent* owner) : TStringField(owner) {}
  // True for fields of the engine's case-insensitive string type (20); set by the open.
  bool CaseInsensitive() const { return FCaseInsensitive; }

 private:
  friend class TAdsDataSet;
  bool FCaseInsensitive = false;
};

class TAdsBCDField : public TBCDField {
 public:
  // Currency is true at creation unless the owner is being loaded from a stream.
  explicit TAdsBCDField(TComponent* owner);
};

// ---- blob caches and blob streams ---------------------------------------------------------------

// An in-memory copy of one blob of one record: each record buffer owns one per blob field. It
// is filled from the engine on demand (RefreshCache), changed by blob streams, and written to
// the engine by Flush when the record is posted. Text blobs hold their 8-bit characters, the
// national memo (engine type 28) UTF-16, binary blobs their bytes; never a terminating NUL.
// Engine failures raise EADSDatabaseError without a dataset.
class TAdsBlobCache : public TMemoryStream {
 public:
  TAdsBlobCache();

  // Fills the cache with field ulFieldNo of record ulRecNo (0: a record not yet stored, whose
  // blob is empty) of table hAdsTable. Without bForceReread a cache already holding that blob
  // only rewinds. May move the engine to the record and leaves it there. A blob the engine
  // reports as absent (5068, 5022) leaves the cache empty.
  void RefreshCache(uint32_t hAdsTable, uint32_t ulFieldNo, uint32_t ulRecNo, bool bForceReread);
  int64_t Read(void* Buffer, int64_t Count) override;
  // Writes at the position and marks the content modified.
  int64_t Write(const void* Buffer, int64_t Count) override;
  // Sizes the content and marks it modified.
  void SetSize(int64_t size) override;
  // Empties the content and marks it modified.
  void Truncate();
  // Empties the content and forgets which blob it held; not modified.
  void ClearCache();
  // Writes a modified content to the blob it was filled from (AdsSetField, AdsSetFieldW for
  // the national memo); afterwards not modified.
  void Flush();
  bool IsCacheModified() const { return mbBlobModified; }
  // Marks the content modified again (a post that failed after flushing it).
  void SetCacheModified(bool value) { mbBlobModified = value; }
  uint32_t RecordNumber() const { return mulRecNum; }
  // The new record the cache belongs to was given its number by the engine.
  void AssignRecord(uint32_t ulRecNo) { mulRecNum = ulRecNo; }

 private:
  uint32_t mhAdsTable;
  uint32_t mulRecNum;
  uint32_t mulFieldNo;
  bool mbBlobModified;
};

// A stream over the blob cache of the active record buffer, handed out by CreateBlobStream and
// owned by the caller. It must not outlive the buffer state it was opened in. Without a usable
// buffer (a closed dataset, a state without one) it has no cache: it reads nothing and refuses
// to write. Its refusals are EADSDatabaseError (5121) without a dataset.
class TAdsBlobStream : public TStream {
 public:
  // Opens the stream on Field in Mode (a field of another kind of dataset gets no cache): the
  // cache is refreshed from the engine as needed; bmWrite starts empty and counts as a change.
  // "Invalid blob open on non-blob field." when the engine field is not a blob.
  TAdsBlobStream(TBlobField* Field, TBlobStreamMode Mode);
  // A stream that changed the content marks the field modified and sends deFieldChange.
  ~TAdsBlobStream() override;

  int64_t Read(void* Buffer, int64_t Count) override;
  // "Error modifying read only blob." in bmRead; "Cannot write to blob in current state."
  // without a cache.
  int64_t Write(const void* Buffer, int64_t Count) override;
  // Empties the content; refused as Write is.
  void Truncate();
  // Sizes the content; refused as Write is.
  void SetSize(int64_t size) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;

 private:
  void checkWritable() const;

  TBlobField* moField;
  TBlobStreamMode moMode;
  TAdsBlobCache* moAdsBlobCach = nullptr;
  bool mbModified = false;
};

// ---- field-type mapping and version text ------------------------------------------------------

// The field definition made from an engine field: its type, Size and Precision (-1: left as
// the definition's default).
struct TAdsFieldMapping {
  TFieldType type = ftUnknown;
  int size = 0;
  int precision = -1;
};

// Maps an engine field (type code, engine length, decimals) to its field definition. Numerics
// (type 2) become ftBCD / ftFMTBcd in native tables (aceTableType 3) unless numericsAsFloats,
// else ftFloat / ftSmallint. A type outside the mapping raises EADSDatabaseError (5121)
// "Unknown field type (<code>) encountered." for dataset.
TAdsFieldMapping MapEngineFieldType(AdsDataSetClient* dataset, uint16_t engineType, uint32_t length,
                                    uint16_t decimals, uint16_t aceTableType, bool numericsAsFloats);

// "11.10.0.30 (ACE <major>.<minor, two digits><letter>)"; a blank or NUL letter is left out.
QString FormatAdsVersionText(uint32_t major, uint32_t minor, uint8_t letter);

// ---- the dataset ----------------------------------------------------------------------------------

class TAdsDataSet : public TDataSet, public AdsDataSetClient {
 public:
  using TUpdateRecordEvent = std::function<void(TDataSet* DataSet, TUpdateKind UpdateKind, TUpdateAction& UpdateAction)>;

  explicit TAdsDataSet(TComponent* AOwner);
  ~TAdsDataSet() override;

  // ---- AdsDataSetClient -----------------------------------------------------------------------
  TComponent& ClientComponent() override { return *this; }
  QString DatabaseName() const override { return mstrDatabaseName; }
  // Resolution through connection components, aliases and paths; refused while open.
  void SetDatabaseName(const QString& value) override;
  void FollowConnectionRename(const QString& value) override { mstrDatabaseName = value; }
  QString GetDatabasePath() override;
  QString TableName() const override { return mstrTableName; }
  void SetTableType(TAdsTableTypes value) override { TakeTableType(value); }
  TAdsConnection* AdsConnection() const override { return mpoAdsConnection; }
  void DetachConnection() override { mpoAdsConnection = nullptr; }
  void SetActive(bool value) override { TDataSet::SetActive(value); }
  // Nothing here; the query component forgets its statement.
  void InvalidateAceHandles() override {}
  void UpdateDefaultIndex() override;
  bool IsBrowsing() const override { return State() == dsBrowse; }
  void Refresh() override { TDataSet::Refresh(); }

  // ---- identity and connection ------------------------------------------------------------
  TAdsTableTypes TableType() const { return meTableType; }
  // Attaches the dataset to a connection component (null: none); refused while open.
  virtual void SetAdsConnection(TAdsConnection* value);
  QString GetNativeDatabasePath() { return GetDatabasePath(); }
  // The connection handle: the component's (connecting it), else an implicit connection on
  // the database path; 0 when none could be had.
  uint32_t ConnectAndGetHandle();
  // Appends the table file names of the dataset's database ("*.adt" or "*.dbf", or the tables
  // of a dictionary) to poCurrList.
  void GetFiles(TStringList* poCurrList);

  // ---- handles ------------------------------------------------------------------------------
  uint32_t Handle() const { return mlHandle; }
  uint32_t ActiveHandle() const { return mlActiveHandle; }
  // Before opening: an engine cursor to adopt instead of acquiring one.
  void SetActiveHandle(uint32_t value) { mlActiveHandle = value; }
  // AdsGetTableConnection of the open table; 0 when the handle has no connection (5023).
  uint32_t GetAceConnectionHandle();
  uint32_t GetAceTableHandle() const { return mlHandle; }
  // The index order handle, or -1 in natural order.
  uint32_t GetAceIndexHandle() const { return mlActiveHandle == mlHandle ? kNoHandle : mlActiveHandle; }
  uint32_t GetAceOrderHandle() const { return mlActiveHandle; }
  // Closes the dataset and opens it again on handle (nothing is opened for 0 or -1).
  void AdoptCursorHandle(uint32_t handle);
  // Reads the opened table's character type and collation into the option set.
  void SyncCharType(uint32_t handle);

  // ---- options and descriptions ---------------------------------------------------------------
  TAdsTableOptions& AdsTableOptions() { return *mpoAdsTableOptions; }
  const TAdsTableOptions& AdsTableOptions() const { return *mpoAdsTableOptions; }
  TACEFieldDefs& ACEFieldDefs() { return *FACEFieldDefs; }
  QString GetEffectiveCollation() const;
  // "11.10.0.30 (ACE <major>.<minor><letter>)"; the setter ignores its value.
  QString Version();
  void SetVersion(const QString&) {}
  int AdsBinaryFldLen() const { return mlBinaryFldLen; }
  void SetAdsBinaryFldLen(int value) { mlBinaryFldLen = value; }
  bool StoreActive() const { return FbStoreActive; }
  void SetStoreActive(bool value) { FbStoreActive = value; }
  QString InfoStructure() const { return mstrStruct; }
  void SetInfoStructure(const QString& value) { mstrStruct = value; }
  bool Sequenced() const { return mbIsSequenced; }
  void SetSequenced(bool value) { mbIsSequenced = value; }
  TAdsSequenceLevel SequencedLevel() const { return meSeqLevel; }
  void SetSequencedLevel(TAdsSequenceLevel value) { meSeqLevel = value; }
  TMasterDataLink* MasterLink() const { return mpoMasterLink.get(); }
  // The master's fields the dataset follows (";"-separated), through the master link.
  QString MasterFields() const { return mstrMasterField; }
  void SetMasterFields(const QString& value);
  // The data source of the master; "Circular Data Link" when it leads back to this dataset.
  TDataSource* MasterSource() const { return mpoMasterLink->DataSource(); }
  // A dataset is linked to the data source it follows (the framework's link test walks these).
  TDataSource* DataSource() const override { return mpoMasterLink->DataSource(); }
  void SetMasterSource(TDataSource* value);
  TIndexDefs& IndexDefs() { return *mpoIndexDefs; }
  TUpdateRecordEvent OnUpdateRecord;

  // ---- table-level operations ---------------------------------------------------------------
  // Lock / unlock the whole table (nothing when closed or exclusive); unlocking a table that
  // is not locked (5087) is no failure.
  void LockTable();
  void UnlockTable();
  // Removes every record: on the open table (after posting or cancelling an edit), or through
  // a handle of its own that is closed again when the dataset is closed.
  void EmptyTable();
  // Deletes the table's files through a handle of its own; requires the dataset closed.
  void DeleteTable();
  // Removes deleted records of the open table and shows the records again (closed: nothing).
  void PackTable();
  // Posts or cancels an edit, then asks the engine to write its buffers.
  void FlushBuffers();
  // Makes the memo or blob field strFieldName read and write as binary. EADSDatabaseError
  // (5121) "Table must be Active.", "Invalid field name for the given table", "Invalid field
  // type to begin with to change to binary".
  void ADSSetFieldToBinary(const QString& strFieldName);
  // A stream over the blob field's value in the active buffer. Writing modes need dsEdit or
  // dsInsert: "Table must be in Edit or Insert state to open blob stream in Write Mode."
  std::unique_ptr<TStream> CreateBlobStream(TField* Field, TBlobStreamMode Mode) override;

  // ---- filters, Locate and Lookup ------------------------------------------------------------
  // Storing the text while open and Filtered applies it again; a text the engine refuses (its
  // expression error, naming the position) leaves the previous text and filter in force.
  void SetFilter(const QString& text) override;
  // While a handle is held, true activates and false removes the filter (a refused activation
  // leaves the flag as it was); then, when open, First.
  void SetFiltered(bool value) override;
  // Moves to the first record found with the key values (see LocateCore); false leaves the
  // dataset where it was.
  bool Locate(const QString& KeyFields, const QVariant& KeyValues, TLocateOptions Options) override;
  // The value(s) of ResultFields of the record with the key values (null when none); the
  // visible records stay as they are, the engine position is re-read at the next access.
  QVariant Lookup(const QString& KeyFields, const QVariant& KeyValues, const QString& ResultFields) override;
  // From the top of the navigation order, the first record on which the expression (ANSI) holds;
  // whether one was found.
  bool LocateLocally(const QString& strFilter);
  // The index order Locate may seek on besides the active one, for lbFindFirst: the active
  // order, or -1 in natural order.
  virtual uint32_t CurrentOrderHandle() { return mlActiveHandle == mlHandle ? kNoHandle : mlActiveHandle; }
  // Rearranges the orders Locate tries in natural order; nothing here.
  virtual void PreferCurrentOrder(std::vector<uint32_t>& candidates) { (void)candidates; }

  // ---- records (framework overrides) --------------------------------------------------------
  bool CanModify() const override { return mbCanModify && !mbReadOnly; }
  int RecordSize() override { return musRecordSize; }
  int RecNo() override;
  void SetRecNo(int value) override;
  int RecordCount() override;
  bool IsSequenced() override { return mbIsSequenced; }
  bool GetCurrentRecord(TRecordBuffer buffer) override;
  bool GetFieldData(TField* field, void* value) override;
  void StoreFieldData(TField* field, const void* value) override;
  bool BookmarkValid(const TBookmark& bookmark) override;
  int CompareBookmarks(const TBookmark& bookmark1, const TBookmark& bookmark2) override;
  void DataEvent(TDataEvent event, intptr_t info = 0) override;
  // Reads the engine's current bookmark, moves the engine to the active buffer's record and
  // returns the bookmark read first (0 in dsCalcFields).
  uint32_t AdsActiveRecord();
  // The buffer field access uses in the current state, or null.
  TRecordBuffer ActiveRecordBuffer();

  // ---- byte rules on a raw record image -------------------------------------------------------
  // Whether the field's bytes (raw, length bytes) hold no value, by table type (3 native,
  // 4 FoxPro, other DBF). record is the whole record image (FoxPro null flags).
  bool IsFieldEmpty(const uint8_t* raw, uint32_t length, const TACEFieldDef& field, const uint8_t* record,
                    uint16_t tableType);
  // Writes the field's value form into value from the record image.
  void ConvertFieldValue(TField* field, const TACEFieldDef& def, const uint8_t* record, void* value,
                         uint16_t tableType);

  // ---- refused members ----------------------------------------------------------------------
  [[noreturn]] int TableLevel() const;
  [[noreturn]] void SetTableLevel(int value);
  [[noreturn]] void* Database() const;
  [[noreturn]] void* DBHandle() const;
  [[noreturn]] void* DBLocale() const;
  [[noreturn]] void* DBSession() const;
  [[noreturn]] void* Provider() const;
  [[noreturn]] void* Locale() const;
  [[noreturn]] bool ExpIndex() const;
  [[noreturn]] QString SessionName() const;
  [[noreturn]] void SetSessionName(const QString& value);
  [[noreturn]] bool CacheBlobs() const;
  [[noreturn]] void SetCacheBlobs(bool value);
  [[noreturn]] bool CachedUpdates() const;
  [[noreturn]] void SetCachedUpdates(bool value);
  [[noreturn]] void* UpdateObject() const;
  [[noreturn]] void SetUpdateObject(void* value);
  [[noreturn]] bool UpdatesPending() const;
  [[noreturn]] int UpdateRecordTypes() const;
  [[noreturn]] void SetUpdateRecordTypes(int value);
  [[noreturn]] void BatchMove(TDataSet* source, int mode);
  [[noreturn]] void CheckOpen(uint32_t status);
  [[noreturn]] void ApplyUpdates();
  [[noreturn]] void CancelUpdates();
  [[noreturn]] void CommitUpdates();
  [[noreturn]] bool ConstraintsDisabled();
  [[noreturn]] void DisableConstraints();
  [[noreturn]] void EnableConstraints();
  [[noreturn]] void FetchAll();
  [[noreturn]] void GetIndexInfo();
  [[noreturn]] void RevertRecord();
  TUpdateStatus UpdateStatus() override;

  // ---- provider support -----------------------------------------------------------------------
  bool PSIsSQLSupported() const { return true; }
  bool PSIsSQLBased() const { return true; }
  QString PSGetQuoteChar() const { return QStringLiteral("\""); }
  bool PSInTransaction();
  void PSStartTransaction();
  void PSEndTransaction(bool Commit);
  void PSReset();
  bool PSUpdateRecord(TUpdateKind UpdateKind, TDataSet* Delta);
  // Runs a statement through the connection component (required), with the option set's open
  // settings and a cached statement, and returns the rows it changed. When ResultSet is given,
  // the statement's cursor is handed to a new query without owner, stored there (it is left
  // closed when the statement gave no cursor).
  int PSExecuteStatement(const QString& ASQL, TParams* AParams);
  int PSExecuteStatement(const QString& ASQL, TParams* AParams, std::unique_ptr<TDataSet>* ResultSet);
  // The open settings of provider statements, from the option set.
  TAdsDatasetOptions ProviderDatasetOptions() const;

  // ---- table creation and renaming (table_creation.cpp) ---------------------------------------
  // Creates the table TableName describes with FieldDefs (filled from the persistent fields
  // when empty) and IndexDefs, free beside the database path or, on a dictionary connection,
  // in the dictionary (whose primary key an ixPrimary definition becomes), and closes it again.
  void CreateTable();
  void CreateTable(TAdsCreateTableOptions eOptions);
  // Renames the table in the data dictionary of the connection component, then takes the new
  // name; "The method RenameTable in TAdsDataSet is not supported on free tables." otherwise.
  void RenameTable(const QString& NewTableName);
  // The TableName writer; the table component adds its rules.
  virtual void SetTableName(const QString& value) { mstrTableName = value; }

  static constexpr uint32_t kNoHandle = 0xFFFFFFFFu;

 protected:
  virtual void InternalCreateTable(TAdsCreateTableOptions eOptions);

  // Makes `value` the table type and its engine code the one the table opens, is created and
  // restructured with: a type that an alias or a connection gives keeps the two in step.
  void TakeTableType(TAdsTableTypes value) {
    meTableType = value;
    musOpenTableType = EngineCodeOfTableType(value);
  }

  // ---- the handle provider --------------------------------------------------------------------
  // Opens the table or runs the statement, sets musAceTableType (AdsGetTableType), runs
  // SyncCharType on the new handle and returns it (never -1).
  virtual uint32_t AcquireEngineHandle() = 0;

  // ---- framework hooks ----------------------------------------------------------------------
  void ClearCalculatedArea(TRecordBuffer buffer) override;
  void FireAfterOpen() override;
  void FireOnNewRecord() override;
  bool SearchRecord(bool restart, bool forward) override;
  TFieldClass FieldClassForType(TFieldType type) const override;
  void RefreshFieldDefs() override;
  void ResetRecordBuffer(TRecordBuffer buffer) override;
  void CancelRecordEdit() override;
  void BeginRecordEdit() override;
  void BeginRecordInsert() override;
  void PostRecord() override;
  void RemoveCurrentRecord() override;
  void InternalAddRecord(TRecordBuffer buffer, bool append) override;
  void RefetchCurrentRecord() override;
  TRecordBuffer AllocateRecordBuffer() override;
  void ReleaseRecordBuffer(TRecordBuffer& buffer) override;
  void ReadBookmarkData(TRecordBuffer buffer, void* data) override;
  void WriteBookmarkData(TRecordBuffer buffer, const void* data) override;
  BookmarkFlag ReadBookmarkFlag(TRecordBuffer buffer) override;
  void WriteBookmarkFlag(TRecordBuffer buffer, BookmarkFlag flag) override;
  void MoveToFirst() override;
  void MoveToLast() override;
  void MoveToBookmark(const void* bookmark) override;
  void MoveToRecordBuffer(TRecordBuffer buffer) override;
  void FillNewRecord(TRecordBuffer buffer) override;
  FetchResult FetchRecord(TRecordBuffer buffer, FetchMode mode, bool check) override;
  void CloseEngineCursor() override;
  void DescribeFields() override;
  void OpenEngineCursor() override;
  bool HasEngineCursor() const override { return mlHandle != kNoHandle; }

  // ---- core operations for descendants ------------------------------------------------------
  // Describes engine field n of handle into FieldDefs and ACEFieldDefs.
  void DescribeField(uint32_t handle, uint16_t n);
  // Offsets of the record buffer regions, FBookmarkSize and musRecBufSize.
  void ComputeRecordLayout();
  FetchResult FetchVisibleRecord(TRecordBuffer buffer, uint16_t length, FetchMode mode);
  void ReadRecordInto(TRecordBuffer buffer, uint16_t length, bool calc);
  // The position number of the current record, as RecNo reports it; the query follows its
  // cursor's own order.
  virtual int32_t CurrentRecordPosition();
  // The handle navigation reads bookmarks of: mlActiveHandle, or mlHandle when that is 0 or -1.
  uint32_t NavigationHandle() const;
  void FreeOldRecordBuffer();
  // Empties every blob cache of buffer.
  void ClearBlobCaches(TRecordBuffer buffer);
  // The blob cache of buffer for the blob field with blob index blobIndex (a field's Offset).
  TAdsBlobCache* BlobCacheOf(TRecordBuffer buffer, int blobIndex) const;
  // Applies a field's default expression (trimmed) to the new record image buffer.
  void ApplyDefaultExpression(const TACEFieldDef& def, const QString& expression, TRecordBuffer buffer);
  // Sends the modified fields and blobs of buffer to the engine's current record.
  void SendModifiedFields(TRecordBuffer buffer);
  // Raises the engine's 5054 with text, as the engine reports refused rights.
  [[noreturn]] void RaisePermissionError(const QString& text);
  // Raises EADSDatabaseError (this dataset, 5121) with msg.
  [[noreturn]] void RaiseComponentError(const QString& msg);
  // ---- filters, Locate and Lookup (ads/adsdata/filters.cpp and locate.cpp) ------------------
  // Puts the Filter text on mlHandle: an optimised filter (AdsOptimizedFilters, with the option
  // bits of AdsAOFType and AdsAOFResolveImmediate) or an expression filter, after setting the
  // exact setting PrepareFilterText gives. An empty Filter removes the filter instead.
  virtual void ActivateFilter();
  // Removes the kind of filter AdsOptimizedFilters names; none being set is no failure.
  virtual void DeactivateFilter();
  // The engine text of Filter (long field names kept, trailing "*" wildcards of literals
  // removed) and in exact whether texts are to compare with the exact setting on.
  QString PrepareFilterText(bool& exact);
  // Runs OnFilterRecord for buffer in dsFilter; true when accepted. A handler's exception goes
  // to the process-wide exception handler when one is installed (the verdict is then what the
  // handler last set), else it propagates.
  bool RunFilterRecord(TRecordBuffer buffer);
  // From the current record on, in direction forward, the first record OnFilterRecord accepts;
  // false when the end is reached first. "Expected OnFilterRecord event." without a handler.
  virtual bool FilteredScan(bool forward);
  // Finds the key values: an index seek where an order serves, else a temporary engine filter
  // built from the values (see locate.cpp). The exact setting, the filters, the state and, when
  // nothing is found, the position are as they were before.
  bool LocateCore(const QString& KeyFields, const QVariant& KeyValues, TLocateOptions Options);
  // The engine expression for the key values in mpFilterBuffer (state dsFilter, else "Internal
  // Error, << BuildFilterString >>").
  QString BuildLocateFilter(const std::vector<TField*>& fields, bool caseInsensitive);
  // The work of one LocateCore (ads/adsdata/locate.cpp).
  class LocateSearch;

  // The record-info block of a buffer.
  int32_t RecordPositionOf(TRecordBuffer buffer) const;
  void SetRecordPositionOf(TRecordBuffer buffer, int32_t position) const;
  uint8_t* RecordInfoOf(TRecordBuffer buffer) const;
  uint8_t* BookmarkOf(TRecordBuffer buffer) const;
  TAdsBlobCache** BlobCachesOf(TRecordBuffer buffer) const;

  friend class TAdsTableOptions;
  friend class TAdsBlobStream;

  // ---- fields, in their documented order ----------------------------------------------------
  uint32_t mlHandle = kNoHandle;
  uint32_t mlActiveHandle = kNoHandle;
  uint16_t musAceTableType = 0;
  uint16_t musOpenTableType = 3;
  uint16_t musOpenCharType = 0;
  uint32_t mulTableOptions = 0;
  bool mbCanModify = false;
  uint16_t musRecordSize = 0;
  uint16_t musRecBufSize = 0;
  uint16_t musBlobCacheOfs = 0;
  uint16_t musRecInfoOfs = 0;
  uint16_t musBookmarkOfs = 0;
  TRecordBuffer FOldRecordBuffer = nullptr;
  std::unique_ptr<TACEFieldDefs> FACEFieldDefs;
  QString strBinaryFieldName;
  int32_t mlBinaryFldLen = 0;
  QString mstrDatabaseName;
  QString mstrAliasPath;
  QString mstrTableName;
  TAdsTableTypes meTableType = ttAdsADT;
  bool mbExclusive = false;
  bool mbReadOnly = false;
  TAdsConnection* mpoAdsConnection = nullptr;
  std::unique_ptr<TAdsTableOptions> mpoAdsTableOptions;
  // index, key, scope and sequencing state (declared here, used by the index members below)
  QString mstrIndexName;
  QString mstrIndexFieldNames;
  QString mstrDefaultIndex;
  TAdsIndexTypes meActiveIndexType = ndxNone;
  std::unique_ptr<TIndexDefs> mpoIndexDefs;
  std::unique_ptr<TAdsIndexFiles> mpoIndexFiles;
  std::vector<char*> mapKeyBuffers;
  char* mpstKeyBuffer = nullptr;
  bool mbScoped = false;
  QString mstrScopeStart;
  QString mstrScopeEnd;
  bool mbIsSequenced = false;
  TAdsSequenceLevel meSeqLevel = slStandard;
  // filter state
  TRecordBuffer mpFilterBuffer = nullptr;
  QString mstrExprStruct;
  // master-detail link
  std::unique_ptr<TMasterDataLink> mpoMasterLink;
  QString mstrMasterField;
  QString mstrStruct;
  uint32_t mulSavedCRC = 0;
  bool FbStoreActive = true;
  // Set once a path warning was given for the current connection (extended datasets).
  bool mbPathWarningGiven = false;

  // ============================================================================================
  // Indexes, keys, ranges and scopes; bodies in ads/adsdata/index_*.cpp, key_buffers.cpp and
  // ranges.cpp. The core calls AllocateKeyBuffers / FreeKeyBuffers (open and close),
  // ApplyActiveIndex (open), ActivateScope (open, when Scoped), ApplyMasterRange and
  // CancelRange (master link), UpdateDefaultIndex (connection, table name).
  //
  // Refusals are EADSDatabaseError (this dataset, 5121) with the texts given here, unless a
  // comment names the framework's EDatabaseError.
  // ============================================================================================
 public:
  // ---- choosing the order -----------------------------------------------------------------
  QString IndexName() const { return mstrIndexName; }
  // Chooses the index order by name (empty: natural order; "ADS_DEFAULT" in any letter case:
  // the dictionary's default index); empties IndexFieldNames, drops a scope (Scoped false) or
  // else the range. The old name and type come back when activating the order fails.
  void SetIndexName(const QString& value);
  QString IndexFieldNames() const { return mstrIndexFieldNames; }
  // Chooses the order whose leading fields are the ";"-separated names (blanks around the
  // value removed); empties IndexName and drops a scope, but keeps a range. "Not a valid
  // index field name:<names>" when no order has those fields.
  void SetIndexFieldNames(const QString& value);
  QString DefaultIndex() const { return mstrDefaultIndex; }
  // Replaces the list by the names of the table's index orders in engine order, plus
  // "ADS_DEFAULT" on a dictionary connection that gives a default index. A closed dataset
  // opens a temporary handle for this and closes it again.
  void GetIndexNames(TStringList* poList);
  // Appends the names of the table's full-text index orders.
  void GetFTSIndexNames(TStringList* poList);
  void SetIndexDefs(const TIndexDefs& value) { mpoIndexDefs->Assign(value); }
  // Segments of the active order (0 in natural order).
  int IndexFieldCount();
  // The field of segment Index of the active order.
  TField* IndexFields(int Index);
  // Assigns value's value to the field of segment Index.
  void SetIndexFields(int Index, TField* value);
  // The field number of segment Index; "Internal Error: GetSegmentFieldNum : No Active Index"
  // in natural order.
  int GetSegmentFieldNum(int Index);
  // Key length of the active order (0 in natural order).
  int KeySize();

  // ---- index files and creating indexes -------------------------------------------------------
  TAdsIndexFiles* IndexFiles() const { return mpoIndexFiles.get(); }
  // Opens the index file strIndexName (a bare name is taken in the database folder).
  // "Table must be Active." when closed.
  void OpenIndexFile(const QString& strIndexName);
  // Closes the orders of the open index file whose file name (without folder, any letter case)
  // is strIndexName's; an active order in it falls back to natural order.
  void CloseIndexFile(const QString& strIndexName);
  // Creates an index order over the ";"-separated fields (or the expression with ixExpression).
  void AddIndex(const QString& strName, const QString& strFields, TIndexOptions poOptions);
  void AddIndexEx(const QString& strFileName, const QString& strIndexName, const QString& strFields,
                  TIndexOptions poOptions);
  // Deletes an order of the table, which must be open exclusively ("Table must be Active and
  // Exclusive.") and not navigating along it ("Cannot delete the active index!").
  void DeleteIndex(const QString& strName);

  // ---- key search -----------------------------------------------------------------------------
  // Enter dsSetKey on the lookup key: SetKey clears it, EditKey keeps its values.
  void SetKey();
  void EditKey();
  // Seek the lookup key exactly; on failure the dataset stays where it was. Returns Found.
  bool GotoKey();
  // Seek the lookup key softly (the first key at or after it).
  void GotoNearest();
  bool FindKey(const QVariantList& KeyValues);
  void FindNearest(const QVariantList& KeyValues);
  // The key buffer being edited; outside dsSetKey the framework's "Dataset not in edit mode".
  bool KeyExclusive() const;
  void SetKeyExclusive(bool value);
  int16_t KeyFieldCount() const;
  void SetKeyFieldCount(int16_t value);
  // In dsSetKey these end the key edit, keeping (Post) or restoring (Cancel) the key.
  void Post() override;
  void Cancel() override;

  // ---- ranges -------------------------------------------------------------------------------
  void SetRangeStart();
  void SetRangeEnd();
  void EditRangeStart();
  void EditRangeEnd();
  // Pushes the prepared bounds to the engine and moves to the first record when they changed.
  void ApplyRange();
  void CancelRange();
  void SetRange(const QVariantList& aStartValues, const QVariantList& aEndValues);

  // ---- scopes -------------------------------------------------------------------------------
  bool Scoped() const { return mbScoped; }
  QString ScopeBegin() const { return mstrScopeStart; }
  QString ScopeStart() const { return mstrScopeStart; }
  QString ScopeEnd() const { return mstrScopeEnd; }
  // Texts of the scope bounds (at most 4082 characters), used at the next ActivateScope.
  void SetScopeBegin(const QString& value);
  void SetScopeEnd(const QString& value);
  void SetScoped(bool value);

  // Moves to the record poTable stands on; both must show the same table ("Tables are not the
  // same", the framework's EDatabaseError).
  void GotoCurrent(TAdsDataSet* poTable);

 protected:
  // Allocates the six zero-filled key buffers for the open table / frees them.
  void AllocateKeyBuffers();
  void FreeKeyBuffers();
  // Activates the order that meActiveIndexType selects and rebuilds the record buffers.
  void ApplyActiveIndex();
  virtual void ActivateScope();
  virtual void DeactivateScope();
  void ApplyMasterRange();
  // Size in bytes of one key buffer block.
  size_t KeyBufferBlockSize() const;
  bool IsIndexField(TField* field) override;
  void RefreshIndexDefs() override;
  // The ";"-separated fields of the active order as IndexDefs describe it.
  QString CurrentIndexFields();
  // The order handle for the index definition of fields; 0 when there is none.
  uint32_t FindIndexForFields(const QString& fields);
  // The key buffer of slot (0 lookup, 1/2 range being prepared, 3/4 range applied, 5 saved).
  char* KeyBuffer(int slot) const { return mapKeyBuffers.at(static_cast<size_t>(slot)); }
  void InitKeyBuffer(char* buffer);
  // The entered-length entries of a key buffer, one per table field.
  uint16_t* KeyFieldLens(char* buffer) const;
  void EnterKeyState(int slot, bool clear);
  void AssignKeyValues(int slot, const QVariantList& values);
  // Builds the engine key of the key buffer on the active order into key (capacity length on
  // entry, key length on return).
  void BuildSeekKey(char* buffer, bool partial, uint8_t* key, uint16_t& length);
  bool PushRange();
  bool DropRange();
  // The exact seek of GotoKey under OnFilterRecord: the first record from the hit on whose key
  // still begins with key and that the handler accepts. "Expected OnFilterRecord event."
  // without a handler.
  bool FilteredSeek(const uint8_t* key, uint16_t length, uint16_t dataType);
  // Writes a value form (null: no value) of a data field into the record image, by the
  // field's engine type and the table type.
  void WriteFieldValue(uint16_t fieldNumber, TFieldType type, const void* value, TRecordBuffer record);
  // Runs the index creation of AddIndex / AddIndexEx with file and tag chosen.
  void createIndex(const QString& file, const QString& tag, const QString& fields, TIndexOptions options);
  // Runs `work` on mlHandle when it is held, else on a temporary handle closed afterwards (also
  // when `work` raises, whose failure is then the one reported).
  void withWorkHandle(const std::function<void(uint32_t handle)>& work);
  // ======================== end of the index, key, range and scope block ======================
};

// ---- implicit connections -------------------------------------------------------------------------

// One implicit connection: the engine handle and the path it was opened on, unchanged.
class TDynamicConn {
 public:
  TDynamicConn(uint32_t hAceConn, const QString& strDatabasename)
      : FhAceConn(hAceConn), FstrDatabasename(strDatabasename) {}
  uint32_t FhAceConn;
  QString FstrDatabasename;
};

// The process-wide list of implicit connections, in creation order. Entries live until the
// layer shuts down (the list's destruction disconnects every one of them).
class TDynamicConnList {
 public:
  TDynamicConnList() = default;
  ~TDynamicConnList();
  TDynamicConnList(const TDynamicConnList&) = delete;
  TDynamicConnList& operator=(const TDynamicConnList&) = delete;

  // The process's list (created on first use, destroyed at exit).
  static TDynamicConnList& Instance();

  // Connects to strDatabasename (AdsConnect) and records the connection; raises the engine's
  // failure (nothing is added), returns 0 when the entry could not be recorded.
  uint32_t Add(const QString& strDatabasename);
  // The handle of the first entry whose path equals strDatabasename ignoring the case of a-z;
  // 0 when none.
  uint32_t FindSameDatabasename(const QString& strDatabasename);
  int Count();

 private:
  std::vector<std::unique_ptr<TDynamicConn>> FItems;
  std::mutex FSync;
};
