// The locks one open holds against the others: records, the table, the writer lock around
// every change and the reader lock around reads of the header and indexes; see table.h.
#include "engine/core/error.h"
#include "engine/table/table.h"

namespace engine::table {

bool Table::LockRecord(uint32_t n) {
  if (recordLocks_.count(n) || tableLocked_ || options_.exclusive) {
    recordLocks_.insert(n);
    return true;
  }
  if (!file_->writable()) return false;
  if (!file_->Lock(kRecordLockBase + n, 1, true)) return false;
  recordLocks_.insert(n);
  return true;
}

bool Table::UnlockRecord(uint32_t n) {
  if (!recordLocks_.erase(n)) return false;
  if (!tableLocked_ && !options_.exclusive) file_->Unlock(kRecordLockBase + n, 1);
  return true;
}

bool Table::LockTable() {
  if (tableLocked_) return true;
  if (!options_.exclusive) {
    if (!file_->writable() || !file_->Lock(kRecordLockBase, kRecordLockSpan, true)) return false;
  }
  tableLocked_ = true;
  return true;
}

bool Table::UnlockTable() {
  if (!tableLocked_) return false;
  tableLocked_ = false;
  if (options_.exclusive) return true;
  // Release the range around the records this open still holds, so that no other open can
  // slip into one of them.
  uint64_t from = kRecordLockBase;
  for (uint32_t n : recordLocks_) {
    uint64_t at = kRecordLockBase + n;
    if (at > from) file_->Unlock(from, at - from);
    from = at + 1;
  }
  uint64_t end = kRecordLockBase + kRecordLockSpan;
  if (end > from) file_->Unlock(from, end - from);
  return true;
}

bool Table::IsRecordLockedByOthers(uint32_t n) const {
  if (options_.exclusive) return false;
  return file_->LockedByOthers(kRecordLockBase + n, 1);
}

bool Table::ChangedByTransactions() const {
  if (logsAtOpen_) return true;
  if (options_.exclusive) return false;
  return file_->LockedByOthers(kTransactionLockByte, 1);
}

Table::WriterLock::WriterLock(Table& table) : table_(table) {
  if (table_.writerDepth_ == 0 && !table_.options_.exclusive && table_.file_->writable()) {
    table_.file_->WaitLock(kWriterLockByte, 1, true);
    // Every change under the lock starts from the counters as the other opens left them:
    // writing back an older copy would undo their appends (two opens would then append the
    // same record number) and move the change counter backwards. Counters found damaged when
    // the table opened are rebuilt by this open and not read again.
    if (!table_.countersDirty_) {
      try {
        table_.Refresh();
      } catch (...) {
        table_.file_->Unlock(kWriterLockByte, 1);
        throw;
      }
    }
  }
  ++table_.writerDepth_;
}

Table::WriterLock::~WriterLock() {
  if (--table_.writerDepth_ == 0 && !table_.options_.exclusive && table_.file_->writable()) {
    try {
      table_.file_->Unlock(kWriterLockByte, 1);
    } catch (const EngineError&) {
      // Unlocking a held range cannot fail on a valid descriptor; closing it would release it.
    }
  }
}

Table::ReaderLock::ReaderLock(Table& table) : table_(table) {
  if (table_.options_.exclusive || table_.writerDepth_ > 0) return;
  if (table_.readerDepth_++ == 0) table_.file_->WaitLock(kWriterLockByte, 1, false);
  locked_ = true;
}

Table::ReaderLock::~ReaderLock() {
  if (!locked_) return;
  if (--table_.readerDepth_ == 0) {
    try {
      table_.file_->Unlock(kWriterLockByte, 1);
    } catch (const EngineError&) {
      // Unlocking a held range cannot fail on a valid descriptor; closing it would release it.
    }
  }
}

}  // namespace engine::table
