// Encryption: enabling the key of an open, and encrypting or decrypting a whole table or one
// record with its blobs; see table.h and record_cipher.h.
#include <cstring>

#include "engine/core/error.h"
#include "engine/table/record_writer.h"
#include "engine/table/table.h"
#include "engine/table/table_files.h"
#include "engine/table/table_staging.h"

namespace engine::table {

void Table::EnableEncryption(std::string_view password, CipherKind kind) {
  if (schema().dbf()) {
    // Other programs read DBF files as they are: an encrypted record would be garbage to them.
    Fail(err::kInvalidTableArgument, "The DBF table \"" + path_ + "\" cannot be encrypted; only native tables can.");
  }
  if (header_.encryption) {
    std::unique_ptr<RecordCipher> c = RecordCipher::Unlock(*header_.encryption, password);
    if (!c) Fail(err::kWrongTablePassword, "The password is not the password of the table \"" + path_ + "\".");
    cipher_ = std::move(c);
    return;
  }
  cipher_ = RecordCipher::ForNewTable(password, kind);
}

bool Table::IsRecordEncrypted(uint32_t n) {
  CheckRecordNumber(n);
  if (!encrypted()) return false;
  uint8_t head[2];
  if (file_->Read(RecordOffset(n), head, 2) != 2) {
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
  Commit();
  TableHeader h = header_;
  h.encryption = target;
  h.structureOffset = kStructureOffset;
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
  std::string staged = table_files::StagingPath(path_);
  std::unique_ptr<storage::File> out = CreateStagedTable(staged);
  const storage::File* newFile = out.get();
  try {
    TableHeader written = h;
    written.counters.recordCount = 0;
    WriteWholeHeader(*out, written);
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
        out->Write(h.headerLength + uint64_t{batchFirst - 1} * newSlot, batch.data(), batch.size());
        batchFirst = n + 1;
        batch.clear();
      }
    }
    written.counters = header_.counters;
    written.counters.changeCounter++;
    std::vector<uint8_t> c = EncodeCounters(written.counters);
    out->Write(kCounterBlockOffset, c.data(), c.size());
    // The new blobs are durable before the table that refers to them moves in.
    if (memo_ && !newBlobs.empty()) memo_->Sync();
    ReplaceFile(staged, std::move(out));
  } catch (...) {
    if (file_.get() == newFile) throw;  // the new table is in place; its blobs stay
    out.reset();
    storage::Current().Remove(staged);
    if (memo_) {
      try {
        for (BlobRef ref : newBlobs) memo_->Free(ref);
      } catch (const EngineError&) {
        // The new copies stay allocated: space, never data, is lost.
      }
    }
    throw;
  }
  if (memo_) {
    for (BlobRef ref : oldBlobs) memo_->Free(ref);
    // Freed extents keep their former content, the blobs just replaced and any older
    // versions: none of it may stay readable in the memo file of an encrypted table.
    if (toEncrypted) memo_->WipeFree();
    memoWritten_ = true;
  }
  Commit();
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
  std::vector<BlobRef> old =
      RewriteRecordSlot(n, /*seal=*/true, [&](const uint8_t* image) { WriteImage(n, image); });
  if (!old.empty()) {
    for (BlobRef ref : old) memo_->Free(ref);
    memo_->WipeFree();
    memoWritten_ = true;
    if (!CommitHeld()) Commit();
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

std::vector<BlobRef> Table::RewriteRecordSlot(uint32_t n, bool seal,
                                              const std::function<void(const uint8_t*)>& write) {
  std::vector<uint8_t> image(schema().recordLength());
  ReadRecord(n, image.data());
  std::vector<uint8_t> oldSlot(SlotLength());
  file_->ReadExact(RecordOffset(n), oldSlot.data(), oldSlot.size());
  std::vector<BlobRef> old = RestoreBlobs(n, image.data(), seal);
  write(image.data());
  AfterChange();
  EndChange([&] {
    file_->Write(RecordOffset(n), oldSlot.data(), oldSlot.size());
    AfterChange();
  });
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
  std::vector<BlobRef> old = RewriteRecordSlot(n, /*seal=*/false, [&](const uint8_t* image) {
    std::vector<uint8_t> slot(SlotLength());
    slot[0] = image[0];
    RecordCipher::StorePlain(image + 1, schema().recordLength() - 1, slot.data() + 1);
    uncommitted_ = true;
    file_->Write(RecordOffset(n), slot.data(), slot.size());
  });
  if (!old.empty()) {
    for (BlobRef ref : old) memo_->Free(ref);
    memoWritten_ = true;
  }
}

}  // namespace engine::table
