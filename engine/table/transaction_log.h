// The log of one connection's transaction in one table: a file beside the table that holds the
// image every record had before the transaction first changed it. The table itself is changed at
// once, so the connection sees its own changes everywhere (records, indexes, SQL); through the
// log every other reader, in this process or another, sees the records as they were committed,
// and the changes of a transaction whose process died are undone by the next writer that opens
// the table.
//
// The file is named "<table file>.txn-<pid>-<connection>-<serial>". Format (little-endian):
//   header   "QTXNLOG1" (8 bytes), record length (u32), 0 (u32)
//   entries  record number (u32), kind (u8: 1 the image follows, 2 appended in the transaction,
//            3 the transaction committed: record number 0, the last entry, 4 the transaction
//            commits through a commit record: the u32 is the length of its path, which
//            follows), then for kind 1 the record's image (record length bytes)
// Each entry is written and forced to the disk before the change it describes reaches the
// table, so after a crash every change the table holds is described; only the first entry of a
// record counts (it holds the committed image).
//
// A transaction that changed one table commits by marking its log (kind 3). One that changed
// several commits through a commit record ("<first table file>.txc-<pid>-<connection>-<serial>",
// listing its logs, one host path per line): every log first names it (kind 4), then the record
// is made durable — the commit point for all the tables at once — and only then are the logs
// marked and removed, and the record last. A log that names a commit record which exists
// belongs to a committed transaction, marked or not.
//
// Locks (OFD, see engine/storage/storage.h): the owner holds byte 0 of its log exclusively while the
// transaction lives, so a log that nobody holds belongs to a transaction that died. Beside it
// the owner keeps a handle on the table file that holds kTransactionLockByte shared (readers
// test it to learn cheaply whether any transaction has changed the table), kOpenLockByte shared
// (nobody may open the table exclusively meanwhile) and the record lock of every record the
// transaction changed, so that nobody else changes a record a rollback will restore.
//
// REQUIRES: a TransactionLog is used by its connection's thread; the reading functions are
// safe from any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/storage/storage.h"

namespace engine::table {
class Table;
}

namespace engine::table {

class TransactionLog {
 public:
  // Creates the log of `connection`'s transaction for the table file at `tablePath` (a host
  // path) whose records are `recordLength` bytes. `exclusive`: the connection has the table open
  // exclusively, so nobody else can read it and no open lock is taken. Throws kTableIoError.
  TransactionLog(const std::string& tablePath, uint32_t connection, uint32_t recordLength, bool exclusive);
  // Removes the log and releases every lock: the transaction ended (committed or rolled back).
  ~TransactionLog();
  TransactionLog(const TransactionLog&) = delete;
  TransactionLog& operator=(const TransactionLog&) = delete;

  const std::string& tablePath() const { return tablePath_; }
  const std::string& path() const { return name_; }

  // Records the committed state of record n before its first change in the transaction: its
  // image, or (image null) that the transaction appended it. Later calls for n do nothing.
  // The entry is forced to the disk before Note returns. An append in an exclusive open is not
  // noted: the table counts it on disk only when the transaction commits.
  void Note(uint32_t n, const uint8_t* image);
  // Holds record n locked until the transaction ends; false when another open holds it.
  bool Hold(uint32_t n);
  bool Holds(uint32_t n) const { return held_.count(n) != 0; }
  // Stops holding record n, which the transaction appended and a rollback removed again.
  void Release(uint32_t n);
  // Forces the table's and its memo file's written data to the disk: done before a committed
  // or rolled-back transaction forgets its log.
  void SyncTable();
  // Names, durably, the commit record through which the transaction commits together with its
  // other tables: once that file exists nobody undoes this log's changes. Throws kTableIoError.
  void NameCommitRecord(const std::string& recordPath);
  // Marks the log, durably, as that of a committed transaction: from then on nobody undoes its
  // changes (the commit point of a transaction of one table, once the table is forced to the
  // disk). Throws kTableIoError.
  void MarkCommitted();
  // Removes the name of a committed log; a failure leaves a log that undoes nothing.
  void Finish();
  // Releases the log without removing it: the transaction could not be rolled back, so the
  // next open of the table undoes what is left (as for a process that died).
  void Abandon();

 private:
  std::string tablePath_;
  uint32_t recordLength_;
  std::unique_ptr<storage::File> table_;  // holds the locks on the table file
  std::unique_ptr<storage::File> log_;
  std::string name_;
  uint64_t logSize_ = 0;
  bool exclusive_ = false;
  bool finished_ = false;
  std::set<uint32_t> noted_;
  std::set<uint32_t> held_;
};

// The commit record of a transaction whose first log is `first`.
std::string CommitRecordPathFor(const TransactionLog& first);
// Makes the commit record at `path` listing `logs` durable: the commit point of a transaction of
// several tables. Throws kTableIoError when it cannot; the record then does not exist, unless
// *stands is set (made, but neither made durable nor taken back: the transaction committed).
void WriteCommitRecord(const std::string& path, const std::vector<std::string>& logs, bool* stands);
// Removes the commit record at `path` once none of the logs it lists is left unmarked: each is
// gone or marked committed. Failures leave the record, which commits nothing more.
void RemoveCommitRecordWhenDone(const std::string& path);

// What the transactions of other connections hide of a table: for each record they changed,
// the committed image (nullopt: the record did not exist before, it reads as deleted).
using CommittedImages = std::map<uint32_t, std::optional<std::vector<uint8_t>>>;

// The committed images that every transaction log of the table at `tablePath` holds, except
// the logs of `connection` in this process (0: none is excepted). Logs that cannot be read (one
// that is just being removed) are skipped.
CommittedImages ReadCommittedImages(const std::string& tablePath, uint32_t connection, uint32_t recordLength);

// A log of the table whose transaction died, locked for the caller, who undoes it.
struct AbandonedLog {
  std::unique_ptr<storage::File> file;
  CommittedImages images;
};
// The logs of the table at `tablePath` whose owner is gone and that no other open is undoing.
std::vector<AbandonedLog> ClaimAbandonedLogs(const std::string& tablePath, uint32_t recordLength);
// Removes a log whose changes were undone.
void RemoveLog(AbandonedLog& log);

}  // namespace engine::table
