// The memo files of DBF tables, in the layouts the DBF world writes (docs/formats.md, "DBT memo
// file" and "FPT memo file"):
//
//   .dbt (NTX tables, dBase III): 512-byte blocks; block 0 is the header, whose first four
//        bytes (u32le) give the next free block. A memo starts at a block and ends with the
//        pair 0x1A 0x1A; it has no length field, so its text cannot hold 0x1A (such a value is
//        refused, never cut short). Space is never reused: a changed memo is appended.
//   .fpt (CDX tables, FoxPro): blocks of the size in header bytes 6-7 (u16be); header bytes
//        0-3 (u32be) give the next free block; the first block after the 512-byte header is
//        the first usable one. A memo is a block type (u32be: 1 text, 2 object, 0 picture)
//        and a length (u32be), then its bytes. Space is appended as FoxPro does; a pack of
//        the memo file is what gives it back.
//
// The next-free pointer is re-read at every write, since other opens (under the table's
// writer lock) append too. A write puts the memo's bytes first and the pointer after them, and
// the table syncs the memo file before the record that refers to the memo, so a crash leaves
// at worst space that nothing refers to.
//
// REQUIRES: as MemoStore.
#pragma once

#include <memory>
#include <string>

#include "engine/table/memo_store.h"
#include "engine/table/table_type.h"

namespace engine::table {

constexpr uint32_t kDbtBlockSize = 512;
constexpr uint16_t kDefaultFptBlockSize = 64;

class DbfMemo : public MemoStore {
 public:
  // Creates an empty memo file of the kind tables of `type` have (replacing any file of that
  // name). `blockSize` applies to .fpt files (0: kDefaultFptBlockSize); .dbt blocks are 512.
  static std::unique_ptr<DbfMemo> Create(const std::string& path, TableType type, uint16_t blockSize);
  // Opens an existing memo file; throws kMemoDamaged when it is missing or its header is bad.
  static std::unique_ptr<DbfMemo> Open(const std::string& path, TableType type, bool writable);

  uint16_t blockSize() const override { return blockSize_; }
  const std::string& path() const override { return file_->path(); }
  storage::File& file() override { return *file_; }
  std::string Read(BlobRef ref) const override;
  uint32_t Length(BlobRef ref) const override;
  BlobRef Write(std::string_view content, FieldType type) override;
  void Free(BlobRef) override {}
  void Sync() override { file_->Sync(); }

  // The next free block as the header holds it (for verification and tests).
  uint32_t NextFreeBlock() const;

 private:
  DbfMemo(std::unique_ptr<storage::File> file, bool fpt, uint16_t blockSize)
      : file_(std::move(file)), fpt_(fpt), blockSize_(blockSize) {}
  void StoreNextFree(uint32_t block);
  uint32_t firstBlock() const { return fpt_ ? (512 + blockSize_ - 1) / blockSize_ : 1; }

  std::unique_ptr<storage::File> file_;
  bool fpt_;
  uint16_t blockSize_;
};

}  // namespace engine::table
