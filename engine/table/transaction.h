// Transactions of connections: what a connection changed in its tables since it began a
// transaction, so that a rollback (of everything, or back to a savepoint) can undo it, and so
// that nobody else sees or changes it before it is committed.
//
// Changes are written to the tables at once, as outside a transaction, so the connection sees
// them everywhere, but they become durable only when the transaction commits (its opens hold
// their commits until then); each change of a table opened on a connection in a transaction is
// journaled with the record's image before it. A rollback writes those images back in reverse
// order (a record appended in the transaction goes when it is still the last record, and
// becomes a deleted record otherwise, since record numbers never move), through a table open
// that keeps every index right. A commit that cannot make the changes durable undoes them
// before it reports the failure. Transactions nest by count: only the outermost commit ends one.
//
// Every table the transaction changes also gets a transaction log (transaction_log.h) holding
// each changed record's committed image: other connections, in this process or another, read
// the records through it as they were committed (ShowCommitted), the records the transaction
// changed stay locked against them until it ends (so nobody changes a record a rollback will
// restore), and the next open of a table undoes what a transaction whose process died had
// changed (RecoverAbandonedTransactions). Blobs a changed record no longer refers to are kept
// until the transaction ends, so a restored record's blobs are intact.
//
// Thread safety: the journal of all connections is guarded by one mutex; a rollback runs on
// the thread of its connection, which must not change the tables concurrently.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/table/record_access.h"

namespace engine::table {
class Table;
}

namespace engine::table {

// Opens the table file at a host path for undoing changes, with its indexes kept right.
using TableOpener = std::function<std::unique_ptr<Table>(const std::string& path)>;

bool InTransaction(uint32_t connection);
uint32_t TransactionCount(uint32_t connection);

// Each throws EngineError: kNotInTransaction when there is none to end or mark.
void BeginTransaction(uint32_t connection);
// `open` as for RollbackTransaction: a commit that fails rolls the transaction back.
void CommitTransaction(uint32_t connection, const TableOpener& open);
// `open` opens the tables whose every open on the connection has closed since they changed.
void RollbackTransaction(uint32_t connection, const TableOpener& open);
void CreateSavepoint(uint32_t connection, const std::string& name);
// Undoes what was changed after the savepoint; the transaction goes on. kNoSuchSavepoint.
void RollbackToSavepoint(uint32_t connection, const std::string& name, const TableOpener& open);
// Forgets a connection's transaction (the connection is gone and its rollback failed): its logs
// stay behind, so the next open of each table undoes what is left of its changes.
void ForgetTransaction(uint32_t connection);

// Replaces, in `images` (`count` records from record `first`, each the table's record length),
// every record that another connection's open transaction has changed by its committed image; a
// record such a transaction appended reads as an empty deleted record. `connection` is the
// reader's (0: a reader without connection, which sees every transaction as another's).
void ShowCommitted(Table& table, uint32_t connection, uint32_t first, uint32_t count, uint8_t* images);

// Undoes, through `table` (a writable open that keeps the indexes right), the changes that the
// logs of transactions whose process died left in it, and removes those logs. A log whose
// records cannot all be locked now is left for a later open. Returns how many were undone.
size_t RecoverAbandonedTransactions(Table& table);

// Follows the changes of one open table on a connection, journals them while the connection
// is in a transaction and holds the records they change until it ends. Lives as long as the
// open (owned by its cursor).
class TransactionJournal final : public RecordObserver {
 public:
  TransactionJournal(Table& table, uint32_t connection);
  ~TransactionJournal() override;
  TransactionJournal(const TransactionJournal&) = delete;
  TransactionJournal& operator=(const TransactionJournal&) = delete;

  Table& table() { return table_; }
  uint32_t connection() const { return connection_; }

  // While the connection is in a transaction: holds record n locked for the transaction until
  // it ends and answers true, or false when another open holds it. Outside a transaction it
  // answers false and the caller locks as usual; InTransaction tells the two apart.
  bool HoldForTransaction(uint32_t n);

  void RecordWillChange(uint32_t n, const uint8_t* current) override;
  void RecordAppended(const RecordView& record) override;
  void RecordUpdated(const RecordView& before, const RecordView& after) override;
  void RecordDeleted(const RecordView& record) override;
  void RecordRecalled(const RecordView& record) override;
  void RecordRemoved(const RecordView& record) override;
  void TablePacked() override;
  void TableZapped() override;
  bool HoldsCommit() const override;

 private:
  Table& table_;
  uint32_t connection_;
};

}  // namespace engine::table
