// The indexes of one open table; see table_indexes.h.
#include "engine/index/table_indexes.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "engine/core/ascii_case.h"
#include "engine/core/error.h"
#include "engine/index/collation.h"
#include "engine/index/table_reindex.h"
#include "engine/storage/storage.h"
#include "engine/table/table_files.h"
#include "engine/table/table_type.h"

namespace engine::index {
namespace {

std::string LowerAZ(std::string s) { return engine::AsciiLowerCopy(s); }

bool SamePath(const std::filesystem::path& a, const std::filesystem::path& b) {
  return a.lexically_normal() == b.lexically_normal();
}

table::TagDefinition DefinitionOf(const TagDef& d) {
  table::TagDefinition t;
  t.name = d.name;
  t.expression = d.expression;
  t.condition = d.condition;
  t.flags = d.options;
  t.collation = d.collation;
  return t;
}

}  // namespace

TableIndexes& TableIndexes::Attach(table::Table& table, const std::string& requestedCollation, uint32_t openOptions) {
  if (table.indexes()) return *table.indexes();
  auto indexes = std::make_shared<TableIndexes>(table);
  indexes->OpenStructural(requestedCollation, openOptions);
  table.AddObserver(indexes.get());
  table.SetIndexes(indexes);
  return *indexes;
}

TableIndexes& TableIndexes::Of(table::Table& table) { return table.indexes() ? *table.indexes() : Attach(table); }

TableIndexes::TableIndexes(table::Table& table)
    : table_(table), fields_(table.schema()), record_(table.schema().fieldCount()) {}

TableIndexes::~TableIndexes() {
  table_.RemoveObserver(this);
  // The files flush what is pending when they close.
}

TableIndexes::Reading::Reading(TableIndexes& indexes) : lock_(indexes.table_) { indexes.Revalidate(); }

bool TableIndexes::StructuralMatchesHeader(const IndexFile& file) const {
  const std::vector<table::TagDefinition>& header = table_.tags();
  if (file.tagCount() != header.size()) return false;
  for (size_t i = 0; i < header.size(); ++i) {
    const TagDef& d = file.tag(i).def;
    if (!SameTagName(d.name, header[i].name) || d.expression != header[i].expression ||
        d.condition != header[i].condition || d.options != header[i].flags) {
      return false;
    }
  }
  return true;
}

void TableIndexes::OpenStructural(const std::string& requestedCollation, uint32_t openOptions) {
  files_.clear();
  tags_.clear();
  unavailable_.clear();
  structuralRemoved_ = false;
  unavailableCode_ = 0;
  brokenNtx_.clear();
  bool mayRebuild = table_.exclusive() && !table_.readOnly();
  // A scratch table (an SQL result) is read through a read-only exclusive open, and its index
  // is derived data nobody else can hold: it is built when its tags are first used.
  bool mayBuild = mayRebuild || (table_.exclusive() && table_.scratch());
  if (table_.type() == table::TableType::kNtx) {
    OpenNtxFiles(mayRebuild);
    return;
  }
  hasStructural_ = !table_.tags().empty();
  if (!hasStructural_) return;
  std::filesystem::path path = StructuralIndexPath(table_);
  auto open = [&]() -> std::unique_ptr<IndexFile> {
    try {
      if (!storage::Exists(path.string(), err::kIndexIoError)) {
        unavailableCode_ = err::kIndexFileCorrupt;
        unavailable_ = "The index file \"" + path.string() + "\" of the table is missing; rebuild the indexes of the table";
        return nullptr;
      }
      // Another open may be in the middle of an update of the file: its mark and its
      // half-written pages are not the file's state. The reader lock waits for it to finish.
      table::Table::ReaderLock reading(table_);
      std::unique_ptr<IndexFile> f = IndexFile::Open(path, table_.readOnly());
      if (!StructuralMatchesHeader(*f)) {
        unavailableCode_ = err::kIndexNeedsRebuild;
        unavailable_ = "The index file \"" + path.string() +
                       "\" holds other tags than its table defines; rebuild the indexes of the table";
        return nullptr;
      }
      return f;
    } catch (const EngineError& e) {
      unavailableCode_ = e.code();
      unavailable_ = "The index file \"" + path.string() + "\" of the table is not available: " + e.what() +
                     "; rebuild the indexes of the table";
      return nullptr;
    }
  };
  std::unique_ptr<IndexFile> file = open();
  if (!file && mayBuild) {
    // An exclusive open repairs what it can: the header holds every tag's definition.
    try {
      ReindexTable(table_);
      file = open();
    } catch (const EngineError& e) {
      unavailableCode_ = e.code();
      unavailable_ = e.what();
    }
  }
  if (!file) return;
  std::vector<size_t> mismatched = file->CollationMismatches(requestedCollation);
  if (!mismatched.empty() && !(openOptions & kOpenIgnoreCollationMismatch)) {
    if ((openOptions & kOpenRebuildOnCollationMismatch) && mayRebuild) {
      // The tags take the collation the open asks for (a tag whose collation rules changed
      // keeps its name and is built again under the current rules).
      uint32_t pageSize = file->pageSize();
      if (!requestedCollation.empty()) {
        std::string wanted = Collation::Find(requestedCollation).name();
        std::vector<table::TagDefinition> tags = table_.tags();
        for (size_t i : mismatched) {
          if (i < tags.size()) tags[i].collation = wanted;
        }
        file.reset();
        table_.SetTags(tags);
      }
      file.reset();
      ReindexTable(table_, pageSize);
      file = IndexFile::Open(path, false);
    } else {
      Fail(err::kIndexCollationMismatch,
           "The index tag \"" + file->tag(mismatched.front()).def.name + "\" of \"" + table_.path() +
               "\" was built with another collation; rebuild the indexes or open with the option to ignore it");
    }
  }
  unavailable_.clear();
  structuralRemoved_ = false;
  unavailableCode_ = 0;
  files_.push_back(File{path, std::move(file), true});
  LoadTags();
}

// An NTX table has no structural index: each of its definitions is an NTX file, opened with
// the table. A file that does not open is rebuilt at once by an exclusive writable open; any
// other open keeps working without its order, reports why, and removes the file before its
// first change of the table, so that no open ever reads an order that misses a change.
void TableIndexes::OpenNtxFiles(bool mayBuild) {
  hasStructural_ = false;
  for (const table::TagDefinition& def : table_.tags()) {
    std::filesystem::path path = NtxIndexPath(table_, def);
    std::unique_ptr<IndexFile> file;
    try {
      if (!storage::Exists(path.string(), err::kIndexIoError)) {
        Fail(err::kIndexFileCorrupt, "The index file \"" + path.string() + "\" of the table is missing");
      }
      table::Table::ReaderLock reading(table_);
      file = IndexFile::Open(path, table_.readOnly());
    } catch (const EngineError& e) {
      if (mayBuild) {
        RebuildTableIndex(table_, path, {def}, 0, {});
        file = IndexFile::Open(path, false);
      } else {
        if (unavailable_.empty()) {
          unavailableCode_ = e.code();
          unavailable_ = "The index file \"" + path.string() + "\" of the table is not available: " + e.what() +
                         "; rebuild the indexes of the table";
        }
        brokenNtx_.push_back(path);
        continue;
      }
    }
    File f{path, std::move(file), false};
    f.listed = true;
    files_.push_back(std::move(f));
  }
  LoadTags();
}

void TableIndexes::CheckAvailable() const {
  if (!unavailable_.empty()) Fail(unavailableCode_ ? unavailableCode_ : err::kIndexFileCorrupt, unavailable_);
}

// Tags keep their objects (and ids) across reloads: a caller that resolved a Tag before a
// Reading revalidated the files still holds a valid one afterwards. The key builders are made
// again every time, since they borrow their layouts from the catalogues just loaded.
void TableIndexes::LoadTags() {
  std::map<std::pair<std::string, std::string>, std::unique_ptr<Tag>> old;
  for (auto& t : tags_) {
    auto name = std::make_pair(t->filePath.lexically_normal().string(), LowerAZ(t->name));
    old.emplace(std::move(name), std::move(t));
  }
  tags_.clear();
  for (size_t f = 0; f < files_.size(); ++f) {
    IndexFile& file = *files_[f].index;
    files_[f].catalogLoads = file.catalogLoads();
    for (size_t i = 0; i < file.tagCount(); ++i) {
      const TagInfo& info = file.tag(i);
      std::unique_ptr<Tag> t;
      auto found = old.find({files_[f].path.lexically_normal().string(), LowerAZ(info.def.name)});
      if (found != old.end()) {
        t = std::move(found->second);
        old.erase(found);
      } else {
        t = std::make_unique<Tag>();
        t->id = nextId_++;
      }
      bool sameKeys = t->keys && t->expression == info.def.expression && t->condition == info.def.condition;
      if (!sameKeys) {
        t->keys = std::make_unique<ExpressionKeys>(info.def.expression, info.def.condition, fields_);
        t->expression = info.def.expression;
        t->condition = info.def.condition;
      }
      // A file another program wrote says only how long its keys are: the expression tells
      // what they hold.
      if (!info.described) file.AdoptSegments(i, t->keys->segments(), t->keys->keyType());
      t->name = info.def.name;
      t->filePath = files_[f].path;
      t->file = f;
      t->tagInFile = i;
      t->builder = std::make_unique<KeyBuilder>(info.layout);
      tags_.push_back(std::move(t));
    }
  }
}

TableIndexes::Tag* TableIndexes::FindTag(const std::string& name) {
  for (auto& t : tags_) {
    if (SameTagName(InfoOf(*t).def.name, name)) return t.get();
  }
  return nullptr;
}

TableIndexes::Tag* TableIndexes::FindById(uint64_t id) {
  for (auto& t : tags_) {
    if (t->id == id) return t.get();
  }
  return nullptr;
}

IndexFile& TableIndexes::FileOf(const Tag& t) { return *files_.at(t.file).index; }

bool TableIndexes::FilesStillCurrent() {
  if (!unavailable_.empty() || !brokenNtx_.empty() || (hasStructural_ && files_.empty())) return false;
  const bool namesUnchanged = table_.namesUnchangedAtResume();
  try {
    for (File& f : files_) {
      if (namesUnchanged && f.namedDirectly) continue;
      f.namedDirectly = storage::FolderOf(f.index->path().string()) == storage::FolderOf(table_.path()) &&
                        f.index->NamedDirectlyByItsPath();
      if (!f.namedDirectly && !f.index->NamedByItsPath()) return false;
    }
    // A file damaged in place reads as unavailable to a new open; so it must here.
    Reading reading(*this);
  } catch (const EngineError&) {
    return false;
  }
  return true;
}

void TableIndexes::Revalidate() {
  if (table_.exclusive()) return;  // nobody else changes the files
  // A catalogue may also have been reloaded by a direct IndexFile::Revalidate of another user
  // of the file: the load count, not the answer, tells whether the tags must follow.
  bool reloaded = false;
  for (File& f : files_) {
    f.index->Revalidate();
    reloaded = reloaded || f.index->catalogLoads() != f.catalogLoads;
  }
  if (reloaded) LoadTags();
}

std::span<const uint8_t> TableIndexes::KeyOf(Tag& t, const uint8_t* image, uint32_t recno, int deleted) {
  table::RecordView view(table_.schema(), image, recno);
  record_.Set(&view, deleted);
  t.builder->Clear();
  t.keys->Build(record_, options_, *t.builder);
  return t.builder->Key();
}

void TableIndexes::BuildInto(Tag& t, const uint8_t* image, KeyBuilder& builder) {
  table::RecordView view(table_.schema(), image, 0);
  record_.Set(&view);
  builder.Clear();
  t.keys->Build(record_, options_, builder);
}

bool TableIndexes::Includes(Tag& t, const uint8_t* image, uint32_t recno, int deleted) {
  table::RecordView view(table_.schema(), image, recno);
  record_.Set(&view, deleted);
  return t.keys->Includes(record_, options_);
}

std::span<const uint8_t> TableIndexes::KeyOfRecord(Tag& t, uint32_t recno, bool* included) {
  std::vector<uint8_t> image(table_.schema().recordLength());
  table_.ReadRecord(recno, image.data());
  if (included) *included = Includes(t, image.data(), recno);
  return KeyOf(t, image.data(), recno);
}

std::vector<TableIndexes::KeyChange> TableIndexes::ChangesFor(Side before, Side after) {
  std::vector<KeyChange> out;
  for (size_t i = 0; i < tags_.size(); ++i) {
    Tag& t = *tags_[i];
    if (InfoOf(t).def.options & kTagCustom) continue;  // only explicit calls change custom tags
    KeyChange c{i, false, false, {}, {}};
    uint32_t recno = (after.view ? after.view : before.view)->recordNumber();
    if (before.view) {
      c.hadOld = Includes(t, before.view->raw(), recno, before.deleted);
      if (c.hadOld) {
        std::span<const uint8_t> k = KeyOf(t, before.view->raw(), recno, before.deleted);
        c.oldKey.assign(k.begin(), k.end());
      }
    }
    if (after.view) {
      c.hasNew = Includes(t, after.view->raw(), recno, after.deleted);
      if (c.hasNew) {
        std::span<const uint8_t> k = KeyOf(t, after.view->raw(), recno, after.deleted);
        c.newKey.assign(k.begin(), k.end());
      }
    }
    if (c.hadOld == c.hasNew && (!c.hadOld || c.oldKey == c.newKey)) continue;
    out.push_back(std::move(c));
  }
  return out;
}

void TableIndexes::Apply(const std::vector<KeyChange>& all, uint32_t recno) {
  // A file whose update failed stays marked for a rebuild and takes no more changes (undoing a
  // change of the table after that failure must not fail on it).
  std::vector<KeyChange> changes;
  for (const KeyChange& c : all) {
    if (!FileOf(*tags_[c.tag]).discarded()) changes.push_back(c);
  }
  if (changes.empty()) {
    // No key changes, but the change marked the files (a deletion that no tag sees, for one).
    ChangeWritten();
    return;
  }
  // Refuse before changing anything: a candidate tag admits each key value once.
  for (const KeyChange& c : changes) {
    Tag& t = *tags_[c.tag];
    if (!c.hasNew || !(InfoOf(t).def.options & kTagCandidate)) continue;
    IndexFile& file = FileOf(t);
    uint64_t rank = file.LowerBound(t.tagInFile, c.newKey);
    if (rank >= file.KeyCount(t.tagInFile)) continue;
    std::vector<uint8_t> key(c.newKey.size());
    uint32_t holder = file.EntryAt(t.tagInFile, rank, key.data());
    if (key == c.newKey && holder != recno) {
      Fail(err::kDuplicateKey, "The key is already in the candidate index tag \"" + InfoOf(t).def.name + "\" (record " +
                                   std::to_string(holder) + ")");
    }
  }
  try {
    for (const KeyChange& c : changes) {
      Tag& t = *tags_[c.tag];
      IndexFile& file = FileOf(t);
      bool removedHolder = c.hadOld && file.RemoveKey(t.tagInFile, c.oldKey, recno);
      if (c.hasNew) file.AddKey(t.tagInFile, c.newKey, recno);
      if (removedHolder && (InfoOf(t).def.options & kTagUnique)) RefillUniqueKey(c.tag, c.oldKey, recno);
    }
    // Other opens read the files after every change, so a shared open writes them at once,
    // with the mark cleared (its durable mark stays until the table's commit syncs them). An
    // exclusive open writes them now and then, keeping the mark, and clears it at the commit.
    if (!table_.exclusive()) {
      for (File& f : files_) {
        if (f.index) f.index->Flush(false);
      }
    } else if (++unflushedChanges_ >= kExclusiveFlushInterval) {
      for (File& f : files_) {
        if (f.index) f.index->Flush(true);
      }
      unflushedChanges_ = 0;
    }
  } catch (...) {
    // A half-made change must never be written or read: the files concerned stay marked as
    // being updated on disk and refuse every use until the indexes are rebuilt.
    for (File& f : files_) {
      if (f.index) f.index->Discard();
    }
    throw;
  }
}

// A unique tag holds the lowest record of each key value. When that record leaves the value,
// the next record that has it takes its place.
void TableIndexes::RefillUniqueKey(size_t tag, const std::vector<uint8_t>& key, uint32_t removed) {
  Tag& t = *tags_[tag];
  IndexFile& file = FileOf(t);
  uint32_t best = 0;
  std::vector<uint8_t> k;
  table_.Scan([&](const table::RecordView& view) {
    if (best != 0 || view.recordNumber() == removed) return;
    if (!Includes(t, view.raw(), view.recordNumber())) return;
    std::span<const uint8_t> candidate = KeyOf(t, view.raw(), view.recordNumber());
    if (candidate.size() == key.size() && std::equal(candidate.begin(), candidate.end(), key.begin())) {
      best = view.recordNumber();
    }
  });
  if (best != 0) file.AddKey(t.tagInFile, key, best);
}

void TableIndexes::Flush() { table_.Commit(); }

void TableIndexes::ChangeWritten() {
  // Other opens read the files after every change: a shared open shows them unmarked at once
  // (the durable mark stays until the table's commit).
  if (table_.exclusive()) return;
  for (File& f : files_) {
    if (f.index) f.index->Flush(false);
  }
}

void TableIndexes::BeforeChange() {
  if (table_.readOnly()) return;
  if (hasStructural_ && !unavailable_.empty() && !structuralRemoved_) {
    // This open cannot keep the structural index right (it could not read it, or it is not the
    // table's), so nobody may trust it after this change: it goes, and the next exclusive open
    // or reindex builds it again.
    table_files::RemoveIndexFile(StructuralIndexPath(table_).string());
    structuralRemoved_ = true;
    unavailableCode_ = err::kIndexFileCorrupt;
    unavailable_ = "The index file \"" + StructuralIndexPath(table_).string() +
                   "\" of the table is missing; rebuild the indexes of the table";
  }
  if (!brokenNtx_.empty() && !structuralRemoved_) {
    for (const auto& path : brokenNtx_) table_files::RemoveIndexFile(path.string());
    structuralRemoved_ = true;
  }
  if (files_.empty()) return;
  // Another open may have changed the files since this one last looked: the mark is written
  // over their current header, never over an older copy.
  Revalidate();
  try {
    for (File& f : files_) {
      if (f.index) f.index->Prepare();
    }
  } catch (...) {
    for (File& f : files_) {
      if (f.index) f.index->Discard();
    }
    throw;
  }
}

void TableIndexes::Committed() {
  try {
    for (File& f : files_) {
      if (f.index) f.index->Commit();
    }
  } catch (...) {
    // What was not committed must never be trusted: the files keep their mark.
    for (File& f : files_) {
      if (f.index) f.index->Discard();
    }
    throw;
  }
  unflushedChanges_ = 0;
}

void TableIndexes::TableRestored() {
  // An exclusive open whose index update failed (a change taken back on a full disk, whose
  // pages could not be written) builds the index again from the table as now committed, so
  // that the index stays usable: the rollback has given back the space the change took.
  bool discarded = false;
  for (File& f : files_) discarded = discarded || (f.index && f.index->discarded());
  if (!discarded || !table_.exclusive() || table_.readOnly()) return;
  try {
    Rebuild(0, RebuildOptions());
  } catch (const EngineError&) {
    // The marks stay: the next exclusive open or reindex builds the files again.
  }
}

void TableIndexes::RecordRemoved(const table::RecordView& record) {
  Revalidate();
  Apply(ChangesFor({&record, -1}, {}), record.recordNumber());
}

void TableIndexes::RecordAppended(const table::RecordView& record) {
  Revalidate();
  Apply(ChangesFor({}, {&record, -1}), record.recordNumber());
}

void TableIndexes::RecordUpdated(const table::RecordView& before, const table::RecordView& after) {
  Revalidate();
  Apply(ChangesFor({&before, -1}, {&after, -1}), after.recordNumber());
}

void TableIndexes::RecordDeleted(const table::RecordView& record) {
  Revalidate();
  Apply(ChangesFor({&record, 0}, {&record, 1}), record.recordNumber());
}

void TableIndexes::RecordRecalled(const table::RecordView& record) {
  Revalidate();
  Apply(ChangesFor({&record, 1}, {&record, 0}), record.recordNumber());
}

// The records are about to be renumbered or removed: the files are marked for good (nothing
// clears the marks of discarded files) until rebuilt files replace them, so a pack that fails
// half-way leaves files every open refuses.
void TableIndexes::RecordsRenumbering() {
  BeforeChange();
  for (File& f : files_) {
    if (f.index) f.index->Discard();
  }
}

void TableIndexes::TablePacked() { Rebuild(0, {}); }

void TableIndexes::TableZapped() { Rebuild(0, {}); }

std::vector<TagDef> TableIndexes::DefinitionsOf(const File& f) {
  std::vector<TagDef> out;
  for (size_t i = 0; i < f.index->tagCount(); ++i) out.push_back(f.index->tag(i).def);
  return out;
}

void TableIndexes::ReopenFiles() {
  for (File& f : files_) {
    f.index.reset();
    f.index = IndexFile::Open(f.path, table_.readOnly());
  }
  LoadTags();
}

RebuildStats TableIndexes::Rebuild(uint32_t pageSize, const RebuildOptions& options) {
  if (!table_.exclusive()) {
    Fail(err::kExclusiveRequired, "Rebuilding the indexes of \"" + table_.path() + "\" needs the table open exclusively");
  }
  // The table's changes are durable before the files made from them are.
  table_.Commit();
  RebuildStats stats;
  const bool ntxTable = table_.type() == table::TableType::kNtx;
  if (ntxTable) {
    // The NTX files of the definitions are rebuilt from them below, whatever state they are in.
    files_.erase(std::remove_if(files_.begin(), files_.end(), [](const File& f) { return f.listed; }), files_.end());
  }
  try {
    for (File& f : files_) {
      if (f.structural) continue;
      std::vector<table::TagDefinition> defs;
      for (const TagDef& d : DefinitionsOf(f)) defs.push_back(DefinitionOf(d));
      uint32_t size = pageSize ? pageSize : f.index->pageSize();
      f.index.reset();  // a rebuild renames a new file into place
      RebuildTableIndex(table_, f.path, defs, size, options);
    }
    uint32_t structuralSize = pageSize;
    if (hasStructural_ && !files_.empty() && files_[0].structural) {
      if (!structuralSize && files_[0].index) structuralSize = files_[0].index->pageSize();
      files_[0].index.reset();
    }
    stats = ReindexTable(table_, structuralSize, options);
    if (ntxTable) {
      std::vector<File> listed;
      for (const table::TagDefinition& def : table_.tags()) {
        File f{NtxIndexPath(table_, def), nullptr, false};
        f.listed = true;
        listed.push_back(std::move(f));
      }
      files_.insert(files_.begin(), std::make_move_iterator(listed.begin()), std::make_move_iterator(listed.end()));
      brokenNtx_.clear();
    }
  } catch (...) {
    // What was rebuilt is in place; what was not is as it was. Open them all again.
    if (ntxTable) {
      for (const table::TagDefinition& def : table_.tags()) {
        File f{NtxIndexPath(table_, def), nullptr, false};
        f.listed = true;
        files_.push_back(std::move(f));
      }
    }
    ReopenAfterFailure();
    throw;
  }
  if (hasStructural_ && (files_.empty() || !files_[0].structural)) {
    // The structural index was unavailable; it opens now and its tags come first.
    files_.insert(files_.begin(), File{StructuralIndexPath(table_), nullptr, true});
  }
  unavailable_.clear();
  structuralRemoved_ = false;
  unavailableCode_ = 0;
  ReopenFiles();
  return stats;
}

void TableIndexes::ReopenAfterFailure() {
  std::vector<File> kept;
  for (File& f : files_) {
    try {
      if (!f.index) f.index = IndexFile::Open(f.path, table_.readOnly());
      kept.push_back(std::move(f));
    } catch (const EngineError& e) {
      if (f.structural) {
        unavailableCode_ = e.code();
        unavailable_ = std::string(e.what()) + " (rebuild the indexes of the table)";
      }
    }
  }
  files_ = std::move(kept);
  LoadTags();
}

size_t TableIndexes::CreateTag(const std::filesystem::path& givenFile, const TagDef& def, uint32_t pageSize) {
  if (!table_.exclusive()) {
    Fail(err::kExclusiveRequired, "Creating an index of \"" + table_.path() + "\" needs the table open exclusively");
  }
  ExpressionKeys check(def.expression, def.condition, fields_);  // a bad key fails before any change
  // Clipper-style DBF tables order their keys by byte value, as the programs that share them
  // do; a FoxPro-compatible table's CDX tags may take a collation (the CDX key description
  // keeps its name). An unknown name is refused by the lookup itself.
  if ((table_.type() == table::TableType::kNtx || table_.type() == table::TableType::kCdx) && !Collation::Find(def.collation).IsByteOrder()) {
    Fail(err::kInvalidTagDefinition, std::string(table_.type() == table::TableType::kNtx ? "NTX" : "CDX") +
                                         " tables order their index keys by byte value (ANSI or OEM), not by \"" +
                                         def.collation + "\"; a FoxPro table (type 4) can");
  }
  if (check.readsClock()) {
    Fail(err::kInvalidTagDefinition, "The index \"" + def.name + "\" of \"" + table_.path() +
                                         "\" reads the clock (TODAY, DATE, NOW or TIME) in its key or condition: "
                                         "an index can only hold values its records determine");
  }
  std::filesystem::path structural = StructuralIndexPath(table_);
  // An NTX table has no structural index: a tag given without a file is an NTX file of the
  // tag's name beside the table.
  const std::filesystem::path file = (table_.type() == table::TableType::kNtx && givenFile.empty())
                                         ? NtxIndexPath(table_, def.name)
                                         : givenFile;
  const bool ntxFile = IndexFormatOf(file) == IndexFormat::kNtx && !file.empty();
  // An NTX file holds one order, named after the file.
  TagDef ntxDef = def;
  if (ntxFile) ntxDef.name = AsciiUpperCopy(file.stem().string());
  const TagDef& created = ntxFile ? ntxDef : def;
  if (file.empty() || SamePath(file, structural)) {
    std::vector<table::TagDefinition> old = table_.tags();
    std::vector<table::TagDefinition> tags = old;
    table::TagDefinition added = DefinitionOf(def);
    auto same = std::find_if(tags.begin(), tags.end(), [&](const table::TagDefinition& t) { return SameTagName(t.name, def.name); });
    if (same != tags.end()) *same = added;  // a tag of the same name is replaced
    else tags.push_back(added);
    Flush();
    uint32_t size = pageSize;
    if (!files_.empty() && files_[0].structural) {
      if (!size && files_[0].index) size = files_[0].index->pageSize();
      files_[0].index.reset();
    }
    try {
      table_.SetTags(tags);
      ReindexTable(table_, size);
    } catch (...) {
      table_.SetTags(old);
      ReopenAfterFailure();
      throw;
    }
    if (!hasStructural_ || files_.empty() || !files_[0].structural) {
      files_.insert(files_.begin(), File{structural, nullptr, true});
      for (auto& t : tags_) ++t->file;
    }
    hasStructural_ = true;
    // Other programs of the DBF world open a CDX table's structural index only when its header
    // says it has one.
    table_.SetStructuralIndexFlag(true);
    unavailable_.clear();
    structuralRemoved_ = false;
    unavailableCode_ = 0;
    ReopenFiles();
  } else {
    auto open = std::find_if(files_.begin(), files_.end(), [&](const File& f) { return SamePath(f.path, file); });
    std::vector<table::TagDefinition> defs;
    uint32_t size = pageSize;
    if (open != files_.end()) {
      for (const TagDef& d : DefinitionsOf(*open)) defs.push_back(DefinitionOf(d));
      if (!size) size = open->index->pageSize();
      open->index.reset();
    } else {
      if (storage::Exists(file.string(), err::kIndexIoError)) {
        std::unique_ptr<IndexFile> existing = IndexFile::Open(file, true);
        for (size_t i = 0; i < existing->tagCount(); ++i) defs.push_back(DefinitionOf(existing->tag(i).def));
        if (!size) size = existing->pageSize();
      }
    }
    table::TagDefinition added = DefinitionOf(created);
    if (ntxFile) defs.clear();
    auto same = std::find_if(defs.begin(), defs.end(), [&](const table::TagDefinition& t) { return SameTagName(t.name, created.name); });
    if (same != defs.end()) *same = added;
    else defs.push_back(added);
    try {
      RebuildTableIndex(table_, file, defs, size, {});
    } catch (...) {
      ReopenAfterFailure();
      throw;
    }
    if (open == files_.end()) {
      File f{file, nullptr, false};
      // An NTX table keeps the definition of each NTX file made for it, which is how its files
      // open with it and how a reindex finds them.
      if (ntxFile && table_.type() == table::TableType::kNtx &&
          SamePath(file.parent_path(), std::filesystem::path(table_.path()).parent_path())) {
        added.file = file.filename().string();
        std::vector<table::TagDefinition> tags = table_.tags();
        auto listed = std::find_if(tags.begin(), tags.end(), [&](const table::TagDefinition& t) { return SameTagName(t.name, added.name); });
        if (listed != tags.end()) *listed = added;
        else tags.push_back(added);
        table_.SetTags(tags);
        f.listed = true;
      }
      files_.push_back(std::move(f));
    }
    ReopenFiles();
  }
  for (size_t i = 0; i < tags_.size(); ++i) {
    const File& f = files_[tags_[i]->file];
    if ((file.empty() ? f.structural : SamePath(f.path, file)) && SameTagName(InfoOf(*tags_[i]).def.name, created.name)) {
      return i;
    }
  }
  Fail(err::kInternalError, "The new index tag \"" + def.name + "\" did not open");
}

void TableIndexes::LimitTag(uint64_t id, const std::vector<uint32_t>& keep) {
  Tag* t = FindById(id);
  if (!t) Fail(err::kNoSuchIndexOrder, "The index order is no longer open");
  IndexFile& file = FileOf(*t);
  const bool unique = InfoOf(*t).def.options & kTagUnique;
  std::vector<uint8_t> image(table_.schema().recordLength());
  try {
    uint32_t count = table_.cachedRecordCount();
    size_t k = 0;
    for (uint32_t r = 1; r <= count; ++r) {
      while (k < keep.size() && keep[k] < r) ++k;
      if (k < keep.size() && keep[k] == r) continue;
      table_.ReadRecord(r, image.data());
      if (!Includes(*t, image.data(), r)) continue;
      std::span<const uint8_t> key = KeyOf(*t, image.data(), r);
      file.RemoveKey(t->tagInFile, std::vector<uint8_t>(key.begin(), key.end()), r);
    }
    // A unique tag holds the lowest kept record of each key: adding every kept record in number
    // order keeps the first one of each key.
    if (unique) {
      for (uint32_t r : keep) {
        table_.ReadRecord(r, image.data());
        if (!Includes(*t, image.data(), r)) continue;
        std::span<const uint8_t> key = KeyOf(*t, image.data(), r);
        file.AddKey(t->tagInFile, std::vector<uint8_t>(key.begin(), key.end()), r);
      }
    }
    file.Commit();
  } catch (...) {
    file.Discard();
    throw;
  }
}

std::vector<size_t> TableIndexes::OpenFile(const std::filesystem::path& file) {
  for (const File& f : files_) {
    if (SamePath(f.path, file)) Fail(err::kIndexAlreadyOpen, "The index file \"" + file.string() + "\" is already open");
  }
  std::unique_ptr<IndexFile> index;
  {
    table::Table::ReaderLock reading(table_);  // not in the middle of another open's update
    index = IndexFile::Open(file, table_.readOnly());
  }
  files_.push_back(File{file, std::move(index), false});
  try {
    LoadTags();
  } catch (...) {
    files_.pop_back();
    LoadTags();
    throw;
  }
  std::vector<size_t> out;
  for (size_t i = 0; i < tags_.size(); ++i) {
    if (tags_[i]->file == files_.size() - 1) out.push_back(i);
  }
  return out;
}

void TableIndexes::CloseFile(size_t file) {
  if (file >= files_.size()) return;
  if (files_[file].structural) {
    Fail(err::kInvalidArgument, "The structural index of a table stays open with its table");
  }
  table_.Commit();
  files_.erase(files_.begin() + static_cast<std::ptrdiff_t>(file));
  std::vector<std::unique_ptr<Tag>> kept;
  for (auto& t : tags_) {
    if (t->file == file) continue;
    if (t->file > file) --t->file;
    kept.push_back(std::move(t));
  }
  tags_ = std::move(kept);
}

void TableIndexes::CloseAllOtherFiles() {
  for (size_t f = files_.size(); f-- > 0;) {
    if (!files_[f].structural) CloseFile(f);
  }
}

void TableIndexes::DeleteTag(uint64_t id) {
  Tag* t = FindById(id);
  if (!t) Fail(err::kNoSuchIndexOrder, "The index order is no longer open");
  if (!table_.exclusive()) {
    Fail(err::kExclusiveRequired, "Deleting an index of \"" + table_.path() + "\" needs the table open exclusively");
  }
  std::string name = InfoOf(*t).def.name;
  size_t fileIndex = t->file;
  File& f = files_[fileIndex];
  Flush();
  if (f.structural) {
    std::vector<table::TagDefinition> tags = table_.tags();
    tags.erase(std::remove_if(tags.begin(), tags.end(), [&](const table::TagDefinition& d) { return SameTagName(d.name, name); }),
               tags.end());
    f.index.reset();
    try {
      table_.SetTags(tags);
    } catch (...) {
      ReopenAfterFailure();
      throw;
    }
    if (tags.empty()) {
      table_files::RemoveIndexFile(f.path.string());
      files_.erase(files_.begin());
      tags_.erase(std::remove_if(tags_.begin(), tags_.end(), [&](const auto& x) { return x->file == 0; }), tags_.end());
      for (auto& x : tags_) --x->file;
      hasStructural_ = false;
      table_.SetStructuralIndexFlag(false);
      return;
    }
    try {
      ReindexTable(table_);
    } catch (...) {
      ReopenAfterFailure();
      throw;
    }
  } else {
    std::vector<table::TagDefinition> defs;
    for (const TagDef& d : DefinitionsOf(f)) {
      if (!SameTagName(d.name, name)) defs.push_back(DefinitionOf(d));
    }
    f.index.reset();
    if (f.listed) {
      std::vector<table::TagDefinition> tags = table_.tags();
      tags.erase(std::remove_if(tags.begin(), tags.end(), [&](const table::TagDefinition& d) { return SameTagName(d.name, name); }),
                 tags.end());
      table_.SetTags(tags);
    }
    if (defs.empty()) {
      table_files::RemoveIndexFile(f.path.string());
      files_.erase(files_.begin() + static_cast<std::ptrdiff_t>(fileIndex));
      std::vector<std::unique_ptr<Tag>> kept;
      for (auto& x : tags_) {
        if (x->file == fileIndex) continue;
        if (x->file > fileIndex) --x->file;
        kept.push_back(std::move(x));
      }
      tags_ = std::move(kept);
      return;
    }
    try {
      RebuildTableIndex(table_, f.path, defs, 0, {});
    } catch (...) {
      ReopenAfterFailure();
      throw;
    }
  }
  ReopenFiles();
}

RebuildStats ReindexOpenTable(table::Table& table, uint32_t pageSize, const RebuildOptions& options) {
  return TableIndexes::Of(table).Rebuild(pageSize, options);
}

}  // namespace engine::index
