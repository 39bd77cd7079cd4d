// An NTX index file: one order per file, the Clipper layout (docs/formats.md "NTX index file").
//
// The file is 1024-byte pages addressed by byte offset. Page 0 is the header: signature, an
// update counter, the root and free-list offsets, the key size and decimals, the page capacity,
// the key expression, the unique and descending flags, the FOR condition and the order's name.
// The engine keeps its own description of the key (segment kinds and widths, key type,
// collation, option bits), its update mark and a 32-bit change counter at offset 600, in bytes
// the format leaves unused; a file another program wrote has none and is read as a text order of
// its key size until a rebuild gives it one.
//
// The tree is a B-tree, not a B+ tree: every page holds real entries, and entry i of an inner
// page sits between the subtrees of children i and i + 1. Entries are in the order of (key,
// record number); a descending order stores its keys in descending order, so that its stored
// keys are the engine's stored keys inverted. Updates split pages that overflow by moving their
// middle entry up, and take a page that becomes empty away by merging it with a neighbour
// through their parent's entry, or by borrowing one entry through it: every page but the root
// keeps at least one entry, all leaves at the same depth.
//
// REQUIRES: external synchronisation, as for every IndexFile.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <unordered_map>
#include <vector>

#include "engine/index/dbf_index_file.h"

namespace engine::index {

constexpr uint32_t kNtxPageSize = 1024;

class NtxFile final : public DbfIndexFile {
 public:
  static std::unique_ptr<NtxFile> Open(const std::filesystem::path& path, bool readOnly = false);
  ~NtxFile() override;

  IndexFormat format() const override { return IndexFormat::kNtx; }
  uint32_t pageSize() const override { return kNtxPageSize; }

  uint64_t KeyCount(size_t tag) override;
  uint64_t LowerBound(size_t tag, std::span<const uint8_t> prefix) override;
  uint64_t UpperBound(size_t tag, std::span<const uint8_t> prefix) override;
  uint32_t EntryAt(size_t tag, uint64_t rank, uint8_t* key) override;
  uint64_t RankOf(size_t tag, std::span<const uint8_t> key, uint32_t recno) override;
  void Verify() override;

  // The entries a page of keys of that size holds, as the format computes it.
  static uint16_t MaxItems(size_t keySize);

  // Writes a complete new file for one tag into `out` (empty) from its `count` entries in
  // ascending order, which `feed` passes to the callback it is given. Throws
  // kInvalidTagDefinition for a definition the format cannot hold.
  static void Write(storage::File& out, const TagInfo& tag, uint64_t count,
                    const std::function<void(const std::function<void(const uint8_t*)>&)>& feed);

 private:
  struct Node {
    std::vector<uint8_t> entries;  // n entries in stored engine form: key, record big-endian
    std::vector<uint32_t> child;   // n + 1 child offsets, all 0 in a leaf
    bool dirty = false;
    size_t n() const { return child.size() - 1; }
    bool leaf() const { return child[0] == 0; }
  };
  struct Step {
    uint32_t page;
    size_t slot;  // the child taken (inner pages) or the entry's position (the last page)
  };

  NtxFile(std::unique_ptr<storage::File> file, std::filesystem::path path, bool readOnly);
  void LoadHeader() override;
  void WriteHeader(bool inProgress) override;
  void PeekHeader(uint64_t* counter, bool* marked) override;
  bool Dirty() const override;
  void WriteDirtyPages() override;
  void DropCache() override;
  bool InsertEntry(size_t tag, const uint8_t* entry) override;
  bool EraseEntry(size_t tag, const uint8_t* entry) override;
  uint32_t FirstRecordWithKey(size_t tag, std::span<const uint8_t> key) override;

  Node& Load(uint32_t page);
  Node& Touch(uint32_t page);
  uint32_t Allocate();
  void Free(uint32_t page);
  void Decode(uint32_t page, const uint8_t* data, Node& node) const;
  void Encode(const Node& node, uint8_t* data) const;
  uint64_t Count(uint32_t page);
  void Recount(uint32_t page);
  void AdjustCounts(const std::vector<Step>& path, int delta);
  uint64_t Bound(const uint8_t* probe, size_t len, bool upper);
  void SplitUpwards(std::vector<Step>& path);
  void FixEmpty(std::vector<Step>& path, size_t depth);
  void Trim();
  uint64_t VerifyPage(uint32_t page, int depth, int& leafDepth, std::vector<uint8_t>& last, bool& haveLast,
                      std::unordered_map<uint32_t, bool>& seen);
  const uint8_t* At(const Node& node, size_t i) const { return node.entries.data() + i * entryLength_; }

  std::vector<uint8_t> header_;  // the header page as read, foreign bytes kept
  uint32_t root_ = 0;
  uint32_t freeHead_ = 0;
  uint64_t fileEnd_ = 0;
  uint16_t maxItems_ = 0;
  size_t keyLength_ = 0;
  size_t entryLength_ = 0;
  uint8_t invert_ = 0;  // 0xFF for descending orders: stored keys are the engine's inverted
  bool headerDirty_ = false;
  bool anyDirty_ = false;  // a cached page was changed since the last write
  std::unordered_map<uint32_t, std::unique_ptr<Node>> nodes_;
  std::unordered_map<uint32_t, uint32_t> freed_;  // pages freed and not yet written: their link
  std::unordered_map<uint32_t, uint64_t> counts_;  // entries in the subtree of a page
};

}  // namespace engine::index
