// Records: reading them, appending, writing, deleting and recalling them, and the values the
// table stamps on them (autoincrement, row version, modification time); see table.h.
#include <algorithm>
#include <cstring>

#include "engine/core/error.h"
#include "engine/table/julian.h"
#include "engine/table/record_writer.h"
#include "engine/table/table.h"
#include "engine/table/table_staging.h"

namespace engine::table {

void Table::ReadRecord(uint32_t n, uint8_t* image) {
  CheckRecordNumber(n);
  if (!encrypted()) {
    if (file_->Read(RecordOffset(n), image, schema().recordLength()) != schema().recordLength()) {
      Fail(err::kTableTruncated, "Record " + std::to_string(n) + " lies past the end of \"" + path_ +
                                     "\": the table file is truncated.");
    }
    return;
  }
  std::vector<uint8_t> slot(SlotLength());
  if (file_->Read(RecordOffset(n), slot.data(), slot.size()) != slot.size()) {
    Fail(err::kTableTruncated, "Record " + std::to_string(n) + " lies past the end of \"" + path_ +
                                   "\": the table file is truncated.");
  }
  DecodeSlot(n, slot.data(), image);
}

uint32_t Table::ReadRecords(uint32_t first, uint32_t count, uint8_t* images) {
  if (first == 0) return 0;
  uint32_t total = header_.counters.recordCount;
  if (first > total) return 0;
  count = std::min(count, total - first + 1);
  if (!encrypted()) {
    size_t want = static_cast<size_t>(count) * schema().recordLength();
    size_t got = file_->Read(RecordOffset(first), images, want);
    return static_cast<uint32_t>(got / schema().recordLength());
  }
  const uint32_t slotLen = SlotLength();
  const uint32_t len = schema().recordLength();
  std::vector<uint8_t> slots(static_cast<size_t>(count) * slotLen);
  uint32_t got = static_cast<uint32_t>(file_->Read(RecordOffset(first), slots.data(), slots.size()) / slotLen);
  for (uint32_t k = 0; k < got; ++k) {
    const uint8_t* slot = slots.data() + static_cast<size_t>(k) * slotLen;
    // The first record reports why it cannot be read; later ones are left to the next read.
    if (k == 0) {
      DecodeSlot(first, slot, images);
      continue;
    }
    try {
      DecodeSlot(first + k, slot, images + static_cast<size_t>(k) * len);
    } catch (const EngineError&) {
      return k;
    }
  }
  return got;
}

bool Table::CanDecodeSlot(const uint8_t* slot) const {
  return !encrypted() || slot[1] != kPieceEncrypted || cipher_ != nullptr;
}

void Table::DecodeSlot(uint32_t n, const uint8_t* slot, uint8_t* image) const {
  const uint32_t len = schema().recordLength();
  if (!encrypted()) {
    std::memcpy(image, slot, len);
    return;
  }
  image[0] = slot[0];
  if (slot[1] == kPiecePlain) {
    std::memcpy(image + 1, slot + 1 + kSealOverhead, len - 1);
    return;
  }
  if (slot[1] != kPieceEncrypted) {
    Fail(err::kEncryptedDataDamaged, "Record " + std::to_string(n) + " of \"" + path_ + "\" is damaged: its seal is unknown.");
  }
  if (!cipher_) {
    Fail(err::kEncryptionNotEnabled, "Record " + std::to_string(n) + " of \"" + path_ +
                                         "\" is encrypted; enable encryption with the table's password to read it.");
  }
  if (!cipher_->Open(PieceKind::kRecord, slot + 1, len - 1, image + 1)) {
    Fail(err::kEncryptedDataDamaged, "Record " + std::to_string(n) + " of \"" + path_ +
                                         "\" fails its authentication check: it is damaged or does not belong to this table.");
  }
}

void Table::CheckCanWriteEncrypted() const {
  if (encrypted() && !cipher_) {
    Fail(err::kEncryptionNotEnabled, "The table \"" + path_ +
                                         "\" is encrypted; enable encryption with its password before changing it.");
  }
}

void Table::WriteImage(uint32_t n, const uint8_t* image) {
  uncommitted_ = true;
  if (!encrypted()) {
    file_->Write(RecordOffset(n), image, schema().recordLength());
    return;
  }
  CheckCanWriteEncrypted();
  std::vector<uint8_t> slot(SlotLength());
  slot[0] = image[0];
  cipher_->Seal(PieceKind::kRecord, image + 1, schema().recordLength() - 1, slot.data() + 1);
  file_->Write(RecordOffset(n), slot.data(), slot.size());
}

void Table::WriteFlag(uint32_t n, uint8_t flag) {
  uncommitted_ = true;
  file_->Write(RecordOffset(n), &flag, 1);
}

void Table::Scan(const std::function<void(const RecordView&)>& fn) {
  const uint32_t len = schema().recordLength();
  ScanBatches([&](const uint8_t* images, uint32_t first, uint32_t count) {
    for (uint32_t k = 0; k < count; ++k) fn(RecordView(schema(), images + static_cast<size_t>(k) * len, first + k));
  });
}

void Table::ScanBatches(const std::function<void(const uint8_t* images, uint32_t first, uint32_t count)>& fn) {
  Refresh();
  uint32_t total = header_.counters.recordCount;
  const uint32_t len = schema().recordLength();
  std::vector<uint8_t> batch(static_cast<size_t>(kBatchRecords) * len);
  for (uint32_t n = 1; n <= total;) {
    uint32_t got = ReadRecords(n, std::min(kBatchRecords, total - n + 1), batch.data());
    if (got == 0) {
      Fail(err::kTableTruncated, "Record " + std::to_string(n) + " lies past the end of \"" + path_ +
                                     "\": the table file is truncated.");
    }
    fn(batch.data(), n, got);
    n += got;
  }
}

void Table::StampRecord(uint8_t* image, bool appending) {
  bool haveNow = false;
  int32_t day = 0, ms = 0;
  const std::vector<FieldDescriptor>& fields = schema().fields();
  for (size_t i = 0; i < fields.size(); ++i) {
    switch (fields[i].type) {
      case FieldType::kAutoInc:
        if (appending) {
          if (header_.counters.lastAutoinc >= 0x7FFFFFFEu) {
            Fail(err::kValueDoesNotFit, "The autoincrement field \"" + fields[i].name + "\" is exhausted.");
          }
          WriteInteger(schema(), image, i, ++header_.counters.lastAutoinc);
        }
        break;
      case FieldType::kRowVersion:
        WriteInteger(schema(), image, i, static_cast<int64_t>(++header_.counters.lastRowVersion));
        break;
      case FieldType::kModTime:
        if (!haveNow) NowLocal(&day, &ms);
        haveNow = true;
        WriteTimeStamp(schema(), image, i, day, ms);
        break;
      default:
        break;
    }
  }
}

// Keeps the values of the stamped fields of a record that was not stamped here and moves the
// counters past them, so that later appends never repeat an autoincrement value or a row
// version.
void Table::AdoptStamps(const uint8_t* image) {
  RecordView v(schema(), image, 0);
  for (size_t i = 0; i < schema().fieldCount(); ++i) {
    if (v.isNull(i)) continue;
    FieldType type = schema().fields()[i].type;
    if (type == FieldType::kAutoInc) {
      int64_t value = v.integer(i);
      if (value > 0 && static_cast<uint64_t>(value) > header_.counters.lastAutoinc) {
        header_.counters.lastAutoinc = static_cast<uint32_t>(value);
      }
    } else if (type == FieldType::kRowVersion) {
      int64_t value = v.integer(i);
      if (value > 0 && static_cast<uint64_t>(value) > header_.counters.lastRowVersion) {
        header_.counters.lastRowVersion = static_cast<uint64_t>(value);
      }
    }
  }
}

uint32_t Table::NextRecordNumber() {
  Refresh();
  if (!options_.exclusive || !intactChecked_) {
    uint32_t inFile = RecordsInFile();
    if (inFile < header_.counters.recordCount) {
      intactChecked_ = false;
      Fail(err::kTableTruncated, "The table file \"" + path_ + "\" is truncated; pack it before adding records.");
    }
    if (inFile > header_.counters.recordCount) {
      // What lies past the counted records was never part of the table (an append that did
      // not commit): it goes, and can never be taken for records.
      file_->Truncate(RecordOffset(header_.counters.recordCount + 1));
      uncommitted_ = true;
    }
    intactChecked_ = true;
  }
  CheckCanWriteEncrypted();
  uint32_t n = header_.counters.recordCount + 1;
  if (n == 0xFFFFFFFFu) Fail(err::kValueDoesNotFit, "The table \"" + path_ + "\" is full.");
  return n;
}

// Takes back the append of record n, the last one: the observers forget it (when they were
// told), the count goes back, and its bytes go at the next commit.
void Table::DropLastRecord(uint32_t n, const uint8_t* image, bool told) {
  if (told) {
    RecordView v(schema(), image, n);
    for (RecordObserver* o : observers_) {
      try {
        o->RecordRemoved(v);
      } catch (const EngineError&) {
        // The record goes all the same: taking back an append must not fail on what is derived
        // from the table (a full disk refuses index pages while a rollback still frees the
        // records' space). What the observer keeps is marked stale until it is rebuilt.
        try {
          o->RecordsRenumbering();
        } catch (const EngineError&) {
          // Its durable mark from the change's start stays.
        }
      }
    }
  }
  if (pendingAppend_ == n) pendingAppend_ = 0;
  header_.counters.recordCount = n - 1;
  AfterChange();
  truncatePending_ = true;  // its bytes go with the commit (a rollback drops many at once)
}

// After a change failed half-way and was put back as far as the disk allows: commits that, so
// that the observers clear their marks, unless the commit waits for a batch. A failure here
// adds nothing to the failure being reported.
void Table::AbandonChange() {
  try {
    if (!CommitHeld()) Commit();
  } catch (const EngineError&) {
    // The marks stay: the next open rebuilds what it cannot trust.
  }
}

// Runs `step`; when the disk refuses it, nothing is left half done.
template <typename Fn>
static void TryQuietly(Fn step) {
  try {
    step();
  } catch (const EngineError&) {
    // The disk refuses even that; its last synced state is the one a crash leaves.
  }
}

void Table::ForgetAppend(const TableCounters& before) {
  // Nothing counts the record: the counters go back, its bytes go with the next commit.
  header_.counters = before;
  truncatePending_ = true;
  if (!options_.exclusive) TryQuietly([&] { WriteCounters(); });
  AbandonChange();
}

uint32_t Table::ReserveRecord(uint8_t* image, bool* lockTaken) {
  CheckWritable();
  WriterLock w(*this);
  uint32_t n = NextRecordNumber();
  // The reserved record is in no index until CompleteAppend; were another open to change it
  // in between, both its change and the completed append would add keys for it. So it is
  // locked before the counters make it visible, and another open's table lock (which covers
  // records yet to come) refuses the append.
  bool locked = false;
  if (!options_.exclusive && !tableLocked_ && !recordLocks_.count(n)) {
    if (!file_->Lock(kRecordLockBase + n, 1, true)) {
      Fail(err::kRecordLocked, "The table \"" + path_ + "\" is locked by another user; no record can be appended to it.");
    }
    recordLocks_.insert(n);
    locked = true;
  }
  try {
    for (RecordObserver* o : observers_) o->RecordWillChange(n, nullptr);
  } catch (...) {
    if (locked) UnlockRecord(n);
    throw;
  }
  const TableCounters before = header_.counters;
  try {
    BeginChange();
    image[0] = kLiveFlag;
    StampRecord(image, true);
    if (options_.exclusive) {
      // Not counted on disk before it is complete (WriteCounters leaves it out).
      WriteImage(n, image);
      pendingAppend_ = n;
      header_.counters.recordCount = n;
      AfterChange();
    } else {
      // Other opens see the counters at once: until it is complete the record is stored
      // deleted and blank, so that a crash in between leaves no blank row behind.
      std::vector<uint8_t> blank(schema().recordLength());
      WriteEmptyRecord(schema(), blank.data());
      blank[0] = kDeletedFlag;
      WriteImage(n, blank.data());
      header_.counters.recordCount = n;
      AfterChange();
      TellObservers([](RecordObserver& o) { o.ChangeWritten(); });
    }
  } catch (const EngineError&) {
    pendingAppend_ = 0;
    ForgetAppend(before);
    if (locked) TryQuietly([&] { UnlockRecord(n); });
    throw;
  }
  if (lockTaken) *lockTaken = locked;
  return n;
}

void Table::CompleteAppend(uint32_t n, uint8_t* image) {
  CheckWritable();
  WriterLock w(*this);
  CheckRecordNumber(n);
  CheckCanWriteEncrypted();
  BeginChange();
  if (image[0] != kDeletedFlag) image[0] = kLiveFlag;
  StampRecord(image, false);
  const bool pending = pendingAppend_ == n;
  try {
    WriteImage(n, image);
    if (pending) pendingAppend_ = 0;
    AfterChange();
  } catch (const EngineError&) {
    // The record stays reserved as it was: its place holds no row.
    if (pending) {
      pendingAppend_ = n;
    } else {
      std::vector<uint8_t> blank(schema().recordLength());
      WriteEmptyRecord(schema(), blank.data());
      blank[0] = kDeletedFlag;
      TryQuietly([&] { WriteImage(n, blank.data()); });
    }
    AbandonChange();
    throw;
  }
  RecordView v(schema(), image, n);
  try {
    TellObservers([&](RecordObserver& o) { o.RecordAppended(v); });
  } catch (const EngineError&) {
    // Refused (a candidate tag already holds the key): the record stays reserved as it was,
    // holding no row, for the caller to correct and write again or to cancel.
    std::vector<uint8_t> blank(schema().recordLength());
    WriteEmptyRecord(schema(), blank.data());
    blank[0] = kDeletedFlag;
    TryQuietly([&] {
      WriteImage(n, blank.data());
      AfterChange();
    });
    if (pending) pendingAppend_ = n;
    AbandonChange();
    throw;
  }
  // Taken back only when the commit fails, while the caller's image is still the record.
  struct Appended {
    uint32_t n;
    const uint8_t* image;
  } appended{n, image};
  EndChange([this, &appended] {
    if (appended.n == header_.counters.recordCount) {
      DropLastRecord(appended.n, appended.image, true);
    } else {
      std::vector<uint8_t> gone(appended.image, appended.image + schema().recordLength());
      gone[0] = kDeletedFlag;
      WriteFlag(appended.n, kDeletedFlag);
      AfterChange();
      RecordView after(schema(), gone.data(), appended.n);
      TellObservers([&](RecordObserver& o) { o.RecordDeleted(after); });
    }
  });
}

void Table::CancelAppend(uint32_t n) {
  CheckWritable();
  WriterLock w(*this);
  CheckRecordNumber(n);
  if (n == header_.counters.recordCount) {
    // Still the last record: it goes as if it had never been appended.
    DropLastRecord(n, nullptr, false);
  } else {
    // Others appended after it: it stays, deleted and blank, with its keys.
    std::vector<uint8_t> blank(schema().recordLength());
    WriteEmptyRecord(schema(), blank.data());
    blank[0] = kDeletedFlag;
    WriteImage(n, blank.data());
    AfterChange();
    RecordView v(schema(), blank.data(), n);
    try {
      TellObservers([&](RecordObserver& o) { o.RecordAppended(v); });
    } catch (const EngineError&) {
      // A candidate tag that already holds the blank key refuses it; the deleted record then
      // stays out of that tag, which a reindex of the table settles.
    }
  }
  EndChange([] {});
}

uint32_t Table::AppendRecord(uint8_t* image) { return AppendImage(image, true); }

uint32_t Table::AppendCopiedRecord(uint8_t* image) { return AppendImage(image, false); }

uint32_t Table::AppendImage(uint8_t* image, bool stamp) {
  CheckWritable();
  WriterLock w(*this);
  uint32_t n = NextRecordNumber();
  for (RecordObserver* o : observers_) o->RecordWillChange(n, nullptr);
  BeginChange();
  const TableCounters before = header_.counters;
  if (stamp) {
    image[0] = kLiveFlag;
    StampRecord(image, true);
  } else {
    if (image[0] != kDeletedFlag) image[0] = kLiveFlag;
    AdoptStamps(image);
  }
  try {
    WriteImage(n, image);
    header_.counters.recordCount = n;
    AfterChange();
  } catch (const EngineError&) {
    ForgetAppend(before);
    throw;
  }
  RecordView v(schema(), image, n);
  try {
    TellObservers([&](RecordObserver& o) { o.RecordAppended(v); });
  } catch (const EngineError&) {
    TryQuietly([&] { DropLastRecord(n, image, false); });
    AbandonChange();
    throw;
  }
  std::vector<uint8_t> kept(image, image + schema().recordLength());
  EndChange([&] { DropLastRecord(n, kept.data(), true); });
  return n;
}

void Table::WriteRecord(uint32_t n, uint8_t* image) {
  CheckWritable();
  WriterLock w(*this);
  CheckRecordNumber(n);
  CheckCanWriteEncrypted();
  std::vector<uint8_t> old(schema().recordLength());
  ReadRecord(n, old.data());
  for (RecordObserver* o : observers_) o->RecordWillChange(n, old.data());
  BeginChange();
  image[0] = old[0];
  StampRecord(image, false);
  std::vector<uint8_t> now(image, image + schema().recordLength());
  // Puts the record back as it was; `told`: the observers saw the new image and see it go.
  auto restore = [&](bool told) {
    WriteImage(n, old.data());
    AfterChange();
    if (told) {
      RecordView before(schema(), now.data(), n), after(schema(), old.data(), n);
      TellObservers([&](RecordObserver& o) { o.RecordUpdated(before, after); });
    }
  };
  try {
    WriteImage(n, image);
    AfterChange();
    RecordView before(schema(), old.data(), n), after(schema(), image, n);
    TellObservers([&](RecordObserver& o) { o.RecordUpdated(before, after); });
  } catch (const EngineError&) {
    TryQuietly([&] { restore(false); });
    AbandonChange();
    throw;
  }
  EndChange([&] { restore(true); });
}

void Table::SetDeleted(uint32_t n, bool deleted) {
  CheckWritable();
  WriterLock w(*this);
  CheckRecordNumber(n);
  std::vector<uint8_t> image(schema().recordLength());
  ReadRecord(n, image.data());
  uint8_t flag = deleted ? kDeletedFlag : kLiveFlag;
  if (image[0] == flag) return;
  for (RecordObserver* o : observers_) o->RecordWillChange(n, image.data());
  uint8_t old = image[0];
  BeginChange();
  auto tell = [&](bool nowDeleted) {
    image[0] = nowDeleted ? kDeletedFlag : kLiveFlag;
    RecordView v(schema(), image.data(), n);
    TellObservers([&](RecordObserver& o) { nowDeleted ? o.RecordDeleted(v) : o.RecordRecalled(v); });
  };
  try {
    WriteFlag(n, flag);
    AfterChange();
    tell(deleted);
  } catch (const EngineError&) {
    TryQuietly([&] {
      WriteFlag(n, old);
      AfterChange();
    });
    AbandonChange();
    throw;
  }
  EndChange([&] {
    WriteFlag(n, old);
    AfterChange();
    tell(!deleted);
  });
}

bool Table::RemoveLastRecord(uint32_t n) {
  CheckWritable();
  WriterLock w(*this);
  Refresh();
  if (n == 0 || n != header_.counters.recordCount) return false;
  std::vector<uint8_t> image(schema().recordLength());
  ReadRecord(n, image.data());
  BeginChange();
  DropLastRecord(n, image.data(), true);
  EndChange([] {});
  return true;
}

bool Table::IsRecordDeletedInFile(uint32_t n) {
  CheckRecordNumber(n);
  uint8_t flag = 0;
  if (file_->Read(RecordOffset(n), &flag, 1) != 1) {
    Fail(err::kTableTruncated, "Record " + std::to_string(n) + " lies past the end of \"" + path_ +
                                   "\": the table file is truncated.");
  }
  return flag == kDeletedFlag;
}

}  // namespace engine::table
