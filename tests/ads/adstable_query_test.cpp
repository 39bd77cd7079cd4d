// The query component on a real folder of tables: parameters bound by their data type (seen in
// the call trace and read back from the rows they wrote), statements without a result set
// opened as queries, ExecSQL on a SELECT, scripts and their comment lines, verification, the
// rows-affected count, and a statement the engine asks to be made again (7209).
#include <gtest/gtest.h>

#include <QFile>
#include <cmath>
#include <filesystem>
#include <functional>

#include "ads/adstable.h"
#include "adsdata_test_dataset.h"
#include "faulty_engine.h"
#include "runtime/data/data_source.h"
#include "test_env.h"

using namespace adsdata_test;

namespace {

std::string Message(const Exception& e) { return e.Message().toStdString(); }

// The lines of calls to entry point in lines.
std::vector<std::string> CallsOf(const std::vector<std::string>& lines, const std::string& entryPoint) {
  std::vector<std::string> calls;
  for (const std::string& l : lines)
    if (l.rfind(entryPoint + "(", 0) == 0) calls.push_back(l);
  return calls;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The value a traced call handed back through its out-parameter name ("name==>value").
std::string OutValue(const std::string& line, const std::string& name) {
  const std::string marker = name + "==>";
  const size_t at = line.find(marker);
  if (at == std::string::npos) return "?";
  const size_t start = at + marker.size();
  return line.substr(start, line.find_first_of(",)", start) - start);
}

// A folder with the table "cust" (ID, NAME) of three rows and an empty table "p" with a field
// of every kind the parameter setters write. Components reach it through a folder connection.
class AdsQueryOnFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    ace_binding::ResetForTesting();
    ADSHANDLE folder = ConnectFolder(dir_.str());
    ADSHANDLE cust = CreateTable(folder, "cust", "ID,Integer;NAME,Char,20;");
    for (const auto& [id, name] : {std::pair{1, "Ann"}, std::pair{2, "Bob"}, std::pair{3, "Cy"}}) {
      ASSERT_EQ(AdsAppendRecord(cust), 0u) << LastError();
      SetLong(cust, "ID", id);
      SetString(cust, "NAME", QString::fromLatin1(name));
      ASSERT_EQ(AdsWriteRecord(cust), 0u) << LastError();
    }
    ASSERT_EQ(AdsCloseTable(cust), 0u);
    ADSHANDLE p = CreateTable(folder, "p",
                              "S,Char,10;I,Integer;W,NChar,5;L,Logical;D,Double,3;C,Double,2;DT,Date;T,Time;"
                              "TS,TimeStamp;B,Binary;E,Char,4;");
    ASSERT_EQ(AdsCloseTable(p), 0u);
    ASSERT_EQ(AdsDisconnect(folder), 0u);
  }

  void Attach(TAdsConnection& con, TAdsQuery& q) {
    con.SetAdsServerTypes(AdsServerTypeBit(stADS_LOCAL));
    con.SetLoginPrompt(false);
    con.SetConnectPath(QString::fromStdString(dir_.str()));
    q.SetName("q");
    q.SetAdsConnection(&con);
  }

  // The rows of statement text, each field as text, read through a second query.
  std::vector<QStringList> Rows(TAdsConnection& con, const QString& text) {
    TAdsQuery reader(nullptr);
    reader.SetAdsConnection(&con);
    reader.SQL()->SetText(text);
    reader.Open();
    std::vector<QStringList> rows;
    for (reader.First(); !reader.Eof(); reader.Next()) {
      QStringList row;
      for (int i = 0; i < reader.FieldCount(); ++i) row << reader.Fields()[i]->AsString();
      rows.push_back(row);
    }
    reader.Close();
    reader.SetAdsConnection(nullptr);
    return rows;
  }

  testenv::TempDir dir_;
  testenv::TempDir traceDir_;
};

}  // namespace

TEST_F(AdsQueryOnFolder, ParametersAreBoundByTheirDataType) {
  EngineTrace trace((traceDir_.path() / "trace.txt").string());
  TAdsConnection con(nullptr);
  TAdsQuery q(nullptr);
  Attach(con, q);
  q.SQL()->SetText("insert into p values (:s, :i, :w, :l, :d, :c, :dt, :t, :ts, :b, :e)");
  ASSERT_EQ(q.ParamCount(), 11);
  const QByteArray bytes("\x00\x01\x02\x03\xff", 5);
  // 2024-01-01 01:02:03.004 as a date-time value (day 0 is 1899-12-30).
  const TDateTime stamp = 45292.0 + 3723004.0 / 86400000.0;
  q.ParamByName("s")->SetAsString(QString::fromUtf8("caf\u00e9"));
  q.ParamByName("i")->SetAsInteger(42);
  q.ParamByName("w")->SetAsWideString(QString::fromUtf8("\u00e9t\u00e9"));
  q.ParamByName("l")->SetAsBoolean(true);
  q.ParamByName("d")->SetAsFloat(2.125);
  q.ParamByName("c")->SetAsCurrency(7.25);
  q.ParamByName("dt")->SetAsDate(0.0);
  q.ParamByName("t")->SetAsTime(0.5);
  q.ParamByName("ts")->SetAsDateTime(stamp);
  q.ParamByName("b")->SetAsBlob(bytes);
  q.ParamByName("e")->SetAsString("x");
  q.ParamByName("e")->Clear();  // null: bound empty whatever its type
  const size_t mark = trace.Mark();
  q.ExecSQL();
  EXPECT_EQ(q.RowsAffected(), 1);
  const std::vector<std::string> lines = trace.Since(mark);

  struct Case {
    const char* entryPoint;
    const char* arguments;
  };
  const Case cases[] = {
      // ANSI text: the length counts the bytes of the converted text.
      {"AdsSetString", "pucFldName=#1, pucBuf=\"caf\xe9\", ulLen=4)"},
      {"AdsSetString", "pucFldName=#2, pucBuf=\"42\", ulLen=2)"},
      {"AdsSetStringW", "pucFldName=#3, pwcBuf=u\"\u00e9t\u00e9\", ulLen=3)"},
      {"AdsSetLogical", "pucFldName=#4, bValue=1)"},
      {"AdsSetDouble", "pucFldName=#5, dValue=2.125)"},
      {"AdsSetDouble", "pucFldName=#6, dValue=7.25)"},
      {"AdsSetJulian", "pucFldName=#7, lDate=2415019)"},
      {"AdsSetMilliseconds", "pucFldName=#8, lTime=43200000)"},
      {"AdsSetTimeStampRaw", "pucFldName=#9, pvBuf=<bytes 8>, ulLen=8)"},
      {"AdsSetBinary", "pucFldName=#10, usBinaryType=6, ulTotalLength=5, ulOffset=0, pucBuf=\"\\x00\\x01\\x02\\x03\xff\", ulLen=5)"},
      {"AdsSetEmpty", "pucFldName=#11)"},
  };
  for (const Case& c : cases) {
    bool seen = false;
    std::string calls;
    for (const std::string& l : CallsOf(lines, c.entryPoint)) {
      seen = seen || Contains(l, c.arguments);
      calls += "\n  " + l;
    }
    EXPECT_TRUE(seen) << c.entryPoint << "(..., " << c.arguments << " missing; calls:" << calls;
  }
  EXPECT_EQ(CallsOf(lines, "AdsSetString").size(), 2u) << "the null parameter makes no text call";

  // What the engine stored is what the parameters held.
  ADSHANDLE folder = ConnectFolder(dir_.str());
  QByteArray name("p");
  ADSHANDLE p = 0;
  ASSERT_EQ(AdsOpenTable90(folder, A(name), nullptr, 3, 1, 1, 1, 0, nullptr, &p), 0u) << LastError();
  ASSERT_EQ(AdsGotoTop(p), 0u);
  auto field = [](const char* f) { return reinterpret_cast<UNSIGNED8*>(const_cast<char*>(f)); };
  SIGNED32 julian = 0, ms = 0;
  EXPECT_EQ(AdsGetJulian(p, field("DT"), &julian), 0u);
  EXPECT_EQ(julian, 2415019);
  EXPECT_EQ(AdsGetMilliseconds(p, field("T"), &ms), 0u);
  EXPECT_EQ(ms, 43200000);
  EXPECT_EQ(AdsGetJulian(p, field("TS"), &julian), 0u);
  EXPECT_EQ(AdsGetMilliseconds(p, field("TS"), &ms), 0u);
  EXPECT_EQ(julian, 2460311) << "2024-01-01";
  EXPECT_EQ(ms, 3723004) << "01:02:03.004";
  UNSIGNED8 blob[16];
  UNSIGNED32 blen = sizeof blob;
  EXPECT_EQ(AdsGetBinary(p, field("B"), 0, blob, &blen), 0u) << LastError();
  EXPECT_EQ(QByteArray(reinterpret_cast<char*>(blob), static_cast<int>(blen)), bytes);
  UNSIGNED16 empty = 0;
  EXPECT_EQ(AdsIsEmpty(p, field("E"), &empty), 0u);
  EXPECT_EQ(empty, 1);
  AdsCloseTable(p);
  AdsDisconnect(folder);
  const std::vector<QStringList> rows = Rows(con, "select s, i, w, l, d, c from p");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0], QString::fromUtf8("caf\u00e9"));
  EXPECT_EQ(rows[0][1], "42");
  EXPECT_EQ(rows[0][2], QString::fromUtf8("\u00e9t\u00e9"));
  EXPECT_EQ(rows[0][3], "True");
  EXPECT_EQ(rows[0][4].toDouble(), 2.125);
  EXPECT_EQ(rows[0][5].toDouble(), 7.25);
  q.SetAdsConnection(nullptr);
}

TEST_F(AdsQueryOnFolder, ParameterTypesWithoutABindingOrRefusedStayAwayFromTheEngine) {
  EngineTrace trace((traceDir_.path() / "trace.txt").string());
  TAdsConnection con(nullptr);
  TAdsQuery q(nullptr);
  Attach(con, q);
  struct Case {
    TFieldType type;
    const char* message;  // empty: left unbound, no engine call for it
  };
  const Case cases[] = {
      {ftFixedWideChar, ""},
      {ftFMTBcd, ""},
      {ftGuid, ""},
      {ftUnknown, "q: The field named: 'v' has the DataType of ftUnknown, which is invalid."},
      {ftCursor, "q: The field named: 'v' has a DataType that is not supported."},
      {ftTypedBinary, "q: The field named: 'v' has a DataType that is not supported."},
  };
  for (const Case& c : cases) {
    q.SQL()->SetText("update cust set name = :v where id = 99");
    q.ParamByName("v")->SetAsString("12");
    q.ParamByName("v")->SetDataType(c.type);
    ASSERT_FALSE(q.ParamByName("v")->IsNull()) << c.type;
    const size_t mark = trace.Mark();
    try {
      q.ExecSQL();
      ADD_FAILURE() << c.type << ": executed";
    } catch (const EADSDatabaseError& e) {
      if (*c.message == '\0') {
        // Left unbound, the parameter reaches the engine without a value, and the engine says so.
        EXPECT_TRUE(Contains(Message(e), "NATIVEERROR = 2110;")) << c.type << ": " << Message(e);
        EXPECT_EQ(CallsOf(trace.Since(mark), "AdsExecuteSQL").size(), 1u) << c.type;
      } else {
        EXPECT_EQ(Message(e), c.message);
        EXPECT_EQ(e.ACEErrorCode(), 5121u);
        EXPECT_TRUE(CallsOf(trace.Since(mark), "AdsExecuteSQL").empty()) << c.type;
      }
    }
    for (const std::string& l : trace.Since(mark))
      EXPECT_FALSE(Contains(l, "pucFldName=#1")) << c.type << " bound: " << l;
  }
  // A null parameter is bound empty even when its type is unknown.
  q.SQL()->SetText("update cust set name = :u where id = 99");
  ASSERT_EQ(q.ParamByName("u")->DataType(), ftUnknown);
  const size_t mark = trace.Mark();
  q.ExecSQL();
  EXPECT_EQ(CallsOf(trace.Since(mark), "AdsSetEmpty").size(), 1u);
  q.SetAdsConnection(nullptr);
}

TEST_F(AdsQueryOnFolder, AStatementWithoutRowsOpenedAsQueryIsExecutedThenRefused) {
  TAdsConnection con(nullptr);
  TAdsQuery q(nullptr);
  Attach(con, q);
  q.SQL()->SetText("update cust set name = 'Zed' where id = 1");
  try {
    q.Open();
    FAIL() << "opened";
  } catch (const EADSDatabaseError& e) {
    EXPECT_EQ(Message(e),
              "q: The SQL statement did not generate a cursor handle.  Use TAdsQuery.ExecSQL to execute SQL "
              "statements that are not SELECT statements");
  }
  EXPECT_FALSE(q.Active());
  EXPECT_EQ(q.RowsAffected(), 1);
  EXPECT_EQ(Rows(con, "select name from cust where id = 1"), (std::vector<QStringList>{{"Zed"}}));
  q.SetAdsConnection(nullptr);
}

// Renaming a connection component renames it in the datasets that name it, open or closed:
// they stay open, attached, and in their place in the connection's list.
TEST_F(AdsQueryOnFolder, OpenDatasetsFollowARenameOfTheirConnection) {
  TComponent form(nullptr);
  form.SetName("fm");
  TAdsConnection con(&form);
  con.SetName("con");
  con.SetAdsServerTypes(AdsServerTypeBit(stADS_LOCAL));
  con.SetLoginPrompt(false);
  con.SetConnectPath(QString::fromStdString(dir_.str()));
  TAdsTable tb(&form);
  tb.SetName("tb");
  tb.SetDatabaseName("con");
  tb.SetTableName("cust");
  TAdsQuery q(&form);
  q.SetName("q");
  q.SetDatabaseName("fm.con");
  q.SQL()->SetText("select name from cust");
  TAdsQuery closed(&form);
  closed.SetName("closed");
  closed.SetDatabaseName("CON");
  closed.SQL()->SetText("select id from cust");
  ASSERT_EQ(con.DataSetCount(), 3);
  tb.Open();
  q.Open();
  q.Next();

  EXPECT_EQ(Raised([&] { con.SetName("main"); }), "");
  EXPECT_EQ(tb.DatabaseName(), "main");
  EXPECT_EQ(q.DatabaseName(), "fm.main");
  EXPECT_EQ(closed.DatabaseName(), "main");
  EXPECT_TRUE(tb.Active());
  EXPECT_TRUE(q.Active());
  EXPECT_EQ(q.FieldByName("NAME")->AsString(), "Bob");
  ASSERT_EQ(con.DataSetCount(), 3);
  EXPECT_EQ(con.GetDataSet(0), static_cast<AdsDataSetClient*>(&tb));
  EXPECT_EQ(con.GetDataSet(1), static_cast<AdsDataSetClient*>(&q));
  EXPECT_EQ(con.GetDataSet(2), static_cast<AdsDataSetClient*>(&closed));
  // Closed again, the new names lead to the same connection.
  closed.Open();
  EXPECT_EQ(closed.AdsConnection(), &con);
  con.Disconnect();
  EXPECT_FALSE(tb.Active());
  EXPECT_FALSE(q.Active());
  EXPECT_FALSE(closed.Active());
  tb.SetDatabaseName("main");
  EXPECT_EQ(tb.AdsConnection(), &con);
}

TEST_F(AdsQueryOnFolder, ExecSqlOnASelectClosesItsCursorAtOnce) {
  EngineTrace trace((traceDir_.path() / "trace.txt").string());
  TAdsConnection con(nullptr);
  TAdsQuery q(nullptr);
  Attach(con, q);
  q.SQL()->SetText("select * from cust");
  const size_t mark = trace.Mark();
  q.ExecSQL();
  EXPECT_FALSE(q.Active());
  const std::vector<std::string> lines = trace.Since(mark);
  const std::vector<std::string> executes = CallsOf(lines, "AdsExecuteSQL");
  ASSERT_EQ(executes.size(), 1u);
  const std::string cursor = OutValue(executes[0], "phCursor");
  ASSERT_NE(cursor, "0");
  bool closed = false;
  for (const std::string& l : CallsOf(lines, "AdsCloseTable"))
    closed = closed || (Contains(l, "(hTable=" + cursor + ")") && Contains(l, ") = 0"));
  EXPECT_TRUE(closed) << "cursor " << cursor << " not closed";
  // The query can still be opened on the same statement.
  q.Open();
  int n = 0;
  for (q.First(); !q.Eof(); q.Next()) ++n;
  EXPECT_EQ(n, 3);
  q.Close();
  q.SetAdsConnection(nullptr);
}

TEST_F(AdsQueryOnFolder, RowsAffectedCountsTheRowsOfTheLastExecution) {
  TAdsConnection con(nullptr);
  TAdsQuery q(nullptr);
  Attach(con, q);
  EXPECT_EQ(q.RowsAffected(), -1);
  struct Case {
    const char* sql;
    int rows;
  };
  const Case cases[] = {
      {"update cust set name = name where id >= 2", 2},
      {"update cust set name = name where id = 99", 0},
      {"delete from cust where id = 3", 1},
      {"insert into cust values (7, 'Gil')", 1},
  };
  for (const Case& c : cases) {
    q.SQL()->SetText(c.sql);
    q.ExecSQL();
    EXPECT_EQ(q.RowsAffected(), c.rows) << c.sql;
    q.Prepare();
    EXPECT_EQ(q.RowsAffected(), -1) << "Prepare resets the count";
  }
  q.SQL()->SetText("select * from cust");
  q.Open();
  EXPECT_EQ(q.RowsAffected(), -1) << "the engine counts no rows of a select (5117)";
  q.Close();
  q.SetAdsConnection(nullptr);
}

TEST_F(AdsQueryOnFolder, ScriptsSendCommentLinesEmptyAndRestoreTheirText) {
  EngineTrace trace((traceDir_.path() / "trace.txt").string());
  TAdsConnection con(nullptr);
  TAdsQuery q(nullptr);
  Attach(con, q);
  const QStringList script = {"  # renames the first customer", "[names]", "\tupdate cust set name = 'Q' where id = 1;  ",
                              "update cust set name = 'R' where id = 2"};
  q.SQL()->SetText(script.join("\r\n"));
  size_t mark = trace.Mark();
  q.ExecSQLScript();
  std::vector<std::string> prepares = CallsOf(trace.Since(mark), "AdsPrepareSQLW");
  ASSERT_EQ(prepares.size(), 1u);
  EXPECT_TRUE(Contains(prepares[0], "pwcSQL=u\"\\x0d\\x0a\\x0d\\x0aupdate cust set name = 'Q' where id = 1;\\x0d\\x0a"
                                    "update cust set name = 'R' where id = 2\\x0d\\x0a\""))
      << prepares[0];
  EXPECT_EQ(Rows(con, "select name from cust where id <= 2 order by id"), (std::vector<QStringList>{{"Q"}, {"R"}}));
  EXPECT_EQ(q.SQL()->Count(), 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(q.SQL()->Strings(i), script[i]) << "line " << i << " restored";

  // Verifying sends the lines trimmed, comment lines included.
  q.SQL()->SetText("  select * from cust  \r\n\twhere id = 1");
  mark = trace.Mark();
  q.VerifySQL();
  std::vector<std::string> verifies = CallsOf(trace.Since(mark), "AdsVerifySQLW");
  ASSERT_EQ(verifies.size(), 1u);
  EXPECT_TRUE(Contains(verifies[0], "u\"select * from cust\\x0d\\x0awhere id = 1\\x0d\\x0a\"")) << verifies[0];
  q.SQL()->SetText("# a comment line\r\nselect * from cust");
  mark = trace.Mark();
  try {
    q.VerifySQL();
    ADD_FAILURE() << "verify accepted a comment line";
  } catch (const EADSDatabaseError& e) {
    ADD_FAILURE() << "unwrapped: " << Message(e);
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(Message(e),
              "ERROR IN SCRIPT: q: Error 7200: SQL error. NATIVEERROR = 2100; Syntax error: unrecognized token: \"#\".");
  }
  EXPECT_EQ(q.SQL()->Text(), "# a comment line\r\nselect * from cust\r\n");
  verifies = CallsOf(trace.Since(mark), "AdsVerifySQLW");
  ASSERT_EQ(verifies.size(), 1u);
  EXPECT_TRUE(Contains(verifies[0], "u\"# a comment line\\x0d\\x0aselect * from cust\\x0d\\x0a\"")) << verifies[0];
  q.SetAdsConnection(nullptr);
}

TEST_F(AdsQueryOnFolder, ScriptAndVerifyFailuresNameTheScriptAndKeepTheText) {
  TAdsConnection con(nullptr);
  TAdsQuery q(nullptr);
  Attach(con, q);
  struct Case {
    const char* text;
    bool verify;
  };
  const Case cases[] = {
      {"# first\r\nupdate nosuchtable set a = 1", false},
      {"selec * from cust", true},
      {"select * from cust where", false},
  };
  for (const Case& c : cases) {
    q.SQL()->SetText(c.text);
    const QString before = q.SQL()->Text();
    try {
      if (c.verify)
        q.VerifySQL();
      else
        q.ExecSQLScript();
      ADD_FAILURE() << c.text << ": no failure";
    } catch (const EADSDatabaseError& e) {
      ADD_FAILURE() << c.text << ": the engine's error escaped unwrapped: " << Message(e);
    } catch (const EDatabaseError& e) {
      // The engine's own error, named by the query, after the script's prefix.
      EXPECT_EQ(Message(e).rfind("ERROR IN SCRIPT: q: Error 7200: SQL error. NATIVEERROR = ", 0), 0u) << Message(e);
    }
    EXPECT_EQ(q.SQL()->Text(), before) << c.text;
  }
  q.SetAdsConnection(nullptr);
}

TEST_F(AdsQueryOnFolder, ParamCheckLeavesScriptParametersWithoutValues) {
  TAdsConnection con(nullptr);
  TAdsQuery q(nullptr);
  Attach(con, q);
  q.SQL()->SetText("update cust set name = :n where id = 1");
  q.ParamByName("n")->SetAsString("Kim");
  // The script rebuilds the text line by line, so n is derived afresh and goes to the engine
  // without a value: the name becomes empty.
  q.ExecSQLScript();
  ASSERT_EQ(q.ParamCount(), 1);
  EXPECT_TRUE(q.ParamByName("n")->IsNull());
  EXPECT_EQ(Rows(con, "select name from cust where id = 1"), (std::vector<QStringList>{{""}}));
  q.SetAdsConnection(nullptr);
}

namespace {

// A master whose field reads run a hook once: the query reads its master between preparing
// and executing, which is where another user's change of a table lands in real life.
class HookedMaster : public TestAdsDataSet {
 public:
  using TestAdsDataSet::TestAdsDataSet;
  std::function<void()> onFirstRead;
  bool GetFieldData(TField* field, void* value) override {
    if (onFirstRead) {
      auto hook = std::move(onFirstRead);
      onFirstRead = nullptr;
      hook();
    }
    return TestAdsDataSet::GetFieldData(field, value);
  }
};

}  // namespace

TEST_F(AdsQueryOnFolder, AStatementTheEngineWantsRemadeIsClosedAndCreatedAgain) {
  EngineTrace trace((traceDir_.path() / "trace.txt").string());
  TAdsConnection con(nullptr);
  TAdsQuery q(nullptr);
  Attach(con, q);
  HookedMaster master(nullptr);
  master.SetAdsConnection(&con);
  master.SetTableName("cust");
  master.Open();
  TDataSource source(nullptr);
  source.SetDataSet(&master);
  q.SQL()->SetText("select * from p where i = :ID");
  q.SetDataSource(&source);
  // Between prepare and execute, "p" is made again with other fields.
  master.onFirstRead = [this] {
    ADSHANDLE folder = ConnectFolder(dir_.str());
    std::filesystem::remove(dir_.path() / "p.adt");
    std::filesystem::remove(dir_.path() / "p.adm");
    std::filesystem::remove(dir_.path() / "p.adi");
    ADSHANDLE p = CreateTable(folder, "p", "I,Integer;EXTRA,Char,3;");
    AdsCloseTable(p);
    AdsDisconnect(folder);
  };
  size_t mark = trace.Mark();
  try {
    q.Open();
    FAIL() << "opened on a changed table";
  } catch (const EADSDatabaseError& e) {
    EXPECT_TRUE(Contains(Message(e), "7209")) << Message(e);
  }
  std::vector<std::string> lines = trace.Since(mark);
  const std::vector<std::string> creates = CallsOf(lines, "AdsCreateSQLStatement");
  ASSERT_EQ(creates.size(), 1u);
  const std::string statement = OutValue(creates[0], "phStatement");
  std::vector<std::string> closes = CallsOf(lines, "AdsCloseSQLStatement");
  ASSERT_EQ(closes.size(), 1u) << "the failed statement is closed";
  EXPECT_TRUE(Contains(closes[0], "hStatement=" + statement + ")")) << closes[0];
  EXPECT_EQ(q.StmtHandle(), TAdsDataSet::kNoHandle);

  mark = trace.Mark();
  q.Open();
  EXPECT_EQ(CallsOf(trace.Since(mark), "AdsCreateSQLStatement").size(), 1u) << "a new statement";
  EXPECT_EQ(q.FieldCount(), 2);
  q.Close();
  q.SetDataSource(nullptr);
  master.Close();
  master.SetAdsConnection(nullptr);
  q.SetAdsConnection(nullptr);
}

TEST_F(AdsQueryOnFolder, AStatementThatCannotBeClosedAfter7209LeavesThe7209Failure) {
  FaultyEngine engine;
  TAdsConnection con(nullptr);
  TAdsQuery q(nullptr);
  Attach(con, q);
  q.SQL()->SetText("select * from cust");
  engine.Fail("AdsExecuteSQL", 7209);
  engine.Fail("AdsCloseSQLStatement", 5000);
  try {
    q.Open();
    FAIL() << "opened although the execution failed";
  } catch (const EADSDatabaseError& e) {
    EXPECT_TRUE(Contains(Message(e), "7209")) << Message(e);
    EXPECT_FALSE(Contains(Message(e), "5000")) << Message(e);
  }
  EXPECT_EQ(q.StmtHandle(), TAdsDataSet::kNoHandle) << "the statement is forgotten";
  engine.Heal("AdsExecuteSQL");
  engine.Heal("AdsCloseSQLStatement");
  q.Open();
  EXPECT_EQ(q.RecordCount(), 3);
  q.Close();
  q.SetAdsConnection(nullptr);
}

TEST_F(AdsQueryOnFolder, ANegativeSQLTimeoutIsKeptAndRefusedWhenAStatementGetsIt) {
  TAdsConnection con(nullptr);
  TAdsQuery q(nullptr);
  Attach(con, q);
  q.SQL()->SetText("select * from cust");
  q.SetSQLTimeout(-1);  // no statement yet: only stored
  EXPECT_EQ(q.SQLTimeout(), -1);
  EXPECT_THROW(q.Open(), ERangeError);
  EXPECT_FALSE(q.Active());

  q.SetSQLTimeout(30);
  q.Open();
  q.Close();
  ASSERT_NE(q.StmtHandle(), TAdsDataSet::kNoHandle);
  EXPECT_THROW(q.SetSQLTimeout(-5), ERangeError) << "a statement cannot take it";
  EXPECT_EQ(q.SQLTimeout(), -5);
  q.SetAdsConnection(nullptr);
}

TEST_F(AdsQueryOnFolder, AssigningTheTextItHoldsLeavesTheQueryAlone) {
  TAdsConnection con(nullptr);
  TAdsQuery q(nullptr);
  Attach(con, q);
  const struct {
    const char* held;
    const char* assigned;
  } cases[] = {
      {"select * from cust where id >= :ID", "select * from cust where id >= :ID"},
      {"select *\nfrom cust where id >= :ID", "select *\r\nfrom cust where id >= :ID\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.assigned);
    q.SetSQL(QString::fromLatin1(c.held));
    q.ParamByName("ID")->SetAsInteger(2);
    q.Open();
    q.SetSQL(QString::fromLatin1(c.assigned));
    EXPECT_TRUE(q.Active());
    EXPECT_TRUE(q.Prepared());
    EXPECT_EQ(q.ParamByName("ID")->AsInteger(), 2);
    EXPECT_EQ(q.RecordCount(), 2);
    q.SetSQL(QStringLiteral("select * from cust"));
    EXPECT_FALSE(q.Active()) << "another text closes it";
  }
  q.SetAdsConnection(nullptr);
}

TEST_F(AdsQueryOnFolder, ASequencedQueryNumbersRecordsAlongItsCursorsOrder) {
  // Record order Cy, Ann, Bob; the live cursor of ORDER BY NAME walks the tag on NAME.
  ADSHANDLE folder = ConnectFolder(dir_.str());
  ADSHANDLE t = CreateTable(folder, "ranked", "NAME,Char,10;");
  AppendNamedRows(t, "NAME", {"Cy", "Ann", "Bob"});
  QByteArray tag("BYNAME"), expr("NAME");
  ADSHANDLE order = 0;
  ASSERT_EQ(AdsCreateIndex90(t, nullptr, A(tag), A(expr), nullptr, nullptr, 0, 0, nullptr, &order), 0u) << LastError();
  ASSERT_EQ(AdsCloseTable(t), 0u);
  ASSERT_EQ(AdsDisconnect(folder), 0u);

  TAdsConnection con(nullptr);
  TAdsQuery q(nullptr);
  Attach(con, q);
  q.SetRequestLive(true);
  q.SetSequenced(true);
  q.SetSequencedLevel(slExact);
  q.SetSQL(QStringLiteral("select * from ranked order by name"));
  q.Open();
  QStringList seen;
  std::vector<int> numbers;
  for (q.First(); !q.Eof(); q.Next()) {
    seen << q.FieldByName("NAME")->AsString();
    numbers.push_back(q.RecNo());
  }
  EXPECT_EQ(seen, QStringList({"Ann", "Bob", "Cy"}));
  EXPECT_EQ(numbers, (std::vector<int>{1, 2, 3})) << "key positions, not the record numbers 2, 3, 1";
  q.Close();
  q.SetAdsConnection(nullptr);
}
