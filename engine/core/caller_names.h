// Files in messages as the caller named them.
//
// The engine's file code works on host paths ("/srv/pellmar/DB/items.adt") and its messages
// name the file it failed on. Callers named that file otherwise ("C:\PellmarData\DB\items.adt"
// in the ANSI code page), and logs show their form. While an entry point runs, the code that
// turns a caller's name into a host path notes the pair here; when the entry point fails, its
// message has every noted host path replaced by the caller's form. The notes end with the
// entry point.
//
// Thread safety: the notes are per thread.
#pragma once

#include <memory>
#include <string>

namespace engine::core {

// A file's host path and the caller's name for it (ANSI, Windows form).
struct CallerName {
  std::string host;
  std::string callers;
};

// Notes that `host_path` is known to the caller as `callers_path` for the rest of the running
// entry point; the memo and structural index files beside a table file are noted with it.
void NoteCallerName(const std::string& host_path, const std::string& callers_path);

// The same for a pair made once and kept by its owner (an open table's): noting it again, as
// nearly every call on a table does, copies no text.
void NoteCallerName(const std::shared_ptr<const CallerName>& name);

// `text` with every noted host path replaced by the caller's form.
std::string InCallersTerms(std::string text);

// Forgets the notes (at the end of the outermost entry point).
void ForgetCallerNames();

}  // namespace engine::core
