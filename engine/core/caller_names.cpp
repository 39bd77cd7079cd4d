#include "engine/core/caller_names.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "engine/core/guard.h"

namespace engine::core {
namespace {

thread_local std::vector<std::pair<std::string, std::string>> t_names;

// "x.adt" -> "x.adm" for both forms of a table file's name; false when it is no table file.
bool WithExtension(const std::string& path, const char* from, const char* to, std::string* out) {
  if (path.size() < 4) return false;
  std::string tail = path.substr(path.size() - 4);
  for (char& c : tail) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  if (tail != from) return false;
  *out = path.substr(0, path.size() - 4) + to;
  return true;
}

void Add(std::string host, std::string callers) {
  if (host.empty() || host == callers) return;
  for (const auto& [h, c] : t_names) {
    if (h == host) return;
  }
  t_names.emplace_back(std::move(host), std::move(callers));
  // The longest host path first, so a table's path is replaced before its folder's.
  std::stable_sort(t_names.begin(), t_names.end(),
                   [](const auto& a, const auto& b) { return a.first.size() > b.first.size(); });
}

}  // namespace

void NoteCallerName(const std::string& host_path, const std::string& callers_path) {
  if (CurrentEntryPoint().empty()) return;  // only a running entry point reports
  Add(host_path, callers_path);
  for (const char* sibling : {".adm", ".adi"}) {
    std::string host, callers;
    if (WithExtension(host_path, ".adt", sibling, &host) && WithExtension(callers_path, ".adt", sibling, &callers)) {
      Add(host, callers);
    }
  }
}

std::string InCallersTerms(std::string text) {
  for (const auto& [host, callers] : t_names) {
    for (size_t at = text.find(host); at != std::string::npos; at = text.find(host, at + callers.size())) {
      text.replace(at, host.size(), callers);
    }
  }
  return text;
}

void ForgetCallerNames() { t_names.clear(); }

}  // namespace engine::core
