// The memo file (.adm) of a native table: the contents of its Memo, Binary, Image and NMemo
// fields. docs/formats.md ("Memo file") describes it byte by byte.
//
// The file is a sequence of blocks of the table's memo block size; the first 512 bytes (or
// the first block, when larger) hold the header. A blob occupies a run of consecutive blocks
// (an extent) that starts with a 16-byte extent header (kind, content length, blocks, CRC of
// the content). Freed extents form a list through their headers and are reused first-fit.
// Blobs are never rewritten in place: a changed blob goes to a new extent, the record is
// pointed at it, then the old extent is freed, so a crash leaves at worst an unreachable
// extent, never a damaged blob.
//
// REQUIRES: external synchronization; between processes the caller holds the table's writer
// lock around Write and Free.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "engine/storage/storage.h"
#include "engine/table/memo_store.h"
#include "engine/table/record_access.h"

namespace engine::table {

constexpr uint16_t kMemoFormatVersion = 1;
constexpr uint16_t kDefaultMemoBlockSize = 64;

class MemoFile : public MemoStore {
 public:
  // Creates an empty memo file (replacing any file of that name) and answers it open.
  static MemoFile Create(const std::string& path, uint16_t blockSize);
  // Opens an existing memo file; throws kMemoDamaged when it is missing or its header is bad.
  static MemoFile Open(const std::string& path, bool writable);

  MemoFile() = default;
  MemoFile(MemoFile&&) = default;
  MemoFile& operator=(MemoFile&&) = default;

  uint16_t blockSize() const override { return blockSize_; }
  const std::string& path() const override { return file_->path(); }
  storage::File& file() override { return *file_; }

  // The content of a blob; throws kMemoDamaged when the reference points past the file or at
  // something that is not this blob.
  std::string Read(BlobRef ref) const override;
  uint32_t Length(BlobRef ref) const override { return ref.length; }
  // Stores a new blob; an empty content gives the null reference {0, 0}.
  BlobRef Write(std::string_view content);
  BlobRef Write(std::string_view content, FieldType) override { return Write(content); }
  // Returns a blob's extent to the free list (null references are ignored).
  void Free(BlobRef ref) override;
  void Sync() override { file_->Sync(); }
  // Overwrites with zeros whatever freed extents still hold past their headers, so that no
  // former content of a blob can be read from the file (used when a table is encrypted).
  void WipeFree() override;

  // Blocks in the file and blocks on the free list (for verification and tests).
  uint32_t TotalBlocks();
  uint32_t FreeBlocks();

 private:
  struct Header {
    uint32_t blockSize = 0;
    uint32_t totalBlocks = 0;
    uint32_t freeHead = 0;
    uint32_t freeBlocks = 0;
  };
  Header LoadHeader() const;
  void StoreHeader(const Header& h);
  uint32_t FirstDataBlock() const;
  uint32_t BlocksFor(size_t content) const;

  std::unique_ptr<storage::File> file_;
  uint16_t blockSize_ = 0;
};

}  // namespace engine::table
