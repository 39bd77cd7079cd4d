// Transactions of connections; see transaction.h.
#include "engine/table/transaction.h"

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>

#include "engine/core/error.h"
#include "engine/table/ascii_case.h"
#include "engine/table/table.h"

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
};

std::mutex gMutex;
std::map<uint32_t, Transaction> gTransactions;               // by connection
std::multimap<std::string, TransactionJournal*> gJournals;  // live opens, by table path
thread_local bool tReplaying = false;                        // a rollback writes; nothing journals

void Journal(uint32_t connection, Change change) {
  if (tReplaying) return;
  std::lock_guard<std::mutex> lock(gMutex);
  auto it = gTransactions.find(connection);
  if (it == gTransactions.end() || it->second.depth == 0) return;
  it->second.changes.push_back(std::move(change));
}

// The open through which a change of `path` is undone: one of the connection's own, else any
// live open of the file, else a new shared open for the length of the rollback.
Table* OpenFor(uint32_t connection, const std::string& path, std::vector<std::unique_ptr<Table>>& opened) {
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
  opened.push_back(Table::Open(path, {}));
  return opened.back().get();
}

// Undoes the changes from position `from` on, newest first, and drops them.
void Undo(uint32_t connection, size_t from) {
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
  tReplaying = true;
  std::string firstError;
  for (auto it = undo.rbegin(); it != undo.rend(); ++it) {
    try {
      Table* table = OpenFor(connection, it->tablePath, opened);
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
  tReplaying = false;
  if (!firstError.empty()) Fail(err::kTransactionFailed, "The rollback could not undo every change: " + firstError);
}

void ReleaseLocks(uint32_t connection) {
  std::vector<TransactionJournal*> journals;
  {
    std::lock_guard<std::mutex> lock(gMutex);
    for (auto& [path, j] : gJournals) {
      if (j->connection() == connection) journals.push_back(j);
    }
  }
  for (TransactionJournal* j : journals) j->ReleaseHeldLocks();
}

Transaction& Active(uint32_t connection, const char* what) {
  auto it = gTransactions.find(connection);
  if (it == gTransactions.end() || it->second.depth == 0) {
    Fail(err::kNotInTransaction, std::string("There is no transaction to ") + what + " on this connection.");
  }
  return it->second;
}

}  // namespace

bool InTransaction(uint32_t connection) {
  if (connection == 0) return false;
  std::lock_guard<std::mutex> lock(gMutex);
  auto it = gTransactions.find(connection);
  return it != gTransactions.end() && it->second.depth > 0;
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
    gTransactions.erase(connection);
  }
  ReleaseLocks(connection);
}

void RollbackTransaction(uint32_t connection) {
  {
    std::lock_guard<std::mutex> lock(gMutex);
    Active(connection, "roll back");
  }
  try {
    Undo(connection, 0);
  } catch (...) {
    {
      std::lock_guard<std::mutex> lock(gMutex);
      gTransactions.erase(connection);
    }
    ReleaseLocks(connection);
    throw;
  }
  {
    std::lock_guard<std::mutex> lock(gMutex);
    gTransactions.erase(connection);
  }
  ReleaseLocks(connection);
}

void CreateSavepoint(uint32_t connection, const std::string& name) {
  if (name.empty()) Fail(err::kInvalidArgument, "A savepoint needs a name.");
  std::lock_guard<std::mutex> lock(gMutex);
  Transaction& t = Active(connection, "mark with a savepoint");
  t.savepoints.emplace_back(name, t.changes.size());
}

void RollbackToSavepoint(uint32_t connection, const std::string& name) {
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
  Undo(connection, from);
}

void ForgetTransaction(uint32_t connection) {
  std::lock_guard<std::mutex> lock(gMutex);
  gTransactions.erase(connection);
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

void TransactionJournal::HoldLock(uint32_t n) {
  if (std::find(held_.begin(), held_.end(), n) == held_.end()) held_.push_back(n);
}

void TransactionJournal::ReleaseHeldLocks() {
  for (uint32_t n : held_) table_.UnlockRecord(n);
  held_.clear();
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
