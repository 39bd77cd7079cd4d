// Rebuilding from key expressions and conditions over records: each tag's order is the order of
// its expression's values (ties by record number), conditions leave records out, unique tags
// keep the first record of a value, and bad expressions are refused with the expression's error.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <tuple>

#include "engine/core/error.h"
#include "engine/expr/memory_record.h"
#include "engine/index/expression_keys.h"
#include "engine/index/index_file.h"
#include "engine/index/rebuild.h"
#include "engine/index/tag_cursor.h"
#include "test_env.h"

namespace engine {
namespace {

struct Person {
  std::string name;
  std::string city;
  int64_t born;
  double amount;
  bool active;
};

class IndexExpressionKeys : public ::testing::Test {
 protected:
  void SetUp() override {
    name_ = rec_.AddField("NAME", expr::ExprType::String, 10);
    city_ = rec_.AddField("CITY", expr::ExprType::String, 8);
    born_ = rec_.AddField("BORN", expr::ExprType::Date);
    amount_ = rec_.AddField("AMOUNT", expr::ExprType::Numeric, 10, 2);
    active_ = rec_.AddField("ACTIVE", expr::ExprType::Logical);
    std::mt19937 rng(4);
    const char* names[] = {"smith", "Smith", "jones", "Brown", "miller", "Adams", "adams"};
    const char* cities[] = {"Paris", "Rome", "Oslo", "Bern"};
    for (int i = 0; i < 400; ++i) {
      people_.push_back(Person{names[rng() % 7], cities[rng() % 4], 2440000 + static_cast<int64_t>(rng() % 50),
                               static_cast<double>(static_cast<int>(rng() % 2000) - 1000) / 4.0, rng() % 3 != 0});
    }
  }

  index::RecordKeySource::RecordWalk Walk() {
    return [this](const std::function<void(const expr::ExprRecord&)>& visit) {
      for (size_t i = 0; i < people_.size(); ++i) {
        const Person& p = people_[i];
        rec_.SetString(name_, p.name);
        rec_.SetString(city_, p.city);
        rec_.SetDate(born_, p.born);
        rec_.SetNumber(amount_, p.amount);
        rec_.SetLogical(active_, p.active);
        rec_.SetRecordNumber(static_cast<uint32_t>(i + 1));
        visit(rec_);
      }
    };
  }

  index::TagDef Def(const std::string& name, const index::ExpressionKeys& keys, const std::string& expr, const std::string& cond,
             uint32_t options = 0) {
    index::TagDef d;
    d.name = name;
    d.expression = expr;
    d.condition = cond;
    d.options = options;
    d.collation = "ANSI";
    d.keyType = keys.keyType();
    d.segments = keys.segments();
    return d;
  }

  std::vector<uint32_t> Order(index::IndexFile& f, size_t tag) {
    std::vector<uint32_t> out;
    std::vector<uint8_t> k(f.tag(tag).layout.keyLength());
    for (uint64_t r = 0; r < f.KeyCount(tag); ++r) out.push_back(f.EntryAt(tag, r, k.data()));
    return out;
  }

  std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
  }

  expr::MemoryRecord rec_;
  int name_, city_, born_, amount_, active_;
  std::vector<Person> people_;
  testenv::TempDir dir_;
};

TEST_F(IndexExpressionKeys, TagsFollowTheirExpressionsAndConditions) {
  index::ExpressionKeys byName("UPPER(NAME)", "", rec_);
  index::ExpressionKeys byCityBorn("CITY;BORN", "", rec_);
  index::ExpressionKeys byAmount("AMOUNT", "ACTIVE", rec_);
  index::ExpressionKeys uniqueCity("CITY", "", rec_);
  EXPECT_EQ(byName.keyType(), index::kKeyTypeString);
  EXPECT_EQ(byCityBorn.keyType(), index::kKeyTypeRaw);
  ASSERT_EQ(byCityBorn.segments().size(), 2u);
  EXPECT_EQ(byCityBorn.segments()[1].kind, index::SegmentKind::kDate);
  EXPECT_EQ(byAmount.keyType(), index::kKeyTypeNumeric);
  std::vector<index::TagDef> defs = {Def("NAME", byName, "UPPER(NAME)", ""), Def("CB", byCityBorn, "CITY;BORN", ""),
                              Def("AMT", byAmount, "AMOUNT", "ACTIVE", index::kTagDescending),
                              Def("UCITY", uniqueCity, "CITY", "", index::kTagUnique)};
  index::RecordKeySource src(people_.size(), Walk(), {&byName, &byCityBorn, &byAmount, &uniqueCity});
  auto path = dir_.path() / "p.adi";
  index::RebuildIndexFile(path, 1024, defs, src);
  auto f = index::IndexFile::Open(path);

  std::vector<uint32_t> all(people_.size());
  for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<uint32_t>(i + 1);
  auto P = [&](uint32_t r) -> const Person& { return people_[r - 1]; };
  std::vector<uint32_t> want = all;
  std::stable_sort(want.begin(), want.end(), [&](uint32_t a, uint32_t b) { return Upper(P(a).name) < Upper(P(b).name); });
  EXPECT_EQ(Order(*f, 0), want);
  want = all;
  std::stable_sort(want.begin(), want.end(), [&](uint32_t a, uint32_t b) {
    return std::tie(P(a).city, P(a).born) < std::tie(P(b).city, P(b).born);
  });
  EXPECT_EQ(Order(*f, 1), want);
  want.clear();
  for (uint32_t r : all) {
    if (P(r).active) want.push_back(r);
  }
  std::stable_sort(want.begin(), want.end(), [&](uint32_t a, uint32_t b) { return P(a).amount > P(b).amount; });
  EXPECT_EQ(Order(*f, 2), want);
  std::vector<uint32_t> firsts;
  for (const char* c : {"Bern", "Oslo", "Paris", "Rome"}) {
    auto it = std::find_if(all.begin(), all.end(), [&](uint32_t r) { return P(r).city == c; });
    if (it != all.end()) firsts.push_back(*it);
  }
  EXPECT_EQ(Order(*f, 3), firsts);

  // A key built from an expression value finds its records: a soft seek on "JONES" lands on
  // the first of them.
  expr::MemoryRecord probe;
  int slot = probe.AddField("NAME", expr::ExprType::String, 10);
  probe.SetString(slot, "jones");
  index::KeyBuilder b(f->tag(0).layout);
  index::ExpressionKeys probeKeys("UPPER(NAME)", "", probe);
  probeKeys.Build(probe, expr::EvalOptions{}, b);
  index::TagCursor cur(*f, 0);
  ASSERT_TRUE(cur.Seek(b.Key(), index::SeekType::kHard));
  EXPECT_EQ(Upper(P(cur.recno()).name), "JONES");
}

TEST_F(IndexExpressionKeys, BadExpressionsAreRefused) {
  struct Case {
    const char* key;
    const char* condition;
  };
  const Case cases[] = {{"UPPER(NAME", ""}, {"NOSUCHFIELD", ""}, {"NAME", "AMOUNT"}, {"NAME", "ACTIVE .AND."}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.key) + " FOR " + c.condition);
    try {
      index::ExpressionKeys k(c.key, c.condition, rec_);
      ADD_FAILURE() << "accepted";
    } catch (const EngineError& e) {
      EXPECT_NE(e.code(), 0u);
      EXPECT_FALSE(std::string(e.what()).empty());
    }
  }
}

}  // namespace
}  // namespace engine
