// A rebuild killed with SIGKILL at any moment leaves an index file that opens complete: the
// previous one or the new one, byte for byte, never a mixture or a torn file: native, CDX and
// NTX files alike.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <optional>
#include <random>
#include <thread>

#include "engine/core/error.h"
#include "engine/index/index_file.h"
#include "engine/index/key_builder.h"
#include "engine/index/rebuild.h"
#include "support/index_test_support.h"
#include "support/kill_delays.h"
#include "test_env.h"

namespace engine {
namespace {

using indextest::Bytes;
using indextest::ReadAll;

// Keys of the tags in their stored form (an NTX file holds only the first tag).
indextest::MemoryKeySource Source(const std::vector<index::TagInfo>& tags, int records, unsigned seed) {
  indextest::MemoryKeySource src;
  std::mt19937 rng(seed);
  for (int r = 0; r < records; ++r) {
    std::vector<std::optional<indextest::Key>> keys;
    for (const index::TagInfo& t : tags) {
      index::KeyBuilder b(t.layout);
      indextest::Key payload = indextest::RandomKey(rng, t.layout.segments()[0].width, 26);
      b.SetRaw(0, payload.data(), payload.size());
      keys.emplace_back(indextest::Key(b.Key().begin(), b.Key().end()));
    }
    src.records.push_back(keys);
  }
  return src;
}

class IndexRebuildKill : public ::testing::TestWithParam<const char*> {};

TEST_P(IndexRebuildKill, KilledRebuildLeavesTheOldOrTheNewFileComplete) {
  testenv::TempDir dir;
  auto path = dir.path() / (std::string("k.") + GetParam());
  std::vector<index::TagDef> defs = {indextest::RawTag("A", 8), indextest::RawTag("B", 24, index::kTagDescending)};
  if (index::IndexFormatOf(path) == index::IndexFormat::kNtx) defs.resize(1);
  std::vector<index::TagInfo> tags = index::PrepareTags(defs, 1024, index::KeyFormOf(index::IndexFormatOf(path)));
  // Two contents of different sizes; each round rebuilds towards the other one.
  indextest::MemoryKeySource sources[2] = {Source(tags, 150000, 1), Source(tags, 220000, 2)};
  Bytes images[2];
  double seconds = 0;
  for (int i = 0; i < 2; ++i) {
    auto t0 = std::chrono::steady_clock::now();
    index::RebuildIndexFile(path, 1024, defs, sources[i]);
    seconds = std::max(seconds, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    images[i] = ReadAll(path);
  }
  ASSERT_NE(images[0], images[1]);
  // Kill delays cover the whole rebuild and well beyond (a forked child on a busy machine
  // may take longer than the measured run); at least 16 rounds, more (up to 48) until kills
  // fell on both sides of the rename.
  acetest::KillDelays delays(seconds, 3, 99);
  int current = 1;  // the file now holds images[1]
  int sawOld = 0, sawNew = 0;
  for (int round = 0; round < 48 && (round < 16 || !delays.SawBothSides()); ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    int target = 1 - current;
    auto delay = delays.Next();
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      try {
        index::RebuildIndexFile(path, 1024, defs, sources[target]);
      } catch (const EngineError&) {
        _exit(3);
      }
      _exit(0);
    }
    std::this_thread::sleep_for(delay);
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) == 0));

    Bytes now = ReadAll(path);
    ASSERT_TRUE(now == images[current] || now == images[target]) << "the file is neither the old nor the new one";
    auto f = index::IndexFile::Open(path);
    f->Verify();
    ASSERT_EQ(f->KeyCount(0), sources[now == images[current] ? current : target].records.size());
    if (now == images[target]) {
      current = target;
      ++sawNew;
    } else {
      ++sawOld;
    }
    delays.Saw(current == target);
  }
  // Both outcomes occur over the rounds; otherwise the delays did not cover the rename.
  EXPECT_GT(sawOld, 0);
  EXPECT_GT(sawNew, 0);
  // A stale work file from a killed run does not disturb the next rebuild.
  index::RebuildIndexFile(path, 1024, defs, sources[0]);
  EXPECT_EQ(ReadAll(path), images[0]);
  EXPECT_FALSE(std::filesystem::exists(index::RebuildWorkPath(path)));
}

INSTANTIATE_TEST_SUITE_P(Formats, IndexRebuildKill, ::testing::Values("adi", "cdx", "ntx"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
}  // namespace engine
