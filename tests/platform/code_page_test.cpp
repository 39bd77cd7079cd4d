// The process's ANSI code page: where the one setting comes from, and conversions through it.
#include "platform/code_page.h"

#include <gtest/gtest.h>

#include "support/platform_test_util.h"
#include "test_env.h"

namespace {

using platform_test::ScopedEnv;

TEST(CodePage, TheSettingComesFromTheVariableTheMachineHiveOrTheDefault) {
  testenv::TempDir dir;
  ScopedEnv hive("PELLMAR_HKLM", dir.str() + "/none.reg");
  const struct {
    std::optional<std::string> variable;
    const char* expected;
  } cases[] = {
      {std::nullopt, "windows-1252"},
      {"windows-1250", "windows-1250"},
      {"no-such-page", "windows-1252"},  // an unknown name is no setting
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.variable.value_or("unset"));
    ScopedEnv variable("PELLMAR_ANSI_CODEPAGE", c.variable);
    EXPECT_EQ(platform::AnsiCodePage(), c.expected);
  }
  // The machine hive's value; the variable still wins over it.
  const std::string file = dir.str() + "/HKLM.reg";
  platform_test::WriteBytes(file, "Windows Registry Editor Version 5.00\r\n\r\n"
                                  "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Pellmar\\Host]\r\n\"AnsiCodePage\"=\"windows-1251\"\r\n");
  ScopedEnv machine("PELLMAR_HKLM", file);
  ScopedEnv unset("PELLMAR_ANSI_CODEPAGE", std::nullopt);
  EXPECT_EQ(platform::AnsiCodePage(), "windows-1251");
  ScopedEnv variable("PELLMAR_ANSI_CODEPAGE", "ibm-850");
  EXPECT_EQ(platform::AnsiCodePage(), "ibm-850");
}

TEST(CodePage, ConversionsFollowTheSettingAndNeverFail) {
  testenv::TempDir dir;
  ScopedEnv hive("PELLMAR_HKLM", dir.str() + "/none.reg");
  ScopedEnv variable("PELLMAR_ANSI_CODEPAGE", std::nullopt);
  EXPECT_EQ(platform::Utf8ToAnsi("M\xC3\xBCll \xE2\x82\xAC"), "M\xFCll \x80");
  EXPECT_EQ(platform::AnsiToUtf8("M\xFCll \x80"), "M\xC3\xBCll \xE2\x82\xAC");
  EXPECT_EQ(platform::Utf8ToAnsi("\xE4\xB8\xAD"), "?") << "a character the page cannot hold";
  EXPECT_TRUE(platform::SetAnsiCodePage("windows-1250").ok());
  EXPECT_EQ(platform::Utf8ToAnsi("\xC5\x81\xC3\xB3" "d\xC5\xBA"), "\xA3\xF3" "d\x9F");
  EXPECT_EQ(platform::AnsiToUtf16("\xA3"), u"\u0141");
  const platform::Status refused = platform::SetAnsiCodePage("no-such-page");
  EXPECT_FALSE(refused.ok());
  EXPECT_NE(refused.message().find("no-such-page"), std::string::npos);
  EXPECT_EQ(platform::AnsiCodePage(), "windows-1250") << "a refused name changes nothing";
}

}  // namespace
