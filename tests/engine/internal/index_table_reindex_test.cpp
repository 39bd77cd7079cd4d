// Reindexing a native table from the tag definitions in its header: orders follow the key
// expressions and conditions over the records, a deleted, truncated or garbage index file is
// rebuilt to the same file, and a table not open exclusively is refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <tuple>

#include "engine/core/error.h"
#include "engine/index/index_file.h"
#include "engine/index/table_reindex.h"
#include "engine/table/record_writer.h"
#include "engine/table/table.h"
#include "engine/table/table_files.h"
#include "support/index_test_support.h"
#include "test_env.h"

namespace engine {
namespace {

using indextest::Bytes;
using indextest::ReadAll;

struct Row {
  std::string name;
  std::string city;
  int32_t born;
  int64_t n;
};

class IndexTableReindex : public ::testing::Test {
 protected:
  void SetUp() override {
    tablePath_ = (dir_.path() / "people.adt").string();
    table::Schema schema = table::Schema::FromSpecs({{"NAME", table::FieldType::kString, 12, 0},
                                       {"CITY", table::FieldType::kString, 8, 0},
                                       {"BORN", table::FieldType::kDate, 0, 0},
                                       {"N", table::FieldType::kInteger, 0, 0}});
    table::Table::CreateOptions co;
    co.indexPageSize = 1024;
    co.tags = {{"BYNAME", "UPPER(NAME)", "", 0, "", 0},
               {"CITYBORN", "CITY;BORN", "N > 10", 0, "", 0},
               {"NDESC", "N", "", 8, "", 0}};
    table::Table::Create(tablePath_, schema, co);
    auto t = table::Table::Open(tablePath_, {true, false});
    std::mt19937 rng(8);
    const char* names[] = {"anna", "Anna", "bert", "Carl", "dora", "Emil"};
    const char* cities[] = {"Graz", "Linz", "Wien"};
    std::vector<uint8_t> image(t->schema().recordLength());
    table::Table::Batch batch(*t);
    for (int i = 0; i < 1500; ++i) {
      Row r{names[rng() % 6], cities[rng() % 3], 2450000 + static_cast<int32_t>(rng() % 40),
            static_cast<int64_t>(rng() % 100)};
      table::WriteEmptyRecord(t->schema(), image.data());
      table::WriteText(t->schema(), image.data(), 0, r.name, false);
      table::WriteText(t->schema(), image.data(), 1, r.city, false);
      table::WriteJulian(t->schema(), image.data(), 2, r.born);
      table::WriteInteger(t->schema(), image.data(), 3, r.n);
      t->AppendRecord(image.data());
      rows_.push_back(r);
    }
    batch.Commit();
  }

  std::vector<uint32_t> Order(index::IndexFile& f, size_t tag) {
    std::vector<uint32_t> out;
    Bytes k(f.tag(tag).layout.keyLength());
    for (uint64_t r = 0; r < f.KeyCount(tag); ++r) out.push_back(f.EntryAt(tag, r, k.data()));
    return out;
  }

  testenv::TempDir dir_;
  std::string tablePath_;
  std::vector<Row> rows_;
};

TEST_F(IndexTableReindex, OrdersFollowTheTagDefinitionsAndDamagedFilesAreRebuilt) {
  auto t = table::Table::Open(tablePath_, {true, false});
  index::ReindexTable(*t);
  auto adi = std::filesystem::path(table_files::IndexPath(tablePath_));
  Bytes good = ReadAll(adi);
  {
    auto f = index::IndexFile::Open(adi);
    ASSERT_EQ(f->tagCount(), 3u);
    EXPECT_EQ(f->pageSize(), 1024u);
    auto R = [&](uint32_t r) -> const Row& { return rows_[r - 1]; };
    auto upper = [](std::string s) {
      for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      return s;
    };
    std::vector<uint32_t> all(rows_.size());
    for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<uint32_t>(i + 1);
    std::vector<uint32_t> want = all;
    std::stable_sort(want.begin(), want.end(), [&](uint32_t a, uint32_t b) { return upper(R(a).name) < upper(R(b).name); });
    EXPECT_EQ(Order(*f, 0), want);
    want.clear();
    for (uint32_t r : all) {
      if (R(r).n > 10) want.push_back(r);
    }
    std::stable_sort(want.begin(), want.end(), [&](uint32_t a, uint32_t b) {
      return std::tie(R(a).city, R(a).born) < std::tie(R(b).city, R(b).born);
    });
    EXPECT_EQ(Order(*f, 1), want);
    want = all;
    std::stable_sort(want.begin(), want.end(), [&](uint32_t a, uint32_t b) { return R(a).n > R(b).n; });
    EXPECT_EQ(Order(*f, 2), want);
  }
  struct Damage {
    const char* what;
    std::function<void()> apply;
  };
  const Damage damages[] = {
      {"deleted", [&] { std::filesystem::remove(adi); }},
      {"truncated", [&] { std::filesystem::resize_file(adi, good.size() / 3); }},
      {"garbage", [&] {
         std::ofstream out(adi, std::ios::binary | std::ios::trunc);
         for (size_t i = 0; i < good.size(); ++i) out.put(static_cast<char>(i * 131));
       }},
  };
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.what);
    d.apply();
    index::ReindexTable(*t);
    EXPECT_EQ(ReadAll(adi), good);
  }
}

TEST_F(IndexTableReindex, SharedOpenIsRefused) {
  auto t = table::Table::Open(tablePath_, {false, false});
  try {
    index::ReindexTable(*t);
    ADD_FAILURE() << "reindexed a shared open";
  } catch (const EngineError& e) {
    EXPECT_EQ(e.code(), err::kExclusiveRequired);
  }
  EXPECT_FALSE(std::filesystem::exists(table_files::IndexPath(tablePath_)));
}

}  // namespace
}  // namespace engine
