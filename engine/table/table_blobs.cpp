// Blobs: the contents of memo, binary and image fields, kept in the table's memo file (plain or
// sealed in an encrypted table); see table.h and memo_file.h.
#include "engine/core/error.h"
#include "engine/table/table.h"
#include "engine/table/table_files.h"

namespace engine::table {

std::unique_ptr<MemoStore> Table::OpenMemo() {
  try {
    return format_->OpenMemo(format_->MemoPath(path_), file_->writable() && !options_.readOnly);
  } catch (const EngineError&) {
    // The records stay readable; blob reads report the damage.
    return nullptr;
  }
}

std::string Table::ReadBlob(BlobRef ref) { return LoadBlob(ref, encrypted()); }

uint32_t Table::BlobLength(BlobRef ref) {
  if (!schema().dbf() || ref.block == 0) return ref.length;
  if (!memo_) Fail(err::kMemoDamaged, "The memo file \"" + format_->MemoPath(path_) + "\" is missing or damaged.");
  return memo_->Length(ref);
}

BlobRef Table::WriteBlob(std::string_view content, FieldType type) {
  CheckWritable();
  if (content.empty()) return BlobRef{};
  CheckCanWriteEncrypted();
  WriterLock w(*this);
  return StoreBlob(content, encrypted(), true, type);
}

// In an encrypted table a blob is a sealed piece; the record's reference keeps the length of
// the content, the memo file holds kSealOverhead bytes more.
std::string Table::LoadBlob(BlobRef ref, bool encryptedFormat) const {
  if (ref.block == 0) return std::string();
  if (!memo_) Fail(err::kMemoDamaged, "The memo file \"" + format_->MemoPath(path_) + "\" is missing or damaged.");
  if (!encryptedFormat) return memo_->Read(ref);
  if (ref.length > 0xFFFFFFFFu - kSealOverhead) {
    Fail(err::kMemoDamaged, "A record of \"" + path_ + "\" refers to a blob of an impossible length.");
  }
  std::string sealed = memo_->Read(BlobRef{ref.block, ref.length + kSealOverhead});
  const uint8_t* piece = reinterpret_cast<const uint8_t*>(sealed.data());
  if (piece[0] == kPiecePlain) return sealed.substr(kSealOverhead);
  if (piece[0] != kPieceEncrypted) {
    Fail(err::kEncryptedDataDamaged, "The blob in block " + std::to_string(ref.block) + " of \"" +
                                         format_->MemoPath(path_) + "\" is damaged: its seal is unknown.");
  }
  if (!cipher_) {
    Fail(err::kEncryptionNotEnabled, "A blob of \"" + path_ +
                                         "\" is encrypted; enable encryption with the table's password to read it.");
  }
  std::string plain(ref.length, '\0');
  if (!cipher_->Open(PieceKind::kBlob, piece, ref.length, reinterpret_cast<uint8_t*>(plain.data()))) {
    Fail(err::kEncryptedDataDamaged, "The blob in block " + std::to_string(ref.block) + " of \"" +
                                         format_->MemoPath(path_) + "\" fails its authentication check.");
  }
  return plain;
}

BlobRef Table::StoreBlob(std::string_view content, bool encryptedFormat, bool seal, FieldType type) {
  if (content.empty()) return BlobRef{};
  if (!memo_) Fail(err::kMemoDamaged, "The memo file \"" + format_->MemoPath(path_) + "\" is missing or damaged.");
  memoWritten_ = true;
  if (!encryptedFormat) return memo_->Write(content, type);
  if (content.size() > 0x7FFFFFF0u - kSealOverhead) Fail(err::kValueDoesNotFit, "A blob is limited to 2 GB.");
  std::string piece(content.size() + kSealOverhead, '\0');
  uint8_t* out = reinterpret_cast<uint8_t*>(piece.data());
  const uint8_t* in = reinterpret_cast<const uint8_t*>(content.data());
  if (seal) {
    cipher_->Seal(PieceKind::kBlob, in, content.size(), out);
  } else {
    RecordCipher::StorePlain(in, content.size(), out);
  }
  BlobRef stored = memo_->Write(piece, type);
  return BlobRef{stored.block, static_cast<uint32_t>(content.size())};
}

void Table::FreeBlob(BlobRef ref) {
  if (ref.block == 0 || !memo_) return;
  CheckWritable();
  WriterLock w(*this);
  memoWritten_ = true;
  memo_->Free(ref);
}

}  // namespace engine::table
