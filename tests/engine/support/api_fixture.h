// Helpers for tests of the engine's C interface: text arguments, the last error, dictionaries
// and folders in a temporary folder named in Windows form.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ace/ace.h"
#include "test_env.h"

namespace acetest {

// A text argument for the C interface.
inline UNSIGNED8* U8(const std::string& s) { return reinterpret_cast<UNSIGNED8*>(const_cast<char*>(s.c_str())); }

// The calling thread's last error.
struct LastError {
  UNSIGNED32 code = 0;
  std::string text;
};
LastError Last();

// Windows form of a host path (through the process's drive map).
std::string Win(const std::string& host_path);

// Writes `bytes` to a host file.
void WriteFile(const std::string& host_path, const std::string& bytes);
std::string ReadFile(const std::string& host_path);

// A temporary folder with helpers to make dictionaries and tables in it.
class Workspace {
 public:
  Workspace();
  std::string Host(const std::string& name) const { return dir_.str() + "/" + name; }
  std::string Win(const std::string& name) const { return acetest::Win(Host(name)); }
  std::string WinFolder() const { return acetest::Win(dir_.str()); }

  // Creates the dictionary `name` (connected as adssys) and returns the connection.
  ADSHANDLE CreateDictionary(const std::string& name, const std::string& description = "");
  // Makes a file that stands in for a table (AdsDDAddTable checks only that it exists).
  void TouchTable(const std::string& file);

 private:
  testenv::TempDir dir_;
};

// Connects with a connect string; returns the code and stores the handle.
UNSIGNED32 Connect101(const std::string& connect_string, ADSHANDLE* handle);

// Reads an enumeration of table names; stops at 5059 (returned in *end_code).
std::vector<std::string> ListTables(ADSHANDLE connection, const std::string& pattern, UNSIGNED32* end_code);

}  // namespace acetest
