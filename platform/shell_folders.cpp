// Temporary, special and executable folders, handed back in Windows form.
#include "platform/shell_folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <mutex>

#include "platform/paths.h"

namespace platform {
namespace {

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr) return pw->pw_dir;
  return "/";
}

std::string StripSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// The XDG_DOCUMENTS_DIR line of user-dirs.dirs: XDG_DOCUMENTS_DIR="$HOME/Documents".
std::string DocumentsFromUserDirs() {
  std::string config;
  if (const char* x = std::getenv("XDG_CONFIG_HOME"); x != nullptr && *x == '/')
    config = x;
  else
    config = HomeFolder() + "/.config";
  std::ifstream in(config + "/user-dirs.dirs");
  std::string line;
  while (std::getline(in, line)) {
    const std::string prefix = "XDG_DOCUMENTS_DIR=";
    if (line.compare(0, prefix.size(), prefix) != 0) continue;
    std::string value = line.substr(prefix.size());
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    if (value.compare(0, 5, "$HOME") == 0) value = HomeFolder() + value.substr(5);
    if (!value.empty() && value[0] == '/') return value;
  }
  return {};
}

std::mutex& OverrideMutex() {
  static std::mutex* mu = new std::mutex;
  return *mu;
}

std::string& OverrideFolder() {
  static std::string* folder = new std::string;
  return *folder;
}

// A host folder from a host or Windows-form text.
std::string HostFolderOf(const std::string& folder) {
  std::string host;
  if (!ToHostPath(folder, &host).ok()) return StripSlash(folder);
  return StripSlash(host);
}

}  // namespace

std::string TempFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string host = (tmp != nullptr && *tmp == '/') ? StripSlash(tmp) : "/tmp";
  return WithTrailingBackslash(ToWindowsPath(host));
}

std::string SpecialFolder(int number) {
  if (number != kFolderPersonal) return {};
  std::string host;
  if (const char* d = std::getenv("XDG_DOCUMENTS_DIR"); d != nullptr && *d == '/') host = d;
  if (host.empty()) host = DocumentsFromUserDirs();
  if (host.empty()) host = HomeFolder() + "/Documents";
  return ToWindowsPath(StripSlash(host));
}

std::string ExecutableHostFolder() {
  {
    std::lock_guard<std::mutex> lock(OverrideMutex());
    if (!OverrideFolder().empty()) return HostFolderOf(OverrideFolder());
  }
  if (const char* e = std::getenv("PELLMAR_EXE_DIR"); e != nullptr && *e != '\0') return HostFolderOf(e);
  std::string buffer(4096, '\0');
  ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
  if (n <= 0) return StripSlash(CurrentHostFolder());
  buffer.resize(static_cast<size_t>(n));
  size_t slash = buffer.find_last_of('/');
  if (slash == std::string::npos || slash == 0) return "/";
  return buffer.substr(0, slash);
}

std::string ExecutableFolder() {
  return WithTrailingBackslash(ToWindowsPath(ExecutableHostFolder()));
}

void SetExecutableFolderOverride(const std::string& folder) {
  std::lock_guard<std::mutex> lock(OverrideMutex());
  OverrideFolder() = folder;
}

}  // namespace platform
