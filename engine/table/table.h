// One open native table file (.adt) with its memo file (.adm): records read and written by
// number, blobs, the header's counters and tag definitions, pack, zap, and the locks that one
// open holds against every other open of the same table.
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
// Writes are ordered so that a crash leaves a readable table: a record reaches the file
// before the counter block that counts it; an open that finds complete records past the
// counted ones adopts them (an exclusive open writes the counter block only when it closes
// or flushes, and relies on this). A blob is written before the record that refers to it.
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

#include "engine/table/file_handle.h"
#include "engine/table/memo_file.h"
#include "engine/table/record_cipher.h"
#include "engine/table/record_access.h"
#include "engine/table/table_header.h"

namespace engine {

class TableIndexes;  // the index layer's state of one open (engine/index/table_indexes.h)

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
    // A scratch table: Flush writes what is pending without forcing it to the disk.
    bool scratch = false;
  };

  // Writes a new empty table (and its memo file when the schema has blobs) at `path`,
  // replacing an existing table unless some other open holds it (kTableInUse).
  static void Create(const std::string& path, const Schema& schema, const CreateOptions& options);

  // Opens the table at `path`. Throws kTableNotFound, kTableInUse (open exclusively by
  // another, or an exclusive open while others have it open), kNotATableFile, kTableVersion,
  // kTableHeaderDamaged. A missing or damaged memo file does not prevent the open; reading a
  // blob then fails with kMemoDamaged.
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

  ~Table();
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;

  const std::string& path() const { return path_; }
  static std::string MemoPathFor(const std::string& tablePath);
  const Schema& schema() const { return header_.schema; }
  const TableProperties& properties() const { return header_.properties; }
  bool exclusive() const { return options_.exclusive; }
  bool readOnly() const { return options_.readOnly; }
  bool scratch() const { return options_.scratch; }

  // Index tag definitions as stored in the header. SetTags rewrites the header (moving the
  // records when the definitions outgrow it, which needs an exclusive open).
  const std::vector<TagDefinition>& tags() const { return header_.tags; }
  void SetTags(std::vector<TagDefinition> tags);

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

  // Appends `image` as a new record and answers its number. AutoInc fields get the next
  // value, RowVersion fields the next version and ModTime fields the current time; `image`
  // is updated with them.
  uint32_t AppendRecord(uint8_t* image);
  // Appends a record copied from another table as it is: its deletion flag and the values of
  // its AutoInc, RowVersion and ModTime fields are kept, and the table's counters move past
  // the copied values.
  uint32_t AppendCopiedRecord(uint8_t* image);
  // Appends `image` without telling the observers: a record that is still being edited.
  // CompleteAppend writes its final image and tells them RecordAppended; when one refuses,
  // the record stays as a deleted record. In a shared open the new record is locked for this
  // open before any other can see it (*lockTaken says whether that lock is new, to be released
  // once the record is complete); kRecordLocked when another open holds the table locked.
  uint32_t ReserveRecord(uint8_t* image, bool* lockTaken = nullptr);
  void CompleteAppend(uint32_t n, uint8_t* image);
  // Writes `image` over record n (the observers see the image the file held as `before`).
  // RowVersion and ModTime fields are advanced; `image` is updated with them.
  void WriteRecord(uint32_t n, uint8_t* image);
  void SetDeleted(uint32_t n, bool deleted);

  bool hasMemo() const { return memo_ != nullptr; }
  std::string ReadBlob(BlobRef ref);
  BlobRef WriteBlob(std::string_view content);
  void FreeBlob(BlobRef ref);

  // Removes deleted records (exclusive open only). Record numbers change.
  void Pack(const ProgressFn& progress);
  // Removes every record (exclusive open only).
  void Zap();

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

  // The index layer's state of this open: its index files and their maintenance. It lives as
  // long as the open, so every user of the open (handles, SQL, copies) keeps the indexes right.
  TableIndexes* indexes() const { return indexes_.get(); }
  void SetIndexes(std::shared_ptr<TableIndexes> indexes) { indexes_ = std::move(indexes); }

  // Observers are called in the order added. When one throws, the table undoes its own
  // change but the observers that already ran are not called back: a table has at most one
  // observer that can refuse a change (the index layer checks every tag before it changes
  // any). Observers are borrowed and must outlive their registration.
  void AddObserver(RecordObserver* observer);
  void RemoveObserver(RecordObserver* observer);

  // Writes pending counters and flushes both files to the disk.
  void Flush();

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
  void LoadHeader();
  void WriteCounters();
  void AfterChange();  // counts the change and publishes the counters
  void CheckWritable() const;
  void CheckRecordNumber(uint32_t n);
  uint64_t RecordOffset(uint32_t n) const { return header_.headerLength + uint64_t{n - 1} * slotLength(); }
  // Bytes one record takes in the file: the record, plus the seal of an encrypted table.
  uint32_t slotLength() const { return schema().recordLength() + (encrypted() ? kSealOverhead : 0); }
  // Record image <-> file slot. DecodeSlot fails with kEncryptionNotEnabled for an encrypted
  // record without the key and with kEncryptedDataDamaged when its authentication fails.
  void DecodeSlot(uint32_t n, const uint8_t* slot, uint8_t* image) const;
  bool CanDecodeSlot(const uint8_t* slot) const;
  void WriteImage(uint32_t n, const uint8_t* image);  // encrypted with the key in an encrypted table
  void CheckCanWriteEncrypted() const;  // kEncryptionNotEnabled: an encrypted table without the key
  BlobRef StoreBlob(std::string_view content, bool encryptedFormat, bool seal);
  // Stores every blob of record n's image again, sealed or plain, and points the image at the new
  // copies; answers the old references, to be freed once the image is written.
  std::vector<BlobRef> RestoreBlobs(uint32_t n, uint8_t* image, bool seal);
  std::string LoadBlob(BlobRef ref, bool encryptedFormat) const;
  void RewriteEncryption(const std::optional<CipherParams>& target, const std::function<bool(uint32_t)>& seal);
  uint32_t RecordsInFile() const;
  void RecoverUncountedRecords(bool persist);
  void StampRecord(uint8_t* image, bool appending);
  void AdoptStamps(const uint8_t* image);
  uint32_t AppendImage(uint8_t* image, bool stamp);
  void ReplaceFile(const std::string& tmpPath, FileHandle&& replacement);
  void RewriteWithHeader(const TableHeader& header, const std::function<bool(uint32_t, const uint8_t*)>& keep,
                         const ProgressFn& progress);
  std::unique_ptr<MemoFile> OpenMemo();

  std::string path_;
  OpenOptions options_;
  FileHandle file_;
  TableHeader header_;
  std::unique_ptr<MemoFile> memo_;
  bool countersDirty_ = false;
  bool intactChecked_ = false;  // exclusive opens check once that no counted record is missing
  int writerDepth_ = 0;
  int readerDepth_ = 0;
  std::set<uint32_t> recordLocks_;
  bool tableLocked_ = false;
  std::vector<RecordObserver*> observers_;
  std::unique_ptr<RecordCipher> cipher_;  // the key this open enabled
  std::shared_ptr<TableIndexes> indexes_;  // released first when the open ends
};

}  // namespace engine
