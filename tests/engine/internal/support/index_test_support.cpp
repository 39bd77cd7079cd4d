// Index test helpers; see index_test_support.h.
#include "index_test_support.h"

#include <fstream>
#include <iterator>
#include <map>

namespace indextest {

std::vector<Entry> Contents(engine::index::IndexFile& f, size_t tag) {
  std::vector<Entry> out;
  Key k(f.tag(tag).layout.keyLength());
  for (uint64_t r = 0; r < f.KeyCount(tag); ++r) {
    const uint32_t recno = f.EntryAt(tag, r, k.data());
    out.emplace_back(k, recno);
  }
  return out;
}

Bytes ReadAll(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void MemoryKeySource::Scan(const std::vector<engine::index::TagInfo>& tags, engine::index::KeySink& sink) {
  for (size_t r = 0; r < records.size(); ++r) {
    for (size_t t = 0; t < tags.size() && t < records[r].size(); ++t) {
      if (records[r][t]) sink.Add(t, records[r][t]->data(), static_cast<uint32_t>(r + 1));
    }
    if ((r & 1023) == 0) sink.RecordsDone(r);
  }
  sink.RecordsDone(records.size());
}

std::set<Entry> ExpectedEntries(const MemoryKeySource& source, size_t tag, uint32_t options) {
  std::set<Entry> out;
  std::map<Key, uint32_t> firstOfKey;
  for (size_t r = 0; r < source.records.size(); ++r) {
    if (tag >= source.records[r].size() || !source.records[r][tag]) continue;
    const Key& k = *source.records[r][tag];
    uint32_t recno = static_cast<uint32_t>(r + 1);
    if (options & engine::index::kTagUnique) {
      if (firstOfKey.emplace(k, recno).second) out.emplace(k, recno);
    } else {
      out.emplace(k, recno);
    }
  }
  return out;
}

engine::index::TagDef RawTag(const std::string& name, uint16_t width, uint32_t options) {
  engine::index::TagDef d;
  d.name = name;
  d.expression = name;
  d.options = options;
  d.collation = "ANSI";
  d.keyType = engine::index::kKeyTypeRaw;
  d.segments = {engine::index::SegmentSpec{engine::index::SegmentKind::kRaw, width}};
  return d;
}

Key RandomKey(std::mt19937& rng, size_t width, int alphabet) {
  Key k(width);
  std::uniform_int_distribution<int> d(0, alphabet - 1);
  for (auto& b : k) b = static_cast<uint8_t>('a' + d(rng));
  return k;
}

Key RawKey(const Key& payload) {
  Key k;
  k.push_back(1);
  k.insert(k.end(), payload.begin(), payload.end());
  return k;
}

}  // namespace indextest
