// DBF field values in a record image: date texts, memo references and type letters, as other
// programs of the DBF world write and read them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/table/dbf_field.h"
#include "engine/table/julian.h"

namespace engine {
namespace {

const uint8_t* Bytes(const char* s) { return reinterpret_cast<const uint8_t*>(s); }

TEST(DbfField, DateTextRoundTripsAndRejectsWhatIsNoDate) {
  int32_t j = table::CivilToJulian({2026, 12, 10});
  EXPECT_EQ(table::DbfDateText(j), "20261210");
  EXPECT_EQ(table::DbfDateJulian(Bytes("20261210")), j);
  EXPECT_EQ(table::DbfDateJulian(Bytes("00010101")), table::CivilToJulian({1, 1, 1}));
  EXPECT_EQ(table::DbfDateText(0), "        ");
  for (const char* bad : {"        ", "20260230", "2026121 ", "20261300", "00000000", "2026-1-1", "\0\0\0\0\0\0\0\0"}) {
    EXPECT_EQ(table::DbfDateJulian(Bytes(bad)), 0) << bad;
  }
}

TEST(DbfField, MemoReferencesReadAsOtherWritersStoreThem) {
  struct Case {
    const char* bytes;
    uint32_t block;
  } cases[] = {
      {"         1", 1},          {"4294967295", 4294967295u}, {"          ", 0},
      {"0000000012", 12},         {"12        ", 12},          {"\0\0\0\0\0\0\0\0\0\0", 0},
      {"4294967296", 0},          {"   1 2    ", 0},           {"  12ab    ", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(table::DbfMemoBlock(Bytes(c.bytes)), c.block) << c.bytes;
  uint8_t out[10];
  table::WriteDbfMemoBlock(out, 1234);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 10), "      1234");
  table::WriteDbfMemoBlock(out, 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 10), "          ");
}

TEST(DbfField, TypeLettersFollowTheTableType) {
  EXPECT_EQ(table::DbfLetterOf(table::FieldType::kNumeric, table::TableType::kNtx), 'N');
  EXPECT_EQ(table::DbfLetterOf(table::FieldType::kBinary, table::TableType::kCdx), 'G');
  EXPECT_EQ(table::DbfLetterOf(table::FieldType::kImage, table::TableType::kCdx), 'P');
  // A .dbt memo ends at 0x1A 0x1A and cannot hold arbitrary bytes.
  EXPECT_FALSE(table::DbfLetterOf(table::FieldType::kBinary, table::TableType::kNtx));
  EXPECT_FALSE(table::DbfLetterOf(table::FieldType::kInteger, table::TableType::kCdx));
  EXPECT_EQ(table::FieldTypeOfDbfLetter('F', table::TableType::kNtx), table::FieldType::kNumeric);
  EXPECT_EQ(table::FieldTypeOfDbfLetter('m', table::TableType::kNtx), table::FieldType::kMemo);
  EXPECT_FALSE(table::FieldTypeOfDbfLetter('G', table::TableType::kNtx));
  EXPECT_FALSE(table::FieldTypeOfDbfLetter('X', table::TableType::kCdx));
  EXPECT_EQ(table::DbfFieldSize(table::FieldType::kDate, 0), 8u);
  EXPECT_EQ(table::DbfFieldSize(table::FieldType::kMemo, 0), 10u);
  EXPECT_EQ(table::DbfFieldSize(table::FieldType::kString, 37), 37u);
}

}  // namespace
}  // namespace engine
