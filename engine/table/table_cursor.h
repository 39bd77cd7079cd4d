// A table as one handle of the C interface sees it: an open Table, a record position, the
// current record with its pending changes, a read-ahead cache, and the settings of the handle.
//
// Position: on a record (recordNumber() > 0), or on neither end's phantom record
// (recordNumber() 0) with atBOF() or atEOF() telling which. Changes go to the current record's
// image first (beginning an edit locks the record implicitly when the handle does not hold the
// lock, and refuses with 5035 when another does); WriteRecord stores them, moving away stores
// them implicitly, CancelUpdate drops them. AppendRecord places a new empty record at the end
// at once, so its number is known; its index keys are made when it is written.
//
// The read-ahead cache holds up to CacheSize() records around the last read; records in it
// may be older than the file in a shared open until the cache is refilled, a record is locked,
// or RefreshRecord runs — the meaning of record caching.
//
// REQUIRES: external synchronization (a handle is used by one thread at a time).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/caller_names.h"
#include "engine/table/record_order.h"
#include "engine/table/table.h"
#include "engine/table/transaction.h"

namespace engine::table {

// Open-option bits reported by AdsGetTableOpenOptions.
constexpr uint32_t kOptExclusive = 0x1;
constexpr uint32_t kOptReadOnly = 0x2;
constexpr uint32_t kOptUpdateGranted = 0x20;
constexpr uint32_t kOptInsertGranted = 0x40;
constexpr uint32_t kOptDeleteGranted = 0x80;

// A column whose rights are the table's.
constexpr uint32_t kColumnAsTable = 0xFFFFFFFFu;

// Whether cursors show deleted records (one setting for the process; off by default).
bool ShowDeleted();
void SetShowDeleted(bool show);

struct CursorInfo {
  uint32_t connection = 0;    // owning connection handle (0 for none)
  std::string name;           // the name the table was opened by
  std::string windowsPath;    // the table file in Windows form
  std::string collation;      // as requested or stored
  uint16_t charType = 1;
  uint16_t lockType = 1;
  uint32_t options = 0;       // kOpt* bits
  bool checkRights = true;
  // Per field, the kOpt*Granted bits of a column with rights of its own, or kColumnAsTable
  // (also for every field when the vector is empty).
  std::vector<uint32_t> columnOptions;
  // The index tag whose order the cursor's rows follow (an SQL result with ORDER BY); empty
  // when the rows follow record numbers only. AdsGetIndexHandle with no name gives its order.
  std::string ownOrder;
  // The static result of an SQL statement: every change and every lock of its records is
  // refused with kStaticCursor, which tells callers that the rows cannot be edited.
  bool staticResult = false;
};

class TableCursor {
 public:
  TableCursor(std::unique_ptr<Table> table, CursorInfo info);
  ~TableCursor();

  Table& table() { return *table_; }
  const Schema& schema() const { return table_->schema(); }
  const CursorInfo& info() const { return info_; }
  // The table file's host path and the opener's name for it, for messages (null when the
  // opener gave no Windows name, or the host path itself).
  const std::shared_ptr<const core::CallerName>& callerName() const { return callerName_; }
  // The field a caller naming fields is expected to name next (callers name the fields of a
  // record one after another): a hint for looking fields up by name, nothing more.
  size_t& fieldHint() { return fieldHint_; }
  void SetFilter(std::shared_ptr<RecordFilter> filter) { filter_ = std::move(filter); }
  const std::shared_ptr<RecordFilter>& filter() const { return filter_; }
  // The order the cursor handle itself walks in (a live SQL cursor of an ORDER BY walks its
  // table's tag); null for record-number order. Index handles walk their own order.
  void SetDefaultOrder(std::shared_ptr<OrderHandle> order) { defaultOrder_ = std::move(order); }
  RecordOrder* defaultOrder() const { return defaultOrder_ ? &defaultOrder_->order() : nullptr; }

  // Navigation; `order` null walks in record-number order.
  void GotoTop(RecordOrder* order);
  void GotoBottom(RecordOrder* order);
  void GotoBOF();
  void GotoEOF();
  void Skip(int32_t count, RecordOrder* order);
  // Positions on record n whether or not it is visible; 5022 (and end of file) when it does
  // not exist.
  void GotoRecord(uint32_t n);
  bool atBOF() const { return bof_; }
  bool atEOF() const { return eof_; }
  uint32_t recordNumber() const { return recno_; }
  // The current record is shown (not a hidden deleted record, accepted by the filter); 5068
  // without a current record.
  bool IsVisible();
  // Records counted as the option says (1 visible ones, 2 all, 3 visible within `order`).
  uint32_t CountRecords(uint16_t option, RecordOrder* order);

  // The current record image (with pending changes); 5068 without a current record.
  const uint8_t* Current();
  RecordView CurrentView() { return RecordView(schema(), Current(), recno_); }
  // The current record for changing: checks the rights and takes the implicit lock.
  uint8_t* BeginChange();
  bool pending() const { return dirty_ || appending_; }
  // A record appended by this handle and not written yet.
  bool appending() const { return appending_; }

  // Places a new record at the end at once (its number is known), to be filled and written.
  void AppendRecord();
  // Appends a complete record in one step: `fill` sets the values of an empty image, storing
  // blobs through the store it is given; the record is counted only once it is whole, so a
  // failure or a crash on the way leaves nothing. The handle is positioned on it; answers its
  // number.
  using BlobStore = std::function<BlobRef(std::string_view)>;
  uint32_t InsertRecord(const std::function<void(uint8_t* image, const BlobStore& store)>& fill);
  void WriteRecord();
  // Drops pending changes; 5085 when there are none (the caller may ignore it).
  void CancelUpdate();
  // Re-reads the current record from the file, dropping pending changes.
  void RefreshRecord();
  void DeleteRecord();
  void RecallRecord();

  // Blobs of the current record.
  std::string ReadBlob(size_t field);
  void SetBlob(size_t field, std::string_view content);

  void SetCacheSize(uint16_t records);
  uint16_t cacheSize() const { return cacheSize_; }

  // Pieces of a binary value set in parts (AdsSetBinary), by field, until the last arrives.
  std::map<size_t, std::string> binaryParts;
  // The autoincrement value of the record this handle appended last (0: none yet).
  uint32_t lastAppendedAutoinc = 0;

  // Locks; n 0 means the current record.
  bool LockRecord(uint32_t n);
  bool UnlockRecord(uint32_t n);
  bool LockTable();
  bool UnlockTable();

  // Writes a pending change (before any move or close).
  void FlushPending();

  // Forgets cached records (after a pack, zap or a lock).
  void InvalidateCache();
  // Forgets every record image read so far, the current one included (unless it has pending
  // changes): after the key of the open changed or the file was rewritten, the next read
  // comes from the file with the key now in force.
  void ForgetImages();

 private:
  // While the connection is in a transaction: holds record n for the transaction (true), or
  // false when another open holds it. Outside a transaction: false.
  bool HoldForTransaction(uint32_t n);
  // Locks record n for a deletion or recall: answers true when the transaction now holds it (to
  // be kept), false when this open locked it (to be released after the change); 5035 when
  // another open holds it.
  bool TakeChangeLock(uint32_t n);
  void ReadRecordCached(uint32_t n, uint8_t* out);
  bool VisibleImage(const uint8_t* image, uint32_t n);
  bool LoadVisible(uint32_t n);
  void PositionOn(uint32_t n);
  void SetEOF();
  void SetBOFOnEmpty();
  bool Filtering() const { return filter_ && filter_->Active(); }
  uint32_t FirstOf(RecordOrder* order);
  uint32_t LastOf(RecordOrder* order);
  uint32_t NextOf(uint32_t n, RecordOrder* order);
  uint32_t PriorOf(uint32_t n, RecordOrder* order);
  void ReleaseImplicitLock();
  void DropPendingBlobs();
  void CheckWritable(uint32_t right, const char* what);
  [[noreturn]] void RefuseStatic() const;

  std::unique_ptr<Table> table_;
  CursorInfo info_;
  std::shared_ptr<const core::CallerName> callerName_;
  size_t fieldHint_ = 0;
  std::shared_ptr<RecordFilter> filter_;
  std::shared_ptr<OrderHandle> defaultOrder_;

  uint32_t recno_ = 0;
  bool bof_ = true;
  bool eof_ = true;
  std::vector<uint8_t> image_;  // the current record
  std::vector<uint8_t> blankImage_;  // an empty record of the schema, made at the first append
  std::vector<uint8_t> spareImage_;  // room for the next appended record
  bool loaded_ = false;
  bool dirty_ = false;
  bool appending_ = false;
  bool implicitLock_ = false;
  std::vector<BlobRef> newBlobs_;   // written during this change; freed on cancel
  std::vector<BlobRef> oldBlobs_;   // replaced during this change; freed after the write

  // Journals this open's changes while its connection is in a transaction (null without a
  // connection). Declared after table_, so it stops observing before the table closes.
  std::unique_ptr<TransactionJournal> journal_;

  uint16_t cacheSize_ = 10;
  std::vector<uint8_t> cache_;
  uint32_t cacheFirst_ = 0;
  uint32_t cacheCount_ = 0;
};

}  // namespace engine::table
