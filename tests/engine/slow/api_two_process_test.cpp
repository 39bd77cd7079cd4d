// Two processes using one data dictionary at the same time: both connect, both write users,
// and each sees the other's work; nothing written by either is lost.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "support/api_fixture.h"

namespace {

using acetest::U8;

constexpr int kUsersEach = 15;

// Runs in the child: connects on its own and adds users "child<n>". Returns the exit status.
int ChildWork(const std::string& dictionary) {
  ADSHANDLE h = 0;
  if (AdsConnect101(U8("Data Source=" + dictionary + ";User ID=adssys;"), nullptr, &h) != 0) return 2;
  for (int i = 0; i < kUsersEach; ++i) {
    std::string name = "child" + std::to_string(i);
    if (AdsDDCreateUser(h, nullptr, U8(name), nullptr, nullptr) != 0) return 3;
  }
  return AdsDisconnect(h) == 0 ? 0 : 4;
}

TEST(ApiTwoProcesses, BothProcessesConnectAndWriteTheSameDictionaryAtOnce) {
  acetest::Workspace ws;
  ADSHANDLE parent = ws.CreateDictionary("DB.add");
  const std::string path = ws.Win("DB.add");
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) _exit(ChildWork(path));
  for (int i = 0; i < kUsersEach; ++i) {
    std::string name = "parent" + std::to_string(i);
    EXPECT_EQ(AdsDDCreateUser(parent, nullptr, U8(name), nullptr, nullptr), 0u) << acetest::Last().text;
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the child's connection or writes failed";

  // Every user of both processes is there, as each connection sees it.
  ADSHANDLE fresh = 0;
  ASSERT_EQ(AdsConnect(U8(path), &fresh), 0u);
  for (ADSHANDLE h : {parent, fresh}) {
    std::vector<std::string> names;
    UNSIGNED8 buf[201];
    UNSIGNED16 len = 200;
    ADSHANDLE find = 0;
    UNSIGNED32 rc = AdsDDFindFirstObject(h, ADS_DD_USER_OBJECT, nullptr, buf, &len, &find);
    while (rc == 0) {
      names.emplace_back(reinterpret_cast<char*>(buf), len);
      len = 200;
      rc = AdsDDFindNextObject(h, find, buf, &len);
    }
    EXPECT_EQ(rc, 5137u);
    EXPECT_EQ(AdsDDFindClose(h, find), 0u);
    for (const char* who : {"parent", "child"}) {
      for (int i = 0; i < kUsersEach; ++i) {
        std::string name = who + std::to_string(i);
        EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
      }
    }
  }
  EXPECT_EQ(AdsDisconnect(fresh), 0u);
  EXPECT_EQ(AdsDisconnect(parent), 0u);
}

}  // namespace
