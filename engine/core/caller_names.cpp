#include "engine/core/caller_names.h"

#include <algorithm>
#include <initializer_list>
#include <utility>
#include <vector>

#include "engine/core/ascii_case.h"
#include "engine/core/guard.h"

namespace engine::core {
namespace {

// The pairs noted by the running entry point: the first `count` entries of `notes`. Nearly
// every entry point notes one table, so noting must cost little: a table's pair is made once
// and shared, and the entries stay filled between entry points (forgetting only resets the
// count), so noting the pair the slot already holds costs one comparison. The sibling files and
// the order of replacement are worked out only when a message is put in the caller's terms.
struct Notes {
  std::vector<std::shared_ptr<const CallerName>> notes;
  size_t count = 0;
};
// A plain pointer, so that reaching the thread's notes costs one thread-local address and no
// initialisation check on every call; the owner frees the notes when the thread ends.
thread_local Notes* t_names = nullptr;
struct NotesOwner {
  bool armed = false;
  ~NotesOwner() {
    delete t_names;
    t_names = nullptr;
  }
};
thread_local NotesOwner t_owner;

Notes& Names() {
  Notes* names = t_names;
  if (names == nullptr) {
    t_owner.armed = true;  // constructs the owner, which registers its destructor
    names = t_names = new Notes;
  }
  return *names;
}

// The files a table file has beside it: the native table's memo and structural index; a DBF
// table's memo (dBASE or FoxPro form), structural index and the engine's own tag definitions.
struct Siblings {
  const char* table;
  std::initializer_list<const char*> beside;
};
constexpr Siblings kSiblings[] = {
    {".adt", {".adm", ".adi"}},
    {".dbf", {".dbt", ".fpt", ".cdx", ".qdx"}},
};

// "x.adt" -> "x.adm" when `path` ends in `from` (without regard to case); the new extension
// takes the case of the old one, so "X.DBF" -> "X.FPT". False when it ends otherwise.
bool WithExtension(const std::string& path, const char* from, const char* to, std::string* out) {
  if (path.size() < 4) return false;
  const std::string_view tail = std::string_view(path).substr(path.size() - 4);
  if (engine::AsciiLowerCopy(tail) != from) return false;
  std::string extension = to;
  if (tail == engine::AsciiUpperCopy(tail)) extension = engine::AsciiUpperCopy(extension);
  *out = path.substr(0, path.size() - 4) + extension;
  return true;
}

// Adds a pair unless its host path is known already (the first pair noted for a path holds).
void Add(std::vector<std::pair<std::string, std::string>>* names, std::string host, std::string callers) {
  if (host.empty() || host == callers) return;
  for (const auto& [h, c] : *names) {
    if (h == host) return;
  }
  names->emplace_back(std::move(host), std::move(callers));
}

}  // namespace

void NoteCallerName(const std::string& host_path, const std::string& callers_path) {
  if (CurrentEntryPoint().empty()) return;  // only a running entry point reports
  if (host_path.empty() || host_path == callers_path) return;
  const Notes& t = Names();
  for (size_t i = 0; i < t.count; ++i) {
    if (t.notes[i]->host == host_path) return;
  }
  NoteCallerName(std::make_shared<const CallerName>(CallerName{host_path, callers_path}));
}

void NoteCallerName(const std::shared_ptr<const CallerName>& name) {
  // Nearly every entry point notes first the pair the one before it noted first (every call on
  // a table notes the table's): the slot still holds it, checked when it was put there.
  if (name == nullptr) return;
  if (Notes* t = t_names; t != nullptr && t->count == 0 && !t->notes.empty() && t->notes[0] == name) {
    if (!CurrentEntryPoint().empty()) t->count = 1;
    return;
  }
  if (CurrentEntryPoint().empty()) return;  // only a running entry point reports
  if (name->host.empty() || name->host == name->callers) return;
  Notes& t = Names();
  for (size_t i = 0; i < t.count; ++i) {
    if (t.notes[i] == name || t.notes[i]->host == name->host) return;
  }
  if (t.count == t.notes.size()) {
    t.notes.push_back(name);
  } else if (t.notes[t.count] != name) {
    t.notes[t.count] = name;
  }
  ++t.count;
}

std::string InCallersTerms(std::string text) {
  if (t_names == nullptr || t_names->count == 0) return text;
  const Notes& t = *t_names;
  // Each noted pair, followed by the files beside a table file.
  std::vector<std::pair<std::string, std::string>> names;
  for (size_t i = 0; i < t.count; ++i) {
    const CallerName& note = *t.notes[i];
    Add(&names, note.host, note.callers);
    for (const Siblings& kind : kSiblings) {
      for (const char* sibling : kind.beside) {
        std::string host, callers;
        if (WithExtension(note.host, kind.table, sibling, &host) &&
            WithExtension(note.callers, kind.table, sibling, &callers)) {
          Add(&names, std::move(host), std::move(callers));
        }
      }
    }
  }
  // The longest host path first, so a table's path is replaced before its folder's.
  std::stable_sort(names.begin(), names.end(),
                   [](const auto& a, const auto& b) { return a.first.size() > b.first.size(); });
  for (const auto& [host, callers] : names) {
    for (size_t at = text.find(host); at != std::string::npos; at = text.find(host, at + callers.size())) {
      text.replace(at, host.size(), callers);
    }
  }
  return text;
}

void ForgetCallerNames() {
  if (Notes* names = t_names) names->count = 0;
}

}  // namespace engine::core
