// Folders the shell and the process know: the temporary folder, special folders by the original
// platform's numbers, and the folder of the running executable. All come back in Windows form
// (paths.h ToWindowsPath): on the mapped drive that contains them, else as host paths.
//
// Thread safety: safe from any thread. The executable-folder override is process-wide.
#pragma once

#include <string>

namespace platform {

// Special folder numbers supported here.
inline constexpr int kFolderPersonal = 5;  // the user's documents

// $TMPDIR, else /tmp, in Windows form with trailing backslash ("C:\tmp\").
std::string TempFolder();

// The folder of a special folder number without trailing backslash, "" for numbers not
// supported. 5: $XDG_DOCUMENTS_DIR, else the XDG_DOCUMENTS_DIR line of
// $XDG_CONFIG_HOME/user-dirs.dirs (or ~/.config/user-dirs.dirs), else ~/Documents.
std::string SpecialFolder(int number);

// The executable's folder in Windows form with trailing backslash. Settings and branding files
// are looked up there. $PELLMAR_EXE_DIR (a host or Windows-form folder) overrides the real one,
// and SetExecutableFolderOverride() overrides both.
std::string ExecutableFolder();

// The same folder as a host path without trailing "/".
std::string ExecutableHostFolder();

// Makes ExecutableFolder() return `folder` (host or Windows form); "" restores the default.
void SetExecutableFolderOverride(const std::string& folder);

}  // namespace platform
