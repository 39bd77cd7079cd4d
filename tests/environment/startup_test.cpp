#include "environment/startup.h"
#include "environment/VistaReady.h"

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "runtime/exception.h"
#include "runtime/filesys.h"
#include "support/installation_fixture.h"

namespace {

using installtest::Installation;

TEST(Startup, AppearanceBrandingAndSettingsInOrderAndExitUndoesThemInReverse) {
  Installation host;
  host.WriteText("exe/oeminfo.dat", "[OEM]\r\nOEMCOMPSHORT=Acme\r\n");
  SetDesktopFontOverride("Segoe UI", 9);
  {
    Startup startup;
    EXPECT_EQ(startup.CompletedSteps(), 3u);
    EXPECT_EQ(DesktopFontName(), QStringLiteral("Segoe UI"));
    EXPECT_EQ(DesktopFontSize(), 9);
    // The settings already saw the branding: the default data folder carries its brand word.
    EXPECT_EQ(DataFolder(), QStringLiteral("C:\\AcmeData\\"));
    EXPECT_EQ(WorkFolder(), host.Win("tmp\\_Pellmar1\\"));
    EXPECT_TRUE(host.Exists("tmp/_Pellmar1"));
  }
  EXPECT_FALSE(host.Exists("tmp/_Pellmar1"));
  EXPECT_EQ(DataFolder(), QString());
  EXPECT_EQ(OEMCOMPSHORT(), QString());
  EXPECT_EQ(DesktopFontName(), QString()) << "the desktop font was released";
  ClearDesktopFontOverride();
}

// Refuses every rename, so that no hive file can be replaced.
class FailingRename : public platform::FileSystemWrapper {
 public:
  FailingRename() : FileSystemWrapper(platform::DefaultFileSystem()) {}
  platform::Status RenameFile(const std::string&, const std::string&) override {
    return platform::Status::Error(platform::StatusCode::kIOError);
  }
};

TEST(Startup, AFailingStepUndoesWhatWasDoneAndLetsTheErrorThrough) {
  Installation host;
  SetDesktopFontOverride("Segoe UI", 9);
  // Publishing the folders fails after the work folder was claimed.
  FailingRename fs;
  ScopedFileSystem scoped(&fs);
  try {
    Startup startup;
    FAIL() << "start-up went on";
  } catch (const ERegistryException& e) {
    EXPECT_EQ(e.Message(), QStringLiteral("Failed to set data for 'PellmarClient'"));
  }
  EXPECT_EQ(OEMCOMPSHORT(), QString()) << "branding was finalised";
  EXPECT_FALSE(host.Exists("tmp/_Pellmar1")) << "the claimed work folder is gone";
  EXPECT_TRUE(host.Exists("tmp"));
  EXPECT_EQ(DesktopFontName(), QString()) << "the appearance step was undone too";
  ClearDesktopFontOverride();
}

}  // namespace
