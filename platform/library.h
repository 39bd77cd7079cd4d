// Loading a shared library by name and resolving its symbols, as the original platform's
// LoadLibrary and GetProcAddress do for the components. A bare name is looked for beside the
// executable first (shell_folders.h ExecutableHostFolder), then through the system's search path;
// a name of the original platform's form ("ACE32.DLL") is also tried as the host's file name
// ("libace32.so"). A name with a "/" is opened as it is. Libraries are opened with
// RTLD_NOW | RTLD_LOCAL so that their symbols never mix with the caller's.
//
// Failures carry the original platform's error numbers and texts: 126 "The specified module could
// not be found." and 127 "The specified procedure could not be found."; detail() holds the
// loader's own text.
//
// Thread safety: safe from any thread. A Library must outlive every symbol taken from it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/status.h"

namespace platform {

class Library {
 public:
  ~Library();
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  // Loads `name` as described above.
  static Status Load(const std::string& name, std::unique_ptr<Library>* out);

  // The host file names tried for `name`, in order (for diagnostics and tests).
  static std::vector<std::string> Candidates(const std::string& name);

  // Resolves a symbol; kNotFound with error 127 when the library lacks it.
  Status Symbol(const std::string& name, void** address) const;

  // The file that was opened.
  const std::string& path() const { return path_; }

 private:
  Library(void* handle, std::string path) : handle_(handle), path_(std::move(path)) {}
  void* handle_;
  std::string path_;
};

}  // namespace platform
