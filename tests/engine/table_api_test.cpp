// Native tables through the C interface: every field type written and read back with the
// byte patterns the data-access layer relies on, navigation, deleted records, pack, zap,
// restructure, autoincrement across reopen, blobs, bookmarks, table information, locks between
// handles, and damaged files.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "ace/ace.h"
#include "test_env.h"

namespace {

constexpr UNSIGNED32 kExclusive = 1;
constexpr UNSIGNED32 kReadOnly = 2;

UNSIGNED8* U(const char* s) { return reinterpret_cast<UNSIGNED8*>(const_cast<char*>(s)); }
UNSIGNED8* F(const char* name) { return U(name); }

UNSIGNED32 LastCode() {
  UNSIGNED32 code = 0;
  UNSIGNED8 buf[601];
  UNSIGNED16 len = 600;
  AdsGetLastError(&code, buf, &len);
  return code;
}

class TableApi : public ::testing::Test {
 protected:
  void SetUp() override {
    AdsShowDeleted(0);
    path_ = (dir_.path() / "items.adt").string();
  }
  void TearDown() override {
    for (ADSHANDLE h : open_) AdsCloseTable(h);
    AdsShowDeleted(0);
  }
  ADSHANDLE Create(const char* fields) {
    ADSHANDLE h = 0;
    EXPECT_EQ(AdsCreateTable90(0, U(path_.c_str()), nullptr, 3, 1, 1, 1, 0, U(fields), 0, nullptr, &h), 0u);
    open_.push_back(h);
    return h;
  }
  UNSIGNED32 OpenRc(UNSIGNED32 options, ADSHANDLE* h) {
    UNSIGNED32 rc = AdsOpenTable90(0, U(path_.c_str()), nullptr, 3, 1, 1, 1, options, nullptr, h);
    if (rc == 0) open_.push_back(*h);
    return rc;
  }
  ADSHANDLE Open(UNSIGNED32 options = 0) {
    ADSHANDLE h = 0;
    EXPECT_EQ(OpenRc(options, &h), 0u);
    return h;
  }
  void Close(ADSHANDLE h) {
    EXPECT_EQ(AdsCloseTable(h), 0u);
    open_.erase(std::remove(open_.begin(), open_.end(), h), open_.end());
  }
  std::string Get(ADSHANDLE h, const char* field, UNSIGNED16 trim = 0) {
    UNSIGNED8 buf[4096];
    UNSIGNED32 len = sizeof buf;
    UNSIGNED32 rc = AdsGetField(h, F(field), buf, &len, trim);
    if (rc != 0) return "<error " + std::to_string(rc) + ">";
    return std::string(reinterpret_cast<char*>(buf), len);
  }
  void Set(ADSHANDLE h, const char* field, const std::string& value) {
    ASSERT_EQ(AdsSetField(h, F(field), U(value.c_str()), static_cast<UNSIGNED32>(value.size())), 0u) << field;
  }
  void AppendNamed(ADSHANDLE h, const std::string& name) {
    ASSERT_EQ(AdsAppendRecord(h), 0u);
    Set(h, "NAME", name);
    ASSERT_EQ(AdsWriteRecord(h), 0u);
  }
  std::vector<uint8_t> RecordBytes(ADSHANDLE h) {
    UNSIGNED32 len = 0;
    AdsGetRecordLength(h, &len);
    std::vector<uint8_t> rec(len);
    EXPECT_EQ(AdsGetRecord(h, rec.data(), &len), 0u);
    return rec;
  }
  std::vector<uint8_t> FieldBytes(ADSHANDLE h, const char* field) {
    std::vector<uint8_t> rec = RecordBytes(h);
    UNSIGNED32 offset = 0, length = 0;
    UNSIGNED16 type = 0;
    AdsGetFieldOffset(h, F(field), &offset);
    AdsGetFieldLength(h, F(field), &length);
    AdsGetFieldType(h, F(field), &type);
    if (type == 26 || type == 27) length *= 2;
    if (type == 23 || type == 24 || type == 27) length += 2;
    if (type == 5 || type == 6 || type == 7 || type == 28) length = 4;
    return std::vector<uint8_t>(rec.begin() + offset, rec.begin() + offset + length);
  }
  // Names of the records met walking from one end to the other.
  std::string Walk(ADSHANDLE h, bool forward) {
    std::string seen;
    EXPECT_EQ(forward ? AdsGotoTop(h) : AdsGotoBottom(h), 0u);
    for (;;) {
      UNSIGNED16 end = 0;
      forward ? AdsAtEOF(h, &end) : AdsAtBOF(h, &end);
      if (end) break;
      seen += Get(h, "NAME", 3);
      EXPECT_EQ(AdsSkip(h, forward ? 1 : -1), 0u);
    }
    return seen;
  }

  testenv::TempDir dir_;
  std::string path_;
  std::vector<ADSHANDLE> open_;
};

const char* kAllTypes =
    "C,Char,6;CI,CIChar,4;V,VarChar,8;M,Memo;B,Binary;IM,Image;R,Raw,3;VB,VarBinary,4;NC,NChar,3;NV,NVarChar,4;"
    "NM,NMemo;L,Logical;D,Date;T,Time;TS,TimeStamp;MT,ModTime;SI,ShortInt;I,Integer;A,AutoInc;DB,Double,2;"
    "CD,CurDouble,2;MO,Money;N,Num,8,2;RV,RowVersion;";

struct NullBytes {
  const char* field;
  UNSIGNED16 type;
  std::vector<uint8_t> bytes;
};

TEST_F(TableApi, NewRecordHoldsTheNullEncodingOfEveryType) {
  ADSHANDLE h = Create(kAllTypes);
  ASSERT_EQ(AdsAppendRecord(h), 0u);
  const std::vector<NullBytes> cases = {
      {"C", 4, {0, 0, 0, 0, 0, 0}},
      {"CI", 20, {0, 0, 0, 0}},
      {"V", 23, {0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF}},
      {"M", 5, {0, 0, 0, 0}},
      {"B", 6, {0, 0, 0, 0}},
      {"IM", 7, {0, 0, 0, 0}},
      {"R", 16, {0, 0, 0}},
      {"VB", 24, {0, 0, 0, 0, 0xFF, 0xFF}},
      {"NC", 26, {0, 0, 0, 0, 0, 0}},
      {"NV", 27, {0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF}},
      {"NM", 28, {0, 0, 0, 0}},
      {"L", 1, {' '}},
      {"D", 3, {0, 0, 0, 0}},
      {"T", 13, {0xFF, 0xFF, 0xFF, 0xFF}},
      {"TS", 14, {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}},
      {"SI", 12, {0, 0x80}},
      {"I", 11, {0, 0, 0, 0x80}},
      {"DB", 10, {32, 0, 0, 0, 0, 0, 0, 0x80}},
      {"CD", 17, {32, 0, 0, 0, 0, 0, 0, 0x80}},
      {"MO", 18, {0, 0, 0, 0, 0, 0, 0, 0x80}},
      {"N", 2, {0, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const NullBytes& c : cases) {
    SCOPED_TRACE(c.field);
    UNSIGNED16 type = 0, isNull = 0, isEmpty = 0;
    ASSERT_EQ(AdsGetFieldType(h, F(c.field), &type), 0u);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(FieldBytes(h, c.field), c.bytes);
    EXPECT_EQ(AdsIsNull(h, F(c.field), &isNull), 0u);
    EXPECT_EQ(AdsIsEmpty(h, F(c.field), &isEmpty), 0u);
    EXPECT_EQ(isNull, 1);
    EXPECT_EQ(isEmpty, 1);
  }
  // AdsClearRecordBuffer gives the same empty image to a caller's buffer.
  std::vector<uint8_t> rec = RecordBytes(h);
  std::vector<uint8_t> cleared(rec.size(), 0xAB);
  ASSERT_EQ(AdsClearRecordBuffer(h, cleared.data(), static_cast<UNSIGNED32>(cleared.size())), 0u);
  UNSIGNED32 autoOffset = 0;
  AdsGetFieldOffset(h, F("A"), &autoOffset);
  EXPECT_EQ(std::vector<uint8_t>(cleared.begin() + autoOffset, cleared.begin() + autoOffset + 4),
            (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}));
  UNSIGNED32 cOffset = 0;
  AdsGetFieldOffset(h, F("C"), &cOffset);
  EXPECT_EQ(std::vector<uint8_t>(cleared.begin() + cOffset, cleared.begin() + cOffset + 6), std::vector<uint8_t>(6, 0));
  EXPECT_EQ(cleared[0], ' ');
}

struct ValueCase {
  const char* field;
  std::string set;     // through AdsSetField
  std::string expect;  // through AdsGetField
};

TEST_F(TableApi, EveryTypeWrittenAsTextReadsBackAfterReopen) {
  ADSHANDLE h = Create(kAllTypes);
  const std::vector<ValueCase> cases = {
      {"C", "ab", "ab    "},          {"CI", "Xy", "Xy  "},
      {"V", "hello", "hello"},         {"M", std::string(3000, 'm'), std::string(3000, 'm')},
      {"R", "xyz", "xyz"},             {"VB", "ab", "ab"},
      {"NC", "\xe9t\xe9", "\xe9t\xe9"}, {"NV", "ok", "ok"},
      {"NM", "na\xefve", "na\xefve"},  {"L", "T", "T"},
      {"D", "12/31/1999", "12/31/1999"}, {"T", "13:45:10", "13:45:10"},
      {"TS", "01/02/2003 04:05:06", "01/02/2003 04:05:06"},
      {"SI", "-123", "-123"},          {"I", "2000000000", "2000000000"},
      {"DB", "2.5", "2.50"},           {"CD", "-7.126", "-7.13"},
      {"MO", "12.3456", "12.3456"},    {"N", "-12.345", "  -12.35"},
  };
  ASSERT_EQ(AdsAppendRecord(h), 0u);
  for (const ValueCase& c : cases) Set(h, c.field, c.set);
  ASSERT_EQ(AdsWriteRecord(h), 0u);
  Close(h);
  h = Open();
  ASSERT_EQ(AdsGotoTop(h), 0u);
  for (const ValueCase& c : cases) {
    EXPECT_EQ(Get(h, c.field), c.expect) << c.field;
    UNSIGNED16 isNull = 1;
    AdsIsNull(h, F(c.field), &isNull);
    EXPECT_EQ(isNull, 0) << c.field;
  }
  // The components' byte tests on the stored image.
  EXPECT_EQ(FieldBytes(h, "V").back(), 0);
  EXPECT_EQ(FieldBytes(h, "V")[8], 5);  // 16-bit used length after the field
  EXPECT_EQ(FieldBytes(h, "NV")[8], 2);
  EXPECT_NE(FieldBytes(h, "M"), std::vector<uint8_t>(4, 0));  // blob reference present
  // Engine-kept fields: an autoincrement, a row version and a modification time.
  SIGNED32 autoValue = 0, day = 0;
  EXPECT_EQ(AdsGetLong(h, F("A"), &autoValue), 0u);
  EXPECT_EQ(autoValue, 1);
  EXPECT_EQ(AdsGetJulian(h, F("MT"), &day), 0u);
  EXPECT_GT(day, 2451545);
  // Typed getters agree with the text.
  DOUBLE d = 0;
  SIGNED16 s = 0;
  UNSIGNED16 logical = 0;
  SIGNED32 ms = 0;
  EXPECT_EQ(AdsGetDouble(h, F("N"), &d), 0u);
  EXPECT_DOUBLE_EQ(d, -12.35);
  EXPECT_EQ(AdsGetShort(h, F("SI"), &s), 0u);
  EXPECT_EQ(s, -123);
  EXPECT_EQ(AdsGetLogical(h, F("L"), &logical), 0u);
  EXPECT_EQ(logical, 1);
  EXPECT_EQ(AdsGetMilliseconds(h, F("T"), &ms), 0u);
  EXPECT_EQ(ms, (13 * 3600 + 45 * 60 + 10) * 1000);
  EXPECT_EQ(AdsGetJulian(h, F("D"), &day), 0u);
  EXPECT_EQ(day, 2451544);
  WCHAR wide[16];
  UNSIGNED32 wlen = 16;
  EXPECT_EQ(AdsGetFieldW(h, F("NC"), wide, &wlen, 0), 0u);
  EXPECT_EQ(std::u16string(wide, wlen), u"\u00e9t\u00e9");
}

TEST_F(TableApi, TypedSettersAndRefusals) {
  ADSHANDLE h = Create("I,Integer;SI,ShortInt;D,Date;L,Logical;C,Char,3;A,AutoInc;N,Num,5,1;");
  ASSERT_EQ(AdsAppendRecord(h), 0u);
  EXPECT_EQ(AdsSetLong(h, F("I"), -5), 0u);
  EXPECT_EQ(AdsSetShort(h, F("SI"), 7), 0u);
  EXPECT_EQ(AdsSetJulian(h, F("D"), 2451545), 0u);
  EXPECT_EQ(AdsSetLogical(h, F("L"), 0), 0u);
  EXPECT_EQ(AdsSetDouble(h, F("N"), 12.34), 0u);
  EXPECT_EQ(AdsSetDate(h, F("D"), U("02/29/2000"), 10), 0u);
  struct Refusal {
    const char* what;
    UNSIGNED32 rc;
    UNSIGNED32 code;
  };
  const std::vector<Refusal> refusals = {
      {"text too long", AdsSetField(h, F("C"), U("abcd"), 4), 5411},
      {"number too wide", AdsSetDouble(h, F("N"), 12345.0), 5411},
      {"short out of range", AdsSetLong(h, F("SI"), 40000), 5411},
      {"date on an integer", AdsSetJulian(h, F("I"), 2451545), 5410},
      {"autoincrement is the engine's", AdsSetLong(h, F("A"), 9), 5410},
      {"no such field", AdsSetLong(h, F("NOPE"), 1), 5409},
      {"field number past the end", AdsSetLong(h, reinterpret_cast<UNSIGNED8*>(uintptr_t{99}), 1), 5409},
      {"date text", AdsSetDate(h, F("D"), U("31/31/2000"), 10), 5415},
      {"not a number", AdsSetField(h, F("I"), U("12x"), 3), 5410},
  };
  for (const Refusal& r : refusals) EXPECT_EQ(r.rc, r.code) << r.what;
  ASSERT_EQ(AdsWriteRecord(h), 0u);
  EXPECT_EQ(Get(h, "I"), "-5");
  EXPECT_EQ(Get(h, "SI"), "7");
  EXPECT_EQ(Get(h, "D"), "02/29/2000");
  EXPECT_EQ(Get(h, "L"), "F");
  EXPECT_EQ(Get(h, "N"), " 12.3");
  EXPECT_EQ(Get(h, reinterpret_cast<const char*>(uintptr_t{1})), "-5");  // by number
  // Clearing an integer writes its null encoding, which reads back as null.
  EXPECT_EQ(AdsSetEmpty(h, F("I")), 0u);
  EXPECT_EQ(FieldBytes(h, "I"), (std::vector<uint8_t>{0, 0, 0, 0x80}));
}

TEST_F(TableApi, NavigatesBothWaysHidingOrShowingDeletedRecords) {
  ADSHANDLE h = Create("NAME,Char,4;");
  for (const char* n : {"a", "b", "c", "d", "e"}) AppendNamed(h, n);
  ASSERT_EQ(AdsGotoRecord(h, 2), 0u);
  ASSERT_EQ(AdsDeleteRecord(h), 0u);
  ASSERT_EQ(AdsGotoRecord(h, 4), 0u);
  ASSERT_EQ(AdsDeleteRecord(h), 0u);
  EXPECT_EQ(Walk(h, true), "ace");
  EXPECT_EQ(Walk(h, false), "eca");
  UNSIGNED32 count = 0;
  EXPECT_EQ(AdsGetRecordCount(h, 2, &count), 0u);
  EXPECT_EQ(count, 5u);
  EXPECT_EQ(AdsGetRecordCount(h, 1, &count), 0u);
  EXPECT_EQ(count, 3u);
  // A deleted record reached by number is there but not visible.
  UNSIGNED16 visible = 1, deleted = 0, show = 1;
  ASSERT_EQ(AdsGotoRecord(h, 2), 0u);
  EXPECT_EQ(AdsIsRecordVisible(h, &visible), 0u);
  EXPECT_EQ(visible, 0);
  EXPECT_EQ(AdsIsRecordDeleted(h, &deleted), 0u);
  EXPECT_EQ(deleted, 1);
  EXPECT_EQ(AdsGetDeleted(&show), 0u);
  EXPECT_EQ(show, 0);
  AdsShowDeleted(1);
  EXPECT_EQ(Walk(h, true), "abcde");
  EXPECT_EQ(Walk(h, false), "edcba");
  AdsShowDeleted(0);
  // Recall brings it back.
  ASSERT_EQ(AdsGotoRecord(h, 4), 0u);
  ASSERT_EQ(AdsRecallRecord(h), 0u);
  EXPECT_EQ(Walk(h, true), "acde");
  // Ends: skipping before the first or past the last lands on the phantom records.
  UNSIGNED16 bof = 0, eof = 0;
  UNSIGNED32 recno = 9;
  ASSERT_EQ(AdsGotoTop(h), 0u);
  ASSERT_EQ(AdsSkip(h, -1), 0u);
  AdsAtBOF(h, &bof);
  EXPECT_EQ(bof, 1);
  ASSERT_EQ(AdsSkip(h, 1), 0u);
  EXPECT_EQ(Get(h, "NAME", 3), "a");
  ASSERT_EQ(AdsGotoBottom(h), 0u);
  ASSERT_EQ(AdsSkip(h, 3), 0u);
  AdsAtEOF(h, &eof);
  EXPECT_EQ(eof, 1);
  EXPECT_EQ(AdsGetRecordNum(h, 2, &recno), 0u);
  EXPECT_EQ(recno, 0u);
  EXPECT_EQ(AdsGetField(h, F("NAME"), nullptr, &recno, 0), 5068u);
  ASSERT_EQ(AdsSkip(h, -1), 0u);
  EXPECT_EQ(Get(h, "NAME", 3), "e");
  EXPECT_EQ(AdsGotoRecord(h, 99), 5022u);
}

TEST_F(TableApi, EmptyTableIsAtBothEnds) {
  ADSHANDLE h = Create("NAME,Char,4;");
  UNSIGNED16 bof = 0, eof = 0;
  ASSERT_EQ(AdsGotoTop(h), 0u);
  AdsAtBOF(h, &bof);
  AdsAtEOF(h, &eof);
  EXPECT_EQ(bof, 1);
  EXPECT_EQ(eof, 1);
  ASSERT_EQ(AdsGotoBOF(h), 0u);
  ASSERT_EQ(AdsSkip(h, 1), 0u);
  AdsAtEOF(h, &eof);
  EXPECT_EQ(eof, 1);
}

TEST_F(TableApi, PackZapRestructureAndAutoincAcrossReopen) {
  ADSHANDLE h = Create("ID,AutoInc;NAME,Char,6;QTY,Integer;");
  for (const char* n : {"a", "b", "c"}) AppendNamed(h, n);
  UNSIGNED32 last = 0;
  EXPECT_EQ(AdsGetLastAutoinc(h, &last), 0u);
  EXPECT_EQ(last, 3u);
  Close(h);
  h = Open(kExclusive);
  AppendNamed(h, "d");
  EXPECT_EQ(AdsGetLastAutoinc(h, &last), 0u);
  EXPECT_EQ(last, 4u);
  ASSERT_EQ(AdsGotoRecord(h, 1), 0u);
  ASSERT_EQ(AdsDeleteRecord(h), 0u);
  ASSERT_EQ(AdsPackTable(h), 0u);
  UNSIGNED32 count = 0;
  AdsGetRecordCount(h, 2, &count);
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(Walk(h, true), "bcd");
  Close(h);
  ASSERT_EQ(AdsRestructureTable90(0, U(path_.c_str()), nullptr, 3, 1, 1, 1, U("NOTE,Memo;"), U("QTY"),
                                  U("NAME,Char,10"), 0, nullptr),
            0u);
  h = Open(kExclusive);
  UNSIGNED16 fields = 0;
  AdsGetNumFields(h, &fields);
  EXPECT_EQ(fields, 3);
  EXPECT_EQ(Walk(h, true), "bcd");
  ASSERT_EQ(AdsGotoTop(h), 0u);
  EXPECT_EQ(Get(h, "NAME"), "b         ");
  EXPECT_EQ(Get(h, "ID"), "2");
  AppendNamed(h, "e");
  EXPECT_EQ(AdsGetLastAutoinc(h, &last), 0u);
  EXPECT_EQ(last, 5u);
  ASSERT_EQ(AdsZapTable(h), 0u);
  AdsGetRecordCount(h, 2, &count);
  EXPECT_EQ(count, 0u);
  UNSIGNED16 eof = 0;
  AdsAtEOF(h, &eof);
  EXPECT_EQ(eof, 1);
}

TEST_F(TableApi, RestructureRebuildsTheIndexAndRefusesToLoseATag) {
  ADSHANDLE h = Create("CODE,Char,6;NAME,Char,10;QTY,Integer;");
  ADSHANDLE order = 0;
  ASSERT_EQ(AdsCreateIndex90(h, nullptr, U("BYCODE"), U("CODE"), nullptr, nullptr, 2, 512, nullptr, &order), 0u);
  ASSERT_EQ(AdsCreateIndex90(h, nullptr, U("BYQTY"), U("QTY"), U("QTY > 1"), nullptr, 2, 512, nullptr, &order), 0u);
  for (const char* code : {"zz9999", "mm5555", "aa1111"}) {
    ASSERT_EQ(AdsAppendRecord(h), 0u);
    ASSERT_EQ(AdsSetString(h, F("CODE"), U(code), 6), 0u);
    ASSERT_EQ(AdsSetLong(h, F("QTY"), code[2] - '0'), 0u);
    ASSERT_EQ(AdsWriteRecord(h), 0u);
  }
  Close(h);
  const std::filesystem::path index = std::filesystem::path(path_).replace_extension(".adi");
  auto codesAlong = [&](const char* tag) {
    ADSHANDLE t = Open();
    ADSHANDLE o = 0;
    EXPECT_EQ(AdsGetIndexHandle(t, U(tag), &o), 0u);
    std::string codes;
    UNSIGNED16 eof = 0;
    for (AdsGotoTop(o); AdsAtEOF(o, &eof) == 0 && !eof; AdsSkip(o, 1)) codes += Get(o, "CODE") + "|";
    Close(t);
    return codes;
  };
  // A key field made shorter: the keys are made again from the new values.
  ASSERT_EQ(AdsRestructureTable90(0, U(path_.c_str()), nullptr, 3, 1, 1, 1, U("EXTRA,Char,2;"), U("NAME"),
                                  U("CODE,Char,2"), 0, nullptr),
            0u);
  EXPECT_EQ(codesAlong("BYCODE"), "aa|mm|zz|");
  EXPECT_EQ(codesAlong("BYQTY"), "mm|zz|") << "the condition still holds";
  const auto indexBytes = std::filesystem::file_size(index);

  // Deleting or renaming a field a tag uses is refused and changes nothing.
  const auto tableBytes = std::filesystem::file_size(path_);
  for (auto [remove, change] : {std::pair<const char*, const char*>{"QTY", ""}, {"", "CODE,KEY"}}) {
    EXPECT_NE(AdsRestructureTable90(0, U(path_.c_str()), nullptr, 3, 1, 1, 1, U(""), U(remove), U(change), 0, nullptr),
              0u)
        << remove << change;
    UNSIGNED8 text[601];
    UNSIGNED16 len = 600;
    UNSIGNED32 code = 0;
    AdsGetLastError(&code, text, &len);
    EXPECT_NE(std::string(reinterpret_cast<char*>(text)).find(remove[0] ? "BYQTY" : "BYCODE"), std::string::npos)
        << text;
    EXPECT_EQ(std::filesystem::file_size(path_), tableBytes);
    EXPECT_EQ(std::filesystem::file_size(index), indexBytes) << "the index is back";
    EXPECT_EQ(codesAlong("BYCODE"), "aa|mm|zz|");
  }
}

TEST_F(TableApi, ProgressCallbackSeesPackAndCanStopIt) {
  static std::vector<UNSIGNED16> seen;
  static UNSIGNED32 answer = 0;
  seen.clear();
  // The records go in as one transaction: one commit, not twenty thousand.
  ADSHANDLE conn = 0;
  ASSERT_EQ(AdsConnect60(U(dir_.str().c_str()), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &conn), 0u);
  ADSHANDLE h = 0;
  ASSERT_EQ(AdsCreateTable90(conn, U(path_.c_str()), nullptr, 3, 1, 1, 1, 0, U("NAME,Char,6;"), 0, nullptr, &h), 0u);
  ASSERT_EQ(AdsBeginTransaction(conn), 0u);
  for (int i = 0; i < 20000; ++i) {
    ASSERT_EQ(AdsAppendRecord(h), 0u);
  }
  ASSERT_EQ(AdsWriteRecord(h), 0u);
  ASSERT_EQ(AdsCommitTransaction(conn), 0u);
  ASSERT_EQ(AdsGotoTop(h), 0u);
  ASSERT_EQ(AdsDeleteRecord(h), 0u);
  ASSERT_EQ(AdsRegisterProgressCallback([](UNSIGNED16 p) -> UNSIGNED32 {
              seen.push_back(p);
              return answer;
            }),
            0u);
  answer = 1;  // stop at the first report
  EXPECT_NE(AdsPackTable(h), 0u);
  UNSIGNED32 count = 0;
  AdsGetRecordCount(h, 2, &count);
  EXPECT_EQ(count, 20000u);
  answer = 0;
  seen.clear();
  EXPECT_EQ(AdsPackTable(h), 0u);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), 100);
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  AdsGetRecordCount(h, 2, &count);
  EXPECT_EQ(count, 19999u);
  EXPECT_EQ(AdsClearProgressCallback(), 0u);
  EXPECT_EQ(AdsDisconnect(conn), 0u);
}

TEST_F(TableApi, CancelledAppendLeavesNothingAndCancelWithoutChangeIs5085) {
  ADSHANDLE h = Create("NAME,Char,4;");
  AppendNamed(h, "a");
  EXPECT_EQ(AdsCancelUpdate(h), 5085u);
  ASSERT_EQ(AdsAppendRecord(h), 0u);
  Set(h, "NAME", "zz");
  ASSERT_EQ(AdsCancelUpdate(h), 0u);
  EXPECT_EQ(Walk(h, true), "a");
  // The cancelled record was the last one: it is gone, not left behind deleted and blank.
  UNSIGNED32 count = 0;
  ASSERT_EQ(AdsGetRecordCount(h, ADS_IGNOREFILTERS, &count), 0u);
  EXPECT_EQ(count, 1u);
  ASSERT_EQ(AdsAppendRecord(h), 0u);
  UNSIGNED32 recno = 0;
  ASSERT_EQ(AdsGetRecordNum(h, ADS_IGNOREFILTERS, &recno), 0u);
  EXPECT_EQ(recno, 2u);
  ASSERT_EQ(AdsCancelUpdate(h), 0u);
  // A change dropped by refresh.
  ASSERT_EQ(AdsGotoTop(h), 0u);
  Set(h, "NAME", "q");
  ASSERT_EQ(AdsRefreshRecord(h), 0u);
  EXPECT_EQ(Get(h, "NAME", 3), "a");
  // Moving away stores a pending change.
  Set(h, "NAME", "w");
  ASSERT_EQ(AdsGotoBottom(h), 0u);
  EXPECT_EQ(Walk(h, true), "w");
}

TEST_F(TableApi, BlobsThroughStringsBinaryPiecesAndFiles) {
  ADSHANDLE h = Create("NAME,Char,4;NOTE,Memo;PIC,Image;");
  ASSERT_EQ(AdsAppendRecord(h), 0u);
  Set(h, "NOTE", "first note");
  std::string bytes(10000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
  ASSERT_EQ(AdsSetBinary(h, F("PIC"), 7, 10000, 0, U(bytes.data()), 4000), 0u);
  ASSERT_EQ(AdsSetBinary(h, F("PIC"), 7, 10000, 4000, U(bytes.data() + 4000), 6000), 0u);
  ASSERT_EQ(AdsWriteRecord(h), 0u);
  UNSIGNED32 len = 0;
  UNSIGNED16 memoType = 0;
  EXPECT_EQ(AdsGetMemoLength(h, F("NOTE"), &len), 0u);
  EXPECT_EQ(len, 10u);
  EXPECT_EQ(AdsGetMemoDataType(h, F("NOTE"), &memoType), 0u);
  EXPECT_EQ(memoType, 5);
  EXPECT_EQ(AdsGetBinaryLength(h, F("PIC"), &len), 0u);
  EXPECT_EQ(len, 10000u);
  std::string back(300, '\0');
  len = 300;
  EXPECT_EQ(AdsGetBinary(h, F("PIC"), 9800, U(back.data()), &len), 0u);
  EXPECT_EQ(len, 200u);
  EXPECT_EQ(back.substr(0, 200), bytes.substr(9800));
  std::string file = (dir_.path() / "pic.bin").string();
  ASSERT_EQ(AdsBinaryToFile(h, F("PIC"), U(file.c_str())), 0u);
  EXPECT_EQ(std::filesystem::file_size(file), 10000u);
  ASSERT_EQ(AdsFileToBinary(h, F("NOTE"), 6, U(file.c_str())), 0u);
  ASSERT_EQ(AdsWriteRecord(h), 0u);
  EXPECT_EQ(AdsGetMemoLength(h, F("NOTE"), &len), 0u);
  EXPECT_EQ(len, 10000u);
  // Emptying a blob.
  ASSERT_EQ(AdsSetEmpty(h, F("NOTE")), 0u);
  ASSERT_EQ(AdsWriteRecord(h), 0u);
  UNSIGNED16 empty = 0;
  AdsIsEmpty(h, F("NOTE"), &empty);
  EXPECT_EQ(empty, 1);
  EXPECT_EQ(FieldBytes(h, "NOTE"), std::vector<uint8_t>(4, 0));
}

// A path on a drive the host map lacks fails with one code, whichever call and file names it.
TEST_F(TableApi, APathThatCannotBeMappedIsOneErrorWhateverTheCall) {
  ADSHANDLE h = Create("NAME,Char,4;PIC,Image;");
  ASSERT_EQ(AdsAppendRecord(h), 0u);
  ASSERT_EQ(AdsWriteRecord(h), 0u);
  const char* unmapped = "Q:\\nowhere\\items.adt";
  struct Case {
    const char* call;
    std::function<UNSIGNED32()> run;
  };
  ADSHANDLE other = 0;
  const std::vector<Case> cases = {
      {"AdsOpenTable90", [&] { return AdsOpenTable90(0, U(unmapped), nullptr, 3, 1, 1, 1, 0, nullptr, &other); }},
      {"AdsCreateTable90",
       [&] { return AdsCreateTable90(0, U(unmapped), nullptr, 3, 1, 1, 1, 0, U("NAME,Char,4;"), 0, nullptr, &other); }},
      {"AdsBinaryToFile", [&] { return AdsBinaryToFile(h, F("PIC"), U("Q:\\nowhere\\pic.bin")); }},
      {"AdsFileToBinary", [&] { return AdsFileToBinary(h, F("PIC"), 7, U("Q:\\nowhere\\pic.bin")); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    EXPECT_EQ(c.run(), 5914u);
    EXPECT_EQ(LastCode(), 5914u);
  }
}

TEST_F(TableApi, BookmarksAndTableInformation) {
  ADSHANDLE h = Create("NAME,Char,4;NOTE,Memo;");
  for (const char* n : {"a", "b", "c"}) AppendNamed(h, n);
  ASSERT_EQ(AdsGotoRecord(h, 2), 0u);
  ADSHANDLE mark = 0;
  UNSIGNED8 b1[8], b2[8];
  UNSIGNED32 l1 = 8, l2 = 8, length = 0;
  ASSERT_EQ(AdsGetBookmark(h, &mark), 0u);
  ASSERT_EQ(AdsGetBookmark60(h, b1, &l1), 0u);
  ASSERT_EQ(AdsGetBookmarkLength(h, &length), 0u);
  EXPECT_EQ(l1, length);
  ASSERT_EQ(AdsGotoTop(h), 0u);
  ASSERT_EQ(AdsGetBookmark60(h, b2, &l2), 0u);
  SIGNED32 cmp = 0;
  ASSERT_EQ(AdsCompareBookmarks(b2, b1, &cmp), 0u);
  EXPECT_LT(cmp, 0);
  ASSERT_EQ(AdsGotoBookmark(h, mark), 0u);
  EXPECT_EQ(Get(h, "NAME", 3), "b");
  UNSIGNED16 type = 0, charType = 0, memo = 0;
  UNSIGNED32 options = 0;
  EXPECT_EQ(AdsGetTableType(h, &type), 0u);
  EXPECT_EQ(type, 3);
  EXPECT_EQ(AdsGetTableCharType(h, &charType), 0u);
  EXPECT_EQ(charType, 1);
  EXPECT_EQ(AdsGetTableMemoSize(h, &memo), 0u);
  EXPECT_GT(memo, 0);
  EXPECT_EQ(AdsGetTableOpenOptions(h, &options), 0u);
  EXPECT_EQ(options & 1, 1u);  // a created table stays open exclusively
  EXPECT_EQ(options & 0x60, 0x60u);
  UNSIGNED8 name[300];
  UNSIGNED16 nameLen = sizeof name;
  ASSERT_EQ(AdsGetTableFilename(h, 1, name, &nameLen), 0u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(name), nameLen), "items");
  nameLen = sizeof name;
  ASSERT_EQ(AdsGetTableFilename(h, 3, name, &nameLen), 0u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(name), nameLen), path_);
  ADSHANDLE conn = 0;
  EXPECT_EQ(AdsGetTableConnection(h, &conn), 5023u);
  UNSIGNED16 num = 0;
  EXPECT_EQ(AdsGetFieldNum(h, U("note"), &num), 0u);
  EXPECT_EQ(num, 2);
  nameLen = 5;
  EXPECT_EQ(AdsGetFieldName(h, 1, name, &nameLen), 0u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(name), nameLen), "NAME");
  nameLen = 2;
  EXPECT_EQ(AdsGetFieldName(h, 1, name, &nameLen), 5005u);
  EXPECT_EQ(nameLen, 5);
  EXPECT_EQ(AdsCacheRecords(h, 50), 0u);
  EXPECT_EQ(Walk(h, true), "abc");
}

TEST_F(TableApi, LocksBetweenTwoHandles) {
  ADSHANDLE setup = Create("NAME,Char,4;");
  for (const char* n : {"a", "b", "c"}) AppendNamed(setup, n);
  Close(setup);
  ADSHANDLE a = Open(), b = Open();
  EXPECT_EQ(AdsLockRecord(a, 2), 0u);
  EXPECT_EQ(AdsLockRecord(b, 2), 5035u);
  EXPECT_EQ(LastCode(), 5035u);
  // A change of a record another handle holds needs the implicit lock and is refused.
  ASSERT_EQ(AdsGotoRecord(b, 2), 0u);
  EXPECT_EQ(AdsSetField(b, F("NAME"), U("x"), 1), 5035u);
  EXPECT_EQ(AdsLockTable(b), 5035u);
  UNSIGNED16 locked = 0, num = 0;
  EXPECT_EQ(AdsIsRecordLocked(a, 2, &locked), 0u);
  EXPECT_EQ(locked, 1);
  EXPECT_EQ(AdsIsRecordLocked(b, 2, &locked), 0u);
  EXPECT_EQ(locked, 0);
  EXPECT_EQ(AdsLockRecord(a, 3), 0u);
  EXPECT_EQ(AdsGetNumLocks(a, &num), 0u);
  EXPECT_EQ(num, 2);
  UNSIGNED32 locks[1];
  UNSIGNED16 cap = 1;
  EXPECT_EQ(AdsGetAllLocks(a, locks, &cap), 5005u);
  EXPECT_EQ(cap, 2);
  UNSIGNED32 all[4];
  cap = 4;
  EXPECT_EQ(AdsGetAllLocks(a, all, &cap), 0u);
  ASSERT_EQ(cap, 2);
  EXPECT_EQ(all[0], 2u);
  EXPECT_EQ(all[1], 3u);
  EXPECT_EQ(AdsUnlockRecord(b, 2), 5062u);
  EXPECT_EQ(AdsUnlockTable(b), 5087u);
  EXPECT_EQ(AdsUnlockRecord(a, 2), 0u);
  EXPECT_EQ(AdsUnlockRecord(a, 3), 0u);
  EXPECT_EQ(AdsSetField(b, F("NAME"), U("x"), 1), 0u);
  EXPECT_EQ(AdsWriteRecord(b), 0u);
  EXPECT_EQ(AdsLockRecord(a, 2), 0u);  // the implicit lock ended with the write
  ASSERT_EQ(AdsGotoRecord(a, 2), 0u);
  EXPECT_EQ(Get(a, "NAME", 3), "x");
  EXPECT_EQ(AdsUnlockRecord(a, 2), 0u);
  EXPECT_EQ(AdsLockTable(a), 0u);
  UNSIGNED16 tableLocked = 0;
  EXPECT_EQ(AdsIsTableLocked(a, &tableLocked), 0u);
  EXPECT_EQ(tableLocked, 1);
  EXPECT_EQ(AdsLockRecord(b, 1), 5035u);
  EXPECT_EQ(AdsUnlockTable(a), 0u);
  EXPECT_EQ(AdsLockRecord(b, 1), 0u);
}

TEST_F(TableApi, OpenModesExcludeEachOther) {
  ADSHANDLE setup = Create("NAME,Char,4;");
  Close(setup);
  ADSHANDLE h = 0;
  ADSHANDLE shared = Open();
  EXPECT_EQ(OpenRc(kExclusive, &h), 5402u);
  Close(shared);
  ADSHANDLE exclusive = Open(kExclusive);
  EXPECT_EQ(OpenRc(0, &h), 5402u);
  EXPECT_EQ(OpenRc(kReadOnly, &h), 5402u);
  Close(exclusive);
  ADSHANDLE readOnly = Open(kReadOnly);
  UNSIGNED32 options = 0;
  AdsGetTableOpenOptions(readOnly, &options);
  EXPECT_EQ(options & 2, 2u);
  EXPECT_EQ(AdsAppendRecord(readOnly), 5412u);
  EXPECT_EQ(AdsPackTable(readOnly), 5412u);
}

TEST_F(TableApi, DeletingATableRemovesItsFilesAndNeedsItExclusively) {
  ADSHANDLE setup = Create("NAME,Char,4;M,Memo;");
  ASSERT_EQ(AdsAppendRecord(setup), 0u);
  ASSERT_EQ(AdsSetString(setup, F("M"), U("memo"), 4), 0u);
  ASSERT_EQ(AdsWriteRecord(setup), 0u);
  ADSHANDLE index = 0;
  ASSERT_EQ(AdsCreateIndex90(setup, nullptr, U("BYNAME"), U("NAME"), nullptr, nullptr, 2, 512, nullptr, &index), 0u);
  Close(setup);
  const std::filesystem::path table(path_);
  const std::filesystem::path files[] = {table, std::filesystem::path(table).replace_extension(".adm"),
                                         std::filesystem::path(table).replace_extension(".adi")};
  for (const auto& f : files) ASSERT_TRUE(std::filesystem::exists(f)) << f;

  ADSHANDLE shared = Open();
  EXPECT_EQ(AdsDeleteTable(shared), 5413u);
  for (const auto& f : files) EXPECT_TRUE(std::filesystem::exists(f)) << f;
  Close(shared);

  // With nothing pending, and with a change in progress that goes with the table.
  for (bool pending : {false, true}) {
    if (pending) {
      setup = Create("NAME,Char,4;");
      Close(setup);
    }
    ADSHANDLE exclusive = Open(kExclusive);
    if (pending) {
      ASSERT_EQ(AdsAppendRecord(exclusive), 0u);
      ASSERT_EQ(AdsSetString(exclusive, F("NAME"), U("x"), 1), 0u);
    }
    EXPECT_EQ(AdsDeleteTable(exclusive), 0u);
    open_.erase(std::remove(open_.begin(), open_.end(), exclusive), open_.end());
    for (const auto& f : files) EXPECT_FALSE(std::filesystem::exists(f)) << f;
    EXPECT_NE(AdsCloseTable(exclusive), 0u) << "the handle went with the table";
  }
}

TEST_F(TableApi, DamagedFilesGiveDocumentedErrors) {
  ADSHANDLE h = Create("NAME,Char,4;NOTE,Memo;");
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(AdsAppendRecord(h), 0u);
    Set(h, "NAME", "r" + std::to_string(i));
    Set(h, "NOTE", "note " + std::to_string(i));
  }
  ASSERT_EQ(AdsWriteRecord(h), 0u);
  UNSIGNED32 reclen = 0, noteOffset = 0;
  AdsGetRecordLength(h, &reclen);
  AdsGetFieldOffset(h, F("NOTE"), &noteOffset);
  Close(h);
  const uint64_t size = std::filesystem::file_size(path_);
  const uint64_t headerLength = size - 5 * reclen;
  std::vector<char> original(size);
  std::ifstream(path_, std::ios::binary).read(original.data(), static_cast<std::streamsize>(size));
  auto restore = [&] { std::ofstream(path_, std::ios::binary | std::ios::trunc).write(original.data(), size); };
  auto patch = [&](uint64_t at, const std::string& bytes) {
    std::fstream f(path_, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(at));
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  };
  ADSHANDLE t = 0;
  // Changed header bytes.
  patch(140, "ZZ");
  EXPECT_EQ(OpenRc(0, &t), 5405u);
  restore();
  // A descriptor count that does not fit.
  patch(128, std::string("\xff\x07", 2));
  EXPECT_EQ(OpenRc(0, &t), 5405u);
  restore();
  // A truncated table: the intact records stay readable.
  std::filesystem::resize_file(path_, size - reclen - 3);
  t = Open();
  ASSERT_EQ(AdsGotoRecord(t, 3), 0u);
  EXPECT_EQ(Get(t, "NAME", 3), "r2");
  EXPECT_EQ(AdsGotoRecord(t, 5), 5406u);
  Close(t);
  restore();
  // A memo reference past the memo file: the record reads, the memo gives an error.
  uint32_t farBlock = 1u << 30;
  patch(headerLength + 2 * reclen + noteOffset, std::string(reinterpret_cast<char*>(&farBlock), 4));
  t = Open();
  ASSERT_EQ(AdsGotoRecord(t, 3), 0u);
  EXPECT_EQ(Get(t, "NAME", 3), "r2");
  EXPECT_EQ(Get(t, "NOTE"), "<error 5407>");
  ASSERT_EQ(AdsGotoRecord(t, 4), 0u);
  EXPECT_EQ(Get(t, "NOTE"), "note 3");
  Close(t);
  // Not a table at all, and no table.
  std::ofstream(path_, std::ios::trunc) << "plain text";
  EXPECT_EQ(OpenRc(0, &t), 5403u);
  std::filesystem::remove(path_);
  EXPECT_EQ(OpenRc(0, &t), 5401u);
}

TEST_F(TableApi, MalformedFieldDefinitionNamesTheField) {
  ADSHANDLE h = 0;
  EXPECT_EQ(AdsCreateTable90(0, U(path_.c_str()), nullptr, 3, 1, 1, 1, 0, U("A,Char,4;QTY,Integr;"), 0, nullptr, &h),
            5408u);
  UNSIGNED32 code = 0;
  UNSIGNED8 buf[601];
  UNSIGNED16 len = 600;
  AdsGetLastError(&code, buf, &len);
  EXPECT_NE(std::string(reinterpret_cast<char*>(buf), len).find("QTY"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(path_));
  EXPECT_EQ(AdsCreateTable90(0, U(path_.c_str()), nullptr, 9, 1, 1, 1, 0, U("A,Char,4;"), 0, nullptr, &h), 5903u);
}

}  // namespace
