// Helpers of the index tests: a key source over keys held in memory, and a model of a tag's
// contents (a sorted set of key and record number) to compare the index file against.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <set>
#include <utility>
#include <vector>

#include "engine/index/index_file.h"
#include "engine/index/rebuild.h"
#include "engine/index/tag_def.h"

namespace indextest {

using Key = std::vector<uint8_t>;
using Entry = std::pair<Key, uint32_t>;  // orders as the tree does: key bytes, then record

// Records numbered from 1; each record has, per tag, a key or none (excluded by a condition).
class MemoryKeySource : public engine::index::KeySource {
 public:
  std::vector<std::vector<std::optional<Key>>> records;
  uint64_t RecordCount() override { return records.size(); }
  void Scan(const std::vector<engine::index::TagInfo>& tags, engine::index::KeySink& sink) override;
};

// The entries of one tag, as the rules of its options give them from the source's keys.
std::set<Entry> ExpectedEntries(const MemoryKeySource& source, size_t tag, uint32_t options);

// Every entry of a tag of an open index file, in the file's order.
std::vector<Entry> Contents(engine::index::IndexFile& f, size_t tag);

// A file's bytes, whole (empty when it cannot be read).
using Bytes = std::vector<uint8_t>;
Bytes ReadAll(const std::filesystem::path& p);

// A tag definition with one raw segment of the given width.
engine::index::TagDef RawTag(const std::string& name, uint16_t width, uint32_t options = 0);

// A random key of that width over a small alphabet, so that duplicates and shared prefixes
// are frequent.
Key RandomKey(std::mt19937& rng, size_t width, int alphabet);

// Raw segment key: marker byte, then the payload.
Key RawKey(const Key& payload);

}  // namespace indextest
