// aceadmin, the admin shell: creating a dictionary, adding users and tables, listing them.
#include "support/aceadmin_run.h"
#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>

#include "support/api_fixture.h"

namespace {

using acetest::Aceadmin;
using acetest::ToolRun;

using acetest::Q;

TEST(ApiAceadmin, BuildsADictionaryThatTheEngineThenReads) {
  acetest::Workspace ws;
  acetest::WriteFile(ws.Host("cust.adt"), "x");
  const std::string dd = ws.Win("DB.add");
  const struct {
    std::string args;
    int status;
    std::string says;
  } steps[] = {
      {"create-dictionary " + Q(dd) + " Demo", 0, "created"},
      {"create-dictionary " + Q(dd), 1, "Error 5909"},
      {"add-group " + Q(dd) + " staff", 0, "added group staff"},
      {"add-user " + Q(dd) + " ann secret staff", 0, "added user ann"},
      {"add-user " + Q(dd) + " ann", 1, "Error 5909"},
      {"add-table " + Q(dd) + " Customer cust.adt", 0, "added table Customer"},
      {"add-table " + Q(dd) + " Ghost ghost.adt", 1, "Error 5915"},
      {"list-tables " + Q(dd), 0, "Customer\n"},
      {"list-tables " + Q(ws.WinFolder()) + " '*.adt'", 0, "cust.adt\n"},
      {"table-info " + Q(dd) + " Customer", 0, "default index: (none)"},
      {"table-info " + Q(dd) + " Nobody", 1, "Error 5132"},
      {"frobnicate", 2, "unknown command"},
      {"add-user", 2, "usage"},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.args);
    ToolRun r = Aceadmin(s.args);
    EXPECT_EQ(r.status, s.status) << r.output;
    EXPECT_NE(r.output.find(s.says), std::string::npos) << r.output;
  }
  ADSHANDLE h = 0;
  ASSERT_EQ(acetest::Connect101("Data Source=" + dd + ";User ID=ann;Password=\"secret\";", &h), 0u)
      << acetest::Last().text;
  UNSIGNED8 buf[64];
  UNSIGNED16 len = sizeof buf;
  ASSERT_EQ(AdsDDGetUserProperty(h, acetest::U8("ann"), ADS_DD_USER_GROUP_MEMBERSHIP, buf, &len), 0u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), len), "staff");
  EXPECT_EQ(AdsDisconnect(h), 0u);
}

}  // namespace
