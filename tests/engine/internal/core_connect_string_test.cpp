// Parsing the connect string.
#include <gtest/gtest.h>

#include "engine/core/connect_string.h"
#include "engine/core/error.h"

namespace {

using engine::core::ConnectOptions;

TEST(CoreConnectString, EveryItemIsReadIntoItsOption) {
  ConnectOptions o = ConnectOptions::Parse(
      "Data Source=C:\\data\\DB.add;User ID=adssys;Password=\"p;w\";FIPS=True;DDPassword=d;EncryptionType=aes128;"
      "TLSCertificate=c.pem;TLSCommonName=cn;TLSCiphers=RC4-MD5;CommType=IPX;Compression=never;SQLTimeout=12;"
      "IncrementUserCount=TRUE;StoredProcedureConnection=FALSE;ServerType=LOCAL|REMOTE;DateFormat=DD/MM/YY;"
      "TableType=VFP;");
  EXPECT_EQ(o.data_source, "C:\\data\\DB.add");
  EXPECT_EQ(o.user, "adssys");
  EXPECT_EQ(o.password, "p;w");
  EXPECT_TRUE(o.fips);
  EXPECT_EQ(o.dd_password, "d");
  EXPECT_EQ(o.encryption_type, "AES128");
  EXPECT_EQ(o.tls_certificate, "c.pem");
  EXPECT_EQ(o.tls_common_name, "cn");
  EXPECT_EQ(o.tls_ciphers, "RC4-MD5");
  EXPECT_EQ(o.communication_type, 3u);
  EXPECT_EQ(o.compression, "NEVER");
  EXPECT_EQ(o.sql_timeout, 12u);
  EXPECT_TRUE(o.increment_user_count);
  EXPECT_FALSE(o.stored_procedure_connection);
  EXPECT_EQ(o.server_types, 3u);
  EXPECT_EQ(o.date_format, "DD/MM/YY");
  EXPECT_EQ(o.table_type, 4);
}

TEST(CoreConnectString, LaterItemsWinAndEmptyItemsAreSkipped) {
  ConnectOptions o = ConnectOptions::Parse("Data Source=a;;ServerType=REMOTE;ServerType=LOCAL;  ;Data Source=b");
  EXPECT_EQ(o.data_source, "b");
  EXPECT_EQ(o.server_types, 1u);
}

TEST(CoreConnectString, BadItemsFailWith5905) {
  for (const char* bad : {"Nope=1;", "Data Source", "=v;", "Password=\"x;", "FIPS=2;", "SQLTimeout=9999999999;"}) {
    try {
      ConnectOptions::Parse(bad);
      ADD_FAILURE() << bad << " was accepted";
    } catch (const engine::EngineError& e) {
      EXPECT_EQ(e.code(), 5905u) << bad;
    }
  }
}

}  // namespace
