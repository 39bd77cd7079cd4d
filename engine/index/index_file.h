// An open index file (.adi): several tags, each a B+tree of fixed-length keys (formats in
// page_format.h, tag_def.h and key_layout.h; docs/formats.md "Index file").
//
// Keys are passed in stored form (as KeyBuilder makes them, keyLength() bytes) with the record
// number they belong to. Positions are ranks: 0-based positions of entries in the tag's order.
//
// Updates change cached pages. Before the first of them (or before its table changes, through
// Prepare) the file is marked "update in progress" on disk and that mark is synced, so that
// from then on a crash or a power cut leaves a file the next Open() refuses with
// kIndexNeedsRebuild instead of a half-written tree, or a tree that misses a change its table
// kept. Flush() writes the changed pages and the header, keeping the mark or clearing it (and
// advancing the change counter, which other processes watch); Commit() clears it and syncs, and
// is called once the table's own change is durable. Changes never committed are dropped when
// the object goes, leaving the mark. Files are created only by RebuildIndexFile (rebuild.h),
// which writes a complete new file and renames it into place.
//
// REQUIRES: external synchronisation. One thread at a time uses an IndexFile; between
// processes the table's locks serialise updates, and Revalidate() after taking the lock picks
// up what another process wrote.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engine/index/pager.h"
#include "engine/index/tag_def.h"

namespace engine {

class IndexFile {
 public:
  // Opens and checks the file: magic, format version, page size, header checksums, file size,
  // catalog, collations. Throws kIndexIoError (cannot open), kIndexVersionUnsupported,
  // kIndexNeedsRebuild (interrupted update), kIndexFileCorrupt (anything else wrong).
  static std::unique_ptr<IndexFile> Open(const std::filesystem::path& path, bool readOnly = false);

  // Drops changes never committed: the file keeps its mark, and the next open asks for a
  // rebuild rather than trusting it.
  ~IndexFile();
  IndexFile(const IndexFile&) = delete;
  IndexFile& operator=(const IndexFile&) = delete;

  const std::filesystem::path& path() const { return path_; }
  uint32_t pageSize() const { return pageSize_; }
  uint64_t changeCounter() const { return changeCounter_; }
  // How many times the header and catalogue were loaded: when this moves, every TagInfo
  // reference and layout taken from tag() before is stale.
  uint64_t catalogLoads() const { return catalogLoads_; }

  size_t tagCount() const { return tags_.size(); }
  const TagInfo& tag(size_t i) const { return tags_.at(i); }
  // Position of the tag of that name (letters a-z ignore case), or -1.
  int FindTag(const std::string& name) const;

  // Tags whose keys were not built with the given collation (an empty name accepts any), or
  // with other rules of their own collation than this engine's (another ICU release). Only tags
  // with text segments can mismatch.
  std::vector<size_t> CollationMismatches(const std::string& collation) const;

  uint64_t KeyCount(size_t tag);
  // Rank of the first entry whose key starts with bytes >= prefix (LowerBound) or > prefix
  // (UpperBound), comparing prefix.size() bytes; KeyCount() when none.
  uint64_t LowerBound(size_t tag, std::span<const uint8_t> prefix);
  uint64_t UpperBound(size_t tag, std::span<const uint8_t> prefix);
  // Copies the key at rank into key (keyLength bytes) and returns its record number.
  // REQUIRES: rank < KeyCount(tag).
  uint32_t EntryAt(size_t tag, uint64_t rank, uint8_t* key);
  // Rank of the entry (key, record), or of the entry after it when it is absent.
  uint64_t RankOf(size_t tag, std::span<const uint8_t> key, uint32_t recno);

  // Adds the key of a record. Unique tags keep only the lowest record number of a key value
  // (returns false when a lower one is present; a lower record replaces a higher one).
  // Candidate tags refuse a second record with the same key (kDuplicateKey). Returns whether
  // the tag holds (key, recno) afterwards.
  bool AddKey(size_t tag, std::span<const uint8_t> key, uint32_t recno);
  // Removes the entry; returns false when it was not present.
  bool RemoveKey(size_t tag, std::span<const uint8_t> key, uint32_t recno);

  // Marks the file as being updated and syncs the mark, unless that is done already (a no-op
  // for a read-only file).
  void Prepare();
  // Writes pending changes (pages, then the header), keeping the mark when `keepMark`, else
  // clearing it. No-op when nothing changed and the mark is as asked.
  void Flush(bool keepMark = false);
  // Flushes with the mark cleared and syncs the file: the update is durable.
  void Commit();
  // Re-reads the header; when another process changed the file since, drops the cache and
  // reloads the catalog. Returns whether it had changed. REQUIRES: no pending changes.
  bool Revalidate();

  bool discarded() const { return discarded_; }
  // Drops every change not yet written, after an update failed half-way: the file stays marked
  // "update in progress" on disk, and every later use of this object fails with
  // kIndexNeedsRebuild, so the half-made change is never written nor read.
  void Discard();

  // Checks every tree completely (order, separators, counts, page ownership). Throws
  // kIndexFileCorrupt on the first fault.
  void Verify();

 private:
  IndexFile(std::unique_ptr<storage::File> file, std::filesystem::path path, bool readOnly);
  void LoadHeader(bool checkSize);
  void WriteHeader(bool inProgress);
  std::vector<uint8_t> MakeEntry(size_t tag, std::span<const uint8_t> key, uint32_t recno) const;
  void CheckKey(size_t tag, std::span<const uint8_t> key) const;
  void CheckWritable() const;

  std::unique_ptr<storage::File> file_;
  std::filesystem::path path_;
  bool readOnly_;
  bool discarded_ = false;
  bool markOnDisk_ = false;   // the header written last carries the in-progress mark
  bool markDurable_ = false;  // and it was synced
  bool unsynced_ = false;     // written since the last sync
  uint32_t pageSize_ = 0;
  uint32_t headerPages_ = 0;
  uint64_t changeCounter_ = 0;
  uint64_t catalogLoads_ = 0;
  std::vector<TagInfo> tags_;
  std::unique_ptr<Pager> pager_;
};

// The header pages for a file with these fields and catalog, sealed, ready to be written at
// offset 0. Shared by the index file and the rebuild.
std::vector<uint8_t> BuildHeaderPages(uint32_t pageSize, uint32_t pageCount, uint32_t freeHead,
                                      uint32_t flags, uint64_t changeCounter,
                                      const std::vector<uint8_t>& catalog);
// Number of header pages a catalog of that length needs.
uint32_t HeaderPageCount(uint32_t pageSize, size_t catalogLength);

}  // namespace engine
