// A snapshot enumeration behind a find handle (AdsFindFirstTable, AdsDDFindFirstObject): the
// names are collected when the enumeration starts and handed out one by one.
//
// Thread safety: used by one thread at a time, like the handle it belongs to.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace engine::core {

struct Enumeration {
  // Each entry: (link name, name); the link name is empty except for the tables of linked
  // dictionaries.
  std::vector<std::pair<std::string, std::string>> entries;
  size_t next = 0;

  bool AtEnd() const { return next >= entries.size(); }
  const std::pair<std::string, std::string>& Current() const { return entries[next]; }
};

// True when `name` matches `pattern` ("*" any run, "?" one character), ignoring the case of a..z.
bool WildcardMatch(const std::string& pattern, const std::string& name);

}  // namespace engine::core
