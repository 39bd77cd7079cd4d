// Loading libraries by name: beside the executable first, then the system's search path.
#include "platform/library.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>

#include "platform/shell_folders.h"
#include "test_env.h"

namespace platform {
namespace {

TEST(LibraryTest, LoadsFromTheSearchPathAndResolvesSymbols) {
  std::unique_ptr<Library> lib;
  ASSERT_TRUE(Library::Load("libc.so.6", &lib).ok());
  void* address = nullptr;
  ASSERT_TRUE(lib->Symbol("strlen", &address).ok());
  auto strlen_fn = reinterpret_cast<size_t (*)(const char*)>(address);
  EXPECT_EQ(strlen_fn("Pellmar"), 7u);

  Status missing = lib->Symbol("AdsNoSuchEntryPoint", &address);
  EXPECT_EQ(missing.error_number(), kErrorProcNotFound);
  EXPECT_EQ(missing.message(), "The specified procedure could not be found.");
  EXPECT_EQ(address, nullptr);
}

TEST(LibraryTest, AMissingLibraryGivesTheLoadersError) {
  std::unique_ptr<Library> lib;
  Status s = Library::Load("NOSUCHLIB.DLL", &lib);
  EXPECT_EQ(s.error_number(), kErrorModuleNotFound);
  EXPECT_EQ(s.message(), "The specified module could not be found.");
  EXPECT_NE(s.detail().find("libnosuchlib.so"), std::string::npos) << s.detail();
  EXPECT_EQ(lib, nullptr);
}

TEST(LibraryTest, TheExecutablesFolderComesFirstAndDllNamesFindHostFiles) {
  testenv::TempDir tmp;
  SetExecutableFolderOverride(tmp.str());
  EXPECT_EQ(Library::Candidates("ACE32.DLL"),
            (std::vector<std::string>{tmp.str() + "/ACE32.DLL", tmp.str() + "/libace32.so", "ACE32.DLL",
                                      "libace32.so"}));
  EXPECT_EQ(Library::Candidates("/opt/x/libz.so"), std::vector<std::string>{"/opt/x/libz.so"});

  // A real library placed beside the executable under the host form of a DLL name.
  std::filesystem::copy_file("/usr/lib/x86_64-linux-gnu/libm.so.6", tmp.path() / "libpmtest.so");
  std::unique_ptr<Library> lib;
  Status s = Library::Load("PMTEST.DLL", &lib);
  SetExecutableFolderOverride("");
  ASSERT_TRUE(s.ok()) << s.ToString();
  EXPECT_EQ(lib->path(), tmp.str() + "/libpmtest.so");
  void* address = nullptr;
  ASSERT_TRUE(lib->Symbol("cos", &address).ok());
  EXPECT_DOUBLE_EQ(reinterpret_cast<double (*)(double)>(address)(0.0), 1.0);
}

}  // namespace
}  // namespace platform
