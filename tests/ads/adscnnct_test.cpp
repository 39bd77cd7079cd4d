// The connection component without an engine: path and alias rules, the connect string, the
// statement cache's hashing, frozen properties and renaming over the dataset registry.
#include <gtest/gtest.h>

#include <QFile>
#include <cstdlib>

#include "ads/adscnnct.h"
#include "fake_dataset.h"
#include "test_env.h"

namespace {

// The settings the reindex tool's window gives its connection.
void ConfigureLikeTheTool(TAdsConnection& con) {
  con.SetAdsServerTypes(AdsServerTypeBit(stADS_REMOTE) | AdsServerTypeBit(stADS_LOCAL));
  con.SetLoginPrompt(false);
  con.SetUsername("adssys");
  con.SetStoreConnected(false);
}

void WriteFile(const std::filesystem::path& path, const QByteArray& bytes) {
  QFile f(QString::fromStdString(path.string()));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}

}  // namespace

TEST(AdsConnectionPaths, DictionaryTest) {
  struct Case {
    const char* path;
    bool dictionary;
  } cases[] = {
      {"C:\\data\\db.ADD", true}, {"C:\\data\\DB.add", true},   {"\\\\srv\\x\\__ROOTDD", true},
      {"C:\\data\\x.add.bak", false}, {"C:\\data", false},      {"C:\\data\\add", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsDataDictionaryPath(c.path), c.dictionary) << c.path;
}

TEST(AdsConnectionPaths, ConnectionPathIsTheDictionaryFolder) {
  struct Case {
    const char* set;
    const char* path;
  } cases[] = {
      {"C:\\data\\DB.add", "C:\\data"},
      {"DB.add", ".\\"},
      {"C:\\data", "C:\\data"},
      {"/srv/data/site/sitedb.ADD", "/srv/data/site"},
      {"C:\\mixed/dir\\x.add", "C:\\mixed"},
      {".add", ".add"},
  };
  for (const Case& c : cases) {
    TAdsConnection con(nullptr);
    con.SetConnectPath(c.set);
    EXPECT_EQ(con.GetConnectionPath(), c.path) << c.set;
  }
}

TEST(AdsConnectionString, TheToolsSettingsGiveExactlyFourItems) {
  TAdsConnection con(nullptr);
  ConfigureLikeTheTool(con);
  con.SetConnectPath("C:\\PellmarData\\DB\\DB.add");
  EXPECT_EQ(con.ConnectString(),
            "Data Source=C:\\PellmarData\\DB\\DB.add;User ID=adssys;FIPS=False;ServerType=LOCAL|REMOTE;");
}

TEST(AdsConnectionString, EveryItemFollowsItsProperty) {
  TAdsConnection con(nullptr);
  con.SetConnectPath("C:\\d\\x.add");
  con.SetUsername("user");
  con.SetPassword("p;w");
  con.EncryptionOptions().SetFIPSMode(true);
  con.EncryptionOptions().SetDataDictionaryPassword("ddpw");
  con.EncryptionOptions().SetDataEncryptionType(etAdsAES256);
  con.EncryptionOptions().SetTLSCertificate("cert.pem");
  con.EncryptionOptions().SetTLSCommonName("server.example");
  con.EncryptionOptions().SetTLSCipherSuite((1u << tlsRC4MD5) | (1u << tlsAES128SHA));
  con.SetCommunicationType(ctAdsTCPIP);
  con.SetCompression(ccAdsCompressAlways);
  con.SetSQLTimeout(30);
  con.SetMiddleTierConnection(true);
  con.SetStoredProcedureConnection(true);
  con.SetAdsServerTypes(AdsServerTypeBit(stADS_AIS) | AdsServerTypeBit(stADS_LOCAL));
  con.SetExtraConnectString("Custom=1;");
  EXPECT_EQ(con.ConnectString(),
            "Data Source=C:\\d\\x.add;User ID=user;Password=\"p;w\";FIPS=True;DDPassword=ddpw;"
            "EncryptionType=AES256;TLSCertificate=cert.pem;TLSCommonName=server.example;"
            "TLSCiphers=AES128-SHA:RC4-MD5;CommType=TCP_IP;Compression=ALWAYS;SQLTimeout=30;"
            "IncrementUserCount=TRUE;StoredProcedureConnection=TRUE;ServerType=LOCAL|INTERNET;Custom=1;");
}

TEST(AdsConnectionString, FreeTablePathHasNoUserItemAndDataSourceIsCut) {
  TAdsConnection con(nullptr);
  con.SetConnectPath("C:\\data\\");
  con.SetUsername("adssys");
  con.SetPassword("secret");
  EXPECT_EQ(con.ConnectString(), "Data Source=C:\\data\\;FIPS=False;");

  const QString longPath = "C:\\" + QString(300, 'a') + ".add";
  con.SetConnectPath(longPath);
  const QString s = con.ConnectString();
  EXPECT_TRUE(s.startsWith("Data Source=" + longPath.left(255) + ";User ID=adssys;")) << s.toStdString();
}

TEST(AdsConnectionAlias, AliasesComeFromTheFileNamedByAdsiniPath) {
  testenv::TempDir dir;
  WriteFile(dir.path() / "ads.ini",
            "[Databases]\r\nfleet=C:\\data;cdx\r\nplain=C:\\plain\r\nbad=;A\r\ndict=C:\\d\\DB.add;a\r\n");
  setenv("adsini_path", dir.str().c_str(), 1);

  TAdsConnection con(nullptr);
  con.SetName("con");
  con.SetAliasName("fleet");
  EXPECT_EQ(con.GetConnectionWithDDPath(), "C:\\data");
  EXPECT_EQ(con.GetAdsTableType(), ttAdsConnectCDX);
  EXPECT_TRUE(con.ConnectString().endsWith("TableType=CDX;")) << con.ConnectString().toStdString();

  con.SetAliasName("plain");
  EXPECT_EQ(con.GetAdsTableType(), ttAdsConnectUnspecified);
  EXPECT_FALSE(con.ConnectString().contains("TableType"));

  con.SetAliasName("dict");
  EXPECT_TRUE(con.IsDictionaryConn());
  EXPECT_EQ(con.GetAdsTableType(), ttAdsConnectADT);

  con.SetAliasName("bad");
  EXPECT_EQ(con.AliasName(), "bad");
  EXPECT_EQ(con.GetConnectionWithDDPath(), "");
  EXPECT_THROW(con.Connect(), AdsConnectionError);
  try {
    con.Connect();
  } catch (const AdsConnectionError& e) {
    EXPECT_EQ(e.Message(), "TAdsConnection.AliasName is not valid");
  }
  EXPECT_FALSE(con.IsConnected());
  unsetenv("adsini_path");
}

TEST(AdsConnectionAlias, DatasetsOfTheSameOwnerFollowTheAliasTableType) {
  testenv::TempDir dir;
  WriteFile(dir.path() / "ads.ini", "[Databases]\nold=C:\\data;ntx\n");
  setenv("adsini_path", dir.str().c_str(), 1);
  TComponent form(nullptr);
  QStringList log;
  TAdsConnection con(&form);
  con.SetName("con");
  RecordingDataSet byName(&form, &log), unnamed(&form, &log), other(&form, &log), foreign(nullptr, &log);
  byName.SetName("a");
  unnamed.SetName("b");
  other.SetName("c");
  foreign.SetName("d");
  byName.SetDatabaseName("con");
  other.SetDatabaseName("elsewhere");
  for (RecordingDataSet* ds : {&byName, &unnamed, &other, &foreign}) ds->Attach(&con);
  log.clear();
  con.SetAliasName("old");
  EXPECT_EQ(log, QStringList({"a:TableType=1", "b:TableType=1"}));
  unsetenv("adsini_path");
}

TEST(AdsConnectionProperties, MissingPathIsRefusedAndTheComponentStaysDisconnected) {
  TAdsConnection con(nullptr);
  QStringList events;
  con.BeforeConnect = [&](TComponent*) { events << "BeforeConnect"; };
  try {
    con.Connect();
    FAIL() << "connect without a path succeeded";
  } catch (const AdsConnectionError& e) {
    EXPECT_EQ(e.Message(), "Must specify connection string before getting a server connection.");
  }
  EXPECT_FALSE(con.IsConnected());
  EXPECT_EQ(events, QStringList({"BeforeConnect"}));
  con.Disconnect();  // disconnecting a disconnected component does nothing
  EXPECT_EQ(events, QStringList({"BeforeConnect"}));
}

TEST(AdsConnectionStatements, HashFollowsTheTwoRules) {
  // Short texts: h = h*37 + c over every character.
  uint32_t h = 0;
  for (char c : std::string("select 1")) h = h * 37u + static_cast<unsigned char>(c);
  EXPECT_EQ(TAdsConnection::StatementHash("select 1"), static_cast<int32_t>(h));
  // Long texts: h = h*39 + c over every (length div 8)-th character.
  const QString text = "select name from system.tables";  // 30 characters, step 3
  h = 0;
  for (int i = 0; i < text.size(); i += 3) h = h * 39u + text[i].unicode();
  EXPECT_EQ(TAdsConnection::StatementHash(text), static_cast<int32_t>(h));

  TAdsConnection con(nullptr);
  TStmtInfo& a = con.FindOrAddCachedStatement("select 1");
  a.SQLText = "select 1";
  a.StmtHandle = 0;
  EXPECT_EQ(&con.FindOrAddCachedStatement("select 1"), &a);
  EXPECT_NE(&con.FindOrAddCachedStatement("SELECT 1"), &a) << "another letter case hashes differently";
  EXPECT_EQ(con.CachedStatements().size(), 2u);
  con.CloseCachedStatements();  // entries without a handle are freed without an engine call
  EXPECT_TRUE(con.CachedStatements().empty());
}

TEST(AdsConnectionRename, DatasetsThatUseTheOldNameFollowIt) {
  TComponent form(nullptr);
  form.SetName("fm");
  QStringList log;
  TAdsConnection con(&form);
  con.SetName("con");
  RecordingDataSet plain(&form, &log), qualified(&form, &log), unrelated(&form, &log), otherConn(&form, &log);
  plain.SetName("a");
  qualified.SetName("b");
  unrelated.SetName("c");
  otherConn.SetName("d");
  plain.SetDatabaseName("CON");
  qualified.SetDatabaseName("fm.con");
  unrelated.SetDatabaseName("other");
  otherConn.SetDatabaseName("con");
  TAdsConnection second(&form);
  second.SetName("second");
  otherConn.Attach(&second);
  log.clear();
  con.SetName("main");
  EXPECT_EQ(plain.DatabaseName(), "main");
  EXPECT_EQ(qualified.DatabaseName(), "fm.main");
  EXPECT_EQ(unrelated.DatabaseName(), "other");
  EXPECT_EQ(otherConn.DatabaseName(), "con") << "attached to another connection";
}
