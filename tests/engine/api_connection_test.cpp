// Connections through the C interface: dictionaries and folders, the connect string, server
// types, logins, handles and the connection queries.
#include <sqlite3.h>

#include <cstring>
#include <functional>

#include "support/api_fixture.h"

namespace {

using acetest::Connect101;
using acetest::Last;
using acetest::U8;
using acetest::Workspace;

std::string ConnectionPath(ADSHANDLE h) {
  UNSIGNED8 buf[260];
  UNSIGNED16 len = 259;
  EXPECT_EQ(AdsGetConnectionPath(h, buf, &len), 0u) << Last().text;
  return std::string(reinterpret_cast<char*>(buf), len);
}

TEST(ApiConnection, ConnectsToADictionaryOrAFolderAndDisconnectReleasesTheHandle) {
  Workspace ws;
  ASSERT_EQ(AdsDisconnect(ws.CreateDictionary("DB.add")), 0u);
  const struct {
    const char* what;
    std::function<UNSIGNED32(ADSHANDLE*)> connect;
    std::string expected_path;
  } cases[] = {
      {"AdsConnect dictionary", [&](ADSHANDLE* h) { return AdsConnect(U8(ws.Win("DB.add")), h); }, ws.Win("DB.add")},
      {"AdsConnect folder", [&](ADSHANDLE* h) { return AdsConnect(U8(ws.WinFolder()), h); }, ws.WinFolder()},
      {"AdsConnect folder with backslash", [&](ADSHANDLE* h) { return AdsConnect(U8(ws.WinFolder() + "\\"), h); },
       ws.WinFolder()},
      {"AdsConnect101 dictionary",
       [&](ADSHANDLE* h) { return Connect101("Data Source=" + ws.Win("DB.add") + ";User ID=adssys;FIPS=False;", h); },
       ws.Win("DB.add")},
      {"AdsConnect101 folder", [&](ADSHANDLE* h) { return Connect101("Data Source=" + ws.WinFolder() + ";", h); },
       ws.WinFolder()},
      {"AdsConnect60 dictionary",
       [&](ADSHANDLE* h) { return AdsConnect60(U8(ws.Win("DB.add")), 3, U8("adssys"), nullptr, 0, h); },
       ws.Win("DB.add")},
      {"AdsConnect60 folder ignores the user",
       [&](ADSHANDLE* h) { return AdsConnect60(U8(ws.WinFolder()), 1, U8("nobody"), U8("x"), 0, h); }, ws.WinFolder()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ADSHANDLE h = 0;
    ASSERT_EQ(c.connect(&h), 0u) << Last().text;
    EXPECT_NE(h, 0u);
    UNSIGNED16 type = 0;
    EXPECT_EQ(AdsGetConnectionType(h, &type), 0u);
    EXPECT_EQ(type, ADS_LOCAL_SERVER);
    UNSIGNED16 alive = 0;
    EXPECT_EQ(AdsIsConnectionAlive(h, &alive), 0u);
    EXPECT_EQ(alive, 1u);
    EXPECT_EQ(ConnectionPath(h), c.expected_path);
    EXPECT_EQ(AdsDisconnect(h), 0u);
    EXPECT_EQ(AdsGetConnectionType(h, &type), 5024u) << "a disconnected handle is stale";
    EXPECT_EQ(AdsDisconnect(h), 5024u);
  }
}

TEST(ApiConnection, TheComponentsConnectStringIsAcceptedItemByItem) {
  Workspace ws;
  ASSERT_EQ(AdsDisconnect(ws.CreateDictionary("DB.add")), 0u);
  const std::string ds = "Data Source=" + ws.Win("DB.add") + ";";
  const struct {
    std::string items;
    UNSIGNED16 property;  // connection property to check, 0xFFFF for none
    std::string expected;  // its text, or the decimal value of a number
  } cases[] = {
      {"User ID=adssys;FIPS=False;ServerType=LOCAL|REMOTE;", 0, "adssys"},
      {"User ID=adssys;Password=\"\";FIPS=True;", 4, "1"},
      {"FIPS=false;DDPassword=secret;", 0xFFFF, ""},
      {"EncryptionType=AES256;", 3, "AES256"},
      {"EncryptionType=rc4;", 3, "RC4"},
      {"TLSCertificate=C:\\certs\\a.pem;TLSCommonName=server1;", 7, "server1"},
      {"TLSCertificate=C:\\certs\\a.pem;", 5, "C:\\certs\\a.pem"},
      {"TLSCiphers=AES128-SHA:AES256-SHA:RC4-MD5;", 6, "AES128-SHA:AES256-SHA:RC4-MD5"},
      {"CommType=TCP_IP;", 2, "1"},
      {"CommType=TLS;", 2, "5"},
      {"CommType=UDP_IP;Compression=INTERNET;", 0xFFFF, ""},
      {"Compression=ALWAYS;SQLTimeout=30;", 0xFFFF, ""},
      {"Compression=NEVER;IncrementUserCount=TRUE;StoredProcedureConnection=TRUE;", 0xFFFF, ""},
      {"ServerType=LOCAL;DateFormat=DD.MM.YYYY;", 0xFFFF, ""},
      {"ServerType=REMOTE|LOCAL|INTERNET;TableType=CDX;", 0xFFFF, ""},
      {"TableType=NTX;", 0xFFFF, ""},
      {"TableType=ADT;", 0xFFFF, ""},
      {"TableType=VFP;", 0xFFFF, ""},
      {" user id = adssys ; fips = FALSE ;", 0, "adssys"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.items);
    ADSHANDLE h = 0;
    ASSERT_EQ(Connect101(ds + c.items, &h), 0u) << Last().text;
    if (c.property != 0xFFFF) {
      UNSIGNED8 buf[261] = {};
      UNSIGNED32 len = 260;
      ASSERT_EQ(AdsGetConnectionProperty(h, c.property, buf, &len), 0u) << Last().text;
      if (c.property == 2) {
        UNSIGNED32 v;
        std::memcpy(&v, buf, 4);
        EXPECT_EQ(len, 4u);
        EXPECT_EQ(std::to_string(v), c.expected);
      } else if (c.property == 4) {
        UNSIGNED16 v;
        std::memcpy(&v, buf, 2);
        EXPECT_EQ(len, 2u);
        EXPECT_EQ(std::to_string(v), c.expected);
      } else {
        EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), len), c.expected);
      }
    }
    EXPECT_EQ(AdsDisconnect(h), 0u);
  }
}

TEST(ApiConnection, UnknownOrMalformedConnectStringItemsAreRefusedNamingTheItem) {
  Workspace ws;
  ASSERT_EQ(AdsDisconnect(ws.CreateDictionary("DB.add")), 0u);
  const std::string ds = "Data Source=" + ws.Win("DB.add") + ";";
  const struct {
    std::string items;
    std::string named;
  } cases[] = {
      {"Colour=blue;", "Colour=blue"},
      {"FIPS;", "FIPS"},
      {"=x;", "=x"},
      {"FIPS=maybe;", "FIPS=maybe"},
      {"EncryptionType=DES;", "EncryptionType=DES"},
      {"TLSCiphers=AES128-SHA:NULL-MD5;", "NULL-MD5"},
      {"CommType=SPX;", "CommType=SPX"},
      {"Compression=SOMETIMES;", "Compression=SOMETIMES"},
      {"SQLTimeout=-3;", "SQLTimeout=-3"},
      {"SQLTimeout=ten;", "SQLTimeout=ten"},
      {"ServerType=LOCAL|CLOUD;", "CLOUD"},
      {"DateFormat=QQ/YY;", "DateFormat=QQ/YY"},
      {"TableType=XLS;", "TableType=XLS"},
      {"User ID=adssys;Password=\"open;", "Password=\"open"},
      {"IncrementUserCount=YES;", "IncrementUserCount=YES"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.items);
    ADSHANDLE h = 0;
    EXPECT_EQ(Connect101(ds + c.items, &h), 5905u);
    EXPECT_EQ(h, 0u);
    auto last = Last();
    EXPECT_EQ(last.code, 5905u);
    EXPECT_NE(last.text.find(c.named), std::string::npos) << last.text;
  }
}

TEST(ApiConnection, AQuotedPasswordMayHoldSemicolonsAndQuotes) {
  Workspace ws;
  ADSHANDLE admin = ws.CreateDictionary("DB.add");
  const std::string password = "se;cr\"et";
  ASSERT_EQ(AdsDDCreateUser(admin, nullptr, U8("clerk"), U8(password), nullptr), 0u) << Last().text;
  ASSERT_EQ(AdsDisconnect(admin), 0u);
  ADSHANDLE h = 0;
  ASSERT_EQ(Connect101("Data Source=" + ws.Win("DB.add") + ";User ID=clerk;Password=\"" + password + "\";FIPS=False;", &h),
            0u)
      << Last().text;
  UNSIGNED8 buf[64];
  UNSIGNED32 len = sizeof buf;
  ASSERT_EQ(AdsGetConnectionProperty(h, ADS_CONNECTIONPROP_PASSWORD, buf, &len), 0u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), len), password);
  EXPECT_EQ(AdsDisconnect(h), 0u);
}

TEST(ApiConnection, AMissingDataSourceIsAClearError) {
  Workspace ws;
  acetest::WriteFile(ws.Host("old.add.bak"), "not a dictionary name");
  const struct {
    std::string connect_string;
  } cases[] = {
      {"Data Source=" + ws.Win("missing.add") + ";"},
      {"Data Source=" + ws.Win("no_such_folder") + ";"},
      {"Data Source=" + ws.Win("old.add.bak") + ";"},
      {"User ID=adssys;"},
      {"Data Source=;"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.connect_string);
    ADSHANDLE h = 0;
    EXPECT_EQ(Connect101(c.connect_string, &h), 5906u);
    EXPECT_EQ(Last().code, 5906u);
  }
  ADSHANDLE h = 0;
  EXPECT_EQ(AdsConnect(U8(ws.Win("missing.add")), &h), 5906u);
  EXPECT_EQ(AdsConnect(U8("Q:\\nowhere\\db.add"), &h), 5914u) << "an unmapped drive";
}

TEST(ApiConnection, RemoteOrInternetAloneIsNotAvailableAndWithLocalTheConnectionIsLocal) {
  Workspace ws;
  ASSERT_EQ(AdsDisconnect(ws.CreateDictionary("DB.add")), 0u);
  const std::string ds = "Data Source=" + ws.Win("DB.add") + ";";
  const struct {
    std::string server_type;
    UNSIGNED16 mask;
    UNSIGNED32 expected;
  } cases[] = {
      {"REMOTE", 2, 5904}, {"INTERNET", 4, 5904}, {"REMOTE|INTERNET", 6, 5904},
      {"LOCAL", 1, 0},     {"LOCAL|REMOTE", 3, 0}, {"REMOTE|LOCAL|INTERNET", 7, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.server_type);
    ADSHANDLE h = 0;
    EXPECT_EQ(Connect101(ds + "ServerType=" + c.server_type + ";", &h), c.expected);
    if (c.expected) {
      EXPECT_NE(Last().text.find("Server not available"), std::string::npos) << Last().text;
    }
    if (h) {
      EXPECT_EQ(AdsDisconnect(h), 0u);
    }
    h = 0;
    EXPECT_EQ(AdsConnect60(U8(ws.Win("DB.add")), c.mask, nullptr, nullptr, 0, &h), c.expected);
    if (h) {
      UNSIGNED16 type = 0;
      EXPECT_EQ(AdsGetConnectionType(h, &type), 0u);
      EXPECT_EQ(type, ADS_LOCAL_SERVER);
      EXPECT_EQ(AdsDisconnect(h), 0u);
    }
  }
  ADSHANDLE h = 0;
  EXPECT_EQ(AdsConnect60(U8(ws.Win("DB.add")), 8, nullptr, nullptr, 0, &h), 5903u);
}

TEST(ApiConnection, LoginsWithWrongOrMissingPasswordsAreRefused) {
  Workspace ws;
  ADSHANDLE admin = ws.CreateDictionary("DB.add");
  ASSERT_EQ(AdsDDCreateUser(admin, nullptr, U8("clerk"), U8("pw1"), nullptr), 0u) << Last().text;
  ASSERT_EQ(AdsDDCreateUser(admin, nullptr, U8("guest"), nullptr, nullptr), 0u) << Last().text;
  const std::string ds = "Data Source=" + ws.Win("DB.add") + ";";
  struct Case {
    std::string login;
    UNSIGNED32 expected;
  };
  auto check = [&](const std::vector<Case>& cases) {
    for (const auto& c : cases) {
      SCOPED_TRACE(c.login);
      ADSHANDLE h = 0;
      EXPECT_EQ(Connect101(ds + c.login, &h), c.expected) << Last().text;
      if (h) {
        EXPECT_EQ(AdsDisconnect(h), 0u);
      }
    }
  };
  check({{"", 0},
         {"User ID=adssys;", 0},
         {"User ID=ADSSYS;", 0},
         {"User ID=adssys;Password=\"x\";", 5907},
         {"User ID=clerk;Password=\"pw1\";", 0},
         {"User ID=CLERK;Password=\"pw1\";", 0},
         {"User ID=clerk;Password=\"PW1\";", 5907},
         {"User ID=clerk;", 5907},
         {"User ID=guest;", 0},
         {"User ID=guest;Password=\"any\";", 5907},
         {"User ID=nobody;", 5907}});
  // The administrator's password, once set, is required.
  const std::string pw = "root";
  ASSERT_EQ(AdsDDSetUserProperty(admin, U8("adssys"), ADS_DD_USER_PASSWORD, U8(pw), pw.size()), 0u) << Last().text;
  check({{"", 5907},
         {"User ID=adssys;", 5907},
         {"User ID=adssys;Password=\"Root\";", 5907},
         {"User ID=adssys;Password=\"root\";", 0},
         {"User ID=adssys;Password=root;", 0}});
  ADSHANDLE h = 0;
  EXPECT_EQ(AdsConnect(U8(ws.Win("DB.add")), &h), 5907u) << "a plain connect logs in as adssys";
  EXPECT_EQ(AdsConnect60(U8(ws.Win("DB.add")), 1, U8("adssys"), U8("root"), 0, &h), 0u) << Last().text;
  EXPECT_EQ(AdsDisconnect(h), 0u);
  EXPECT_EQ(AdsDisconnect(admin), 0u);
}

TEST(ApiConnection, AFileThatIsNotADictionaryIsRefusedAndLeftAsItWas) {
  Workspace ws;
  acetest::WriteFile(ws.Host("garbage.add"), std::string("\x01\x02garbage bytes, not a database\xff", 33));
  acetest::WriteFile(ws.Host("empty.add"), "");
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(ws.Host("other.add").c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE customers(id INTEGER, name TEXT); INSERT INTO customers VALUES (1, 'a');",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
  }
  ASSERT_EQ(AdsDisconnect(ws.CreateDictionary("newer.add")), 0u);
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(ws.Host("newer.add").c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "UPDATE dd_meta SET value = '99' WHERE key = 'format_version'", nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
  }
  for (const char* name : {"garbage.add", "empty.add", "other.add", "newer.add"}) {
    SCOPED_TRACE(name);
    std::string before = acetest::ReadFile(ws.Host(name));
    ADSHANDLE h = 0;
    EXPECT_EQ(AdsConnect(U8(ws.Win(name)), &h), 5908u);
    auto last = Last();
    EXPECT_EQ(last.code, 5908u);
    EXPECT_NE(last.text.find(name), std::string::npos) << last.text;
    EXPECT_EQ(h, 0u);
    EXPECT_EQ(acetest::ReadFile(ws.Host(name)), before) << "the file is not touched";
  }
}

TEST(ApiConnection, StaleZeroAndWrongKindHandlesGiveErrors) {
  Workspace ws;
  ADSHANDLE c = 0;
  ASSERT_EQ(AdsConnect(U8(ws.WinFolder()), &c), 0u);
  acetest::WriteFile(ws.Host("a.adt"), "x");
  UNSIGNED8 buf[261];
  UNSIGNED16 len = 260;
  ADSHANDLE find = 0;
  ASSERT_EQ(AdsFindFirstTable(c, U8("*.adt"), buf, &len, &find), 0u) << Last().text;
  UNSIGNED16 type = 0;
  EXPECT_EQ(AdsGetHandleType(c, &type), 0u);
  EXPECT_EQ(type, ADS_CONNECTION);
  const struct {
    const char* what;
    std::function<UNSIGNED32()> call;
    UNSIGNED32 expected;
  } cases[] = {
      {"disconnect zero", [] { return AdsDisconnect(0); }, 5024},
      {"disconnect closed marker", [] { return AdsDisconnect(0xFFFFFFFFu); }, 5024},
      {"disconnect never issued", [] { return AdsDisconnect(0x7FFFFFF0u); }, 5024},
      {"disconnect an enumeration", [&] { return AdsDisconnect(find); }, 5024},
      {"enumerate with a connection as the find handle",
       [&] {
         UNSIGNED16 l = 260;
         return AdsFindNextTable(c, c, buf, &l);
       },
       5901},
      {"handle type of zero", [&] { return AdsGetHandleType(0, &type); }, 5901},
      {"path of an enumeration",
       [&] {
         UNSIGNED16 l = 260;
         return AdsGetConnectionPath(find, buf, &l);
       },
       5024},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    EXPECT_EQ(k.call(), k.expected);
    EXPECT_EQ(Last().code, k.expected);
  }
  ASSERT_EQ(AdsDisconnect(c), 0u);
  EXPECT_EQ(AdsGetHandleType(find, &type), 5901u) << "disconnecting released the enumeration";
  EXPECT_EQ(AdsFindClose(c, find), 5024u);
}

TEST(ApiConnection, TwoConnectionsToOneDictionarySeeEachOthersChanges) {
  Workspace ws;
  ADSHANDLE first = ws.CreateDictionary("DB.add");
  ADSHANDLE second = 0;
  ASSERT_EQ(Connect101("Data Source=" + ws.Win("DB.add") + ";User ID=adssys;", &second), 0u) << Last().text;
  EXPECT_NE(first, second);
  ASSERT_EQ(AdsDDCreateUserGroup(first, U8("staff"), nullptr), 0u) << Last().text;
  ASSERT_EQ(AdsDDCreateUser(second, U8("staff"), U8("ann"), nullptr, nullptr), 0u) << Last().text;
  UNSIGNED8 buf[64];
  UNSIGNED16 len = sizeof buf;
  ASSERT_EQ(AdsDDGetUserProperty(first, U8("ann"), ADS_DD_USER_GROUP_MEMBERSHIP, buf, &len), 0u) << Last().text;
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), len), "staff");
  ASSERT_EQ(AdsDisconnect(first), 0u);
  len = sizeof buf;
  EXPECT_EQ(AdsDDGetUserProperty(second, U8("ann"), ADS_DD_USER_GROUP_MEMBERSHIP, buf, &len), 0u)
      << "the other connection lives on";
  EXPECT_EQ(AdsDisconnect(second), 0u);
}

TEST(ApiConnection, ConnectionPropertiesAndServerNameUseTheBufferConvention) {
  Workspace ws;
  ASSERT_EQ(AdsDisconnect(ws.CreateDictionary("DB.add")), 0u);
  ADSHANDLE h = 0;
  ASSERT_EQ(Connect101("Data Source=" + ws.Win("DB.add") + ";User ID=adssys;", &h), 0u);
  UNSIGNED8 small[4] = {'z', 'z', 'z', 'z'};
  UNSIGNED32 len = sizeof small;
  EXPECT_EQ(AdsGetConnectionProperty(h, ADS_CONNECTIONPROP_USERNAME, small, &len), 5005u);
  EXPECT_EQ(len, 7u) << "adssys and its NUL";
  EXPECT_EQ(std::string(reinterpret_cast<char*>(small)), "ads");
  UNSIGNED8 exact[7];
  len = 7;
  EXPECT_EQ(AdsGetConnectionProperty(h, ADS_CONNECTIONPROP_USERNAME, exact, &len), 0u);
  EXPECT_EQ(len, 6u);
  UNSIGNED16 fips_small = 0;
  len = 1;
  EXPECT_EQ(AdsGetConnectionProperty(h, ADS_CONNECTIONPROP_FIPS_MODE, &fips_small, &len), 5005u);
  EXPECT_EQ(len, 2u);
  len = 8;
  EXPECT_EQ(AdsGetConnectionProperty(h, 99, exact, &len), 5912u);
  EXPECT_EQ(AdsGetConnectionProperty(h, ADS_CONNECTIONPROP_USERNAME, exact, nullptr), 5902u);
  UNSIGNED8 name[256];
  UNSIGNED16 nlen = 255;
  EXPECT_EQ(AdsGetServerName(h, name, &nlen), 0u);
  EXPECT_GT(nlen, 0u);
  UNSIGNED16 plen = 3;
  UNSIGNED8 pbuf[3];
  EXPECT_EQ(AdsGetConnectionPath(h, pbuf, &plen), 5005u);
  EXPECT_EQ(plen, ws.Win("DB.add").size() + 1);
  EXPECT_EQ(AdsDisconnect(h), 0u);
}

TEST(ApiConnection, AHandleKeepsTheCallersValueUntilItIsReleased) {
  Workspace ws;
  ADSHANDLE a = 0, b = 0;
  ASSERT_EQ(AdsConnect(U8(ws.WinFolder()), &a), 0u);
  ASSERT_EQ(AdsConnect(U8(ws.WinFolder()), &b), 0u);
  UNSIGNED32 value = 99;
  EXPECT_EQ(AdsGetHandleLong(a, &value), 0u);
  EXPECT_EQ(value, 0u);
  EXPECT_EQ(AdsSetHandleLong(a, 0xCAFEu), 0u);
  EXPECT_EQ(AdsGetHandleLong(a, &value), 0u);
  EXPECT_EQ(value, 0xCAFEu);
  EXPECT_EQ(AdsGetHandleLong(b, &value), 0u);
  EXPECT_EQ(value, 0u) << "each handle has its own value";
  EXPECT_EQ(AdsDisconnect(a), 0u);
  EXPECT_EQ(AdsGetHandleLong(a, &value), 5901u);
  EXPECT_EQ(AdsSetHandleLong(0, 1), 5901u);
  EXPECT_EQ(AdsDisconnect(b), 0u);
}

TEST(ApiConnection, ExistenceAndServerQueries) {
  Workspace ws;
  acetest::WriteFile(ws.Host("here.adt"), "x");
  ADSHANDLE h = 0;
  ASSERT_EQ(AdsConnect(U8(ws.WinFolder()), &h), 0u);
  const struct {
    ADSHANDLE connection;
    std::string name;
    UNSIGNED16 expected;
  } cases[] = {
      {0, ws.Win("here.adt"), 1}, {0, ws.Win("gone.adt"), 0}, {h, "here.adt", 1},
      {h, "HERE.ADT", 1},         {h, "gone.adt", 0},         {0, "Q:\\x.adt", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    UNSIGNED16 on_disk = 7;
    ASSERT_EQ(AdsCheckExistence(c.connection, U8(c.name), &on_disk), 0u) << Last().text;
    EXPECT_EQ(on_disk, c.expected);
  }
  UNSIGNED16 loaded = 0;
  EXPECT_EQ(AdsIsServerLoaded(U8(ws.WinFolder()), &loaded), 0u);
  EXPECT_EQ(loaded, ADS_LOCAL_SERVER);
  EXPECT_EQ(AdsDisconnect(h), 0u);
}

}  // namespace
