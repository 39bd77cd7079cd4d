// Writing a table file anew beside the old one (pack, zap, a header that changes) and putting
// it in place; see table.h.
#include <algorithm>
#include <cassert>
#include <cstring>

#include "engine/core/error.h"
#include "engine/table/table.h"
#include "engine/table/table_files.h"
#include "engine/table/table_staging.h"

namespace engine::table {

void Table::ReplaceFile(const std::string& staged, std::unique_ptr<storage::File> replacement) {
  // Whatever is keyed by record number or built from the old file must be able to tell, once
  // the new file is in place, that it was built from another (the index layer marks its files
  // and rebuilds them afterwards).
  BeginChange();
  auto adopt = [&] {
    file_ = std::move(replacement);
    countersDirty_ = false;
    uncommitted_ = false;
    pendingAppend_ = 0;
    recordLocks_.clear();
    tableLocked_ = false;
    try {
      LoadHeader();
    } catch (const EngineError&) {
      // The new file is the table, but this open no longer knows what it holds: it changes
      // nothing more, and its observers keep their marks.
      broken_ = true;
      throw;
    }
    committed_ = header_.counters;
  };
  // Once renamed, the new file is the table, also when flushing the folder then fails (which
  // says that the change may not survive a crash).
  storage::File& file = *replacement;
  table_files::ReplaceTableFile(file, staged, path_, !options_.scratch, adopt);
}

void Table::RewriteWithHeader(const TableHeader& header, const std::function<bool(uint32_t, const uint8_t*)>& keep,
                              const ProgressFn& progress) {
  std::string staged = table_files::StagingPath(path_);
  std::unique_ptr<storage::File> out = CreateStagedTable(staged);
  try {
    TableHeader h = header;
    h.counters.recordCount = 0;
    if (format_->tagsInHeader()) {
      // A new file has its structure block in the first place.
      h.structureOffset = kStructureOffset;
      size_t structureSize = EncodeStructure(h).size();
      if (kStructureOffset + structureSize > h.headerLength) h.headerLength = HeaderLengthFor(structureSize);
    }
    format_->WriteHeader(*out, h);
    // Slots are copied as they are (no key needed): the new header keeps the cipher.
    assert(h.encryption.has_value() == encrypted());
    const uint32_t len = SlotLength();
    uint32_t total = header_.counters.recordCount;
    std::vector<uint8_t> batch(static_cast<size_t>(kBatchRecords) * len);
    std::vector<uint8_t> kept;
    uint32_t written = 0;
    uint16_t lastPercent = 0xFFFF;
    for (uint32_t n = 1; n <= total;) {
      uint32_t want = std::min(kBatchRecords, total - n + 1);
      uint32_t got = static_cast<uint32_t>(file_->Read(RecordOffset(n), batch.data(), size_t{want} * len) / len);
      if (got == 0) break;  // a truncated file: the records that exist are kept
      kept.clear();
      for (uint32_t k = 0; k < got; ++k) {
        const uint8_t* rec = batch.data() + static_cast<size_t>(k) * len;
        if (keep(n + k, rec)) kept.insert(kept.end(), rec, rec + len);
      }
      out->Write(h.headerLength + uint64_t{written} * len, kept.data(), kept.size());
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
    format_->WriteCounters(*out, h, h.counters, written);
    if (progress && lastPercent != 100) progress(100);
  } catch (...) {
    out.reset();
    storage::Current().Remove(staged);
    throw;
  }
  try {
    ReplaceFile(staged, std::move(out));
  } catch (...) {
    storage::Current().Remove(staged);
    throw;
  }
}

void Table::Pack(const ProgressFn& progress) {
  CheckWritable();
  if (!options_.exclusive) Fail(err::kExclusiveRequired, "The table \"" + path_ + "\" must be open exclusively to pack it.");
  // Packing renumbers the records, so the indexes are rebuilt from them afterwards: without
  // the key that could not be done, and the indexes would be left naming the wrong records.
  CheckCanWriteEncrypted();
  Commit();
  TellObservers([](RecordObserver& o) { o.RecordsRenumbering(); });
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
  if (memo_ && !freed.empty()) {
    for (BlobRef ref : freed) memo_->Free(ref);
    memoWritten_ = true;
  }
  TellObservers([](RecordObserver& o) { o.TablePacked(); });
  Commit();
}

void Table::Zap() {
  CheckWritable();
  if (!options_.exclusive) Fail(err::kExclusiveRequired, "The table \"" + path_ + "\" must be open exclusively to zap it.");
  Commit();
  TellObservers([](RecordObserver& o) { o.RecordsRenumbering(); });
  RewriteWithHeader(header_, [](uint32_t, const uint8_t*) { return false; }, nullptr);
  if (schema().HasBlobs()) {
    // The table refers to no blob any more; an empty memo file replaces the old one (a crash
    // before that leaves the old one, which nothing refers to either).
    memo_.reset();
    std::string staged = table_files::StagingPath(format_->MemoPath(path_));
    try {
      std::unique_ptr<MemoStore> fresh = format_->CreateMemo(staged, header_.properties.memoBlockSize);
      table_files::ReplaceMemoFile(fresh->file(), staged, path_, type());
    } catch (...) {
      storage::Current().Remove(staged);
      memo_ = OpenMemo();
      throw;
    }
    memo_ = OpenMemo();
  }
  TellObservers([](RecordObserver& o) { o.TableZapped(); });
  Commit();
}

}  // namespace engine::table
