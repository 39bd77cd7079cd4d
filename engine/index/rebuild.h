// Rebuilding an index file from its tag definitions and the records of its table.
//
// One sequential pass over the records (the KeySource) produces the keys of every tag; each
// tag's entries are sorted in memory within the budget, spilled as sorted runs to anonymous
// work files beyond it and merged; every tree is then written bottom-up into a NEW file beside
// the old one (its staging name, table_files.h), which is flushed to disk and renamed over the
// old file, and the folder is flushed. Until that rename the old file is untouched, so a crash
// at any moment leaves either the complete old file or the complete new one (plus a stale
// staging file that the next rebuild replaces).
//
// Unique tags keep the first (lowest-numbered) record of each key value; a candidate tag with
// two records of one key value fails the rebuild with kDuplicateKey, leaving the old file.
//
// REQUIRES: the caller holds the table exclusively; nothing else has the index file open.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <vector>

#include "engine/index/tag_def.h"

namespace engine::index {

// Receives the keys of a pass over the records.
class KeySink {
 public:
  virtual ~KeySink() = default;
  // Adds the key of a tag for a record. key is in stored form, exactly the tag's key length
  // (KeyBuilder::Key() of a complete key). A record that a tag's condition excludes simply gets
  // no key for that tag.
  virtual void Add(size_t tag, const uint8_t* key, uint32_t recno) = 0;
  // Tells how many records have been visited so far (drives progress and cancellation). Called
  // by the thread that called KeySource::Scan only.
  virtual void RecordsDone(uint64_t count) = 0;
  // Groups of tags whose keys may be added from different threads at once: Add may run
  // concurrently for tags of different groups, never for two tags of one group. Every tag is
  // in one group; a single group means one thread.
  virtual std::vector<std::vector<size_t>> ConcurrentGroups() const = 0;
};

// Produces the keys of every tag in one sequential pass over a table's records.
class KeySource {
 public:
  virtual ~KeySource() = default;
  // The number of records the pass will visit (for progress; an estimate is acceptable).
  virtual uint64_t RecordCount() = 0;
  // Visits the records in record-number order and passes each tag's key to the sink. tags are
  // the prepared tags (with their key layouts) in file order. A source may compute the keys of
  // the sink's concurrent groups on threads of their own, each group's in record-number order.
  virtual void Scan(const std::vector<TagInfo>& tags, KeySink& sink) = 0;
};

// 256 MB: enough to sort the keys of about 2.5 million records of three typical tags in memory.
constexpr size_t kDefaultRebuildMemoryBudget = size_t{256} << 20;

// The budget rebuilds use unless told otherwise: ACE_REBUILD_MEMORY_MB megabytes when that
// environment variable holds a positive whole number, else kDefaultRebuildMemoryBudget. Read at
// every call, so a process may change it between rebuilds.
size_t DefaultRebuildMemoryBudget();

struct RebuildOptions {
  // Memory for the keys being sorted, the merges' read buffers and the page buffers of the trees
  // being written; beyond it sorted runs go to work files. At least 1 MB is used.
  size_t memoryBudget = DefaultRebuildMemoryBudget();
  // Called with 0..100 as the rebuild advances (each value at most once); returning false stops
  // the rebuild with kRebuildCancelled and leaves the old file as it was.
  std::function<bool(unsigned percent)> progress;
  // Where sorted runs go; empty means the folder of the index file.
  std::filesystem::path workFolder;
  // Compute, collect, spill and sort the keys of different tags on several threads.
  bool parallelSort = true;
  // Force the new file and its rename to the disk; false for the indexes of scratch tables,
  // which nothing needs after a crash.
  bool durable = true;
};

struct RebuildStats {
  uint64_t records = 0;     // as reported by the source
  uint64_t keys = 0;        // entries written, all tags
  uint64_t runs = 0;        // sorted runs spilled to work files, all tags
  uint64_t pages = 0;       // pages of the new file
};

// Rebuilds (or creates) the index file at path with these tags. Throws EngineError; on any
// failure the file at path is as it was before the call.
RebuildStats RebuildIndexFile(const std::filesystem::path& path, uint32_t pageSize,
                              const std::vector<TagDef>& tags, KeySource& source,
                              const RebuildOptions& options = {});

// The name of the file a rebuild writes before renaming it into place.
std::filesystem::path RebuildWorkPath(const std::filesystem::path& path);

}  // namespace engine::index
