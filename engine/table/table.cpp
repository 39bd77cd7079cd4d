// Opening and creating a table, its header and counters, and the change protocol that makes
// every change durable or undoes it; see table.h.
#include "engine/table/table.h"

#include <errno.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "engine/core/error.h"
#include "engine/storage/write_behind_file.h"
#include "engine/table/dbf_header.h"
#include "engine/table/memo_file.h"
#include "engine/table/record_writer.h"
#include "engine/table/table_files.h"
#include "engine/table/table_staging.h"

namespace engine::table {

namespace {

// The appended records an exclusive open gathers before writing them out.
constexpr size_t kAppendRunBytes = size_t{256} << 10;

}  // namespace

void Table::Create(const std::string& path, const Schema& schema, const CreateOptions& options) {
  // An existing table is replaced only when nobody has it open.
  int error = 0;
  std::unique_ptr<storage::File> existing =
      storage::TryOpenFile(path, storage::OpenMode::kReadWrite, err::kTableIoError, &error);
  if (existing && !existing->Lock(kOpenLockByte, 1, true)) {
    Fail(err::kTableInUse, "The table \"" + path + "\" is in use and cannot be replaced.");
  }
  if (existing) table_files::Recover(path);
  existing.reset();
  const RecordFormat& format = RecordFormatOf(schema.tableType());
  TableHeader h;
  h.schema = schema;
  h.properties.memoBlockSize = schema.HasBlobs() ? (options.memoBlockSize ? options.memoBlockSize : kDefaultMemoBlockSize) : 0;
  h.properties.charType = options.charType;
  h.properties.collation = options.collation;
  h.properties.indexPageSize = options.indexPageSize;
  h.tags = options.tags;
  h.counters.changeCounter = 1;
  format.LayOut(&h);

  table_files::NewTableFiles files(path, format.type());
  std::unique_ptr<MemoStore> memo;
  if (schema.HasBlobs()) memo = format.CreateMemo(format.MemoPath(files.staged()), h.properties.memoBlockSize);
  std::unique_ptr<storage::File> f = CreateStagedTable(files.staged());
  format.WriteHeader(*f, h);
  memo.reset();
  files.Install(schema.HasBlobs(), !options.scratch);
  // A DBF table's tag definitions live beside it; those of a table it replaced go.
  if (!format.tagsInHeader()) StoreDbfTags(path, h.tags, !options.scratch);
}

std::unique_ptr<Table> Table::Open(const std::string& path, const OpenOptions& options) {
  for (int attempt = 0;; ++attempt) {
    std::unique_ptr<Table> t(new Table());
    t->path_ = path;
    t->options_ = options;
    int error = 0;
    // Read-only opens still open for writing when the host allows it: locks need that.
    t->file_ = storage::TryOpenFile(path, storage::OpenMode::kReadWrite, err::kTableIoError, &error);
    if (!t->file_ && options.readOnly && (error == EACCES || error == EROFS || error == EPERM)) {
      t->file_ = storage::TryOpenFile(path, storage::OpenMode::kRead, err::kTableIoError, &error);
    }
    if (!t->file_) {
      if (error == ENOENT || error == ENOTDIR) Fail(err::kTableNotFound, "The table \"" + path + "\" does not exist.");
      storage::FailHost(err::kTableIoError, error, "Cannot open the table \"" + path + "\"");
    }
    bool lockable = t->file_->writable() || !options.exclusive;
    if (!lockable || !t->file_->Lock(kOpenLockByte, 1, options.exclusive && t->file_->writable())) {
      if (options.exclusive) {
        Fail(err::kTableInUse, "The table \"" + path + "\" is open by another user and cannot be opened exclusively.");
      }
      Fail(err::kTableInUse, "The table \"" + path + "\" is opened exclusively by another user.");
    }
    if (table_files::ReplacementPending(path)) {
      // A process that crashed had decided to replace the table's files: the old ones may not
      // be read any more. Finishing that needs the table alone.
      bool alone = options.exclusive || (t->file_->writable() && t->file_->Lock(kOpenLockByte, 1, true));
      if (!alone || attempt > 0) {
        Fail(err::kTableInUse, "The files of the table \"" + path +
                                   "\" are being replaced; open it again when nobody else has it open.");
      }
      // Finished while this open still holds the table alone; then it opens the new files.
      table_files::Recover(path);
      t.reset();
      continue;
    }
    t->format_ = &RecordFormatOf(t->DetectType());
    t->LoadHeader();
    t->logsAtOpen_ = t->TransactionLogsBeside();
    if (t->countersDirty_ && t->file_->writable() && !options.readOnly) {
      // The counter block was damaged: the counters rebuilt from the records are written at
      // once, so that every open reads the same ones.
      WriterLock w(*t);
      t->WriteCounters();
      if (!options.scratch) t->file_->Sync();
      t->uncommitted_ = false;
    }
    if (t->schema().HasBlobs()) t->memo_ = t->OpenMemo();
    t->committed_ = t->header_.counters;
    if (options.exclusive && !options.readOnly && !options.scratch && t->file_->writable()) {
      // Nobody else reads this table while it is open, so the records appended to it can be
      // gathered and written in large pieces; every commit still writes and syncs them first.
      t->file_ = std::make_unique<storage::WriteBehindFile>(std::move(t->file_), kAppendRunBytes);
    }
    return t;
  }
}

Table::~Table() {
  try {
    if ((uncommitted_ || countersDirty_ || changeBegun_) && file_ && file_->writable() && !options_.readOnly) Commit();
  } catch (const EngineError&) {
    // Nothing can be reported from a destructor. What was not committed is not part of the
    // table: the counters on disk do not count it, and the index files keep their mark.
  }
  indexes_.reset();  // stops observing while the table is whole
}

TableType Table::DetectType() const {
  uint8_t head[kDbfHeaderSize] = {};
  const size_t got = file_->Read(0, head, sizeof head);
  // A DBF file without memos says nothing of its index kind but through its header flag and a
  // structural .cdx beside it.
  const bool cdxBeside = !options_.type && got > 0 && head[0] == 0x03 &&
                         storage::Exists(table_files::CdxPath(path_), err::kTableIoError);
  std::optional<TableType> found = SniffTableType(head, got, cdxBeside);
  const TableType wanted = options_.type.value_or(found.value_or(TableType::kAdt));
  if (found && IsDbfTableType(*found) != IsDbfTableType(wanted)) {
    if (wanted == TableType::kAdt) {
      Fail(err::kNotATableFile, "The file \"" + path_ + "\" is a DBF table, not a native table: open it as table type " +
                                    std::to_string(TableTypeCode(*found)) + ".");
    }
    Fail(err::kNotATableFile, "The file \"" + path_ + "\" is a native table, not a DBF table: open it as table type 3.");
  }
  return wanted;
}

void Table::LoadHeader() {
  TableHeader h;
  const bool countersIntact = format_->ReadHeader(*file_, path_, &h);
  header_ = std::move(h);
  if (!countersIntact) RecoverCounters();
  headerChangeCounter_ = header_.counters.changeCounter;
}

bool Table::TransactionLogsBeside() const {
  // A scratch table (an SQL result) is never changed in a transaction, so it has no logs;
  // skipping the listing matters because results are opened for every statement and the
  // temporary folder may hold many files.
  if (options_.scratch) return false;
  const std::string name = path_.substr(path_.find_last_of('/') + 1);
  return !storage::ListFolder(storage::FolderOf(path_), name + ".txn-").empty();
}

uint32_t Table::RecordsInFile() const {
  uint64_t size = file_->Size();
  if (size <= header_.headerLength) return 0;
  return static_cast<uint32_t>(std::min<uint64_t>((size - header_.headerLength) / SlotLength(), 0xFFFFFFFEu));
}

// A damaged counter block (the disk damaged it; the engine writes it in one piece) leaves the
// records as the only witness: every complete record in the file is counted, and the stamped
// values move past those the records hold. The repaired counters are written with the next
// change, so that an open that only reads never writes.
void Table::RecoverCounters() {
  header_.counters = TableCounters{};
  header_.counters.changeCounter = 1;
  uint32_t inFile = RecordsInFile();
  std::vector<uint8_t> slot(SlotLength());
  std::vector<uint8_t> image(schema().recordLength());
  for (uint32_t n = 1; n <= inFile; ++n) {
    file_->ReadExact(RecordOffset(n), slot.data(), slot.size());
    // An encrypted record cannot be read without the key, which no open has yet: it is
    // counted, but its stamped values cannot move the counters.
    if (!CanDecodeSlot(slot.data())) continue;
    try {
      DecodeSlot(n, slot.data(), image.data());
    } catch (const EngineError&) {
      continue;  // a damaged slot is reported when the record is read, not here
    }
    AdoptStamps(image.data());
  }
  header_.counters.recordCount = inFile;
  countersDirty_ = true;
}

void Table::WriteCounters() {
  TableCounters c = header_.counters;
  // A record an exclusive open is still appending is not counted on disk before it is complete.
  if (pendingAppend_ != 0 && pendingAppend_ == c.recordCount) c.recordCount = pendingAppend_ - 1;
  format_->WriteCounters(*file_, header_, c, header_.counters.recordCount);
  countersDirty_ = false;
  uncommitted_ = true;
}

void Table::AfterChange() {
  header_.counters.changeCounter++;
  uncommitted_ = true;
  if (options_.exclusive) {
    countersDirty_ = true;
  } else {
    WriteCounters();
  }
}

bool Table::Refresh() {
  if (options_.exclusive) return false;
  TableCounters c;
  if (!format_->ReadCounters(*file_, header_, &c)) {
    Fail(err::kTableHeaderDamaged, "The record counters of \"" + path_ + "\" are damaged.");
  }
  // A program that is not ours changes a DBF table's record count without the change counter.
  bool changed = c.changeCounter != header_.counters.changeCounter || c.recordCount != header_.counters.recordCount;
  header_.counters = c;
  return changed;
}

uint32_t Table::RecordCount() {
  Refresh();
  return header_.counters.recordCount;
}

void Table::CheckWritable() const {
  if (options_.readOnly || !file_->writable()) {
    Fail(err::kTableReadOnly, "The table \"" + path_ + "\" is open read-only.");
  }
  if (broken_) {
    Fail(err::kTableIoError, "The table \"" + path_ + "\" could not be read after its file was replaced; close it and open it again.");
  }
}

void Table::CheckRecordNumber(uint32_t n) {
  if (n == 0 || n > header_.counters.recordCount) Refresh();
  if (n == 0 || n > header_.counters.recordCount) {
    Fail(err::kInvalidRecordNumber, "Record " + std::to_string(n) + " does not exist in \"" + path_ + "\".");
  }
}

// ---- the change protocol ----

void Table::TellObservers(const std::function<void(RecordObserver&)>& fn) {
  for (RecordObserver* o : observers_) fn(*o);
}

void Table::BeginChange() {
  changeBegun_ = true;
  TellObservers([](RecordObserver& o) { o.BeforeChange(); });
}

bool Table::CommitHeld() const {
  // Nothing needs a scratch table after a crash: it commits when it is flushed or closed.
  if (batchDepth_ > 0 || options_.scratch) return true;
  for (const RecordObserver* o : observers_) {
    if (o->HoldsCommit()) return true;
  }
  return false;
}

void Table::EndChange(const std::function<void()>& undo) {
  if (CommitHeld()) return;
  try {
    Commit();
  } catch (const EngineError&) {
    // The change did not become part of the table: take it back, and make that durable.
    try {
      undo();
      Commit();
    } catch (const EngineError&) {
      // The disk refuses even that. What is on it is either the table before the change or
      // after it, and the failure is reported either way.
    }
    throw;
  }
}

void Table::Commit() {
  if (!file_ || !file_->writable() || options_.readOnly || broken_) return;
  const bool durable = !options_.scratch;
  const bool changed = uncommitted_ || countersDirty_ || memoWritten_ || truncatePending_;
  // The observers clear their marks under the writer lock too: a reader of another open must
  // never meet a mark that a live writer is about to clear.
  std::optional<WriterLock> w;
  if (changed || changeBegun_) w.emplace(*this);
  if (changed) {
    // Blobs before the records that refer to them; records before the counters that count them.
    if (memo_ && memoWritten_ && durable) memo_->Sync();
    if (truncatePending_) {
      TruncateAfter(header_.counters.recordCount);
      truncatePending_ = false;
    }
    if (countersDirty_) {
      if (uncommitted_ && durable) file_->Sync();
      WriteCounters();
    }
    if (durable) file_->Sync();
    uncommitted_ = false;
    memoWritten_ = false;
    committed_ = header_.counters;
  }
  changeBegun_ = false;
  TellObservers([](RecordObserver& o) { o.Committed(); });
}

void Table::Restored() {
  TellObservers([](RecordObserver& o) { o.TableRestored(); });
}

void Table::AddObserver(RecordObserver* observer) { observers_.push_back(observer); }

void Table::RemoveObserver(RecordObserver* observer) {
  observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

void Table::TruncateAfter(uint32_t count) {
  file_->Truncate(RecordOffset(count + 1) + format_->trailerSize());
  format_->WriteTrailer(*file_, header_, count);
}

void Table::SetStructuralIndexFlag(bool present) {
  if (!schema().dbf()) return;
  const uint8_t flags = present ? (header_.dbfTableFlags | 0x01) : (header_.dbfTableFlags & ~0x01);
  if (flags == header_.dbfTableFlags) return;
  CheckWritable();
  WriterLock w(*this);
  const uint8_t old = header_.dbfTableFlags;
  header_.dbfTableFlags = flags;
  AfterChange();
  EndChange([this, old] {
    header_.dbfTableFlags = old;
    AfterChange();
  });
}

void Table::SetTags(std::vector<TagDefinition> tags) {
  CheckWritable();
  Commit();
  WriterLock w(*this);
  if (!format_->tagsInHeader()) {
    // Beside the table: written whole and renamed into place, so a crash leaves the old
    // definitions or the new ones.
    StoreDbfTags(path_, tags, !options_.scratch);
    header_.tags = std::move(tags);
    AfterChange();
    Commit();
    return;
  }
  TableHeader h = header_;
  h.tags = std::move(tags);
  std::vector<uint8_t> structure = EncodeStructure(h);
  const uint32_t size = static_cast<uint32_t>(structure.size());
  const uint32_t current = header_.structureOffset;
  const uint32_t currentEnd = current + static_cast<uint32_t>(EncodeStructure(header_).size());
  // The new block goes where the current one is not: before it, or after it.
  uint32_t at = 0;
  if (kStructureOffset + size <= current) {
    at = kStructureOffset;
  } else if (currentEnd + size <= header_.headerLength) {
    at = currentEnd;
  }
  if (at == 0) {
    // No room beside the current block: the file is written anew beside the old one, with a
    // header that leaves room again.
    if (!options_.exclusive) {
      Fail(err::kExclusiveRequired, "The table \"" + path_ + "\" must be open exclusively to store so many index tags.");
    }
    h.headerLength = HeaderLengthFor(size);
    h.structureOffset = kStructureOffset;
    RewriteWithHeader(h, [](uint32_t, const uint8_t*) { return true; }, nullptr);
    return;
  }
  // The block first, durably; then the fixed block that points at it. A crash in between
  // leaves the old fixed block, which still points at the old block, intact.
  h.structureOffset = at;
  const bool durable = !options_.scratch;
  file_->Write(at, structure.data(), structure.size());
  if (durable) file_->Sync();
  std::vector<uint8_t> fixed = EncodeFixedBlock(h, structure);
  file_->Write(0, fixed.data(), fixed.size());
  if (durable) file_->Sync();
  header_.tags = std::move(h.tags);
  header_.structureOffset = at;
  // Other opens notice the change through the counters.
  AfterChange();
  Commit();
}

}  // namespace engine::table
