// A private host for one test: a temporary folder that holds the two registry hive files, a
// drive map, a temporary folder and an executable folder, all selected through the environment
// variables and overrides the platform reads, and restored when the fixture dies.
//
//   HostFixture host;                       // PELLMAR_HKCU = <root>/HKCU.reg, ...
//   host.WriteUserHive("[HKEY_CURRENT_USER\\Software\\Pellmar]\n\"DataFolder\"=\"D:\\\\x\"\n");
//   host.Win("exe\\")                       // Windows-form path of <root>/exe/
#pragma once

#include <stdlib.h>

#include <QString>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>

#include "platform/shell_folders.h"
#include "test_env.h"

namespace hosttest {

class HostFixture {
 public:
  HostFixture() {
    std::filesystem::create_directories(root() / "tmp");
    std::filesystem::create_directories(root() / "exe");
    std::filesystem::create_directories(root() / "d");
    Set("PELLMAR_HKCU", (root() / "HKCU.reg").string());
    Set("PELLMAR_HKLM", (root() / "HKLM.reg").string());
    // C: is the host root, D: a folder of the fixture; every other drive is unmapped.
    Set("PELLMAR_DRIVES", "C=/;D=" + (root() / "d").string());
    Set("PELLMAR_SHARES", "");
    Set("TMPDIR", (root() / "tmp").string());
    Set("PELLMAR_EXE_DIR", "");
    platform::SetExecutableFolderOverride((root() / "exe").string());
  }

  ~HostFixture() {
    platform::SetExecutableFolderOverride("");
    for (const auto& [name, old] : saved_) {
      if (old)
        setenv(name.c_str(), old->c_str(), 1);
      else
        unsetenv(name.c_str());
    }
  }

  HostFixture(const HostFixture&) = delete;
  HostFixture& operator=(const HostFixture&) = delete;

  // Sets an environment variable for the fixture's lifetime ("" unsets it).
  void Set(const std::string& name, const std::string& value) {
    if (!saved_.count(name)) {
      const char* old = getenv(name.c_str());
      saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    if (value.empty())
      unsetenv(name.c_str());
    else
      setenv(name.c_str(), value.c_str(), 1);
  }

  const std::filesystem::path& root() const { return temp_.path(); }

  // The Windows-form path of a host path below the root, with the default C: map.
  QString Win(const std::string& relative = "") const {
    std::string host = (root() / relative).string();
    std::string win = "C:";
    for (char c : host) win += c == '/' ? '\\' : c;
    return QString::fromStdString(win);
  }

  void WriteUserHive(const std::string& body) { WriteText("HKCU.reg", kHeader + body); }
  void WriteMachineHive(const std::string& body) { WriteText("HKLM.reg", kHeader + body); }

  // Writes a file below the root (creating its folders) with the given bytes.
  void WriteText(const std::string& relative, const std::string& bytes) const {
    const std::filesystem::path p = root() / relative;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
  }

  std::string ReadText(const std::string& relative) const {
    std::ifstream in(root() / relative, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }

  bool Exists(const std::string& relative) const { return std::filesystem::exists(root() / relative); }

  static inline const std::string kHeader = "Windows Registry Editor Version 5.00\r\n\r\n";

 private:
  testenv::TempDir temp_;
  std::map<std::string, std::optional<std::string>> saved_;
};

}  // namespace hosttest
