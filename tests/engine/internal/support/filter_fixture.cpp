#include "filter_fixture.h"

#include <random>

#include "engine/index/table_reindex.h"
#include "engine/table/record_writer.h"
#include "engine/table/table.h"

namespace filtertest {

UNSIGNED32 LastCode() {
  UNSIGNED32 code = 0;
  UNSIGNED8 buf[601];
  UNSIGNED16 len = 600;
  AdsGetLastError(&code, buf, &len);
  return code;
}

std::string LastText() {
  UNSIGNED32 code = 0;
  UNSIGNED8 buf[601];
  UNSIGNED16 len = 600;
  AdsGetLastError(&code, buf, &len);
  return std::string(reinterpret_cast<char*>(buf), len);
}

int CompareText(const std::string& a, const std::string& b, bool exact) {
  std::string x = a, y = b;
  if (exact) {
    size_t n = std::max(x.size(), y.size());
    x.resize(n, ' ');
    y.resize(n, ' ');
  } else {
    x.resize(y.size(), ' ');
  }
  return x < y ? -1 : (x > y ? 1 : 0);
}

void FilterTable::Build(uint32_t count, uint32_t seed, uint32_t tagOptions, const std::string& collation) {
  using namespace engine;
  path_ = (dir_.path() / "people.adt").string();
  table::Schema schema = table::Schema::FromSpecs({{"NAME", table::FieldType::kString, kNameWidth, 0},
                                     {"N", table::FieldType::kInteger, 0, 0},
                                     {"CITY", table::FieldType::kString, 8, 0},
                                     {"ACTIVE", table::FieldType::kLogical, 0, 0}});
  table::Table::CreateOptions co;
  co.tags = {{"BYNAME", "NAME", "", tagOptions, collation, 0},
             {"BYN", "N", "", tagOptions, "", 0},
             {"BYUPPER", "UPPER(NAME)", "", 0, "", 0},
             {"BYACTIVE", "ACTIVE", "", 0, "", 0}};
  table::Table::Create(path_, schema, co);
  {
    auto t = table::Table::Open(path_, {true, false});
    std::mt19937 rng(seed);
    const char* cities[] = {"Rome", "Oslo", "Lima", "Kyiv"};
    std::vector<uint8_t> image(t->schema().recordLength());
    table::Table::Batch batch(*t);
    for (uint32_t i = 1; i <= count; ++i) {
      Row r;
      r.recno = i;
      table::WriteEmptyRecord(t->schema(), image.data());
      if (rng() % 20 == 0) {
        r.nameNull = true;
      } else {
        std::string name = "K" + std::to_string(rng() % 40) + (rng() % 2 ? "a" : "b");
        table::WriteText(t->schema(), image.data(), 0, name, false);
        r.name = name;
        r.name.resize(kNameWidth, ' ');
      }
      if (rng() % 20 == 0) {
        r.nNull = true;
      } else {
        r.n = static_cast<int>(rng() % 100);
        table::WriteInteger(t->schema(), image.data(), 1, r.n);
      }
      r.city = cities[rng() % 4];
      table::WriteText(t->schema(), image.data(), 2, r.city, false);
      r.city.resize(8, ' ');
      r.active = rng() % 3 == 0;
      table::WriteLogical(t->schema(), image.data(), 3, r.active);
      t->AppendRecord(image.data());
      if (rng() % 20 == 0) {
        r.deleted = true;
        t->SetDeleted(i, true);
      }
      rows_.push_back(r);
    }
    batch.Commit();
    index::ReindexTable(*t);
  }
  ASSERT_EQ(AdsOpenTable90(0, U(path_), nullptr, 3, 1, 1, 1, 0, nullptr, &h_), 0u) << LastText();
}

void FilterTable::TearDown() {
  if (h_) AdsCloseTable(h_);
}

std::vector<uint32_t> FilterTable::Forward(ADSHANDLE h) {
  std::vector<uint32_t> out;
  EXPECT_EQ(AdsGotoTop(h), 0u) << LastText();
  UNSIGNED16 eof = 0;
  while (AdsAtEOF(h, &eof) == 0 && !eof) {
    UNSIGNED32 n = 0;
    AdsGetRecordNum(h, 1, &n);
    out.push_back(n);
    if (AdsSkip(h, 1) != 0) break;
  }
  return out;
}

std::vector<uint32_t> FilterTable::Backward(ADSHANDLE h) {
  std::vector<uint32_t> out;
  EXPECT_EQ(AdsGotoBottom(h), 0u) << LastText();
  UNSIGNED16 bof = 0;
  UNSIGNED32 n = 0;
  while (AdsGetRecordNum(h, 1, &n) == 0 && n != 0) {
    out.push_back(n);
    if (AdsSkip(h, -1) != 0) break;
    AdsAtBOF(h, &bof);
    if (bof) break;
  }
  return out;
}

uint32_t FilterTable::Count(ADSHANDLE h) {
  UNSIGNED32 c = 0;
  EXPECT_EQ(AdsGetRecordCount(h, 1, &c), 0u) << LastText();
  return c;
}

std::vector<uint32_t> FilterTable::Expected(const std::function<bool(const Row&)>& p) const {
  std::vector<uint32_t> out;
  for (const Row& r : rows_)
    if (!r.deleted && p(r)) out.push_back(r.recno);
  return out;
}

}  // namespace filtertest
