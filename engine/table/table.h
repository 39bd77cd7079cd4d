// One open table file with its memo file: records read and written by number, blobs, the
// header's counters and tag definitions, pack, zap, and the locks that one open holds against
// every other open of the same table. What differs between the native table file (.adt, .adm)
// and the DBF table file (.dbf, .dbt or .fpt) sits behind RecordFormat (record_format.h); all
// else here is shared by every table type. The code is split by concern:
// table.cpp (opening, the header and its counters, commits), table_records.cpp (records and
// their stamped values), table_locks.cpp, table_parking.cpp (an open kept between SQL
// statements without its locks), table_blobs.cpp, table_rewrite.cpp (pack, zap and
// the rewrite they share), table_encryption.cpp and table_restructure.cpp. Its files are named,
// created, replaced and removed through table_files.h, and every byte goes through the
// engine's storage (engine/storage/storage.h).
//
// Each Table object is one open of the file with its own open file description, so its locks
// conflict with those of every other Table on the same file, in this process or another.
// Lock bytes (OFD locks, far past any data):
//   kOpenLockByte       shared lock by every open, exclusive lock by an exclusive open
//   kWriterLockByte     exclusive for the duration of one change of the header, a record,
//                       the memo file or (through WriterLock) an index
//   kTransactionLockByte shared by the transaction log of every connection whose open
//                       transaction has changed the table (transaction_log.h)
//   kRecordLockBase + n record n; the table lock covers the whole record range
// The index layer may use the bytes from kIndexLockBase up to kRecordLockBase.
//
// Durability. A change (an append completed, a record written, deleted or recalled, a blob
// stored for it) is durable when the call that made it returns: it commits before returning.
// Between BeginBatch and EndBatch, and while an observer holds the commit (a transaction in
// progress), changes wait for an explicit Commit. A commit syncs the memo file, then the
// table file with its counter block, then tells the observers (the index layer syncs its
// files after the table). A commit that fails undoes the change of the call that asked for it
// and reports the failure, so a failed call leaves no trace; a failed Commit of a batch
// reports the failure and leaves the undoing to the batch's owner (a transaction rolls back).
//
// Crashes. The record count in the counter block is the authority: records past it are never
// read and never adopted, whatever comes next, and the next append overwrites them. An
// exclusive open writes the counter block only when it commits, so a crash in the middle of a
// batch of appends leaves none of them. A shared open writes it with every change, so that
// the other opens see the change; a record being appended through a table handle
// (ReserveRecord) is stored deleted and blank, with its keys, until it is completed, so a crash
// before that leaves at worst a deleted blank record that every index agrees with.
// Before the first byte of a change is written, the observers make sure that a crash from then
// on can be told from their files (BeforeChange): the index layer marks its files as being
// updated and syncs that mark, and clears it only after the table's commit.
//
// Encryption: a table with a password (format version 2) stores every record in a slot of its
// record length plus kSealOverhead: the deletion flag in clear (so that walking the records
// needs no key), then the record's body as a sealed piece (record_cipher.h), either
// encrypted or, for a record written before the table was encrypted or decrypted on its own,
// stored as it is. Its blobs are sealed pieces too. The key is a property of one open: records
// are handed out decrypted only to the open that enabled encryption with the right password;
// any other open gets kEncryptionNotEnabled for an encrypted record and may not write records
// or blobs at all, so nothing is ever stored in clear in an encrypted table by accident.
//
// REQUIRES: external synchronization (one thread at a time per Table).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "engine/storage/folder_watch.h"
#include "engine/storage/storage.h"
#include "engine/table/memo_store.h"
#include "engine/table/record_cipher.h"
#include "engine/table/record_access.h"
#include "engine/table/record_format.h"
#include "engine/table/table_header.h"

namespace engine::index {
class TableIndexes;  // the index layer's state of one open (engine/index/table_indexes.h)
}  // namespace engine::index

namespace engine::table {

constexpr uint64_t kOpenLockByte = uint64_t{1} << 62;
constexpr uint64_t kWriterLockByte = kOpenLockByte + 1;
constexpr uint64_t kTransactionLockByte = kOpenLockByte + 2;
constexpr uint64_t kIndexLockBase = kOpenLockByte + 16;
constexpr uint64_t kRecordLockBase = kOpenLockByte + 4096;
constexpr uint64_t kRecordLockSpan = uint64_t{1} << 32;

// Called with a percentage during long operations; answering false stops the operation,
// which then leaves the table as it was.
using ProgressFn = std::function<bool(uint16_t percent)>;

class Table {
 public:
  struct CreateOptions {
    uint16_t memoBlockSize = 0;  // 0: kDefaultMemoBlockSize
    uint16_t charType = 1;       // 1 ANSI, 2 OEM
    std::string collation;
    uint16_t indexPageSize = 512;
    std::vector<TagDefinition> tags;
    // A scratch table (such as an SQL result) that nothing needs after a crash: its creation
    // is not forced to the disk.
    bool scratch = false;
  };
  struct OpenOptions {
    bool exclusive = false;
    bool readOnly = false;
    // A scratch table: commits write what is pending without forcing it to the disk.
    bool scratch = false;
    // The type the caller opens the table as; unset: the type the file's header shows (a DBF
    // file without memos is a CDX table when a structural .cdx is beside it, else NTX).
    // kNotATableFile when the file is not of the type asked for.
    std::optional<TableType> type = std::nullopt;
  };

  // Writes a new empty table of the schema's table type (and its memo file when the schema
  // has blobs) at `path`,
  // replacing an existing table (its memo and index files go) unless some other open holds
  // it (kTableInUse). The new files are put in place through table_files.h, so a crash leaves
  // the old table or the new one.
  static void Create(const std::string& path, const Schema& schema, const CreateOptions& options);

  // Opens the table at `path`. Throws kTableNotFound, kTableInUse (open exclusively by
  // another, or an exclusive open while others have it open), kNotATableFile, kTableVersion,
  // kTableHeaderDamaged. A missing or damaged memo file does not prevent the open; reading a
  // blob then fails with kMemoDamaged. A replacement of the table's files that a crashed
  // process decided is finished first (table_files::Recover); an open that cannot do that
  // because others have the table open is refused with kTableInUse. Opening never changes
  // the table's data.
  static std::unique_ptr<Table> Open(const std::string& path, const OpenOptions& options);

  // Changes the fields of the table at `path`, which nobody may have open, keeping every
  // record's data (values are converted to a changed type; text is cut to a shorter length).
  // `add` uses the field-definition form; `remove` lists names; `change` holds entries
  // "NAME,Type[,length[,decimals]]" or "OLDNAME,NEWNAME[,Type[,length[,decimals]]]".
  // `beforeReplace`, when given, runs once the new file is complete and before it replaces the
  // old one, with the new fields and the table's tags; when it throws, the table stays as it
  // was.
  using RestructureCheck = std::function<void(const Schema& next, const std::vector<TagDefinition>& tags)>;
  static void Restructure(const std::string& path, std::string_view add, std::string_view remove,
                          std::string_view change, const ProgressFn& progress,
                          const RestructureCheck& beforeReplace = {});

  // Commits what is pending (failures cannot be reported here: what was not committed is
  // not part of the table).
  ~Table();
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;

  const std::string& path() const { return path_; }
  // The table's type: which record, memo and index formats its files have.
  TableType type() const { return header_.schema.tableType(); }
  const Schema& schema() const { return header_.schema; }
  const TableProperties& properties() const { return header_.properties; }
  bool exclusive() const { return options_.exclusive; }
  bool readOnly() const { return options_.readOnly; }
  bool scratch() const { return options_.scratch; }

  // Index tag definitions as stored in the header. SetTags rewrites the header (moving the
  // records when the definitions outgrow it, which needs an exclusive open).
  const std::vector<TagDefinition>& tags() const { return header_.tags; }
  void SetTags(std::vector<TagDefinition> tags);
  // DBF tables: header byte 28's structural-index bit (0x01), which tells other programs of the
  // DBF world to open the structural .cdx with the table. Nothing for native tables.
  void SetStructuralIndexFlag(bool present);
  const RecordFormat& format() const { return *format_; }

  // Re-reads the counter block when others may have changed the table; answers whether the
  // change counter moved since the last look.
  bool Refresh();
  uint32_t RecordCount();  // after Refresh
  uint32_t cachedRecordCount() const { return header_.counters.recordCount; }
  uint32_t lastAutoinc() const { return header_.counters.lastAutoinc; }
  uint64_t changeCounter() const { return header_.counters.changeCounter; }

  // Reads record n (1-based) into `image` (recordLength bytes). kInvalidRecordNumber when n
  // is 0 or past the record count, kTableTruncated when the file ends before it.
  void ReadRecord(uint32_t n, uint8_t* image);
  // Reads up to `count` consecutive records from `first` (as many as exist, stopping before a
  // record that this open cannot decrypt); returns how many.
  uint32_t ReadRecords(uint32_t first, uint32_t count, uint8_t* images);
  // Calls fn for every record in order, deleted ones included (the view says so).
  void Scan(const std::function<void(const RecordView&)>& fn);
  // The same a batch at a time: fn gets `count` consecutive record images from record `first`
  // on, valid until it returns.
  void ScanBatches(const std::function<void(const uint8_t* images, uint32_t first, uint32_t count)>& fn);

  // Appends `image` as a new record and answers its number. AutoInc fields get the next
  // value, RowVersion fields the next version and ModTime fields the current time; `image`
  // is updated with them.
  uint32_t AppendRecord(uint8_t* image);
  // Appends a record copied from another table as it is: its deletion flag and the values of
  // its AutoInc, RowVersion and ModTime fields are kept, and the table's counters move past
  // the copied values.
  uint32_t AppendCopiedRecord(uint8_t* image);
  // Appends `image` as a record that is still being edited: its number is known at once, and
  // CompleteAppend stores its final image (stamped as AppendRecord stamps). In a shared open
  // the record is stored deleted and blank, its keys included, until then, and locked for this
  // open before any other can see it (*lockTaken says whether that lock is new, to be
  // released once the record is complete); kRecordLocked when another open holds the table
  // locked. In an exclusive open it is not counted on disk before it is complete.
  uint32_t ReserveRecord(uint8_t* image, bool* lockTaken = nullptr);
  // Stores the final image of the record reserved as n and tells the observers. When one
  // refuses, the record is given up as CancelAppend gives it up.
  void CompleteAppend(uint32_t n, uint8_t* image);
  // Gives up the record reserved as n: it goes when it is still the last record, and stays a
  // deleted blank record otherwise (a shared open where others appended after it).
  void CancelAppend(uint32_t n);
  // Writes `image` over record n (the observers see the image the file held as `before`).
  // RowVersion and ModTime fields are advanced; `image` is updated with them.
  void WriteRecord(uint32_t n, uint8_t* image);
  void SetDeleted(uint32_t n, bool deleted);
  // Removes record n, which must be the last record, as if it had never been appended (a
  // rollback of an append; the observers are told RecordRemoved). Answers false, changing
  // nothing, when n is not the last record.
  bool RemoveLastRecord(uint32_t n);

  bool hasMemo() const { return memo_ != nullptr; }
  std::string ReadBlob(BlobRef ref);
  // Bytes of content of a blob (DBF references hold no length: the memo file is asked).
  uint32_t BlobLength(BlobRef ref);
  // Stores a blob for a record about to be written in a field of `type`; it is committed with
  // that record.
  BlobRef WriteBlob(std::string_view content, FieldType type = FieldType::kMemo);
  void FreeBlob(BlobRef ref);

  // Removes deleted records (exclusive open only). Record numbers change.
  void Pack(const ProgressFn& progress);
  // Removes every record (exclusive open only).
  void Zap();

  // ---- durability (see the file comment) ----
  // Makes every change of this open durable: the memo file, then the table file and its
  // counters, then the observers' files. Throws on failure; the changes then stay as they are
  // in this open, uncommitted.
  void Commit();
  // Changes between BeginBatch and EndBatch (nested by count) wait for Commit.
  void BeginBatch() { ++batchDepth_; }
  void EndBatch() { --batchDepth_; }
  // A batch for its lifetime; Commit ends it with a commit (a batch left without one stays
  // uncommitted until the next commit).
  class Batch {
   public:
    explicit Batch(Table& table) : table_(table) { table_.BeginBatch(); }
    ~Batch() {
      if (open_) table_.EndBatch();
    }
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;
    void Commit() {
      table_.EndBatch();
      open_ = false;
      table_.Commit();
    }

   private:
    Table& table_;
    bool open_ = true;
  };
  // Whether changes are waiting for a commit.
  bool uncommitted() const { return uncommitted_; }
  // The same as Commit (the entry point that flushes a table's files).
  void Flush() { Commit(); }

  // Locks held by this open. Lock* answer false when another open holds a conflicting lock.
  // In an exclusive open every lock is granted and only remembered.
  bool LockRecord(uint32_t n);
  bool UnlockRecord(uint32_t n);  // false when this open does not hold it
  bool LockTable();
  bool UnlockTable();             // false when this open does not hold it
  bool IsRecordLocked(uint32_t n) const { return recordLocks_.count(n) != 0; }
  bool IsTableLocked() const { return tableLocked_; }
  // Whether another open holds record n (or the table) locked.
  bool IsRecordLockedByOthers(uint32_t n) const;
  // Whether some connection's open transaction has changed the table (always false in an
  // exclusive open, which no other connection can share).
  bool ChangedByTransactions() const;
  // Transaction logs were beside the table when it opened (a transaction whose process died
  // may have left one): until RecoverAbandonedTransactions undoes them, reads go through them.
  bool transactionLogsAtOpen() const { return logsAtOpen_; }
  void set_transactionLogsAtOpen(bool present) { logsAtOpen_ = present; }
  std::vector<uint32_t> RecordLocks() const { return {recordLocks_.begin(), recordLocks_.end()}; }

  // Holds the writer lock for its lifetime (re-entrant within one Table). The index layer
  // takes it around its page updates. In a shared open, taking it re-reads the counter block,
  // so the change made under it starts from the counters the other opens left.
  class WriterLock {
   public:
    explicit WriterLock(Table& table);
    ~WriterLock();
    WriterLock(const WriterLock&) = delete;
    WriterLock& operator=(const WriterLock&) = delete;

   private:
    Table& table_;
  };

  // Holds the shared writer lock byte for its lifetime, so that no writer changes the header or
  // an index while the holder reads them (re-entrant; a no-op inside a WriterLock and in an
  // exclusive open, where nobody else writes).
  class ReaderLock {
   public:
    explicit ReaderLock(Table& table);
    ~ReaderLock();
    ReaderLock(const ReaderLock&) = delete;
    ReaderLock& operator=(const ReaderLock&) = delete;

   private:
    Table& table_;
    bool locked_ = false;
  };

  // ---- parking (table_parking.cpp) ----
  // An SQL statement's reading opens stay open between statements without holding any lock,
  // so that the next statement need not open the file, decode its header and open its indexes
  // again, while every other open (an exclusive one included) goes ahead as if the table were
  // closed.
  //
  // Park releases the open lock of a read-only shared open of a native table that holds
  // nothing else (no record, table, writer or reader lock, nothing uncommitted) and forgets
  // the encryption key this open enabled. Answers false, changing nothing, for any other open;
  // the caller closes it then. A parked open may only be resumed or destroyed.
  bool Park();
  // Takes a parked open up again: the shared open lock is taken as Open takes it, and the open
  // is whole again only when nothing it read may have changed since: its path still leads to
  // the file it has open (and the memo path to its memo file), no replacement of the table's
  // files is pending, and the change counter is the one its header was read with (another
  // open's change, a rewritten header or an append, moves it). Transaction logs beside the
  // table are looked for again, as an open does. Answers false when any of that fails: the
  // caller destroys this open and opens the table anew, which then reports why it cannot when
  // it cannot (kTableInUse for a table opened exclusively meanwhile).
  //
  // The names (which file the path leads to, a pending replacement, transaction logs) are
  // looked at only when the table's folder may have changed since the last Resume looked at
  // them (storage::FolderWatch); otherwise what was seen then still holds, provided the table
  // and its memo were named directly and not through symbolic links.
  bool Resume();
  bool parked() const { return parked_; }
  // Whether the last Resume found the table's folder without any change of names since the
  // Resume before it looked at them: then a file of the folder that its name led to then
  // (directly, not through a link) is still what the name leads to.
  bool namesUnchangedAtResume() const { return namesUnchanged_; }

  // The index layer's state of this open: its index files and their maintenance. It lives as
  // long as the open, so every user of the open (handles, SQL, copies) keeps the indexes right.
  index::TableIndexes* indexes() const { return indexes_.get(); }
  void SetIndexes(std::shared_ptr<index::TableIndexes> indexes) { indexes_ = std::move(indexes); }

  // Observers are called in the order added. When one throws, the table undoes its own
  // change but the observers that already ran are not called back: a table has at most one
  // observer that can refuse a change (the index layer checks every tag before it changes
  // any). Observers are borrowed and must outlive their registration.
  // Tells the observers that a rollback put the records back and committed them.
  void Restored();
  void AddObserver(RecordObserver* observer);
  void RemoveObserver(RecordObserver* observer);

  // ---- encryption (see the file comment) ----
  // The table has a password: its records may be encrypted.
  bool encrypted() const { return header_.encryption.has_value(); }
  // This open holds the key: encrypted records are read decrypted, records written encrypted.
  bool encryptionEnabled() const { return cipher_ != nullptr; }
  // Enables encryption with `password`. For an encrypted table the password must be the
  // table's (kWrongTablePassword otherwise, and nothing changes); for a table without a
  // password it becomes the password that EncryptTable or EncryptRecord give the table.
  // `kind` is the cipher such a table gets.
  void EnableEncryption(std::string_view password, CipherKind kind);
  void DisableEncryption() { cipher_.reset(); }
  // Takes the key (and cipher parameters) that `other` enabled, so that EncryptTable gives
  // this table the same password; used for copies of encrypted tables.
  void ShareKeyOf(const Table& other) { cipher_ = other.cipher_ ? other.cipher_->Clone() : nullptr; }
  // The deletion flag of record n as the file holds it (needs no key).
  bool IsRecordDeletedInFile(uint32_t n);
  // Whether record n is stored encrypted.
  bool IsRecordEncrypted(uint32_t n);
  // Encrypts every record and blob (exclusive open, encryption enabled); a table without a
  // password gets the enabled one. The file is rewritten beside the old one and renamed
  // over it, so a failure leaves the table as it was.
  void EncryptTable();
  // Stores every record and blob in clear and removes the password (exclusive open,
  // encryption enabled); nothing to do for a table without a password.
  void DecryptTable();
  // Encrypts record n and its blobs. A table without a password is first rewritten with the
  // enabled one (exclusive open); in an encrypted table the record is rewritten in place.
  void EncryptRecord(uint32_t n);
  // Stores record n and its blobs in clear (encryption enabled); the table keeps its password.
  void DecryptRecord(uint32_t n);

 private:
  Table() = default;
  // The table type of the open file: the one asked for, checked against the file's header.
  TableType DetectType() const;
  void LoadHeader();
  // Whether transaction logs of this table lie beside it (a listing of its folder).
  bool TransactionLogsBeside() const;
  void WriteCounters();
  void AfterChange();  // counts the change and publishes the counters
  void CheckWritable() const;
  void CheckRecordNumber(uint32_t n);
  uint64_t RecordOffset(uint32_t n) const { return header_.headerLength + uint64_t{n - 1} * SlotLength(); }
  // Bytes one record takes in the file: the record, plus the seal of an encrypted table.
  uint32_t SlotLength() const { return schema().recordLength() + (encrypted() ? kSealOverhead : 0); }
  // Record image <-> file slot. DecodeSlot fails with kEncryptionNotEnabled for an encrypted
  // record without the key and with kEncryptedDataDamaged when its authentication fails.
  void DecodeSlot(uint32_t n, const uint8_t* slot, uint8_t* image) const;
  bool CanDecodeSlot(const uint8_t* slot) const;
  void WriteImage(uint32_t n, const uint8_t* image);  // encrypted with the key in an encrypted table
  void WriteFlag(uint32_t n, uint8_t flag);
  void CheckCanWriteEncrypted() const;  // kEncryptionNotEnabled: an encrypted table without the key
  BlobRef StoreBlob(std::string_view content, bool encryptedFormat, bool seal, FieldType type = FieldType::kMemo);
  // Cuts the file after record `count` and writes what follows the last record.
  void TruncateAfter(uint32_t count);
  // Stores every blob of record n's image again, sealed or plain, and points the image at the new
  // copies; answers the old references, to be freed once the image is written.
  std::vector<BlobRef> RestoreBlobs(uint32_t n, uint8_t* image, bool seal);
  // Rewrites record n in place under the writer lock held by the caller: its blobs are stored
  // again (sealed or plain), then `write` puts the record's new slot from the image; when the
  // change is taken back, the old slot returns. Answers the blobs the record held before.
  std::vector<BlobRef> RewriteRecordSlot(uint32_t n, bool seal, const std::function<void(const uint8_t*)>& write);
  std::string LoadBlob(BlobRef ref, bool encryptedFormat) const;
  void RewriteEncryption(const std::optional<CipherParams>& target, const std::function<bool(uint32_t)>& seal);
  uint32_t RecordsInFile() const;
  void RecoverCounters();
  void StampRecord(uint8_t* image, bool appending);
  void AdoptStamps(const uint8_t* image);
  uint32_t AppendImage(uint8_t* image, bool stamp);
  // Checks that an append may go ahead and answers the new record's number.
  uint32_t NextRecordNumber();
  // ---- the change protocol (table.cpp) ----
  // Called before the first write of a change: the observers make their marks durable.
  void BeginChange();
  // Ends a change: commits it unless a batch or an observer holds the commit; when the commit
  // fails, `undo` puts the table back as it was before the change and the failure is thrown.
  void EndChange(const std::function<void()>& undo);
  bool CommitHeld() const;
  // Undoes an append of record n (the last): the observers forget it, the count goes back.
  void DropLastRecord(uint32_t n, const uint8_t* image, bool told);
  // Commits what a failed change put back (quietly: the change's own failure is reported).
  void AbandonChange();
  // An append that failed before it was counted: the counters as they were `before` it.
  void ForgetAppend(const TableCounters& before);
  void TellObservers(const std::function<void(RecordObserver&)>& fn);
  // Replaces the table file by the one written at `staged` (open as `replacement`), after the
  // observers marked their files (their record numbers or keys may no longer hold).
  void ReplaceFile(const std::string& staged, std::unique_ptr<storage::File> replacement);
  void RewriteWithHeader(const TableHeader& header, const std::function<bool(uint32_t, const uint8_t*)>& keep,
                         const ProgressFn& progress);
  std::unique_ptr<MemoStore> OpenMemo();

  std::string path_;
  OpenOptions options_;
  const RecordFormat* format_ = &RecordFormatOf(TableType::kAdt);
  std::unique_ptr<storage::File> file_;
  TableHeader header_;
  std::unique_ptr<MemoStore> memo_;
  bool countersDirty_ = false;   // the counters changed since they were last written
  bool uncommitted_ = false;     // something was written since the last commit
  bool memoWritten_ = false;     // the memo file was written since the last commit
  bool changeBegun_ = false;     // the observers were told BeforeChange since the last commit
  TableCounters committed_;      // the counters as of the last commit
  int batchDepth_ = 0;
  uint32_t pendingAppend_ = 0;   // an exclusive open's reserved record, not yet complete
  bool truncatePending_ = false; // records were taken back; the file is cut at the commit
  bool logsAtOpen_ = false;      // see transactionLogsAtOpen()
  bool parked_ = false;          // see Park()
  storage::FolderWatch folderWatch_;  // the folder as Resume last looked at its names
  bool namedDirectly_ = false;   // the table and memo were named directly then
  bool namesUnchanged_ = false;  // see namesUnchangedAtResume()
  uint64_t headerChangeCounter_ = 0;  // the change counter when the header was read
  bool broken_ = false;          // the file was replaced but could not be read again
  bool intactChecked_ = false;  // exclusive opens check once that no counted record is missing
  int writerDepth_ = 0;
  int readerDepth_ = 0;
  std::set<uint32_t> recordLocks_;
  bool tableLocked_ = false;
  std::vector<RecordObserver*> observers_;
  std::unique_ptr<RecordCipher> cipher_;  // the key this open enabled
  std::shared_ptr<index::TableIndexes> indexes_;  // released first when the open ends
};

}  // namespace engine::table
