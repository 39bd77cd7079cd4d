#include "app/runtime_folder.h"

#include <cstdlib>
#include <filesystem>
#include <vector>

PrivateRuntimeFolder::PrivateRuntimeFolder() {
  const char* set = std::getenv("XDG_RUNTIME_DIR");
  if (set != nullptr && *set != '\0') return;
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && *tmp == '/' ? tmp : "/tmp") + "/quenlor-runtime-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (::mkdtemp(name.data()) == nullptr) return;  // Qt falls back to its own folder then
  path_ = name.data();
  ::setenv("XDG_RUNTIME_DIR", path_.c_str(), 1);
}

PrivateRuntimeFolder::~PrivateRuntimeFolder() {
  if (path_.empty()) return;
  ::unsetenv("XDG_RUNTIME_DIR");
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);  // nothing to report at exit: a leftover is harmless
}
