// Rebuilds: sorted runs and their merge give the same file as an in-memory sort; progress runs
// from 0 to 100; a cancelled or failed rebuild leaves the previous file untouched.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <random>

#include "engine/core/error.h"
#include "engine/index/index_file.h"
#include "engine/index/key_builder.h"
#include "engine/index/rebuild.h"
#include "support/index_test_support.h"
#include "test_env.h"

namespace engine {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadAll(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

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

// With a budget far below the keys' size the rebuild spills runs and merges them; the file it
// writes is byte for byte the file of an in-memory rebuild, and holds the model's entries.
TEST_F(IndexRebuild, MergedRunsGiveTheSameFileAsAnInMemorySort) {
  index::RebuildOptions big;
  index::RebuildStats inMemory = index::RebuildIndexFile(dir_.path() / "mem.adi", 1024, defs_, src_, big);
  EXPECT_EQ(inMemory.runs, 0u);
  index::RebuildOptions small;
  small.memoryBudget = 1;  // raised to the minimum, still far below the keys
  small.parallelSort = false;
  index::RebuildStats merged = index::RebuildIndexFile(dir_.path() / "runs.adi", 1024, defs_, src_, small);
  EXPECT_GT(merged.runs, defs_.size());
  EXPECT_EQ(merged.keys, inMemory.keys);
  EXPECT_EQ(ReadAll(dir_.path() / "mem.adi"), ReadAll(dir_.path() / "runs.adi"));

  auto f = index::IndexFile::Open(dir_.path() / "runs.adi");
  f->Verify();
  for (size_t t = 0; t < defs_.size(); ++t) {
    std::set<indextest::Entry> m = indextest::ExpectedEntries(src_, t, defs_[t].options);
    ASSERT_EQ(f->KeyCount(t), m.size());
    indextest::Key k(f->tag(t).layout.keyLength());
    uint64_t r = 0;
    for (const auto& e : m) {
      uint32_t recno = f->EntryAt(t, r++, k.data());
      ASSERT_EQ(recno, e.second);
      ASSERT_EQ(k, e.first);
    }
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
