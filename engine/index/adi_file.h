// The native index file (.adi): several tags, each a B+tree of fixed-length keys whose inner
// entries count the entries below them, so that ranks are found in O(log n) (formats in
// page_format.h, tag_def.h and key_layout.h; docs/formats.md "Index file"). The contract of
// every operation is IndexFile's (index_file.h).
//
// REQUIRES: external synchronisation, as for every IndexFile.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engine/index/index_file.h"
#include "engine/index/pager.h"

namespace engine::index {

class AdiFile final : public IndexFile {
 public:
  // Opens and checks the file: magic, format version, page size, header checksums, file size,
  // catalog, collations. Throws as IndexFile::Open.
  static std::unique_ptr<AdiFile> Open(const std::filesystem::path& path, bool readOnly = false);
  ~AdiFile() override;

  IndexFormat format() const override { return IndexFormat::kAdi; }
  uint32_t pageSize() const override { return pageSize_; }

  uint64_t KeyCount(size_t tag) override;
  uint64_t LowerBound(size_t tag, std::span<const uint8_t> prefix) override;
  uint64_t UpperBound(size_t tag, std::span<const uint8_t> prefix) override;
  uint32_t EntryAt(size_t tag, uint64_t rank, uint8_t* key) override;
  void RecordsAt(size_t tag, uint64_t from, uint64_t to, std::vector<uint32_t>* records) override;
  uint64_t RankOf(size_t tag, std::span<const uint8_t> key, uint32_t recno) override;
  bool Revalidate() override;
  void Discard() override;
  void Verify() override;

 private:
  AdiFile(std::unique_ptr<storage::File> file, std::filesystem::path path, bool readOnly);
  bool InsertEntry(size_t tag, const uint8_t* entry) override;
  bool EraseEntry(size_t tag, const uint8_t* entry) override;
  uint32_t FirstRecordWithKey(size_t tag, std::span<const uint8_t> key) override;
  void LoadHeader(bool checkSize);
  bool HasPages() const override { return pager_ != nullptr; }
  bool Dirty() const override { return pager_->dirty(); }
  void WriteDirtyPages() override { pager_->WriteDirtyPages(); }
  void WriteHeader(bool inProgress) override;

  uint32_t pageSize_ = 0;
  uint32_t headerPages_ = 0;
  std::unique_ptr<Pager> pager_;
};

// The header pages for a file with these fields and catalog, sealed, ready to be written at
// offset 0. Shared by the index file and the rebuild.
std::vector<uint8_t> BuildHeaderPages(uint32_t pageSize, uint32_t pageCount, uint32_t freeHead,
                                      uint32_t flags, uint64_t changeCounter,
                                      const std::vector<uint8_t>& catalog);
// Number of header pages a catalog of that length needs.
uint32_t HeaderPageCount(uint32_t pageSize, size_t catalogLength);

}  // namespace engine::index
