// A private runtime folder for a run without a desktop session.
//
// Qt keeps sockets and locks in the session's runtime folder (XDG_RUNTIME_DIR). A scheduled
// run has no session: Qt would then warn on standard error ("XDG_RUNTIME_DIR not set") and make
// "runtime-<user>" in the temporary folder, left behind after every run. When the variable is
// not set, this object makes a private folder (mode 0700) in the temporary folder, names it in
// the variable for the life of the process's Qt objects, and removes it with everything inside
// when it dies. With the variable set it does nothing.
//
// Threading: create it in main before the application object, on the main thread.
#pragma once

#include <string>

class PrivateRuntimeFolder {
 public:
  PrivateRuntimeFolder();
  ~PrivateRuntimeFolder();
  PrivateRuntimeFolder(const PrivateRuntimeFolder&) = delete;
  PrivateRuntimeFolder& operator=(const PrivateRuntimeFolder&) = delete;

  // The folder made, or "" when the session's own is used (or none could be made).
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};
