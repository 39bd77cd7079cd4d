// The exported interface as a whole: every declared entry point resolves by name in the built
// library, only those names are visible, and every entry point copes with zero handles and null
// arguments by returning an error that becomes the thread's last error.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "ace/ace.h"
#include "engine_api/entry_point_names.h"
#include "engine_api/zero_calls.h"
#include "test_env.h"

namespace {

std::string LastErrorText(UNSIGNED32* code) {
  UNSIGNED8 buf[601] = {};
  UNSIGNED16 len = 600;
  EXPECT_EQ(AdsGetLastError(code, buf, &len), 0u);
  return std::string(reinterpret_cast<char*>(buf), len);
}

TEST(ApiEntryPoints, EveryDeclaredNameResolvesInTheLoadedLibrary) {
  std::string path = (testenv::BinDir() / "libace32.so").string();
  void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << dlerror();
  auto defined_in_library = [&](void* symbol) {
    Dl_info info{};
    return symbol != nullptr && dladdr(symbol, &info) != 0 && info.dli_fname != nullptr &&
           std::string(info.dli_fname).find("libace32") != std::string::npos;
  };
  for (std::string_view name : engine::api::kEntryPointNames) {
    std::string n(name);
    void* symbol = dlsym(lib, n.c_str());
    EXPECT_NE(symbol, nullptr) << n << " is not exported";
    EXPECT_TRUE(defined_in_library(symbol)) << n << " resolves outside libace32";
  }
  // The engine's internals stay hidden: neither its C++ functions nor the libraries it carries
  // are visible from libace32 itself (dlsym also searches its dependencies, hence dladdr).
  EXPECT_EQ(dlsym(lib, "_ZN6engine4core12GetLastErrorEv"), nullptr);
  EXPECT_EQ(dlsym(lib, "_ZN6engine3api15AdsGetLastErrorEPjPhPt"), nullptr);
  EXPECT_FALSE(defined_in_library(dlsym(lib, "sqlite3_open")));
  dlclose(lib);
}

TEST(ApiEntryPoints, TheListNamesEachEntryPointOnce) {
  std::set<std::string_view> seen;
  for (std::string_view name : engine::api::kEntryPointNames) {
    EXPECT_TRUE(seen.insert(name).second) << name;
    EXPECT_EQ(name.substr(0, 3), "Ads") << name;
  }
}

// Entry points that legitimately succeed without any argument.
const std::set<std::string> kSucceedWithoutArguments = {
    "AdsThreadExit",       "AdsClearProgressCallback", "AdsClearCallbackFunction", "AdsClearSQLAbortFunc",
    "AdsCacheOpenTables",  "AdsCacheOpenCursors",      "AdsShowError",             "AdsSetLastError",
    "AdsRegisterProgressCallback", "AdsRegisterCallbackFunction", "AdsRegisterCallbackFunction101",
    "AdsRegisterSQLAbortFunc",     "AdsShowDeleted",
};

TEST(ApiEntryPoints, ZeroHandlesAndNullArgumentsGiveAnErrorNeverACrash) {
  for (const auto& zc : engine::api::kZeroCalls) {
    SCOPED_TRACE(zc.name);
    AdsSetLastError(0, nullptr);
    UNSIGNED32 rc = zc.call();
    if (kSucceedWithoutArguments.count(zc.name)) continue;
    if (std::string(zc.name) == "AdsGetLastError" || std::string(zc.name) == "AdsSetLastError") continue;
    ASSERT_NE(rc, 0u);
    UNSIGNED32 code = 0;
    std::string text = LastErrorText(&code);
    EXPECT_EQ(code, rc);
    EXPECT_EQ(text.rfind("Error " + std::to_string(rc) + ": ", 0), 0u) << text;
    if (rc == AE_NOT_YET_BUILT) {
      EXPECT_NE(text.find(zc.name), std::string::npos) << text;
    }
  }
}

}  // namespace
