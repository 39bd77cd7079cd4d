// The table component on a real data dictionary: the reindex run's road (exclusive open by
// dictionary name, AdsReindex, close) with its engine calls, a table held open by another
// process, the open-dataset refusal after a failure between open and close, the retry as a
// free table, the table-type setter and the file questions.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QString>
#include <filesystem>
#include <fstream>

#include "ads/ace.h"
#include "ads/adscnnct.h"
#include "ads/ads_errors.h"
#include "ads/adstable.h"
#include "adsdata_test_dataset.h"
#include "runtime/exception.h"
#include "runtime/text.h"
#include "test_env.h"

namespace {

using adsdata_test::A;
using adsdata_test::AppendNamedRows;
using adsdata_test::EngineTrace;
using adsdata_test::LastError;

std::string Message(const Exception& e) { return e.Message().toStdString(); }

class AdsTableOnDictionary : public ::testing::Test {
 protected:
  void SetUp() override {
    dictionary_ = (dir_.path() / "DB.add").string();
    QByteArray path = ToAnsi(QString::fromStdString(dictionary_));
    ADSHANDLE dict = 0;
    ASSERT_EQ(AdsDDCreate(A(path), 0, nullptr, &dict), 0u) << LastError();
    for (const char* name : {"vessels", "crew"}) {
      QByteArray n(name);
      QByteArray fields("NAME,Char,20;NO,Integer;");
      ADSHANDLE table = 0;
      ASSERT_EQ(AdsCreateTable90(dict, A(n), nullptr, 3, 1, 1, 1, 512, A(fields), 0, nullptr, &table), 0u)
          << LastError();
      AppendNamedRows(table, "NAME", {"Aurora", "Boreas", "Cygnus"});
      ASSERT_EQ(AdsCloseTable(table), 0u);
    }
    ASSERT_EQ(AdsDisconnect(dict), 0u);

    con_.SetName("con");
    con_.SetAdsServerTypes(AdsServerTypeBit(stADS_REMOTE) | AdsServerTypeBit(stADS_LOCAL));
    con_.SetLoginPrompt(false);
    con_.SetUsername("adssys");
    con_.SetStoreConnected(false);
    tb_.SetName("tb");
    tb_.SetAdsConnection(&con_);
    tb_.SetStoreActive(false);
    con_.SetConnectPath(QString::fromStdString(dictionary_));
    con_.Connect();
  }
  void TearDown() override {
    tb_.Close();
    con_.Disconnect();
  }

  testenv::TempDir dir_;
  EngineTrace trace_{(dir_.path() / "trace.txt").string()};
  std::string dictionary_;
  TComponent form_{nullptr};
  TAdsConnection con_{&form_};
  TAdsTable tb_{&form_};
};

TEST_F(AdsTableOnDictionary, TheReindexRoadOpensByDictionaryNameWithTypeZeroAndOptionsOne) {
  for (const char* name : {"vessels", "crew"}) {
    SCOPED_TRACE(name);
    const size_t mark = trace_.Mark();
    tb_.SetExclusive(true);
    tb_.SetTableName(name);
    tb_.Open();
    ASSERT_TRUE(tb_.Active());
    EXPECT_EQ(tb_.RecordCount(), 3);
    tb_.AdsReindex();
    EXPECT_TRUE(std::filesystem::exists(dir_.path() / (std::string(name) + ".adi")));
    EXPECT_EQ(tb_.FieldByName("NAME")->AsString(), QStringLiteral("Aurora")) << "back on the first record";
    tb_.Close();

    const std::vector<std::string> lines = trace_.Since(mark);
    auto open = std::find_if(lines.begin(), lines.end(),
                             [](const std::string& l) { return l.rfind("AdsOpenTable90(", 0) == 0; });
    ASSERT_NE(open, lines.end());
    // Connection, the dictionary's name unchanged, no alias, type 0, ..., options 1.
    EXPECT_NE(open->find(std::string("\"") + name + "\""), std::string::npos) << *open;
    EXPECT_EQ(open->find(dictionary_), std::string::npos) << "no path on a dictionary connection: " << *open;
    const std::vector<std::string> names = EngineTrace::Names(lines);
    EXPECT_NE(std::find(names.begin(), names.end(), "AdsReindex61"), names.end());
    EXPECT_EQ(names.back(), "AdsCloseTable");
  }
  // The open call's arguments: table type 0 (the dictionary decides), options 1 (exclusive).
  int opens = 0;
  for (const std::string& l : trace_.Lines()) {
    if (l.rfind("AdsOpenTable90(", 0) != 0) continue;
    ++opens;
    EXPECT_NE(l.find("usTableType=0,"), std::string::npos) << l;
    EXPECT_NE(l.find("ulOptions=1,"), std::string::npos) << l;
  }
  EXPECT_EQ(opens, 2);
}

TEST_F(AdsTableOnDictionary, AnotherProcessHoldingTheTableRefusesTheExclusiveOpen) {
  int ready[2];
  int release[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(release), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    QByteArray path = ToAnsi(QString::fromStdString(dictionary_));
    QByteArray user("adssys");
    QByteArray name("crew");
    ADSHANDLE c = 0;
    ADSHANDLE t = 0;
    char ok = (AdsConnect60(A(path), 3, A(user), nullptr, 0, &c) == 0 &&
               AdsOpenTable90(c, A(name), nullptr, 0, 1, 1, 1, 0, nullptr, &t) == 0)
                  ? 'y'
                  : 'n';
    (void)!write(ready[1], &ok, 1);
    char buf;
    (void)!read(release[0], &buf, 1);
    _exit(0);
  }
  char ok = 0;
  ASSERT_EQ(read(ready[0], &ok, 1), 1);
  ASSERT_EQ(ok, 'y');

  tb_.SetExclusive(true);
  tb_.SetTableName("crew");
  try {
    tb_.Open();
    ADD_FAILURE() << "the exclusive open went through";
  } catch (const EADSDatabaseError& e) {
    EXPECT_EQ(Message(e).rfind("tb: ", 0), 0u) << Message(e);
    EXPECT_NE(e.ACEErrorCode(), 0u);
  }
  EXPECT_FALSE(tb_.Active());
  // The other tables stay reachable.
  tb_.SetTableName("vessels");
  tb_.Open();
  EXPECT_TRUE(tb_.Active());
  tb_.Close();

  (void)!write(release[1], "x", 1);
  int status = 0;
  waitpid(child, &status, 0);
  close(ready[0]); close(ready[1]); close(release[0]); close(release[1]);
  // Once the other process is gone the exclusive open succeeds.
  tb_.SetTableName("crew");
  tb_.Open();
  EXPECT_TRUE(tb_.Active());
}

TEST_F(AdsTableOnDictionary, AFailureBetweenOpenAndCloseLeavesTheTableOpenAndRefusesTheNextSetting) {
  tb_.SetExclusive(false);  // a shared open: the rebuild refuses it
  tb_.SetTableName("vessels");
  tb_.Open();
  EXPECT_THROW(tb_.AdsReindex(), EADSDatabaseError);
  EXPECT_TRUE(tb_.Active());
  for (int i = 0; i < 2; ++i) {
    try {
      tb_.SetExclusive(true);
      ADD_FAILURE() << "Exclusive changed on an open table";
    } catch (const EDatabaseError& e) {
      EXPECT_EQ(Message(e), "tb: Cannot perform this operation on an open dataset");
    }
  }
  try {
    tb_.SetTableName("crew");
    ADD_FAILURE() << "TableName changed on an open table";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(Message(e), "tb: Cannot perform this operation on an open dataset");
  }
  // The connection's disconnect closes the table again.
  con_.Disconnect();
  EXPECT_FALSE(tb_.Active());
  tb_.SetExclusive(true);
}

TEST_F(AdsTableOnDictionary, ATableTheDictionaryDoesNotListOpensAsAFreeTableOnce) {
  // A free table beside the dictionary.
  ADSHANDLE folder = adsdata_test::ConnectFolder(dir_.path().string());
  ADSHANDLE free = adsdata_test::CreateTable(folder, "loose", "NAME,Char,8;");
  AppendNamedRows(free, "NAME", {"x"});
  ASSERT_EQ(AdsCloseTable(free), 0u);
  ASSERT_EQ(AdsDisconnect(folder), 0u);

  const size_t mark = trace_.Mark();
  tb_.SetTableName("loose");
  tb_.Open();
  EXPECT_EQ(tb_.RecordCount(), 1);
  tb_.Close();
  int opens = 0;
  for (const std::string& n : EngineTrace::Names(trace_.Since(mark))) opens += n == "AdsOpenTable90";
  EXPECT_EQ(opens, 2) << "one refused dictionary open, one free-table open";

  tb_.SetTableName("absent");
  EXPECT_THROW(tb_.Open(), EADSDatabaseError);
  EXPECT_FALSE(tb_.Active());
}

TEST_F(AdsTableOnDictionary, MissingSettingsAndTheFileQuestions) {
  TAdsTable bare(&form_);
  bare.SetName("bare");
  try {
    bare.Open();
    ADD_FAILURE();
  } catch (const EADSDatabaseError& e) {
    EXPECT_NE(Message(e).find("Missing TableName property"), std::string::npos) << Message(e);
  }
  bare.SetTableName("vessels");
  try {
    bare.Open();
    ADD_FAILURE();
  } catch (const EADSDatabaseError& e) {
    EXPECT_NE(Message(e).find("One of the DatabaseName property or the AdsConnection property must have a value."),
              std::string::npos)
        << Message(e);
  }

  bare.SetDatabaseName(QString::fromStdString(dir_.path().string()));
  EXPECT_TRUE(bare.TablePathWithExtension().endsWith("\\vessels.adt")) << bare.TablePathWithExtension().toStdString();
  EXPECT_TRUE(bare.Exists());
  bare.SetTableType(ttAdsCDX);
  EXPECT_TRUE(bare.TablePathWithExtension().endsWith("\\vessels.dbf"));
  EXPECT_FALSE(bare.Exists());
  bare.SetTableName("vessels.adt");
  EXPECT_TRUE(bare.Exists()) << "a name with an extension is taken as it is";
  bare.SetTableType(ttAdsADT);
  bare.SetTableName("");
  EXPECT_FALSE(bare.Exists());
}

}  // namespace
