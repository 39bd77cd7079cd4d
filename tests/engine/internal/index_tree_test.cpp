// Index files against an in-memory model: rebuilt contents, insertions and deletions under the
// rules of plain, descending, unique, candidate and conditional tags, bounds and ranks, and the
// same contents after closing and reopening.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <random>

#include "engine/core/error.h"
#include "engine/index/index_file.h"
#include "engine/index/key_builder.h"
#include "engine/index/rebuild.h"
#include "support/index_test_support.h"
#include "test_env.h"

namespace engine {
namespace {

using indextest::Entry;
using indextest::Contents;
using indextest::Key;


std::vector<uint32_t> RecordsAt(index::IndexFile& f, size_t tag, uint64_t from, uint64_t to) {
  std::vector<uint32_t> out;
  f.RecordsAt(tag, from, to, &out);
  return out;
}

std::vector<uint32_t> ModelRecords(const std::set<Entry>& m, uint64_t from, uint64_t to) {
  std::vector<uint32_t> out;
  uint64_t rank = 0;
  for (const Entry& e : m) {
    if (rank >= from && rank < to) out.push_back(e.second);
    ++rank;
  }
  return out;
}

// Rank in the model of the first entry whose first prefix.size() bytes are >= / > prefix.
uint64_t ModelBound(const std::set<Entry>& m, const Key& prefix, bool upper) {
  uint64_t rank = 0;
  for (const Entry& e : m) {
    int c = std::memcmp(e.first.data(), prefix.data(), prefix.size());
    if (upper ? c > 0 : c >= 0) break;
    ++rank;
  }
  return rank;
}

// Stored-form key of a raw payload for a tag (descending tags invert it).
Key StoredKey(const index::TagInfo& t, const Key& payload) {
  index::KeyBuilder b(t.layout);
  b.SetRaw(0, payload.data(), payload.size());
  auto k = b.Key();
  return Key(k.begin(), k.end());
}

struct TreeCase {
  uint32_t pageSize;
  int records;
};

class IndexTreeModel : public ::testing::TestWithParam<TreeCase> {};

// Four tags over the same records: plain, descending, unique, conditional. The rebuilt file
// holds exactly the model's entries; then thousands of random additions and removals keep file
// and model equal, bounds and ranks included, and the file reopens with the same contents.
TEST_P(IndexTreeModel, RebuildInsertDeleteAndReopenAgreeWithModel) {
  const TreeCase c = GetParam();
  testenv::TempDir dir;
  auto path = dir.path() / "t.adi";
  std::vector<index::TagDef> defs = {indextest::RawTag("PLAIN", 3), indextest::RawTag("DESC", 3, index::kTagDescending),
                              indextest::RawTag("UNIQ", 3, index::kTagUnique), indextest::RawTag("COND", 3)};
  std::vector<index::TagInfo> tags = index::PrepareTags(defs, c.pageSize);
  std::mt19937 rng(c.pageSize + c.records);
  indextest::MemoryKeySource src;
  std::vector<Key> payloadOf;  // per record, the payload every tag indexes
  for (int r = 0; r < c.records; ++r) {
    Key p = indextest::RandomKey(rng, 3, 5);
    payloadOf.push_back(p);
    std::vector<std::optional<Key>> keys;
    for (size_t t = 0; t < tags.size(); ++t) keys.push_back(StoredKey(tags[t], p));
    if (p[0] == 'a') keys[3].reset();  // the condition excludes keys starting with 'a'
    src.records.push_back(keys);
  }
  index::RebuildIndexFile(path, c.pageSize, defs, src);

  std::vector<std::set<Entry>> model(tags.size());
  for (size_t t = 0; t < tags.size(); ++t) model[t] = indextest::ExpectedEntries(src, t, defs[t].options);

  auto f = index::IndexFile::Open(path);
  ASSERT_EQ(f->tagCount(), tags.size());
  for (size_t t = 0; t < tags.size(); ++t) {
    ASSERT_EQ(Contents(*f, t), std::vector<Entry>(model[t].begin(), model[t].end())) << defs[t].name;
  }
  f->Verify();

  uint32_t nextRecno = static_cast<uint32_t>(c.records + 1);
  std::uniform_int_distribution<int> op(0, 9);
  for (int i = 0; i < 4000; ++i) {
    size_t t = static_cast<size_t>(i % tags.size());
    std::set<Entry>& m = model[t];
    if (op(rng) < 6 || m.empty()) {
      uint32_t recno = (op(rng) < 8) ? nextRecno++ : std::uniform_int_distribution<uint32_t>(1, nextRecno)(rng);
      Key key = StoredKey(tags[t], indextest::RandomKey(rng, 3, 5));
      bool expected = true;
      if (defs[t].options & index::kTagUnique) {
        auto it = m.lower_bound(Entry(key, 0));
        if (it != m.end() && it->first == key) {
          if (it->second < recno) expected = false;
          else if (it->second > recno) m.erase(it);
        }
      }
      if (expected) m.emplace(key, recno);
      ASSERT_EQ(f->AddKey(t, key, recno), expected) << "op " << i;
    } else {
      auto it = m.begin();
      std::advance(it, std::uniform_int_distribution<size_t>(0, m.size() - 1)(rng));
      Entry e = *it;
      m.erase(it);
      ASSERT_TRUE(f->RemoveKey(t, e.first, e.second)) << "op " << i;
      ASSERT_FALSE(f->RemoveKey(t, e.first, e.second)) << "second removal, op " << i;
    }
    if (i % 97 == 0) {
      ASSERT_EQ(f->KeyCount(t), m.size());
      for (size_t len : {size_t{0}, size_t{1}, size_t{2}, size_t{4}}) {
        Key prefix = StoredKey(tags[t], indextest::RandomKey(rng, 3, 5));
        prefix.resize(len);
        ASSERT_EQ(f->LowerBound(t, prefix), ModelBound(m, prefix, false)) << "len " << len;
        ASSERT_EQ(f->UpperBound(t, prefix), ModelBound(m, prefix, true)) << "len " << len;
      }
      // A run of ranks read leaf by leaf: from anywhere, across leaves, up to the end.
      const uint64_t from = std::uniform_int_distribution<uint64_t>(0, m.size())(rng);
      const uint64_t to = std::uniform_int_distribution<uint64_t>(from, m.size())(rng);
      ASSERT_EQ(RecordsAt(*f, t, from, to), ModelRecords(m, from, to)) << from << ".." << to;
    }
  }
  for (size_t t = 0; t < tags.size(); ++t) {
    ASSERT_EQ(Contents(*f, t), std::vector<Entry>(model[t].begin(), model[t].end())) << defs[t].name;
  }
  f->Verify();
  f->Flush();
  f.reset();

  auto g = index::IndexFile::Open(path);
  g->Verify();
  for (size_t t = 0; t < tags.size(); ++t) {
    ASSERT_EQ(Contents(*g, t), std::vector<Entry>(model[t].begin(), model[t].end())) << defs[t].name;
    ASSERT_EQ(RecordsAt(*g, t, 0, model[t].size()), ModelRecords(model[t], 0, model[t].size())) << defs[t].name;
    // Rank of every present entry, and of absent ones (the next entry's rank).
    uint64_t rank = 0;
    for (const Entry& e : model[t]) {
      ASSERT_EQ(g->RankOf(t, e.first, e.second), rank);
      ++rank;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(PageSizes, IndexTreeModel,
                         ::testing::Values(TreeCase{512, 3000}, TreeCase{512, 0}, TreeCase{4096, 5000},
                                           TreeCase{8192, 1}),
                         [](const auto& info) {
                           return "Page" + std::to_string(info.param.pageSize) + "Records" +
                                  std::to_string(info.param.records);
                         });

// Removing every key one by one shrinks the tree to nothing and frees its pages for reuse:
// filling it again does not grow the file.
TEST(IndexTree, EmptiedTreeReusesItsPages) {
  testenv::TempDir dir;
  auto path = dir.path() / "e.adi";
  std::vector<index::TagDef> defs = {indextest::RawTag("K", 8)};
  indextest::MemoryKeySource none;
  index::RebuildIndexFile(path, 512, defs, none);
  auto f = index::IndexFile::Open(path);
  std::mt19937 rng(11);
  std::vector<Key> keys;
  for (int i = 0; i < 2000; ++i) keys.push_back(indextest::RawKey(indextest::RandomKey(rng, 8, 26)));
  for (size_t i = 0; i < keys.size(); ++i) ASSERT_TRUE(f->AddKey(0, keys[i], static_cast<uint32_t>(i + 1)));
  f->Flush();
  uint64_t fullSize = std::filesystem::file_size(path);
  for (size_t i = 0; i < keys.size(); ++i) ASSERT_TRUE(f->RemoveKey(0, keys[i], static_cast<uint32_t>(i + 1)));
  EXPECT_EQ(f->KeyCount(0), 0u);
  EXPECT_EQ(f->tag(0).height, 0);
  for (size_t i = 0; i < keys.size(); ++i) ASSERT_TRUE(f->AddKey(0, keys[i], static_cast<uint32_t>(i + 1)));
  f->Flush();
  f->Verify();
  EXPECT_EQ(std::filesystem::file_size(path), fullSize);
}

// Candidate tags refuse a second record with the same key, at rebuild and when adding; the
// failed rebuild leaves the previous file as it was.
TEST(IndexTree, CandidateTagsRefuseDuplicates) {
  testenv::TempDir dir;
  auto path = dir.path() / "c.adi";
  std::vector<index::TagDef> defs = {indextest::RawTag("CAND", 2, index::kTagCandidate)};
  indextest::MemoryKeySource src;
  src.records = {{indextest::RawKey({'a', 'b'})}, {indextest::RawKey({'c', 'd'})}};
  index::RebuildIndexFile(path, 1024, defs, src);
  auto before = std::filesystem::file_size(path);
  {
    auto f = index::IndexFile::Open(path);
    EXPECT_TRUE(f->AddKey(0, indextest::RawKey({'a', 'b'}), 1));  // the same entry again is fine
    try {
      f->AddKey(0, indextest::RawKey({'a', 'b'}), 3);
      ADD_FAILURE() << "duplicate accepted";
    } catch (const EngineError& e) {
      EXPECT_EQ(e.code(), err::kDuplicateKey);
      EXPECT_NE(std::string(e.what()).find("CAND"), std::string::npos);
    }
    EXPECT_EQ(f->KeyCount(0), 2u);
  }
  src.records.push_back({indextest::RawKey({'c', 'd'})});
  try {
    index::RebuildIndexFile(path, 1024, defs, src);
    ADD_FAILURE() << "rebuild with duplicates accepted";
  } catch (const EngineError& e) {
    EXPECT_EQ(e.code(), err::kDuplicateKey);
  }
  EXPECT_EQ(std::filesystem::file_size(path), before);
  EXPECT_FALSE(std::filesystem::exists(index::RebuildWorkPath(path)));
  auto f = index::IndexFile::Open(path);
  EXPECT_EQ(Contents(*f, 0).size(), 2u);
}

// Definitions that cannot make a file are refused before anything is written.
TEST(IndexTree, BadDefinitionsAreRefused) {
  testenv::TempDir dir;
  indextest::MemoryKeySource none;
  index::TagDef longName = indextest::RawTag(std::string(129, 'N'), 4);
  index::TagDef both = indextest::RawTag("BOTH", 4, index::kTagUnique | index::kTagCandidate);
  index::TagDef unknown = indextest::RawTag("COLL", 4);
  unknown.collation = "NOT_A_COLLATION";
  struct Case {
    std::vector<index::TagDef> defs;
    ErrorCode code;
  };
  const Case cases[] = {
      {{indextest::RawTag("A", 4), indextest::RawTag("a", 4)}, err::kInvalidTagDefinition},
      {{longName}, err::kInvalidTagDefinition},
      {{both}, err::kInvalidTagDefinition},
      {{unknown}, err::kUnknownCollation},
  };
  for (const Case& c : cases) {
    try {
      index::RebuildIndexFile(dir.path() / "x.adi", 512, c.defs, none);
      ADD_FAILURE() << "accepted";
    } catch (const EngineError& e) {
      EXPECT_EQ(e.code(), c.code) << e.what();
    }
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "x.adi"));
  }
}

// The collation a tag was built with is recorded; opening with another one is detected for
// tags with text, never for tags without.
TEST(IndexTree, CollationOfEachTagIsRecordedAndChecked) {
  testenv::TempDir dir;
  auto path = dir.path() / "k.adi";
  index::TagDef name;
  name.name = "NAME";
  name.expression = "NAME";
  name.collation = "GERMAN_VFP_CI_AS_1252";
  name.segments = {{index::SegmentKind::kString, 20}};
  index::TagDef number = name;
  number.name = "NUM";
  number.keyType = index::kKeyTypeNumeric;
  number.segments = {{index::SegmentKind::kInteger}};
  indextest::MemoryKeySource none;
  index::RebuildIndexFile(path, 2048, {name, number}, none);
  auto f = index::IndexFile::Open(path);
  EXPECT_EQ(f->tag(0).def.collation, "GERMAN_VFP_CI_AS_1252");
  EXPECT_NE(f->tag(0).collationVersion, 0u);
  EXPECT_EQ(f->CollationMismatches("GERMAN_VFP_CI_AS_1252"), std::vector<size_t>{});
  EXPECT_EQ(f->CollationMismatches("german_vfp_ci_as_1252"), std::vector<size_t>{});
  EXPECT_EQ(f->CollationMismatches("ANSI"), std::vector<size_t>{0});
  EXPECT_EQ(f->CollationMismatches(""), std::vector<size_t>{});
  EXPECT_EQ(f->FindTag("name"), 0);
  EXPECT_EQ(f->FindTag("NUM"), 1);
  EXPECT_EQ(f->FindTag("NUMBER"), -1);
}

}  // namespace
}  // namespace engine

namespace engine {
namespace {

// Two opens of one file (as two processes have): what one flushes, the other picks up at its
// next revalidation, with its cached pages dropped.
TEST(IndexTree, RevalidationPicksUpChangesOfAnotherOpen) {
  testenv::TempDir dir;
  auto path = dir.path() / "r.adi";
  indextest::MemoryKeySource src;
  for (uint8_t c = 'a'; c <= 'z'; ++c) src.records.push_back({indextest::RawKey({c, c})});
  index::RebuildIndexFile(path, 512, {indextest::RawTag("K", 2)}, src);
  auto writer = index::IndexFile::Open(path);
  auto reader = index::IndexFile::Open(path);
  EXPECT_FALSE(reader->Revalidate());
  EXPECT_EQ(reader->KeyCount(0), 26u);
  for (uint32_t r = 100; r < 400; ++r) {
    ASSERT_TRUE(writer->AddKey(0, indextest::RawKey({'m', static_cast<uint8_t>(r % 251)}), r));
  }
  writer->Flush();
  EXPECT_TRUE(reader->Revalidate());
  EXPECT_EQ(reader->KeyCount(0), 326u);
  EXPECT_EQ(reader->changeCounter(), writer->changeCounter());
  reader->Verify();
  EXPECT_FALSE(reader->Revalidate());
}

}  // namespace
}  // namespace engine
