// Helpers for tests of the installation environment: registry export text for the fixture's
// hive files, and a fixture that also resets the branding and settings state around a test.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "environment/OEMDEFS.h"
#include "environment/toolbookprocs.h"
#include "runtime/datetime.h"
#include "tests/runtime/support/host_fixture.h"

namespace installtest {

// A string value in export-file form: "text" with \ and " escaped.
inline std::string RegSz(const std::string& text) {
  std::string r = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') r += '\\';
    r += c;
  }
  return r + "\"";
}

using RegValues = std::vector<std::pair<std::string, std::string>>;

// One key with its values (value data already in export form: RegSz(...), "dword:...").
inline std::string RegKey(const std::string& root, const std::string& path, const RegValues& values) {
  std::string r = "[" + root + "\\" + path + "]\r\n";
  for (const auto& [name, data] : values) r += RegSz(name) + "=" + data + "\r\n";
  return r + "\r\n";
}

inline std::string UserKey(const std::string& path, const RegValues& values) {
  return RegKey("HKEY_CURRENT_USER", path, values);
}
inline std::string MachineKey(const std::string& path, const RegValues& values) {
  return RegKey("HKEY_LOCAL_MACHINE", path, values);
}

// A private host with the branding and the settings back at their start-of-process state, and
// the process-wide format settings restored afterwards.
class Installation : public hosttest::HostFixture {
 public:
  Installation() : savedFormat_(FormatSettings()) {
    FinalizeSettings();
    FinalizeBranding();
    LoadBranding();  // no oeminfo.dat yet: the defaults
    FinalizeBranding();
  }
  ~Installation() {
    FinalizeSettings();
    FinalizeBranding();
    LoadBranding();
    FinalizeBranding();
    FormatSettings() = savedFormat_;
    SetDefaultDelimiter(u',');
  }

 private:
  TFormatSettings savedFormat_;
};

}  // namespace installtest
