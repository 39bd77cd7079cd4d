// Record images: the null encoding of every field type byte by byte (the data-access layer
// tests these bytes), values written and read back, and refusals of values that do not fit.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "engine/core/error.h"
#include "engine/table/field_def_parser.h"
#include "engine/table/record_writer.h"

namespace engine {
namespace {

struct NullCase {
  const char* definition;
  std::vector<uint8_t> bytes;  // the field's whole storage after clearing
};

class NullEncodings : public ::testing::TestWithParam<NullCase> {};

TEST_P(NullEncodings, ClearingWritesTheBytesTheLayerTestsAndReadsAsNull) {
  const NullCase& c = GetParam();
  table::Schema s = table::Schema::FromSpecs(table::ParseFieldDefinitions(std::string("F,") + c.definition + ";"));
  std::vector<uint8_t> image(s.recordLength(), 0xAB);
  table::WriteEmptyRecord(s, image.data());
  EXPECT_EQ(image[0], ' ');
  std::vector<uint8_t> field(image.begin() + 1, image.end());
  EXPECT_EQ(field, c.bytes);
  table::RecordView v(s, image.data(), 1);
  EXPECT_TRUE(v.isNull(0));
  EXPECT_TRUE(v.isEmpty(0));
}

std::vector<uint8_t> Zeros(size_t n) { return std::vector<uint8_t>(n, 0); }
std::vector<uint8_t> ZerosThenFFFF(size_t n) {
  std::vector<uint8_t> v(n, 0);
  v.push_back(0xFF);
  v.push_back(0xFF);
  return v;
}

INSTANTIATE_TEST_SUITE_P(
    EveryType, NullEncodings,
    ::testing::Values(NullCase{"Logical", {' '}}, NullCase{"Num,6,2", Zeros(6)}, NullCase{"Date", Zeros(4)},
                      NullCase{"Char,3", Zeros(3)}, NullCase{"CIChar,2", Zeros(2)}, NullCase{"Raw,2", Zeros(2)},
                      NullCase{"NChar,2", Zeros(4)}, NullCase{"Memo", Zeros(8)}, NullCase{"Binary", Zeros(8)},
                      NullCase{"Image", Zeros(8)}, NullCase{"NMemo", Zeros(8)},
                      NullCase{"Double", {32, 0, 0, 0, 0, 0, 0, 0x80}},
                      NullCase{"CurDouble", {32, 0, 0, 0, 0, 0, 0, 0x80}},
                      NullCase{"Integer", {0, 0, 0, 0x80}}, NullCase{"ShortInt", {0, 0x80}},
                      NullCase{"Time", {0xFF, 0xFF, 0xFF, 0xFF}}, NullCase{"AutoInc", {0xFF, 0xFF, 0xFF, 0xFF}},
                      NullCase{"TimeStamp", {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}},
                      NullCase{"ModTime", {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}},
                      NullCase{"Money", {0, 0, 0, 0, 0, 0, 0, 0x80}},
                      NullCase{"RowVersion", {0, 0, 0, 0, 0, 0, 0, 0x80}},
                      NullCase{"VarChar,3", ZerosThenFFFF(3)}, NullCase{"VarBinary,2", ZerosThenFFFF(2)},
                      NullCase{"NVarChar,2", ZerosThenFFFF(4)}));

class RecordValues : public ::testing::Test {
 protected:
  RecordValues()
      : schema_(table::Schema::FromSpecs(table::ParseFieldDefinitions(
            "C,Char,5;V,VarChar,6;N,Num,8,2;D,Double;I,Integer;S,ShortInt;L,Logical;DT,Date;T,Time;"
            "TS,TimeStamp;M,Money;W,NChar,3;WV,NVarChar,4;R,Raw,3;"))),
        image_(schema_.recordLength()) {
    table::WriteEmptyRecord(schema_, image_.data());
  }
  size_t F(const char* name) { return *schema_.Find(name); }
  table::RecordView View() { return table::RecordView(schema_, image_.data(), 7); }

  table::Schema schema_;
  std::vector<uint8_t> image_;
};

TEST_F(RecordValues, TypedValuesReadBackInTheirEncodings) {
  table::WriteText(schema_, image_.data(), F("C"), "ab", false);
  table::WriteText(schema_, image_.data(), F("V"), "xyz", false);
  table::WriteNumber(schema_, image_.data(), F("N"), -12.345);
  table::WriteNumber(schema_, image_.data(), F("D"), 2.5);
  table::WriteInteger(schema_, image_.data(), F("I"), -7);
  table::WriteInteger(schema_, image_.data(), F("S"), 300);
  table::WriteLogical(schema_, image_.data(), F("L"), true);
  table::WriteJulian(schema_, image_.data(), F("DT"), 2451545);
  table::WriteMilliseconds(schema_, image_.data(), F("T"), 43200000);
  table::WriteTimeStamp(schema_, image_.data(), F("TS"), 2451545, 1000);
  table::WriteNumber(schema_, image_.data(), F("M"), 12.3456);
  table::WriteWideText(schema_, image_.data(), F("W"), u"\u00e9a", false);
  table::WriteWideText(schema_, image_.data(), F("WV"), u"\u20ac", false);
  table::WriteText(schema_, image_.data(), F("R"), std::string("\x01\x02", 2), false);
  table::RecordView v = View();
  EXPECT_EQ(v.text(F("C")), "ab   ");
  EXPECT_EQ(v.text(F("V")), "xyz");
  EXPECT_EQ(v.usedLength(F("V")), 3);
  EXPECT_EQ(v.text(F("N")), "  -12.35");  // rounded to its decimals, right-aligned; sign kept
  EXPECT_DOUBLE_EQ(v.number(F("N")), -12.35);
  EXPECT_DOUBLE_EQ(v.number(F("D")), 2.5);
  EXPECT_EQ(v.integer(F("I")), -7);
  EXPECT_EQ(v.integer(F("S")), 300);
  EXPECT_TRUE(v.logical(F("L")));
  EXPECT_EQ(v.julian(F("DT")), 2451545);
  EXPECT_EQ(v.milliseconds(F("T")), 43200000);
  EXPECT_EQ(v.julian(F("TS")), 2451545);
  EXPECT_EQ(v.milliseconds(F("TS")), 1000);
  EXPECT_EQ(v.integer(F("M")), 123456);
  EXPECT_DOUBLE_EQ(v.number(F("M")), 12.3456);
  EXPECT_EQ(v.wideText(F("W")), u"\u00e9a ");
  EXPECT_EQ(v.wideText(F("WV")), u"\u20ac");
  EXPECT_EQ(v.usedLength(F("WV")), 1);
  EXPECT_EQ(v.text(F("R")), std::string("\x01\x02\x00", 3));
  for (size_t i = 0; i < schema_.fieldCount(); ++i) EXPECT_FALSE(v.isNull(i)) << schema_.fields()[i].name;
}

TEST_F(RecordValues, BlankCharactersAreEmptyButNotNull) {
  table::WriteText(schema_, image_.data(), F("C"), "", false);
  table::RecordView v = View();
  EXPECT_FALSE(v.isNull(F("C")));
  EXPECT_TRUE(v.isEmpty(F("C")));
  EXPECT_EQ(v.text(F("C")), "     ");
}

TEST_F(RecordValues, ValuesThatDoNotFitLeaveTheImageUnchanged) {
  struct Case {
    const char* field;
    std::function<void()> write;
  };
  std::vector<Case> cases = {
      {"C", [&] { table::WriteText(schema_, image_.data(), F("C"), "toolong", false); }},
      {"V", [&] { table::WriteText(schema_, image_.data(), F("V"), "1234567", false); }},
      {"N", [&] { table::WriteNumber(schema_, image_.data(), F("N"), 123456.0); }},
      {"S", [&] { table::WriteInteger(schema_, image_.data(), F("S"), 40000); }},
      {"I", [&] { table::WriteInteger(schema_, image_.data(), F("I"), INT32_MIN); }},
      {"T", [&] { table::WriteMilliseconds(schema_, image_.data(), F("T"), 86400000); }},
      {"W", [&] { table::WriteWideText(schema_, image_.data(), F("W"), u"abcd", false); }},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> before = image_;
    try {
      c.write();
      ADD_FAILURE() << "accepted for " << c.field;
    } catch (const EngineError& e) {
      EXPECT_EQ(e.code(), err::kValueDoesNotFit) << c.field;
      EXPECT_NE(std::string(e.what()).find(std::string("\"") + c.field + "\""), std::string::npos) << e.what();
    }
    EXPECT_EQ(image_, before) << c.field;
  }
}

TEST_F(RecordValues, WrongKindOfValueIsATypeMismatch) {
  try {
    table::WriteJulian(schema_, image_.data(), F("C"), 2451545);
    FAIL();
  } catch (const EngineError& e) {
    EXPECT_EQ(e.code(), err::kFieldTypeMismatch);
  }
}

TEST_F(RecordValues, TruncatingWritesCutLongText) {
  table::WriteText(schema_, image_.data(), F("C"), "abcdefgh", true);
  EXPECT_EQ(View().text(F("C")), "abcde");
}

}  // namespace
}  // namespace engine
