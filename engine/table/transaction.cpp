// Transactions of connections; see transaction.h.
#include "engine/table/transaction.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "engine/core/ascii_case.h"
#include "engine/core/error.h"
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
  uint32_t last = 0;            // kAppended: the records recno..last were appended one after another
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

// A run of appends (a load) is one entry, so a transaction of a million of them stays small:
// lengthens the run the last entry holds when record n of `path` follows it; false when the
// record starts an entry of its own. REQUIRES: gMutex held.
bool ExtendAppendRun(Transaction& t, const std::string& path, uint32_t n) {
  std::vector<Change>& changes = t.changes;
  const bool savepointAtEnd = !t.savepoints.empty() && t.savepoints.back().second == changes.size();
  if (changes.empty() || savepointAtEnd || changes.back().kind != ChangeKind::kAppended ||
      changes.back().last + 1 != n || changes.back().tablePath != path) {
    return false;
  }
  changes.back().last = n;
  return true;
}

void Journal(uint32_t connection, Change change) {
  if (tReplaying) return;
  std::lock_guard<std::mutex> lock(gMutex);
  Transaction* t = ActiveLocked(connection);
  if (!t) return;
  if (change.kind == ChangeKind::kAppended) {
    change.last = change.recno;
    if (ExtendAppendRun(*t, change.tablePath, change.recno)) return;
  }
  t->changes.push_back(std::move(change));
}

// The log of the connection's transaction for the table, made on the first need.
TransactionLog& LogLocked(Transaction& t, Table& table, uint32_t connection) {
  auto it = t.logs.find(table.path());
  if (it == t.logs.end()) {
    // Made before it takes its place: a log that cannot be made leaves no empty place behind.
    auto log = std::make_unique<TransactionLog>(table.path(), connection, table.schema().recordLength(), table.exclusive());
    it = t.logs.emplace(table.path(), std::move(log)).first;
  }
  return *it->second;
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

// A record the transaction appended and a rollback removed is held no longer.
void ReleaseRemoved(uint32_t connection, const std::string& path, uint32_t n) {
  std::lock_guard<std::mutex> lock(gMutex);
  auto t = gTransactions.find(connection);
  if (t == gTransactions.end()) return;
  auto log = t->second.logs.find(path);
  if (log != t->second.logs.end()) log->second->Release(n);
}

// Undoes `undo`, newest first.
void UndoChanges(uint32_t connection, const std::vector<Change>& undo, const TableOpener& open) {
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
          // A record appended in the transaction goes when it is the last one; otherwise it
          // stays deleted, so that the numbers after it never move.
          for (uint32_t n = it->last; n >= it->recno && n != 0; --n) {
            if (!table->RemoveLastRecord(n)) {
              table->SetDeleted(n, true);
            } else {
              // Its number is free again: the next append takes it (after a rollback to a
              // savepoint, in the same transaction).
              ReleaseRemoved(connection, it->tablePath, n);
            }
          }
          break;
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
  UndoChanges(connection, undo, open);
}

// Commits what the connection's opens changed: their commits wait while the transaction lives.
void CommitTables(uint32_t connection) {
  std::vector<TransactionJournal*> journals;
  {
    std::lock_guard<std::mutex> lock(gMutex);
    for (auto& [path, j] : gJournals) {
      if (j->connection() == connection) journals.push_back(j);
    }
  }
  for (TransactionJournal* j : journals) j->table().Commit();
}

// After a rollback was committed: the connection's opens rebuild what could not follow it.
void RestoredTables(uint32_t connection) {
  std::vector<TransactionJournal*> journals;
  {
    std::lock_guard<std::mutex> lock(gMutex);
    for (auto& [path, j] : gJournals) {
      if (j->connection() == connection) journals.push_back(j);
    }
  }
  for (TransactionJournal* j : journals) j->table().Restored();
}

// Makes the connection's committed changes final: each table the transaction changed is forced
// to the disk; then, when it changed one table, its log is marked committed (the commit point:
// an unmarked log left behind is undone by the next open, a marked one undoes nothing). When it
// changed several, every log first names the transaction's commit record and the record is made
// durable: the commit point of all the tables at once (a log naming a record that exists undoes
// nothing). The logs are then marked, so that none can undo anything once the record goes, and
// removed. Throws, before the commit point only, when a table cannot be forced to the disk or
// the commit cannot be made durable. Returns the commit record to remove once the transaction
// has ended ("" for none, or when a log could not be marked: the record then stays).
std::string FinishLogs(uint32_t connection) {
  std::vector<TransactionLog*> logs;
  {
    std::lock_guard<std::mutex> lock(gMutex);
    auto it = gTransactions.find(connection);
    if (it == gTransactions.end()) return {};
    for (auto& [path, log] : it->second.logs) logs.push_back(log.get());
  }
  for (TransactionLog* log : logs) log->SyncTable();
  if (logs.size() <= 1) {
    for (TransactionLog* log : logs) log->MarkCommitted();
    for (TransactionLog* log : logs) log->Finish();
    return {};
  }
  const std::string record = CommitRecordPathFor(*logs.front());
  std::vector<std::string> paths;
  for (TransactionLog* log : logs) {
    log->NameCommitRecord(record);
    paths.push_back(log->path());
  }
  bool stands = false;
  WriteCommitRecord(record, paths, &stands);
  // Committed: nothing from here on may undo it.
  bool allMarked = true;
  for (TransactionLog* log : logs) {
    try {
      log->MarkCommitted();
    } catch (const EngineError&) {
      allMarked = false;  // the record keeps committing this log
    }
  }
  for (TransactionLog* log : logs) log->Finish();
  return allMarked ? record : std::string();
}

// Ends the connection's transaction and releases its records. Logs still in place are removed,
// quietly (they describe the tables as they now are, so undoing them again changes nothing);
// with `abandon` (a rollback that failed) they stay, and the next open of each table undoes
// what is left.
void End(uint32_t connection, bool abandon) {
  std::map<std::string, std::unique_ptr<TransactionLog>> logs;
  {
    std::lock_guard<std::mutex> lock(gMutex);
    auto it = gTransactions.find(connection);
    if (it == gTransactions.end()) return;
    logs = std::move(it->second.logs);
    gTransactions.erase(it);
  }
  for (auto& [path, log] : logs) {
    if (abandon) log->Abandon();
  }
  logs.clear();  // removes the logs and releases the records
}

Transaction& Active(uint32_t connection, const char* what) {
  Transaction* t = ActiveLocked(connection);
  if (!t) Fail(err::kNotInTransaction, std::string("There is no transaction to ") + what + " on this connection.");
  return *t;
}

// Restores one record to its committed image (nullopt: it did not exist, so it becomes an empty
// deleted record, as other opens read it while the transaction lived).
void Restore(Table& table, uint32_t n, const std::optional<std::vector<uint8_t>>& image) {
  if (n == 0 || n > table.RecordCount()) return;  // never written: nothing to undo
  if (!image) {
    std::vector<uint8_t> blank(table.schema().recordLength());
    WriteEmptyRecord(table.schema(), blank.data());
    table.WriteRecord(n, blank.data());
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

// The transaction's changes become durable when its outermost commit returns. When they
// cannot, they are undone (and that made durable) before the failure is reported, so a
// failed commit leaves the tables as they were before the transaction.
void CommitTransaction(uint32_t connection, const TableOpener& open) {
  std::vector<Change> changes;
  {
    std::lock_guard<std::mutex> lock(gMutex);
    Transaction& t = Active(connection, "commit");
    if (--t.depth > 0) return;
    changes = t.changes;
  }
  // The transaction stays known (its logs, its held records) until its changes are final.
  std::string commitRecord;
  try {
    CommitTables(connection);
    commitRecord = FinishLogs(connection);
  } catch (const EngineError& e) {
    std::string why = e.what();
    try {
      UndoChanges(connection, changes, open);
      CommitTables(connection);
      RestoredTables(connection);
    } catch (const EngineError& undo) {
      End(connection, true);  // the next open of each table undoes what is left
      Fail(err::kTransactionFailed, "The transaction could not be committed (" + why +
                                        ") and not every change could be undone: " + undo.what());
    }
    End(connection, false);
    Fail(e.code(), "The transaction could not be committed and was rolled back: " + why);
  }
  End(connection, false);
  if (!commitRecord.empty()) RemoveCommitRecordWhenDone(commitRecord);
}

void RollbackTransaction(uint32_t connection, const TableOpener& open) {
  {
    std::lock_guard<std::mutex> lock(gMutex);
    Active(connection, "roll back");
  }
  try {
    Undo(connection, 0, open);
    CommitTables(connection);
    RestoredTables(connection);
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
  if (table.readOnly() || !table.transactionLogsAtOpen()) return 0;
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
      for (auto it = log.images.rbegin(); it != log.images.rend(); ++it) Restore(table, it->first, it->second);
      table.Flush();
      RemoveLog(log);
      ++recovered;
    }
    for (uint32_t n : locked) table.UnlockRecord(n);
  }
  if (recovered == logs.size()) {
    // Logs of live transactions keep their lock byte, which reads still test.
    table.set_transactionLogsAtOpen(false);
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
  if (tReplaying) return;
  {
    // Most appends lengthen the run before them, which needs no copy of the table's path.
    std::lock_guard<std::mutex> lock(gMutex);
    Transaction* t = ActiveLocked(connection_);
    if (!t || ExtendAppendRun(*t, table_.path(), record.recordNumber())) return;
  }
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

void TransactionJournal::RecordRemoved(const RecordView& record) {
  if (tReplaying) return;
  std::lock_guard<std::mutex> lock(gMutex);
  auto it = gTransactions.find(connection_);
  if (it == gTransactions.end()) return;
  // The append is gone again: the journal forgets it, and what came after it for that record.
  const uint32_t n = record.recordNumber();
  std::vector<Change>& changes = it->second.changes;
  for (size_t i = changes.size(); i-- > 0;) {
    Change& c = changes[i];
    if (c.tablePath != table_.path()) continue;
    if (c.kind == ChangeKind::kAppended && n >= c.recno && n <= c.last) {
      if (n == c.recno && n == c.last) {
        changes.erase(changes.begin() + static_cast<std::ptrdiff_t>(i));
      } else if (n == c.last) {
        --c.last;
      } else if (n == c.recno) {
        ++c.recno;
      } else {
        Change rest = c;
        rest.recno = n + 1;
        c.last = n - 1;
        changes.insert(changes.begin() + static_cast<std::ptrdiff_t>(i) + 1, std::move(rest));
      }
      break;
    }
    if (c.recno == n) changes.erase(changes.begin() + static_cast<std::ptrdiff_t>(i));
  }
}

// A rollback's own writes wait too, so that they are made durable together at its end.
bool TransactionJournal::HoldsCommit() const { return tReplaying || InTransaction(connection_); }

// Packing and zapping are refused during a transaction (their record numbers could not be
// undone), so there is nothing to journal.
void TransactionJournal::TablePacked() {}
void TransactionJournal::TableZapped() {}

}  // namespace engine::table
