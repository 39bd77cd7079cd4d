#include "engine/table/table_cursor.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "engine/core/error.h"
#include "engine/table/record_writer.h"

namespace engine::table {

namespace {

std::atomic<bool> gShowDeleted{false};

// An exclusive open reads ahead at least this far: nobody else can change the records.
constexpr uint16_t kExclusiveReadAhead = 256;

[[noreturn]] void NoCurrentRecord() { Fail(err::kNoCurrentRecord, "There is no current record."); }

}  // namespace

bool ShowDeleted() { return gShowDeleted.load(); }
void SetShowDeleted(bool show) { gShowDeleted.store(show); }

TableCursor::TableCursor(std::unique_ptr<Table> table, CursorInfo info)
    : table_(std::move(table)), info_(std::move(info)), image_(table_->schema().recordLength()) {
  // A name that is the host path itself changes nothing in a message: none is kept, so that
  // the calls on the table have nothing to note.
  if (!info_.windowsPath.empty() && info_.windowsPath != table_->path()) {
    callerName_ = std::make_shared<const core::CallerName>(core::CallerName{table_->path(), info_.windowsPath});
  }
  if (info_.connection != 0) journal_ = std::make_unique<TransactionJournal>(*table_, info_.connection);
  GotoTop(nullptr);
}

TableCursor::~TableCursor() {
  try {
    FlushPending();
  } catch (const EngineError&) {
    // A change that cannot be stored while closing is dropped, as a cancel would: the
    // record in the file keeps its previous content.
    try {
      CancelUpdate();
    } catch (const EngineError&) {
      // Nothing more can be done for it here.
    }
  }
}

void TableCursor::InvalidateCache() {
  cacheCount_ = 0;
  cacheFirst_ = 0;
}

void TableCursor::ForgetImages() {
  InvalidateCache();
  if (!dirty_ && !appending_) loaded_ = false;
}

void TableCursor::SetCacheSize(uint16_t records) {
  cacheSize_ = records;
  InvalidateCache();
}

void TableCursor::ReadRecordCached(uint32_t n, uint8_t* out) {
  const uint32_t len = schema().recordLength();
  if (cacheCount_ && n >= cacheFirst_ && n < cacheFirst_ + cacheCount_) {
    std::memcpy(out, cache_.data() + static_cast<size_t>(n - cacheFirst_) * len, len);
    return;
  }
  uint32_t size = table_->exclusive() ? std::max(cacheSize_, kExclusiveReadAhead) : cacheSize_;
  if (size <= 1) {
    table_->ReadRecord(n, out);
    ShowCommitted(*table_, info_.connection, n, 1, out);
    return;
  }
  // Read ahead in the direction of travel: centred on n when coming from above.
  uint32_t first = n;
  if (cacheCount_ && n + 1 == cacheFirst_) first = n >= size ? n - size + 1 : 1;
  cache_.resize(static_cast<size_t>(size) * len);
  cacheFirst_ = first;
  cacheCount_ = table_->ReadRecords(first, size, cache_.data());
  if (!(n >= cacheFirst_ && n < cacheFirst_ + cacheCount_)) {
    // Not among what could be read (past the count, cut off, or behind a record this open
    // cannot decrypt): reading it alone reports why, or reads it.
    InvalidateCache();
    table_->ReadRecord(n, out);
    ShowCommitted(*table_, info_.connection, n, 1, out);
    return;
  }
  ShowCommitted(*table_, info_.connection, cacheFirst_, cacheCount_, cache_.data());
  std::memcpy(out, cache_.data() + static_cast<size_t>(n - cacheFirst_) * len, len);
}

bool TableCursor::VisibleImage(const uint8_t* image, uint32_t n) {
  if (image[0] == kDeletedFlag && !ShowDeleted()) return false;
  if (Filtering() && !filter_->Accepts(RecordView(schema(), image, n))) return false;
  return true;
}

bool TableCursor::LoadVisible(uint32_t n) {
  try {
    ReadRecordCached(n, image_.data());
  } catch (const EngineError& e) {
    // An encrypted record without the key: without a filter its deletion flag, which is
    // stored in clear, is all that navigation needs; reading a field of it reports 5503.
    if (e.code() != err::kEncryptionNotEnabled || Filtering()) throw;
    loaded_ = false;
    return !(table_->IsRecordDeletedInFile(n) && !ShowDeleted());
  }
  loaded_ = true;
  return VisibleImage(image_.data(), n);
}

void TableCursor::PositionOn(uint32_t n) {
  recno_ = n;
  bof_ = false;
  eof_ = false;
}

void TableCursor::SetEOF() {
  recno_ = 0;
  eof_ = true;
  bof_ = false;
  loaded_ = false;
}

void TableCursor::SetBOFOnEmpty() {
  recno_ = 0;
  eof_ = true;
  bof_ = true;
  loaded_ = false;
}

// In record-number order a filter may name the next record worth reading, so that records it
// cannot accept are never read.
uint32_t TableCursor::FirstOf(RecordOrder* order) {
  if (order) return order->First();
  uint32_t count = table_->RecordCount();
  if (count == 0) return 0;
  return Filtering() ? filter_->NextCandidate(1, count) : 1;
}

uint32_t TableCursor::LastOf(RecordOrder* order) {
  if (order) return order->Last();
  uint32_t count = table_->RecordCount();
  if (count == 0) return 0;
  return Filtering() ? filter_->PriorCandidate(count) : count;
}

uint32_t TableCursor::NextOf(uint32_t n, RecordOrder* order) {
  if (order) return order->Next(n);
  if (n >= table_->cachedRecordCount()) table_->Refresh();
  if (n >= table_->cachedRecordCount()) return 0;
  return Filtering() ? filter_->NextCandidate(n + 1, table_->cachedRecordCount()) : n + 1;
}

uint32_t TableCursor::PriorOf(uint32_t n, RecordOrder* order) {
  if (order) return order->Prior(n);
  if (n <= 1) return 0;
  return Filtering() ? filter_->PriorCandidate(n - 1) : n - 1;
}

void TableCursor::GotoTop(RecordOrder* order) {
  FlushPending();
  uint32_t n = FirstOf(order);
  while (n != 0 && !LoadVisible(n)) n = NextOf(n, order);
  if (n == 0) return SetBOFOnEmpty();
  PositionOn(n);
}

void TableCursor::GotoBottom(RecordOrder* order) {
  FlushPending();
  uint32_t n = LastOf(order);
  while (n != 0 && !LoadVisible(n)) n = PriorOf(n, order);
  if (n == 0) return SetBOFOnEmpty();
  PositionOn(n);
}

void TableCursor::GotoBOF() {
  FlushPending();
  recno_ = 0;
  bof_ = true;
  eof_ = table_->RecordCount() == 0;
  loaded_ = false;
}

void TableCursor::GotoEOF() {
  FlushPending();
  SetEOF();
  if (table_->RecordCount() == 0) bof_ = true;
}

void TableCursor::Skip(int32_t count, RecordOrder* order) {
  FlushPending();
  if (count == 0) {
    if (recno_ != 0) RefreshRecord();
    return;
  }
  uint32_t n = recno_;
  int64_t steps = count > 0 ? count : -int64_t{count};
  if (count > 0) {
    if (eof_ && n == 0) return;
    if (n == 0) {  // from the phantom record before the first
      n = FirstOf(order);
      while (n != 0 && !LoadVisible(n)) n = NextOf(n, order);
      --steps;
    }
    while (n != 0 && steps > 0) {
      n = NextOf(n, order);
      while (n != 0 && !LoadVisible(n)) n = NextOf(n, order);
      --steps;
    }
    if (n == 0) return SetEOF();
    PositionOn(n);
  } else {
    if (bof_ && n == 0) return;
    if (n == 0) {  // from the phantom record after the last
      n = LastOf(order);
      while (n != 0 && !LoadVisible(n)) n = PriorOf(n, order);
      --steps;
    }
    while (n != 0 && steps > 0) {
      n = PriorOf(n, order);
      while (n != 0 && !LoadVisible(n)) n = PriorOf(n, order);
      --steps;
    }
    if (n == 0) {
      recno_ = 0;
      bof_ = true;
      eof_ = false;
      loaded_ = false;
      return;
    }
    PositionOn(n);
  }
}

void TableCursor::GotoRecord(uint32_t n) {
  FlushPending();
  if (n == 0 || n > table_->RecordCount()) {
    SetEOF();
    Fail(err::kInvalidRecordNumber, "Record " + std::to_string(n) + " does not exist.");
  }
  if (!(cacheCount_ && n >= cacheFirst_ && n < cacheFirst_ + cacheCount_)) InvalidateCache();
  LoadVisible(n);
  PositionOn(n);
}

bool TableCursor::IsVisible() {
  if (recno_ == 0) NoCurrentRecord();
  return VisibleImage(Current(), recno_);
}

uint32_t TableCursor::CountRecords(uint16_t option, RecordOrder* order) {
  FlushPending();
  uint16_t base = option > 4 ? option - 4 : option;
  uint32_t total = table_->RecordCount();
  if (base == 2 && !order) return total;
  if (base == 2 || (!Filtering() && ShowDeleted() && !order)) return total;
  // Visible records: walk the records (along the order when one is given: its condition and
  // scopes restrict them too) reading ahead.
  uint32_t counted = 0;
  std::vector<uint8_t> image(schema().recordLength());
  if (order) {
    for (uint32_t n = order->First(); n != 0; n = order->Next(n)) {
      table_->ReadRecord(n, image.data());
      ShowCommitted(*table_, info_.connection, n, 1, image.data());
      if (VisibleImage(image.data(), n)) ++counted;
    }
    return counted;
  }
  if (Filtering() && filter_->Sparse()) {
    for (uint32_t n = total ? filter_->NextCandidate(1, total) : 0; n != 0;
         n = n < total ? filter_->NextCandidate(n + 1, total) : 0) {
      table_->ReadRecord(n, image.data());
      ShowCommitted(*table_, info_.connection, n, 1, image.data());
      if (VisibleImage(image.data(), n)) ++counted;
    }
    return counted;
  }
  if (table_->ChangedByTransactions()) {
    // Records another connection's transaction changed count as they were committed.
    constexpr uint32_t kBatch = 256;
    std::vector<uint8_t> batch(size_t{kBatch} * image.size());
    for (uint32_t first = 1; first <= total;) {
      uint32_t got = table_->ReadRecords(first, std::min(kBatch, total - first + 1), batch.data());
      if (got == 0) break;
      ShowCommitted(*table_, info_.connection, first, got, batch.data());
      for (uint32_t i = 0; i < got; ++i) {
        if (VisibleImage(batch.data() + size_t{i} * image.size(), first + i)) ++counted;
      }
      first += got;
    }
    return counted;
  }
  table_->Scan([&](const RecordView& v) {
    if (VisibleImage(v.raw(), v.recordNumber())) ++counted;
  });
  return counted;
}

const uint8_t* TableCursor::Current() {
  if (recno_ == 0) NoCurrentRecord();
  if (!loaded_) {
    ReadRecordCached(recno_, image_.data());
    loaded_ = true;
  }
  return image_.data();
}

void TableCursor::RefuseStatic() const {
  Fail(err::kStaticCursor, "The cursor holds a static result of an SQL statement; its rows cannot be changed or locked.");
}

void TableCursor::CheckWritable(uint32_t right, const char* what) {
  if (info_.staticResult) RefuseStatic();
  if (table_->readOnly()) Fail(err::kTableReadOnly, "The table \"" + info_.name + "\" is open read-only.");
  if (info_.checkRights && !(info_.options & right)) {
    Fail(err::kPermissionDenied, std::string(what) + " permission not granted on this table.");
  }
}

uint8_t* TableCursor::BeginChange() {
  if (recno_ == 0) NoCurrentRecord();
  Current();
  if (!dirty_ && !appending_) {
    CheckWritable(kOptUpdateGranted, "Update");
    if (!table_->exclusive() && !table_->IsTableLocked() && !table_->IsRecordLocked(recno_)) {
      if (HoldForTransaction(recno_)) {
        // The connection's transaction holds the record until it ends.
      } else if (InTransaction(info_.connection) || !table_->LockRecord(recno_)) {
        Fail(err::kRecordLocked, "Record " + std::to_string(recno_) + " is locked by another user.");
      } else {
        implicitLock_ = true;
      }
      // The lock makes the file's record the one to change.
      table_->ReadRecord(recno_, image_.data());
      InvalidateCache();
    }
  }
  dirty_ = true;
  return image_.data();
}

void TableCursor::AppendRecord() {
  FlushPending();
  CheckWritable(kOptInsertGranted, "Insert");
  // Records are appended one after another: the empty record is made once, and the new
  // record is built in the buffer the one before it left, so an append allocates nothing.
  const size_t length = schema().recordLength();
  if (blankImage_.size() != length) {
    blankImage_.assign(length, 0);
    WriteEmptyRecord(schema(), blankImage_.data());
  }
  std::vector<uint8_t>& image = spareImage_;
  image.assign(blankImage_.begin(), blankImage_.end());
  bool locked = false;
  uint32_t n = table_->ReserveRecord(image.data(), &locked);
  implicitLock_ = locked;
  image_.swap(image);
  loaded_ = true;
  appending_ = true;
  dirty_ = true;
  PositionOn(n);
  InvalidateCache();
}

void TableCursor::ReleaseImplicitLock() {
  if (implicitLock_ && recno_ != 0) {
    table_->UnlockRecord(recno_);
    // A record appended in a transaction stays locked until the transaction ends; it is
    // handed over at once, and nobody else sees it meanwhile (it reads as deleted to them).
    HoldForTransaction(recno_);
  }
  implicitLock_ = false;
}

bool TableCursor::HoldForTransaction(uint32_t n) { return journal_ && journal_->HoldForTransaction(n); }

bool TableCursor::TakeChangeLock(uint32_t n) {
  if (HoldForTransaction(n)) return true;  // held by the transaction: kept when the change is done
  if (InTransaction(info_.connection) || !table_->LockRecord(n)) {
    Fail(err::kRecordLocked, "Record " + std::to_string(n) + " is locked by another user.");
  }
  return false;
}

void TableCursor::DropPendingBlobs() {
  for (BlobRef ref : newBlobs_) table_->FreeBlob(ref);
  newBlobs_.clear();
  oldBlobs_.clear();
}

void TableCursor::WriteRecord() {
  if (!dirty_ && !appending_) return;
  if (appending_) {
    table_->CompleteAppend(recno_, image_.data());
  } else {
    table_->WriteRecord(recno_, image_.data());
  }
  dirty_ = false;
  appending_ = false;
  newBlobs_.clear();
  // Blobs the record no longer refers to are freed only now that it is stored, and not before
  // a transaction ends: a rollback restores the references. The record is stored whatever
  // happens to that cleanup: a blob that cannot be freed keeps its space, and the write stands.
  if (!InTransaction(info_.connection)) {
    try {
      for (BlobRef ref : oldBlobs_) table_->FreeBlob(ref);
    } catch (const EngineError&) {
      // Space, never data, is lost.
    }
  }
  oldBlobs_.clear();
  try {
    ReleaseImplicitLock();
  } catch (const EngineError&) {
    // The lock goes with the open at the latest; the record is stored.
  }
  InvalidateCache();
}

void TableCursor::FlushPending() {
  if (dirty_ || appending_) WriteRecord();
}

void TableCursor::CancelUpdate() {
  if (!dirty_ && !appending_) Fail(err::kNoUpdatePending, "There is no change to cancel.");
  DropPendingBlobs();
  if (appending_) {
    // The new record goes when it is still the last one; otherwise it stays deleted, so that
    // the numbers of the records after it never move.
    appending_ = false;
    dirty_ = false;
    try {
      table_->CancelAppend(recno_);
    } catch (...) {
      ReleaseImplicitLock();
      loaded_ = false;
      InvalidateCache();
      throw;
    }
  }
  dirty_ = false;
  ReleaseImplicitLock();
  loaded_ = false;
  InvalidateCache();
  if (recno_ > table_->cachedRecordCount()) SetEOF();
}

uint32_t TableCursor::InsertRecord(const std::function<void(uint8_t*, const BlobStore&)>& fill) {
  FlushPending();
  CheckWritable(kOptInsertGranted, "Insert");
  std::vector<uint8_t> image(schema().recordLength());
  WriteEmptyRecord(schema(), image.data());
  std::vector<BlobRef> blobs;
  BlobStore store = [&](std::string_view content) {
    BlobRef ref = table_->WriteBlob(content);
    if (ref.block) blobs.push_back(ref);
    return ref;
  };
  uint32_t n = 0;
  try {
    fill(image.data(), store);
    n = table_->AppendRecord(image.data());
  } catch (...) {
    for (BlobRef ref : blobs) {
      try {
        table_->FreeBlob(ref);
      } catch (const EngineError&) {
        // The blob stays allocated: space, never data, is lost.
      }
    }
    throw;
  }
  // A record appended in a transaction stays locked until the transaction ends.
  if (!table_->exclusive()) HoldForTransaction(n);
  RecordView v(schema(), image.data(), n);
  for (size_t i = 0; i < v.fieldCount(); ++i) {
    if (v.field(i).type == FieldType::kAutoInc) lastAppendedAutoinc = static_cast<uint32_t>(v.integer(i));
  }
  image_ = std::move(image);
  loaded_ = true;
  PositionOn(n);
  InvalidateCache();
  return n;
}

void TableCursor::RefreshRecord() {
  if (recno_ == 0) NoCurrentRecord();
  if (dirty_ || appending_) CancelUpdate();
  InvalidateCache();
  table_->ReadRecord(recno_, image_.data());
  ShowCommitted(*table_, info_.connection, recno_, 1, image_.data());
  loaded_ = true;
}

void TableCursor::DeleteRecord() {
  if (recno_ == 0) NoCurrentRecord();
  FlushPending();
  CheckWritable(kOptDeleteGranted, "Delete");
  bool locked = table_->exclusive() || table_->IsTableLocked() || table_->IsRecordLocked(recno_);
  if (!locked) locked = TakeChangeLock(recno_);
  try {
    table_->SetDeleted(recno_, true);
  } catch (const EngineError&) {
    if (!locked) table_->UnlockRecord(recno_);
    throw;
  }
  if (!locked) table_->UnlockRecord(recno_);
  image_[0] = kDeletedFlag;
  InvalidateCache();
}

void TableCursor::RecallRecord() {
  if (recno_ == 0) NoCurrentRecord();
  FlushPending();
  CheckWritable(kOptUpdateGranted, "Update");
  bool locked = table_->exclusive() || table_->IsTableLocked() || table_->IsRecordLocked(recno_);
  if (!locked) locked = TakeChangeLock(recno_);
  try {
    table_->SetDeleted(recno_, false);
  } catch (const EngineError&) {
    if (!locked) table_->UnlockRecord(recno_);
    throw;
  }
  if (!locked) table_->UnlockRecord(recno_);
  image_[0] = kLiveFlag;
  InvalidateCache();
}

std::string TableCursor::ReadBlob(size_t field) {
  return table_->ReadBlob(RecordView(schema(), Current(), recno_).blob(field));
}

void TableCursor::SetBlob(size_t field, std::string_view content) {
  uint8_t* image = BeginChange();
  BlobRef old = RecordView(schema(), image, recno_).blob(field);
  BlobRef fresh = table_->WriteBlob(content, schema().fields()[field].type);
  if (fresh.block) newBlobs_.push_back(fresh);
  // A blob written during this change can go at once; the stored one only after the write.
  auto it = std::find_if(newBlobs_.begin(), newBlobs_.end(), [&](BlobRef r) { return r.block == old.block; });
  if (old.block && it != newBlobs_.end() && old.block != fresh.block) {
    table_->FreeBlob(old);
    newBlobs_.erase(it);
  } else if (old.block) {
    oldBlobs_.push_back(old);
  }
  WriteBlobRef(schema(), image, field, fresh);
}

bool TableCursor::LockRecord(uint32_t n) {
  if (info_.staticResult) RefuseStatic();
  if (n == 0) n = recno_;
  if (n == 0) NoCurrentRecord();
  if (n > table_->RecordCount()) Fail(err::kInvalidRecordNumber, "Record " + std::to_string(n) + " does not exist.");
  // A record the connection's transaction holds is this connection's already.
  if (!table_->LockRecord(n)) return InTransaction(info_.connection) && HoldForTransaction(n);
  if (n == recno_) implicitLock_ = false;  // now held on purpose
  if (n == recno_ && !dirty_ && !appending_) loaded_ = false;  // re-read under the lock
  InvalidateCache();
  return true;
}

bool TableCursor::UnlockRecord(uint32_t n) {
  if (n == 0) n = recno_;
  if (n == recno_ && (dirty_ || appending_)) FlushPending();
  return table_->UnlockRecord(n);
}

bool TableCursor::LockTable() {
  if (info_.staticResult) RefuseStatic();
  if (!table_->LockTable()) return false;
  if (!dirty_ && !appending_) loaded_ = false;
  InvalidateCache();
  return true;
}

bool TableCursor::UnlockTable() {
  FlushPending();
  return table_->UnlockTable();
}

}  // namespace engine::table
