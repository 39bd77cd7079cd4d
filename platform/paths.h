// Windows-form paths on this host. The system keeps the paths of the original platform: drive
// paths ("C:\PellmarData\"), UNC paths ("\\server\share\dir"), rooted and relative paths; both
// "\" and "/" separate components. A path that starts with "/" is a host path already.
//
// PathMap says where drives and UNC shares live on the host. The process's map comes from the
// machine hive (keys "SOFTWARE\Pellmar\Host\Drives" and "SOFTWARE\Pellmar\Host\Shares") and is
// replaced by the environment variables PELLMAR_DRIVES ("C=/;D=/mnt/data") and PELLMAR_SHARES
// ("fileserver/pellmar$=/srv/pellmar") when they are set. With no configuration `C:` is the
// host root "/".
//
// Mapping to a host path resolves "." and ".." lexically (never above a drive's or share's
// root), and matches each component without regard to the case of a..z when the exact name is
// absent (the folder is scanned; among several matches the smallest name in byte order wins).
// Components that do not exist are kept as given, so new files are created with the name the
// caller chose.
//
// Thread safety: all functions are safe to call from any thread. The process map is cached and
// reloaded when the environment variables or the machine hive file change.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/status.h"

namespace platform {

struct DriveMapping {
  char letter = 'C';  // upper-case 'A'..'Z'
  std::string root;   // host folder, absolute, without trailing "/" unless it is "/"
};

struct ShareMapping {
  std::string server;  // matched without case
  std::string share;   // matched without case
  std::string root;    // host folder, absolute
};

struct PathMap {
  std::vector<DriveMapping> drives;
  std::vector<ShareMapping> shares;

  // The default: `C:` is "/", no shares.
  static PathMap Default();

  // Host root of a drive letter (either case), or nullptr when the drive is not mapped.
  const std::string* DriveRoot(char letter) const;

  // Host root of \\server\share, or nullptr when the share is not mapped.
  const std::string* ShareRoot(const std::string& server, const std::string& share) const;
};

// Parses "C=/;D=/mnt/data" (letters either case, ":" after the letter allowed, entries separated
// by ";", blanks around entries ignored). On success replaces out->drives. A malformed entry gives
// kInvalidArgument naming it.
Status ParseDriveMap(const std::string& text, PathMap* out);

// Parses "fileserver/pellmar$=/srv/pellmar;other/share=/x". On success replaces out->shares.
Status ParseShareMap(const std::string& text, PathMap* out);

// The process's map: machine hive values, then the environment overrides, else the default.
// A malformed hive or override is reported through the returned status and the default (or the
// hive's map, for a bad override) is used in `*out`.
Status LoadProcessPathMap(PathMap* out);

// Cached LoadProcessPathMap() result (errors ignored, see above).
PathMap ProcessPathMap();

// The process's current folder as a host path.
std::string CurrentHostFolder();

// Outcome of CheckPath: kOk, kPathTooLong, kUnsupportedFormat, kInvalidCharacters or
// kDriveNotFound, with the message the runtime raises:
//   "The specified path is too long", "The path format is not supported",
//   "Invalid characters in path", "The drive cannot be found".
// Checks in this order: blank path or characters < > " | ? * and control characters; a ":"
// anywhere but after a drive letter at the start and device forms ("\\?\", "\\.\"); the length
// of the full path (relative paths completed with the current folder) in UTF-16 characters
// against max_length (0: no limit); a drive letter or UNC share that the map does not know.
Status CheckPath(const std::string& path, size_t max_length, const PathMap& map);
Status CheckPath(const std::string& path, size_t max_length);  // process map

// The full Windows-form path: relative paths completed with the current folder (in Windows form),
// "." and ".." resolved, separators turned into "\". A trailing separator is kept. Host paths
// (starting with "/") are returned normalised with "/".
std::string FullPath(const std::string& path, const PathMap& map);
std::string FullPath(const std::string& path);

// Maps a Windows-form (or host) path to the host path of the file it names, as described above.
// Fails with kInvalidCharacters, kUnsupportedFormat or kDriveNotFound (no length limit).
Status ToHostPath(const std::string& path, const PathMap& map, std::string* host_path);
Status ToHostPath(const std::string& path, std::string* host_path);  // process map
// The host path ToHostPath gives for `path` when every name in it exists as written (none
// matched without regard to case): the mapping alone, without looking at the disk. A caller
// that has just opened that host path knows ToHostPath would give it, and saves its look-ups.
Status ToHostPathAsWritten(const std::string& path, std::string* host_path);  // process map

// Hands a host path back in Windows form: on the mapped drive whose root contains it (the longest
// such root wins), e.g. "/home/u/x" -> "C:\home\u\x" with the default map; a host path when no
// mapped drive contains it. A trailing "/" becomes a trailing "\".
std::string ToWindowsPath(const std::string& host_path, const PathMap& map);
std::string ToWindowsPath(const std::string& host_path);  // process map

// True when the path names a root: a drive's root ("C:\", "d:"), a share's root
// ("\\server\share\") or the host root ("/"), also after "." and ".." are resolved.
bool IsRootPath(const std::string& path);

// "dir\" for "dir"; unchanged when it already ends with "\" or "/"; "\" for the empty text.
std::string WithTrailingBackslash(const std::string& path);

}  // namespace platform
