// A dataset over rows held in memory, for testing the framework: it implements every record
// hook over a vector of rows and records the hook calls it receives in Log, so that tests can
// check the orders in which the framework calls them.
//
// Record buffer: [row image: per field definition one null flag byte and the value form]
// [calculated-field area] [row id (int32), bookmark flag (uint8)] [bookmark: the row id].
// Blob values of a buffer live beside it (blobs_), keyed by the buffer.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "runtime/data/dataset.h"
#include "runtime/data/db_errors.h"
#include "runtime/data/field_classes.h"
#include "runtime/data/stream.h"

namespace testdata {

class MemoryDataSet : public TDataSet {
 public:
  struct Row {
    int32_t id = 0;
    QByteArray image;
    std::vector<std::optional<QByteArray>> blobs;
  };

  explicit MemoryDataSet(TComponent* owner = nullptr) : TDataSet(owner) {}
  ~MemoryDataSet() override { CloseForDestruction(); }

  std::vector<std::string> Log;
  bool LogFetches = true;
  bool ReadOnlyData = false;
  // When set, OpenEngineCursor raises after logging.
  bool FailOpen = false;
  // When set, PostRecord raises EDatabaseError this many more times.
  int FailPosts = 0;

  std::vector<Row>& Rows() { return rows_; }
  int Cursor() const { return cur_; }
  int AllocatedBuffers() const { return static_cast<int>(blobs_.size()); }
  std::vector<TRecordBuffer> Ring() const { return FBuffers; }
  int CurrentRecordIndex() const { return FCurrentRecord; }
  int CalcFieldsSize() const { return FCalcFieldsSize; }
  int BlobFieldCount() const { return FBlobFieldCount; }
  // The row id a ring buffer holds and its bookmark flag.
  int32_t BufferRowId(int index) const { return rowIdOf(FBuffers[index]); }
  BookmarkFlag BufferFlag(int index) const { return static_cast<BookmarkFlag>(FBuffers[index][infoOffset() + 4]); }
  void ClearLog() { Log.clear(); }
  // Exposes protected services for tests.
  using TDataSet::ChangeState;
  using TDataSet::ComputeCalcFields;
  using TDataSet::EnterTempState;
  using TDataSet::LeaveTempState;
  using TDataSet::OpenCursorComplete;
  using TDataSet::SetBufListSize;
  using TDataSet::UpdateBufferCount;
  int BufferListSize() const { return BufListSize(); }

  bool CanModify() const override { return !ReadOnlyData; }
  int RecordCount() override { return static_cast<int>(rows_.size()); }
  int RecNo() override {
    if (FActiveRecord >= FRecordCount) return 0;
    int index = indexOfId(rowIdOf(ActiveBuffer()));
    return index < 0 ? 0 : index + 1;
  }
  int RecordSize() override { return recordSize_; }

  bool GetFieldData(TField* field, void* value) override {
    TRecordBuffer buffer = fieldBuffer();
    if (buffer == nullptr) return false;
    if (field->FieldNo() > 0) {
      const int i = field->FieldNo() - 1;
      if (field->IsBlob()) return blobs_.at(buffer)[blobIndex(i)].has_value();
      const char* slot = buffer + offsets_[i];
      if (slot[0] == 0) return false;
      if (value != nullptr) std::memcpy(value, slot + 1, static_cast<size_t>(sizes_[i]));
      return true;
    }
    const char* slot = buffer + recordSize_ + field->Offset();
    if (slot[0] == 0) return false;
    if (value != nullptr) std::memcpy(value, slot + 1, static_cast<size_t>(field->DataSize()));
    return true;
  }

  void StoreFieldData(TField* field, const void* value) override {
    if (!(FState >= dsEdit && FState <= dsNewValue) && FState != dsInternalCalc)
      DatabaseError(dbmsg::kNotEditing, this);
    TRecordBuffer buffer = fieldBuffer();
    if (field->FieldNo() < 1) {
      char* slot = buffer + recordSize_ + field->Offset();
      slot[0] = value != nullptr ? 1 : 0;
      if (value != nullptr) std::memcpy(slot + 1, value, static_cast<size_t>(field->DataSize()));
    } else {
      if (FState == dsCalcFields) DatabaseError(dbmsg::kNotEditing, this);
      if (field->ReadOnly() && FState != dsSetKey && FState != dsFilter)
        DatabaseErrorFmt(dbmsg::kFieldReadOnly, field->DisplayName(), this);
      if (FState == dsEdit || FState == dsInsert) field->Validate(value);
      const int i = field->FieldNo() - 1;
      if (field->IsBlob()) {
        blobs_.at(buffer)[blobIndex(i)] = value != nullptr ? std::optional<QByteArray>(QByteArray()) : std::nullopt;
      } else {
        char* slot = buffer + offsets_[i];
        slot[0] = value != nullptr ? 1 : 0;
        std::memset(slot + 1, 0, static_cast<size_t>(sizes_[i]));
        if (value != nullptr) std::memcpy(slot + 1, value, static_cast<size_t>(sizes_[i]));
      }
    }
    if (FState != dsCalcFields && FState != dsFilter && FState != dsNewValue)
      DataEvent(deFieldChange, reinterpret_cast<intptr_t>(field));
  }

  std::unique_ptr<TStream> CreateBlobStream(TField* field, TBlobStreamMode mode) override;

  // Makes the blob stream's content the buffer's value of the field.
  void StoreBlob(TField* field, TRecordBuffer buffer, const QByteArray& bytes) {
    blobs_.at(buffer)[blobIndex(field->FieldNo() - 1)] = bytes;
    DataEvent(deFieldChange, reinterpret_cast<intptr_t>(field));
  }
  TRecordBuffer FieldBufferForTest() { return fieldBuffer(); }

 protected:
  void OpenEngineCursor() override {
    Log.push_back("OpenEngineCursor");
    if (FailOpen) DatabaseError(QStringLiteral("cannot open"), this);
    layout();
    CreateDefaultFields();
    BindFieldBuffers(true);
    FBookmarkSize = 4;
    cur_ = -1;
    open_ = true;
  }
  void CloseEngineCursor() override {
    Log.push_back("CloseEngineCursor");
    BindFieldBuffers(false);
    DestroyDefaultFields();
    open_ = false;
  }
  bool HasEngineCursor() const override { return open_; }

  TRecordBuffer AllocateRecordBuffer() override {
    const int size = bufferSize();
    auto storage = std::make_unique<char[]>(static_cast<size_t>(size));
    TRecordBuffer buffer = storage.get();
    std::memset(buffer, 0, static_cast<size_t>(size));
    storage_[buffer] = std::move(storage);
    blobs_[buffer].assign(static_cast<size_t>(FBlobFieldCount), std::nullopt);
    Log.push_back("AllocateRecordBuffer");
    return buffer;
  }
  void ReleaseRecordBuffer(TRecordBuffer& buffer) override {
    Log.push_back("ReleaseRecordBuffer");
    blobs_.erase(buffer);
    storage_.erase(buffer);
    buffer = nullptr;
  }

  void ReadBookmarkData(TRecordBuffer buffer, void* data) override {
    std::memcpy(data, buffer + infoOffset() + 8, 4);
  }
  void WriteBookmarkData(TRecordBuffer buffer, const void* data) override {
    std::memcpy(buffer + infoOffset() + 8, data, 4);
  }
  BookmarkFlag ReadBookmarkFlag(TRecordBuffer buffer) override {
    return static_cast<BookmarkFlag>(buffer[infoOffset() + 4]);
  }
  void WriteBookmarkFlag(TRecordBuffer buffer, BookmarkFlag flag) override {
    buffer[infoOffset() + 4] = static_cast<char>(flag);
  }

  void MoveToFirst() override {
    Log.push_back("MoveToFirst");
    cur_ = -1;
  }
  void MoveToLast() override {
    Log.push_back("MoveToLast");
    cur_ = static_cast<int>(rows_.size());
  }
  void MoveToBookmark(const void* bookmark) override {
    int32_t id = 0;
    std::memcpy(&id, bookmark, 4);
    Log.push_back("MoveToBookmark(" + std::to_string(id) + ")");
    if (FState == dsInsert) return;
    int index = indexOfId(id);
    if (index >= 0) cur_ = index;
  }
  void MoveToRecordBuffer(TRecordBuffer buffer) override {
    Log.push_back("MoveToRecordBuffer");
    MoveToBookmark(buffer + infoOffset() + 8);
  }

  void ClearCalculatedArea(TRecordBuffer buffer) override {
    std::memset(buffer + recordSize_, 0, static_cast<size_t>(FCalcFieldsSize));
  }
  void FillNewRecord(TRecordBuffer buffer) override {
    Log.push_back("FillNewRecord");
    std::memset(buffer, 0, static_cast<size_t>(recordSize_));
    blobs_.at(buffer).assign(static_cast<size_t>(FBlobFieldCount), std::nullopt);
  }
  void ResetRecordBuffer(TRecordBuffer buffer) override {
    TDataSet::ResetRecordBuffer(buffer);
    int32_t none = -1;
    std::memcpy(buffer + infoOffset(), &none, 4);
  }

  FetchResult FetchRecord(TRecordBuffer buffer, FetchMode mode, bool) override {
    FetchResult result = fetch(buffer, mode);
    if (LogFetches) {
      static const char* modes[] = {"Current", "Next", "Prior"};
      static const char* results[] = {"Ok", "Bof", "Eof", "Error"};
      Log.push_back(std::string("FetchRecord(") + modes[static_cast<int>(mode)] + ")=" +
                    results[static_cast<int>(result)]);
    }
    return result;
  }

  void BeginRecordEdit() override { Log.push_back("BeginRecordEdit"); }
  void BeginRecordInsert() override { Log.push_back("BeginRecordInsert"); }
  // Back to the record after the cancelled insert, or to the end when it was appended.
  void CancelRecordEdit() override {
    Log.push_back("CancelRecordEdit");
    if (FState != dsInsert) return;
    if (FEOF) {
      cur_ = static_cast<int>(rows_.size());
      return;
    }
    TRecordBuffer next = BufferAt(FActiveRecord + 1);
    if (next != nullptr && FActiveRecord + 1 < FRecordCount) {
      int index = indexOfId(rowIdOf(next));
      if (index >= 0) cur_ = index;
    }
  }
  void PostRecord() override {
    Log.push_back("PostRecord");
    if (FailPosts > 0) {
      --FailPosts;
      DatabaseError(QStringLiteral("post refused"), this);
    }
    TDataSet::PostRecord();
    writeRow(ActiveBuffer());
  }
  void InternalAddRecord(TRecordBuffer buffer, bool append) override {
    Log.push_back(append ? "InternalAddRecord(append)" : "InternalAddRecord(insert)");
    TDataSet::PostRecord();
    writeRow(buffer);
  }
  void RemoveCurrentRecord() override {
    Log.push_back("RemoveCurrentRecord");
    if (cur_ >= 0 && cur_ < static_cast<int>(rows_.size())) rows_.erase(rows_.begin() + cur_);
  }
  void RefetchCurrentRecord() override { Log.push_back("RefetchCurrentRecord"); }
  bool SearchRecord(bool restart, bool forward) override {
    Log.push_back(std::string("SearchRecord(") + (restart ? "restart" : "continue") + "," +
                  (forward ? "forward" : "backward") + ")");
    return TDataSet::SearchRecord(restart, forward);
  }
  void FireAfterOpen() override {
    Log.push_back("FireAfterOpen");
    TDataSet::FireAfterOpen();
  }
  void FireOnNewRecord() override {
    Log.push_back("FireOnNewRecord");
    TDataSet::FireOnNewRecord();
  }

 private:
  FetchResult fetch(TRecordBuffer buffer, FetchMode mode) {
    const int n = static_cast<int>(rows_.size());
    if (mode == FetchMode::Next && cur_ < n) ++cur_;
    if (mode == FetchMode::Prior && cur_ >= 0) --cur_;
    for (;;) {
      if (cur_ >= n) return FetchResult::Eof;
      if (cur_ < 0) return FetchResult::Bof;
      readRow(buffer, rows_[cur_]);
      if (!FFiltered || !FOnFilterRecord || accepts(buffer)) return FetchResult::Ok;
      if (mode == FetchMode::Current) return FetchResult::Error;
      cur_ += mode == FetchMode::Prior ? -1 : 1;
    }
  }
  bool accepts(TRecordBuffer buffer) {
    TDataSetState previous = EnterTempState(dsFilter);
    filterBuffer_ = buffer;
    bool accept = true;
    try {
      FOnFilterRecord(this, accept);
    } catch (...) {
      LeaveTempState(previous);
      throw;
    }
    LeaveTempState(previous);
    return accept;
  }
  void readRow(TRecordBuffer buffer, const Row& row) {
    std::memcpy(buffer, row.image.constData(), static_cast<size_t>(recordSize_));
    blobs_.at(buffer) = row.blobs;
    std::memcpy(buffer + infoOffset(), &row.id, 4);
    buffer[infoOffset() + 4] = static_cast<char>(BookmarkFlag::Current);
    std::memcpy(buffer + infoOffset() + 8, &row.id, 4);
    ComputeCalcFields(buffer);
  }
  void writeRow(TRecordBuffer buffer) {
    Row row;
    row.image = QByteArray(buffer, recordSize_);
    row.blobs = blobs_.at(buffer);
    if (FState == dsEdit) {
      int index = indexOfId(rowIdOf(buffer));
      row.id = rows_[index].id;
      rows_[index] = row;
      cur_ = index;
      return;
    }
    row.id = nextId_++;
    int at = static_cast<int>(rows_.size());
    if (ReadBookmarkFlag(buffer) != BookmarkFlag::AfterLast) {
      int32_t before = 0;
      std::memcpy(&before, buffer + infoOffset() + 8, 4);
      int index = indexOfId(before);
      if (index >= 0) at = index;
    }
    rows_.insert(rows_.begin() + at, row);
    cur_ = at;
  }
  TRecordBuffer fieldBuffer() {
    switch (FState) {
      case dsBrowse:
      case dsBlockRead:
        return FActiveRecord < FRecordCount ? ActiveBuffer() : nullptr;
      case dsEdit:
      case dsInsert:
      case dsNewValue:
        return ActiveBuffer();
      case dsCalcFields:
        return FCalcBuffer;
      case dsFilter:
        return filterBuffer_;
      default:
        return nullptr;
    }
  }
  static int valueSize(const TFieldDef* def) {
    switch (def->DataType()) {
      case ftString: return def->Size() + 1;
      case ftWideString: return (def->Size() + 1) * 2;
      case ftSmallint: case ftBoolean: return 2;
      case ftInteger: case ftAutoInc: case ftDate: case ftTime: return 4;
      case ftFloat: case ftCurrency: case ftDateTime: return 8;
      case ftBCD: case ftFMTBcd: return static_cast<int>(sizeof(TBcd));
      case ftBytes: return def->Size();
      case ftVarBytes: return def->Size() + 2;
      default: return 0;
    }
  }
  void layout() {
    offsets_.clear();
    sizes_.clear();
    blobOf_.clear();
    int offset = 0;
    int blobs = 0;
    for (int i = 0; i < FieldDefs().Count(); ++i) {
      offsets_.push_back(offset);
      sizes_.push_back(valueSize(FieldDefs()[i]));
      blobOf_.push_back(IsBlobFieldType(FieldDefs()[i]->DataType()) ? blobs++ : -1);
      offset += 1 + sizes_.back();
    }
    recordSize_ = offset;
    for (Row& row : rows_) {
      row.image.resize(recordSize_, '\0');
      row.blobs.resize(static_cast<size_t>(blobs));
    }
  }
  int blobIndex(int defIndex) const { return blobOf_[defIndex]; }
  int infoOffset() const { return recordSize_ + FCalcFieldsSize; }
  int bufferSize() const { return infoOffset() + 12; }
  int32_t rowIdOf(TRecordBuffer buffer) const {
    int32_t id = 0;
    std::memcpy(&id, buffer + infoOffset() + 8, 4);
    return id;
  }
  int indexOfId(int32_t id) const {
    for (size_t i = 0; i < rows_.size(); ++i)
      if (rows_[i].id == id) return static_cast<int>(i);
    return -1;
  }

  std::vector<Row> rows_;
  std::map<TRecordBuffer, std::unique_ptr<char[]>> storage_;
  std::map<TRecordBuffer, std::vector<std::optional<QByteArray>>> blobs_;
  std::vector<int> offsets_;
  std::vector<int> sizes_;
  std::vector<int> blobOf_;
  int recordSize_ = 0;
  int cur_ = -1;
  int32_t nextId_ = 1;
  bool open_ = false;
  TRecordBuffer filterBuffer_ = nullptr;
};

// A blob stream over one buffer's value; a writing stream stores its content when destroyed.
class MemoryBlobStream : public TBytesStream {
 public:
  MemoryBlobStream(MemoryDataSet* dataSet, TField* field, TRecordBuffer buffer, const QByteArray& bytes, bool writing)
      : TBytesStream(writing ? QByteArray() : bytes), dataSet_(dataSet), field_(field), buffer_(buffer), writing_(writing) {}
  ~MemoryBlobStream() override {
    if (writing_) dataSet_->StoreBlob(field_, buffer_, Bytes());
  }

 private:
  MemoryDataSet* dataSet_;
  TField* field_;
  TRecordBuffer buffer_;
  bool writing_;
};

inline std::unique_ptr<TStream> MemoryDataSet::CreateBlobStream(TField* field, TBlobStreamMode mode) {
  TRecordBuffer buffer = fieldBuffer();
  if (buffer == nullptr || field->FieldNo() < 1) return nullptr;
  const bool writing = mode != bmRead;
  if (writing && FState != dsEdit && FState != dsInsert) DatabaseError(dbmsg::kNotEditing, this);
  const auto& slot = blobs_.at(buffer)[blobIndex(field->FieldNo() - 1)];
  return std::make_unique<MemoryBlobStream>(this, field, buffer, slot.value_or(QByteArray()), writing);
}

}  // namespace testdata
