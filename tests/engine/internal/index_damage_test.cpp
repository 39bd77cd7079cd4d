// Damaged index files give clear errors, never a crash: garbage, truncation, a bad header,
// another format version, a damaged tree page, an update that was interrupted.
#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "engine/core/error.h"
#include "engine/core/checksum.h"
#include "engine/index/index_file.h"
#include "engine/index/page_format.h"
#include "engine/index/rebuild.h"
#include "support/index_test_support.h"
#include "test_env.h"

namespace engine {
namespace {

using indextest::Bytes;
using indextest::ReadAll;

void WriteAll(const std::filesystem::path& p, const Bytes& b) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

constexpr uint32_t kPage = 512;

class IndexDamage : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.path() / "d.adi";
    std::mt19937 rng(1);
    for (int r = 0; r < 3000; ++r) src_.records.push_back({indextest::RawKey(indextest::RandomKey(rng, 6, 26))});
    index::RebuildIndexFile(path_, kPage, {indextest::RawTag("K", 6)}, src_);
    good_ = ReadAll(path_);
  }

  // Opens the file and reads everything; returns the error code (0 when all went well).
  ErrorCode OpenAndReadAll() {
    try {
      auto f = index::IndexFile::Open(path_);
      Bytes k(f->tag(0).layout.keyLength());
      uint64_t n = f->KeyCount(0);
      for (uint64_t r = 0; r < n; ++r) f->EntryAt(0, r, k.data());
      f->Verify();
      return 0;
    } catch (const EngineError& e) {
      EXPECT_FALSE(std::string(e.what()).empty());
      return e.code();
    }
  }

  testenv::TempDir dir_;
  std::filesystem::path path_;
  indextest::MemoryKeySource src_;
  Bytes good_;
};

TEST_F(IndexDamage, DamagedFilesGiveClearErrors) {
  ASSERT_EQ(OpenAndReadAll(), 0u);
  auto resealed = [](Bytes b, size_t at, uint32_t value) {
    StoreLE<uint32_t>(b.data() + at, value);
    index::SealPage(b.data(), kPage);
    return b;
  };
  Bytes garbage(good_.size());
  std::mt19937 rng(9);
  for (auto& c : garbage) c = static_cast<uint8_t>(rng());
  Bytes flippedHeader = good_;
  flippedHeader[60] ^= 0x40;
  Bytes flippedTree = good_;
  flippedTree[good_.size() / 2] ^= 0x01;
  Bytes lastPageGone(good_.begin(), good_.end() - kPage);
  Bytes badCount = good_;
  // A tree page whose entry count exceeds its capacity, with a valid checksum.
  StoreLE<uint16_t>(badCount.data() + kPage * 3 + 6, 999);
  index::SealPage(badCount.data() + kPage * 3, kPage);

  struct Case {
    const char* what;
    Bytes bytes;
    ErrorCode code;
  };
  const Case cases[] = {
      {"empty file", {}, err::kIndexFileCorrupt},
      {"garbage", garbage, err::kIndexFileCorrupt},
      {"cut in the header", Bytes(good_.begin(), good_.begin() + 100), err::kIndexFileCorrupt},
      {"last page missing", lastPageGone, err::kIndexFileCorrupt},
      {"header byte changed", flippedHeader, err::kIndexFileCorrupt},
      {"tree page byte changed", flippedTree, err::kIndexFileCorrupt},
      {"entry count too large", badCount, err::kIndexFileCorrupt},
      {"another format version", resealed(good_, 20, 7), err::kIndexVersionUnsupported},
      {"bad page size", resealed(good_, 24, 1000), err::kIndexFileCorrupt},
      {"page count beyond the file", resealed(good_, 28, 100000), err::kIndexFileCorrupt},
      {"free list outside the file", resealed(good_, 32, 100000), err::kIndexFileCorrupt},
      {"catalog length wrong", resealed(good_, 48, 3), err::kIndexFileCorrupt},
      {"catalog length 0", resealed(good_, 48, 0), err::kIndexFileCorrupt},
      {"update left in progress", resealed(good_, 36, index::kFlagUpdateInProgress), err::kIndexNeedsRebuild},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteAll(path_, c.bytes);
    EXPECT_EQ(OpenAndReadAll(), c.code);
  }
  // A rebuild over any of them restores a sound file.
  index::RebuildIndexFile(path_, kPage, {indextest::RawTag("K", 6)}, src_);
  EXPECT_EQ(OpenAndReadAll(), 0u);
  EXPECT_EQ(ReadAll(path_), good_);
}

// A process that stops between changing pages and flushing them leaves a file that the next
// open refuses with kIndexNeedsRebuild instead of reading a half-written tree.
TEST_F(IndexDamage, InterruptedUpdateIsDetected) {
  auto f = index::IndexFile::Open(path_);
  ASSERT_TRUE(f->AddKey(0, indextest::RawKey({'z', 'z', 'z', 'z', 'z', 'z'}), 9999));
  // The file as a crash at this moment would leave it.
  std::filesystem::copy_file(path_, dir_.path() / "crashed.adi");
  f->Flush();
  f.reset();
  EXPECT_EQ(OpenAndReadAll(), 0u);
  path_ = dir_.path() / "crashed.adi";
  EXPECT_EQ(OpenAndReadAll(), err::kIndexNeedsRebuild);
}

TEST_F(IndexDamage, MissingFileIsAnIoError) {
  path_ = dir_.path() / "absent.adi";
  EXPECT_EQ(OpenAndReadAll(), err::kIndexIoError);
}

}  // namespace
}  // namespace engine
