// Key encoding: every segment kind orders as its values do, descending tags invert the order,
// text keys follow their collation, partial keys match what they should.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "engine/core/error.h"
#include "engine/index/collation.h"
#include "engine/index/key_builder.h"
#include "engine/index/key_layout.h"

namespace engine {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes KeyOf(index::KeyBuilder& b) {
  auto k = b.Key();
  return Bytes(k.begin(), k.end());
}

int Sign(int v) { return (v > 0) - (v < 0); }

int Compare(const Bytes& a, const Bytes& b) {
  return Sign(std::memcmp(a.data(), b.data(), std::min(a.size(), b.size())));
}

index::KeyLayout Layout(std::vector<index::SegmentSpec> specs, const char* collation = "ANSI", bool descending = false,
                 uint32_t pageSize = 4096) {
  return index::KeyLayout::Make(specs, index::Collation::Find(collation), descending, pageSize);
}

// Numbers, integers, dates, timestamps and logicals: memcmp of the keys orders as the values do,
// for ascending and (inverted) descending tags.
TEST(IndexKeyEncoding, ScalarKindsOrderAsTheirValues) {
  std::mt19937 rng(7);
  std::vector<double> doubles = {-std::numeric_limits<double>::infinity(), -1e300, -2.5, -1.0, -1e-300,
                                 0.0, 1e-300, 0.5, 1.0, 3.0, 1e300, std::numeric_limits<double>::infinity()};
  std::uniform_real_distribution<double> ud(-1e6, 1e6);
  for (int i = 0; i < 200; ++i) doubles.push_back(ud(rng));
  std::vector<int64_t> ints = {std::numeric_limits<int32_t>::min(), -100000, -1, 0, 1, 2, 99, std::numeric_limits<int32_t>::max()};
  std::uniform_int_distribution<int32_t> ui(std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
  for (int i = 0; i < 200; ++i) ints.push_back(ui(rng));

  for (bool descending : {false, true}) {
    SCOPED_TRACE(descending ? "descending" : "ascending");
    index::KeyLayout l = Layout({{index::SegmentKind::kNumeric}, {index::SegmentKind::kInteger}, {index::SegmentKind::kInteger64},
                          {index::SegmentKind::kDate}, {index::SegmentKind::kTimestamp}, {index::SegmentKind::kLogical}},
                         "ANSI", descending);
    index::KeyBuilder b(l);
    auto check = [&](auto set, const auto& values) {
      for (size_t i = 0; i < values.size(); ++i) {
        for (size_t j = 0; j < values.size(); ++j) {
          b.Clear();
          set(b, values[i]);
          Bytes ki = KeyOf(b);
          b.Clear();
          set(b, values[j]);
          Bytes kj = KeyOf(b);
          int want = values[i] < values[j] ? -1 : values[j] < values[i] ? 1 : 0;
          if (descending) want = -want;
          ASSERT_EQ(Compare(ki, kj), want) << values[i] << " vs " << values[j];
        }
      }
    };
    check([](index::KeyBuilder& k, double v) { k.SetNumeric(0, v); }, doubles);
    check([](index::KeyBuilder& k, int64_t v) { k.SetInteger(1, v); }, ints);
    check([](index::KeyBuilder& k, int64_t v) { k.SetInteger(2, v * 4294967296LL + 5); }, ints);
    check([](index::KeyBuilder& k, int64_t v) { k.SetDate(3, static_cast<int32_t>(v)); }, ints);
    std::vector<int64_t> stamps;
    for (int64_t d : {0, 2451545, 2451546}) {
      for (int64_t ms : {0, 1, 43200000, 86399999}) stamps.push_back(d * 100000000 + ms);
    }
    check([](index::KeyBuilder& k, int64_t v) { k.SetTimestamp(4, static_cast<int32_t>(v / 100000000), static_cast<uint32_t>(v % 100000000)); }, stamps);
    check([](index::KeyBuilder& k, int64_t v) { k.SetLogical(5, v != 0); }, std::vector<int64_t>{0, 1});
  }
}

TEST(IndexKeyEncoding, NegativeZeroEqualsZeroAndNullSortsFirst) {
  index::KeyLayout l = Layout({{index::SegmentKind::kNumeric}});
  index::KeyBuilder b(l);
  b.SetNumeric(0, -0.0);
  Bytes neg = KeyOf(b);
  b.SetNumeric(0, 0.0);
  EXPECT_EQ(neg, KeyOf(b));
  b.SetNumeric(0, -std::numeric_limits<double>::infinity());
  Bytes lowest = KeyOf(b);
  b.SetNull(0);
  EXPECT_LT(Compare(KeyOf(b), lowest), 0);
}

// Compound keys order by their first segment, then the next.
TEST(IndexKeyEncoding, CompoundKeysOrderSegmentBySegment) {
  index::KeyLayout l = Layout({{index::SegmentKind::kString, 20}, {index::SegmentKind::kDate}});
  ASSERT_EQ(l.keyLength(), 1u + 20 + 1 + 4);
  index::KeyBuilder b(l);
  struct Row { const char* s; int32_t d; };
  std::vector<Row> rows = {{"ALPHA", 5}, {"ALPHA", 7}, {"ALPHAB", 1}, {"BETA", -3}, {"BETA", 2}};
  for (size_t i = 0; i + 1 < rows.size(); ++i) {
    b.SetString(0, rows[i].s, std::strlen(rows[i].s));
    b.SetDate(1, rows[i].d);
    Bytes a = KeyOf(b);
    b.SetString(0, rows[i + 1].s, std::strlen(rows[i + 1].s));
    b.SetDate(1, rows[i + 1].d);
    EXPECT_LT(Compare(a, KeyOf(b)), 0) << rows[i].s << " " << rows[i].d;
  }
}

// Byte-order text: blank padding makes "AB" and "AB  " one key; longer texts are cut at the width.
TEST(IndexKeyEncoding, ByteOrderTextIsPaddedAndCut) {
  index::KeyLayout l = Layout({{index::SegmentKind::kString, 4}}, "OEM");
  index::KeyBuilder b(l);
  b.SetString(0, "AB", 2);
  Bytes shortKey = KeyOf(b);
  b.SetString(0, "AB  ", 4);
  EXPECT_EQ(shortKey, KeyOf(b));
  b.SetString(0, "ABCDEF", 6);
  Bytes cut = KeyOf(b);
  b.SetString(0, "ABCD", 4);
  EXPECT_EQ(cut, KeyOf(b));
  EXPECT_EQ(Bytes({1, 'A', 'B', 'C', 'D'}), cut);
}

// Named collations: case rules and language rules as their names say.
TEST(IndexKeyEncoding, NamedCollationsOrderByTheirLanguage) {
  struct Case {
    const char* collation;
    const char* a;  // code page 1252 text
    const char* b;
    int expected;
  };
  const Case cases[] = {
      {"GENERAL_VFP_CI_AS_1252", "apple", "APPLE", 0},        // case-insensitive
      {"GENERAL_VFP_CI_AS_1252", "apple", "Banana", -1},      // letters before case
      {"ENGL(AMER)_ADS_CS_AS_1252", "apple", "APPLE", -1},    // case-sensitive: lower first
      {"ENGL(AMER)_ADS_CS_AS_1252", "Zebra", "apple", 1},     // but letters decide before case
      {"GERMAN_VFP_CI_AS_1252", "\xE4pfel", "Apfel", 1},      // accent is secondary: after plain a
      {"GERMAN_VFP_CI_AS_1252", "\xE4pfel", "Bach", -1},      // but before b
      {"SWEDISH_ADS_CS_AS_1252", "\xE4pple", "zebra", 1},     // Swedish: ä after z
      {"ANSI", "apple", "APPLE", 1},                          // byte order: 'a' > 'A'
      {"ANSI", "Zebra", "apple", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.collation) + ": " + c.a + " / " + c.b);
    index::KeyLayout l = Layout({{index::SegmentKind::kString, 10}}, c.collation);
    index::KeyBuilder b(l);
    b.SetString(0, c.a, std::strlen(c.a));
    Bytes ka = KeyOf(b);
    b.SetString(0, c.b, std::strlen(c.b));
    EXPECT_EQ(Compare(ka, KeyOf(b)), c.expected);
  }
}

// Every collation name of the character-type list resolves; the four texts with parentheses
// are also found under their enumeration spelling; anything else is a clear error.
TEST(IndexKeyEncoding, CollationNamesResolveOrFailClearly) {
  const char* names[] = {"ANSI", "OEM", "", "MACHINE_VFP_BIN_1252", "CZECH_VFP_CI_AS_1250", "RUSSIAN_VFP_CI_AS_866",
                         "DUDEN_DE_ADS_CS_AS_1252", "BOSNIAN_ADS_CS_AS_775", "GENERAL_VFP_CI_AS_620",
                         "NTXCZ895_ADS_CS_AS_895", "SPAN(MOD)_ADS_CS_AS_1252", "GREEK851_ADS_CS_AS_851"};
  for (const char* n : names) {
    SCOPED_TRACE(n);
    EXPECT_NO_THROW(index::Collation::Find(n));
  }
  EXPECT_EQ(index::Collation::Find("ENGL_AMER_ADS_CS_AS_1252").name(), "ENGL(AMER)_ADS_CS_AS_1252");
  EXPECT_EQ(&index::Collation::Find("general_vfp_ci_as_1252"), &index::Collation::Find("GENERAL_VFP_CI_AS_1252"));
  EXPECT_TRUE(index::Collation::Find("MACHINE_VFP_BIN_1250").IsByteOrder());
  EXPECT_FALSE(index::Collation::Find("GERMAN_VFP_CI_AS_437").IsByteOrder());
  for (const char* bad : {"KLINGON_ADS_CS_AS_1252", "GERMAN", "ANSI2", "GERMAN_VFP_CI_AS_9999"}) {
    SCOPED_TRACE(bad);
    try {
      index::Collation::Find(bad);
      ADD_FAILURE() << "accepted";
    } catch (const EngineError& e) {
      EXPECT_EQ(e.code(), err::kUnknownCollation);
      EXPECT_NE(std::string(e.what()).find(bad), std::string::npos);
    }
  }
}

// A partial text key is a prefix of the keys of every text that starts with it, in byte-order
// and named collations, ascending and descending; a text that does not start with it is not.
TEST(IndexKeyEncoding, PartialTextKeysArePrefixesOfMatchingKeys) {
  for (const char* coll : {"ANSI", "GERMAN_VFP_CI_AS_1252", "ENGL(UK)_ADS_CS_AS_1252"}) {
    for (bool descending : {false, true}) {
      SCOPED_TRACE(std::string(coll) + (descending ? " desc" : " asc"));
      index::KeyLayout l = Layout({{index::SegmentKind::kString, 12}, {index::SegmentKind::kInteger}}, coll, descending);
      index::KeyBuilder full(l), part(l);
      part.SetStringPrefix(0, "Mill", 4);
      Bytes prefix = KeyOf(part);
      ASSERT_LT(prefix.size(), l.keyLength());
      for (const char* t : {"Mill", "Miller", "Millstone 9"}) {
        full.SetString(0, t, std::strlen(t));
        full.SetInteger(1, 42);
        Bytes k = KeyOf(full);
        EXPECT_EQ(0, std::memcmp(k.data(), prefix.data(), prefix.size())) << t;
      }
      for (const char* t : {"Mil", "Mule", "Apple"}) {
        full.SetString(0, t, std::strlen(t));
        Bytes k = KeyOf(full);
        EXPECT_NE(0, std::memcmp(k.data(), prefix.data(), prefix.size())) << t;
      }
    }
  }
}

// A collated key cut to its fixed length never reverses the order of two texts.
TEST(IndexKeyEncoding, CutSortKeysKeepTheOrder) {
  // 100 characters on 512-byte pages: the sort keys are longer than the room for them.
  index::KeyLayout l = Layout({{index::SegmentKind::kString, 100}}, "ENGL(AMER)_ADS_CS_AS_1252", false, 512);
  ASSERT_LT(l.keyLength(), 2u * 100 + 4);
  index::KeyBuilder b(l);
  std::mt19937 rng(3);
  std::vector<std::string> texts;
  std::uniform_int_distribution<int> letter(0, 51);
  for (int i = 0; i < 300; ++i) {
    std::string s;
    for (int k = 0; k < 100; ++k) {
      int v = letter(rng);
      s.push_back(static_cast<char>(v < 26 ? 'a' + v : 'A' + v - 26));
    }
    texts.push_back(s);
  }
  std::vector<std::pair<Bytes, std::string>> keyed;
  for (const auto& t : texts) {
    b.SetString(0, t.data(), t.size());
    keyed.emplace_back(KeyOf(b), t);
  }
  std::sort(keyed.begin(), keyed.end());
  // Case-insensitive comparison of the letters must never decrease along the key order.
  auto lower = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  for (size_t i = 0; i + 1 < keyed.size(); ++i) {
    EXPECT_LE(lower(keyed[i].second), lower(keyed[i + 1].second));
  }
}

TEST(IndexKeyEncoding, LayoutRefusesWhatCannotBeStored) {
  struct Case {
    std::vector<index::SegmentSpec> specs;
    const char* collation;
    uint32_t pageSize;
    ErrorCode code;
  };
  const Case cases[] = {
      {{{index::SegmentKind::kString, 200}}, "ANSI", 512, err::kIndexKeyTooLong},
      {{{index::SegmentKind::kString, 10}}, "ANSI", 1000, err::kInvalidIndexPageSize},
      {{{index::SegmentKind::kString, 10}}, "ANSI", 16384, err::kInvalidIndexPageSize},
      {{}, "ANSI", 512, err::kInvalidTagDefinition},
      {{{index::SegmentKind::kString, 0}}, "ANSI", 512, err::kInvalidTagDefinition},
  };
  for (const Case& c : cases) {
    try {
      Layout(c.specs, c.collation, false, c.pageSize);
      ADD_FAILURE() << "accepted page size " << c.pageSize;
    } catch (const EngineError& e) {
      EXPECT_EQ(e.code(), c.code) << e.what();
    }
  }
  // A collated key that would not fit is shortened instead, down to one byte per character.
  index::KeyLayout fitted = Layout({{index::SegmentKind::kString, 100}}, "GERMAN_VFP_CI_AS_1252", false, 512);
  EXPECT_LE(fitted.keyLength(), index::KeyLayout::MaxKeyLength(512));
  EXPECT_GE(fitted.keyLength(), 101u);
}

}  // namespace
}  // namespace engine
