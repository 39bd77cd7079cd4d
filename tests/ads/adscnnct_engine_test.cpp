// The connection component on the real engine: connecting to a dictionary and to a folder, by
// path and by alias, events and attached datasets in order, frozen properties, adopting a
// handle, destruction while connected, refused logins, and the trace of a connect.
#include <gtest/gtest.h>

#include <QFile>
#include <filesystem>
#include <fstream>

#include "ads/ace.h"
#include "ads/adscnnct.h"
#include "fake_dataset.h"
#include "platform/shell_folders.h"
#include "runtime/text.h"
#include "test_env.h"

namespace {

std::string Message(const Exception& e) { return e.Message().toStdString(); }

// A temporary installation folder with one data dictionary "DB.add".
class EngineConnection : public ::testing::Test {
 protected:
  void SetUp() override {
    ace_binding::ResetForTesting();
    dictionary_ = (dir_.path() / "DB.add").string();
    QByteArray path = ToAnsi(QString::fromStdString(dictionary_));
    ADSHANDLE h = 0;
    ASSERT_EQ(AdsDDCreate(reinterpret_cast<UNSIGNED8*>(path.data()), 0, nullptr, &h), 0u) << LastError();
    ASSERT_EQ(AdsDisconnect(h), 0u);
  }

  static std::string LastError() {
    UNSIGNED32 code = 0;
    UNSIGNED8 text[601] = {};
    UNSIGNED16 len = 600;
    AdsGetLastError(&code, text, &len);
    return std::to_string(code) + " " + reinterpret_cast<char*>(text);
  }

  static void ConfigureLikeTheTool(TAdsConnection& con) {
    con.SetAdsServerTypes(AdsServerTypeBit(stADS_REMOTE) | AdsServerTypeBit(stADS_LOCAL));
    con.SetLoginPrompt(false);
    con.SetUsername("adssys");
    con.SetStoreConnected(false);
  }

  testenv::TempDir dir_;
  std::string dictionary_;
};

}  // namespace

TEST_F(EngineConnection, ConnectAndDisconnectRunEventsAndDatasetStepsInOrder) {
  TComponent form(nullptr);
  QStringList log;
  TAdsConnection con(&form);
  con.SetName("con");
  ConfigureLikeTheTool(con);
  RecordingDataSet q(&form, &log), tb(&form, &log);
  q.SetName("q");
  tb.SetName("tb");
  q.Attach(&con);
  tb.Attach(&con);
  for (const char* e : {"BeforeConnect", "AfterConnect", "OnConnect", "BeforeDisconnect", "AfterDisconnect",
                        "OnDisconnect"}) {
    TConnectionNotifyEvent handler = [&log, e](TComponent* sender) {
      log << QString("con:%1 %2").arg(e, sender->Name());
    };
    if (QString(e) == "BeforeConnect") con.BeforeConnect = handler;
    if (QString(e) == "AfterConnect") con.AfterConnect = handler;
    if (QString(e) == "OnConnect") con.OnConnect = handler;
    if (QString(e) == "BeforeDisconnect") con.BeforeDisconnect = handler;
    if (QString(e) == "AfterDisconnect") con.AfterDisconnect = handler;
    if (QString(e) == "OnDisconnect") con.OnDisconnect = handler;
  }
  con.SetConnectPath(QString::fromStdString(dictionary_));
  con.Connect();
  ASSERT_TRUE(con.IsConnected());
  EXPECT_NE(con.ConnectionHandle(), 0u);
  EXPECT_TRUE(con.IsDictionaryConn());
  con.Connect();  // a second connect does nothing
  EXPECT_EQ(log, QStringList({"con:BeforeConnect con", "q:UpdateDefaultIndex", "tb:UpdateDefaultIndex",
                              "con:AfterConnect con", "con:OnConnect con"}));
  log.clear();
  const uint32_t handle = con.Handle();
  con.Disconnect();
  con.Disconnect();
  EXPECT_EQ(log, QStringList({"con:BeforeDisconnect con", "q:Close", "q:InvalidateAceHandles", "tb:Close",
                              "tb:InvalidateAceHandles", "con:AfterDisconnect con", "con:OnDisconnect con"}));
  EXPECT_FALSE(con.IsConnected());
  EXPECT_EQ(con.ConnectionHandle(), 0u);
  UNSIGNED16 type = 0;
  EXPECT_NE(AdsGetConnectionType(handle, &type), 0u) << "the engine connection is gone";
}

TEST_F(EngineConnection, AFolderOfFreeTablesIsNotADictionaryConnection) {
  QStringList log;
  TAdsConnection con(nullptr);
  RecordingDataSet ds(nullptr, &log);
  ds.SetName("ds");
  ds.Attach(&con);
  con.SetConnectPath(QString::fromStdString(dir_.str()));
  con.SetUsername("ignored");
  con.Connect();
  EXPECT_TRUE(con.IsConnected());
  EXPECT_FALSE(con.IsDictionaryConn());
  EXPECT_TRUE(log.isEmpty()) << "no default index refresh for free tables";
  ds.Attach(nullptr);
}

TEST_F(EngineConnection, FrozenPropertiesRaiseAndStayUnchangedWhileConnected) {
  TAdsConnection con(nullptr);
  ConfigureLikeTheTool(con);
  con.SetConnectPath(QString::fromStdString(dictionary_));
  con.Connect();
  struct Case {
    const char* expected;
    std::function<void()> change;
  } cases[] = {
      {"The TAdsConnection.ConnectPath may not be changed when IsConnected is TRUE",
       [&] { con.SetConnectPath("C:\\elsewhere\\x.add"); }},
      {"The TAdsConnection.AliasName may not be changed when IsConnected is TRUE", [&] { con.SetAliasName("a"); }},
      {"The TAdsConnection.ExtraConnectString may not be changed when IsConnected is TRUE",
       [&] { con.SetExtraConnectString("X=1;"); }},
      {"Connection cannot be active when changing property.", [&] { con.EncryptionOptions().SetFIPSMode(true); }},
      {"Connection cannot be active when changing property.",
       [&] { con.EncryptionOptions().SetDataDictionaryPassword("x"); }},
  };
  for (const Case& c : cases) {
    try {
      c.change();
      ADD_FAILURE() << "no refusal for: " << c.expected;
    } catch (const AdsConnectionError& e) {
      EXPECT_EQ(Message(e), c.expected);
    }
  }
  EXPECT_EQ(con.ConnectPath().toStdString(), dictionary_);
  EXPECT_EQ(con.AliasName(), "");
  EXPECT_EQ(con.ExtraConnectString(), "");
  EXPECT_FALSE(con.EncryptionOptions().FIPSMode());
}

TEST_F(EngineConnection, AWrongPasswordIsRefusedWithTheEnginesText) {
  TAdsConnection con(nullptr);
  ConfigureLikeTheTool(con);
  con.SetUsername("nobody");
  con.SetPassword("wrong");
  con.SetConnectPath(QString::fromStdString(dictionary_));
  try {
    con.Connect();
    FAIL() << "connected with an unknown user";
  } catch (const EADSDatabaseError& e) {
    EXPECT_NE(e.ACEErrorCode(), 0u);
    EXPECT_EQ(e.DataSetInstanceName(), "");
    EXPECT_FALSE(e.Message().isEmpty());
  }
  EXPECT_FALSE(con.IsConnected());
  EXPECT_EQ(con.Handle(), 0u);
}

TEST_F(EngineConnection, SetHandleAdoptsTheSettingsOfAnExistingConnection) {
  QByteArray cs = ToAnsi(QString("Data Source=%1;User ID=adssys;ServerType=LOCAL;").arg(dictionary_.c_str()));
  ADSHANDLE h = 0;
  ASSERT_EQ(AdsConnect101(reinterpret_cast<UNSIGNED8*>(cs.data()), nullptr, &h), 0u) << LastError();
  {
    auto shared = TAdsConnection::CreateWithHandle(nullptr, h);
    EXPECT_TRUE(shared->IsConnected());
    EXPECT_EQ(shared->ConnectionHandle(), h);
    EXPECT_EQ(shared->ConnectPath().toStdString(), dictionary_);
    EXPECT_EQ(shared->Username(), "adssys");
    EXPECT_TRUE(shared->AdsServerTypes() & AdsServerTypeBit(stADS_LOCAL));
    try {
      shared->SetHandle(h, true);
      ADD_FAILURE() << "adopted a second handle";
    } catch (const AdsConnectionError& e) {
      EXPECT_EQ(Message(e), "TAdsConnection already has a working connection");
    }
    shared->Disconnect();
  }
  UNSIGNED16 type = 0;
  EXPECT_EQ(AdsGetConnectionType(h, &type), 0u) << "a shared handle is never disconnected by the component";
  {
    auto own = TAdsConnection::CreateFromHandle(nullptr, h, "copy");
    EXPECT_TRUE(own->IsConnected());
    EXPECT_NE(own->ConnectionHandle(), h) << "a connection of its own with the adopted settings";
    EXPECT_EQ(own->Name(), "copy");
    EXPECT_FALSE(own->LoginPrompt());
  }
  EXPECT_EQ(AdsDisconnect(h), 0u);
  TAdsConnection con(nullptr);
  try {
    con.SetHandle(h, true);
    FAIL() << "adopted a stale handle";
  } catch (const AdsConnectionError& e) {
    EXPECT_EQ(Message(e), "TAdsConnection cannot resolve the connection path from the given connection handle.");
  }
}

TEST_F(EngineConnection, DestroyingAConnectedComponentClosesAndForgetsItsDatasets) {
  QStringList log;
  RecordingDataSet ds(nullptr, &log);
  ds.SetName("ds");
  uint32_t handle = 0;
  QStringList events;
  {
    TAdsConnection con(nullptr);
    ConfigureLikeTheTool(con);
    con.SetConnectPath(QString::fromStdString(dictionary_));
    ds.Attach(&con);
    con.Connect();
    handle = con.Handle();
    con.BeforeDisconnect = [&](TComponent*) { events << "BeforeDisconnect"; };
    con.OnDisconnect = [&](TComponent*) { events << "OnDisconnect"; };
    log.clear();
  }
  EXPECT_EQ(log, QStringList({"ds:Close", "ds:InvalidateAceHandles", "ds:Detach"}));
  EXPECT_EQ(events, QStringList({"OnDisconnect"})) << "destruction runs no before/after disconnect events";
  EXPECT_EQ(ds.AdsConnection(), nullptr);
  UNSIGNED16 type = 0;
  EXPECT_NE(AdsGetConnectionType(handle, &type), 0u);
}

TEST_F(EngineConnection, AliasesAreFoundBesideTheExecutable) {
  testenv::TempDir exeDir;
  {
    std::ofstream ini(exeDir.path() / "ads.ini");
    ini << "[Databases]\r\nmain=" << dictionary_ << "\r\nfree=" << dir_.str() << ";ADT\r\n";
  }
  unsetenv("adsini_path");
  platform::SetExecutableFolderOverride(exeDir.str());
  TAdsConnection con(nullptr);
  ConfigureLikeTheTool(con);
  con.SetAliasName("main");
  EXPECT_TRUE(con.IsDictionaryConn());
  con.Connect();
  EXPECT_TRUE(con.IsConnected());
  con.Disconnect();
  con.SetAliasName("free");
  con.Connect();
  EXPECT_FALSE(con.IsDictionaryConn());
  EXPECT_TRUE(con.ConnectString().contains("TableType=ADT;"));
  con.Disconnect();
  platform::SetExecutableFolderOverride("");
}

TEST_F(EngineConnection, TheTraceShowsTheCallsOfAConnectAndADisconnect) {
  const std::string trace = (dir_.path() / "trace.txt").string();
  setenv("ACE_TRACE", trace.c_str(), 1);
  ace_binding::ResetForTesting();
  {
    TAdsConnection con(nullptr);
    ConfigureLikeTheTool(con);
    con.SetConnectPath(QString::fromStdString(dictionary_));
    con.Connect();
    con.Disconnect();
  }
  unsetenv("ACE_TRACE");
  ace_binding::ResetForTesting();
  std::ifstream in(trace);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].rfind("AdsConnect101(pucConnectString=\"Data Source=" , 0), 0u) << lines[0];
  EXPECT_NE(lines[0].find("User ID=adssys;FIPS=False;ServerType=LOCAL|REMOTE;\""), std::string::npos) << lines[0];
  EXPECT_NE(lines[0].find(") = 0"), std::string::npos);
  EXPECT_EQ(lines[1].rfind("AdsDisconnect(hConnect=", 0), 0u) << lines[1];
}

TEST_F(EngineConnection, LoginPromptAsksOnLoginOrTheDialogHook) {
  {
    TAdsConnection con(nullptr);
    con.SetName("con");
    con.SetConnectPath(QString::fromStdString(dictionary_));
    con.SetUsername("preset");
    QStringList seen;
    con.OnLogin = [&](TAdsConnection* c, QString& user, QString& password) {
      seen << c->Name() << user << password;
      user = "adssys";
    };
    con.Connect();
    EXPECT_TRUE(con.IsConnected());
    EXPECT_EQ(seen, QStringList({"con", "", ""})) << "OnLogin starts with empty user name and password";
    EXPECT_EQ(con.Username(), "adssys");
  }
  {
    TAdsConnection con(nullptr);
    con.SetName("con");
    con.SetConnectPath(QString::fromStdString(dictionary_));
    con.SetUsername("adssys");
    QString hookUser;
    SetLoginDialogHook([&](const QString&, QString& user, QString&) {
      hookUser = user;
      return false;
    });
    try {
      con.Connect();
      ADD_FAILURE() << "a refused login dialog connected";
    } catch (const EADSDatabaseError&) {
      ADD_FAILURE() << "the refusal is the framework's database error, not an engine error";
    } catch (const EDatabaseError& e) {
      EXPECT_EQ(Message(e), "Cannot connect to database 'con'");
    }
    SetLoginDialogHook(nullptr);
    EXPECT_EQ(hookUser, "adssys");
    EXPECT_FALSE(con.IsConnected());
  }
}
