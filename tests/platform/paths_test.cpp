// Windows-form paths mapped to host paths and back, path checks, and the map configuration.
#include "platform/paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "platform/registry_hive.h"
#include "platform/text.h"
#include "support/platform_test_util.h"
#include "test_env.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using platform_test::ScopedEnv;

class PathMappingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = tmp_.str();
    fs::create_directories(root_ + "/d/data/Sub");
    fs::create_directories(root_ + "/share/DB");
    platform_test::WriteBytes(root_ + "/d/data/File.ADT", "x");
    map_.drives = {{'C', "/"}, {'D', root_ + "/d"}};
    map_.shares = {{"fileserver", "pellmar$", root_ + "/share"}};
  }

  testenv::TempDir tmp_;
  std::string root_;
  PathMap map_;
};

TEST_F(PathMappingTest, MapsDriveUncHostAndMixedCasePaths) {
  struct Case {
    std::string path;
    std::string host;  // relative to root_ unless it starts with "/"
  } cases[] = {
      {"D:\\data\\File.ADT", "/d/data/File.ADT"},
      {"d:\\DATA\\file.adt", "/d/data/File.ADT"},                    // each component found ignoring case
      {"D:/Data/sub/", "/d/data/Sub/"},                              // slash separates, trailing kept
      {"D:\\data\\sub\\NEW.txt", "/d/data/Sub/NEW.txt"},             // a new name is created as given
      {"D:\\missing\\Deeper\\x", "/d/missing/Deeper/x"},             // nothing below a missing folder
      {"D:\\a\\..\\..\\..\\data\\.\\File.adt", "/d/data/File.ADT"},  // never above the root
      {"D:", "/d"},
      {"D:data", "/d/data"},  // drive-relative: from the root
      {"\\\\FILESERVER\\Pellmar$\\db\\x.add", "/share/DB/x.add"},
      {"\\\\fileserver/PELLMAR$/DB", "/share/DB"},
      {"\\\\fileserver\\pellmar$\\..\\..\\db", "/share/DB"},  // ".." stays inside the share
  };
  for (const auto& c : cases) {
    std::string host;
    Status s = ToHostPath(c.path, map_, &host);
    ASSERT_TRUE(s.ok()) << c.path << ": " << s.ToString();
    EXPECT_EQ(host, root_ + c.host) << c.path;
  }
}

TEST_F(PathMappingTest, HostPathsAreResolvedWithoutTheMap) {
  PathMap empty;  // not even C: is mapped
  std::string host;
  ASSERT_TRUE(ToHostPath(root_ + "/D/DATA/file.adt", empty, &host).ok());
  EXPECT_EQ(host, root_ + "/d/data/File.ADT");
  ASSERT_TRUE(ToHostPath(root_ + "\\d\\data\\..\\data", empty, &host).ok());
  EXPECT_EQ(host, root_ + "/d/data");
}

TEST_F(PathMappingTest, RelativePathsResolveAgainstTheCurrentFolder) {
  const std::string saved = CurrentHostFolder();
  ASSERT_EQ(chdir((root_ + "/d/data").c_str()), 0);
  std::string host, rooted;
  Status s1 = ToHostPath("sub\\..\\FILE.adt", map_, &host);
  Status s2 = ToHostPath("\\tmp", map_, &rooted);
  std::string full = FullPath("..\\x", map_);
  ASSERT_EQ(chdir(saved.c_str()), 0);
  ASSERT_TRUE(s1.ok());
  EXPECT_EQ(host, root_ + "/d/data/File.ADT");
  ASSERT_TRUE(s2.ok());
  // The current folder is on D: (its root is the longest containing it), so "\tmp" is D:\tmp.
  EXPECT_EQ(rooted, root_ + "/d/tmp");
  EXPECT_EQ(full, "D:\\x");
}

TEST_F(PathMappingTest, FailuresNameTheProblem) {
  struct Case {
    std::string path;
    StatusCode code;
  } cases[] = {
      {"E:\\data", StatusCode::kDriveNotFound},
      {"\\\\otherserver\\pellmar$\\x", StatusCode::kDriveNotFound},
      {"\\\\fileserver", StatusCode::kUnsupportedFormat},
      {"D:\\da:ta", StatusCode::kUnsupportedFormat},
      {"\\\\?\\D:\\data", StatusCode::kUnsupportedFormat},
      {"D:\\data\\a|b", StatusCode::kInvalidCharacters},
      {"", StatusCode::kInvalidCharacters},
  };
  for (const auto& c : cases) {
    std::string host = "unchanged";
    Status s = ToHostPath(c.path, map_, &host);
    EXPECT_EQ(s.code(), c.code) << c.path << ": " << s.ToString();
    EXPECT_EQ(host, "unchanged") << c.path;
  }
}

TEST(CheckPathTest, ClassifiesPathsAsTheRuntimeReportsThem) {
  PathMap map = PathMap::Default();
  const std::string long_name(245, 'a');  // "C:\" + 245 = 248 characters
  struct Case {
    std::string path;
    size_t limit;
    StatusCode code;
    const char* message;
  } cases[] = {
      {"C:\\Pellmar\\Logs\\", 248, StatusCode::kOk, ""},
      {"C:\\" + long_name, 248, StatusCode::kOk, ""},
      {"C:\\" + long_name + "b", 248, StatusCode::kPathTooLong, "The specified path is too long"},
      {"C:\\" + long_name + "b", 0, StatusCode::kOk, ""},
      {"C:\\x\\..\\" + long_name, 248, StatusCode::kOk, ""},  // measured after ".." is resolved
      {"", 248, StatusCode::kInvalidCharacters, "Invalid characters in path"},
      {"   ", 248, StatusCode::kInvalidCharacters, "Invalid characters in path"},
      {"C:\\a<b", 248, StatusCode::kInvalidCharacters, "Invalid characters in path"},
      {"C:\\a>b", 248, StatusCode::kInvalidCharacters, "Invalid characters in path"},
      {"C:\\a\"b", 248, StatusCode::kInvalidCharacters, "Invalid characters in path"},
      {"C:\\a|b", 248, StatusCode::kInvalidCharacters, "Invalid characters in path"},
      {"C:\\a?b", 248, StatusCode::kInvalidCharacters, "Invalid characters in path"},
      {"C:\\a*", 248, StatusCode::kInvalidCharacters, "Invalid characters in path"},
      {"C:\\a\tb", 248, StatusCode::kInvalidCharacters, "Invalid characters in path"},
      {std::string("C:\\a\x01", 5), 248, StatusCode::kInvalidCharacters, "Invalid characters in path"},
      {"C:\\a:b", 248, StatusCode::kUnsupportedFormat, "The path format is not supported"},
      {"1:\\a", 248, StatusCode::kUnsupportedFormat, "The path format is not supported"},
      {"\\\\?\\C:\\a", 248, StatusCode::kUnsupportedFormat, "The path format is not supported"},
      {"\\\\.\\COM1", 248, StatusCode::kUnsupportedFormat, "The path format is not supported"},
      {"Q:\\a", 248, StatusCode::kDriveNotFound, "The drive cannot be found"},
      {"\\\\server\\share\\a", 248, StatusCode::kDriveNotFound, "The drive cannot be found"},
      {"/tmp/a:b", 248, StatusCode::kOk, ""},  // a host name may hold ":"
  };
  for (const auto& c : cases) {
    Status s = CheckPath(c.path, c.limit, map);
    EXPECT_EQ(s.code(), c.code) << "[" << c.path << "]";
    if (!s.ok()) {
      EXPECT_EQ(s.message(), c.message) << "[" << c.path << "]";
    }
  }
}

TEST(CheckPathTest, RelativePathsAreMeasuredWithTheCurrentFolder) {
  PathMap map = PathMap::Default();
  const std::string cwd = FullPath("", map);  // current folder in Windows form
  const size_t room = 248 - cwd.size() - 1;   // characters left after "cwd\"
  EXPECT_TRUE(CheckPath(std::string(room, 'a'), 248, map).ok()) << cwd;
  EXPECT_EQ(CheckPath(std::string(room + 1, 'a'), 248, map).code(), StatusCode::kPathTooLong);
}

TEST(ToWindowsPathTest, TheLongestContainingRootWins) {
  PathMap map;
  map.drives = {{'C', "/"}, {'D', "/mnt/data"}, {'E', "/mnt/data/sub"}};
  PathMap no_c;
  no_c.drives = {{'D', "/mnt/data"}};
  struct Case {
    const PathMap* map;
    std::string host;
    std::string windows;
  } cases[] = {
      {&map, "/mnt/data/sub/x", "E:\\x"},
      {&map, "/mnt/data/x/", "D:\\x\\"},
      {&map, "/mnt/data", "D:\\"},
      {&map, "/mnt/datax/y", "C:\\mnt\\datax\\y"},
      {&map, "/", "C:\\"},
      {&map, "/home//u/./docs/../Documents", "C:\\home\\u\\Documents"},
      {&no_c, "/home/u", "/home/u"},
      {&no_c, "/mnt/data/y", "D:\\y"},
  };
  for (const auto& c : cases) EXPECT_EQ(ToWindowsPath(c.host, *c.map), c.windows) << c.host;
}

TEST(ToWindowsPathTest, RoundTripsThroughTheHost) {
  testenv::TempDir tmp;
  fs::create_directories(tmp.path() / "Mixed" / "Case");
  PathMap map = PathMap::Default();
  const std::string windows = ToWindowsPath(tmp.str() + "/Mixed/Case", map);
  ASSERT_EQ(windows.substr(0, 3), "C:\\");
  std::string host;
  ASSERT_TRUE(ToHostPath(UpperAscii(windows), map, &host).ok());
  EXPECT_EQ(fs::canonical(host), fs::canonical(tmp.path() / "Mixed" / "Case"));
}

TEST(PathMapTest, ParsesDriveAndShareMaps) {
  PathMap map;
  ASSERT_TRUE(ParseDriveMap(" c=/ ; D:=/mnt/data/ ;e=/srv//x", &map).ok());
  ASSERT_EQ(map.drives.size(), 3u);
  EXPECT_EQ(*map.DriveRoot('c'), "/");
  EXPECT_EQ(*map.DriveRoot('D'), "/mnt/data");
  EXPECT_EQ(*map.DriveRoot('E'), "/srv/x");
  EXPECT_EQ(map.DriveRoot('F'), nullptr);
  ASSERT_TRUE(ParseShareMap("fileserver/pellmar$=/srv/pellmar;\\\\Other\\S=/o", &map).ok());
  ASSERT_NE(map.ShareRoot("FileServer", "PELLMAR$"), nullptr);
  EXPECT_EQ(*map.ShareRoot("FileServer", "PELLMAR$"), "/srv/pellmar");
  EXPECT_EQ(*map.ShareRoot("other", "s"), "/o");

  for (const char* bad : {"C", "CD=/x", "C=relative", "1=/x", "C="}) {
    PathMap keep = PathMap::Default();
    EXPECT_EQ(ParseDriveMap(bad, &keep).code(), StatusCode::kInvalidArgument) << bad;
    EXPECT_NE(keep.DriveRoot('C'), nullptr) << bad;  // a failed parse changes nothing
  }
  for (const char* bad : {"server=/x", "a/b/c=/x", "a/b=x"}) {
    PathMap keep;
    EXPECT_EQ(ParseShareMap(bad, &keep).code(), StatusCode::kInvalidArgument) << bad;
  }
}

TEST(PathMapTest, ProcessMapComesFromTheMachineHiveAndTheEnvironmentOverridesIt) {
  testenv::TempDir tmp;
  const std::string hklm = tmp.str() + "/HKLM.reg";
  {
    RegistryHive hive("HKEY_LOCAL_MACHINE");
    hive.SetValue("SOFTWARE\\Pellmar\\Host\\Drives", "C", RegistryValue::String("/"));
    hive.SetValue("SOFTWARE\\Pellmar\\Host\\Drives", "P:", RegistryValue::String("/srv/p"));
    hive.SetValue("SOFTWARE\\Pellmar\\Host\\Shares", "files/data$", RegistryValue::String("/srv/d"));
    ASSERT_TRUE(hive.Save(*DefaultFileSystem(), hklm).ok());
  }
  ScopedEnv hive_env("PELLMAR_HKLM", hklm);
  {
    ScopedEnv drives("PELLMAR_DRIVES", std::nullopt);
    ScopedEnv shares("PELLMAR_SHARES", std::nullopt);
    PathMap map = ProcessPathMap();
    ASSERT_NE(map.DriveRoot('P'), nullptr);
    EXPECT_EQ(*map.DriveRoot('P'), "/srv/p");
    ASSERT_NE(map.ShareRoot("FILES", "data$"), nullptr);
    std::string host;
    ASSERT_TRUE(ToHostPath("p:\\x", &host).ok());
    EXPECT_EQ(host, "/srv/p/x");
  }
  {
    ScopedEnv drives("PELLMAR_DRIVES", "C=/;D=/mnt/data");
    ScopedEnv shares("PELLMAR_SHARES", "fileserver/pellmar$=/srv/pellmar");
    PathMap map = ProcessPathMap();
    EXPECT_EQ(map.DriveRoot('P'), nullptr);
    ASSERT_NE(map.DriveRoot('D'), nullptr);
    EXPECT_EQ(*map.DriveRoot('D'), "/mnt/data");
    EXPECT_EQ(map.ShareRoot("files", "data$"), nullptr);
    std::string host;
    EXPECT_EQ(ToHostPath("P:\\x", &host).code(), StatusCode::kDriveNotFound);
    ASSERT_TRUE(ToHostPath("\\\\FileServer\\Pellmar$\\DB", &host).ok());
    EXPECT_EQ(host, "/srv/pellmar/DB");
  }
}

TEST(PathMapTest, WithoutConfigurationCIsTheHostRoot) {
  testenv::TempDir tmp;
  ScopedEnv hive_env("PELLMAR_HKLM", tmp.str() + "/absent.reg");
  ScopedEnv drives("PELLMAR_DRIVES", std::nullopt);
  ScopedEnv shares("PELLMAR_SHARES", std::nullopt);
  PathMap map = ProcessPathMap();
  ASSERT_EQ(map.drives.size(), 1u);
  EXPECT_EQ(map.drives[0].letter, 'C');
  EXPECT_EQ(map.drives[0].root, "/");
  EXPECT_TRUE(map.shares.empty());
  std::string host;
  EXPECT_EQ(ToHostPath("D:\\x", &host).code(), StatusCode::kDriveNotFound);
  EXPECT_EQ(ToHostPath("D:\\x", &host).message(), "The drive cannot be found");
}

TEST(PathsTest, IsRootPathAndTrailingBackslash) {
  struct Case {
    std::string path;
    bool root;
  } cases[] = {{"C:\\", true},      {"c:", true},          {"C:\\x\\..", true}, {"/", true},
               {"\\\\s\\sh", true}, {"\\\\s\\sh\\", true}, {"C:\\x", false},    {"x", false},
               {"\\", false},       {"/tmp", false}};
  for (const auto& c : cases) EXPECT_EQ(IsRootPath(c.path), c.root) << c.path;
  EXPECT_EQ(WithTrailingBackslash(""), "\\");
  EXPECT_EQ(WithTrailingBackslash("C:\\x"), "C:\\x\\");
  EXPECT_EQ(WithTrailingBackslash("C:\\x\\"), "C:\\x\\");
}

}  // namespace
}  // namespace platform
