// Transactions of connections: what a connection changed in its tables since it began a
// transaction, so that a rollback (of everything, or back to a savepoint) can undo it.
//
// Changes are written to the tables at once, as outside a transaction; each change of a table
// opened on a connection in a transaction is journaled with the record's image before it. A
// rollback writes those images back in reverse order (a record appended in the transaction
// becomes a deleted record, since record numbers never move), through the table so that every
// index follows. Records changed in a transaction stay locked against other users until it
// ends, so nobody changes a record that a rollback will restore; blobs a changed record no
// longer refers to are kept until then, so a restored record's blobs are intact.
// Transactions nest by count: only the outermost commit ends one.
//
// Thread safety: the journal of all connections is guarded by one mutex; a rollback runs on
// the thread of its connection, which must not change the tables concurrently.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/table/record_access.h"

namespace engine {
class Table;
}

namespace engine::table {

bool InTransaction(uint32_t connection);
uint32_t TransactionCount(uint32_t connection);

// Each throws EngineError: kNotInTransaction when there is none to end or mark.
void BeginTransaction(uint32_t connection);
void CommitTransaction(uint32_t connection);
void RollbackTransaction(uint32_t connection);
void CreateSavepoint(uint32_t connection, const std::string& name);
// Undoes what was changed after the savepoint; the transaction goes on. kNoSuchSavepoint.
void RollbackToSavepoint(uint32_t connection, const std::string& name);
// Forgets a connection's transaction without undoing it (the connection is gone).
void ForgetTransaction(uint32_t connection);

// Follows the changes of one open table on a connection and journals them while the
// connection is in a transaction. Lives as long as the open (owned by its cursor).
class TransactionJournal final : public RecordObserver {
 public:
  TransactionJournal(Table& table, uint32_t connection);
  ~TransactionJournal() override;
  TransactionJournal(const TransactionJournal&) = delete;
  TransactionJournal& operator=(const TransactionJournal&) = delete;

  Table& table() { return table_; }
  uint32_t connection() const { return connection_; }

  // Keeps record n locked by this open until the transaction ends.
  void HoldLock(uint32_t n);
  void ReleaseHeldLocks();

  void RecordAppended(const RecordView& record) override;
  void RecordUpdated(const RecordView& before, const RecordView& after) override;
  void RecordDeleted(const RecordView& record) override;
  void RecordRecalled(const RecordView& record) override;
  void TablePacked() override;
  void TableZapped() override;

 private:
  Table& table_;
  uint32_t connection_;
  std::vector<uint32_t> held_;
};

}  // namespace engine::table
