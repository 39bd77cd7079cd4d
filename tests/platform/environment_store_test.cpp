// Stored environment variables and %NAME% expansion.
#include "platform/environment_store.h"

#include <gtest/gtest.h>

#include "support/platform_test_util.h"
#include "test_env.h"

namespace platform {
namespace {

using platform_test::ScopedEnv;

TEST(ExpandEnvironmentStringsTest, ReplacesKnownNamesAndKeepsTheRest) {
  ScopedEnv a("PM_TEST_A", "alpha"), b("PM_TEST_B", "C:\\b"), e("PM_TEST_EMPTY", ""),
      u("PM_TEST_UNSET", std::nullopt);
  struct Case {
    std::string in, out;
  } cases[] = {
      {"%PM_TEST_A%", "alpha"},
      {"x%PM_TEST_A%y%PM_TEST_B%z", "xalphayC:\\bz"},
      {"%pm_test_a%", "alpha"},  // names have no case
      {"%PM_TEST_UNSET%", "%PM_TEST_UNSET%"},
      {"%PM_TEST_UNSET%PM_TEST_A%", "%PM_TEST_UNSETalpha"},
      {"%PM_TEST_EMPTY%!", "!"},
      {"100%", "100%"},
      {"%%", "%%"},
      {"%", "%"},
      {"no references", "no references"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ExpandEnvironmentStrings(c.in), c.out) << c.in;
}

TEST(StoredVariableTest, PerUserAndMachineVariablesLiveInTheirHives) {
  testenv::TempDir tmp;
  ScopedEnv user("PELLMAR_HKCU", tmp.str() + "/u.reg"), machine("PELLMAR_HKLM", tmp.str() + "/m.reg");
  std::string value = "unchanged";
  EXPECT_EQ(ReadStoredVariable("PellmarData", true, &value).code(), StatusCode::kNotFound);
  EXPECT_EQ(value, "");
  ASSERT_TRUE(WriteStoredVariable("PellmarData", "%PM_ROOT%\\Data", true).ok());
  ASSERT_TRUE(WriteStoredVariable("PellmarData", "machine", false).ok());
  ASSERT_TRUE(ReadStoredVariable("pellmardata", true, &value).ok());
  EXPECT_EQ(value, "%PM_ROOT%\\Data");  // stored unexpanded
  ASSERT_TRUE(ReadStoredVariable("PellmarData", false, &value).ok());
  EXPECT_EQ(value, "machine");

  std::unique_ptr<RegistryKey> key;
  ASSERT_TRUE(
      RegistryKey::Open(Hive::kCurrentUser, EnvironmentKeyPath(true), KeyAccess::kReadWrite, false, &key)
          .ok());
  ASSERT_TRUE(key->WriteValue("Number", RegistryValue::Dword(1)).ok());
  EXPECT_EQ(ReadStoredVariable("Number", true, &value).code(), StatusCode::kInvalidArgument);
  EXPECT_STREQ(EnvironmentKeyPath(false), "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment");
}

}  // namespace
}  // namespace platform
