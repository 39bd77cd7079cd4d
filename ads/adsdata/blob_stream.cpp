// TAdsBlobStream and CreateBlobStream: the streams through which blob fields of a TAdsDataSet
// are read and written. A stream borrows the blob cache of the active record buffer; writing
// changes only the cache, which PostRecord writes to the engine, so Cancel discards it.
#include <cstring>

#include "ads/ace.h"
#include "ads/adsdata.h"
#include "ads/adsdata/adsdata_internal.h"
#include "runtime/text.h"

using adsdata::FieldArg;

namespace {

bool IsBlobStreamType(UNSIGNED16 t) { return (t >= ADS_MEMO && t <= ADS_VARCHAR) || t == ADS_NMEMO || t == ADS_BINARY_KIND_51 || t == ADS_BINARY_KIND_52; }

[[noreturn]] void RaiseStreamError(const QString& message) {
  throw EADSDatabaseError(nullptr, kAdsComponentError, message);
}

}  // namespace

TAdsBlobStream::TAdsBlobStream(TBlobField* Field, TBlobStreamMode Mode) : moField(Field), moMode(Mode) {
  auto* dataset = dynamic_cast<TAdsDataSet*>(Field->DataSet());
  if (dataset == nullptr) return;
  const TDataSetState state = dataset->State();
  if (state != dsBrowse && state != dsEdit && state != dsInsert && state != dsCalcFields && state != dsNewValue) return;
  TRecordBuffer buffer = dataset->ActiveRecordBuffer();
  if (buffer == nullptr || Field->FieldNo() < 1) return;

  const uint16_t fieldNo = static_cast<uint16_t>(Field->FieldNo());
  UNSIGNED16 type = 0;
  CheckAceResult(dataset, AdsGetFieldType(dataset->mlHandle, FieldArg(fieldNo), &type));
  if (!IsBlobStreamType(type)) RaiseStreamError(QStringLiteral("Invalid blob open on non-blob field."));

  TAdsBlobCache* cache = dataset->BlobCacheOf(buffer, Field->Offset());
  if (cache == nullptr) return;
  const uint32_t record = adsdata::ReadU32(dataset->BookmarkOf(buffer));
  const bool force = (state == dsEdit || state == dsInsert) && Mode == bmReadWrite && !cache->IsCacheModified();
  try {
    cache->RefreshCache(dataset->mlHandle, fieldNo, record, force);
    if (Mode == bmWrite) {
      cache->Truncate();
      mbModified = true;
    }
  } catch (...) {
    dataset->CursorPosChanged();
    throw;
  }
  // Filling the cache may have moved the engine away from the record the framework thinks
  // it is on.
  dataset->CursorPosChanged();
  moAdsBlobCach = cache;
}

TAdsBlobStream::~TAdsBlobStream() {
  if (!mbModified) return;
  moField->SetModified(true);
  auto* dataset = dynamic_cast<TAdsDataSet*>(moField->DataSet());
  if (dataset == nullptr) return;
  try {
    dataset->DataEvent(deFieldChange, reinterpret_cast<intptr_t>(moField));
  } catch (const std::exception& e) {
    // A change handler that fails cannot undo the change; its failure goes where failures
    // of hooks inside framework callbacks go.
    dataset->HandleHookException(e);
  }
}

void TAdsBlobStream::checkWritable() const {
  if (moMode == bmRead) RaiseStreamError(QStringLiteral("Error modifying read only blob."));
  if (moAdsBlobCach == nullptr) RaiseStreamError(QStringLiteral("Cannot write to blob in current state."));
}

int64_t TAdsBlobStream::Read(void* Buffer, int64_t Count) {
  return moAdsBlobCach == nullptr ? 0 : moAdsBlobCach->Read(Buffer, Count);
}

int64_t TAdsBlobStream::Write(const void* Buffer, int64_t Count) {
  checkWritable();
  const int64_t written = moAdsBlobCach->Write(Buffer, Count);
  mbModified = true;
  return written;
}

void TAdsBlobStream::Truncate() {
  checkWritable();
  moAdsBlobCach->Truncate();
  mbModified = true;
}

void TAdsBlobStream::SetSize(int64_t size) {
  checkWritable();
  moAdsBlobCach->SetSize(size);
  mbModified = true;
}

int64_t TAdsBlobStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  return moAdsBlobCach == nullptr ? 0 : moAdsBlobCach->Seek(Offset, Origin);
}

// ---- TAdsDataSet ------------------------------------------------------------------------------

std::unique_ptr<TStream> TAdsDataSet::CreateBlobStream(TField* Field, TBlobStreamMode Mode) {
  auto* blob = dynamic_cast<TBlobField*>(Field);
  if (blob == nullptr) RaiseComponentError(QStringLiteral("Invalid blob open on non-blob field."));
  if (blob->DataType() == ftBlob) blob->SetFieldType(ftBlob);
  if (!strBinaryFieldName.isEmpty() && SameTextAZ(blob->FieldName(), strBinaryFieldName))
    blob->SetFieldType(ftBlob);
  if ((Mode == bmWrite || Mode == bmReadWrite) && State() != dsEdit && State() != dsInsert)
    RaiseComponentError(QStringLiteral("Table must be in Edit or Insert state to open blob stream in Write Mode."));
  return std::make_unique<TAdsBlobStream>(blob, Mode);
}

TAdsBlobCache* TAdsDataSet::BlobCacheOf(TRecordBuffer buffer, int blobIndex) const {
  if (buffer == nullptr || blobIndex < 0 || blobIndex >= FBlobFieldCount) return nullptr;
  TAdsBlobCache* cache = nullptr;
  std::memcpy(&cache, buffer + musBlobCacheOfs + sizeof(TAdsBlobCache*) * static_cast<size_t>(blobIndex), sizeof cache);
  return cache;
}

void TAdsDataSet::ClearBlobCaches(TRecordBuffer buffer) {
  for (int i = 0; i < FBlobFieldCount; ++i)
    if (TAdsBlobCache* cache = BlobCacheOf(buffer, i)) cache->ClearCache();
}
