#include "support/checker_library.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "test_env.h"

// AddressSanitizer refuses libraries opened with RTLD_DEEPBIND. Without it the library's
// references still bind to its own libace32 as long as the program exports no entry points
// (CheckerLibrary.ReadsThroughACopyOfTheEngineOfItsOwn checks that).
#if defined(__SANITIZE_ADDRESS__)
#define ACETEST_DEEPBIND 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ACETEST_DEEPBIND 0
#endif
#endif
#ifndef ACETEST_DEEPBIND
#define ACETEST_DEEPBIND RTLD_DEEPBIND
#endif

namespace acetest {

const FolderChecker* LoadFolderChecker() {
  static std::string failure;
  static const FolderChecker* checker = [] () -> const FolderChecker* {
    const std::string path = (testenv::BinDir() / "libengine_test_checker.so").string();
    // Never closed: the library stays loaded for the rest of the process.
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | ACETEST_DEEPBIND);
    if (library == nullptr) {
      failure = dlerror();
      return nullptr;
    }
    auto entry = reinterpret_cast<const FolderChecker* (*)()>(dlsym(library, "acetest_folder_checker"));
    if (entry == nullptr) {
      failure = path + " has no entry acetest_folder_checker";
      return nullptr;
    }
    return entry();
  }();
  if (checker == nullptr) ADD_FAILURE() << "the folder checker does not load: " << failure;
  return checker;
}

}  // namespace acetest
