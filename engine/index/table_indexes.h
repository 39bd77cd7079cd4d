// The indexes of one open table: its structural index file (opened with the table), other index
// files opened by name, the tags they hold as index orders, and keeping every tag right while
// the table changes.
//
// A TableIndexes lives inside its Table (Table::SetIndexes) and observes it: every append,
// update, deletion and recall of a record changes the keys of every open tag before the change
// is complete, and pack and zap rebuild the files. Candidate tags are checked before any tag is
// changed, so a refused change leaves every tag as it was.
//
// The structural index holds the tags whose definitions the table's header keeps. When it is
// missing, cut short, garbage, interrupted or built from other definitions, an exclusive
// writable open rebuilds it at once from the header, and so does an exclusive open of a scratch
// table, read-only or not (an SQL result gets its order's index only when the order is first
// used); any other open keeps working without it and each use of its tags reports why it is
// unavailable (a reindex repairs it). Such an open removes the index file before its first
// change of the table, so that no open ever reads an index that misses a change.
//
// Between processes the table's writer lock serialises index updates (observers run inside
// it), and Reading (a ReaderLock plus a look at each file's change counter) makes readers see
// a complete tree. In an exclusive open nobody else can change the files and both cost nothing.
//
// Crashes: before the table writes any byte of a change (BeforeChange) every open index file
// is marked as being updated and the mark is synced; the table's commit, once its own files
// are durable, has the files flushed with the mark cleared and synced (Committed). A crash or
// a power cut at any moment in between leaves files that the next open refuses (and an
// exclusive open rebuilds, and a reindex), never files that miss a
// change the table kept or hold one it lost.
//
// REQUIRES: used by the thread that uses its table.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engine/core/error.h"
#include "engine/index/expression_keys.h"
#include "engine/index/index_file.h"
#include "engine/index/rebuild.h"
#include "engine/index/table_key_fields.h"
#include "engine/table/table.h"

namespace engine::index {

// Open options that decide what a collation mismatch of a tag does at open.
constexpr uint32_t kOpenRebuildOnCollationMismatch = 0x100;
constexpr uint32_t kOpenIgnoreCollationMismatch = 0x200;

class TableIndexes final : public table::RecordObserver {
 public:
  // One open index order: a tag of one of the open files.
  struct Tag {
    uint64_t id = 0;  // never reused within the open; kept while its file is rebuilt
    std::string name;
    std::filesystem::path filePath;
    size_t file = 0;  // position in files()
    size_t tagInFile = 0;
    std::unique_ptr<ExpressionKeys> keys;
    std::string expression, condition;  // what `keys` was made from
    std::unique_ptr<KeyBuilder> builder;
  };
  struct File {
    std::filesystem::path path;
    std::unique_ptr<IndexFile> index;
    bool structural = false;
    bool listed = false;  // an NTX file of an NTX table's definitions: rebuilt from them
    uint64_t catalogLoads = 0;  // index->catalogLoads() when the tags were last made from it
    // At the last FilesStillCurrent, the file was in the table's folder and named directly.
    bool namedDirectly = false;
  };

  // Makes the indexes of an open table and attaches them to it (once per open).
  // `requestedCollation` (empty: any) and the collation bits of `openOptions` decide how a tag
  // built with another collation is treated: rebuilt (exclusive opens), ignored, or refused
  // with kCollationMismatch.
  static TableIndexes& Attach(table::Table& table, const std::string& requestedCollation = {}, uint32_t openOptions = 0);
  // The indexes of an open table, attaching them when nobody has yet.
  static TableIndexes& Of(table::Table& table);

  explicit TableIndexes(table::Table& table);
  ~TableIndexes() override;
  TableIndexes(const TableIndexes&) = delete;
  TableIndexes& operator=(const TableIndexes&) = delete;

  table::Table& table() { return table_; }

  // Holds what a reader of the tags needs: the table's reader lock and current files.
  class Reading {
   public:
    explicit Reading(TableIndexes& indexes);

   private:
    table::Table::ReaderLock lock_;
  };

  // The open tags in order: the structural file's first, then each other file's in the order
  // the files were opened.
  size_t tagCount() const { return tags_.size(); }
  Tag& tag(size_t i) { return *tags_.at(i); }
  // The tag of that name (letters a-z ignore case), or null.
  Tag* FindTag(const std::string& name);
  Tag* FindById(uint64_t id);
  IndexFile& FileOf(const Tag& t);
  const TagInfo& InfoOf(const Tag& t) { return FileOf(t).tag(t.tagInFile); }
  const File& FileEntry(const Tag& t) const { return files_.at(t.file); }
  // Throws the reason the structural index is unavailable (when it is).
  void CheckAvailable() const;
  // Whether the structural index has tags but cannot be used (and why, in `why`).
  bool structuralUnavailable() const { return !unavailable_.empty(); }

  // The stored key of a record image for a tag, and whether the record belongs to the tag.
  std::span<const uint8_t> KeyOf(Tag& t, const uint8_t* image, uint32_t recno, int deleted = -1);
  bool Includes(Tag& t, const uint8_t* image, uint32_t recno, int deleted = -1);
  // Sets the segments of `builder` from a record image for a tag; the builder's layout may be
  // another layout of the same segments (the raw-key calls read texts back through a byte-order
  // one).
  void BuildInto(Tag& t, const uint8_t* image, KeyBuilder& builder);
  // The key of record n as the table holds it now.
  std::span<const uint8_t> KeyOfRecord(Tag& t, uint32_t recno, bool* included = nullptr);

  // Adds tags to the structural index (their definitions go to the table header) or to another
  // index file (`fileName` other than the structural one; created when absent) and builds
  // them. Needs an exclusive open. `pageSize` 0 keeps the page size of an existing file (the
  // table's index page size for a new one); another valid size rebuilds the whole file with it.
  // Answers the position of the new tag.
  size_t CreateTag(const std::filesystem::path& file, const TagDef& def, uint32_t pageSize = 0);
  // Keeps in a tag just built only the entries of the records in `keep` (sorted): what a
  // creation limited by a WHILE condition leaves. The tag is maintained as usual afterwards,
  // and a rebuild makes it complete again.
  void LimitTag(uint64_t id, const std::vector<uint32_t>& keep);
  // Opens another index file; answers the positions of its tags. kIndexAlreadyOpen when open.
  std::vector<size_t> OpenFile(const std::filesystem::path& file);
  // Closes a non-structural file (the structural one stays with its table).
  void CloseFile(size_t file);
  void CloseAllOtherFiles();
  // Removes a tag from its file (and from the header when structural). Needs an exclusive open.
  void DeleteTag(uint64_t id);

  // Rebuilds every open index file from its definitions; the structural one from the header.
  // pageSize 0 keeps each file's page size (the table's index page size for a file that could
  // not be read).
  RebuildStats Rebuild(uint32_t pageSize, const RebuildOptions& options);

  // Commits the table and, after it, every index file.
  void Flush();

  // Whether what this object has open may serve a parked open of its table taken up again
  // (Table::Resume): every open index file is still the one its name leads to and reads as
  // sound (its header is read again), and no index was unavailable (it may have been rebuilt
  // since). Called after Resume answered true: when it found the table's folder unchanged, an
  // index file of that folder that its name led to directly at the last check is not looked
  // up again.
  bool FilesStillCurrent();

  // RecordObserver
  void BeforeChange() override;
  void ChangeWritten() override;
  void Committed() override;
  void TableRestored() override;
  void RecordRemoved(const table::RecordView& record) override;
  void RecordAppended(const table::RecordView& record) override;
  void RecordUpdated(const table::RecordView& before, const table::RecordView& after) override;
  void RecordDeleted(const table::RecordView& record) override;
  void RecordRecalled(const table::RecordView& record) override;
  void RecordsRenumbering() override;
  void TablePacked() override;
  void TableZapped() override;

 private:
  struct KeyChange {
    size_t tag;
    bool hadOld, hasNew;
    std::vector<uint8_t> oldKey, newKey;
  };
  void OpenStructural(const std::string& requestedCollation, uint32_t openOptions);
  void OpenNtxFiles(bool mayBuild);
  bool StructuralMatchesHeader(const IndexFile& file) const;
  void LoadTags();
  void Revalidate();
  // One side of a change: the record image, and how its deletion flag is to be read (-1: as
  // stored, 0 not deleted, 1 deleted).
  struct Side {
    const table::RecordView* view = nullptr;
    int deleted = -1;
  };
  std::vector<KeyChange> ChangesFor(Side before, Side after);
  void Apply(const std::vector<KeyChange>& changes, uint32_t recno);
  void RefillUniqueKey(size_t tag, const std::vector<uint8_t>& key, uint32_t removed);
  void ReopenFiles();
  // After a failed rebuild: opens again what it can; a file that no longer opens is dropped
  // (the structural one becomes unavailable with the reason).
  void ReopenAfterFailure();
  std::vector<TagDef> DefinitionsOf(const File& f);

  table::Table& table_;
  TableFields fields_;
  TableRecord record_;
  expr::EvalOptions options_;
  std::vector<File> files_;  // files_[0] is the structural file when the table has tags
  std::vector<std::unique_ptr<Tag>> tags_;
  uint64_t nextId_ = 1;
  uint32_t unavailableCode_ = 0;
  std::string unavailable_;
  bool structuralRemoved_ = false;  // an unavailable structural index was removed before a change
  bool hasStructural_ = false;
  std::vector<std::filesystem::path> brokenNtx_;  // NTX files of the definitions that did not open
  static constexpr uint32_t kExclusiveFlushInterval = 1024;
  uint32_t unflushedChanges_ = 0;
};

// Rebuilds the structural index of an open table from its header, and every other open index
// file from its own definitions, then reopens them. The engine side of a reindex.
RebuildStats ReindexOpenTable(table::Table& table, uint32_t pageSize, const RebuildOptions& options);

}  // namespace engine::index
