// The process's hives: where their files are, keys opened read-only, without creating or with
// creating, the values the original platform always has, and writes that keep the rest.
#include "platform/registry.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "support/platform_test_util.h"
#include "test_env.h"

namespace platform {
namespace {

using platform_test::ReadBytes;
using platform_test::ScopedEnv;
using platform_test::WriteBytes;

TEST(HiveFilePathTest, EnvironmentAndXdgFoldersDecide) {
  struct Case {
    std::optional<std::string> hkcu, hklm, xdg, home;
    std::string user, machine;
  } cases[] = {
      {"/x/u.reg", "/x/m.reg", "/xdg", "/home/h", "/x/u.reg", "/x/m.reg"},
      {std::nullopt, std::nullopt, "/xdg", "/home/h", "/xdg/pellmar/HKCU.reg", "/etc/pellmar/HKLM.reg"},
      {std::nullopt, std::nullopt, std::nullopt, "/home/h", "/home/h/.config/pellmar/HKCU.reg",
       "/etc/pellmar/HKLM.reg"},
      {"", "", "relative", "/home/h", "/home/h/.config/pellmar/HKCU.reg", "/etc/pellmar/HKLM.reg"},
  };
  for (const auto& c : cases) {
    ScopedEnv a("PELLMAR_HKCU", c.hkcu), b("PELLMAR_HKLM", c.hklm), x("XDG_CONFIG_HOME", c.xdg),
        h("HOME", c.home);
    EXPECT_EQ(HiveFilePath(Hive::kCurrentUser), c.user);
    EXPECT_EQ(HiveFilePath(Hive::kLocalMachine), c.machine);
  }
}

class RegistryTest : public ::testing::Test {
 protected:
  RegistryTest()
      : user_file_(tmp_.str() + "/config/pellmar/HKCU.reg"),
        machine_file_(tmp_.str() + "/etc/HKLM.reg"),
        user_env_("PELLMAR_HKCU", user_file_),
        machine_env_("PELLMAR_HKLM", machine_file_) {}

  testenv::TempDir tmp_;
  std::string user_file_, machine_file_;
  ScopedEnv user_env_, machine_env_;
};

TEST_F(RegistryTest, OpenModesFollowTheOriginalPlatform) {
  std::unique_ptr<RegistryKey> key;
  // Missing file: the hive is empty; opening without creating fails and writes nothing.
  EXPECT_EQ(RegistryKey::Open(Hive::kCurrentUser, "Software\\Pellmar", KeyAccess::kRead, false, &key).code(),
            StatusCode::kNotFound);
  EXPECT_EQ(RegistryKey::Open(Hive::kCurrentUser, "Software\\Pellmar", KeyAccess::kRead, true, &key).code(),
            StatusCode::kAccessDenied);
  EXPECT_FALSE(std::filesystem::exists(user_file_));

  // Creating makes the file and its folders.
  ASSERT_TRUE(
      RegistryKey::Open(Hive::kCurrentUser, "Software\\Pellmar", KeyAccess::kReadWrite, true, &key).ok());
  EXPECT_TRUE(std::filesystem::exists(user_file_));
  ASSERT_TRUE(key->WriteValue("DataFolder", RegistryValue::String("D:\\Data\\")).ok());
  ASSERT_TRUE(key->WriteValue("Port", RegistryValue::Dword(3307)).ok());

  // Read-only keys read and refuse writes.
  ASSERT_TRUE(RegistryKey::Open(Hive::kCurrentUser, "SOFTWARE\\pellmar", KeyAccess::kRead, false, &key).ok());
  RegistryValue v;
  ASSERT_TRUE(key->ReadValue("datafolder", &v).ok());
  EXPECT_EQ(v, RegistryValue::String("D:\\Data\\"));
  ASSERT_TRUE(key->ReadValue("PORT", &v).ok());
  EXPECT_EQ(v.type, kRegDword);
  EXPECT_EQ(key->ReadValue("absent", &v).error_number(), kErrorFileNotFound);
  EXPECT_EQ(key->WriteValue("x", RegistryValue::String("y")).error_number(), kErrorAccessDenied);
  EXPECT_EQ(key->DeleteValue("Port").error_number(), kErrorAccessDenied);
  EXPECT_TRUE(key->ValueExists("Port"));

  // Opening an existing key without creating it, for writing.
  ASSERT_TRUE(RegistryKey::Open(Hive::kCurrentUser, "Software", KeyAccess::kReadWrite, false, &key).ok());
  std::vector<std::string> names;
  ASSERT_TRUE(key->SubKeyNames(&names).ok());
  EXPECT_EQ(names, std::vector<std::string>{"Pellmar"});
}

TEST_F(RegistryTest, AlwaysPresentValuesHaveDefaultsThatAreNeverWritten) {
  std::unique_ptr<RegistryKey> key;
  ASSERT_TRUE(RegistryKey::Open(Hive::kLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                                KeyAccess::kRead, false, &key)
                  .ok());
  RegistryValue v;
  ASSERT_TRUE(key->ReadValue("ProgramFilesDir", &v).ok());
  EXPECT_EQ(v, RegistryValue::String("C:\\Program Files"));

  // The environment keys exist without a file, so they open without creating.
  ASSERT_TRUE(RegistryKey::Open(Hive::kCurrentUser, "Environment", KeyAccess::kReadWrite, false, &key).ok());
  ASSERT_TRUE(key->WriteValue("PellmarData", RegistryValue::String("C:\\PellmarData")).ok());
  ASSERT_TRUE(RegistryKey::Open(Hive::kLocalMachine,
                                "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment",
                                KeyAccess::kReadWrite, false, &key)
                  .ok());
  ASSERT_TRUE(key->WriteValue("X", RegistryValue::String("1")).ok());
  EXPECT_EQ(ReadBytes(machine_file_).find(std::string("P\0r\0o\0g\0r\0a\0m\0", 14)), std::string::npos)
      << "a default is not written into the file";

  // A value in the file wins over the default.
  ASSERT_TRUE(RegistryKey::Open(Hive::kLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                                KeyAccess::kReadWrite, true, &key)
                  .ok());
  ASSERT_TRUE(key->WriteValue("ProgramFilesDir", RegistryValue::String("D:\\Programs")).ok());
  ASSERT_TRUE(key->ReadValue("ProgramFilesDir", &v).ok());
  EXPECT_EQ(v.text, "D:\\Programs");
}

TEST_F(RegistryTest, AWriteKeepsEveryOtherKeyAndValueOfTheFile) {
  std::filesystem::create_directories(std::filesystem::path(user_file_).parent_path());
  WriteBytes(user_file_, platform_test::Utf16LeWithBom(
                             "Windows Registry Editor Version 5.00\r\n\r\n"
                             "[HKEY_CURRENT_USER\\Software\\Other]\r\n\"A\"=hex(7):41,00,00,00,00,00\r\n\r\n"
                             "[HKEY_CURRENT_USER\\Environment]\r\n\"Path\"=hex(2):25,00,00,00\r\n"));
  std::unique_ptr<RegistryKey> key;
  ASSERT_TRUE(RegistryKey::Open(Hive::kCurrentUser, "Environment", KeyAccess::kReadWrite, false, &key).ok());
  ASSERT_TRUE(key->WriteValue("PellmarClient", RegistryValue::String("C:\\Program Files\\Pellmar")).ok());
  ASSERT_TRUE(key->DeleteValue("PellmarClient").ok());
  ASSERT_TRUE(key->WriteValue("PellmarData", RegistryValue::String("\\\\srv\\Pellmar$")).ok());

  std::unique_ptr<RegistryHive> hive;
  ASSERT_TRUE(LoadHive(Hive::kCurrentUser, &hive).ok());
  RegistryValue v;
  ASSERT_TRUE(hive->GetValue("Software\\Other", "A", &v).ok());
  EXPECT_EQ(v, RegistryValue::Binary({0x41, 0, 0, 0, 0, 0}, kRegMultiString));
  ASSERT_TRUE(hive->GetValue("Environment", "Path", &v).ok());
  EXPECT_EQ(v, RegistryValue::ExpandString("%"));
  ASSERT_TRUE(hive->GetValue("Environment", "PellmarData", &v).ok());
  EXPECT_EQ(v.text, "\\\\srv\\Pellmar$");
  EXPECT_EQ(hive->GetValue("Environment", "PellmarClient", &v).code(), StatusCode::kNotFound);
  EXPECT_EQ(hive->encoding(), HiveEncoding::kUtf16LE);
}

TEST_F(RegistryTest, ReadsOfALargeHiveSeeEveryChangeOfTheFile) {
  // 40,000 keys of one value each, the last of them written twice (the later one counts).
  std::string text = "Windows Registry Editor Version 5.00\n\n";
  for (int i = 0; i < 40000; ++i)
    text += "[HKEY_CURRENT_USER\\Software\\Big\\K" + std::to_string(i) + "]\n\"V\"=dword:" +
            std::to_string(10000000 + i) + "\n\n";
  text += "[hkey_current_user\\software\\big\\k39999]\n\"v\"=dword:00000007\n";
  std::filesystem::create_directories(std::filesystem::path(user_file_).parent_path());
  WriteBytes(user_file_, text);
  std::unique_ptr<RegistryKey> key;
  RegistryValue v;
  for (int i : {0, 1, 20000, 39998}) {
    ASSERT_TRUE(RegistryKey::Open(Hive::kCurrentUser, "Software\\Big\\k" + std::to_string(i), KeyAccess::kRead,
                                  false, &key)
                    .ok());
    ASSERT_TRUE(key->ReadValue("v", &v).ok());
    EXPECT_EQ(v.dword, static_cast<uint32_t>(0x10000000 + (i / 10000) * 0x10000 + (i / 1000 % 10) * 0x1000 +
                                             (i / 100 % 10) * 0x100 + (i / 10 % 10) * 0x10 + i % 10));
  }
  ASSERT_TRUE(RegistryKey::Open(Hive::kCurrentUser, "Software\\Big\\K39999", KeyAccess::kRead, false, &key).ok());
  ASSERT_TRUE(key->ReadValue("V", &v).ok());
  EXPECT_EQ(v.dword, 7u);
  std::vector<std::string> names;
  ASSERT_TRUE(RegistryKey::Open(Hive::kCurrentUser, "Software\\Big", KeyAccess::kRead, false, &key).ok());
  ASSERT_TRUE(key->SubKeyNames(&names).ok());
  EXPECT_EQ(names.size(), 40000u);

  // Another process replaces the file with one of the same size: the next read sees it.
  std::string changed = text;
  changed.replace(changed.rfind("00000007"), 8, "00000009");
  WriteBytes(user_file_, changed);
  ASSERT_TRUE(RegistryKey::Open(Hive::kCurrentUser, "Software\\Big\\K39999", KeyAccess::kRead, false, &key).ok());
  ASSERT_TRUE(key->ReadValue("V", &v).ok());
  EXPECT_EQ(v.dword, 9u);
  // A write keeps all of it.
  ASSERT_TRUE(RegistryKey::Open(Hive::kCurrentUser, "Software\\Big\\K5", KeyAccess::kReadWrite, false, &key).ok());
  ASSERT_TRUE(key->WriteValue("W", RegistryValue::String("x")).ok());
  std::unique_ptr<RegistryHive> hive;
  ASSERT_TRUE(LoadHive(Hive::kCurrentUser, &hive).ok());
  EXPECT_EQ(hive->SubKeyNames("Software\\Big").size(), 40000u);
  ASSERT_TRUE(hive->GetValue("Software\\Big\\K39999", "V", &v).ok());
  EXPECT_EQ(v.dword, 9u);
  ASSERT_TRUE(hive->GetValue("Software\\Big\\K5", "W", &v).ok());
  EXPECT_EQ(v.text, "x");
}

TEST_F(RegistryTest, ADamagedHiveIsReportedAndNeverOverwritten) {
  std::filesystem::create_directories(std::filesystem::path(user_file_).parent_path());
  const std::string damaged =
      "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Environment]\n\"A\"=dword:zz\n";
  WriteBytes(user_file_, damaged);
  std::unique_ptr<RegistryKey> key;
  Status s = RegistryKey::Open(Hive::kCurrentUser, "Environment", KeyAccess::kReadWrite, false, &key);
  EXPECT_EQ(s.code(), StatusCode::kCorrupt);
  EXPECT_NE(s.message().find(user_file_), std::string::npos);
  EXPECT_NE(s.message().find("line 4"), std::string::npos);
  EXPECT_EQ(ReadBytes(user_file_), damaged);
}

class FailingRename : public FileSystemWrapper {
 public:
  FailingRename() : FileSystemWrapper(DefaultFileSystem()) {}
  Status RenameFile(const std::string& from, const std::string& to) override {
    if (to.find(".reg") != std::string::npos && to.find(".tmp") == std::string::npos)
      return Status::Error(StatusCode::kAccessDenied).WithDetail("injected");
    return FileSystemWrapper::RenameFile(from, to);
  }
};

TEST_F(RegistryTest, AWriteWhoseRenameFailsReportsItAndKeepsTheOldHive) {
  std::unique_ptr<RegistryKey> key;
  ASSERT_TRUE(
      RegistryKey::Open(Hive::kCurrentUser, "Software\\Pellmar", KeyAccess::kReadWrite, true, &key).ok());
  ASSERT_TRUE(key->WriteValue("DataFolder", RegistryValue::String("C:\\PellmarData\\")).ok());
  ASSERT_TRUE(key->WriteValue("DBServer", RegistryValue::String("db:3306")).ok());
  const std::string before = ReadBytes(user_file_);

  FailingRename faulty;
  std::unique_ptr<RegistryKey> failing;
  ASSERT_TRUE(RegistryKey::Open(Hive::kCurrentUser, "Software\\Pellmar", KeyAccess::kReadWrite, false,
                                &failing, &faulty)
                  .ok());
  Status s = failing->WriteValue("DataFolder", RegistryValue::String("C:\\Elsewhere\\"));
  EXPECT_EQ(s.error_number(), kErrorAccessDenied);
  EXPECT_EQ(ReadBytes(user_file_), before);
  RegistryValue v;
  ASSERT_TRUE(key->ReadValue("DataFolder", &v).ok());
  EXPECT_EQ(v.text, "C:\\PellmarData\\");
  ASSERT_TRUE(key->ReadValue("DBServer", &v).ok());
  EXPECT_EQ(v.text, "db:3306");
}

TEST_F(RegistryTest, TwoProcessesWritingAtOnceKeepEachOthersValues) {
  // Each process writes its own values; without the hive's write lock one process's
  // read-modify-write would replace the file with a version lacking the other's values.
  constexpr int kValuesPerProcess = 15;
  pid_t children[2];
  for (int p = 0; p < 2; ++p) {
    children[p] = fork();
    ASSERT_GE(children[p], 0);
    if (children[p] == 0) {
      std::unique_ptr<RegistryKey> key;
      if (!RegistryKey::Open(Hive::kCurrentUser, "Environment", KeyAccess::kReadWrite, false, &key).ok())
        _exit(2);
      for (int i = 0; i < kValuesPerProcess; ++i) {
        const std::string name = "P" + std::to_string(p) + "V" + std::to_string(i);
        if (!key->WriteValue(name, RegistryValue::String(name)).ok()) _exit(3);
      }
      _exit(0);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }
  std::unique_ptr<RegistryHive> hive;
  ASSERT_TRUE(LoadHive(Hive::kCurrentUser, &hive).ok());
  for (int p = 0; p < 2; ++p) {
    for (int i = 0; i < kValuesPerProcess; ++i) {
      const std::string name = "P" + std::to_string(p) + "V" + std::to_string(i);
      RegistryValue v;
      EXPECT_TRUE(hive->GetValue("Environment", name, &v).ok()) << name;
    }
  }
}

}  // namespace
}  // namespace platform
