// Copies through the C interface: AdsCopyTable with each counting option (filters, deleted
// records, blobs and autoincrement values carried over), AdsCopyTableStructure, and
// AdsCopyTableContents into a table of the same fields and its refusal of other fields; a
// failed copy leaves an existing destination as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ace/ace.h"
#include "support/filter_fixture.h"
#include "test_env.h"

namespace {

using filtertest::LastText;
using filtertest::U;

class CopyTable : public ::testing::Test {
 protected:
  void SetUp() override {
    AdsShowDeleted(0);
    src_ = Path("src.adt");
    ASSERT_EQ(AdsCreateTable90(0, U(src_), nullptr, 3, 1, 1, 1, 0, U("ID,AutoInc;NAME,Char,8;NOTE,Memo;"), 0,
                               nullptr, &h_),
              0u)
        << LastText();
    for (int i = 1; i <= 20; ++i) {
      ASSERT_EQ(AdsAppendRecord(h_), 0u);
      std::string name = "n" + std::to_string(i);
      ASSERT_EQ(AdsSetString(h_, U("NAME"), U(name), static_cast<UNSIGNED32>(name.size())), 0u);
      std::string note = "note of record " + std::to_string(i) + std::string(300, '.');
      ASSERT_EQ(AdsSetString(h_, U("NOTE"), U(note), static_cast<UNSIGNED32>(note.size())), 0u);
      ASSERT_EQ(AdsWriteRecord(h_), 0u);
    }
    // Records 3 and 4 are deleted, and record 1's id is no longer the first one given.
    for (UNSIGNED32 n : {3u, 4u}) {
      ASSERT_EQ(AdsGotoRecord(h_, n), 0u);
      ASSERT_EQ(AdsDeleteRecord(h_), 0u);
    }
  }
  void TearDown() override {
    for (ADSHANDLE h : open_) AdsCloseTable(h);
    if (h_) AdsCloseTable(h_);
  }
  std::string Path(const std::string& name) { return (dir_.path() / name).string(); }
  ADSHANDLE Open(const std::string& path) {
    ADSHANDLE h = 0;
    EXPECT_EQ(AdsOpenTable90(0, U(path), nullptr, 3, 1, 1, 1, 0, nullptr, &h), 0u) << LastText();
    open_.push_back(h);
    return h;
  }
  std::string Get(ADSHANDLE h, const char* field) {
    UNSIGNED8 buf[1024];
    UNSIGNED32 len = sizeof buf;
    EXPECT_EQ(AdsGetString(h, U(field), buf, &len, 2), 0u) << LastText();
    return std::string(reinterpret_cast<char*>(buf), len);
  }
  // "id:name" of every record the handle shows, with deleted ones marked.
  std::vector<std::string> Rows(ADSHANDLE h) {
    std::vector<std::string> out;
    AdsGotoTop(h);
    UNSIGNED16 eof = 0;
    while (AdsAtEOF(h, &eof) == 0 && !eof) {
      UNSIGNED16 deleted = 0;
      AdsIsRecordDeleted(h, &deleted);
      out.push_back(Get(h, "ID") + ":" + Get(h, "NAME") + (deleted ? "*" : ""));
      AdsSkip(h, 1);
    }
    return out;
  }

  testenv::TempDir dir_;
  std::string src_;
  ADSHANDLE h_ = 0;
  std::vector<ADSHANDLE> open_;
};

TEST_F(CopyTable, OptionsChooseTheRecordsAndValuesAreCarriedOver) {
  ASSERT_EQ(AdsSetFilter100(h_, U("ID > 15 .OR. ID < 3"), 0), 0u);
  struct Case {
    UNSIGNED16 option;
    size_t rows;
  } cases[] = {{1, 7}, {2, 20}, {3, 18}, {5, 7}};
  for (const Case& c : cases) {
    SCOPED_TRACE("option " + std::to_string(c.option));
    std::string dest = Path("copy" + std::to_string(c.option) + ".adt");
    ASSERT_EQ(AdsCopyTable(h_, c.option, U(dest)), 0u) << LastText();
    AdsShowDeleted(1);
    ADSHANDLE copy = Open(dest);
    std::vector<std::string> rows = Rows(copy);
    AdsShowDeleted(0);
    ASSERT_EQ(rows.size(), c.rows);
    if (c.option == 2) {
      EXPECT_EQ(rows[2], "3:n3*");
      EXPECT_EQ(rows[19], "20:n20");
    }
    if (c.option == 1) EXPECT_EQ(rows.front(), "1:n1");
    // Blobs came along, and the next autoincrement value follows the copied ones.
    ASSERT_EQ(AdsGotoBottom(copy), 0u);
    std::string last = Get(copy, "ID");
    EXPECT_EQ(Get(copy, "NOTE"), "note of record " + last + std::string(300, '.'));
    ASSERT_EQ(AdsAppendRecord(copy), 0u);
    ASSERT_EQ(AdsWriteRecord(copy), 0u);
    EXPECT_EQ(std::stoi(Get(copy, "ID")), 21);
  }
  // A copy onto the source itself is refused.
  EXPECT_NE(AdsCopyTable(h_, 2, U(src_)), 0u);
  // A conversion to a native table is a copy; a DBF table cannot hold an AutoInc field.
  std::string converted = Path("converted.adt");
  ASSERT_EQ(AdsConvertTable(h_, 1, U(converted), 3), 0u) << LastText();
  EXPECT_EQ(Rows(Open(converted)).size(), 7u);
  EXPECT_EQ(AdsConvertTable(h_, 1, U(Path("x.dbf")), 2), 5408u);
  EXPECT_NE(LastText().find("\"ID\""), std::string::npos) << LastText();
  EXPECT_FALSE(std::filesystem::exists(Path("x.dbf")));
  EXPECT_EQ(AdsConvertTable(h_, 1, U(Path("y.adt")), 9), 5903u);
}

TEST_F(CopyTable, StructureIsEmptyAndContentsNeedTheSameFields) {
  std::string empty = Path("empty.adt");
  ASSERT_EQ(AdsCopyTableStructure(h_, U(empty)), 0u) << LastText();
  ADSHANDLE e = Open(empty);
  UNSIGNED32 count = 9;
  ASSERT_EQ(AdsGetRecordCount(e, 2, &count), 0u);
  EXPECT_EQ(count, 0u);
  UNSIGNED16 fields = 0;
  ASSERT_EQ(AdsGetNumFields(e, &fields), 0u);
  EXPECT_EQ(fields, 3);

  ASSERT_EQ(AdsSetAOF100(h_, U("ID <= 5"), 2), 0u);
  ASSERT_EQ(AdsCopyTableContents(h_, e, 1), 0u) << LastText();
  EXPECT_EQ(Rows(e), (std::vector<std::string>{"1:n1", "2:n2", "3:n5"}));
  ASSERT_EQ(AdsGotoRecord(e, 3), 0u);
  EXPECT_EQ(Get(e, "NOTE").substr(0, 17), "note of record 5.");

  ADSHANDLE other = 0;
  ASSERT_EQ(AdsCreateTable90(0, U(Path("other.adt")), nullptr, 3, 1, 1, 1, 0, U("NAME,Char,8;"), 0, nullptr, &other),
            0u);
  open_.push_back(other);
  EXPECT_EQ(AdsCopyTableContents(h_, other, 1), 5416u);
  EXPECT_NE(LastText().find("fields differ"), std::string::npos) << LastText();
}

TEST_F(CopyTable, AFailedCopyLeavesAnExistingDestination) {
  std::string dest = Path("keep.adt");
  ASSERT_EQ(AdsCopyTable(h_, 2, U(dest)), 0u);
  auto before = std::filesystem::file_size(dest);
  EXPECT_EQ(AdsCopyTable(h_, 9, U(dest)), 5903u);  // an unknown option copies nothing
  EXPECT_EQ(std::filesystem::file_size(dest), before);
  ADSHANDLE kept = Open(dest);
  UNSIGNED32 count = 0;
  ASSERT_EQ(AdsGetRecordCount(kept, 2, &count), 0u);
  EXPECT_EQ(count, 20u);
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path()))
    EXPECT_EQ(entry.path().string().find(".~copy"), std::string::npos) << entry.path();
}

}  // namespace
