// Temporary, documents and executable folders, handed back in Windows form.
#include "platform/shell_folders.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "platform/paths.h"
#include "support/platform_test_util.h"
#include "test_env.h"

namespace platform {
namespace {

using platform_test::ScopedEnv;
using platform_test::WriteBytes;

TEST(ShellFoldersTest, TempFolderIsInWindowsFormWithTrailingBackslash) {
  ScopedEnv drives("PELLMAR_DRIVES", "C=/;T=/srv/tmproot");
  struct Case {
    std::optional<std::string> tmpdir;
    std::string expected;
  } cases[] = {
      {std::nullopt, "C:\\tmp\\"},
      {"/var/tmp/", "C:\\var\\tmp\\"},
      {"/srv/tmproot/u1", "T:\\u1\\"},  // on the drive whose root holds it
      {"relative", "C:\\tmp\\"},        // not a usable folder: the default
  };
  for (const auto& c : cases) {
    ScopedEnv tmp("TMPDIR", c.tmpdir);
    EXPECT_EQ(TempFolder(), c.expected);
  }
  ScopedEnv no_c("PELLMAR_DRIVES", "D=/mnt/data");
  ScopedEnv tmp("TMPDIR", "/var/tmp");
  EXPECT_EQ(TempFolder(), "/var/tmp\\");  // outside every drive: a host path
}

TEST(ShellFoldersTest, DocumentsFolderComesFromXdgSettings) {
  testenv::TempDir tmp;
  const std::string home = tmp.str() + "/home";
  std::filesystem::create_directories(home + "/.config");
  ScopedEnv drives("PELLMAR_DRIVES", std::nullopt);
  ScopedEnv h("HOME", home), x("XDG_CONFIG_HOME", std::nullopt);
  {
    ScopedEnv d("XDG_DOCUMENTS_DIR", std::nullopt);
    EXPECT_EQ(SpecialFolder(kFolderPersonal), ToWindowsPath(home + "/Documents"));
    WriteBytes(home + "/.config/user-dirs.dirs",
               "# comment\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
    EXPECT_EQ(SpecialFolder(kFolderPersonal), ToWindowsPath(home + "/Dokumente"));
  }
  ScopedEnv d("XDG_DOCUMENTS_DIR", "/srv/docs/");
  EXPECT_EQ(SpecialFolder(kFolderPersonal), "C:\\srv\\docs");  // no trailing backslash
  for (int unsupported : {0, 2, 26, 35, -1}) EXPECT_EQ(SpecialFolder(unsupported), "") << unsupported;
}

TEST(ShellFoldersTest, ExecutableFolderIsTheRealOneUnlessOverridden) {
  ScopedEnv drives("PELLMAR_DRIVES", std::nullopt);
  {
    ScopedEnv e("PELLMAR_EXE_DIR", std::nullopt);
    EXPECT_EQ(std::filesystem::canonical(ExecutableHostFolder()),
              std::filesystem::canonical(testenv::BinDir()));
    EXPECT_EQ(ExecutableFolder(), WithTrailingBackslash(ToWindowsPath(ExecutableHostFolder())));
    EXPECT_EQ(ExecutableFolder().substr(0, 3), "C:\\");
  }
  testenv::TempDir tmp;
  std::filesystem::create_directories(tmp.path() / "App" / "Bin");
  ScopedEnv e("PELLMAR_EXE_DIR", tmp.str() + "/App/Bin/");
  EXPECT_EQ(ExecutableHostFolder(), tmp.str() + "/App/Bin");
  EXPECT_EQ(ExecutableFolder(), ToWindowsPath(tmp.str()) + "\\App\\Bin\\");

  SetExecutableFolderOverride(ToWindowsPath(tmp.str()) + "\\app");  // Windows form, other case
  EXPECT_EQ(ExecutableHostFolder(), tmp.str() + "/App");
  SetExecutableFolderOverride("");
  EXPECT_EQ(ExecutableHostFolder(), tmp.str() + "/App/Bin");
}

}  // namespace
}  // namespace platform
