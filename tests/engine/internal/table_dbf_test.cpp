// DBF tables (types 1 NTX and 2 CDX) through the C interface: the .dbf, .dbt and .fpt files
// byte by byte as other programs of the DBF world read them, values written and read back
// across a reopen, deleted records, pack and zap, changes seen by another open, and damaged
// files refused with a clear error.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
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
constexpr UNSIGNED16 kVfp = 4;
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
// A FoxPro table of the same fields: the 263-byte backlink after the header, 4-byte memo
// references.
size_t HeaderLength(UNSIGNED16 type) { return type == kVfp ? kHeaderLength + 263 : kHeaderLength; }
size_t RecordLength(UNSIGNED16 type) { return type == kVfp ? kRecordLength - 6 : kRecordLength; }

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
  EXPECT_EQ(dbf[HeaderLength(type) + RecordLength(type)], '*');

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
  ASSERT_EQ(dbf.size(), HeaderLength(type) + 2 * RecordLength(type) + 1);
  EXPECT_EQ(uint8_t(dbf.back()), 0x1A);

  ASSERT_EQ(AdsZapTable(h), 0u) << LastText();
  EXPECT_EQ(Count(h), 0u);
  Close(h);
  dbf = Slurp(Path("parts.dbf"));
  EXPECT_EQ(LE32(dbf, 4), 0u);
  ASSERT_EQ(dbf.size(), HeaderLength(type) + 1);
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
  EXPECT_EQ(dbf.size(), HeaderLength(type) + 3 * RecordLength(type) + 1);
}

INSTANTIATE_TEST_SUITE_P(NtxCdxAndVfp, DbfTypes, ::testing::Values(kNtx, kCdx, kVfp), [](const auto& info) {
  return info.param == kNtx ? std::string("Ntx") : info.param == kCdx ? std::string("Cdx") : std::string("Vfp");
});

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
  EXPECT_EQ(uint8_t(dbf[0]), type == kNtx ? 0x83 : type == kCdx ? 0xF5 : 0x30);
  EXPECT_EQ(LE16(dbf, 8), HeaderLength(type));
  EXPECT_EQ(LE16(dbf, 10), RecordLength(type));
  EXPECT_EQ(dbf.size(), HeaderLength(type) + 2 * RecordLength(type) + 1);
  EXPECT_EQ(uint8_t(dbf.back()), 0x1A);
  // A field the table type cannot hold is refused before anything changes.
  EXPECT_EQ(AdsRestructureTable90(0, U(Path("parts.dbf")), nullptr, type, 0, 0, 0, U("N,ShortInt;"), nullptr, nullptr, 0,
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

// ---- FoxPro-compatible tables (type 4) ----

// QTY's null bit is 0, V's variable-length bit 1 and null bit 2, NOTE's null bit 3.
const char* kVfpFields = "NAME,Char,6;QTY,Integer,NULL;PRICE,Currency;WHEN,DateTime;V,VarChar,4,NULL;NOTE,Memo,NULL;";
// 32 + 7 * 32 (six fields and _NullFlags) + 1 + 263; 1 + 6 + 4 + 8 + 8 + 4 + 4 + 1.
constexpr size_t kVfpHeaderLength = 520;
constexpr size_t kVfpRecordLength = 36;

bool IsNull(ADSHANDLE h, const char* field) {
  UNSIGNED16 null = 9;
  EXPECT_EQ(AdsIsNull(h, U(field), &null), 0u) << field;
  return null == 1;
}

TEST_F(DbfTables, AFoxProTableIsTheVisualFoxProFileWithItsNullFlagsAndFptMemo) {
  ADSHANDLE h = Create(kVfp, "parts", kVfpFields);
  ASSERT_EQ(AdsAppendRecord(h), 0u);
  Set(h, "NAME", "ab");
  ASSERT_EQ(AdsSetLong(h, U("QTY"), 7), 0u);
  ASSERT_EQ(AdsSetDouble(h, U("PRICE"), 12.5), 0u);
  Set(h, "WHEN", "02/03/2001 04:05:06");
  Set(h, "V", "xy");
  Set(h, "NOTE", "memo");
  ASSERT_EQ(AdsWriteRecord(h), 0u) << LastText();
  ASSERT_EQ(AdsAppendRecord(h), 0u);
  ASSERT_EQ(AdsWriteRecord(h), 0u) << LastText();
  Close(h);

  const std::string dbf = Slurp(Path("parts.dbf"));
  EXPECT_EQ(uint8_t(dbf[0]), 0x32);  // a VarChar field
  EXPECT_EQ(LE32(dbf, 4), 2u);
  EXPECT_EQ(LE16(dbf, 8), kVfpHeaderLength);
  EXPECT_EQ(LE16(dbf, 10), kVfpRecordLength);
  EXPECT_EQ(uint8_t(dbf[28]), 0x02);  // has a memo file
  struct Descriptor {
    const char* name;
    char letter;
    uint32_t displacement;
    uint8_t length, decimals, flags;
  } descriptors[] = {
      {"NAME", 'C', 1, 6, 0, 0},    {"QTY", 'I', 7, 4, 0, 2},  {"PRICE", 'Y', 11, 8, 4, 0}, {"WHEN", 'T', 19, 8, 0, 0},
      {"V", 'V', 27, 4, 0, 2},      {"NOTE", 'M', 31, 4, 0, 2}, {"_NullFlags", '0', 35, 1, 0, 1},
  };
  for (size_t k = 0; k < std::size(descriptors); ++k) {
    const Descriptor& d = descriptors[k];
    const size_t at = 32 + 32 * k;
    EXPECT_EQ(std::string(dbf.c_str() + at), d.name);
    EXPECT_EQ(dbf[at + 11], d.letter) << d.name;
    EXPECT_EQ(LE32(dbf, at + 12), d.displacement) << d.name;
    EXPECT_EQ(uint8_t(dbf[at + 16]), d.length) << d.name;
    EXPECT_EQ(uint8_t(dbf[at + 17]), d.decimals) << d.name;
    EXPECT_EQ(uint8_t(dbf[at + 18]), d.flags) << d.name;
  }
  EXPECT_EQ(uint8_t(dbf[32 + 7 * 32]), 0x0D);
  EXPECT_EQ(dbf.substr(32 + 7 * 32 + 1, 263), std::string(263, '\0'));  // the backlink of a free table

  const std::string first = dbf.substr(kVfpHeaderLength, kVfpRecordLength);
  EXPECT_EQ(first.substr(0, 7), " ab    ");
  EXPECT_EQ(first.substr(7, 4), std::string("\x07\0\0\0", 4));
  EXPECT_EQ(first.substr(11, 8), std::string("\x48\xE8\x01\0\0\0\0\0", 8));  // 125000
  EXPECT_EQ(first.substr(19, 8), std::string("\xE8\x69\x25\x00\x50\x65\xE0\x00", 8));
  EXPECT_EQ(first.substr(27, 4), std::string("xy \x02", 4));  // shorter: its length in the last byte
  EXPECT_NE(LE32(first, 31), 0u);                              // the memo's block
  EXPECT_EQ(uint8_t(first[35]), 0x02);                         // V shorter than its field
  // A new record: blanks and zero bytes, every nullable field NULL, V empty.
  const std::string second = dbf.substr(kVfpHeaderLength + kVfpRecordLength, kVfpRecordLength);
  EXPECT_EQ(second.substr(0, 7), std::string(7, ' '));
  EXPECT_EQ(second.substr(7, 20), std::string(20, '\0'));
  EXPECT_EQ(second.substr(27, 4), std::string("   \0", 4));
  EXPECT_EQ(uint8_t(second[35]), 0x0F);
  EXPECT_EQ(dbf.size(), kVfpHeaderLength + 2 * kVfpRecordLength + 1);
  EXPECT_EQ(uint8_t(dbf.back()), 0x1A);

  const std::string fpt = Slurp(Path("parts.fpt"));
  const uint32_t block = LE32(first, 31);
  const size_t at = size_t{block} * 64;
  ASSERT_GE(fpt.size(), at + 12);
  EXPECT_EQ(BE32(fpt, at), 1u);  // text
  EXPECT_EQ(BE32(fpt, at + 4), 4u);
  EXPECT_EQ(fpt.substr(at + 8, 4), "memo");
}

TEST_F(DbfTables, FoxProValuesNullsAndVariableLengthsComeBackAfterAReopen) {
  ADSHANDLE h = Create(kVfp, "t", "I,Integer,NULL;B,Double,3;Y,Currency,NULL;T,DateTime,NULL;V,VarChar,5,NULL;"
                                  "Q,VarBinary,4;C,Char,5,NULL;M,Memo,NULL;");
  ASSERT_EQ(AdsAppendRecord(h), 0u);
  ASSERT_EQ(AdsSetLong(h, U("I"), INT32_MIN), 0u) << LastText();  // no null encoding in a FoxPro integer
  ASSERT_EQ(AdsSetDouble(h, U("B"), -2.5e-3), 0u);
  ASSERT_EQ(AdsSetDouble(h, U("Y"), -922337203685.4775), 0u);
  Set(h, "T", "12/31/1999 23:59:59");
  ASSERT_EQ(AdsSetMilliseconds(h, U("T"), 43200499), 0u) << LastText();
  Set(h, "V", "abcde");  // fills the field
  const UNSIGNED8 bytes[] = {0, 1, 0};
  ASSERT_EQ(AdsSetField(h, U("Q"), const_cast<UNSIGNED8*>(bytes), 3), 0u) << LastText();
  ASSERT_EQ(AdsWriteRecord(h), 0u) << LastText();
  // A nullable field cleared and then given a value; one given a value and then cleared.
  ASSERT_EQ(AdsAppendRecord(h), 0u);
  ASSERT_EQ(AdsSetNull(h, U("I")), 0u);
  EXPECT_TRUE(IsNull(h, "I"));
  ASSERT_EQ(AdsSetLong(h, U("I"), 0), 0u);
  EXPECT_FALSE(IsNull(h, "I"));
  Set(h, "C", "x");
  ASSERT_EQ(AdsSetNull(h, U("C")), 0u);
  Set(h, "M", "gone");
  ASSERT_EQ(AdsSetNull(h, U("M")), 0u);
  Set(h, "V", "");  // an empty text is a value, not NULL
  ASSERT_EQ(AdsWriteRecord(h), 0u) << LastText();
  Close(h);

  h = Open(kVfp, "t.dbf");
  ASSERT_EQ(AdsGotoRecord(h, 1), 0u);
  SIGNED32 i = 0;
  ASSERT_EQ(AdsGetLong(h, U("I"), &i), 0u);
  EXPECT_EQ(i, INT32_MIN);
  DOUBLE d = 0;
  ASSERT_EQ(AdsGetDouble(h, U("B"), &d), 0u);
  EXPECT_DOUBLE_EQ(d, -2.5e-3);
  EXPECT_EQ(Get(h, "Y"), "-922337203685.4775");
  SIGNED32 ms = 0;
  ASSERT_EQ(AdsGetMilliseconds(h, U("T"), &ms), 0u);
  EXPECT_EQ(ms, 43200499);  // stored to the millisecond; rounding to seconds is the reader's choice
  EXPECT_EQ(Get(h, "V"), "abcde");
  UNSIGNED8 got[8] = {};
  UNSIGNED32 gotLen = sizeof got;
  ASSERT_EQ(AdsGetField(h, U("Q"), got, &gotLen, 0), 0u) << LastText();
  EXPECT_EQ(std::string(reinterpret_cast<char*>(got), gotLen), std::string("\0\1\0", 3));
  for (const char* field : {"I", "B", "Y", "T", "V", "Q"}) EXPECT_FALSE(IsNull(h, field)) << field;
  EXPECT_TRUE(IsNull(h, "C"));
  EXPECT_TRUE(IsNull(h, "M"));

  ASSERT_EQ(AdsGotoRecord(h, 2), 0u);
  ASSERT_EQ(AdsGetLong(h, U("I"), &i), 0u);
  EXPECT_EQ(i, 0);
  EXPECT_FALSE(IsNull(h, "I"));
  EXPECT_TRUE(IsNull(h, "C"));
  EXPECT_TRUE(IsNull(h, "M"));
  EXPECT_TRUE(IsNull(h, "Y"));
  EXPECT_FALSE(IsNull(h, "B"));  // not nullable: a zero double is a value
  EXPECT_FALSE(IsNull(h, "V"));
  UNSIGNED16 empty = 0;
  ASSERT_EQ(AdsIsEmpty(h, U("V"), &empty), 0u);
  EXPECT_EQ(empty, 1);
  EXPECT_EQ(Get(h, "V"), "");
  // Emptying a nullable field writes its blank value and leaves it not NULL.
  ASSERT_EQ(AdsSetEmpty(h, U("C")), 0u);
  EXPECT_FALSE(IsNull(h, "C"));
  ASSERT_EQ(AdsIsEmpty(h, U("C"), &empty), 0u);
  EXPECT_EQ(empty, 1);
  AdsCancelUpdate(h);
  UNSIGNED16 nullable = 9;
  ASSERT_EQ(AdsIsNullable(h, U("I"), &nullable), 0u);
  EXPECT_EQ(nullable, 1);
  ASSERT_EQ(AdsIsNullable(h, U("B"), &nullable), 0u);
  EXPECT_EQ(nullable, 0);
  UNSIGNED16 type = 0;
  const std::pair<const char*, UNSIGNED16> types[] = {{"I", 11}, {"B", 10}, {"Y", 18}, {"T", 14},
                                                      {"V", 23}, {"Q", 24}, {"C", 4},  {"M", 5}};
  for (const auto& [field, code] : types) {
    ASSERT_EQ(AdsGetFieldType(h, U(field), &type), 0u);
    EXPECT_EQ(type, code) << field;
  }
  UNSIGNED16 fields = 0;
  ASSERT_EQ(AdsGetNumFields(h, &fields), 0u);
  EXPECT_EQ(fields, 8);  // _NullFlags is not one of them
}

TEST_F(DbfTables, AFoxProVarCharShorterThanItsFieldAndOneThatFillsIt) {
  struct Case {
    const char* value;
    std::string bytes;  // the field's 4 bytes in the record
    bool shorter;
  } cases[] = {
      {"", std::string("   \0", 4), true},
      {"a", std::string("a  \x01", 4), true},
      {"abc", std::string("abc\x03", 4), true},
      {"abcd", "abcd", false},
      {"ab ", std::string("ab \x03", 4), true},  // a trailing blank is part of the value
  };
  ADSHANDLE h = Create(kVfp, "v.dbf", "V,VarChar,4;");
  for (const Case& c : cases) {
    ASSERT_EQ(AdsAppendRecord(h), 0u);
    Set(h, "V", c.value);
    ASSERT_EQ(AdsWriteRecord(h), 0u);
  }
  std::string tooLong = "abcde";
  EXPECT_EQ(AdsSetString(h, U("V"), U(tooLong), 5), 5411u) << LastText();
  Close(h);
  const std::string dbf = Slurp(Path("v.dbf"));
  const size_t header = LE16(dbf, 8), length = LE16(dbf, 10);
  ASSERT_EQ(length, 6u);
  h = Open(kVfp, "v.dbf");
  for (size_t k = 0; k < std::size(cases); ++k) {
    const Case& c = cases[k];
    const std::string record = dbf.substr(header + k * length, length);
    EXPECT_EQ(record.substr(1, 4), c.bytes) << c.value;
    EXPECT_EQ(uint8_t(record[5]), c.shorter ? 1 : 0) << c.value;
    ASSERT_EQ(AdsGotoRecord(h, static_cast<UNSIGNED32>(k + 1)), 0u);
    std::vector<UNSIGNED8> buf(16);
    UNSIGNED32 len = static_cast<UNSIGNED32>(buf.size());
    ASSERT_EQ(AdsGetString(h, U("V"), buf.data(), &len, 0), 0u);  // untrimmed
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf.data()), len), c.value);
  }
}

TEST_F(DbfTables, FoxProSystemFieldFlagsAreReadAndSetInARecordImage) {
  ADSHANDLE h = Create(kVfp, "f.dbf", "N,Integer,NULL;V,VarChar,4;P,Integer;");
  ASSERT_EQ(AdsAppendRecord(h), 0u);
  ASSERT_EQ(AdsSetLong(h, U("N"), 5), 0u);
  Set(h, "V", "abcd");
  ASSERT_EQ(AdsWriteRecord(h), 0u);
  UNSIGNED32 length = 0;
  ASSERT_EQ(AdsGetRecordLength(h, &length), 0u);
  std::vector<UNSIGNED8> image(length);
  ASSERT_EQ(AdsGetRecord(h, image.data(), &length), 0u);
  auto access = [&](const char* field, UNSIGNED32 option, UNSIGNED16 value, void* buffer) {
    UNSIGNED16 v = value;
    UNSIGNED32 rc = AdsAccessVfpSystemField(h, U(field), buffer, option, &v);
    return std::make_pair(rc, v);
  };
  EXPECT_EQ(access("N", 1, 9, image.data()), std::make_pair(0u, UNSIGNED16{0}));
  EXPECT_EQ(access("V", 4, 9, image.data()), std::make_pair(0u, UNSIGNED16{1}));
  EXPECT_EQ(access("P", 4, 9, image.data()), std::make_pair(0u, UNSIGNED16{1}));
  // Setting the flags in the image changes the image only.
  EXPECT_EQ(access("N", 2, 0xFFFF, image.data()).first, 0u);
  EXPECT_EQ(access("N", 1, 9, image.data()), std::make_pair(0u, UNSIGNED16{1}));
  EXPECT_EQ(access("V", 3, 0, image.data()).first, 0u);
  EXPECT_EQ(access("V", 4, 9, image.data()), std::make_pair(0u, UNSIGNED16{0}));
  EXPECT_FALSE(IsNull(h, "N"));
  EXPECT_EQ(Get(h, "V"), "abcd");
  // Without an image they apply to the current record, as a change of it.
  EXPECT_EQ(access("N", 2, 1, nullptr).first, 0u);
  EXPECT_TRUE(IsNull(h, "N"));
  EXPECT_EQ(access("N", 1, 9, nullptr), std::make_pair(0u, UNSIGNED16{1}));
  ASSERT_EQ(AdsCancelUpdate(h), 0u);
  EXPECT_FALSE(IsNull(h, "N"));
  // Refusals: a flag the field does not have, an unknown option, a table that is not FoxPro's.
  EXPECT_EQ(access("P", 2, 1, image.data()).first, 5410u);
  EXPECT_EQ(access("P", 2, 0, image.data()).first, 0u);
  EXPECT_EQ(access("P", 3, 0, image.data()).first, 5410u);
  EXPECT_EQ(access("N", 5, 0, image.data()).first, 5903u);
  EXPECT_EQ(access("X", 1, 0, image.data()).first, 5409u);
  ADSHANDLE cdx = Create(kCdx, "c.dbf", "N,Num,4,0;");
  UNSIGNED16 v = 0;
  EXPECT_EQ(AdsAccessVfpSystemField(cdx, U("N"), image.data(), 1, &v), 5903u);
  EXPECT_NE(LastText().find("not a FoxPro table"), std::string::npos) << LastText();
}

TEST_F(DbfTables, FoxProFilesOfOtherKindsAndDamagedNullFlagsAreRefused) {
  ADSHANDLE h = Create(kVfp, "good.dbf", "A,Char,3;N,Integer,NULL;");
  ASSERT_EQ(AdsAppendRecord(h), 0u);
  ASSERT_EQ(AdsWriteRecord(h), 0u);
  Close(h);
  h = Create(kCdx, "fox2.dbf", "A,Char,3;M,Memo;");
  Close(h);
  const std::string good = Slurp(Path("good.dbf"));
  ASSERT_EQ(std::string(good.c_str() + 96), "_NullFlags");
  struct Case {
    const char* what;
    std::function<std::string(std::string)> damage;
    UNSIGNED32 code;
  } cases[] = {
      {"a memo reference of 10 bytes", [](std::string b) { b[32 + 11] = 'M'; b[32 + 16] = 10; return b; }, 5404},
      {"a null-flags field of 0 bytes", [](std::string b) { b[96 + 16] = 0; return b; }, 5405},
      {"a nullable field without a null-flags field",
       [](std::string b) { b[96] = 'X'; b[96 + 11] = 'C'; return b; }, 5405},
      {"a field after the null-flags field", [](std::string b) { std::swap_ranges(b.begin() + 64, b.begin() + 96, b.begin() + 96); return b; }, 5404},
      {"an integer of 3 bytes", [](std::string b) { b[64 + 16] = 3; return b; }, 5405},
  };
  for (const Case& c : cases) {
    Spill(Path("bad.dbf"), c.damage(good));
    ADSHANDLE t = 0;
    EXPECT_EQ(OpenRc(kVfp, "bad.dbf", 0, &t), c.code) << c.what << ": " << LastText();
    EXPECT_NE(LastText().find("bad.dbf"), std::string::npos) << c.what << ": " << LastText();
  }
  // Each DBF kind opens as its own type and names the one to use otherwise.
  ADSHANDLE t = 0;
  EXPECT_EQ(OpenRc(kCdx, "good.dbf", 0, &t), 5404u);
  EXPECT_NE(LastText().find("type 4"), std::string::npos) << LastText();
  EXPECT_EQ(OpenRc(kVfp, "fox2.dbf", 0, &t), 5404u);
  EXPECT_NE(LastText().find("type 2"), std::string::npos) << LastText();
  // Opened without a type, the file says what it is.
  ASSERT_EQ(AdsOpenTable90(0, U(Path("good.dbf")), nullptr, 0, 1, 1, 1, 0, nullptr, &t), 0u) << LastText();
  open_.push_back(t);
  UNSIGNED16 type = 0;
  ASSERT_EQ(AdsGetTableType(t, &type), 0u);
  EXPECT_EQ(type, kVfp);
}

// Another program's autoincrement integer: its flags, next value and step stay as they were
// through the engine's appends and a pack, which rewrites the header.
TEST_F(DbfTables, FoxProAutoincrementStateOfAnotherProgramIsKept) {
  ADSHANDLE h = Create(kVfp, "auto.dbf", "A,Char,3;N,Integer;");
  Close(h);
  std::string dbf = Slurp(Path("auto.dbf"));
  const std::string state("\x0C\x64\0\0\0\x01", 6);  // flags 0x0C, next 100, step 1
  dbf.replace(64 + 18, 6, state);
  Spill(Path("auto.dbf"), dbf);
  h = Open(kVfp, "auto.dbf", kExclusive);
  for (const char* a : {"x", "y"}) {
    ASSERT_EQ(AdsAppendRecord(h), 0u);
    Set(h, "A", a);
    ASSERT_EQ(AdsWriteRecord(h), 0u) << LastText();
  }
  ASSERT_EQ(AdsGotoRecord(h, 1), 0u);
  ASSERT_EQ(AdsDeleteRecord(h), 0u);
  ASSERT_EQ(AdsPackTable(h), 0u) << LastText();
  Close(h);
  dbf = Slurp(Path("auto.dbf"));
  EXPECT_EQ(dbf.substr(64 + 18, 6), state);
  EXPECT_EQ(LE32(dbf, 4), 1u);
}

TEST_F(DbfTables, FoxProTablesKeepNullsThroughConversionCopyAndRestructure) {
  ADSHANDLE native = 0;
  ASSERT_EQ(AdsCreateTable90(0, U(Path("src.adt")), nullptr, 3, 1, 1, 1, 0,
                             U("NAME,Char,8;QTY,Integer;PRICE,Money;AT,TimeStamp;NOTE,Memo;"), 0, nullptr, &native),
            0u);
  open_.push_back(native);
  ASSERT_EQ(AdsAppendRecord(native), 0u);
  Set(native, "NAME", "bolt");
  ASSERT_EQ(AdsSetLong(native, U("QTY"), 0), 0u);
  ASSERT_EQ(AdsSetDouble(native, U("PRICE"), 1.25), 0u);
  Set(native, "AT", "03/04/2020 10:11:12");
  Set(native, "NOTE", "n");
  ASSERT_EQ(AdsWriteRecord(native), 0u);
  ASSERT_EQ(AdsAppendRecord(native), 0u);  // every field NULL
  ASSERT_EQ(AdsWriteRecord(native), 0u);
  auto rows = [&](ADSHANDLE h) {
    std::vector<std::string> out;
    for (UNSIGNED32 n = 1; n <= Count(h); ++n) {
      EXPECT_EQ(AdsGotoRecord(h, n), 0u);
      std::string row;
      for (const char* f : {"NAME", "QTY", "PRICE", "AT", "NOTE"}) row += (IsNull(h, f) ? "<null>" : Get(h, f)) + "|";
      out.push_back(row);
    }
    return out;
  };
  const std::vector<std::string> expected = rows(native);
  ASSERT_EQ(expected[0], "bolt|0|1.2500|03/04/2020 10:11:12|n|");
  ASSERT_EQ(AdsConvertTable(native, ADS_IGNOREFILTERS, U(Path("v.dbf")), kVfp), 0u) << LastText();
  ADSHANDLE vfp = Open(kVfp, "v.dbf");
  EXPECT_EQ(rows(vfp), expected);
  ASSERT_EQ(AdsCopyTable(vfp, ADS_IGNOREFILTERS, U(Path("w"))), 0u) << LastText();
  EXPECT_TRUE(std::filesystem::exists(Path("w.fpt")));
  EXPECT_EQ(rows(Open(kVfp, "w.dbf")), expected);
  ASSERT_EQ(AdsConvertTable(vfp, ADS_IGNOREFILTERS, U(Path("back.adt")), 3), 0u) << LastText();
  EXPECT_EQ(rows(Open(3, "back.adt")), expected);
  Close(vfp);
  // A new nullable field before the others moves every null bit; the values stay.
  ASSERT_EQ(AdsRestructureTable90(0, U(Path("v.dbf")), nullptr, kVfp, 0, 0, 0, U("FIRST,VarChar,3,NULL;"), nullptr,
                                  U("NAME,NAME,Char,8,NULL"), 0, nullptr),
            0u)
      << LastText();
  vfp = Open(kVfp, "v.dbf");
  EXPECT_EQ(rows(vfp), expected);
  ASSERT_EQ(AdsGotoRecord(vfp, 1), 0u);
  EXPECT_TRUE(IsNull(vfp, "FIRST"));
}

}  // namespace
