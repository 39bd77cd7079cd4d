// The setting-change broadcast reaches the observers registered in this process.
#include "platform/setting_change.h"

#include <gtest/gtest.h>

#include <vector>

namespace platform {
namespace {

TEST(SettingChangeTest, ObserversSeeEveryBroadcastWhileRegistered) {
  ScopedSettingChangeRecorder outer;
  std::vector<std::string> seen;
  uint64_t id = AddSettingChangeObserver([&](const std::string& area) { seen.push_back(area); });
  EXPECT_NE(id, 0u);
  {
    ScopedSettingChangeRecorder inner;
    BroadcastSettingChange("Environment");
    BroadcastSettingChange("intl");
    EXPECT_EQ(inner.count(), 2);
    EXPECT_EQ(inner.last_area(), "intl");
  }
  RemoveSettingChangeObserver(id);
  BroadcastSettingChange("Policy");
  EXPECT_EQ(seen, (std::vector<std::string>{"Environment", "intl"}));
  EXPECT_EQ(outer.count(), 3);
  EXPECT_EQ(outer.last_area(), "Policy");
}

TEST(SettingChangeTest, AnObserverMayRemoveItselfWhileBeingNotified) {
  int calls = 0;
  uint64_t id = 0;
  id = AddSettingChangeObserver([&](const std::string&) {
    ++calls;
    RemoveSettingChangeObserver(id);
  });
  BroadcastSettingChange("Environment");
  BroadcastSettingChange("Environment");
  EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace platform
