// A CDX compound index file: several orders ("tags") in one file, the FoxPro layout
// (docs/formats.md "CDX index file").
//
// The file is 512-byte nodes addressed by byte offset. Offset 0 holds the 1024-byte header of
// the tag directory, itself a compact B+ tree whose keys are the tag names (10 bytes, upper
// case) and whose record numbers are the offsets of the tags' 1024-byte headers. Each tag
// header gives the tag's root, key length, options (unique, FOR), direction and its key and FOR
// expressions; below it the tag's B+ tree: branch nodes hold, per child, the last entry of the
// child's subtree and the child's offset; leaf nodes hold compressed entries (record number,
// bytes shared with the previous key, trailing pad bytes dropped) packed from both ends of the
// node. Every level is chained left to right.
//
// Entries are stored in ascending order of (key, record number). A descending tag keeps that
// physical order and is read backwards: its stored keys are the engine's stored keys inverted,
// its ranks counted from the end, and equal keys follow descending record numbers.
//
// The engine keeps its own description of each tag's key (segments, key type, collation, option
// bits) in the tag header's reserved bytes, and its update mark in the directory header's; the
// change counter is the header's bytes 8-11. Orders are numbered by the position of their tag
// headers in the file (creation order).
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

constexpr uint32_t kCdxPageSize = 512;

class CdxFile final : public DbfIndexFile {
 public:
  static std::unique_ptr<CdxFile> Open(const std::filesystem::path& path, bool readOnly = false);
  ~CdxFile() override;

  IndexFormat format() const override { return IndexFormat::kCdx; }
  uint32_t pageSize() const override { return kCdxPageSize; }

  uint64_t KeyCount(size_t tag) override;
  uint64_t LowerBound(size_t tag, std::span<const uint8_t> prefix) override;
  uint64_t UpperBound(size_t tag, std::span<const uint8_t> prefix) override;
  uint32_t EntryAt(size_t tag, uint64_t rank, uint8_t* key) override;
  uint64_t RankOf(size_t tag, std::span<const uint8_t> key, uint32_t recno) override;
  void Verify() override;

  // Whether the tag's entries are stored in the order of keys that are not inverted: the
  // rebuild sorts a descending tag's keys so.
  static bool StoresNaturalKeys(const TagInfo& tag) { return (tag.def.options & kTagDescending) != 0; }

  // Writes a complete new file with these tags into `out` (empty). `feed(t, take)` passes tag
  // t's entries to `take` in ascending stored order (natural keys for descending tags). Throws
  // kInvalidTagDefinition for a definition the format cannot hold.
  static void Write(storage::File& out, const std::vector<TagInfo>& tags,
                    const std::function<void(size_t, const std::function<void(const uint8_t*)>&)>& feed);

 private:
  struct Node {
    size_t tag = 0;  // the tree it belongs to (the directory is the last): its key length
    bool leaf = true;
    uint32_t left = 0xFFFFFFFF, right = 0xFFFFFFFF;
    std::vector<uint8_t> entries;  // natural key, then record number big-endian
    std::vector<uint32_t> child;   // branch nodes: one per entry
    bool dirty = false;
  };
  struct TagState {
    uint32_t header = 0;  // offset of the tag header
    uint32_t root = 0;
    size_t keyLength = 0;
    uint8_t pad = ' ';    // the byte trailing counts stand for
    bool reversed = false;
  };
  struct Step {
    uint32_t page;
    size_t slot;
  };

  CdxFile(std::unique_ptr<storage::File> file, std::filesystem::path path, bool readOnly);
  void LoadHeader() override;
  void WriteHeader(bool inProgress) override;
  void PeekHeader(uint64_t* counter, bool* marked) override;
  bool Dirty() const override;
  void WriteDirtyPages() override;
  void DropCache() override;
  bool InsertEntry(size_t tag, const uint8_t* entry) override;
  bool EraseEntry(size_t tag, const uint8_t* entry) override;
  uint32_t FirstRecordWithKey(size_t tag, std::span<const uint8_t> key) override;

  Node& Load(size_t tag, uint32_t page);
  Node& Touch(size_t tag, uint32_t page);
  uint32_t Allocate(size_t tag, bool leaf);
  void Free(uint32_t page);
  uint64_t Count(size_t tag, uint32_t page);
  void Recount(size_t tag, uint32_t page);
  uint64_t PhysicalBound(size_t tag, const uint8_t* probe, size_t len, bool upper);
  uint32_t PhysicalAt(size_t tag, uint64_t rank, uint8_t* entry);
  std::vector<uint8_t> Physical(size_t tag, std::span<const uint8_t> key) const;
  void InsertPhysical(size_t tag, const uint8_t* entry, bool& inserted);
  bool ErasePhysical(size_t tag, const uint8_t* entry);
  void FixUpwards(size_t tag, std::vector<Step>& path);
  void SetParentEntries(size_t tag, const std::vector<Step>& path, size_t depth);
  void Trim();
  void SetRoot(size_t tag, uint32_t page);
  uint64_t VerifyLevel(size_t tag, uint32_t page, int depth, int& leafDepth, std::vector<uint8_t>& last,
                       bool& haveLast, std::unordered_map<uint32_t, bool>& seen, std::vector<uint8_t>* maxOut);
  size_t BranchCapacity(size_t tag) const { return (kCdxPageSize - 12) / (state_[tag].keyLength + 8); }

  std::vector<uint8_t> header_;  // the directory header as read
  uint32_t freeHead_ = 0;        // 0: none
  uint64_t fileEnd_ = 0;
  bool headerDirty_ = false;
  bool anyDirty_ = false;
  std::vector<TagState> state_;
  std::unordered_map<uint32_t, std::unique_ptr<Node>> nodes_;
  std::unordered_map<uint32_t, uint32_t> freed_;
  std::unordered_map<uint32_t, uint64_t> counts_;
  std::vector<uint32_t> dirtyHeaders_;  // tags whose header (root) changed
};

// Leaf nodes of compact indexes: how entries are compressed into a node and read back. Shared
// by the tag trees and the tag directory.
namespace cdx_leaf {
// Bytes of each entry of a leaf whose largest record number is maxRecord.
size_t EntryBytes(size_t keyLength, uint32_t maxRecord);
// Bytes a leaf with these entries (natural keys of keyLength, record number big-endian)
// needs, header included; more than kCdxPageSize means they do not fit.
size_t EncodedSize(const std::vector<uint8_t>& entries, size_t keyLength, uint8_t pad);
// Writes the entries into a leaf node (header fields from offset 12 on, entry array, keys).
void Encode(const std::vector<uint8_t>& entries, size_t keyLength, uint8_t pad, uint8_t* node);
// Reads the n entries of a leaf node; false when the node's fields are inconsistent.
bool Decode(const uint8_t* node, size_t keyLength, uint8_t pad, std::vector<uint8_t>& entries);
}  // namespace cdx_leaf

}  // namespace engine::index
