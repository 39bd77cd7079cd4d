// Helpers for the editing and blob tests: reading what the engine holds for a field through its
// own handle (independent of the dataset under test), and checking a table's index tags against
// its records with aceadmin verify-index.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QByteArray>
#include <QDate>
#include <QString>
#include <cstdio>
#include <cstring>
#include <string>

#include "adsdata_test_dataset.h"
#include "runtime/data/db_dates.h"
#include "test_env.h"

namespace adsdata_test {

// The engine's option that removes trailing blanks from a text it returns.
constexpr UNSIGNED16 kRightTrim = 2;

// Opens table `name` of connection shared, as another user would.
inline ADSHANDLE OpenShared(ADSHANDLE connection, const char* name) {
  QByteArray n(name);
  ADSHANDLE h = 0;
  EXPECT_EQ(AdsOpenTable90(connection, A(n), nullptr, 3, 1, 1, 1, 0, nullptr, &h), 0u) << LastError();
  return h;
}

// Opens table `name` of connection exclusively (creating index tags needs that).
inline ADSHANDLE OpenExclusive(ADSHANDLE connection, const char* name) {
  QByteArray n(name);
  ADSHANDLE h = 0;
  EXPECT_EQ(AdsOpenTable90(connection, A(n), nullptr, 3, 1, 1, 1, 1, nullptr, &h), 0u) << LastError();
  return h;
}

// What the engine holds for one field of the current record of handle h.
class EngineField {
 public:
  EngineField(ADSHANDLE h, const char* name) : h_(h), name_(name) {}
  bool Empty() {
    UNSIGNED16 v = 0;
    EXPECT_EQ(AdsIsEmpty(h_, arg(), &v), 0u) << LastError();
    return v != 0;
  }
  double Double() {
    DOUBLE v = 0;
    EXPECT_EQ(AdsGetDouble(h_, arg(), &v), 0u) << name_.constData() << " " << LastError();
    return v;
  }
  int32_t Long() {
    SIGNED32 v = 0;
    EXPECT_EQ(AdsGetLong(h_, arg(), &v), 0u) << name_.constData() << " " << LastError();
    return v;
  }
  bool Logical() {
    UNSIGNED16 v = 0;
    EXPECT_EQ(AdsGetLogical(h_, arg(), &v), 0u) << LastError();
    return v != 0;
  }
  int32_t Julian() {
    SIGNED32 v = 0;
    EXPECT_EQ(AdsGetJulian(h_, arg(), &v), 0u) << name_.constData() << " " << LastError();
    return v;
  }
  int32_t Milliseconds() {
    SIGNED32 v = 0;
    EXPECT_EQ(AdsGetMilliseconds(h_, arg(), &v), 0u) << name_.constData() << " " << LastError();
    return v;
  }
  // The text without trailing blanks.
  QString Text() {
    QByteArray buf(4096, '\0');
    UNSIGNED32 len = static_cast<UNSIGNED32>(buf.size());
    EXPECT_EQ(AdsGetField(h_, arg(), reinterpret_cast<UNSIGNED8*>(buf.data()), &len, kRightTrim), 0u) << LastError();
    return FromAnsi(buf.left(static_cast<qsizetype>(len)));
  }
  QString Wide() {
    std::u16string buf(4096, u'\0');
    UNSIGNED32 len = static_cast<UNSIGNED32>(buf.size());
    EXPECT_EQ(AdsGetFieldW(h_, arg(), buf.data(), &len, kRightTrim), 0u) << LastError();
    return QString::fromUtf16(buf.data(), static_cast<qsizetype>(len));
  }
  // The content of a blob.
  QByteArray Blob() {
    UNSIGNED32 length = 0;
    EXPECT_EQ(AdsGetBinaryLength(h_, arg(), &length), 0u) << LastError();
    QByteArray buf(static_cast<qsizetype>(length), '\0');
    UNSIGNED32 got = length;
    if (length > 0) {
      EXPECT_EQ(AdsGetBinary(h_, arg(), 0, reinterpret_cast<UNSIGNED8*>(buf.data()), &got), 0u) << LastError();
    }
    return buf.left(static_cast<qsizetype>(got));
  }
  // The field's bytes in the record image (var fields: the used bytes).
  QByteArray Bytes() {
    UNSIGNED32 recordLength = 0, offset = 0, length = 0;
    UNSIGNED16 type = 0;
    EXPECT_EQ(AdsGetRecordLength(h_, &recordLength), 0u);
    EXPECT_EQ(AdsGetFieldOffset(h_, arg(), &offset), 0u);
    EXPECT_EQ(AdsGetFieldLength(h_, arg(), &length), 0u);
    EXPECT_EQ(AdsGetFieldType(h_, arg(), &type), 0u);
    QByteArray image(static_cast<qsizetype>(recordLength), '\0');
    UNSIGNED32 got = recordLength;
    EXPECT_EQ(AdsGetRecord(h_, reinterpret_cast<UNSIGNED8*>(image.data()), &got), 0u) << LastError();
    QByteArray bytes = image.mid(static_cast<qsizetype>(offset), static_cast<qsizetype>(length));
    if (type == 24) {
      uint16_t used = 0;
      std::memcpy(&used, image.constData() + offset + length, 2);
      bytes.truncate(used);
    }
    return bytes;
  }

 private:
  UNSIGNED8* arg() { return reinterpret_cast<UNSIGNED8*>(name_.data()); }
  ADSHANDLE h_;
  QByteArray name_;
};

// The engine's date and time values in the texts the framework's fields show.
inline QString JulianText(int32_t julian) { return QDate::fromJulianDay(julian).toString(QStringLiteral("yyyy-MM-dd")); }
inline QString MillisecondsText(int32_t ms) { return dbdates::TimeText(dbdates::MSecsOfDayToDateTime(ms)); }
inline QString TimeStampText(int32_t julian, int32_t ms) {
  constexpr int32_t kJulianOf18991230 = 2415019;
  return dbdates::DateTimeText(static_cast<double>(julian - kJulianOf18991230) + ms / dbdates::kMSecsPerDay);
}

// Whether record n is locked (by any open of the table).
inline bool RecordLocked(ADSHANDLE h, UNSIGNED32 n) {
  UNSIGNED16 locked = 0;
  EXPECT_EQ(AdsIsRecordLocked(h, n, &locked), 0u) << LastError();
  return locked != 0;
}

// Records the engine shows on h (deleted ones hidden).
inline uint32_t VisibleRecords(ADSHANDLE h) {
  UNSIGNED32 n = 0;
  EXPECT_EQ(AdsGetRecordCount(h, ADS_RESPECTFILTERS, &n), 0u) << LastError();
  return n;
}

// Runs aceadmin verify-index on table `name` of folder; its output when a tag disagrees.
inline void ExpectIndexesAgree(const std::string& folder, const std::string& name) {
  const std::string command = (testenv::BinDir() / "aceadmin").string() + " verify-index '" + folder + "' '" + name + "' 2>&1";
  FILE* p = popen(command.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string output;
  char buf[512];
  while (size_t n = fread(buf, 1, sizeof buf, p)) output.append(buf, n);
  const int status = pclose(p);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
}

}  // namespace adsdata_test
