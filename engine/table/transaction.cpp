// Transactions of connections; see transaction.h.
#include "engine/table/transaction.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "engine/core/error.h"
#include "engine/table/ascii_case.h"
#include "engine/table/record_writer.h"
#include "engine/table/table.h"
#include "engine/table/transaction_log.h"

namespace engine::table {
namespace {

enum class ChangeKind { kUpdated, kAppended, kDeleted, kRecalled };

struct Change {
  std::string tablePath;
  uint32_t recno;
  ChangeKind kind;
  std::vector<uint8_t> before;  // kUpdated: the image to restore
};

struct Transaction {
  uint32_t depth = 0;
  std::vector<Change> changes;
  std::vector<std::pair<std::string, size_t>> savepoints;  // name, changes made before it
  std::map<std::string, std::unique_ptr<TransactionLog>> logs;  // by table path
};

std::mutex gMutex;
std::map<uint32_t, Transaction> gTransactions;               // by connection
std::multimap<std::string, TransactionJournal*> gJournals;  // live opens, by table path
thread_local bool tReplaying = false;                        // a rollback writes; nothing journals

// Sets tReplaying for its lifetime.
class Replaying {
 public:
  Replaying() { tReplaying = true; }
  ~Replaying() { tReplaying = false; }
};

Transaction* ActiveLocked(uint32_t connection) {
  auto it = gTransactions.find(connection);
  return it == gTransactions.end() || it->second.depth == 0 ? nullptr : &it->second;
}

void Journal(uint32_t connection, Change change) {
  if (tReplaying) return;
  std::lock_guard<std::mutex> lock(gMutex);
  if (Transaction* t = ActiveLocked(connection)) t->changes.push_back(std::move(change));
}

// The log of the connection's transaction for the table, made on the first need.
TransactionLog& LogLocked(Transaction& t, Table& table, uint32_t connection) {
  std::unique_ptr<TransactionLog>& log = t.logs[table.path()];
  if (!log) {
    log = std::make_unique<TransactionLog>(table.path(), connection, table.schema().recordLength(), table.exclusive());
  }
  return *log;
}

// The open through which a change of `path` is undone: one of the connection's own, else any
// live writable open of the file, else a new open for the length of the rollback.
Table* OpenFor(uint32_t connection, const std::string& path, std::vector<std::unique_ptr<Table>>& opened,
               const TableOpener& open) {
  Table* any = nullptr;
  {
    std::lock_guard<std::mutex> lock(gMutex);
    auto range = gJournals.equal_range(path);
    for (auto it = range.first; it != range.second; ++it) {
      if (it->second->connection() == connection && !it->second->table().readOnly()) return &it->second->table();
      if (!any && !it->second->table().readOnly()) any = &it->second->table();
    }
  }
  if (any) return any;
  for (auto& t : opened) {
    if (t->path() == path) return t.get();
  }
  opened.push_back(open(path));
  return opened.back().get();
}

// Undoes the changes from position `from` on, newest first, and drops them.
void Undo(uint32_t connection, size_t from, const TableOpener& open) {
  std::vector<Change> undo;
  {
    std::lock_guard<std::mutex> lock(gMutex);
    Transaction& t = gTransactions[connection];
    if (from < t.changes.size()) {
      undo.assign(std::make_move_iterator(t.changes.begin() + static_cast<std::ptrdiff_t>(from)),
                  std::make_move_iterator(t.changes.end()));
      t.changes.resize(from);
    }
  }
  std::vector<std::unique_ptr<Table>> opened;
  Replaying replaying;
  std::string firstError;
  for (auto it = undo.rbegin(); it != undo.rend(); ++it) {
    try {
      Table* table = OpenFor(connection, it->tablePath, opened, open);
      switch (it->kind) {
        case ChangeKind::kUpdated: {
          std::vector<uint8_t> image = it->before;
          table->WriteRecord(it->recno, image.data());
          break;
        }
        case ChangeKind::kAppended:
        case ChangeKind::kRecalled:
          table->SetDeleted(it->recno, true);
          break;
        case ChangeKind::kDeleted:
          table->SetDeleted(it->recno, false);
          break;
      }
    } catch (const EngineError& e) {
      // Go on with the others: every change that can be undone is.
      if (firstError.empty()) firstError = e.what();
    }
  }
  if (!firstError.empty()) Fail(err::kTransactionFailed, "The rollback could not undo every change: " + firstError);
}

// Ends the connection's transaction: its changes are forced to the disk before its logs go,
// so that the logs vanish only once what they describe is final. With `abandon` (a rollback
// that failed) the logs stay, and the next open of each table undoes what is left.
void End(uint32_t connection, bool abandon) {
  std::map<std::string, std::unique_ptr<TransactionLog>> logs;
  {
    std::lock_guard<std::mutex> lock(gMutex);
    auto it = gTransactions.find(connection);
    if (it == gTransactions.end()) return;
    logs = std::move(it->second.logs);
    gTransactions.erase(it);
  }
  std::string firstError;
  for (auto& [path, log] : logs) {
    if (abandon) {
      log->Abandon();
      continue;
    }
    try {
      log->SyncTable();
    } catch (const EngineError& e) {
      // The changes may not have reached the disk: the log stays for the next open to judge.
      log->Abandon();
      if (firstError.empty()) firstError = e.what();
    }
  }
  logs.clear();  // removes the logs and releases the records
  if (!firstError.empty()) Fail(err::kTransactionFailed, "The transaction's changes could not be made final: " + firstError);
}

Transaction& Active(uint32_t connection, const char* what) {
  Transaction* t = ActiveLocked(connection);
  if (!t) Fail(err::kNotInTransaction, std::string("There is no transaction to ") + what + " on this connection.");
  return *t;
}

// Restores one record to its committed image (nullopt: it did not exist, so it is deleted).
void Restore(Table& table, uint32_t n, const std::optional<std::vector<uint8_t>>& image) {
  if (n == 0 || n > table.RecordCount()) return;  // never written: nothing to undo
  if (!image) {
    table.SetDeleted(n, true);
    return;
  }
  std::vector<uint8_t> copy = *image;
  table.WriteRecord(n, copy.data());
  table.SetDeleted(n, (*image)[0] == kDeletedFlag);
}

}  // namespace

bool InTransaction(uint32_t connection) {
  if (connection == 0) return false;
  std::lock_guard<std::mutex> lock(gMutex);
  return ActiveLocked(connection) != nullptr;
}

uint32_t TransactionCount(uint32_t connection) {
  std::lock_guard<std::mutex> lock(gMutex);
  auto it = gTransactions.find(connection);
  return it == gTransactions.end() ? 0 : it->second.depth;
}

void BeginTransaction(uint32_t connection) {
  std::lock_guard<std::mutex> lock(gMutex);
  ++gTransactions[connection].depth;
}

void CommitTransaction(uint32_t connection) {
  {
    std::lock_guard<std::mutex> lock(gMutex);
    Transaction& t = Active(connection, "commit");
    if (--t.depth > 0) return;
  }
  End(connection, false);
}

void RollbackTransaction(uint32_t connection, const TableOpener& open) {
  {
    std::lock_guard<std::mutex> lock(gMutex);
    Active(connection, "roll back");
  }
  try {
    Undo(connection, 0, open);
  } catch (...) {
    End(connection, true);
    throw;
  }
  End(connection, false);
}

void CreateSavepoint(uint32_t connection, const std::string& name) {
  if (name.empty()) Fail(err::kInvalidArgument, "A savepoint needs a name.");
  std::lock_guard<std::mutex> lock(gMutex);
  Transaction& t = Active(connection, "mark with a savepoint");
  t.savepoints.emplace_back(name, t.changes.size());
}

void RollbackToSavepoint(uint32_t connection, const std::string& name, const TableOpener& open) {
  size_t from = 0;
  {
    std::lock_guard<std::mutex> lock(gMutex);
    Transaction& t = Active(connection, "roll back");
    auto it = std::find_if(t.savepoints.rbegin(), t.savepoints.rend(),
                           [&](const auto& s) { return AsciiEqualsIgnoreCase(s.first, name); });
    if (it == t.savepoints.rend()) Fail(err::kNoSuchSavepoint, "There is no savepoint \"" + name + "\" in the transaction.");
    from = it->second;
    // Savepoints made after this one are gone with the changes they marked; this one stays.
    t.savepoints.erase(it.base(), t.savepoints.end());
  }
  // The logs keep every record's committed image: what the transaction still holds is not
  // committed, whatever the savepoint put back.
  Undo(connection, from, open);
}

void ForgetTransaction(uint32_t connection) { End(connection, true); }

void ShowCommitted(Table& table, uint32_t connection, uint32_t first, uint32_t count, uint8_t* images) {
  if (count == 0 || !table.ChangedByTransactions()) return;
  const Schema& schema = table.schema();
  const uint32_t length = schema.recordLength();
  CommittedImages committed = ReadCommittedImages(table.path(), connection, length);
  for (auto it = committed.lower_bound(first); it != committed.end() && it->first - first < count; ++it) {
    uint8_t* image = images + static_cast<size_t>(it->first - first) * length;
    if (it->second) {
      std::memcpy(image, it->second->data(), length);
    } else {
      WriteEmptyRecord(schema, image);
      image[0] = kDeletedFlag;
    }
  }
}

size_t RecoverAbandonedTransactions(Table& table) {
  if (table.readOnly()) return 0;
  std::vector<AbandonedLog> logs = ClaimAbandonedLogs(table.path(), table.schema().recordLength());
  size_t recovered = 0;
  for (AbandonedLog& log : logs) {
    // Every record is restored under its lock, so nobody is in the middle of changing one.
    std::vector<uint32_t> locked;
    bool all = true;
    for (const auto& entry : log.images) {
      uint32_t n = entry.first;
      if (table.exclusive() || table.IsTableLocked() || table.IsRecordLocked(n)) continue;
      if (!table.LockRecord(n)) {
        all = false;
        break;
      }
      locked.push_back(n);
    }
    if (all) {
      Replaying replaying;
      for (const auto& [n, image] : log.images) Restore(table, n, image);
      table.Flush();
      RemoveLog(log);
      ++recovered;
    }
    for (uint32_t n : locked) table.UnlockRecord(n);
  }
  return recovered;
}

TransactionJournal::TransactionJournal(Table& table, uint32_t connection) : table_(table), connection_(connection) {
  table_.AddObserver(this);
  std::lock_guard<std::mutex> lock(gMutex);
  gJournals.emplace(table_.path(), this);
}

TransactionJournal::~TransactionJournal() {
  table_.RemoveObserver(this);
  std::lock_guard<std::mutex> lock(gMutex);
  auto range = gJournals.equal_range(table_.path());
  for (auto it = range.first; it != range.second; ++it) {
    if (it->second == this) {
      gJournals.erase(it);
      break;
    }
  }
}

bool TransactionJournal::HoldForTransaction(uint32_t n) {
  std::lock_guard<std::mutex> lock(gMutex);
  Transaction* t = ActiveLocked(connection_);
  if (!t) return false;
  return LogLocked(*t, table_, connection_).Hold(n);
}

void TransactionJournal::RecordWillChange(uint32_t n, const uint8_t* current) {
  if (tReplaying) return;
  std::lock_guard<std::mutex> lock(gMutex);
  Transaction* t = ActiveLocked(connection_);
  if (!t) return;
  TransactionLog& log = LogLocked(*t, table_, connection_);
  // An encrypted table's records are never written in clear, so its log holds none: its
  // records are only held locked.
  if (!table_.encrypted()) log.Note(n, current);
}

void TransactionJournal::RecordAppended(const RecordView& record) {
  Journal(connection_, {table_.path(), record.recordNumber(), ChangeKind::kAppended, {}});
}

void TransactionJournal::RecordUpdated(const RecordView& before, const RecordView& after) {
  Journal(connection_, {table_.path(), after.recordNumber(), ChangeKind::kUpdated,
                        std::vector<uint8_t>(before.raw(), before.raw() + before.length())});
}

void TransactionJournal::RecordDeleted(const RecordView& record) {
  Journal(connection_, {table_.path(), record.recordNumber(), ChangeKind::kDeleted, {}});
}

void TransactionJournal::RecordRecalled(const RecordView& record) {
  Journal(connection_, {table_.path(), record.recordNumber(), ChangeKind::kRecalled, {}});
}

// Packing and zapping are refused during a transaction (their record numbers could not be
// undone), so there is nothing to journal.
void TransactionJournal::TablePacked() {}
void TransactionJournal::TableZapped() {}

}  // namespace engine::table
