// AdsReindex61 through the C interface: it needs an exclusive open, rebuilds a deleted or
// garbage index file to the same bytes, reports progress up to 100, and a progress callback
// that asks to stop leaves the old file as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "ace/ace.h"
#include "engine/index/table_reindex.h"
#include "engine/table/record_writer.h"
#include "engine/table/table.h"
#include "engine/table/table_files.h"
#include "test_env.h"

namespace {

using Bytes = std::vector<uint8_t>;
UNSIGNED8* U(const char* s) { return reinterpret_cast<UNSIGNED8*>(const_cast<char*>(s)); }

Bytes ReadAll(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

UNSIGNED32 LastCode() {
  UNSIGNED32 code = 0;
  UNSIGNED8 buf[601];
  UNSIGNED16 len = 600;
  AdsGetLastError(&code, buf, &len);
  return code;
}

std::vector<UNSIGNED16> gSeen;
UNSIGNED32 gAnswer = 0;

class IndexReindexApi : public ::testing::Test {
 protected:
  void SetUp() override {
    using namespace engine;
    path_ = (dir_.path() / "crew.adt").string();
    table::Schema schema = table::Schema::FromSpecs({{"NAME", table::FieldType::kString, 10, 0},
                                       {"N", table::FieldType::kInteger, 0, 0}});
    table::Table::CreateOptions co;
    co.tags = {{"BYNAME", "UPPER(NAME)", "", 0, "", 0}, {"BYN", "N", "N > 3", 0, "", 0}};
    table::Table::Create(path_, schema, co);
    auto t = table::Table::Open(path_, {true, false});
    std::vector<uint8_t> image(t->schema().recordLength());
    table::Table::Batch batch(*t);
    for (int i = 0; i < 3000; ++i) {
      table::WriteEmptyRecord(t->schema(), image.data());
      table::WriteText(t->schema(), image.data(), 0, "n" + std::to_string((i * 7919) % 3000), false);
      table::WriteInteger(t->schema(), image.data(), 1, i % 10);
      t->AppendRecord(image.data());
    }
    batch.Commit();
    index::ReindexTable(*t);
    adi_ = std::filesystem::path(table_files::IndexPath(path_));
    good_ = ReadAll(adi_);
    ASSERT_FALSE(good_.empty());
  }
  void TearDown() override { AdsClearProgressCallback(); }

  ADSHANDLE Open(UNSIGNED32 options) {
    ADSHANDLE h = 0;
    EXPECT_EQ(AdsOpenTable90(0, U(path_.c_str()), nullptr, 3, 1, 1, 1, options, nullptr, &h), 0u);
    return h;
  }

  testenv::TempDir dir_;
  std::string path_;
  std::filesystem::path adi_;
  Bytes good_;
};

TEST_F(IndexReindexApi, NeedsAnExclusiveOpenAndRebuildsDamagedFilesToTheSameBytes) {
  ADSHANDLE shared = Open(0);
  EXPECT_EQ(AdsReindex61(shared, 0), 5413u);
  EXPECT_EQ(LastCode(), 5413u);
  ASSERT_EQ(AdsCloseTable(shared), 0u);

  for (int damage = 0; damage < 3; ++damage) {
    if (damage == 0) std::filesystem::remove(adi_);
    if (damage == 1) std::filesystem::resize_file(adi_, good_.size() / 3);
    if (damage == 2) {
      std::ofstream out(adi_, std::ios::binary | std::ios::trunc);
      out << std::string(5000, '\x5a');
    }
    ADSHANDLE h = Open(1);
    EXPECT_EQ(AdsReindex61(h, 0), 0u) << "damage " << damage;
    EXPECT_EQ(AdsCloseTable(h), 0u);
    EXPECT_EQ(ReadAll(adi_), good_) << "damage " << damage;
  }
}

TEST_F(IndexReindexApi, ReportsProgressAndAStopLeavesTheOldFile) {
  ASSERT_EQ(AdsRegisterProgressCallback([](UNSIGNED16 p) -> UNSIGNED32 {
              gSeen.push_back(p);
              return gAnswer;
            }),
            0u);
  ADSHANDLE h = Open(1);
  gSeen.clear();
  gAnswer = 0;
  EXPECT_EQ(AdsReindex61(h, 0), 0u);
  ASSERT_FALSE(gSeen.empty());
  EXPECT_EQ(gSeen.back(), 100);
  EXPECT_TRUE(std::is_sorted(gSeen.begin(), gSeen.end()));

  std::ofstream(adi_, std::ios::binary | std::ios::app) << "marker";  // any change would show
  const Bytes before = ReadAll(adi_);
  gSeen.clear();
  gAnswer = 1;  // stop at the first report
  EXPECT_EQ(AdsReindex61(h, 0), 7049u);
  EXPECT_EQ(ReadAll(adi_), before);
  EXPECT_EQ(AdsCloseTable(h), 0u);
}

TEST_F(IndexReindexApi, AStaleHandleIsAnErrorNotACrash) {
  ADSHANDLE h = Open(1);
  ASSERT_EQ(AdsCloseTable(h), 0u);
  EXPECT_NE(AdsReindex61(h, 0), 0u);
  EXPECT_NE(AdsReindex61(0, 0), 0u);
}

}  // namespace
