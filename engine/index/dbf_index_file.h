// What the DBF world's index files (NTX and CDX) share below the IndexFile interface: their
// storage file, the "update in progress" mark and change counter the engine keeps in bytes
// those formats leave unused, and the rules for flushing, committing and noticing other
// processes' changes.
//
// Neither format has subtree counts, so ranks (key numbers, relative positions, scopes) come
// from a cache of subtree entry counts kept in memory beside the pages: the first positional
// use after an open, or after another process changed the file, walks the tag once (every
// page read, O(n)); from then on each rank costs O(log n) page reads while this object's own
// updates keep the counts right. The cache is exact whenever it answers.
//
// The mark and the counter: a file another program changed shows a new counter of its own
// (NTX bytes 2-3, CDX bytes 8-11), which Revalidate notices as well.
//
// REQUIRES: external synchronisation, as for every IndexFile.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <vector>
#include <memory>

#include "engine/index/index_file.h"
#include "engine/storage/storage.h"

namespace engine::index {

class DbfIndexFile : public IndexFile {
 public:
  bool Revalidate() override;
  void Discard() override;

 protected:
  DbfIndexFile(std::unique_ptr<storage::File> file, std::filesystem::path path, bool readOnly);
  // The file at path, opened for reading only or for reading and writing.
  static std::unique_ptr<storage::File> OpenStorage(const std::filesystem::path& path, bool readOnly);

  // Reads and checks the header (and catalogue) and drops every cached page and count; throws
  // kIndexNeedsRebuild for a file marked as being updated, kIndexFileCorrupt when damaged.
  virtual void LoadHeader() = 0;
  // Reads the change counter and mark from the disk without disturbing the cache.
  virtual void PeekHeader(uint64_t* counter, bool* marked) = 0;
  virtual void DropCache() = 0;

  [[noreturn]] void Corrupt(const std::string& why) const;
  [[noreturn]] void NeedsRebuild() const;
  void CheckUsable() const;

};

// The position of the first of n entries (each `stride` bytes apart, in ascending order) whose
// first len bytes compare above probe (upper) or not below it (otherwise); n when none does.
size_t EntryBound(const uint8_t* entries, size_t n, size_t stride, const uint8_t* probe, size_t len, bool upper);

// The engine's description of a tag's key, kept in bytes the DBF formats leave unused so that
// keys are rebuilt in the form they were made: "QKEY", u8 version 1, u8 key type, u32le option
// bits, u8 name length + name, u8 collation length + collation, u8 segment count, then per
// segment u8 kind, u16le width, u8 decimals.
std::vector<uint8_t> EncodeKeyDescription(const TagDef& def, const KeyLayout& layout);
// Fills def's key type, options, name, collation and segments from a description; false when
// `data` holds none (a file another program wrote).
bool DecodeKeyDescription(const uint8_t* data, size_t size, TagDef& def);

// Appends pages to a new file through a buffer, for the writers of rebuilt files: pages are
// numbered by their byte offsets.
class SequentialPageWriter {
 public:
  SequentialPageWriter(storage::File& file, uint64_t firstOffset);
  // Appends the bytes (a whole number of pages) and returns their offset.
  uint64_t Append(const uint8_t* data, size_t size);
  // Changes bytes already appended (16 bytes from `offset` are passed to `change`), in the
  // buffer or in the file.
  void Patch(uint64_t offset, const std::function<void(uint8_t*)>& change);
  // Writes what is buffered.
  void Finish();
  uint64_t end() const { return next_; }

 private:
  storage::File& file_;
  uint64_t next_;
  uint64_t bufferedFrom_;
  std::vector<uint8_t> buffer_;
};

}  // namespace engine::index
