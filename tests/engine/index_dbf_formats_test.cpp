// NTX and CDX index files against an in-memory model: rebuilt contents, then thousands of random
// insertions and removals (splits, merges, emptied pages, keys with shared prefixes and trailing
// blanks) under the rules of plain, descending, unique and conditional orders, with bounds, ranks
// and entries by rank checked along the way, a complete structural check, and the same contents
// after closing and reopening.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <set>

#include "engine/core/error.h"
#include "engine/index/index_file.h"
#include "engine/index/key_builder.h"
#include "engine/index/rebuild.h"
#include "support/index_test_support.h"
#include "test_env.h"

namespace engine {
namespace {

using indextest::Entry;
using indextest::Key;

std::vector<Entry> Contents(IndexFile& f, size_t tag) {
  std::vector<Entry> out;
  uint64_t n = f.KeyCount(tag);
  Key k(f.tag(tag).layout.keyLength());
  for (uint64_t r = 0; r < n; ++r) {
    uint32_t recno = f.EntryAt(tag, r, k.data());
    out.emplace_back(k, recno);
  }
  return out;
}

// The order of a tag's entries: keys, then record numbers, ascending except in a descending CDX
// tag, which is its file read backwards (equal keys in descending record order).
struct EntryOrder {
  bool recordsDescending = false;
  bool operator()(const Entry& a, const Entry& b) const {
    if (a.first != b.first) return a.first < b.first;
    return recordsDescending ? a.second > b.second : a.second < b.second;
  }
};
using Model = std::set<Entry, EntryOrder>;

uint64_t ModelBound(const Model& m, const Key& prefix, bool upper) {
  uint64_t rank = 0;
  for (const Entry& e : m) {
    int c = prefix.empty() ? 0 : std::memcmp(e.first.data(), prefix.data(), prefix.size());
    if (upper ? c > 0 : c >= 0) break;
    ++rank;
  }
  return rank;
}

TagDef TextTag(const std::string& name, uint16_t width, uint32_t options = 0) {
  TagDef d;
  d.name = name;
  d.expression = name;
  d.options = options;
  d.collation = "ANSI";
  d.keyType = kKeyTypeString;
  d.segments = {SegmentSpec{SegmentKind::kString, width}};
  return d;
}

// A text of up to `width` characters over a tiny alphabet: long shared prefixes, many
// duplicates, and trailing blanks of every length once padded.
std::string RandomText(std::mt19937& rng, size_t width) {
  static const char kAlphabet[] = "ab c";
  size_t len = std::uniform_int_distribution<size_t>(0, width)(rng);
  len = std::min<size_t>(len, 4 + std::uniform_int_distribution<size_t>(0, 3)(rng));
  std::string s;
  for (size_t i = 0; i < len; ++i) s.push_back(kAlphabet[std::uniform_int_distribution<int>(0, 3)(rng)]);
  return s;
}

Key StoredKey(const TagInfo& t, const std::string& text) {
  KeyBuilder b(t.layout);
  b.Clear();
  b.SetString(0, text.data(), text.size());
  auto k = b.Key();
  return Key(k.begin(), k.end());
}

struct FormatCase {
  const char* extension;
  uint16_t width;  // wide keys make pages of few entries and deep trees
  int records;
};

class DbfIndexModel : public ::testing::TestWithParam<FormatCase> {};

// Four orders over the same records (plain, descending, unique, conditional): one NTX file
// each, or four tags of one CDX file.
TEST_P(DbfIndexModel, RebuildInsertDeleteAndReopenAgreeWithModel) {
  const FormatCase c = GetParam();
  const bool ntx = std::string(c.extension) == ".ntx";
  testenv::TempDir dir;
  std::vector<TagDef> defs = {TextTag("PLAIN", c.width), TextTag("DESC", c.width, kTagDescending),
                              TextTag("UNIQ", c.width, kTagUnique), TextTag("COND", c.width)};
  const KeyForm form = ntx ? KeyForm::kNtx : KeyForm::kCdx;
  std::vector<TagInfo> tags = PrepareTags(defs, ntx ? 1024 : 512, form);
  std::mt19937 rng(c.width * 7919 + c.records);
  indextest::MemoryKeySource src;
  for (int r = 0; r < c.records; ++r) {
    std::string text = RandomText(rng, c.width);
    std::vector<std::optional<Key>> keys;
    for (size_t t = 0; t < tags.size(); ++t) keys.push_back(StoredKey(tags[t], text));
    if (!text.empty() && text[0] == 'a') keys[3].reset();  // the condition leaves these out
    src.records.push_back(keys);
  }
  // Where each order lives: its file and its tag in the file.
  std::vector<std::filesystem::path> paths;
  std::vector<size_t> tagInFile;
  if (ntx) {
    for (size_t t = 0; t < defs.size(); ++t) {
      paths.push_back(dir.path() / (defs[t].name + ".ntx"));
      tagInFile.push_back(0);
      indextest::MemoryKeySource one;
      for (const auto& rec : src.records) one.records.push_back({rec[t]});
      RebuildIndexFile(paths.back(), 0, {defs[t]}, one);
    }
  } else {
    for (size_t t = 0; t < defs.size(); ++t) {
      paths.push_back(dir.path() / "t.cdx");
      tagInFile.push_back(t);
    }
    RebuildIndexFile(paths[0], 0, defs, src);
  }
  std::vector<Model> model;
  for (size_t t = 0; t < tags.size(); ++t) {
    model.emplace_back(EntryOrder{!ntx && (defs[t].options & kTagDescending)});
    for (const Entry& e : indextest::ExpectedEntries(src, t, defs[t].options)) model.back().insert(e);
  }

  std::vector<std::unique_ptr<IndexFile>> files;
  for (size_t t = 0; t < tags.size(); ++t) {
    if (ntx || t == 0) files.push_back(IndexFile::Open(paths[t]));
  }
  auto fileOf = [&](size_t t) -> IndexFile& { return *files[ntx ? t : 0]; };
  for (size_t t = 0; t < tags.size(); ++t) {
    ASSERT_EQ(fileOf(t).tag(tagInFile[t]).def.name, defs[t].name);
    ASSERT_EQ(Contents(fileOf(t), tagInFile[t]), std::vector<Entry>(model[t].begin(), model[t].end())) << defs[t].name;
  }
  for (auto& f : files) f->Verify();

  uint32_t nextRecno = static_cast<uint32_t>(c.records + 1);
  std::uniform_int_distribution<int> op(0, 9);
  // Phases: mostly insertions, then mostly removals down to few entries, then mixed.
  for (int i = 0; i < 6000; ++i) {
    size_t t = static_cast<size_t>(i % tags.size());
    IndexFile& f = fileOf(t);
    size_t ft = tagInFile[t];
    Model& m = model[t];
    int insertShare = i < 2000 ? 8 : i < 4000 ? 2 : 5;
    if (op(rng) < insertShare || m.empty()) {
      uint32_t recno = (op(rng) < 8) ? nextRecno++ : std::uniform_int_distribution<uint32_t>(1, nextRecno)(rng);
      Key key = StoredKey(tags[t], RandomText(rng, c.width));
      bool expected = true;
      if (defs[t].options & kTagUnique) {
        auto it = std::find_if(m.begin(), m.end(), [&](const Entry& e) { return e.first == key; });
        if (it != m.end()) {
          if (it->second < recno) expected = false;
          else if (it->second > recno) m.erase(it);
        }
      }
      if (expected) m.emplace(key, recno);
      ASSERT_EQ(f.AddKey(ft, key, recno), expected) << "op " << i;
    } else {
      auto it = m.begin();
      std::advance(it, std::uniform_int_distribution<size_t>(0, m.size() - 1)(rng));
      Entry e = *it;
      m.erase(it);
      ASSERT_TRUE(f.RemoveKey(ft, e.first, e.second)) << "op " << i;
      ASSERT_FALSE(f.RemoveKey(ft, e.first, e.second)) << "second removal, op " << i;
    }
    if (i % 97 == 0) {
      ASSERT_EQ(f.KeyCount(ft), m.size()) << "op " << i;
      for (size_t len : {size_t{0}, size_t{1}, size_t{2}, size_t{5}}) {
        Key prefix = StoredKey(tags[t], RandomText(rng, c.width));
        prefix.resize(std::min<size_t>(len, prefix.size()));
        ASSERT_EQ(f.LowerBound(ft, prefix), ModelBound(m, prefix, false)) << "len " << len << " op " << i;
        ASSERT_EQ(f.UpperBound(ft, prefix), ModelBound(m, prefix, true)) << "len " << len << " op " << i;
      }
      if (!m.empty()) {
        uint64_t rank = std::uniform_int_distribution<uint64_t>(0, m.size() - 1)(rng);
        auto it = std::next(m.begin(), static_cast<std::ptrdiff_t>(rank));
        Key k(tags[t].layout.keyLength());
        ASSERT_EQ(f.EntryAt(ft, rank, k.data()), it->second) << "op " << i;
        ASSERT_EQ(k, it->first) << "op " << i;
        ASSERT_EQ(f.RankOf(ft, it->first, it->second), rank) << "op " << i;
      }
    }
    if (i % 1000 == 999) {
      ASSERT_EQ(Contents(f, ft), std::vector<Entry>(m.begin(), m.end())) << defs[t].name << " op " << i;
      // Written out and checked as another reader of the file would find it.
      f.Commit();
      auto reader = IndexFile::Open(f.path(), true);
      reader->Verify();
      ASSERT_EQ(Contents(*reader, ft), std::vector<Entry>(m.begin(), m.end())) << defs[t].name << " op " << i;
    }
  }
  for (auto& f : files) {
    f->Commit();
    f->Verify();
  }
  files.clear();

  for (size_t t = 0; t < tags.size(); ++t) {
    auto g = IndexFile::Open(paths[t]);
    g->Verify();
    ASSERT_EQ(Contents(*g, tagInFile[t]), std::vector<Entry>(model[t].begin(), model[t].end())) << defs[t].name;
    uint64_t rank = 0;
    for (const Entry& e : model[t]) ASSERT_EQ(g->RankOf(tagInFile[t], e.first, e.second), rank++);
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, DbfIndexModel,
                         ::testing::Values(FormatCase{".ntx", 6, 3000}, FormatCase{".ntx", 200, 700},
                                           FormatCase{".ntx", 10, 0}, FormatCase{".cdx", 6, 3000},
                                           FormatCase{".cdx", 200, 700}, FormatCase{".cdx", 10, 0}),
                         [](const auto& info) {
                           return std::string(info.param.extension + 1) + "Width" + std::to_string(info.param.width) +
                                  "Records" + std::to_string(info.param.records);
                         });

}  // namespace
}  // namespace engine
