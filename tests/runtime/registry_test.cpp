#include "runtime/registry.h"

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "runtime/exception.h"
#include "runtime/filesys.h"
#include "support/host_fixture.h"

namespace {

using hosttest::HostFixture;

const char kUserHive[] =
    "[HKEY_CURRENT_USER\\Software\\Pellmar]\r\n"
    "\"DataFolder\"=\"D:\\\\PellmarData\\\\\"\r\n"
    "\"Expand\"=hex(2):25,00,54,00,4d,00,50,00,25,00,00,00\r\n"
    "\"Count\"=dword:0000002a\r\n"
    "\"Blob\"=hex:01,02\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Software\\Pellmar\\Sub]\r\n"
    "\"Inner\"=\"in\"\r\n";

std::string messageOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const Exception& e) {
    return e.Message().toStdString();
  }
  return "(no exception)";
}

TEST(Registry, ReadsTextValuesAndRefusesOtherTypes) {
  HostFixture host;
  host.WriteUserHive(kUserHive);
  TRegistry reg(KEY_READ);
  EXPECT_EQ(reg.RootKey(), HKEY_CURRENT_USER);
  ASSERT_TRUE(reg.OpenKeyReadOnly("Software\\pellmar"));
  EXPECT_EQ(reg.ReadString("DataFolder"), QStringLiteral("D:\\PellmarData\\"));
  EXPECT_EQ(reg.ReadString("datafolder"), QStringLiteral("D:\\PellmarData\\"));
  EXPECT_EQ(reg.ReadString("Expand"), QStringLiteral("%TMP%")) << "expandable text comes back unexpanded";
  EXPECT_EQ(reg.ReadString("Missing"), QString());
  EXPECT_EQ(reg.ReadInteger("Count"), 42);
  EXPECT_TRUE(reg.ValueExists("Blob"));
  EXPECT_FALSE(reg.ValueExists("Missing"));
  EXPECT_EQ(messageOf([&] { reg.ReadString("Count"); }), "Invalid data type for 'Count'");
  EXPECT_EQ(messageOf([&] { reg.ReadString("Blob"); }), "Invalid data type for 'Blob'");
  EXPECT_EQ(messageOf([&] { reg.ReadInteger("DataFolder"); }), "Invalid data type for 'DataFolder'");
}

TEST(Registry, OpensRelativeToTheCurrentKeyAndNeverCreatesWhenAskedNotTo) {
  HostFixture host;
  host.WriteUserHive(kUserHive);
  TRegistry reg;
  EXPECT_FALSE(reg.OpenKey("Software\\Nothing", false));
  EXPECT_FALSE(reg.HasCurrentKey());
  ASSERT_TRUE(reg.OpenKey("Software\\Pellmar", false));
  ASSERT_TRUE(reg.OpenKeyReadOnly("Sub"));
  EXPECT_EQ(reg.CurrentPath(), QStringLiteral("Software\\Pellmar\\Sub"));
  EXPECT_EQ(reg.ReadString("Inner"), QStringLiteral("in"));
  ASSERT_TRUE(reg.OpenKeyReadOnly("\\Software\\Pellmar"));
  EXPECT_EQ(reg.ReadString("DataFolder"), QStringLiteral("D:\\PellmarData\\"));
  ASSERT_TRUE(reg.OpenKeyReadOnly(""));
  EXPECT_EQ(reg.CurrentPath(), QStringLiteral("Software\\Pellmar"));
  reg.CloseKey();
  EXPECT_EQ(reg.ReadString("DataFolder"), QString());
  EXPECT_EQ(host.ReadText("HKCU.reg"), HostFixture::kHeader + kUserHive) << "reading never rewrites the hive";

  TRegistry readOnly(KEY_READ);
  EXPECT_FALSE(readOnly.OpenKey("Software\\Created", true)) << "read access creates nothing";
  TRegistry writer;
  ASSERT_TRUE(writer.OpenKey("Software\\Created\\Deep", true));
  writer.WriteString("New", "v");
  TRegistry again(KEY_READ);
  ASSERT_TRUE(again.OpenKeyReadOnly("Software\\Created\\Deep"));
  EXPECT_EQ(again.ReadString("New"), QStringLiteral("v"));
}

TEST(Registry, MachineHiveIsSeparateAndHasTheProgramFilesFolder) {
  HostFixture host;
  host.WriteUserHive(kUserHive);
  TRegistry reg(KEY_READ);
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  EXPECT_FALSE(reg.OpenKeyReadOnly("Software\\Pellmar"));
  ASSERT_TRUE(reg.OpenKeyReadOnly("SOFTWARE\\Microsoft\\Windows\\CurrentVersion"));
  EXPECT_EQ(reg.ReadString("ProgramFilesDir"), QStringLiteral("C:\\Program Files"));
}

// Refuses every rename, as a full disk or a permission change would.
class FailingRename : public platform::FileSystemWrapper {
 public:
  FailingRename() : FileSystemWrapper(platform::DefaultFileSystem()) {}
  platform::Status RenameFile(const std::string&, const std::string&) override {
    return platform::Status::Error(platform::StatusCode::kAccessDenied);
  }
};

TEST(Registry, RefusedWritesRaiseAndKeepTheHiveAsItWas) {
  HostFixture host;
  host.WriteUserHive(kUserHive);
  TRegistry readOnly(KEY_READ);
  ASSERT_TRUE(readOnly.OpenKeyReadOnly("Software\\Pellmar"));
  EXPECT_EQ(messageOf([&] { readOnly.WriteString("DataFolder", "x"); }), "Failed to set data for 'DataFolder'");

  FailingRename failing;
  ScopedFileSystem scoped(&failing);
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey("Software\\Pellmar", false));
  EXPECT_EQ(messageOf([&] { reg.WriteString("DataFolder", "E:\\"); }), "Failed to set data for 'DataFolder'");
  EXPECT_EQ(host.ReadText("HKCU.reg"), HostFixture::kHeader + kUserHive);
  EXPECT_EQ(reg.ReadString("DataFolder"), QStringLiteral("D:\\PellmarData\\"));
}

TEST(Registry, DamagedHiveFilesAreReportedNotMistakenForMissingSettings) {
  const std::string damaged[] = {
      "[HKEY_CURRENT_USER\\Software\\Pellmar]\r\n\"DataFolder\"=\"unterminated\r\n",
      "[HKEY_CURRENT_USER\\Software\\Pellmar\r\n\"A\"=\"x\"\r\n",
      "[HKEY_CURRENT_USER\\Software\\Pellmar]\r\n\"Count\"=dword:zz\r\n",
      "[HKEY_CURRENT_USER\\Software\\Pellmar]\r\n\"Blob\"=hex:01,\\\r\n",
  };
  for (const std::string& body : damaged) {
    SCOPED_TRACE(body);
    HostFixture host;
    host.WriteUserHive(body);
    TRegistry reg(KEY_READ);
    try {
      reg.OpenKeyReadOnly("Software\\Pellmar");
      reg.ReadString("DataFolder");
      FAIL() << "a damaged hive read as if it were fine";
    } catch (const ERegistryException& e) {
      EXPECT_NE(e.Message().indexOf("HKCU.reg"), -1) << e.Message().toStdString();
    }
  }
}

}  // namespace
