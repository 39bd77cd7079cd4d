// NTX and CDX index files against an in-memory model: rebuilt contents, then thousands of random
// insertions and removals (splits, merges, emptied pages, keys with shared prefixes and trailing
// blanks) under the rules of plain, descending, unique and conditional orders, with bounds, ranks
// and entries by rank checked along the way, a complete structural check, and the same contents
// after closing and reopening.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <cstring>
#include <random>
#include <set>

#include "engine/core/error.h"
#include "engine/index/collation.h"
#include "engine/index/index_file.h"
#include "engine/index/key_builder.h"
#include "engine/index/rebuild.h"
#include "ace/ace.h"
#include "support/aceadmin_run.h"
#include "support/api_fixture.h"
#include "support/index_test_support.h"
#include "test_env.h"

namespace engine {
namespace {

using indextest::Entry;
using indextest::Contents;
using indextest::Key;


// The order of a tag's entries: keys, then record numbers, ascending except in a descending CDX
// tag, which is its file read backwards (equal keys in descending record order).
struct EntryOrder {
  bool recordsDescending = false;
  bool operator()(const Entry& a, const Entry& b) const {
    if (a.first != b.first) return a.first < b.first;
    return recordsDescending ? a.second > b.second : a.second < b.second;
  }
};
using Model = std::set<Entry, EntryOrder>;

uint64_t ModelBound(const Model& m, const Key& prefix, bool upper) {
  uint64_t rank = 0;
  for (const Entry& e : m) {
    int c = prefix.empty() ? 0 : std::memcmp(e.first.data(), prefix.data(), prefix.size());
    if (upper ? c > 0 : c >= 0) break;
    ++rank;
  }
  return rank;
}

index::TagDef TextTag(const std::string& name, uint16_t width, uint32_t options = 0) {
  index::TagDef d;
  d.name = name;
  d.expression = name;
  d.options = options;
  d.collation = "ANSI";
  d.keyType = index::kKeyTypeString;
  d.segments = {index::SegmentSpec{index::SegmentKind::kString, width}};
  return d;
}

// A text of up to `width` characters over a tiny alphabet: long shared prefixes, many
// duplicates, and trailing blanks of every length once padded.
std::string RandomText(std::mt19937& rng, size_t width) {
  static const char kAlphabet[] = "ab c";
  size_t len = std::uniform_int_distribution<size_t>(0, width)(rng);
  len = std::min<size_t>(len, 4 + std::uniform_int_distribution<size_t>(0, 3)(rng));
  std::string s;
  for (size_t i = 0; i < len; ++i) s.push_back(kAlphabet[std::uniform_int_distribution<int>(0, 3)(rng)]);
  return s;
}

Key StoredKey(const index::TagInfo& t, const std::string& text) {
  index::KeyBuilder b(t.layout);
  b.Clear();
  b.SetString(0, text.data(), text.size());
  auto k = b.Key();
  return Key(k.begin(), k.end());
}

struct FormatCase {
  const char* extension;
  uint16_t width;  // wide keys make pages of few entries and deep trees
  int records;
};

class DbfIndexModel : public ::testing::TestWithParam<FormatCase> {};

// Four orders over the same records (plain, descending, unique, conditional): one NTX file
// each, or four tags of one CDX file.
TEST_P(DbfIndexModel, RebuildInsertDeleteAndReopenAgreeWithModel) {
  const FormatCase c = GetParam();
  const bool ntx = std::string(c.extension) == ".ntx";
  testenv::TempDir dir;
  std::vector<index::TagDef> defs = {TextTag("PLAIN", c.width), TextTag("DESC", c.width, index::kTagDescending),
                              TextTag("UNIQ", c.width, index::kTagUnique), TextTag("COND", c.width)};
  const index::KeyForm form = ntx ? index::KeyForm::kNtx : index::KeyForm::kCdx;
  std::vector<index::TagInfo> tags = index::PrepareTags(defs, ntx ? 1024 : 512, form);
  std::mt19937 rng(c.width * 7919 + c.records);
  indextest::MemoryKeySource src;
  for (int r = 0; r < c.records; ++r) {
    std::string text = RandomText(rng, c.width);
    std::vector<std::optional<Key>> keys;
    for (size_t t = 0; t < tags.size(); ++t) keys.push_back(StoredKey(tags[t], text));
    if (!text.empty() && text[0] == 'a') keys[3].reset();  // the condition leaves these out
    src.records.push_back(keys);
  }
  // Where each order lives: its file and its tag in the file.
  std::vector<std::filesystem::path> paths;
  std::vector<size_t> tagInFile;
  if (ntx) {
    for (size_t t = 0; t < defs.size(); ++t) {
      paths.push_back(dir.path() / (defs[t].name + ".ntx"));
      tagInFile.push_back(0);
      indextest::MemoryKeySource one;
      for (const auto& rec : src.records) one.records.push_back({rec[t]});
      index::RebuildIndexFile(paths.back(), 0, {defs[t]}, one);
    }
  } else {
    for (size_t t = 0; t < defs.size(); ++t) {
      paths.push_back(dir.path() / "t.cdx");
      tagInFile.push_back(t);
    }
    index::RebuildIndexFile(paths[0], 0, defs, src);
  }
  std::vector<Model> model;
  for (size_t t = 0; t < tags.size(); ++t) {
    model.emplace_back(EntryOrder{!ntx && (defs[t].options & index::kTagDescending)});
    for (const Entry& e : indextest::ExpectedEntries(src, t, defs[t].options)) model.back().insert(e);
  }

  std::vector<std::unique_ptr<index::IndexFile>> files;
  for (size_t t = 0; t < tags.size(); ++t) {
    if (ntx || t == 0) files.push_back(index::IndexFile::Open(paths[t]));
  }
  auto fileOf = [&](size_t t) -> index::IndexFile& { return *files[ntx ? t : 0]; };
  for (size_t t = 0; t < tags.size(); ++t) {
    ASSERT_EQ(fileOf(t).tag(tagInFile[t]).def.name, defs[t].name);
    ASSERT_EQ(Contents(fileOf(t), tagInFile[t]), std::vector<Entry>(model[t].begin(), model[t].end())) << defs[t].name;
  }
  for (auto& f : files) f->Verify();

  uint32_t nextRecno = static_cast<uint32_t>(c.records + 1);
  std::uniform_int_distribution<int> op(0, 9);
  // Phases: mostly insertions, then mostly removals down to few entries, then mixed.
  for (int i = 0; i < 6000; ++i) {
    size_t t = static_cast<size_t>(i % tags.size());
    index::IndexFile& f = fileOf(t);
    size_t ft = tagInFile[t];
    Model& m = model[t];
    int insertShare = i < 2000 ? 8 : i < 4000 ? 2 : 5;
    if (op(rng) < insertShare || m.empty()) {
      uint32_t recno = (op(rng) < 8) ? nextRecno++ : std::uniform_int_distribution<uint32_t>(1, nextRecno)(rng);
      Key key = StoredKey(tags[t], RandomText(rng, c.width));
      bool expected = true;
      if (defs[t].options & index::kTagUnique) {
        auto it = std::find_if(m.begin(), m.end(), [&](const Entry& e) { return e.first == key; });
        if (it != m.end()) {
          if (it->second < recno) expected = false;
          else if (it->second > recno) m.erase(it);
        }
      }
      if (expected) m.emplace(key, recno);
      ASSERT_EQ(f.AddKey(ft, key, recno), expected) << "op " << i;
    } else {
      auto it = m.begin();
      std::advance(it, std::uniform_int_distribution<size_t>(0, m.size() - 1)(rng));
      Entry e = *it;
      m.erase(it);
      ASSERT_TRUE(f.RemoveKey(ft, e.first, e.second)) << "op " << i;
      ASSERT_FALSE(f.RemoveKey(ft, e.first, e.second)) << "second removal, op " << i;
    }
    if (i % 97 == 0) {
      ASSERT_EQ(f.KeyCount(ft), m.size()) << "op " << i;
      for (size_t len : {size_t{0}, size_t{1}, size_t{2}, size_t{5}}) {
        Key prefix = StoredKey(tags[t], RandomText(rng, c.width));
        prefix.resize(std::min<size_t>(len, prefix.size()));
        ASSERT_EQ(f.LowerBound(ft, prefix), ModelBound(m, prefix, false)) << "len " << len << " op " << i;
        ASSERT_EQ(f.UpperBound(ft, prefix), ModelBound(m, prefix, true)) << "len " << len << " op " << i;
      }
      if (!m.empty()) {
        uint64_t rank = std::uniform_int_distribution<uint64_t>(0, m.size() - 1)(rng);
        auto it = std::next(m.begin(), static_cast<std::ptrdiff_t>(rank));
        Key k(tags[t].layout.keyLength());
        ASSERT_EQ(f.EntryAt(ft, rank, k.data()), it->second) << "op " << i;
        ASSERT_EQ(k, it->first) << "op " << i;
        ASSERT_EQ(f.RankOf(ft, it->first, it->second), rank) << "op " << i;
      }
    }
    if (i % 1000 == 999) {
      ASSERT_EQ(Contents(f, ft), std::vector<Entry>(m.begin(), m.end())) << defs[t].name << " op " << i;
      // Written out and checked as another reader of the file would find it.
      f.Commit();
      auto reader = index::IndexFile::Open(f.path(), true);
      reader->Verify();
      ASSERT_EQ(Contents(*reader, ft), std::vector<Entry>(m.begin(), m.end())) << defs[t].name << " op " << i;
    }
  }
  for (auto& f : files) {
    f->Commit();
    f->Verify();
  }
  files.clear();

  for (size_t t = 0; t < tags.size(); ++t) {
    auto g = index::IndexFile::Open(paths[t]);
    g->Verify();
    ASSERT_EQ(Contents(*g, tagInFile[t]), std::vector<Entry>(model[t].begin(), model[t].end())) << defs[t].name;
    uint64_t rank = 0;
    for (const Entry& e : model[t]) ASSERT_EQ(g->RankOf(tagInFile[t], e.first, e.second), rank++);
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, DbfIndexModel,
                         ::testing::Values(FormatCase{".ntx", 6, 3000}, FormatCase{".ntx", 200, 700},
                                           FormatCase{".ntx", 10, 0}, FormatCase{".cdx", 6, 3000},
                                           FormatCase{".cdx", 200, 700}, FormatCase{".cdx", 10, 0}),
                         [](const auto& info) {
                           return std::string(info.param.extension + 1) + "Width" + std::to_string(info.param.width) +
                                  "Records" + std::to_string(info.param.records);
                         });

}  // namespace
}  // namespace engine

namespace engine {
namespace {

Key KeyOf(const index::KeyLayout& layout, const std::function<void(index::KeyBuilder&)>& set) {
  index::KeyBuilder b(layout);
  b.Clear();
  set(b);
  auto k = b.Key();
  return Key(k.begin(), k.end());
}

Key Bytes(const std::string& s) { return Key(s.begin(), s.end()); }

// The key forms of the DBF formats, byte for byte.
TEST(DbfIndexKeys, ValuesTakeTheFormsOfTheirFormat) {
  const index::Collation& ansi = index::Collation::Find("ANSI");
  index::KeyLayout ntxNum = index::KeyLayout::Make({{index::SegmentKind::kNumeric, 6, 2}}, ansi, false, 1024, index::KeyForm::kNtx);
  index::KeyLayout ntxDate = index::KeyLayout::Make({{index::SegmentKind::kDate}}, ansi, false, 1024, index::KeyForm::kNtx);
  index::KeyLayout ntxText = index::KeyLayout::Make({{index::SegmentKind::kString, 5}}, ansi, false, 1024, index::KeyForm::kNtx);
  index::KeyLayout cdxNum = index::KeyLayout::Make({{index::SegmentKind::kNumeric}}, ansi, false, 512, index::KeyForm::kCdx);
  index::KeyLayout cdxDate = index::KeyLayout::Make({{index::SegmentKind::kDate}}, ansi, false, 512, index::KeyForm::kCdx);
  index::KeyLayout cdxLogical = index::KeyLayout::Make({{index::SegmentKind::kLogical}}, ansi, false, 512, index::KeyForm::kCdx);
  const int32_t jan1st2000 = 2451545;
  struct Case {
    const char* what;
    Key got, want;
  } cases[] = {
      {"ntx 5", KeyOf(ntxNum, [](index::KeyBuilder& b) { b.SetNumeric(0, 5); }), Bytes("005.00")},
      {"ntx -5", KeyOf(ntxNum, [](index::KeyBuilder& b) { b.SetNumeric(0, -5); }), Bytes(",,'.,,")},
      {"ntx 123.456", KeyOf(ntxNum, [](index::KeyBuilder& b) { b.SetNumeric(0, 123.456); }), Bytes("123.46")},
      {"ntx too wide", KeyOf(ntxNum, [](index::KeyBuilder& b) { b.SetNumeric(0, 1e9); }), Bytes("999.99")},
      {"ntx null number", KeyOf(ntxNum, [](index::KeyBuilder& b) { b.SetNull(0); }), Bytes("000.00")},
      {"ntx date", KeyOf(ntxDate, [&](index::KeyBuilder& b) { b.SetDate(0, jan1st2000); }), Bytes("20000101")},
      {"ntx empty date", KeyOf(ntxDate, [](index::KeyBuilder& b) { b.SetDate(0, 0); }), Bytes("        ")},
      {"ntx text", KeyOf(ntxText, [](index::KeyBuilder& b) { b.SetString(0, "ab", 2); }), Bytes("ab   ")},
      {"ntx null text", KeyOf(ntxText, [](index::KeyBuilder& b) { b.SetNull(0); }), Bytes("     ")},
      {"cdx 1", KeyOf(cdxNum, [](index::KeyBuilder& b) { b.SetNumeric(0, 1.0); }), Key{0xBF, 0xF0, 0, 0, 0, 0, 0, 0}},
      {"cdx -1", KeyOf(cdxNum, [](index::KeyBuilder& b) { b.SetNumeric(0, -1.0); }),
       Key{0x40, 0x0F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
      {"cdx -0", KeyOf(cdxNum, [](index::KeyBuilder& b) { b.SetNumeric(0, -0.0); }), Key{0x80, 0, 0, 0, 0, 0, 0, 0}},
      {"cdx date", KeyOf(cdxDate, [&](index::KeyBuilder& b) { b.SetDate(0, jan1st2000); }),
       Key{0xC1, 0x42, 0xB4, 0x2C, 0x80, 0, 0, 0}},
      {"cdx empty date", KeyOf(cdxDate, [](index::KeyBuilder& b) { b.SetDate(0, 0); }), Key{0x80, 0, 0, 0, 0, 0, 0, 0}},
      {"cdx true", KeyOf(cdxLogical, [](index::KeyBuilder& b) { b.SetLogical(0, true); }), Bytes("T")},
      {"cdx null logical", KeyOf(cdxLogical, [](index::KeyBuilder& b) { b.SetNull(0); }), Bytes("F")},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.want) << c.what;
  EXPECT_EQ(ntxNum.keyLength(), 6u);
  EXPECT_EQ(cdxDate.keyLength(), 8u);
}

// Byte order of the keys is the order of the values: numbers of both signs and magnitudes.
TEST(DbfIndexKeys, NumberKeysSortAsTheirValues) {
  const index::Collation& ansi = index::Collation::Find("ANSI");
  index::KeyLayout ntx = index::KeyLayout::Make({{index::SegmentKind::kNumeric, 10, 3}}, ansi, false, 1024, index::KeyForm::kNtx);
  index::KeyLayout cdx = index::KeyLayout::Make({{index::SegmentKind::kNumeric}}, ansi, false, 512, index::KeyForm::kCdx);
  std::mt19937 rng(7);
  std::vector<double> values = {0, -0.0, 0.001, -0.001, 1, -1, 99999.999, -9999.999, 0.5, -0.5};
  for (int i = 0; i < 300; ++i) {
    double v = std::round(std::uniform_real_distribution<double>(-9999, 99999)(rng) * 1000) / 1000;
    values.push_back(v);
  }
  for (const index::KeyLayout* layout : {&ntx, &cdx}) {
    for (double a : values) {
      for (double b : {values[0], values[3], values[5], values[7], a / 3, -a}) {
        Key ka = KeyOf(*layout, [&](index::KeyBuilder& k) { k.SetNumeric(0, a); });
        Key kb = KeyOf(*layout, [&](index::KeyBuilder& k) { k.SetNumeric(0, b); });
        double ra = layout == &ntx ? std::round(a * 1000) : a, rb = layout == &ntx ? std::round(b * 1000) : b;
        EXPECT_EQ(ka < kb, ra < rb) << a << " vs " << b << (layout == &ntx ? " ntx" : " cdx");
        EXPECT_EQ(ka == kb, ra == rb) << a << " vs " << b << (layout == &ntx ? " ntx" : " cdx");
      }
    }
  }
}

// Damaged NTX and CDX files: a clear error naming the damage, and a rebuild over the damaged
// file repairs it.
class DbfIndexDamage : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    path_ = dir_.path() / (std::string("d") + GetParam());
    def_ = TextTag("NAME", 8);
    tags_ = index::PrepareTags({def_}, 0 + (IsNtx() ? 1024 : 512), IsNtx() ? index::KeyForm::kNtx : index::KeyForm::kCdx);
    std::mt19937 rng(3);
    for (int r = 0; r < 2000; ++r) src_.records.push_back({StoredKey(tags_[0], RandomText(rng, 8))});
    index::RebuildIndexFile(path_, 0, {def_}, src_);
  }
  bool IsNtx() const { return std::string(GetParam()) == ".ntx"; }
  void Damage(uint64_t offset, const std::vector<uint8_t>& bytes) {
    std::FILE* f = std::fopen(path_.c_str(), "r+b");
    ASSERT_NE(f, nullptr);
    std::fseek(f, static_cast<long>(offset), SEEK_SET);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  // Opens, reads every entry and checks the file: the error code of the first failure, or 0.
  int ReadAll() {
    try {
      auto f = index::IndexFile::Open(path_, true);
      Contents(*f, 0);
      f->Verify();
      return 0;
    } catch (const EngineError& e) {
      EXPECT_NE(std::string(e.what()).find(path_.filename().string()), std::string::npos) << e.what();
      return e.code();
    }
  }
  void ExpectRebuildRepairs() {
    index::RebuildIndexFile(path_, 0, {def_}, src_);
    auto f = index::IndexFile::Open(path_, true);
    f->Verify();
    EXPECT_EQ(Contents(*f, 0).size(), src_.records.size());
  }
  testenv::TempDir dir_;
  std::filesystem::path path_;
  index::TagDef def_;
  std::vector<index::TagInfo> tags_;
  indextest::MemoryKeySource src_;
};

TEST_P(DbfIndexDamage, GarbageHeaderIsRefusedAndRebuilt) {
  Damage(0, std::vector<uint8_t>(64, 0x5A));
  EXPECT_EQ(ReadAll(), err::kIndexFileCorrupt);
  ExpectRebuildRepairs();
}

TEST_P(DbfIndexDamage, TruncatedFileIsRefusedAndRebuilt) {
  std::filesystem::resize_file(path_, std::filesystem::file_size(path_) / 2);
  EXPECT_EQ(ReadAll(), err::kIndexFileCorrupt);
  std::filesystem::resize_file(path_, 100);
  EXPECT_EQ(ReadAll(), err::kIndexFileCorrupt);
  ExpectRebuildRepairs();
}

TEST_P(DbfIndexDamage, DamagedPagesAreFoundByReadingOrChecking) {
  // Every tree page overwritten in turn with a pattern: reading all entries and the check
  // together either fail clearly or, where the pattern happens to form valid data, pass; never
  // crash. At least the first tree page's damage is caught.
  uint64_t size = std::filesystem::file_size(path_);
  uint32_t page = IsNtx() ? 1024 : 512;
  uint64_t first = IsNtx() ? 1024 : 2048;  // after the header (and the CDX tag header)
  int caught = 0;
  for (uint64_t off = first; off + page <= size; off += page) {
    std::vector<uint8_t> saved(page);
    std::FILE* f = std::fopen(path_.c_str(), "rb");
    std::fseek(f, static_cast<long>(off), SEEK_SET);
    ASSERT_EQ(std::fread(saved.data(), 1, page, f), page);
    std::fclose(f);
    std::vector<uint8_t> junk(page);
    for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<uint8_t>(i * 37 + off);
    Damage(off, junk);
    int code = ReadAll();
    if (code != 0) {
      EXPECT_EQ(code, err::kIndexFileCorrupt) << "page at " << off;
      ++caught;
    }
    Damage(off, saved);
  }
  EXPECT_GT(caught, 0);
  EXPECT_EQ(ReadAll(), 0);
}

// A change never committed leaves the mark: the next open asks for a rebuild.
TEST_P(DbfIndexDamage, InterruptedUpdateIsRefusedUntilRebuilt) {
  {
    auto f = index::IndexFile::Open(path_);
    Key k = StoredKey(f->tag(0), "zzz");
    f->AddKey(0, k, 99999);
    f->Flush(true);  // pages and header written, the mark kept: as if the process died here
  }
  EXPECT_EQ(ReadAll(), err::kIndexNeedsRebuild);
  ExpectRebuildRepairs();
  // A committed change opens again, and holds the change.
  {
    auto f = index::IndexFile::Open(path_);
    f->AddKey(0, StoredKey(f->tag(0), "zzz"), 99999);
    f->Commit();
  }
  auto f = index::IndexFile::Open(path_, true);
  EXPECT_EQ(f->KeyCount(0), src_.records.size() + 1);
}

INSTANTIATE_TEST_SUITE_P(Formats, DbfIndexDamage, ::testing::Values(".ntx", ".cdx"),
                         [](const auto& info) { return std::string(info.param + 1); });

}  // namespace
}  // namespace engine

namespace {

// NTX files another program wrote carry no description of their keys beyond their length: the
// engine takes what their keys hold from the expressions, so a numeric and a date order keep
// agreeing with the table through changes.
TEST(DbfIndexForeignFiles, OrdersWithoutTheEnginesDescriptionStayRightThroughChanges) {
  acetest::Workspace ws;
  ADSHANDLE conn = 0, t = 0;
  ASSERT_EQ(AdsConnect60(acetest::U8(ws.WinFolder()), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &conn), 0u);
  ASSERT_EQ(AdsCreateTable90(conn, acetest::U8("parts"), nullptr, ADS_NTX, 1, 0, 0, 0,
                             acetest::U8("QTY,Numeric,8,2;D,Date"), 0, nullptr, &t),
            0u)
      << acetest::Last().text;
  for (const char* tag : {"QTY", "D"}) {
    ADSHANDLE h = 0;
    ASSERT_EQ(AdsCreateIndex90(t, nullptr, acetest::U8(tag), acetest::U8(tag), nullptr, nullptr, 0, 0, nullptr, &h), 0u)
        << acetest::Last().text;
  }
  ASSERT_EQ(AdsCloseTable(t), 0u);
  // As Clipper writes them: nothing past the order's name and flags.
  for (const char* file : {"QTY.ntx", "D.ntx"}) {
    std::FILE* f = std::fopen(ws.Host(file).c_str(), "r+b");
    ASSERT_NE(f, nullptr) << file;
    std::vector<uint8_t> zeros(1024 - 580, 0);
    std::fseek(f, 580, SEEK_SET);
    std::fwrite(zeros.data(), 1, zeros.size(), f);
    std::fclose(f);
  }
  ASSERT_EQ(AdsOpenTable90(conn, acetest::U8("parts"), nullptr, ADS_NTX, 0, 0, 0, 0, nullptr, &t), 0u)
      << acetest::Last().text;
  for (int i = 0; i < 60; ++i) {
    ASSERT_EQ(AdsAppendRecord(t), 0u) << acetest::Last().text;
    ASSERT_EQ(AdsSetDouble(t, acetest::U8("QTY"), (i * 37 % 61) - 30.25), 0u) << acetest::Last().text;
    ASSERT_EQ(AdsSetJulian(t, acetest::U8("D"), 2451545 + (i * 13 % 17)), 0u) << acetest::Last().text;
    ASSERT_EQ(AdsWriteRecord(t), 0u) << acetest::Last().text;
  }
  ASSERT_EQ(AdsCloseTable(t), 0u);
  AdsDisconnect(conn);
  acetest::ToolRun v = acetest::Aceadmin("verify-index " + acetest::Q(ws.Host("parts.dbf")) + " --type ntx");
  EXPECT_EQ(v.status, 0) << v.output;
  EXPECT_NE(v.output.find("QTY: ok, 60 keys"), std::string::npos) << v.output;
  EXPECT_NE(v.output.find("D: ok, 60 keys"), std::string::npos) << v.output;
}

}  // namespace
