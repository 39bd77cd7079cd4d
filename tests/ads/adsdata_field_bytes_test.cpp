// The byte rules of the dataset core on hand-made record images: which field bytes mean "no
// value" for native, FoxPro and DBF layouts, and the value forms the bytes convert into.
#include <gtest/gtest.h>

#include <QDate>
#include <cstring>
#include <vector>

#include "adsdata_test_dataset.h"

namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> b) {
  std::vector<uint8_t> v;
  for (int x : b) v.push_back(static_cast<uint8_t>(x));
  return v;
}
std::vector<uint8_t> Text(const char* s) { return std::vector<uint8_t>(s, s + std::strlen(s)); }
std::vector<uint8_t> Repeat(int n, int b) { return std::vector<uint8_t>(static_cast<size_t>(n), static_cast<uint8_t>(b)); }
template <typename T>
std::vector<uint8_t> Of(T v) {
  std::vector<uint8_t> out(sizeof v);
  std::memcpy(out.data(), &v, sizeof v);
  return out;
}
std::vector<uint8_t> Cat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct EmptyCase {
  uint16_t tableType;
  uint16_t engineType;
  uint32_t length;              // the field's length; bytes beyond it are the variable length
  std::vector<uint8_t> bytes;   // the field's bytes (and its 16-bit length where it has one)
  bool empty;
};

TACEFieldDef Def(uint16_t type, uint32_t length, uint16_t number = 1) {
  TACEFieldDef d(nullptr);
  d.SetFieldType(type);
  d.SetLength(length);
  d.SetOffset(1);  // byte 0 of a record image is the deletion flag
  d.SetFieldNumber(number);
  return d;
}

class AdsDataFieldBytes : public ::testing::Test {
 protected:
  void SetUp() override { ace_binding::ResetForTesting(); }
  TestAdsDataSet ds_{nullptr};
};

}  // namespace

TEST_F(AdsDataFieldBytes, EmptinessByTableTypeFieldTypeAndBytes) {
  const int32_t kMin = INT32_MIN;
  const std::vector<EmptyCase> cases = {
      // Native tables.
      {3, 1, 1, Text(" "), true},
      {3, 1, 1, Text("F"), false},
      {3, 2, 5, Repeat(5, 0), true},
      {3, 2, 5, Text("   12"), false},
      {3, 3, 4, Repeat(4, 0), true},
      {3, 3, 4, Of<int32_t>(2460385), false},
      {3, 4, 3, Repeat(3, 0), true},
      {3, 4, 3, Text("   "), false},  // blanks are a value (empty text), not a missing one
      {3, 9, 3, Repeat(3, 0), true},
      {3, 16, 2, Bytes({0, 1}), false},
      {3, 20, 2, Repeat(2, 0), true},
      {3, 26, 4, Repeat(4, 0), true},
      {3, 26, 4, Bytes({' ', 0, 0, 0}), false},
      {3, 5, 4, Of<uint32_t>(0), true},
      {3, 6, 4, Of<uint32_t>(0xFFFFFFFFu), false},
      {3, 7, 4, Of<uint32_t>(0), true},
      {3, 8, 4, Of<uint32_t>(0xFFFFFFFFu), false},
      {3, 28, 4, Of<uint32_t>(0), true},
      {3, 10, 8, Cat(Of<uint32_t>(32), Of<int32_t>(kMin)), true},
      {3, 10, 8, Repeat(8, 0), false},  // 0.0
      {3, 17, 8, Cat(Of<uint32_t>(32), Of<int32_t>(kMin)), true},
      {3, 17, 8, Cat(Of<uint32_t>(33), Of<int32_t>(kMin)), false},
      {3, 11, 4, Of<int32_t>(kMin), true},
      {3, 11, 4, Of<int32_t>(0), false},
      {3, 12, 2, Of<uint16_t>(0x8000), true},
      {3, 12, 2, Of<uint16_t>(0), false},
      {3, 13, 4, Of<int32_t>(-1), true},
      {3, 13, 4, Of<int32_t>(0), false},  // midnight
      {3, 15, 4, Of<int32_t>(-1), true},
      {3, 14, 8, Cat(Of<int32_t>(0), Of<int32_t>(5)), true},
      {3, 22, 8, Cat(Of<int32_t>(1), Of<int32_t>(0)), false},
      {3, 18, 8, Cat(Of<uint32_t>(0), Of<int32_t>(kMin)), true},
      {3, 18, 8, Repeat(8, 0), false},  // 0.0000
      {3, 21, 8, Cat(Of<uint32_t>(0), Of<int32_t>(kMin)), true},
      {3, 23, 3, Cat(Text("ab "), Of<uint16_t>(0xFFFF)), true},
      {3, 23, 3, Cat(Repeat(3, 0), Of<uint16_t>(0)), false},  // the empty string is a value
      {3, 24, 2, Cat(Repeat(2, 0), Of<uint16_t>(0xFFFF)), true},
      {3, 27, 4, Cat(Repeat(4, 0), Of<uint16_t>(1)), false},
      {3, 19, 4, Of<int32_t>(7), true},
      {3, 25, 4, Of<int32_t>(7), true},
      // FoxPro tables (fields not nullable: no null flags are asked).
      {4, 1, 1, Text(" "), true},
      {4, 1, 1, Text("T"), false},
      {4, 2, 4, Text("    "), true},
      {4, 2, 4, Repeat(4, 0), false},
      {4, 3, 8, Text("        "), true},
      {4, 5, 4, Of<uint32_t>(0), true},
      {4, 14, 8, Cat(Of<int32_t>(0), Of<int32_t>(9)), true},
      {4, 14, 8, Cat(Of<int32_t>(2460385), Of<int32_t>(0)), false},
      {4, 28, 4, Of<uint32_t>(1), false},
      {4, 27, 4, Cat(Repeat(4, 0), Of<uint16_t>(0xFFFF)), true},
      {4, 4, 3, Repeat(3, 0), false},
      {4, 11, 4, Of<int32_t>(kMin), false},
      // DBF tables.
      {2, 1, 1, Text(" "), true},
      {2, 2, 4, Bytes({' ', 0, ' ', 0}), true},
      {2, 4, 3, Text("a  "), false},
      {2, 3, 4, Of<int32_t>(0), true},
      {2, 3, 4, Of<int32_t>(2460385), false},
      {2, 3, 8, Text("        "), true},
      {2, 3, 8, Text("20240315"), false},
      {2, 5, 4, Of<uint32_t>(0), true},
      {2, 9, 3, Repeat(3, 0), true},
      {2, 9, 3, Bytes({0x0F, 0xA3, 0x8F}), false},
      {1, 10, 8, Repeat(8, 0), false},
      {1, 11, 4, Of<int32_t>(kMin), false},
      {1, 12, 2, Of<uint16_t>(0x8000), false},
      {1, 17, 8, Repeat(8, 0), false},
      {2, 26, 6, Bytes({' ', 0, ' ', 'x', 'y', 'z'}), true},  // only the first half is tested
      {2, 26, 6, Bytes({'a', 0, ' ', 0, 0, 0}), false},
      {2, 27, 2, Cat(Repeat(2, 0), Of<uint16_t>(0xFFFF)), true},
      {2, 27, 2, Cat(Repeat(2, 0), Of<uint16_t>(0)), false},
      {2, 13, 4, Of<int32_t>(5), true},
      {2, 16, 2, Text("ab"), true},
      {2, 18, 8, Of<int64_t>(5), true},
      {2, 25, 4, Of<int32_t>(5), true},
  };
  for (const EmptyCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "table type " << c.tableType << ", field type " << c.engineType
                                    << ", length " << c.length);
    const TACEFieldDef def = Def(c.engineType, c.length);
    std::vector<uint8_t> record = Cat(Text(" "), c.bytes);
    record.resize(record.size() + 4, 0xEE);
    EXPECT_EQ(ds_.IsFieldEmpty(record.data() + 1, c.length, def, record.data(), c.tableType), c.empty);
  }
}

namespace {

struct ValueCase {
  uint16_t tableType;
  uint16_t engineType;
  uint32_t length;
  std::vector<uint8_t> bytes;
  std::vector<uint8_t> expected;  // the value form's leading bytes
};

int32_t Day(int y, int m, int d) { return static_cast<int32_t>(QDate(y, m, d).toJulianDay() - 1721425); }

}  // namespace

TEST_F(AdsDataFieldBytes, NullableFoxProFieldsAskTheEngineForTheirNullFlag) {
  // Bytes that are not empty by themselves leave the answer to the table's null flags; without
  // an open table the engine cannot give it, and the failure is raised, never guessed.
  TACEFieldDef def = Def(4, 3);
  def.SetNullable(true);
  std::vector<uint8_t> record = Cat(Text(" "), Text("abc"));
  EXPECT_THROW(ds_.IsFieldEmpty(record.data() + 1, 3, def, record.data(), 4), EADSDatabaseError);
  // Empty by their bytes: no question is asked.
  TACEFieldDef logical = Def(1, 1);
  logical.SetNullable(true);
  record = Cat(Text(" "), Text(" "));
  EXPECT_TRUE(ds_.IsFieldEmpty(record.data() + 1, 1, logical, record.data(), 4));
}

TEST_F(AdsDataFieldBytes, ValueFormsByFieldType) {
  const int32_t jd = static_cast<int32_t>(QDate(2024, 3, 15).toJulianDay());
  const std::vector<ValueCase> cases = {
      {3, 1, 1, Text("T"), Of<int16_t>(-1)},
      {3, 1, 1, Text("y"), Of<int16_t>(-1)},
      {3, 1, 1, Text("1"), Of<int16_t>(-1)},
      {3, 1, 1, Text("F"), Of<int16_t>(0)},
      {3, 1, 1, Text("n"), Of<int16_t>(0)},
      {3, 3, 4, Of<int32_t>(jd), Of<int32_t>(Day(2024, 3, 15))},
      {2, 3, 8, Text("20240315"), Of<int32_t>(Day(2024, 3, 15))},
      // The compact date 0x0FA38F is 2001 * 512 + 12 * 32 + 15: 15 December 2001.
      {2, 9, 3, Bytes({0x0F, 0xA3, 0x8F}), Of<int32_t>(Day(2001, 12, 15))},
      {3, 4, 5, Text("ab   "), Cat(Text("ab"), Bytes({0}))},
      {3, 4, 3, Text("   "), Bytes({0})},
      {3, 20, 4, Text(" x y"), Cat(Text(" x y"), Bytes({0}))},
      {3, 10, 8, Of<double>(-2.5), Of<double>(-2.5)},
      {3, 17, 8, Of<double>(7.25), Of<double>(7.25)},
      {3, 11, 4, Of<int32_t>(-12), Of<int32_t>(-12)},
      {3, 13, 4, Of<int32_t>(3723004), Of<int32_t>(3723004)},
      {3, 15, 4, Of<int32_t>(9), Of<int32_t>(9)},
      {3, 12, 2, Of<int16_t>(-300), Of<int16_t>(-300)},
      {3, 14, 8, Cat(Of<int32_t>(jd), Of<int32_t>(43200499)),
       Of<double>(Day(2024, 3, 15) * 86400000.0 + 43200499)},
      // FoxPro timestamps are rounded to the second.
      {4, 14, 8, Cat(Of<int32_t>(jd), Of<int32_t>(43200499)), Of<double>(Day(2024, 3, 15) * 86400000.0 + 43200000)},
      {4, 14, 8, Cat(Of<int32_t>(jd), Of<int32_t>(43200500)), Of<double>(Day(2024, 3, 15) * 86400000.0 + 43201000)},
      {3, 22, 8, Cat(Of<int32_t>(0), Of<int32_t>(5)), Of<double>(0)},  // before day 1: 0
      {3, 16, 3, Bytes({9, 0, 8}), Bytes({9, 0, 8})},
      {3, 23, 6, Cat(Text("abc   "), Of<uint16_t>(4)), Cat(Text("abc"), Bytes({0}))},
      {3, 24, 4, Cat(Bytes({1, 2, 3, 4}), Of<uint16_t>(2)), Cat(Of<uint16_t>(2), Bytes({1, 2}))},
      // A stored length beyond the field is cut to the field.
      {3, 24, 2, Cat(Bytes({5, 6}), Of<uint16_t>(900)), Cat(Of<uint16_t>(2), Bytes({5, 6}))},
      {2, 23, 4, Text("ab  "), Cat(Text("ab"), Bytes({0}))},
      {3, 26, 6, Bytes({'a', 0, ' ', 0, ' ', 0}), Bytes({'a', 0, 0, 0})},
      {3, 27, 6, Cat(Bytes({'h', 0, 'i', 0, 'x', 0}), Of<uint16_t>(2)), Bytes({'h', 0, 'i', 0, 0, 0})},
      {3, 27, 4, Cat(Bytes({'h', 0, ' ', 0}), Of<uint16_t>(2)), Bytes({'h', 0, 0, 0})},
  };
  for (const ValueCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "table type " << c.tableType << ", field type " << c.engineType);
    const TACEFieldDef def = Def(c.engineType, c.length);
    std::vector<uint8_t> record = Cat(Text(" "), c.bytes);
    TStringField field(nullptr);
    std::vector<uint8_t> value(64, 0xCC);
    ds_.ConvertFieldValue(&field, def, record.data(), value.data(), c.tableType);
    EXPECT_EQ(std::vector<uint8_t>(value.begin(), value.begin() + static_cast<long>(c.expected.size())), c.expected);
  }
}

TEST_F(AdsDataFieldBytes, NumericTextConvertsByTheFieldsTypeAndBadTextLeavesTheValue) {
  const TACEFieldDef def = Def(2, 8);
  const auto convert = [&](TField& field, const char* text, std::vector<uint8_t>& value) {
    std::vector<uint8_t> record = Cat(Text(" "), Text(text));
    record.push_back('9');  // the byte after the field is not part of the number
    ds_.ConvertFieldValue(&field, def, record.data(), value.data(), 3);
  };
  TSmallintField small(nullptr);
  std::vector<uint8_t> v(sizeof(TBcd), 0xCC);
  convert(small, "    -123", v);
  EXPECT_EQ(std::vector<uint8_t>(v.begin(), v.begin() + 2), Of<int16_t>(-123));
  std::vector<uint8_t> untouched(sizeof(TBcd), 0xCC);
  convert(small, "   12x45", untouched);
  EXPECT_EQ(untouched, std::vector<uint8_t>(sizeof(TBcd), 0xCC));

  TBCDField bcd(nullptr);
  convert(bcd, "   12.50", v);
  TBcd value;
  std::memcpy(&value, v.data(), sizeof value);
  EXPECT_EQ(BcdToStr(value), "12.5");

  TFloatField dbl(nullptr);
  convert(dbl, "  -0.125", v);
  double d = 0;
  std::memcpy(&d, v.data(), sizeof d);
  EXPECT_DOUBLE_EQ(d, -0.125);
  // Text ending early at a NUL inside the field.
  std::vector<uint8_t> record = Cat(Text(" "), Bytes({' ', '4', '2', 0, 'x', 'x', 'x', 'x'}));
  ds_.ConvertFieldValue(&dbl, def, record.data(), v.data(), 3);
  std::memcpy(&d, v.data(), sizeof d);
  EXPECT_DOUBLE_EQ(d, 42.0);
}

TEST_F(AdsDataFieldBytes, MoneyAndRowVersionBecomeBcdValues) {
  TBCDField field(nullptr);
  TBcd value;
  std::vector<uint8_t> record = Cat(Text(" "), Of<int64_t>(-123456));
  ds_.ConvertFieldValue(&field, Def(18, 8), record.data(), &value, 3);
  EXPECT_EQ(BcdToStr(value), "-12.3456");
  EXPECT_EQ(BcdPrecision(value), 20);
  EXPECT_EQ(BcdScale(value), 4);
  record = Cat(Text(" "), Of<int64_t>(9007199254740993LL));
  ds_.ConvertFieldValue(&field, Def(21, 8), record.data(), &value, 3);
  EXPECT_EQ(BcdToStr(value), "9007199254740993");
}

TEST(AdsDataFieldMapping, EngineTypesMapToFieldDefinitions) {
  struct Row {
    uint16_t type;
    uint32_t length;
    uint16_t decimals;
    uint16_t aceTableType;
    bool asFloats;
    TFieldType field;
    int size;
    int precision;
  };
  const Row rows[] = {
      {2, 20, 2, 3, false, ftFMTBcd, 2, 18}, {2, 10, 5, 3, false, ftFMTBcd, 5, 8},
      {2, 10, 2, 3, false, ftBCD, 2, 8},     {2, 6, 0, 3, false, ftBCD, 0, 5},
      {2, 20, 2, 3, true, ftFloat, 0, -1},   {2, 4, 0, 2, false, ftSmallint, 0, -1},
      {2, 5, 0, 1, false, ftFloat, 0, -1},   {2, 3, 1, 4, false, ftFloat, 0, -1},
      {26, 10, 0, 3, false, ftWideString, 10, -1}, {27, 7, 0, 3, false, ftWideString, 7, -1},
      {18, 8, 0, 3, false, ftBCD, 4, 20},    {21, 8, 0, 3, false, ftBCD, 0, 20},
      {9, 3, 0, 2, false, ftDate, 0, -1},    {16, 5, 0, 3, false, ftBytes, 5, -1},
      {24, 9, 0, 4, false, ftVarBytes, 9, -1}, {51, 9, 0, 4, false, ftBlob, 1, -1},
      {52, 9, 0, 4, false, ftBlob, 1, -1},   {8, 9, 0, 3, false, ftMemo, 1, -1},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "engine type " << r.type << " length " << r.length);
    const TAdsFieldMapping m = MapEngineFieldType(nullptr, r.type, r.length, r.decimals, r.aceTableType, r.asFloats);
    EXPECT_EQ(m.type, r.field);
    EXPECT_EQ(m.size, r.size);
    EXPECT_EQ(m.precision, r.precision);
  }
  for (uint16_t unknown : {0, 19, 25, 29, 40, 50, 53, 300}) {
    try {
      MapEngineFieldType(nullptr, unknown, 4, 0, 3, false);
      ADD_FAILURE() << "type " << unknown << " was mapped";
    } catch (const EADSDatabaseError& e) {
      EXPECT_EQ(e.ACEErrorCode(), 5121u);
      EXPECT_EQ(e.Message(), QStringLiteral("Unknown field type (%1) encountered.").arg(unknown));
    }
  }
}
