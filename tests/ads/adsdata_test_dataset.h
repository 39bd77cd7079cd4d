// A dataset for the dataset core's tests: its handle provider opens the free table named by
// its table name on the dataset's connection (a connection component or an implicit one), the
// way the table component does, and counts how often it was asked. Helpers create native
// tables and rows through the engine's C interface.
#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "ads/ace.h"
#include "ads/adsdata.h"
#include "runtime/text.h"

class TestAdsDataSet : public TAdsDataSet {
 public:
  explicit TestAdsDataSet(TComponent* owner) : TAdsDataSet(owner) {}
  ~TestAdsDataSet() override { CloseForDestruction(); }

  void SetTableName(const QString& name) override { mstrTableName = name; }
  void SetExclusive(bool v) { mbExclusive = v; }
  void SetReadOnly(bool v) { mbReadOnly = v; }
  bool Exclusive() const { return mbExclusive; }
  uint16_t AceTableType() const { return musAceTableType; }
  uint16_t OpenCharType() const { return musOpenCharType; }
  uint16_t RecBufSize() const { return musRecBufSize; }
  uint16_t BookmarkOfs() const { return musBookmarkOfs; }
  uint16_t RecInfoOfs() const { return musRecInfoOfs; }
  int BookmarkSize() const { return FBookmarkSize; }
  void SetActiveIndexType(TAdsIndexTypes t) { meActiveIndexType = t; }
  void SetIndexNameDirect(const QString& n) { mstrIndexName = n; }
  bool PathWarningGiven() const { return mbPathWarningGiven; }
  void SetPathWarningGiven(bool v) { mbPathWarningGiven = v; }
  using TAdsDataSet::ConvertFieldValue;
  using TAdsDataSet::CurrentRecordPosition;
  using TAdsDataSet::DescribeField;
  using TAdsDataSet::FetchRecord;
  using TAdsDataSet::IsFieldEmpty;
  using TAdsDataSet::MoveToFirst;
  using TAdsDataSet::AllocateRecordBuffer;
  using TAdsDataSet::ReleaseRecordBuffer;
  using TAdsDataSet::ApplyActiveIndex;
  using TAdsDataSet::OpenEngineCursor;
  using TAdsDataSet::BuildLocateFilter;
  using TAdsDataSet::FilteredScan;
  using TAdsDataSet::FilteredSeek;

  int acquired = 0;

 protected:
  uint32_t AcquireEngineHandle() override {
    ++acquired;
    const uint32_t connection = ConnectAndGetHandle();
    if (connection == 0 || connection == kNoHandle)
      RaiseComponentError(QStringLiteral("no connection for the test table"));
    QByteArray name = ToAnsi(mstrTableName);
    QByteArray collation = ToAnsi(AdsTableOptions().AdsCollation());
    const UNSIGNED32 options = (mbExclusive ? 1u : 0u) | (mbReadOnly ? 2u : 0u);
    ADSHANDLE table = 0;
    CheckAceResult(this, AdsOpenTable90(connection, reinterpret_cast<UNSIGNED8*>(name.data()), nullptr,
                                        musOpenTableType, static_cast<UNSIGNED16>(AdsTableOptions().AdsCharType() + 1),
                                        AdsTableOptions().AdsLockType() == Proprietary ? 1 : 0,
                                        AdsTableOptions().AdsRightsCheck() ? 1 : 2, options,
                                        collation.isEmpty() ? nullptr : reinterpret_cast<UNSIGNED8*>(collation.data()),
                                        &table));
    try {
      CheckAceResult(this, AdsGetTableType(table, &musAceTableType));
      SyncCharType(table);
    } catch (const Exception&) {
      AdsCloseTable(table);
      throw;
    }
    return table;
  }
};

namespace adsdata_test {

inline std::string LastError() {
  UNSIGNED32 code = 0;
  UNSIGNED8 text[601] = {};
  UNSIGNED16 len = 600;
  AdsGetLastError(&code, text, &len);
  return std::to_string(code) + " " + reinterpret_cast<char*>(text);
}

inline UNSIGNED8* A(QByteArray& b) { return reinterpret_cast<UNSIGNED8*>(b.data()); }

// The message of the exception call raises; empty when it raises nothing.
inline std::string Raised(const std::function<void()>& call) {
  try {
    call();
  } catch (const Exception& e) {
    return e.Message().toStdString();
  }
  return std::string();
}

// Connects to folder (a free-table connection) and returns the handle.
inline ADSHANDLE ConnectFolder(const std::string& folder) {
  QByteArray path = ToAnsi(QString::fromStdString(folder));
  ADSHANDLE h = 0;
  EXPECT_EQ(AdsConnect(A(path), &h), 0u) << LastError();
  return h;
}

// Creates native table `name` (".adt" added by the engine) in the folder of connection with
// the field definitions, and returns it open.
inline ADSHANDLE CreateTable(ADSHANDLE connection, const std::string& name, const std::string& fields,
                             UNSIGNED16 charType = 1) {
  QByteArray n(name.c_str());
  QByteArray f(fields.c_str());
  ADSHANDLE table = 0;
  EXPECT_EQ(AdsCreateTable90(connection, A(n), nullptr, 3, charType, 1, 1, 512, A(f), 0, nullptr, &table), 0u)
      << LastError();
  return table;
}

inline void SetString(ADSHANDLE table, const char* field, const QString& value) {
  QByteArray f(field);
  QByteArray v = ToAnsi(value);
  ASSERT_EQ(AdsSetString(table, A(f), A(v), static_cast<UNSIGNED32>(v.size())), 0u) << field << " " << LastError();
}

inline void SetLong(ADSHANDLE table, const char* field, int32_t value) {
  QByteArray f(field);
  ASSERT_EQ(AdsSetLong(table, A(f), value), 0u) << field << " " << LastError();
}

// Appends a row whose field N (a string field) holds value for each value.
inline void AppendNamedRows(ADSHANDLE table, const char* field, std::initializer_list<const char*> values) {
  for (const char* v : values) {
    ASSERT_EQ(AdsAppendRecord(table), 0u) << LastError();
    SetString(table, field, QString::fromLatin1(v));
    ASSERT_EQ(AdsWriteRecord(table), 0u) << LastError();
  }
}

}  // namespace adsdata_test

namespace adsdata_test {

// Traces every engine call of the test into a file from construction on (the engine library
// is loaded anew, so create it before any handle the test uses). Lines() reads what was traced
// so far; names are the entry points of those lines.
class EngineTrace {
 public:
  explicit EngineTrace(const std::string& file) : file_(file) {
    setenv("ACE_TRACE", file_.c_str(), 1);
    ace_binding::ResetForTesting();
  }
  ~EngineTrace() {
    unsetenv("ACE_TRACE");
    ace_binding::ResetForTesting();
  }
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    std::ifstream in(file_);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  size_t Mark() const { return Lines().size(); }
  // The lines traced since mark.
  std::vector<std::string> Since(size_t mark) const {
    std::vector<std::string> all = Lines();
    return std::vector<std::string>(all.begin() + static_cast<long>(std::min(mark, all.size())), all.end());
  }
  // The lines of calls to entryPoint among lines.
  static std::vector<std::string> CallsOf(const std::vector<std::string>& lines, const std::string& entryPoint) {
    std::vector<std::string> calls;
    for (const std::string& l : lines)
      if (l.rfind(entryPoint + "(", 0) == 0) calls.push_back(l);
    return calls;
  }
  static std::vector<std::string> Names(const std::vector<std::string>& lines) {
    std::vector<std::string> names;
    for (const std::string& l : lines) names.push_back(l.substr(0, l.find('(')));
    return names;
  }

 private:
  std::string file_;
};

}  // namespace adsdata_test
