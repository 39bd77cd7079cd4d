// Rebuilds: sorted runs and their merge give the same file as an in-memory sort; progress runs
// from 0 to 100; a cancelled or failed rebuild leaves the previous file untouched.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>

#include "engine/core/error.h"
#include "engine/index/index_file.h"
#include "engine/index/key_builder.h"
#include "engine/index/key_sorter.h"
#include "engine/index/rebuild.h"
#include "engine/index/page_format.h"
#include "engine/index/tree_writer.h"
#include "engine/storage/storage.h"
#include "support/index_test_support.h"
#include "test_env.h"

namespace engine {
namespace {

using indextest::Bytes;
using indextest::ReadAll;

class IndexRebuild : public ::testing::Test {
 protected:
  void SetUp() override {
    defs_ = {indextest::RawTag("A", 5), indextest::RawTag("B", 12, index::kTagDescending), indextest::RawTag("U", 2, index::kTagUnique)};
    std::vector<index::TagInfo> tags = index::PrepareTags(defs_, 1024);
    std::mt19937 rng(21);
    for (int r = 0; r < 50000; ++r) {
      std::vector<std::optional<indextest::Key>> keys;
      for (size_t t = 0; t < tags.size(); ++t) {
        index::KeyBuilder b(tags[t].layout);
        indextest::Key p = indextest::RandomKey(rng, defs_[t].segments[0].width, 20);
        b.SetRaw(0, p.data(), p.size());
        keys.emplace_back(indextest::Key(b.Key().begin(), b.Key().end()));
      }
      if (r % 3 == 0) keys[0].reset();
      src_.records.push_back(keys);
    }
  }

  testenv::TempDir dir_;
  std::vector<index::TagDef> defs_;
  indextest::MemoryKeySource src_;
};

// Sorted in memory or merged from runs, on one thread or on several, a rebuild writes the same
// file byte for byte, holding the model's entries. With the unique tag first, the trees after it
// are placed by its count of distinct keys, which a merge knows only once it is written.
TEST_F(IndexRebuild, EveryWayOfSortingGivesTheSameFile) {
  struct Way {
    const char* name;
    size_t budget;
    bool parallel;
  } ways[] = {
      {"in memory, one thread", index::kDefaultRebuildMemoryBudget, false},
      {"in memory, parallel", index::kDefaultRebuildMemoryBudget, true},
      {"runs, one thread", 1, false},  // raised to the minimum, still far below the keys
      {"runs, parallel", 1, true},
  };
  for (bool uniqueFirst : {false, true}) {
    SCOPED_TRACE(uniqueFirst ? "unique tag first" : "unique tag last");
    std::vector<index::TagDef> defs = defs_;
    indextest::MemoryKeySource src = src_;
    if (uniqueFirst) {
      std::rotate(defs.begin(), defs.end() - 1, defs.end());
      for (auto& keys : src.records) std::rotate(keys.begin(), keys.end() - 1, keys.end());
    }
    Bytes first;
    uint64_t firstKeys = 0;
    for (const Way& way : ways) {
      SCOPED_TRACE(way.name);
      index::RebuildOptions o;
      o.memoryBudget = way.budget;
      o.parallelSort = way.parallel;
      auto path = dir_.path() / "w.adi";
      index::RebuildStats stats = index::RebuildIndexFile(path, 1024, defs, src, o);
      if (way.budget == 1) {
        EXPECT_GT(stats.runs, defs.size());
      } else {
        EXPECT_EQ(stats.runs, 0u);
      }
      if (first.empty()) {
        first = ReadAll(path);
        firstKeys = stats.keys;
        auto f = index::IndexFile::Open(path);
        f->Verify();
        for (size_t t = 0; t < defs.size(); ++t) {
          std::set<indextest::Entry> m = indextest::ExpectedEntries(src, t, defs[t].options);
          ASSERT_EQ(f->KeyCount(t), m.size());
          indextest::Key k(f->tag(t).layout.keyLength());
          uint64_t r = 0;
          for (const auto& e : m) {
            uint32_t recno = f->EntryAt(t, r++, k.data());
            ASSERT_EQ(recno, e.second);
            ASSERT_EQ(k, e.first);
          }
        }
      } else {
        EXPECT_EQ(stats.keys, firstKeys);
        EXPECT_EQ(ReadAll(path), first);
      }
    }
  }
}

// The in-place radix sort orders entries as memcmp does, whatever the keys look like: random
// bytes, few values, long common prefixes, keys that differ only in the record number, input
// already in order or in reverse, and bucket sizes at the edge of finishing by insertion. A
// sorter whose memory holds only a few entries at a time spills runs and merges them to the
// same sequence.
TEST(KeySorting, EntriesComeOutInByteOrder) {
  struct Case {
    const char* name;
    size_t length;  // key + 4-byte record number
    size_t n;
    int shape;  // 0 random, 1 three byte values, 2 shared 20-byte prefix, 3 one key, 4 ascending, 5 descending
  } cases[] = {
      {"empty", 12, 0, 0},          {"one", 12, 1, 0},
      {"insertion edge", 9, 24, 0}, {"radix edge", 9, 25, 0},
      {"random", 12, 20000, 0},     {"few values", 34, 20000, 1},
      {"long prefix", 34, 5000, 2}, {"one key", 14, 3000, 3},
      {"ascending", 8, 5000, 4},    {"descending", 8, 5000, 5},
      {"short entries", 5, 20000, 0},
  };
  std::mt19937 rng(7);
  testenv::TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const size_t keyLength = c.length - 4;
    std::vector<Bytes> entries;
    for (size_t i = 0; i < c.n; ++i) {
      Bytes e(c.length);
      for (size_t b = 0; b < keyLength; ++b) {
        switch (c.shape) {
          case 0: e[b] = static_cast<uint8_t>(rng()); break;
          case 1: e[b] = static_cast<uint8_t>("a Z"[rng() % 3]); break;
          case 2: e[b] = b < 20 ? 'p' : static_cast<uint8_t>(rng()); break;
          case 3: e[b] = 'k'; break;
          case 4: e[b] = b + 4 < keyLength ? 0 : static_cast<uint8_t>(i >> (8 * (keyLength - 1 - b))); break;
          case 5: e[b] = b + 4 < keyLength ? 0 : static_cast<uint8_t>((c.n - i) >> (8 * (keyLength - 1 - b))); break;
        }
      }
      StoreBE32(e.data() + keyLength, static_cast<uint32_t>(rng() % 1000 * 100000 + i));  // unique
      entries.push_back(e);
    }
    std::vector<Bytes> expected = entries;
    std::sort(expected.begin(), expected.end());

    Bytes flat;
    for (const Bytes& e : entries) flat.insert(flat.end(), e.begin(), e.end());
    index::SortEntries(flat.data(), c.n, c.length);
    for (size_t i = 0; i < c.n; ++i) ASSERT_EQ(Bytes(flat.begin() + i * c.length, flat.begin() + (i + 1) * c.length), expected[i]) << i;

    for (size_t capacity : {c.length * 1000, size_t{1} << 20}) {
      index::KeySorter sorter(c.length, dir.path(), capacity);
      for (const Bytes& e : entries) sorter.Add(e.data(), keyLength, LoadBE32(e.data() + keyLength));
      std::vector<Bytes> out;
      sorter.Drain([&](const uint8_t* e) { out.emplace_back(e, e + c.length); }, 4096);
      EXPECT_EQ(sorter.Total(), 0u);
      ASSERT_EQ(out, expected) << "capacity " << capacity;
    }
  }
}

// The page count a tree is placed by before it is written is the count its writer takes, at the
// edges of full leaves and full inner pages.
TEST_F(IndexRebuild, ATreeTakesThePagesForeseenForIt) {
  constexpr uint32_t kPageSize = 512;
  constexpr size_t kEntry = 60;
  const uint64_t leaf = index::LeafCapacity(kPageSize, kEntry);
  const uint64_t inner = index::InnerCapacity(kPageSize, kEntry);
  for (uint64_t n : {uint64_t{0}, uint64_t{1}, leaf - 1, leaf, leaf + 1, leaf * inner, leaf * inner + 1,
                     leaf * inner * inner, leaf * inner * inner + 1, leaf * inner * inner * 3 + 7}) {
    SCOPED_TRACE(n);
    auto file = storage::OpenFile((dir_.path() / "tree").string(), storage::OpenMode::kCreate, err::kIndexIoError);
    index::PageWriter pages(*file, kPageSize, 3, 4096);
    index::TreeWriter tree(pages, 1, kEntry);
    std::vector<uint8_t> e(kEntry, 0);
    for (uint64_t i = 0; i < n; ++i) {
      StoreBE32(e.data() + kEntry - 4, static_cast<uint32_t>(i));
      tree.Add(e.data());
    }
    uint32_t root = 0;
    uint8_t height = 0;
    tree.Finish(root, height);
    pages.Finish();
    EXPECT_EQ(pages.nextPage() - 3, index::TreeWriter::PagesFor(n, kPageSize, kEntry));
    EXPECT_EQ(file->Size(), uint64_t{pages.nextPage()} * kPageSize * (n > 0));
  }
}

TEST_F(IndexRebuild, ProgressRisesToOneHundred) {
  std::vector<unsigned> seen;
  index::RebuildOptions o;
  o.progress = [&](unsigned p) {
    seen.push_back(p);
    return true;
  };
  index::RebuildIndexFile(dir_.path() / "p.adi", 1024, defs_, src_, o);
  ASSERT_GE(seen.size(), 3u);
  EXPECT_EQ(seen.front(), 0u);
  EXPECT_EQ(seen.back(), 100u);
  for (size_t i = 1; i < seen.size(); ++i) EXPECT_GT(seen[i], seen[i - 1]);
}

// Stopping through the progress callback, at the pass over records or while trees are written,
// leaves the previous file exactly as it was and no work file behind.
TEST_F(IndexRebuild, CancelledRebuildLeavesThePreviousFile) {
  auto path = dir_.path() / "c.adi";
  indextest::MemoryKeySource small;
  small.records = {{indextest::RawKey({1, 2, 3, 4, 5}), std::nullopt, std::nullopt}};
  index::RebuildIndexFile(path, 1024, defs_, small);
  Bytes before = ReadAll(path);
  for (unsigned stopAt : {10u, 75u, 99u}) {
    SCOPED_TRACE(stopAt);
    index::RebuildOptions o;
    o.progress = [&](unsigned p) { return p < stopAt; };
    try {
      index::RebuildIndexFile(path, 1024, defs_, src_, o);
      ADD_FAILURE() << "not cancelled";
    } catch (const EngineError& e) {
      EXPECT_EQ(e.code(), err::kRebuildCancelled);
    }
    EXPECT_EQ(ReadAll(path), before);
    EXPECT_FALSE(std::filesystem::exists(index::RebuildWorkPath(path)));
  }
}

// The budget comes from ACE_REBUILD_MEMORY_MB when it holds a positive whole number; anything
// else leaves the default. A small budget from the environment makes a rebuild spill runs.
TEST_F(IndexRebuild, MemoryBudgetComesFromTheEnvironment) {
  struct Case {
    const char* value;  // nullptr: unset
    size_t budget;
  } cases[] = {
      {nullptr, index::kDefaultRebuildMemoryBudget}, {"", index::kDefaultRebuildMemoryBudget},
      {"64", size_t{64} << 20},               {"1", size_t{1} << 20},
      {"0", index::kDefaultRebuildMemoryBudget},     {"-5", index::kDefaultRebuildMemoryBudget},
      {"12x", index::kDefaultRebuildMemoryBudget},   {"many", index::kDefaultRebuildMemoryBudget},
      {"99999999999999999999999", index::kDefaultRebuildMemoryBudget},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value ? c.value : "(unset)");
    if (c.value) {
      setenv("ACE_REBUILD_MEMORY_MB", c.value, 1);
    } else {
      unsetenv("ACE_REBUILD_MEMORY_MB");
    }
    EXPECT_EQ(index::DefaultRebuildMemoryBudget(), c.budget);
    EXPECT_EQ(index::RebuildOptions().memoryBudget, c.budget);
  }
  setenv("ACE_REBUILD_MEMORY_MB", "1", 1);
  index::RebuildStats spilled = index::RebuildIndexFile(dir_.path() / "env.adi", 1024, defs_, src_);
  unsetenv("ACE_REBUILD_MEMORY_MB");
  EXPECT_GT(spilled.runs, defs_.size());
  index::RebuildStats inMemory = index::RebuildIndexFile(dir_.path() / "default.adi", 1024, defs_, src_);
  EXPECT_EQ(inMemory.runs, 0u);
  EXPECT_EQ(ReadAll(dir_.path() / "env.adi"), ReadAll(dir_.path() / "default.adi"));
}

}  // namespace
}  // namespace engine
