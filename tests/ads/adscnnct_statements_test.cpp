// Running SQL through the connection component on the real engine: the statement cache, the
// steps of an execution as the engine call trace shows them, the rows a statement changed,
// parameters bound by data type and read back from the table, refused parameter types, and the
// provider's statements through a dataset.
#include <gtest/gtest.h>

#include <algorithm>

#include "adstable_dictionary.h"
#include "runtime/datetime.h"

using namespace adsdata_test;

namespace {

using Names = std::vector<std::string>;

std::string Message(const Exception& e) { return e.Message().toStdString(); }

long CountOf(const Names& names, const std::string& name) { return std::count(names.begin(), names.end(), name); }

// The dictionary of PeopleDictionary, traced from the start, with a connection component
// configured like the reindex tool's.
class ConnectionStatements : public PeopleDictionary {
 protected:
  void SetUp() override {
    PeopleDictionary::SetUp();
    if (HasFatalFailure()) return;
    Configure(con_);
  }

  Names NamesSince(size_t mark) const { return EngineTrace::Names(trace_.Since(mark)); }

  // The lines of the trace since mark that call entry point name.
  std::vector<std::string> CallsSince(size_t mark, const std::string& name) const {
    std::vector<std::string> calls;
    for (const std::string& line : trace_.Since(mark))
      if (line.rfind(name + "(", 0) == 0) calls.push_back(line);
    return calls;
  }

  testenv::TempDir traceDir_;
  EngineTrace trace_{(traceDir_.path() / "trace.txt").string()};
  TAdsConnection con_{nullptr};
};

}  // namespace

TEST_F(ConnectionStatements, ACachedTextIsPreparedOnceAndAgainInAnotherLetterCase) {
  const size_t mark = trace_.Mark();
  EXPECT_EQ(con_.Execute("update people set AGE = 1", nullptr, true, nullptr), 3) << "connects first";
  EXPECT_TRUE(con_.IsConnected());
  EXPECT_EQ(con_.Execute("update people set AGE = 1", nullptr, true, nullptr), 3);
  Names names = NamesSince(mark);
  EXPECT_EQ(CountOf(names, "AdsCreateSQLStatement"), 1);
  EXPECT_EQ(CountOf(names, "AdsPrepareSQLW"), 1);
  EXPECT_EQ(CountOf(names, "AdsExecuteSQLDirectW"), 2);
  EXPECT_EQ(CountOf(names, "AdsCloseSQLStatement"), 0) << "cached statements stay open";
  ASSERT_EQ(con_.CachedStatements().size(), 1u);
  EXPECT_EQ(con_.CachedStatements()[0]->SQLText, "update people set AGE = 1");
  EXPECT_NE(con_.CachedStatements()[0]->StmtHandle, 0u);

  EXPECT_EQ(con_.Execute("UPDATE people set AGE = 1", nullptr, true, nullptr), 3);
  names = NamesSince(mark);
  EXPECT_EQ(CountOf(names, "AdsPrepareSQLW"), 2) << "another letter case hashes differently";
  EXPECT_EQ(con_.CachedStatements().size(), 2u);

  con_.Disconnect();
  EXPECT_EQ(CountOf(NamesSince(mark), "AdsCloseSQLStatement"), 2) << "disconnecting closes the cache";
  EXPECT_TRUE(con_.CachedStatements().empty());
}

TEST_F(ConnectionStatements, AnUncachedStatementIsPreparedRunDirectlyCountedAndClosed) {
  con_.Connect();
  const size_t mark = trace_.Mark();
  EXPECT_EQ(con_.Execute("update people set AGE = 7 where NAME <> 'cy'", nullptr, false, nullptr), 2);
  EXPECT_EQ(NamesSince(mark), Names({"AdsCreateSQLStatement", "AdsPrepareSQLW", "AdsExecuteSQLDirectW",
                                     "AdsGetRecordCount", "AdsCloseSQLStatement"}));
  EXPECT_TRUE(con_.CachedStatements().empty());
  std::vector<std::string> counts = CallsSince(mark, "AdsGetRecordCount");
  ASSERT_EQ(counts.size(), 1u);
  EXPECT_NE(counts[0].find("usFilterOption=2"), std::string::npos) << counts[0];
}

TEST_F(ConnectionStatements, AStatementWithoutRowCountGivesZeroInTheFirstFormOnly) {
  con_.Connect();
  EXPECT_EQ(con_.Execute("create table scratch (N integer)", nullptr, false, nullptr), 0);
  TAdsDatasetOptions options;
  try {
    con_.Execute(options, "create table scratch2 (N integer)", nullptr, false, nullptr);
    FAIL() << "the second form checks every row-count code";
  } catch (const EADSDatabaseError& e) {
    EXPECT_EQ(e.ACEErrorCode(), 5117u) << Message(e);
  }
}

TEST_F(ConnectionStatements, AFailingStatementIsClosedAndNotCached) {
  con_.Connect();
  for (bool cache : {false, true}) {
    const size_t mark = trace_.Mark();
    try {
      con_.Execute("select nothing from nowhere", nullptr, cache, nullptr);
      FAIL() << "an unknown table must fail";
    } catch (const EADSDatabaseError& e) {
      EXPECT_NE(e.ACEErrorCode(), 0u);
    }
    const Names names = NamesSince(mark);
    EXPECT_EQ(CountOf(names, "AdsCreateSQLStatement"), CountOf(names, "AdsCloseSQLStatement")) << cache;
    EXPECT_TRUE(con_.CachedStatements().empty()) << "no entry without a live statement";
  }
}

TEST_F(ConnectionStatements, ACursorIsAskedForReadOnlyAndHandedToTheCaller) {
  con_.SetAdsCollation("GERMAN_VFP_CI_AS_1252");
  con_.Connect();
  const size_t mark = trace_.Mark();
  ADSHANDLE cursor = 0;
  EXPECT_EQ(con_.Execute("select NAME from people order by NAME", nullptr, true, &cursor), 0);
  EXPECT_EQ(NamesSince(mark), Names({"AdsCreateSQLStatement", "AdsStmtSetTableReadOnly", "AdsStmtSetTableCollation",
                                     "AdsPrepareSQLW", "AdsExecuteSQLDirectW"}));
  ASSERT_NE(cursor, 0u);
  UNSIGNED32 rows = 0;
  ASSERT_EQ(AdsGetRecordCount(cursor, 2, &rows), 0u) << LastError();
  EXPECT_EQ(rows, 3u);
  ASSERT_EQ(AdsGotoTop(cursor), 0u);
  UNSIGNED8 name[11] = {};
  UNSIGNED32 length = 10;
  QByteArray field("NAME");
  ASSERT_EQ(AdsGetField(cursor, A(field), name, &length, 3), 0u) << LastError();
  EXPECT_STREQ(reinterpret_cast<char*>(name), "ann");
}

TEST_F(ConnectionStatements, TheSecondFormSetsTheStatementsOpenSettings) {
  con_.Connect();
  TAdsDatasetOptions options;
  options.musAdsLockType = 0;
  options.musAdsCharType = 2;
  options.musAdsRightsCheck = 2;
  options.musAdsTableType = 3;
  options.mstrCollation = "GERMAN_VFP_CI_AS_1252";
  const size_t mark = trace_.Mark();
  EXPECT_EQ(con_.Execute(options, "update people set AGE = 2 where NAME = 'ann'", nullptr, false, nullptr), 1);
  EXPECT_EQ(NamesSince(mark),
            Names({"AdsCreateSQLStatement", "AdsStmtSetTableType", "AdsStmtSetTableCharType", "AdsStmtSetTableLockType",
                   "AdsStmtSetTableRights", "AdsStmtSetTableCollation", "AdsPrepareSQLW", "AdsExecuteSQLDirectW",
                   "AdsGetRecordCount", "AdsCloseSQLStatement"}));
  const std::vector<std::string> lines = trace_.Since(mark);
  EXPECT_NE(lines[2].find("usCharType=2"), std::string::npos) << lines[2];
  EXPECT_NE(lines[3].find("usLockType=0"), std::string::npos) << lines[3];
  EXPECT_NE(lines[4].find("usCheckRights=2"), std::string::npos) << lines[4];
}

namespace {

// A table with a field of each bindable kind, beside the dictionary and listed in it.
class ConnectionParameters : public ConnectionStatements {
 protected:
  void SetUp() override {
    ConnectionStatements::SetUp();
    if (HasFatalFailure()) return;
    con_.Connect();
    con_.Execute(
        "create table typed (D date, T time, TS timestamp, L logical, F double, S char(10), W nchar(5), "
        "B blob, I integer, C money)",
        nullptr, false, nullptr);
  }

  // The values of the first record of typed, read through the engine: dates as Julian days,
  // times (and the time of timestamps) as milliseconds, doubles with all their digits, the rest
  // as text.
  std::string Read(const char* field) {
    ADSHANDLE t = 0;
    QByteArray name("typed");
    EXPECT_EQ(AdsOpenTable90(con_.ConnectionHandle(), A(name), nullptr, 0, 1, 1, 1, 0, nullptr, &t), 0u)
        << LastError();
    EXPECT_EQ(AdsGotoTop(t), 0u);
    QByteArray f(field);
    UNSIGNED16 empty = 0;
    EXPECT_EQ(AdsIsEmpty(t, A(f), &empty), 0u) << LastError();
    std::string value;
    if (empty) {
      value = "<empty>";
    } else if (std::string(field) == "D") {
      SIGNED32 day = 0;
      EXPECT_EQ(AdsGetJulian(t, A(f), &day), 0u);
      value = std::to_string(day);
    } else if (std::string(field) == "T" || std::string(field) == "TS") {
      SIGNED32 ms = 0;
      EXPECT_EQ(AdsGetMilliseconds(t, A(f), &ms), 0u);
      value = std::to_string(ms);
    } else if (std::string(field) == "F") {
      DOUBLE d = 0;
      EXPECT_EQ(AdsGetDouble(t, A(f), &d), 0u);
      value = QString::number(d, 'g', 17).toStdString();
    } else {
      UNSIGNED8 text[100] = {};
      UNSIGNED32 length = 99;
      EXPECT_EQ(AdsGetField(t, A(f), text, &length, 3), 0u) << field << " " << LastError();
      value.assign(reinterpret_cast<char*>(text), length);
    }
    AdsCloseTable(t);
    return value;
  }
};

}  // namespace

TEST_F(ConnectionParameters, EachDataTypeBindsThroughItsSetterAndIsStored) {
  TParams params;
  auto add = [&](TFieldType type, const char* name) { return params.CreateParam(type, name, ptInput); };
  add(ftDate, "D")->SetAsDate(EncodeDate(1899, 12, 30));
  add(ftTime, "T")->SetAsTime(EncodeTime(12, 0, 0, 0));
  add(ftDateTime, "TS")->SetAsDateTime(EncodeDate(2024, 2, 29) + EncodeTime(13, 14, 15, 16));
  add(ftBoolean, "L")->SetAsBoolean(true);
  add(ftFloat, "F")->SetAsFloat(2.5);
  add(ftString, "S")->SetAsString("abc");
  add(ftWideString, "W")->SetAsWideString(QString::fromUtf8("\xce\xb1\xce\xb2"));
  add(ftBlob, "B")->SetAsBlob(QByteArray("\x01\x00\x02", 3));
  add(ftInteger, "I")->SetAsInteger(-42);
  add(ftCurrency, "C")->SetAsCurrency(1.25);
  const size_t mark = trace_.Mark();
  EXPECT_EQ(con_.Execute("insert into typed values (:D, :T, :TS, :L, :F, :S, :W, :B, :I, :C)", &params, false, nullptr),
            1);
  EXPECT_EQ(NamesSince(mark), Names({"AdsCreateSQLStatement", "AdsPrepareSQLW", "AdsSetJulian", "AdsSetMilliseconds",
                                     "AdsSetTimeStampRaw", "AdsSetLogical", "AdsSetDouble", "AdsSetString",
                                     "AdsSetStringW", "AdsSetBinary", "AdsSetString", "AdsSetDouble", "AdsExecuteSQL",
                                     "AdsGetRecordCount", "AdsCloseSQLStatement"}));
  const std::vector<std::string> lines = trace_.Since(mark);
  EXPECT_NE(lines[2].find("pucFldName=#1, lDate=2415019)"), std::string::npos) << lines[2];
  EXPECT_NE(lines[3].find("pucFldName=#2, lTime=43200000)"), std::string::npos) << lines[3];
  EXPECT_NE(lines[9].find("usBinaryType=6, ulTotalLength=3, ulOffset=0"), std::string::npos) << lines[9];

  EXPECT_EQ(Read("D"), "2415019");
  EXPECT_EQ(Read("T"), "43200000");
  EXPECT_EQ(Read("TS"), std::to_string(((13 * 60 + 14) * 60 + 15) * 1000 + 16));
  EXPECT_EQ(Read("L"), "T");
  EXPECT_EQ(Read("F"), "2.5");
  EXPECT_EQ(Read("S"), "abc");
  EXPECT_EQ(Read("I"), "-42");
  EXPECT_EQ(Read("C"), "1.2500");
}

TEST_F(ConnectionParameters, ANullValueIsBoundEmptyWhateverItsType) {
  TParams params;
  params.CreateParam(ftUnknown, "D", ptInput);
  params.CreateParam(ftString, "S", ptInput)->SetAsString("x");
  const size_t mark = trace_.Mark();
  EXPECT_EQ(con_.Execute("insert into typed (D, S) values (:D, :S)", &params, false, nullptr), 1);
  EXPECT_EQ(CallsSince(mark, "AdsSetEmpty").size(), 1u);
  EXPECT_EQ(Read("D"), "<empty>");
  EXPECT_EQ(Read("S"), "x");
}

TEST_F(ConnectionParameters, RefusedDataTypesNameTheParameterAndCloseTheStatement) {
  struct Case {
    TFieldType type;
    const char* message;
  } cases[] = {
      {ftUnknown, "The field named: 'P' has the DataType of ftUnknown, which is invalid."},
      {ftParadoxOle, "The field named: 'P' has a DataType that is not supported."},
      {ftDBaseOle, "The field named: 'P' has a DataType that is not supported."},
      {ftTypedBinary, "The field named: 'P' has a DataType that is not supported."},
      {ftCursor, "The field named: 'P' has a DataType that is not supported."},
      {ftADT, "The field named: 'P' has a DataType that is not supported."},
      {ftArray, "The field named: 'P' has a DataType that is not supported."},
      {ftReference, "The field named: 'P' has a DataType that is not supported."},
      {ftDataSet, "The field named: 'P' has a DataType that is not supported."},
  };
  for (const Case& c : cases) {
    TParams params;
    TParam* p = params.CreateParam(ftString, "P", ptInput);
    p->SetAsString("1");
    p->SetDataType(c.type);
    ASSERT_FALSE(p->IsNull());
    const size_t mark = trace_.Mark();
    try {
      con_.Execute("insert into typed (S) values (:P)", &params, false, nullptr);
      ADD_FAILURE() << FieldTypeName(c.type).toStdString() << " must be refused";
    } catch (const EADSDatabaseError& e) {
      EXPECT_EQ(Message(e), c.message) << FieldTypeName(c.type).toStdString();
      EXPECT_EQ(e.ACEErrorCode(), 5121u);
    }
    const Names names = NamesSince(mark);
    EXPECT_EQ(CountOf(names, "AdsExecuteSQL"), 0);
    EXPECT_EQ(CountOf(names, "AdsCloseSQLStatement"), 1);
  }
}

TEST_F(ConnectionParameters, TheApplicationIdTravelsAsAStringParameter) {
  const size_t mark = trace_.Mark();
  con_.SetApplicationID("reindex");
  const std::vector<std::string> lines = trace_.Since(mark);
  const Names names = EngineTrace::Names(lines);
  EXPECT_EQ(names, Names({"AdsCreateSQLStatement", "AdsPrepareSQLW", "AdsSetString", "AdsExecuteSQL",
                          "AdsGetRecordCount", "AdsCloseSQLStatement"}));
  EXPECT_NE(lines[1].find("sp_setapplicationid(:FAppID)"), std::string::npos) << lines[1];
  EXPECT_NE(lines[2].find("pucBuf=\"reindex\", ulLen=7"), std::string::npos) << lines[2];
  EXPECT_EQ(con_.GetApplicationID(), "reindex");

  const size_t again = trace_.Mark();
  con_.SetApplicationID("reindex");
  EXPECT_TRUE(trace_.Since(again).empty()) << "the same value sends nothing";

  con_.Disconnect();
  con_.SetApplicationID("nightly");
  EXPECT_EQ(con_.GetApplicationID(), "nightly") << "the stored value while disconnected";
  con_.Connect();
  EXPECT_EQ(con_.GetApplicationID(), "nightly") << "a stored value is sent on connect";
}

// ---- provider statements through a dataset ----

TEST_F(ConnectionStatements, ProviderStatementsRunCachedWithTheDatasetsSettings) {
  TAdsTable tb(nullptr);
  tb.SetAdsConnection(&con_);
  tb.AdsTableOptions().SetAdsLockType(Compatible);
  con_.Connect();
  const size_t mark = trace_.Mark();
  EXPECT_EQ(tb.PSExecuteStatement("update people set AGE = 5 where NAME = 'bob'", nullptr), 1);
  const std::vector<std::string> lines = trace_.Since(mark);
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(EngineTrace::Names(lines)[1], "AdsStmtSetTableType");
  EXPECT_NE(lines[3].find("usLockType=0"), std::string::npos) << lines[3];
  EXPECT_EQ(con_.CachedStatements().size(), 1u) << "provider statements are cached";

  std::unique_ptr<TDataSet> result;
  EXPECT_EQ(tb.PSExecuteStatement("select NAME, AGE from people where AGE = 5", nullptr, &result), 0);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(result->Owner(), nullptr);
  ASSERT_TRUE(result->Active()) << "the new query adopted the cursor";
  EXPECT_EQ(result->FieldByName("NAME")->AsString(), "bob");
  result->Next();
  EXPECT_TRUE(result->Eof());
}
