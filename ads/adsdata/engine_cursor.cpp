// TAdsDataSet: opening and closing the engine cursor, and describing its fields.
#include "ads/adsdata.h"
#include "ads/adsdata/adsdata_internal.h"
#include "runtime/text.h"

using adsdata::FieldArg;

void TAdsDataSet::OpenEngineCursor() {
  if (mlHandle != kNoHandle) RaiseComponentError(QStringLiteral("Table is already open."));

  if (mlActiveHandle != kNoHandle) {
    // A cursor another object created (provider execution, AdoptCursorHandle): this dataset
    // now owns it.
    mlHandle = mlActiveHandle;
    CheckAceResult(this, AdsGetTableType(mlHandle, &musAceTableType));
  } else {
    mlHandle = AcquireEngineHandle();
  }

  UNSIGNED32 recordLength = 0;
  CheckAceResult(this, AdsGetRecordLength(mlHandle, &recordLength));
  CheckAceResult(this, AdsGetTableOpenOptions(mlHandle, &mulTableOptions));
  mbCanModify = (mulTableOptions & 2u) == 0;
  if (mbCanModify && (mulTableOptions & 1u) != 0) {
    UNSIGNED16 isLive = 1;
    if (AdsSqlPeekStatement(mlHandle, &isLive) == 0 && isLive == 0) mbExclusive = true;
  }

  switch (mpoAdsTableOptions->AdsRecordCache()) {
    case rcNone:
      CheckAceResult(this, AdsCacheRecords(mlHandle, 0));
      break;
    case rcAggressive:
      CheckAceResult(this, AdsCacheRecords(mlHandle, 100));
      break;
    case rcStandard:
      break;
  }

  // The page size of the table's indexes; a failure here only leaves it unknown (0).
  {
    ADSHANDLE indexes[1] = {0};
    UNSIGNED16 count = 1;
    const UNSIGNED32 rc = AdsGetAllIndexes(mlHandle, indexes, &count);
    UNSIGNED32 pageSize = 0;
    if ((rc == 0 || rc == adsdata::kAeInsufficientBuffer) && count > 0 &&
        AdsGetIndexPageSize(indexes[0], &pageSize) == 0 && pageSize <= 0xFFFFu)
      mpoAdsTableOptions->SetAdsIndexPageSize(static_cast<TAdsIndexPageSizes>(pageSize));
    else
      mpoAdsTableOptions->SetAdsIndexPageSize(0);
  }

  if (recordLength > 0xFFFFu)
    RaiseComponentError(QStringLiteral("The record length %1 exceeds the largest record buffer of 65535 bytes.")
                            .arg(recordLength));
  musRecordSize = static_cast<uint16_t>(recordLength);
  musRecBufSize = musRecordSize;
  UNSIGNED32 bookmarkLength = 0;
  CheckAceResult(this, AdsGetBookmarkLength(NavigationHandle(), &bookmarkLength));
  FBookmarkSize = static_cast<int>(bookmarkLength);

  AllocateKeyBuffers();

  FieldDefs().SetUpdated(false);
  FieldDefs().Update();
  CreateDefaultFields();

  for (TField* field : Fields()) {
    const int i = FACEFieldDefs->IndexOf(field->FieldName());
    if (i < 0) continue;
    const uint16_t engineType = FACEFieldDefs->Items(i)->FieldType();
    if (field->DataType() == ftBCD) {
      auto* adsBcd = dynamic_cast<TAdsBCDField*>(field);
      if (adsBcd == nullptr) {
        if (auto* bcd = dynamic_cast<TBcdValueField*>(field)) bcd->SetCurrency(true);
      } else if (engineType == ADS_NUMERIC || engineType == ADS_ROWVERSION) {
        adsBcd->SetCurrency(false);
      }
    } else if (field->DataType() == ftString && engineType == ADS_CISTRING) {
      if (auto* s = dynamic_cast<TAdsStringField*>(field)) s->FCaseInsensitive = true;
    }
  }

  BindFieldBuffers(true);
  ComputeRecordLayout();

  mpoIndexDefs->SetUpdated(false);
  mpoIndexDefs->Update();
  if (mlHandle != 0) ApplyActiveIndex();

  if (mbScoped) ActivateScope();
  if (Filtered()) ActivateFilter();
  if (mlHandle != 0) MoveToFirst();
}

void TAdsDataSet::CloseEngineCursor() {
  if (ComponentStateHas(csDesigning)) {
    // In the designer the engine must really let go of the table.
    CheckAceResult(this, AdsCacheOpenTables(0));
    CheckAceResult(this, AdsCacheOpenCursors(0));
  }
  BindFieldBuffers(false);
  DestroyDefaultFields();
  FreeKeyBuffers();
  FreeOldRecordBuffer();
  if (mlHandle != kNoHandle) {
    const UNSIGNED32 rc = AdsCloseTable(mlHandle);
    if (rc != 0) {
      try {
        CheckAceResult(this, rc);
      } catch (const EADSDatabaseError&) {
        // Closing goes on whatever the engine says: the handle is gone for this dataset.
      }
    }
  }
  mlHandle = kNoHandle;
  mlActiveHandle = kNoHandle;
  mbCanModify = false;
}

void TAdsDataSet::RefreshFieldDefs() {
  const bool temporary = !Active() && mlHandle == kNoHandle;
  const uint32_t handle = temporary ? AcquireEngineHandle() : mlHandle;
  try {
    UNSIGNED16 count = 0;
    CheckAceResult(this, AdsGetNumFields(handle, &count));
    FieldDefs().BeginInternalUpdate();
    try {
      FieldDefs().Clear();
      FACEFieldDefs->Clear();
      for (uint16_t n = 1; n <= count; ++n) DescribeField(handle, n);
    } catch (...) {
      FieldDefs().EndInternalUpdate();
      throw;
    }
    FieldDefs().EndInternalUpdate();
  } catch (const Exception&) {
    if (temporary) AdsCloseTable(handle);  // the failure being raised is the one to report
    throw;
  }
  if (temporary) CheckAceResult(this, AdsCloseTable(handle));
}

void TAdsDataSet::DescribeFields() {
  UNSIGNED16 count = 0;
  CheckAceResult(this, AdsGetNumFields(mlHandle, &count));
  FieldDefs().BeginInternalUpdate();
  try {
    FieldDefs().Clear();
    FACEFieldDefs->Clear();
    for (uint16_t n = 1; n <= count; ++n) DescribeField(mlHandle, n);
  } catch (...) {
    FieldDefs().EndInternalUpdate();
    throw;
  }
  FieldDefs().EndInternalUpdate();
}

void TAdsDataSet::DescribeField(uint32_t handle, uint16_t n) {
  UNSIGNED16 engineType = 0;
  UNSIGNED32 length = 0;
  CheckAceResult(this, AdsGetFieldType(handle, FieldArg(n), &engineType));
  CheckAceResult(this, AdsGetFieldLength(handle, FieldArg(n), &length));

  UNSIGNED16 decimals = 0;
  if (engineType == ADS_NUMERIC) CheckAceResult(this, AdsGetFieldDecimals(handle, FieldArg(n), &decimals));
  const TAdsFieldMapping mapping = MapEngineFieldType(this, engineType, length, decimals, musAceTableType,
                                                      mpoAdsTableOptions->AdsNumericsAsFloats());
  const TFieldType type = mapping.type;
  const int size = mapping.size;
  const int precision = mapping.precision;

  UNSIGNED8 nameBuffer[129] = {};
  UNSIGNED16 nameLength = sizeof nameBuffer;
  CheckAceResult(this, AdsGetFieldName(handle, n, nameBuffer, &nameLength));
  const QByteArray ansiName(reinterpret_cast<const char*>(nameBuffer));
  const QString name = FromAnsi(ansiName);

  TFieldDef* def = FieldDefs().Add(name, type, size, false);
  if (precision >= 0) {
    try {
      def->SetPrecision(precision);
    } catch (const Exception&) {
      // A precision the definition refuses leaves the framework's default.
    }
  }

  QByteArray nameArg = ansiName;
  UNSIGNED16 nullable = 0;
  CheckAceResult(this, AdsIsNullable(handle, reinterpret_cast<UNSIGNED8*>(nameArg.data()), &nullable));
  UNSIGNED32 offset = 0;
  CheckAceResult(this, AdsGetFieldOffset(handle, FieldArg(n), &offset));
  UNSIGNED32 permissions = 0;
  CheckAceResult(this, AdsGetColumnPermissions(handle, FieldArg(n), &permissions));

  TACEFieldDef* ace = FACEFieldDefs->Add();
  ace->SetFieldName(name);
  ace->SetFieldNumber(n);
  ace->SetLength((engineType == ADS_NCHAR || engineType == ADS_NVARCHAR) ? length * 2 : length);
  ace->SetFieldType(engineType);
  ace->SetDecimals(decimals);
  ace->SetNullable(nullable != 0);
  ace->SetOffset(offset);
  ace->SetPermissions(static_cast<uint8_t>(permissions));
  ace->SetModified(false);
}

TAdsFieldMapping MapEngineFieldType(AdsDataSetClient* dataset, uint16_t engineType, uint32_t length,
                                    uint16_t decimals, uint16_t aceTableType, bool numericsAsFloats) {
  TAdsFieldMapping m;
  const int len = static_cast<int>(length);
  switch (engineType) {
    case ADS_LOGICAL: m.type = ftBoolean; break;
    case ADS_NUMERIC:
      if (aceTableType == kAceTypeADT && !numericsAsFloats) {
        m.type = (decimals > 4 || length >= 19) ? ftFMTBcd : ftBCD;
        m.size = decimals;
        m.precision = decimals > 0 ? len - 2 : len - 1;
      } else {
        m.type = (decimals > 0 || length >= 5) ? ftFloat : ftSmallint;
      }
      break;
    case ADS_DATE: case ADS_COMPACTDATE: m.type = ftDate; break;
    case ADS_STRING: case ADS_CISTRING: case ADS_VARCHAR_FOX: m.type = ftString; m.size = len; break;
    case ADS_MEMO: case ADS_VARCHAR: m.type = ftMemo; m.size = 1; break;
    case ADS_BINARY: case ADS_IMAGE: case ADS_BINARY_KIND_51: case ADS_BINARY_KIND_52: m.type = ftBlob; m.size = 1; break;
    case ADS_DOUBLE: m.type = ftFloat; break;
    case ADS_INTEGER: m.type = ftInteger; break;
    case ADS_SHORTINT: m.type = ftSmallint; break;
    case ADS_TIME: m.type = ftTime; break;
    case ADS_TIMESTAMP: case ADS_MODTIME: m.type = ftDateTime; break;
    case ADS_AUTOINC: m.type = ftAutoInc; break;
    case ADS_RAW: m.type = ftBytes; m.size = len; break;
    case ADS_CURDOUBLE: m.type = ftCurrency; break;
    case ADS_MONEY: m.type = ftBCD; m.size = 4; m.precision = 20; break;
    case ADS_ROWVERSION: m.type = ftBCD; m.size = 0; m.precision = 20; break;
    case ADS_VARBINARY_FOX: m.type = ftVarBytes; m.size = len; break;
    case ADS_NCHAR: case ADS_NVARCHAR: m.type = ftWideString; m.size = len; break;
    case ADS_NMEMO: m.type = ftWideMemo; m.size = 1; break;
    default:
      throw EADSDatabaseError(dataset, kAdsComponentError,
                              QStringLiteral("Unknown field type (%1) encountered.").arg(engineType));
  }
  return m;
}
