#include "engine/table/table.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cstring>
#include <filesystem>

#include "engine/core/error.h"
#include "engine/table/byte_order.h"
#include "engine/table/julian.h"
#include "engine/table/record_writer.h"

namespace engine {

namespace {

// Records moved per read or write during pack, restructure and scans.
constexpr uint32_t kBatchRecords = 4096;

std::string ReplaceExtension(const std::string& path, const char* ext) {
  std::filesystem::path p(path);
  p.replace_extension(ext);
  return p.string();
}

std::string TempPathFor(const std::string& path) { return path + ".new~" + std::to_string(::getpid()); }

void WriteWholeHeader(FileHandle& f, const TableHeader& h) {
  std::vector<uint8_t> structure = EncodeStructure(h);
  std::vector<uint8_t> fixed = EncodeFixedBlock(h, structure);
  std::vector<uint8_t> counters = EncodeCounters(h.counters);
  std::vector<uint8_t> block(h.headerLength, 0);
  std::memcpy(block.data(), fixed.data(), fixed.size());
  std::memcpy(block.data() + kCounterBlockOffset, counters.data(), counters.size());
  std::memcpy(block.data() + kStructureOffset, structure.data(), structure.size());
  f.WriteExact(0, block.data(), block.size());
}

FileHandle CreateLockedTemp(const std::string& tmp) {
  int error = 0;
  FileHandle f = FileHandle::Open(tmp, FileHandle::Mode::kCreateNew, &error);
  if (!f.valid()) Fail(err::kTableIoError, "Cannot create \"" + tmp + "\": " + strerror(error) + ".");
  // Whoever opens the name after the rename meets this lock and is refused, as with the old file.
  if (!f.TryLock(kOpenLockByte, 1, true)) Fail(err::kTableInUse, "Cannot lock \"" + tmp + "\".");
  return f;
}

}  // namespace

std::string Table::MemoPathFor(const std::string& tablePath) { return ReplaceExtension(tablePath, ".adm"); }

void Table::Create(const std::string& path, const Schema& schema, const CreateOptions& options) {
  // An existing table is replaced only when nobody has it open.
  int error = 0;
  FileHandle existing = FileHandle::Open(path, FileHandle::Mode::kReadWrite, &error);
  if (existing.valid() && !existing.TryLock(kOpenLockByte, 1, true)) {
    Fail(err::kTableInUse, "The table \"" + path + "\" is in use and cannot be replaced.");
  }
  TableHeader h;
  h.schema = schema;
  h.properties.memoBlockSize = schema.hasBlobs() ? (options.memoBlockSize ? options.memoBlockSize : kDefaultMemoBlockSize) : 0;
  h.properties.charType = options.charType;
  h.properties.collation = options.collation;
  h.properties.indexPageSize = options.indexPageSize;
  h.tags = options.tags;
  h.headerLength = HeaderLengthFor(EncodeStructure(h).size());
  h.counters.changeCounter = 1;

  if (schema.hasBlobs()) {
    std::string memoTmp = TempPathFor(MemoPathFor(path));
    MemoFile::Create(memoTmp, h.properties.memoBlockSize);
    if (::rename(memoTmp.c_str(), MemoPathFor(path).c_str()) != 0) {
      int e = errno;
      ::unlink(memoTmp.c_str());
      Fail(err::kTableIoError, "Cannot create the memo file of \"" + path + "\": " + strerror(e) + ".");
    }
  }
  std::string tmp = TempPathFor(path);
  FileHandle f = CreateLockedTemp(tmp);
  try {
    WriteWholeHeader(f, h);
    if (!options.scratch) f.Sync();
  } catch (...) {
    ::unlink(tmp.c_str());
    throw;
  }
  if (::rename(tmp.c_str(), path.c_str()) != 0) {
    int e = errno;
    ::unlink(tmp.c_str());
    Fail(err::kTableIoError, "Cannot create the table \"" + path + "\": " + strerror(e) + ".");
  }
  if (!schema.hasBlobs()) ::unlink(MemoPathFor(path).c_str());
  // An index file of the table this one replaces describes records that are gone.
  if (existing.valid()) ::unlink(ReplaceExtension(path, ".adi").c_str());
}

std::unique_ptr<Table> Table::Open(const std::string& path, const OpenOptions& options) {
  std::unique_ptr<Table> t(new Table());
  t->path_ = path;
  t->options_ = options;
  int error = 0;
  // Read-only opens still open for writing when the host allows it: locks need that.
  t->file_ = FileHandle::Open(path, FileHandle::Mode::kReadWrite, &error);
  if (!t->file_.valid() && options.readOnly && (error == EACCES || error == EROFS || error == EPERM)) {
    t->file_ = FileHandle::Open(path, FileHandle::Mode::kReadOnly, &error);
  }
  if (!t->file_.valid()) {
    if (error == ENOENT || error == ENOTDIR) Fail(err::kTableNotFound, "The table \"" + path + "\" does not exist.");
    Fail(err::kTableIoError, "Cannot open the table \"" + path + "\": " + strerror(error) + ".");
  }
  bool lockable = t->file_.writable() || !options.exclusive;
  if (!lockable || !t->file_.TryLock(kOpenLockByte, 1, options.exclusive && t->file_.writable())) {
    if (options.exclusive) {
      Fail(err::kTableInUse, "The table \"" + path + "\" is open by another user and cannot be opened exclusively.");
    }
    Fail(err::kTableInUse, "The table \"" + path + "\" is opened exclusively by another user.");
  }
  t->LoadHeader();
  if (t->schema().hasBlobs()) t->memo_ = t->OpenMemo();
  {
    WriterLock w(*t);
    t->RecoverUncountedRecords(t->file_.writable() && !options.readOnly);
  }
  return t;
}

std::unique_ptr<MemoFile> Table::OpenMemo() {
  try {
    return std::make_unique<MemoFile>(MemoFile::Open(MemoPathFor(path_), file_.writable() && !options_.readOnly));
  } catch (const EngineError&) {
    // The records stay readable; blob reads report the damage.
    return nullptr;
  }
}

Table::~Table() {
  indexes_.reset();  // flushes the indexes and stops observing while the table is whole
  try {
    if (countersDirty_ && file_.valid()) WriteCounters();
  } catch (const EngineError&) {
    // Nothing can be reported from a destructor; the next open recovers the count from the
    // records in the file.
  }
}

void Table::LoadHeader() {
  uint8_t head[kStructureOffset];
  if (file_.ReadSome(0, head, sizeof head) != sizeof head) {
    if (file_.ReadSome(0, head, 8) == 8 && std::memcmp(head, kTableMagic, 8) == 0) {
      Fail(err::kTableHeaderDamaged, "The header of \"" + path_ + "\" is cut short.");
    }
    Fail(err::kNotATableFile, "The file \"" + path_ + "\" is not a native table.");
  }
  FixedBlock fixed = DecodeFixedBlock(head, path_);
  std::vector<uint8_t> structure(fixed.structureLength);
  if (file_.ReadSome(kStructureOffset, structure.data(), structure.size()) != structure.size()) {
    Fail(err::kTableHeaderDamaged, "The header of \"" + path_ + "\" is cut short.");
  }
  TableHeader h;
  DecodeStructure(structure.data(), fixed, path_, &h);
  bool countersIntact = DecodeCounters(head + kCounterBlockOffset, &h.counters);
  header_ = std::move(h);
  if (!countersIntact) {
    // The counters are rebuilt from the records themselves.
    header_.counters = TableCounters{};
    header_.counters.changeCounter = 1;
    countersDirty_ = true;
  }
}

uint32_t Table::RecordsInFile() const {
  uint64_t size = file_.Size();
  if (size <= header_.headerLength) return 0;
  return static_cast<uint32_t>(std::min<uint64_t>((size - header_.headerLength) / slotLength(), 0xFFFFFFFEu));
}

void Table::RecoverUncountedRecords(bool persist) {
  if (!options_.exclusive && !countersDirty_) Refresh();
  uint32_t inFile = RecordsInFile();
  if (inFile <= header_.counters.recordCount) return;
  // Records that reached the file before a crash kept their counter block from being written.
  std::vector<uint8_t> slot(slotLength());
  std::vector<uint8_t> image(schema().recordLength());
  for (uint32_t n = header_.counters.recordCount + 1; n <= inFile; ++n) {
    file_.ReadExact(RecordOffset(n), slot.data(), slot.size());
    // An encrypted record cannot be read without the key, which no open has yet: it is
    // counted, but its stamped values cannot move the counters.
    if (!CanDecodeSlot(slot.data())) continue;
    try {
      DecodeSlot(n, slot.data(), image.data());
    } catch (const EngineError&) {
      continue;  // a damaged slot is reported when the record is read, not here
    }
    RecordView v(schema(), image.data(), n);
    for (size_t i = 0; i < schema().fieldCount(); ++i) {
      if (v.isNull(i)) continue;
      if (v.field(i).type == FieldType::kAutoInc) {
        header_.counters.lastAutoinc = std::max<uint32_t>(header_.counters.lastAutoinc, static_cast<uint32_t>(v.integer(i)));
      } else if (v.field(i).type == FieldType::kRowVersion) {
        header_.counters.lastRowVersion = std::max<uint64_t>(header_.counters.lastRowVersion, static_cast<uint64_t>(v.integer(i)));
      }
    }
  }
  header_.counters.recordCount = inFile;
  header_.counters.changeCounter++;
  if (persist) {
    WriteCounters();
  } else {
    countersDirty_ = false;  // a read-only open never writes them
  }
}

void Table::WriteCounters() {
  std::vector<uint8_t> b = EncodeCounters(header_.counters);
  file_.WriteExact(kCounterBlockOffset, b.data(), b.size());
  countersDirty_ = false;
}

void Table::AfterChange() {
  header_.counters.changeCounter++;
  if (options_.exclusive) {
    countersDirty_ = true;
  } else {
    WriteCounters();
  }
}

bool Table::Refresh() {
  if (options_.exclusive) return false;
  uint8_t b[kCounterBlockSize];
  file_.ReadExact(kCounterBlockOffset, b, sizeof b);
  TableCounters c;
  if (!DecodeCounters(b, &c)) {
    Fail(err::kTableHeaderDamaged, "The record counters of \"" + path_ + "\" are damaged.");
  }
  bool changed = c.changeCounter != header_.counters.changeCounter;
  header_.counters = c;
  return changed;
}

uint32_t Table::RecordCount() {
  Refresh();
  return header_.counters.recordCount;
}

void Table::CheckWritable() const {
  if (options_.readOnly || !file_.writable()) {
    Fail(err::kTableReadOnly, "The table \"" + path_ + "\" is open read-only.");
  }
}

void Table::CheckRecordNumber(uint32_t n) {
  if (n == 0 || n > header_.counters.recordCount) Refresh();
  if (n == 0 || n > header_.counters.recordCount) {
    Fail(err::kInvalidRecordNumber, "Record " + std::to_string(n) + " does not exist in \"" + path_ + "\".");
  }
}

void Table::ReadRecord(uint32_t n, uint8_t* image) {
  CheckRecordNumber(n);
  if (!encrypted()) {
    if (file_.ReadSome(RecordOffset(n), image, schema().recordLength()) != schema().recordLength()) {
      Fail(err::kTableTruncated, "Record " + std::to_string(n) + " lies past the end of \"" + path_ +
                                     "\": the table file is truncated.");
    }
    return;
  }
  std::vector<uint8_t> slot(slotLength());
  if (file_.ReadSome(RecordOffset(n), slot.data(), slot.size()) != slot.size()) {
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
    size_t got = file_.ReadSome(RecordOffset(first), images, want);
    return static_cast<uint32_t>(got / schema().recordLength());
  }
  const uint32_t slotLen = slotLength();
  const uint32_t len = schema().recordLength();
  std::vector<uint8_t> slots(static_cast<size_t>(count) * slotLen);
  uint32_t got = static_cast<uint32_t>(file_.ReadSome(RecordOffset(first), slots.data(), slots.size()) / slotLen);
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
  if (!encrypted()) {
    file_.WriteExact(RecordOffset(n), image, schema().recordLength());
    return;
  }
  CheckCanWriteEncrypted();
  std::vector<uint8_t> slot(slotLength());
  slot[0] = image[0];
  cipher_->Seal(PieceKind::kRecord, image + 1, schema().recordLength() - 1, slot.data() + 1);
  file_.WriteExact(RecordOffset(n), slot.data(), slot.size());
}

void Table::Scan(const std::function<void(const RecordView&)>& fn) {
  Refresh();
  uint32_t total = header_.counters.recordCount;
  const uint32_t len = schema().recordLength();
  std::vector<uint8_t> batch(static_cast<size_t>(kBatchRecords) * len);
  for (uint32_t n = 1; n <= total;) {
    uint32_t got = ReadRecords(n, kBatchRecords, batch.data());
    if (got == 0) {
      Fail(err::kTableTruncated, "Record " + std::to_string(n) + " lies past the end of \"" + path_ +
                                     "\": the table file is truncated.");
    }
    for (uint32_t k = 0; k < got; ++k) fn(RecordView(schema(), batch.data() + static_cast<size_t>(k) * len, n + k));
    n += got;
  }
}

void Table::StampRecord(uint8_t* image, bool appending) {
  bool haveNow = false;
  int32_t day = 0, ms = 0;
  for (size_t i = 0; i < schema().fieldCount(); ++i) {
    switch (schema().fields()[i].type) {
      case FieldType::kAutoInc:
        if (appending) {
          if (header_.counters.lastAutoinc >= 0x7FFFFFFEu) {
            Fail(err::kValueDoesNotFit, "The autoincrement field \"" + schema().fields()[i].name + "\" is exhausted.");
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

uint32_t Table::ReserveRecord(uint8_t* image, bool* lockTaken) {
  CheckWritable();
  WriterLock w(*this);
  Refresh();
  if (!options_.exclusive || !intactChecked_) {
    intactChecked_ = RecordsInFile() >= header_.counters.recordCount;
  }
  if (!intactChecked_) {
    Fail(err::kTableTruncated, "The table file \"" + path_ + "\" is truncated; pack it before adding records.");
  }
  CheckCanWriteEncrypted();
  uint32_t n = header_.counters.recordCount + 1;
  if (n == 0xFFFFFFFFu) Fail(err::kValueDoesNotFit, "The table \"" + path_ + "\" is full.");
  // The reserved record is in no index until CompleteAppend; were another open to change it
  // in between, both its change and the completed append would add keys for it. So it is
  // locked before the counters make it visible, and another open's table lock (which covers
  // records yet to come) refuses the append.
  bool locked = false;
  if (!options_.exclusive && !tableLocked_ && !recordLocks_.count(n)) {
    if (!file_.TryLock(kRecordLockBase + n, 1, true)) {
      Fail(err::kRecordLocked, "The table \"" + path_ + "\" is locked by another user; no record can be appended to it.");
    }
    recordLocks_.insert(n);
    locked = true;
  }
  try {
    for (RecordObserver* o : observers_) o->RecordWillChange(n, nullptr);
    image[0] = kLiveFlag;
    StampRecord(image, true);
    WriteImage(n, image);
    header_.counters.recordCount = n;
    AfterChange();
  } catch (...) {
    if (locked) UnlockRecord(n);
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
  StampRecord(image, false);
  WriteImage(n, image);
  AfterChange();
  try {
    RecordView v(schema(), image, n);
    for (RecordObserver* o : observers_) o->RecordAppended(v);
  } catch (const EngineError&) {
    uint8_t flag = kDeletedFlag;
    file_.WriteExact(RecordOffset(n), &flag, 1);
    AfterChange();
    throw;
  }
}

uint32_t Table::AppendRecord(uint8_t* image) { return AppendImage(image, true); }

uint32_t Table::AppendCopiedRecord(uint8_t* image) { return AppendImage(image, false); }

// Keeps the copied values of the stamped fields and moves the counters past them, so that
// later appends never repeat an autoincrement value or a row version.
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

uint32_t Table::AppendImage(uint8_t* image, bool stamp) {
  CheckWritable();
  WriterLock w(*this);
  Refresh();
  if (!options_.exclusive || !intactChecked_) {
    intactChecked_ = true;
    if (RecordsInFile() < header_.counters.recordCount) intactChecked_ = false;
  }
  if (!intactChecked_) {
    Fail(err::kTableTruncated, "The table file \"" + path_ + "\" is truncated; pack it before adding records.");
  }
  CheckCanWriteEncrypted();
  if (stamp) {
    image[0] = kLiveFlag;
    StampRecord(image, true);
  } else {
    if (image[0] != kDeletedFlag) image[0] = kLiveFlag;
    AdoptStamps(image);
  }
  uint32_t n = header_.counters.recordCount + 1;
  if (n == 0xFFFFFFFFu) Fail(err::kValueDoesNotFit, "The table \"" + path_ + "\" is full.");
  for (RecordObserver* o : observers_) o->RecordWillChange(n, nullptr);
  WriteImage(n, image);
  header_.counters.recordCount = n;
  AfterChange();
  try {
    RecordView v(schema(), image, n);
    for (RecordObserver* o : observers_) o->RecordAppended(v);
  } catch (const EngineError&) {
    header_.counters.recordCount = n - 1;
    AfterChange();
    if (options_.exclusive) WriteCounters();
    file_.Truncate(RecordOffset(n));
    throw;
  }
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
  image[0] = old[0];
  StampRecord(image, false);
  WriteImage(n, image);
  AfterChange();
  try {
    RecordView before(schema(), old.data(), n), after(schema(), image, n);
    for (RecordObserver* o : observers_) o->RecordUpdated(before, after);
  } catch (const EngineError&) {
    WriteImage(n, old.data());
    AfterChange();
    throw;
  }
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
  file_.WriteExact(RecordOffset(n), &flag, 1);
  image[0] = flag;
  AfterChange();
  try {
    RecordView v(schema(), image.data(), n);
    for (RecordObserver* o : observers_) deleted ? o->RecordDeleted(v) : o->RecordRecalled(v);
  } catch (const EngineError&) {
    file_.WriteExact(RecordOffset(n), &old, 1);
    AfterChange();
    throw;
  }
}

std::string Table::ReadBlob(BlobRef ref) { return LoadBlob(ref, encrypted()); }

BlobRef Table::WriteBlob(std::string_view content) {
  CheckWritable();
  if (content.empty()) return BlobRef{};
  CheckCanWriteEncrypted();
  WriterLock w(*this);
  return StoreBlob(content, encrypted(), true);
}

// In an encrypted table a blob is a sealed piece; the record's reference keeps the length of
// the content, the memo file holds kSealOverhead bytes more.
std::string Table::LoadBlob(BlobRef ref, bool encryptedFormat) const {
  if (ref.block == 0) return std::string();
  if (!memo_) Fail(err::kMemoDamaged, "The memo file \"" + MemoPathFor(path_) + "\" is missing or damaged.");
  if (!encryptedFormat) return memo_->Read(ref);
  if (ref.length > 0xFFFFFFFFu - kSealOverhead) {
    Fail(err::kMemoDamaged, "A record of \"" + path_ + "\" refers to a blob of an impossible length.");
  }
  std::string sealed = memo_->Read(BlobRef{ref.block, ref.length + kSealOverhead});
  const uint8_t* piece = reinterpret_cast<const uint8_t*>(sealed.data());
  if (piece[0] == kPiecePlain) return sealed.substr(kSealOverhead);
  if (piece[0] != kPieceEncrypted) {
    Fail(err::kEncryptedDataDamaged, "The blob in block " + std::to_string(ref.block) + " of \"" +
                                         MemoPathFor(path_) + "\" is damaged: its seal is unknown.");
  }
  if (!cipher_) {
    Fail(err::kEncryptionNotEnabled, "A blob of \"" + path_ +
                                         "\" is encrypted; enable encryption with the table's password to read it.");
  }
  std::string plain(ref.length, '\0');
  if (!cipher_->Open(PieceKind::kBlob, piece, ref.length, reinterpret_cast<uint8_t*>(plain.data()))) {
    Fail(err::kEncryptedDataDamaged, "The blob in block " + std::to_string(ref.block) + " of \"" +
                                         MemoPathFor(path_) + "\" fails its authentication check.");
  }
  return plain;
}

BlobRef Table::StoreBlob(std::string_view content, bool encryptedFormat, bool seal) {
  if (content.empty()) return BlobRef{};
  if (!memo_) Fail(err::kMemoDamaged, "The memo file \"" + MemoPathFor(path_) + "\" is missing or damaged.");
  if (!encryptedFormat) return memo_->Write(content);
  if (content.size() > 0x7FFFFFF0u - kSealOverhead) Fail(err::kValueDoesNotFit, "A blob is limited to 2 GB.");
  std::string piece(content.size() + kSealOverhead, '\0');
  uint8_t* out = reinterpret_cast<uint8_t*>(piece.data());
  const uint8_t* in = reinterpret_cast<const uint8_t*>(content.data());
  if (seal) {
    cipher_->Seal(PieceKind::kBlob, in, content.size(), out);
  } else {
    RecordCipher::StorePlain(in, content.size(), out);
  }
  BlobRef stored = memo_->Write(piece);
  return BlobRef{stored.block, static_cast<uint32_t>(content.size())};
}

void Table::FreeBlob(BlobRef ref) {
  if (ref.block == 0 || !memo_) return;
  CheckWritable();
  WriterLock w(*this);
  memo_->Free(ref);
}

void Table::ReplaceFile(const std::string& tmp, FileHandle&& replacement) {
  replacement.Sync();
  if (::rename(tmp.c_str(), path_.c_str()) != 0) {
    int e = errno;
    ::unlink(tmp.c_str());
    Fail(err::kTableIoError, "Cannot replace \"" + path_ + "\": " + strerror(e) + ".");
  }
  file_ = std::move(replacement);
  countersDirty_ = false;
  recordLocks_.clear();
  tableLocked_ = false;
  LoadHeader();
}

void Table::RewriteWithHeader(const TableHeader& header, const std::function<bool(uint32_t, const uint8_t*)>& keep,
                              const ProgressFn& progress) {
  std::string tmp = TempPathFor(path_);
  FileHandle out = CreateLockedTemp(tmp);
  try {
    TableHeader h = header;
    h.counters.recordCount = 0;
    WriteWholeHeader(out, h);
    // Slots are copied as they are (no key needed): the new header keeps the cipher.
    assert(h.encryption.has_value() == encrypted());
    const uint32_t len = slotLength();
    uint32_t total = header_.counters.recordCount;
    std::vector<uint8_t> batch(static_cast<size_t>(kBatchRecords) * len);
    std::vector<uint8_t> kept;
    uint32_t written = 0;
    uint16_t lastPercent = 0xFFFF;
    for (uint32_t n = 1; n <= total;) {
      uint32_t want = std::min(kBatchRecords, total - n + 1);
      uint32_t got = static_cast<uint32_t>(file_.ReadSome(RecordOffset(n), batch.data(), size_t{want} * len) / len);
      if (got == 0) break;  // a truncated file: the records that exist are kept
      kept.clear();
      for (uint32_t k = 0; k < got; ++k) {
        const uint8_t* rec = batch.data() + static_cast<size_t>(k) * len;
        if (keep(n + k, rec)) kept.insert(kept.end(), rec, rec + len);
      }
      out.WriteExact(h.headerLength + uint64_t{written} * len, kept.data(), kept.size());
      written += static_cast<uint32_t>(kept.size() / len);
      n += got;
      uint16_t percent = static_cast<uint16_t>(uint64_t{n - 1} * 100 / total);
      if (progress && percent != lastPercent) {
        lastPercent = percent;
        if (!progress(percent)) Fail(err::kTableIoError, "The operation on \"" + path_ + "\" was stopped.");
      }
    }
    h.counters.recordCount = written;
    h.counters.changeCounter = header_.counters.changeCounter + 1;
    std::vector<uint8_t> c = EncodeCounters(h.counters);
    out.WriteExact(kCounterBlockOffset, c.data(), c.size());
    if (progress && lastPercent != 100) progress(100);
  } catch (...) {
    ::unlink(tmp.c_str());
    throw;
  }
  ReplaceFile(tmp, std::move(out));
}

void Table::Pack(const ProgressFn& progress) {
  CheckWritable();
  if (!options_.exclusive) Fail(err::kExclusiveRequired, "The table \"" + path_ + "\" must be open exclusively to pack it.");
  // Packing renumbers the records, so the indexes are rebuilt from them afterwards: without
  // the key that could not be done, and the indexes would be left naming the wrong records.
  CheckCanWriteEncrypted();
  if (countersDirty_) WriteCounters();
  std::vector<BlobRef> freed;
  std::vector<size_t> blobFields;
  for (size_t i = 0; i < schema().fieldCount(); ++i) {
    if (IsBlobType(schema().fields()[i].type)) blobFields.push_back(i);
  }
  Schema s = schema();
  std::vector<uint8_t> image(s.recordLength());
  RewriteWithHeader(
      header_,
      [&](uint32_t n, const uint8_t* slot) {
        if (slot[0] != kDeletedFlag) return true;
        // The blobs of an encrypted record are found only with the key; without it they stay
        // allocated (space, never data, is lost).
        if (!blobFields.empty() && CanDecodeSlot(slot)) {
          try {
            DecodeSlot(n, slot, image.data());
          } catch (const EngineError&) {
            return false;  // a damaged deleted record goes; its blobs stay allocated
          }
          RecordView v(s, image.data(), n);
          for (size_t i : blobFields) freed.push_back(v.blob(i));
        }
        return false;
      },
      progress);
  // The blobs of removed records are freed only now that no table refers to them.
  if (memo_) {
    for (BlobRef ref : freed) memo_->Free(ref);
  }
  for (RecordObserver* o : observers_) o->TablePacked();
}

void Table::Zap() {
  CheckWritable();
  if (!options_.exclusive) Fail(err::kExclusiveRequired, "The table \"" + path_ + "\" must be open exclusively to zap it.");
  RewriteWithHeader(header_, [](uint32_t, const uint8_t*) { return false; }, nullptr);
  if (schema().hasBlobs()) {
    std::string memoTmp = TempPathFor(MemoPathFor(path_));
    MemoFile::Create(memoTmp, header_.properties.memoBlockSize);
    if (::rename(memoTmp.c_str(), MemoPathFor(path_).c_str()) != 0) ::unlink(memoTmp.c_str());
    memo_ = OpenMemo();
  }
  for (RecordObserver* o : observers_) o->TableZapped();
}

void Table::SetTags(std::vector<TagDefinition> tags) {
  CheckWritable();
  WriterLock w(*this);
  TableHeader h = header_;
  h.tags = std::move(tags);
  std::vector<uint8_t> structure = EncodeStructure(h);
  if (kStructureOffset + structure.size() > header_.headerLength) {
    if (!options_.exclusive) {
      Fail(err::kExclusiveRequired, "The table \"" + path_ + "\" must be open exclusively to store so many index tags.");
    }
    if (countersDirty_) WriteCounters();
    h.headerLength = HeaderLengthFor(structure.size());
    RewriteWithHeader(h, [](uint32_t, const uint8_t*) { return true; }, nullptr);
    return;
  }
  // The structure block is written before the fixed block that carries its CRC and length; a
  // crash between the two leaves a header whose CRC check fails rather than one that lies.
  std::vector<uint8_t> fixed = EncodeFixedBlock(h, structure);
  file_.WriteExact(kStructureOffset, structure.data(), structure.size());
  file_.WriteExact(0, fixed.data(), fixed.size());
  header_.tags = std::move(h.tags);
  AfterChange();
}

bool Table::LockRecord(uint32_t n) {
  if (recordLocks_.count(n) || tableLocked_ || options_.exclusive) {
    recordLocks_.insert(n);
    return true;
  }
  if (!file_.writable()) return false;
  if (!file_.TryLock(kRecordLockBase + n, 1, true)) return false;
  recordLocks_.insert(n);
  return true;
}

bool Table::UnlockRecord(uint32_t n) {
  if (!recordLocks_.erase(n)) return false;
  if (!tableLocked_ && !options_.exclusive) file_.Unlock(kRecordLockBase + n, 1);
  return true;
}

bool Table::LockTable() {
  if (tableLocked_) return true;
  if (!options_.exclusive) {
    if (!file_.writable() || !file_.TryLock(kRecordLockBase, kRecordLockSpan, true)) return false;
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
    if (at > from) file_.Unlock(from, at - from);
    from = at + 1;
  }
  uint64_t end = kRecordLockBase + kRecordLockSpan;
  if (end > from) file_.Unlock(from, end - from);
  return true;
}

bool Table::IsRecordLockedByOthers(uint32_t n) const {
  if (options_.exclusive) return false;
  return file_.LockedByOthers(kRecordLockBase + n, 1);
}

bool Table::ChangedByTransactions() const {
  if (options_.exclusive) return false;
  return file_.LockedByOthers(kTransactionLockByte, 1);
}

Table::WriterLock::WriterLock(Table& table) : table_(table) {
  if (table_.writerDepth_ == 0 && !table_.options_.exclusive && table_.file_.writable()) {
    table_.file_.LockWait(kWriterLockByte, 1, true);
    // Every change under the lock starts from the counters as the other opens left them:
    // writing back an older copy would undo their appends (two opens would then append the
    // same record number) and move the change counter backwards. Counters found damaged when
    // the table opened are rebuilt by this open and not read again.
    if (!table_.countersDirty_) {
      try {
        table_.Refresh();
      } catch (...) {
        table_.file_.Unlock(kWriterLockByte, 1);
        throw;
      }
    }
  }
  ++table_.writerDepth_;
}

Table::WriterLock::~WriterLock() {
  if (--table_.writerDepth_ == 0 && !table_.options_.exclusive && table_.file_.writable()) {
    try {
      table_.file_.Unlock(kWriterLockByte, 1);
    } catch (const EngineError&) {
      // Unlocking a held range cannot fail on a valid descriptor; closing it would release it.
    }
  }
}

Table::ReaderLock::ReaderLock(Table& table) : table_(table) {
  if (table_.options_.exclusive || table_.writerDepth_ > 0) return;
  if (table_.readerDepth_++ == 0) table_.file_.LockWait(kWriterLockByte, 1, false);
  locked_ = true;
}

Table::ReaderLock::~ReaderLock() {
  if (!locked_) return;
  if (--table_.readerDepth_ == 0) {
    try {
      table_.file_.Unlock(kWriterLockByte, 1);
    } catch (const EngineError&) {
      // Unlocking a held range cannot fail on a valid descriptor; closing it would release it.
    }
  }
}

void Table::AddObserver(RecordObserver* observer) { observers_.push_back(observer); }

void Table::RemoveObserver(RecordObserver* observer) {
  observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

void Table::Flush() {
  if (countersDirty_) WriteCounters();
  if (options_.scratch) return;
  if (file_.writable()) file_.Sync();
  if (memo_ && file_.writable()) memo_->Sync();
}

// ---- encryption ----

void Table::EnableEncryption(std::string_view password, CipherKind kind) {
  if (header_.encryption) {
    std::unique_ptr<RecordCipher> c = RecordCipher::Unlock(*header_.encryption, password);
    if (!c) Fail(err::kWrongTablePassword, "The password is not the password of the table \"" + path_ + "\".");
    cipher_ = std::move(c);
    return;
  }
  cipher_ = RecordCipher::ForNewTable(password, kind);
}

bool Table::IsRecordDeletedInFile(uint32_t n) {
  CheckRecordNumber(n);
  uint8_t flag = 0;
  if (file_.ReadSome(RecordOffset(n), &flag, 1) != 1) {
    Fail(err::kTableTruncated, "Record " + std::to_string(n) + " lies past the end of \"" + path_ +
                                   "\": the table file is truncated.");
  }
  return flag == kDeletedFlag;
}

bool Table::IsRecordEncrypted(uint32_t n) {
  CheckRecordNumber(n);
  if (!encrypted()) return false;
  uint8_t head[2];
  if (file_.ReadSome(RecordOffset(n), head, 2) != 2) {
    Fail(err::kTableTruncated, "Record " + std::to_string(n) + " lies past the end of \"" + path_ +
                                   "\": the table file is truncated.");
  }
  return head[1] == kPieceEncrypted;
}

// Writes the table anew with the cipher `target` (none: in clear), every record sealed or
// stored as `seal` says, each record's blobs in the form of their record. The new blobs go
// to the memo file before the table that refers to them is renamed into place; the old ones
// are freed after, so a failure at any point leaves the old table whole.
void Table::RewriteEncryption(const std::optional<CipherParams>& target, const std::function<bool(uint32_t)>& seal) {
  CheckWritable();
  if (!options_.exclusive) {
    Fail(err::kExclusiveRequired, "The table \"" + path_ + "\" must be open exclusively to encrypt or decrypt it.");
  }
  if (countersDirty_) WriteCounters();
  TableHeader h = header_;
  h.encryption = target;
  size_t structureSize = EncodeStructure(h).size();
  if (kStructureOffset + structureSize > h.headerLength) h.headerLength = HeaderLengthFor(structureSize);
  const bool toEncrypted = target.has_value();
  const uint32_t len = schema().recordLength();
  const uint32_t newSlot = len + (toEncrypted ? kSealOverhead : 0);
  std::vector<size_t> blobFields;
  for (size_t i = 0; i < schema().fieldCount(); ++i) {
    if (IsBlobType(schema().fields()[i].type)) blobFields.push_back(i);
  }
  std::vector<BlobRef> oldBlobs, newBlobs;
  std::string tmp = TempPathFor(path_);
  FileHandle out = CreateLockedTemp(tmp);
  try {
    TableHeader written = h;
    written.counters.recordCount = 0;
    WriteWholeHeader(out, written);
    uint32_t total = header_.counters.recordCount;
    std::vector<uint8_t> image(len);
    std::vector<uint8_t> batch;
    uint32_t batchFirst = 1;
    for (uint32_t n = 1; n <= total; ++n) {
      ReadRecord(n, image.data());
      bool sealIt = toEncrypted && seal(n);
      for (size_t i : blobFields) {
        BlobRef ref = RecordView(schema(), image.data(), n).blob(i);
        if (ref.block == 0) continue;
        std::string content = ReadBlob(ref);
        BlobRef fresh = StoreBlob(content, toEncrypted, sealIt);
        newBlobs.push_back(fresh);
        oldBlobs.push_back(ref);
        WriteBlobRef(schema(), image.data(), i, fresh);
      }
      size_t at = batch.size();
      batch.resize(at + newSlot);
      if (!toEncrypted) {
        std::memcpy(batch.data() + at, image.data(), len);
      } else {
        batch[at] = image[0];
        if (sealIt) {
          cipher_->Seal(PieceKind::kRecord, image.data() + 1, len - 1, batch.data() + at + 1);
        } else {
          RecordCipher::StorePlain(image.data() + 1, len - 1, batch.data() + at + 1);
        }
      }
      if (batch.size() >= (size_t{1} << 20) || n == total) {
        out.WriteExact(h.headerLength + uint64_t{batchFirst - 1} * newSlot, batch.data(), batch.size());
        batchFirst = n + 1;
        batch.clear();
      }
    }
    written.counters = header_.counters;
    written.counters.changeCounter++;
    std::vector<uint8_t> c = EncodeCounters(written.counters);
    out.WriteExact(kCounterBlockOffset, c.data(), c.size());
  } catch (...) {
    ::unlink(tmp.c_str());
    if (memo_) {
      for (BlobRef ref : newBlobs) memo_->Free(ref);
    }
    throw;
  }
  ReplaceFile(tmp, std::move(out));
  if (memo_) {
    for (BlobRef ref : oldBlobs) memo_->Free(ref);
    // Freed extents keep their former content, the blobs just replaced and any older
    // versions: none of it may stay readable in the memo file of an encrypted table.
    if (toEncrypted) memo_->WipeFree();
  }
}

void Table::EncryptTable() {
  if (!cipher_) {
    Fail(err::kEncryptionNotEnabled, "Enable encryption with a password before encrypting the table \"" + path_ + "\".");
  }
  RewriteEncryption(cipher_->params(), [](uint32_t) { return true; });
}

void Table::DecryptTable() {
  if (!encrypted()) return;
  if (!cipher_) {
    Fail(err::kEncryptionNotEnabled, "Enable encryption with the table's password before decrypting \"" + path_ + "\".");
  }
  RewriteEncryption(std::nullopt, [](uint32_t) { return false; });
}

void Table::EncryptRecord(uint32_t n) {
  CheckWritable();
  if (!cipher_) {
    Fail(err::kEncryptionNotEnabled, "Enable encryption with a password before encrypting a record of \"" + path_ + "\".");
  }
  CheckRecordNumber(n);
  if (!encrypted()) {
    if (!options_.exclusive) {
      Fail(err::kExclusiveRequired,
           "The table \"" + path_ + "\" has no password yet; open it exclusively to encrypt its first record.");
    }
    RewriteEncryption(cipher_->params(), [n](uint32_t k) { return k == n; });
    return;
  }
  if (IsRecordEncrypted(n)) return;
  WriterLock w(*this);
  std::vector<uint8_t> image(schema().recordLength());
  ReadRecord(n, image.data());
  std::vector<BlobRef> old = RestoreBlobs(n, image.data(), /*seal=*/true);
  WriteImage(n, image.data());
  AfterChange();
  if (!old.empty()) {
    for (BlobRef ref : old) memo_->Free(ref);
    memo_->WipeFree();
  }
}

std::vector<BlobRef> Table::RestoreBlobs(uint32_t n, uint8_t* image, bool seal) {
  std::vector<BlobRef> old;
  for (size_t i = 0; i < schema().fieldCount(); ++i) {
    if (!IsBlobType(schema().fields()[i].type)) continue;
    BlobRef ref = RecordView(schema(), image, n).blob(i);
    if (ref.block == 0) continue;
    WriteBlobRef(schema(), image, i, StoreBlob(ReadBlob(ref), true, seal));
    old.push_back(ref);
  }
  return old;
}

void Table::DecryptRecord(uint32_t n) {
  CheckWritable();
  CheckRecordNumber(n);
  if (!encrypted() || !IsRecordEncrypted(n)) return;
  if (!cipher_) {
    Fail(err::kEncryptionNotEnabled, "Enable encryption with the table's password before decrypting a record of \"" +
                                         path_ + "\".");
  }
  WriterLock w(*this);
  std::vector<uint8_t> image(schema().recordLength());
  ReadRecord(n, image.data());
  std::vector<BlobRef> old = RestoreBlobs(n, image.data(), /*seal=*/false);
  std::vector<uint8_t> slot(slotLength());
  slot[0] = image[0];
  RecordCipher::StorePlain(image.data() + 1, image.size() - 1, slot.data() + 1);
  file_.WriteExact(RecordOffset(n), slot.data(), slot.size());
  AfterChange();
  for (BlobRef ref : old) memo_->Free(ref);
}

}  // namespace engine
