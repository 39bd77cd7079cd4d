// An open index file, whatever its format: the tags it holds and, for each, its entries (a key
// in stored form and a record number) in the tag's order. The native ".adi" file (AdiFile,
// adi_file.h), the single-order ".ntx" file (NtxFile, ntx_file.h) and the compound ".cdx" file
// (CdxFile, cdx_file.h) implement it; everything above the formats (TableIndexes, TagCursor,
// the key positions, the SQL lookups) uses only this interface.
//
// Keys are passed in stored form (as KeyBuilder makes them with the tag's layout, keyLength()
// bytes) with the record number they belong to. The order of a tag is the order of (key bytes,
// record number) compared with memcmp, the record number big-endian: equal keys follow their
// record numbers. Positions are ranks: 0-based positions of entries in the tag's order.
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

#include "engine/index/tag_def.h"
#include "engine/storage/storage.h"

namespace engine::index {

// The index file formats, told apart by the file name's extension (letters in any case):
// ".ntx" and ".cdx" are the DBF world's formats, every other name is a native file.
enum class IndexFormat : uint8_t { kAdi, kNtx, kCdx };
IndexFormat IndexFormatOf(const std::filesystem::path& path);
// The form of the keys a format stores.
KeyForm KeyFormOf(IndexFormat format);

class IndexFile {
 public:
  // Opens and checks the file in the format its name says. Throws kIndexIoError (cannot open),
  // kIndexVersionUnsupported, kIndexNeedsRebuild (interrupted update), kIndexFileCorrupt
  // (anything else wrong).
  static std::unique_ptr<IndexFile> Open(const std::filesystem::path& path, bool readOnly = false);

  // Drops changes never committed: the file keeps its mark, and the next open asks for a
  // rebuild rather than trusting it.
  virtual ~IndexFile();
  IndexFile(const IndexFile&) = delete;
  IndexFile& operator=(const IndexFile&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // Whether path() still leads to the file this object has open (a rebuild puts a new file
  // under the name).
  bool NamedByItsPath() { return file_->NamedBy(path_.string()); }
  // The same, and path() is the file's own name in its folder, not a symbolic link to it.
  bool NamedDirectlyByItsPath() { return file_->NamedDirectlyBy(path_.string()); }
  virtual IndexFormat format() const = 0;
  // The page size of the file: chosen per file for native files, fixed by the DBF formats.
  virtual uint32_t pageSize() const = 0;
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

  // Gives a tag that its file does not describe (tag(i).described false) the segments its key
  // expression has over its table, when they lay out to the file's key length: keys are then
  // built and compared as the program that wrote the file made them. Answers whether they were
  // taken.
  bool AdoptSegments(size_t tag, const std::vector<SegmentSpec>& segments, uint8_t keyType);

  virtual uint64_t KeyCount(size_t tag) = 0;
  // Rank of the first entry whose key starts with bytes >= prefix (LowerBound) or > prefix
  // (UpperBound), comparing prefix.size() bytes; KeyCount() when none.
  virtual uint64_t LowerBound(size_t tag, std::span<const uint8_t> prefix) = 0;
  virtual uint64_t UpperBound(size_t tag, std::span<const uint8_t> prefix) = 0;
  // Copies the key at rank into key (keyLength bytes) and returns its record number.
  // REQUIRES: rank < KeyCount(tag).
  virtual uint32_t EntryAt(size_t tag, uint64_t rank, uint8_t* key) = 0;
  // Appends the record numbers of the entries at ranks [from, to) to *records, in the tag's
  // order. REQUIRES: to <= KeyCount(tag). A format that can walk its pages in order reads each
  // page once instead of looking every rank up from the root.
  virtual void RecordsAt(size_t tag, uint64_t from, uint64_t to, std::vector<uint32_t>* records);
  // Rank of the entry (key, record), or of the entry after it when it is absent.
  virtual uint64_t RankOf(size_t tag, std::span<const uint8_t> key, uint32_t recno) = 0;

  // Adds the key of a record. Unique tags keep only the lowest record number of a key value
  // (returns false when a lower one is present; a lower record replaces a higher one).
  // Candidate tags refuse a second record with the same key (kDuplicateKey). Returns whether
  // the tag holds (key, recno) afterwards.
  bool AddKey(size_t tag, std::span<const uint8_t> key, uint32_t recno);
  // Removes the entry; returns false when it was not present.
  bool RemoveKey(size_t tag, std::span<const uint8_t> key, uint32_t recno);

  // The crash protocol, the same for every format over the hooks below.
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
  virtual bool Revalidate() = 0;

  bool discarded() const { return discarded_; }
  // Drops every change not yet written, after an update failed half-way: the file stays marked
  // "update in progress" on disk, and every later use of this object fails with
  // kIndexNeedsRebuild, so the half-made change is never written nor read.
  virtual void Discard() = 0;

  // Checks every tree completely (order, structure, counts, page ownership). Throws
  // kIndexFileCorrupt on the first fault.
  virtual void Verify() = 0;

 protected:
  IndexFile(std::unique_ptr<storage::File> file, std::filesystem::path path, bool readOnly);

  // The format's side of the crash protocol. Whether the pages can be written at all (a file
  // whose header never loaded has none); whether some cached page changed; writing the changed
  // pages; writing the header with the mark set or cleared and the current counter (which sets
  // markOnDisk_ and unsynced_).
  virtual bool HasPages() const { return true; }
  virtual bool Dirty() const = 0;
  virtual void WriteDirtyPages() = 0;
  virtual void WriteHeader(bool inProgress) = 0;

  // Inserts the entry (key, then record number big-endian, entryLength bytes); false when it is
  // already present.
  virtual bool InsertEntry(size_t tag, const uint8_t* entry) = 0;
  // Removes the entry; false when it is not present.
  virtual bool EraseEntry(size_t tag, const uint8_t* entry) = 0;
  // The record number of the first entry whose key equals key (a full key), or 0 when none.
  virtual uint32_t FirstRecordWithKey(size_t tag, std::span<const uint8_t> key) = 0;

  void CheckKey(size_t tag, std::span<const uint8_t> key) const;
  void CheckWritable() const;
  std::vector<uint8_t> MakeEntry(size_t tag, std::span<const uint8_t> key, uint32_t recno) const;

  std::unique_ptr<storage::File> file_;
  std::filesystem::path path_;
  bool readOnly_;
  bool discarded_ = false;
  bool markOnDisk_ = false;   // the header written last carries the in-progress mark
  bool markDurable_ = false;  // and it was synced
  bool unsynced_ = false;     // written since the last sync
  uint64_t changeCounter_ = 0;
  uint64_t catalogLoads_ = 0;
  std::vector<TagInfo> tags_;
};

}  // namespace engine::index
