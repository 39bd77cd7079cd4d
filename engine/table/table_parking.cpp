// An open kept between SQL statements without its locks; see Table::Park in table.h.
//
// What a parked open keeps is the open file description and what it read through it: the
// header, the memo file, and (through the index layer, which checks its own files) index files
// and their cached pages. None of it is trusted again before Resume has shown that no other
// open can have changed it: every change of a native table by the engine moves the change
// counter in the counter block, and everything that writes a table's files anew (pack, zap,
// restructure, encryption, a reindex, a table created over it) puts a new file under the old
// name, which the file's identity tells apart. DBF tables are not parked: programs of the DBF
// world change them without the change counter.
#include "engine/core/error.h"
#include "engine/table/table.h"
#include "engine/table/table_files.h"

namespace engine::table {

bool Table::Park() {
  if (parked_) return true;
  if (!options_.readOnly || options_.exclusive || options_.scratch || type() != TableType::kAdt || broken_) {
    return false;
  }
  if (!recordLocks_.empty() || tableLocked_ || writerDepth_ > 0 || readerDepth_ > 0 || batchDepth_ > 0)
    return false;
  if (uncommitted_ || countersDirty_ || changeBegun_ || memoWritten_ || truncatePending_ ||
      pendingAppend_ != 0) {
    return false;
  }
  // A memo file that could not be opened may be back by the next statement.
  if (schema().HasBlobs() && !memo_) return false;
  try {
    file_->Unlock(kOpenLockByte, 1);
  } catch (const EngineError&) {
    return false;  // still locked: the caller closes the open, which releases it
  }
  // The next statement brings its own passwords.
  cipher_.reset();
  parked_ = true;
  return true;
}

bool Table::Resume() {
  if (!parked_) return true;
  try {
    if (!file_->Lock(kOpenLockByte, 1, false)) return false;  // opened exclusively meanwhile
    parked_ = false;
    // From here on the open holds its lock again; a false answer leaves it to be destroyed.
    const std::string folder = storage::FolderOf(path_);
    // The memo lives beside the table, so one folder holds every name looked at here. Logs
    // seen last time are looked for again: recovering them may remove them at any time.
    namesUnchanged_ = namedDirectly_ && !logsAtOpen_ && folderWatch_.Unchanged(folder);
    if (!namesUnchanged_) {
      folderWatch_.Begin(folder);
      const std::string memoPath = memo_ ? format_->MemoPath(path_) : std::string();
      namedDirectly_ = file_->NamedDirectlyBy(path_) && (!memo_ || memo_->file().NamedDirectlyBy(memoPath));
      if (!namedDirectly_) {
        if (!file_->NamedBy(path_)) return false;
        if (memo_ && !memo_->file().NamedBy(memoPath)) return false;
      }
      if (table_files::ReplacementPending(path_)) return false;
    }
    TableCounters now;
    if (!format_->ReadCounters(*file_, header_, &now)) return false;
    if (now.changeCounter != headerChangeCounter_) return false;
    header_.counters = now;
    // A transaction whose process died holds no lock: only its log beside the table tells.
    if (!namesUnchanged_) logsAtOpen_ = TransactionLogsBeside();
    return true;
  } catch (const EngineError&) {
    return false;  // whatever failed, a fresh open meets it again and reports it
  }
}

}  // namespace engine::table
