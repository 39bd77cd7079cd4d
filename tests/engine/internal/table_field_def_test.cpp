// The field-definition string: every type word, the layout it gives, and clear errors that
// name the field for malformed strings.
#include <gtest/gtest.h>

#include "engine/core/error.h"
#include "engine/table/field_def_parser.h"

namespace engine {
namespace {

struct TypeCase {
  const char* definition;
  table::FieldType type;
  uint32_t length;    // the engine's field length
  uint16_t decimals;
  uint32_t size;      // bytes in the record image
};

class FieldDefinitionTypes : public ::testing::TestWithParam<TypeCase> {};

TEST_P(FieldDefinitionTypes, ParsesIntoTypeLengthAndLayout) {
  const TypeCase& c = GetParam();
  std::vector<table::FieldSpec> specs = table::ParseFieldDefinitions(std::string("F,") + c.definition + ";");
  table::Schema schema = table::Schema::FromSpecs(specs);
  ASSERT_EQ(schema.fieldCount(), 1u);
  const table::FieldDescriptor& d = schema.fields()[0];
  EXPECT_EQ(d.type, c.type);
  EXPECT_EQ(d.length, c.length);
  EXPECT_EQ(d.decimals, c.decimals);
  EXPECT_EQ(d.size, c.size);
  EXPECT_EQ(d.offset, 1u);  // after the deletion flag
  EXPECT_EQ(schema.recordLength(), 1 + c.size);
  // The canonical string reparses to the same layout.
  table::Schema again = table::Schema::FromSpecs(table::ParseFieldDefinitions(table::FormatFieldDefinitions(schema)));
  EXPECT_EQ(again.fields()[0].type, d.type);
  EXPECT_EQ(again.fields()[0].size, d.size);
  EXPECT_EQ(again.fields()[0].decimals, d.decimals);
}

INSTANTIATE_TEST_SUITE_P(
    EveryTypeWord, FieldDefinitionTypes,
    ::testing::Values(TypeCase{"Char,30", table::FieldType::kString, 30, 0, 30},
                      TypeCase{"character,5", table::FieldType::kString, 5, 0, 5},
                      TypeCase{"CIChar,12", table::FieldType::kCIString, 12, 0, 12},
                      TypeCase{"VarChar,40", table::FieldType::kVarChar, 40, 0, 42},
                      TypeCase{"Memo", table::FieldType::kMemo, 8, 0, 8},
                      TypeCase{"Binary", table::FieldType::kBinary, 8, 0, 8},
                      TypeCase{"Image", table::FieldType::kImage, 8, 0, 8},
                      TypeCase{"Raw,16", table::FieldType::kRaw, 16, 0, 16},
                      TypeCase{"VarBinary,100", table::FieldType::kVarBinary, 100, 0, 102},
                      TypeCase{"NChar,10", table::FieldType::kNChar, 10, 0, 20},
                      TypeCase{"NVarChar,10", table::FieldType::kNVarChar, 10, 0, 22},
                      TypeCase{"NMemo", table::FieldType::kNMemo, 8, 0, 8},
                      TypeCase{"Logical", table::FieldType::kLogical, 1, 0, 1},
                      TypeCase{"Date", table::FieldType::kDate, 4, 0, 4},
                      TypeCase{"Time", table::FieldType::kTime, 4, 0, 4},
                      TypeCase{"TimeStamp", table::FieldType::kTimeStamp, 8, 0, 8},
                      TypeCase{"ModTime", table::FieldType::kModTime, 8, 0, 8},
                      TypeCase{"ShortInt", table::FieldType::kShortInt, 2, 0, 2},
                      TypeCase{"Integer", table::FieldType::kInteger, 4, 0, 4},
                      TypeCase{"AutoInc", table::FieldType::kAutoInc, 4, 0, 4},
                      TypeCase{"Double,6", table::FieldType::kDouble, 8, 6, 8},
                      TypeCase{"Double", table::FieldType::kDouble, 8, 0, 8},
                      TypeCase{"CurDouble,6", table::FieldType::kCurDouble, 8, 6, 8},
                      TypeCase{"Money", table::FieldType::kMoney, 8, 0, 8},
                      TypeCase{"Num,12,2", table::FieldType::kNumeric, 12, 2, 12},
                      TypeCase{"Num,11,0", table::FieldType::kNumeric, 11, 0, 11},
                      TypeCase{"RowVersion", table::FieldType::kRowVersion, 8, 0, 8}));

TEST(FieldDefinitions, LaysFieldsOutInOrderWithBlanksAndCaseIgnored) {
  table::Schema s = table::Schema::FromSpecs(table::ParseFieldDefinitions(" NAME , char , 30 ;QTY,INTEGER; Price,num,12,2"));
  ASSERT_EQ(s.fieldCount(), 3u);
  EXPECT_EQ(s.fields()[0].name, "NAME");
  EXPECT_EQ(s.fields()[1].offset, 31u);
  EXPECT_EQ(s.fields()[2].offset, 35u);
  EXPECT_EQ(s.recordLength(), 47u);
  EXPECT_EQ(s.Find("price"), 2u);
  EXPECT_FALSE(s.Find("PRICES"));
}

struct BadCase {
  const char* definition;
  const char* mustMention;
};

class MalformedFieldDefinitions : public ::testing::TestWithParam<BadCase> {};

TEST_P(MalformedFieldDefinitions, FailWithATextNamingTheField) {
  const BadCase& c = GetParam();
  try {
    table::ParseFieldDefinitions(c.definition);
    FAIL() << "accepted: " << c.definition;
  } catch (const EngineError& e) {
    EXPECT_EQ(e.code(), err::kInvalidFieldDefinition);
    EXPECT_NE(std::string(e.what()).find(c.mustMention), std::string::npos) << e.what();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MalformedFieldDefinitions,
    ::testing::Values(BadCase{"A,Char,10;QTY,Integr;", "\"QTY\""}, BadCase{"A,Char,10;QTY,Integr;", "Integr"},
                      BadCase{"NAME,Char;", "\"NAME\""}, BadCase{"NAME,Char,x;", "\"NAME\""},
                      BadCase{"NAME,Char,0;", "\"NAME\""}, BadCase{"NAME,Char,70000;", "\"NAME\""},
                      BadCase{"QTY,Integer,4;", "\"QTY\""}, BadCase{"A,Char,1;A,Integer;", "\"A\""},
                      BadCase{"A,Char,1;a,Integer;", "\"a\""}, BadCase{"P,Num,3,2;", "\"P\""},
                      BadCase{"P,Num,40,2;", "\"P\""}, BadCase{"A,Char,1;,Integer;", "Field 2"},
                      BadCase{"A,Char,1;;B,Date;", "Field 2"}, BadCase{"ONLYNAME;", "\"ONLYNAME\""},
                      BadCase{"", "empty"}, BadCase{"A,CompactDate;", "CompactDate"},
                      BadCase{"A,Char,40000;B,Char,40000;", "\"B\""}, BadCase{"D,Double,1,2;", "\"D\""}));

TEST(FieldDefinitions, NameListSplitsOnBothSeparators) {
  EXPECT_EQ(table::ParseFieldNameList(" A; B ,C;;"), (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_TRUE(table::ParseFieldNameList("").empty());
}

}  // namespace
}  // namespace engine
