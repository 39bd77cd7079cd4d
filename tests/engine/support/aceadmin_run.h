// Running the admin shell aceadmin (built beside the tests) from a test: its exit status and
// everything it printed (standard output and standard error together).
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "test_env.h"

namespace acetest {

struct ToolRun {
  int status;          // the exit status; -1 when the program did not end normally
  std::string output;  // standard output and standard error
};

inline ToolRun Aceadmin(const std::string& args) {
  std::string command = (testenv::BinDir() / "aceadmin").string() + " " + args + " 2>&1";
  ToolRun r{-1, {}};
  FILE* p = popen(command.c_str(), "r");
  if (!p) return r;
  char buf[512];
  while (size_t n = fread(buf, 1, sizeof buf, p)) r.output.append(buf, n);
  int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

// A shell-quoted argument.
inline std::string Q(const std::string& s) { return "'" + s + "'"; }

}  // namespace acetest
