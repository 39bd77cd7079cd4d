// DBF tables (types 1 NTX and 2 CDX) through the C interface: the .dbf, .dbt and .fpt files
// byte by byte as other programs of the DBF world read them, values written and read back
// across a reopen, deleted records, pack and zap, changes seen by another open, and damaged
// files refused with a clear error.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ace/ace.h"
#include "engine/core/error.h"
#include "engine/table/table.h"
#include "support/filter_fixture.h"
#include "test_env.h"

namespace {

constexpr UNSIGNED16 kNtx = 1;
constexpr UNSIGNED16 kCdx = 2;
constexpr UNSIGNED32 kExclusive = 1;

using filtertest::LastCode;
using filtertest::LastText;
using filtertest::U;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void Spill(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

uint32_t LE32(const std::string& b, size_t at) {
  uint32_t v = 0;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}
uint16_t LE16(const std::string& b, size_t at) {
  uint16_t v = 0;
  std::memcpy(&v, b.data() + at, 2);
  return v;
}
uint32_t BE32(const std::string& b, size_t at) {
  const auto* p = reinterpret_cast<const uint8_t*>(b.data() + at);
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

const char* kFields = "NAME,Char,10;QTY,Num,8,2;BORN,Date;OK,Logical;NOTES,Memo;";
// 32 + 5 * 32 + 1 bytes of header; 1 + 10 + 8 + 8 + 1 + 10 bytes per record.
constexpr size_t kHeaderLength = 193;
constexpr size_t kRecordLength = 38;

class DbfTables : public ::testing::Test {
 protected:
  void SetUp() override { AdsShowDeleted(0); }
  void TearDown() override {
    for (ADSHANDLE h : open_) AdsCloseTable(h);
  }
  std::string Path(const char* name) const { return (dir_.path() / name).string(); }

  ADSHANDLE Create(UNSIGNED16 type, const std::string& name, const char* fields = kFields, UNSIGNED16 memoSize = 0) {
    ADSHANDLE h = 0;
    EXPECT_EQ(AdsCreateTable90(0, U(Path(name.c_str())), nullptr, type, 1, 1, 1, memoSize, U(fields), 0, nullptr, &h), 0u)
        << LastText();
    open_.push_back(h);
    return h;
  }
  UNSIGNED32 OpenRc(UNSIGNED16 type, const std::string& name, UNSIGNED32 options, ADSHANDLE* h) {
    UNSIGNED32 rc = AdsOpenTable90(0, U(Path(name.c_str())), nullptr, type, 1, 1, 1, options, nullptr, h);
    if (rc == 0) open_.push_back(*h);
    return rc;
  }
  ADSHANDLE Open(UNSIGNED16 type, const std::string& name, UNSIGNED32 options = 0) {
    ADSHANDLE h = 0;
    EXPECT_EQ(OpenRc(type, name, options, &h), 0u) << LastText();
    return h;
  }
  void Close(ADSHANDLE h) {
    EXPECT_EQ(AdsCloseTable(h), 0u);
    open_.erase(std::remove(open_.begin(), open_.end(), h), open_.end());
  }
  void Set(ADSHANDLE h, const char* field, const std::string& value) {
    ASSERT_EQ(AdsSetString(h, U(field), U(value), static_cast<UNSIGNED32>(value.size())), 0u) << field << ": " << LastText();
  }
  std::string Get(ADSHANDLE h, const char* field) {
    std::vector<UNSIGNED8> buf(70000);
    UNSIGNED32 len = static_cast<UNSIGNED32>(buf.size());
    UNSIGNED32 rc = AdsGetString(h, U(field), buf.data(), &len, 3);
    if (rc != 0) return "<error " + std::to_string(rc) + ">";
    return std::string(reinterpret_cast<char*>(buf.data()), len);
  }
  // Appends a row; empty texts leave their fields empty.
  void Append(ADSHANDLE h, const std::string& name, const std::string& qty, const std::string& born, const std::string& ok,
              const std::string& notes) {
    ASSERT_EQ(AdsAppendRecord(h), 0u) << LastText();
    if (!name.empty()) Set(h, "NAME", name);
    if (!qty.empty()) Set(h, "QTY", qty);
    if (!born.empty()) ASSERT_EQ(AdsSetDate(h, U("BORN"), U(born), static_cast<UNSIGNED16>(born.size())), 0u);
    if (!ok.empty()) Set(h, "OK", ok);
    if (!notes.empty()) Set(h, "NOTES", notes);
    ASSERT_EQ(AdsWriteRecord(h), 0u) << LastText();
  }
  UNSIGNED32 Count(ADSHANDLE h) {
    UNSIGNED32 n = 0;
    EXPECT_EQ(AdsGetRecordCount(h, ADS_IGNOREFILTERS, &n), 0u);
    return n;
  }

  testenv::TempDir dir_;
  std::vector<ADSHANDLE> open_;
};

TEST_F(DbfTables, AnNtxTableIsTheDBaseIIIFileWithItsDbtMemo) {
  ADSHANDLE h = Create(kNtx, "parts.dbf");
  Append(h, "Widget", "12.5", "12/10/2026", "T", "hello");
  Append(h, "", "", "", "", "");
  Close(h);

  const std::string dbf = Slurp(Path("parts.dbf"));
  ASSERT_EQ(dbf.size(), kHeaderLength + 2 * kRecordLength + 1);
  EXPECT_EQ(uint8_t(dbf[0]), 0x83);  // dBase III with a .dbt memo file
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  EXPECT_EQ(uint8_t(dbf[1]), local.tm_year);  // years since 1900
  EXPECT_EQ(uint8_t(dbf[2]), local.tm_mon + 1);
  EXPECT_EQ(LE32(dbf, 4), 2u);
  EXPECT_EQ(LE16(dbf, 8), kHeaderLength);
  EXPECT_EQ(LE16(dbf, 10), kRecordLength);
  EXPECT_EQ(uint8_t(dbf[29]), 0x03);  // Windows ANSI
  struct Descriptor {
    const char* name;
    char letter;
    uint32_t offset;
    uint8_t length, decimals;
  } expected[] = {{"NAME", 'C', 1, 10, 0}, {"QTY", 'N', 11, 8, 2}, {"BORN", 'D', 19, 8, 0},
                  {"OK", 'L', 27, 1, 0},    {"NOTES", 'M', 28, 10, 0}};
  for (size_t k = 0; k < 5; ++k) {
    const size_t at = 32 + 32 * k;
    EXPECT_EQ(std::string(dbf.c_str() + at), expected[k].name);
    EXPECT_EQ(dbf[at + 11], expected[k].letter);
    EXPECT_EQ(LE32(dbf, at + 12), expected[k].offset);
    EXPECT_EQ(uint8_t(dbf[at + 16]), expected[k].length);
    EXPECT_EQ(uint8_t(dbf[at + 17]), expected[k].decimals);
  }
  EXPECT_EQ(uint8_t(dbf[kHeaderLength - 1]), 0x0D);
  EXPECT_EQ(dbf.substr(kHeaderLength, kRecordLength), " Widget       12.5020261210T         1");
  EXPECT_EQ(dbf.substr(kHeaderLength + kRecordLength, kRecordLength), std::string(kRecordLength, ' '));
  EXPECT_EQ(uint8_t(dbf.back()), 0x1A);

  const std::string dbt = Slurp(Path("parts.dbt"));
  ASSERT_EQ(dbt.size(), 1024u);
  EXPECT_EQ(LE32(dbt, 0), 2u);  // next free block
  EXPECT_EQ(dbt.substr(512, 7), "hello\x1A\x1A");
}

TEST_F(DbfTables, ACdxTableIsTheFoxProFileWithItsFptMemo) {
  ADSHANDLE h = Create(kCdx, "parts.dbf", "NAME,Char,4;NOTES,Memo;PIC,Binary;", 128);
  ASSERT_EQ(AdsAppendRecord(h), 0u);
  Set(h, "NAME", "ab");
  Set(h, "NOTES", "hello");
  const std::string bytes("\x00\x1A\xFF", 3);
  ASSERT_EQ(AdsSetBinary(h, U("PIC"), ADS_BINARY, 3, 0, U(bytes), 3), 0u) << LastText();
  ASSERT_EQ(AdsWriteRecord(h), 0u);
  Close(h);

  const std::string dbf = Slurp(Path("parts.dbf"));
  EXPECT_EQ(uint8_t(dbf[0]), 0xF5);  // FoxPro 2 with an .fpt memo file
  EXPECT_EQ(dbf[32 + 32 + 11], 'M');
  EXPECT_EQ(dbf[32 + 64 + 11], 'G');
  const size_t header = 32 + 3 * 32 + 1;
  EXPECT_EQ(dbf.substr(header, 25), " ab           4         5");
  const std::string fpt = Slurp(Path("parts.fpt"));
  EXPECT_EQ(uint8_t(fpt[6]) * 256 + uint8_t(fpt[7]), 128);  // block size, big-endian
  EXPECT_EQ(BE32(fpt, 0), 6u);                             // next free block
  EXPECT_EQ(BE32(fpt, 512), 1u);                           // block 4: text
  EXPECT_EQ(BE32(fpt, 516), 5u);
  EXPECT_EQ(fpt.substr(520, 5), "hello");
  EXPECT_EQ(BE32(fpt, 640), 2u);  // block 5: object
  EXPECT_EQ(BE32(fpt, 644), 3u);
  EXPECT_EQ(fpt.substr(648, 3), bytes);
}

class DbfTypes : public DbfTables, public ::testing::WithParamInterface<UNSIGNED16> {};

TEST_P(DbfTypes, ValuesComeBackAfterAReopenAndEmptyFieldsReadEmpty) {
  const UNSIGNED16 type = GetParam();
  ADSHANDLE h = Create(type, "parts");  // ".dbf" is added
  Append(h, "Widget", "-3.25", "02/29/2024", "F", std::string(1500, 'x'));
  Append(h, "", "", "", "", "");
  Close(h);
  ASSERT_TRUE(std::filesystem::exists(Path("parts.dbf")));
  h = Open(type, "parts");
  UNSIGNED16 reported = 0;
  ASSERT_EQ(AdsGetTableType(h, &reported), 0u);
  EXPECT_EQ(reported, type);
  EXPECT_EQ(Count(h), 2u);
  ASSERT_EQ(AdsGotoRecord(h, 1), 0u);
  EXPECT_EQ(Get(h, "NAME"), "Widget");
  DOUBLE qty = 0;
  ASSERT_EQ(AdsGetDouble(h, U("QTY"), &qty), 0u);
  EXPECT_DOUBLE_EQ(qty, -3.25);
  EXPECT_EQ(Get(h, "BORN"), "02/29/2024");
  UNSIGNED16 ok = 7;
  ASSERT_EQ(AdsGetLogical(h, U("OK"), &ok), 0u);
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(Get(h, "NOTES"), std::string(1500, 'x'));
  UNSIGNED32 memoLength = 0;
  ASSERT_EQ(AdsGetMemoLength(h, U("NOTES"), &memoLength), 0u);
  EXPECT_EQ(memoLength, 1500u);
  ASSERT_EQ(AdsGotoRecord(h, 2), 0u);
  for (const char* field : {"NAME", "QTY", "BORN", "OK", "NOTES"}) {
    UNSIGNED16 empty = 0;
    ASSERT_EQ(AdsIsEmpty(h, U(field), &empty), 0u);
    EXPECT_EQ(empty, 1) << field;
  }
  // A changed memo is written anew; the record then refers to the new one.
  ASSERT_EQ(AdsGotoRecord(h, 1), 0u);
  Set(h, "NOTES", "short");
  ASSERT_EQ(AdsWriteRecord(h), 0u);
  Close(h);
  h = Open(type, "parts.dbf");
  ASSERT_EQ(AdsGotoRecord(h, 1), 0u);
  EXPECT_EQ(Get(h, "NOTES"), "short");
}

TEST_P(DbfTypes, DeletedRecordsAreFlaggedPackRemovesThemAndZapEmptiesTheFile) {
  const UNSIGNED16 type = GetParam();
  ADSHANDLE h = Create(type, "parts.dbf");
  for (const char* name : {"a", "b", "c"}) Append(h, name, "1", "", "T", name);
  ASSERT_EQ(AdsGotoRecord(h, 2), 0u);
  ASSERT_EQ(AdsDeleteRecord(h), 0u);
  Close(h);
  std::string dbf = Slurp(Path("parts.dbf"));
  EXPECT_EQ(dbf[kHeaderLength + kRecordLength], '*');

  h = Open(type, "parts.dbf", kExclusive);
  ASSERT_EQ(AdsGotoRecord(h, 2), 0u);
  UNSIGNED16 deleted = 0;
  ASSERT_EQ(AdsIsRecordDeleted(h, &deleted), 0u);
  EXPECT_EQ(deleted, 1);
  ASSERT_EQ(AdsRecallRecord(h), 0u);
  ASSERT_EQ(AdsDeleteRecord(h), 0u);
  ASSERT_EQ(AdsPackTable(h), 0u) << LastText();
  EXPECT_EQ(Count(h), 2u);
  ASSERT_EQ(AdsGotoRecord(h, 2), 0u);
  EXPECT_EQ(Get(h, "NAME"), "c");
  EXPECT_EQ(Get(h, "NOTES"), "c");
  dbf = Slurp(Path("parts.dbf"));
  EXPECT_EQ(LE32(dbf, 4), 2u);
  ASSERT_EQ(dbf.size(), kHeaderLength + 2 * kRecordLength + 1);
  EXPECT_EQ(uint8_t(dbf.back()), 0x1A);

  ASSERT_EQ(AdsZapTable(h), 0u) << LastText();
  EXPECT_EQ(Count(h), 0u);
  Close(h);
  dbf = Slurp(Path("parts.dbf"));
  EXPECT_EQ(LE32(dbf, 4), 0u);
  ASSERT_EQ(dbf.size(), kHeaderLength + 1);
  EXPECT_EQ(uint8_t(dbf.back()), 0x1A);
}

TEST_P(DbfTypes, AnotherOpenSeesAppendsAndChanges) {
  const UNSIGNED16 type = GetParam();
  ADSHANDLE a = Create(type, "parts.dbf");
  Close(a);
  a = Open(type, "parts.dbf");
  ADSHANDLE b = Open(type, "parts.dbf");
  Append(a, "one", "1", "", "", "");
  EXPECT_EQ(Count(b), 1u);
  ASSERT_EQ(AdsGotoRecord(b, 1), 0u);
  EXPECT_EQ(Get(b, "NAME"), "one");
  Append(b, "two", "2", "", "", "memo of b");
  Append(a, "three", "3", "", "", "memo of a");
  EXPECT_EQ(Count(a), 3u);
  ASSERT_EQ(AdsGotoRecord(a, 2), 0u);
  EXPECT_EQ(Get(a, "NOTES"), "memo of b");
  ASSERT_EQ(AdsGotoRecord(b, 3), 0u);
  EXPECT_EQ(Get(b, "NOTES"), "memo of a");
  Close(a);
  Close(b);
  const std::string dbf = Slurp(Path("parts.dbf"));
  EXPECT_EQ(LE32(dbf, 4), 3u);
  EXPECT_EQ(dbf.size(), kHeaderLength + 3 * kRecordLength + 1);
}

INSTANTIATE_TEST_SUITE_P(NtxAndCdx, DbfTypes, ::testing::Values(kNtx, kCdx),
                         [](const auto& info) { return info.param == kNtx ? std::string("Ntx") : std::string("Cdx"); });

TEST_F(DbfTables, FieldsADbfTableCannotHoldAreRefusedByName) {
  struct Case {
    UNSIGNED16 type;
    const char* fields;
    const char* named;
  } cases[] = {
      {kNtx, "N,Integer;", "\"N\""},
      {kCdx, "WHEN,TimeStamp;", "\"WHEN\""},
      {kNtx, "PIC,Binary;", "\"PIC\""},  // a .dbt memo cannot hold arbitrary bytes
      {kCdx, "AVERYLONGNAME,Char,4;", "\"AVERYLONGNAME\""},
      {kCdx, "C,Char,255;", "\"C\""},
      {kNtx, "N,Num,21,2;", "\"N\""},
  };
  for (const Case& c : cases) {
    ADSHANDLE h = 0;
    EXPECT_EQ(AdsCreateTable90(0, U(Path("bad.dbf")), nullptr, c.type, 1, 1, 1, 0, U(c.fields), 0, nullptr, &h), 5408u)
        << c.fields;
    EXPECT_NE(LastText().find(c.named), std::string::npos) << LastText();
    EXPECT_FALSE(std::filesystem::exists(Path("bad.dbf")));
  }
}

TEST_F(DbfTables, DamagedTableFilesAreRefusedWithAClearError) {
  ADSHANDLE h = Create(kNtx, "good.dbf", "NAME,Char,10;QTY,Num,8,2;");
  Append(h, "x", "1", "", "", "");
  Close(h);
  const std::string good = Slurp(Path("good.dbf"));
  struct Case {
    const char* what;
    std::function<std::string(std::string)> damage;
    UNSIGNED32 code;
  } cases[] = {
      {"cut inside the first block", [](std::string b) { return b.substr(0, 20); }, 5403},
      {"cut inside the descriptors", [](std::string b) { return b.substr(0, 60); }, 5405},
      {"an unknown version byte", [](std::string b) { b[0] = 0x00; return b; }, 5403},
      {"a Visual FoxPro table", [](std::string b) { b[0] = 0x30; return b; }, 5404},
      {"a record length that does not match", [](std::string b) { b[10] = 30; return b; }, 5405},
      {"an unknown field type letter", [](std::string b) { b[32 + 11] = 'X'; return b; }, 5404},
      {"no end of the descriptors", [](std::string b) { b[32 + 64] = ' '; return b; }, 5405},
      {"a header length inside the descriptors", [](std::string b) { b[8] = 40; return b; }, 5405},
      {"a field without a name", [](std::string b) { b[32] = 0; return b; }, 5405},
      {"a native table's magic", [](std::string b) { return std::string("QNLRADT\x1A", 8) + b.substr(8); }, 5403},
  };
  for (const Case& c : cases) {
    Spill(Path("bad.dbf"), c.damage(good));
    ADSHANDLE t = 0;
    EXPECT_EQ(OpenRc(kNtx, "bad.dbf", 0, &t), c.code) << c.what;
    EXPECT_EQ(LastCode(), c.code) << c.what;
    EXPECT_NE(LastText().find("bad.dbf"), std::string::npos) << c.what << ": " << LastText();
  }
  // A count past the records present opens; the missing record is reported when it is read.
  std::string counted = good;
  counted[4] = 5;
  Spill(Path("bad.dbf"), counted);
  ADSHANDLE t = Open(kNtx, "bad.dbf");
  EXPECT_EQ(AdsGotoRecord(t, 1), 0u);
  EXPECT_EQ(Get(t, "NAME"), "x");
  EXPECT_NE(AdsGotoRecord(t, 3), 0u);
  Close(t);
  // A DBF file is not opened as a native table, nor a native table as a DBF table.
  EXPECT_EQ(OpenRc(3, "good.dbf", 0, &t), 5403u);
  EXPECT_EQ(AdsCreateTable90(0, U(Path("native.adt")), nullptr, 3, 1, 1, 1, 0, U("A,Char,2;"), 0, nullptr, &t), 0u);
  AdsCloseTable(t);
  EXPECT_EQ(OpenRc(kCdx, "native.adt", 0, &t), 5403u);
}

TEST_F(DbfTables, DamagedMemoFilesAreReportedWhenAMemoIsRead) {
  for (UNSIGNED16 type : {kNtx, kCdx}) {
    const char* memoName = type == kNtx ? "notes.dbt" : "notes.fpt";
    ADSHANDLE h = Create(type, "notes.dbf");
    Append(h, "a", "", "", "", "first memo");
    Close(h);
    const std::string memo = Slurp(Path(memoName));
    struct Case {
      const char* what;
      std::string bytes;
      bool remove;
    } cases[] = {
        {"missing", "", true},
        {"cut before the memo", memo.substr(0, 512), false},
        {"a memo without its end", type == kNtx ? memo.substr(0, 512) + std::string(40, 'y') : memo.substr(0, 520) + "abc",
         false},
    };
    for (const Case& c : cases) {
      if (c.remove) {
        std::filesystem::remove(Path(memoName));
      } else {
        Spill(Path(memoName), c.bytes);
      }
      ADSHANDLE t = Open(type, "notes.dbf");
      ASSERT_EQ(AdsGotoRecord(t, 1), 0u);
      EXPECT_EQ(Get(t, "NAME"), "a") << c.what;
      EXPECT_EQ(Get(t, "NOTES"), "<error 5407>") << c.what;
      EXPECT_EQ(LastCode(), 5407u);
      Close(t);
    }
    Spill(Path(memoName), memo);
  }
  // A .dbt memo ends at 0x1A: a value holding it is refused rather than cut short.
  ADSHANDLE h = Create(kNtx, "marks.dbf");
  Append(h, "a", "", "", "", "first memo");
  ASSERT_EQ(AdsGotoRecord(h, 1), 0u);
  const std::string withMark = std::string("before\x1A") + "after";
  EXPECT_EQ(AdsSetString(h, U("NOTES"), U(withMark), static_cast<UNSIGNED32>(withMark.size())), 5411u);
  AdsCancelUpdate(h);
  EXPECT_EQ(Get(h, "NOTES"), "first memo");
}

TEST_F(DbfTables, ConversionsBetweenNativeAndDbfTablesCarryEveryValue) {
  AdsShowDeleted(1);
  ADSHANDLE native = 0;
  ASSERT_EQ(AdsCreateTable90(0, U(Path("src.adt")), nullptr, 3, 1, 1, 1, 0, U(kFields), 0, nullptr, &native), 0u);
  open_.push_back(native);
  Append(native, "Widget", "12.5", "02/29/2024", "T", "hello memo");
  Append(native, "Gone", "-1", "12/31/1999", "F", std::string(900, 'm'));
  Append(native, "", "", "", "", "");
  ASSERT_EQ(AdsGotoRecord(native, 2), 0u);
  ASSERT_EQ(AdsDeleteRecord(native), 0u);
  auto rows = [&](ADSHANDLE h) {
    std::vector<std::string> out;
    for (UNSIGNED32 n = 1; n <= Count(h); ++n) {
      EXPECT_EQ(AdsGotoRecord(h, n), 0u);
      UNSIGNED16 deleted = 0;
      AdsIsRecordDeleted(h, &deleted);
      out.push_back(std::string(deleted ? "*" : " ") + Get(h, "NAME") + "|" + Get(h, "QTY") + "|" + Get(h, "BORN") +
                    "|" + Get(h, "OK") + "|" + Get(h, "NOTES"));
    }
    return out;
  };
  const std::vector<std::string> expected = rows(native);
  ASSERT_EQ(expected.size(), 3u);
  // Native to NTX, NTX to CDX (a copy between DBF types), CDX back to native.
  ASSERT_EQ(AdsConvertTable(native, ADS_IGNOREFILTERS, U(Path("a.dbf")), kNtx), 0u) << LastText();
  ADSHANDLE ntx = Open(kNtx, "a.dbf");
  EXPECT_EQ(rows(ntx), expected);
  ASSERT_EQ(AdsConvertTable(ntx, ADS_IGNOREFILTERS, U(Path("b.dbf")), kCdx), 0u) << LastText();
  ADSHANDLE cdx = Open(kCdx, "b.dbf");
  EXPECT_EQ(rows(cdx), expected);
  EXPECT_TRUE(std::filesystem::exists(Path("b.fpt")));
  ASSERT_EQ(AdsConvertTable(cdx, ADS_IGNOREFILTERS, U(Path("c.adt")), 3), 0u) << LastText();
  ADSHANDLE back = Open(3, "c.adt");
  EXPECT_EQ(rows(back), expected);
  // A copy keeps the source's type, memo file included.
  ASSERT_EQ(AdsCopyTable(ntx, ADS_IGNOREFILTERS, U(Path("d"))), 0u) << LastText();
  EXPECT_TRUE(std::filesystem::exists(Path("d.dbt")));
  EXPECT_EQ(rows(Open(kNtx, "d.dbf")), expected);
  AdsShowDeleted(0);
}

TEST_P(DbfTypes, ChangingTheFieldsKeepsEveryValueAndMemo) {
  const UNSIGNED16 type = GetParam();
  ADSHANDLE h = Create(type, "parts.dbf");
  Append(h, "Widget", "12.5", "02/29/2024", "T", "hello memo");
  Append(h, "Gadget", "-3.25", "", "F", std::string(800, 'g'));
  Close(h);
  ASSERT_EQ(AdsRestructureTable90(0, U(Path("parts.dbf")), nullptr, type, 0, 0, 0, U("EXTRA,Char,5;"), U("OK"),
                                  U("QTY,Num,10,3;NAME,LABEL,Char,4"), 0, nullptr),
            0u)
      << LastText();
  h = Open(type, "parts.dbf");
  EXPECT_EQ(Count(h), 2u);
  ASSERT_EQ(AdsGotoRecord(h, 1), 0u);
  EXPECT_EQ(Get(h, "LABEL"), "Widg");
  EXPECT_EQ(Get(h, "QTY"), "12.500");
  EXPECT_EQ(Get(h, "BORN"), "02/29/2024");
  EXPECT_EQ(Get(h, "NOTES"), "hello memo");
  EXPECT_EQ(Get(h, "EXTRA"), "");
  ASSERT_EQ(AdsGotoRecord(h, 2), 0u);
  EXPECT_EQ(Get(h, "QTY"), "-3.250");
  EXPECT_EQ(Get(h, "NOTES"), std::string(800, 'g'));
  UNSIGNED16 fields = 0;
  ASSERT_EQ(AdsGetNumFields(h, &fields), 0u);
  EXPECT_EQ(fields, 5);
  Close(h);
  // Still a DBF file of its kind: 32 + 5 * 32 + 1 header bytes, records of 1 + 4 + 10 + 8 + 10 + 5.
  const std::string dbf = Slurp(Path("parts.dbf"));
  EXPECT_EQ(uint8_t(dbf[0]), type == kNtx ? 0x83 : 0xF5);
  EXPECT_EQ(LE16(dbf, 8), 193u);
  EXPECT_EQ(LE16(dbf, 10), 38u);
  EXPECT_EQ(dbf.size(), 193u + 2 * 38 + 1);
  EXPECT_EQ(uint8_t(dbf.back()), 0x1A);
  // A field the table type cannot hold is refused before anything changes.
  EXPECT_EQ(AdsRestructureTable90(0, U(Path("parts.dbf")), nullptr, type, 0, 0, 0, U("N,Integer;"), nullptr, nullptr, 0,
                                  nullptr),
            5408u);
  EXPECT_EQ(Slurp(Path("parts.dbf")), dbf);
}

TEST_F(DbfTables, TagDefinitionsAreKeptBesideTheTableWhereOtherProgramsIgnoreThem) {
  Close(Create(kNtx, "t.dbf"));
  const std::string qdx = Path("t.qdx");
  engine::table::TagDefinition byName{"BYNAME", "UPPER(NAME)", "QTY > 0", 2, "", 1024, "BYNAME.ntx"};
  engine::table::TagDefinition byQty{"BYQTY", "QTY", "", 8, "", 1024, "QTY.ntx"};
  {
    std::unique_ptr<engine::table::Table> t = engine::table::Table::Open(Path("t.dbf"), {});
    EXPECT_TRUE(t->tags().empty());
    t->SetTags({byName, byQty});
  }
  ASSERT_TRUE(std::filesystem::exists(qdx));
  const std::string dbfBefore = Slurp(Path("t.dbf"));
  {
    std::unique_ptr<engine::table::Table> t = engine::table::Table::Open(Path("t.dbf"), {});
    EXPECT_EQ(t->tags(), (std::vector<engine::table::TagDefinition>{byName, byQty}));
  }
  // Damage is reported, naming the file; the table file itself was never touched by the tags.
  std::string damaged = Slurp(qdx);
  damaged[20] ^= 0x40;
  Spill(qdx, damaged);
  try {
    engine::table::Table::Open(Path("t.dbf"), {});
    ADD_FAILURE() << "a damaged tag file was accepted";
  } catch (const engine::EngineError& e) {
    EXPECT_EQ(e.code(), 5405u);
    EXPECT_NE(std::string(e.what()).find("t.qdx"), std::string::npos) << e.what();
  }
  std::filesystem::remove(qdx);
  {
    std::unique_ptr<engine::table::Table> t = engine::table::Table::Open(Path("t.dbf"), {});
    t->SetTags({byQty});
    t->SetTags({});
  }
  EXPECT_FALSE(std::filesystem::exists(qdx));
  EXPECT_EQ(Slurp(Path("t.dbf")).substr(32), dbfBefore.substr(32));
}

}  // namespace
