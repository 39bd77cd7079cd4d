// Navigation along a tag against a model: first, last, skips, soft and hard seeks, seek last,
// key numbers, counts and relative positions within random scopes, and a cursor whose entry is
// removed under it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "engine/index/index_file.h"
#include "engine/index/key_builder.h"
#include "engine/index/rebuild.h"
#include "engine/index/tag_cursor.h"
#include "support/index_test_support.h"
#include "test_env.h"

namespace engine {
namespace {

using indextest::Entry;
using indextest::Key;

Key Stored(const index::TagInfo& t, const Key& payload) {
  index::KeyBuilder b(t.layout);
  b.SetRaw(0, payload.data(), payload.size());
  auto k = b.Key();
  return Key(k.begin(), k.end());
}

bool StartsWith(const Key& k, const Key& prefix) {
  return std::memcmp(k.data(), prefix.data(), prefix.size()) == 0;
}

class IndexCursorModel : public ::testing::TestWithParam<uint32_t> {
 protected:
  void SetUp() override {
    defs_ = {indextest::RawTag("ASC", 3), indextest::RawTag("DESC", 3, index::kTagDescending)};
    tags_ = index::PrepareTags(defs_, 512);
    std::mt19937 rng(5);
    for (int r = 0; r < 2500; ++r) {
      Key p = indextest::RandomKey(rng, 3, 6);
      src_.records.push_back({Stored(tags_[0], p), Stored(tags_[1], p)});
    }
    path_ = dir_.path() / "n.adi";
    index::RebuildIndexFile(path_, 512, defs_, src_);
    file_ = index::IndexFile::Open(path_);
  }

  testenv::TempDir dir_;
  std::filesystem::path path_;
  std::vector<index::TagDef> defs_;
  std::vector<index::TagInfo> tags_;
  indextest::MemoryKeySource src_;
  std::unique_ptr<index::IndexFile> file_;
};

TEST_P(IndexCursorModel, NavigationWithinScopesMatchesTheModel) {
  const size_t tag = GetParam();
  std::set<Entry> set = indextest::ExpectedEntries(src_, tag, 0);
  std::vector<Entry> all(set.begin(), set.end());
  std::mt19937 rng(17 + tag);
  index::TagCursor cur(*file_, tag);
  auto randomPrefix = [&](size_t maxLen) {
    Key k = Stored(tags_[tag], indextest::RandomKey(rng, 3, 6));
    k.resize(std::uniform_int_distribution<size_t>(1, maxLen)(rng));
    return k;
  };
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    // Scope: none, top only, bottom only or both; bounds may cross (empty scope).
    Key top, bottom;
    cur.ClearScope(index::ScopeBound::kTop);
    cur.ClearScope(index::ScopeBound::kBottom);
    if (round % 4 == 1 || round % 4 == 3) {
      top = randomPrefix(3);
      cur.SetScope(index::ScopeBound::kTop, top);
    }
    if (round % 4 >= 2) {
      bottom = randomPrefix(3);
      cur.SetScope(index::ScopeBound::kBottom, bottom);
    }
    std::vector<Entry> vis;
    for (const Entry& e : all) {
      bool inTop = top.empty() || std::memcmp(e.first.data(), top.data(), top.size()) >= 0;
      bool inBottom = bottom.empty() || std::memcmp(e.first.data(), bottom.data(), bottom.size()) <= 0;
      if (inTop && inBottom) vis.push_back(e);
    }
    ASSERT_EQ(cur.KeyCount(), vis.size());
    if (vis.empty()) {
      EXPECT_FALSE(cur.First());
      EXPECT_TRUE(cur.atBOF() && cur.atEOF());
      EXPECT_FALSE(cur.Seek(randomPrefix(2), index::SeekType::kSoft));
      continue;
    }
    // Forward walk, then backward walk.
    ASSERT_TRUE(cur.First());
    for (size_t i = 0; i < vis.size(); ++i) {
      ASSERT_TRUE(cur.onEntry());
      ASSERT_EQ(Key(cur.key().begin(), cur.key().end()), vis[i].first);
      ASSERT_EQ(cur.recno(), vis[i].second);
      ASSERT_EQ(cur.KeyNumber(), i + 1);
      ASSERT_EQ(cur.Skip(1), i + 1 < vis.size());
    }
    EXPECT_TRUE(cur.atEOF());
    EXPECT_DOUBLE_EQ(cur.RelativePosition(), 1.0);
    ASSERT_TRUE(cur.Skip(-1));
    EXPECT_EQ(cur.recno(), vis.back().second);
    ASSERT_TRUE(cur.Last());
    for (size_t i = vis.size(); i-- > 0;) {
      ASSERT_EQ(cur.recno(), vis[i].second);
      ASSERT_EQ(cur.Skip(-1), i > 0);
    }
    EXPECT_TRUE(cur.atBOF());
    EXPECT_EQ(cur.recno(), vis.front().second);  // BOF stands on the first entry

    // Seeks with random partial keys.
    for (int s = 0; s < 20; ++s) {
      Key k = randomPrefix(3);
      size_t rank = 0;
      while (rank < vis.size() && std::memcmp(vis[rank].first.data(), k.data(), k.size()) < 0) ++rank;
      bool found = rank < vis.size() && StartsWith(vis[rank].first, k);
      ASSERT_EQ(cur.Seek(k, index::SeekType::kSoft), found);
      if (rank < vis.size()) {
        ASSERT_TRUE(cur.onEntry());
        ASSERT_EQ(cur.recno(), vis[rank].second);
        ASSERT_EQ(cur.KeyNumber(), rank + 1);
      } else {
        ASSERT_TRUE(cur.atEOF());
      }
      ASSERT_EQ(cur.Seek(k, index::SeekType::kHard), found);
      ASSERT_EQ(cur.atEOF(), !found);
      size_t last = vis.size();
      for (size_t i = 0; i < vis.size(); ++i) {
        if (StartsWith(vis[i].first, k)) last = i;
      }
      ASSERT_EQ(cur.SeekLast(k), last < vis.size());
      if (last < vis.size()) {
        ASSERT_EQ(cur.recno(), vis[last].second);
      }
    }
    // Relative positions and random skips.
    for (int s = 0; s < 10; ++s) {
      double p = std::uniform_real_distribution<double>(0.0, 1.0)(rng);
      ASSERT_TRUE(cur.SetRelativePosition(p));
      size_t want = static_cast<size_t>(std::llround(p * static_cast<double>(vis.size() - 1)));
      ASSERT_EQ(cur.recno(), vis[want].second);
      double back = cur.RelativePosition();
      ASSERT_NEAR(back, vis.size() > 1 ? static_cast<double>(want) / static_cast<double>(vis.size() - 1) : 0.0, 1e-12);
      int64_t n = std::uniform_int_distribution<int64_t>(-50, 50)(rng);
      int64_t target = static_cast<int64_t>(want) + n;
      bool on = cur.Skip(n);
      if (target < 0) {
        ASSERT_FALSE(on);
        ASSERT_TRUE(cur.atBOF());
      } else if (target >= static_cast<int64_t>(vis.size())) {
        ASSERT_FALSE(on);
        ASSERT_TRUE(cur.atEOF());
      } else {
        ASSERT_TRUE(on);
        ASSERT_EQ(cur.recno(), vis[static_cast<size_t>(target)].second);
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Tags, IndexCursorModel, ::testing::Values(0u, 1u),
                         [](const auto& info) { return info.param == 0 ? "Ascending" : "Descending"; });

// The cursor keeps its place when its own entry is removed: a skip forward reaches the entry
// that followed, a skip backward the one before; a seek to a removed record's entry fails.
TEST_F(IndexCursorModel, CursorSurvivesRemovalOfItsEntry) {
  std::set<Entry> set = indextest::ExpectedEntries(src_, 0, 0);
  std::vector<Entry> all(set.begin(), set.end());
  index::TagCursor cur(*file_, 0);
  ASSERT_TRUE(cur.SetRelativePosition(0.5));
  size_t at = cur.KeyNumber() - 1;
  Entry here = all[at];
  ASSERT_TRUE(file_->RemoveKey(0, here.first, here.second));
  ASSERT_TRUE(cur.Skip(1));
  EXPECT_EQ(cur.recno(), all[at + 1].second);
  ASSERT_TRUE(file_->RemoveKey(0, all[at + 1].first, all[at + 1].second));
  ASSERT_TRUE(cur.Skip(-1));
  EXPECT_EQ(cur.recno(), all[at - 1].second);
  EXPECT_FALSE(cur.GotoEntry(here.first, here.second));
  EXPECT_TRUE(cur.atEOF());
  EXPECT_TRUE(cur.GotoEntry(all[at + 2].first, all[at + 2].second));
  EXPECT_EQ(cur.KeyNumber(), at + 1);  // two entries before it are gone
}

}  // namespace
}  // namespace engine
