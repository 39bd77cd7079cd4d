// Files and folders for the layers above the platform: the file system in use, folder creation
// and file deletion with the path checks of the original runtime, and folder enumeration with
// search records. Paths are Windows-form (or host) paths as platform/paths.h describes.
//
// The file system in use is platform::DefaultFileSystem() unless a test installs another one
// (a platform::FileSystemWrapper that injects faults) with ScopedFileSystem.
//
// Threading: the functions may be called from any thread; installing a file system is meant
// for tests and must not race with calls on other threads.
#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/file_system.h"
#include "runtime/sysutils.h"

// The file system every runtime and environment operation goes through.
platform::FileSystem& FileSystemInUse();

// Installs fs as the file system in use while it lives (not owned), restoring the previous one.
class ScopedFileSystem {
 public:
  explicit ScopedFileSystem(platform::FileSystem* fs);
  ~ScopedFileSystem();
  ScopedFileSystem(const ScopedFileSystem&) = delete;
  ScopedFileSystem& operator=(const ScopedFileSystem&) = delete;

 private:
  platform::FileSystem* previous_;
};

// Qt text to the platform's UTF-8 text and back.
std::string ToPlatform(const QString& s);
QString FromPlatform(const std::string& s);

// Attribute bits of a file or folder (platform/file_system.h kAttr...), or 0xFFFFFFFF when it
// cannot be read.
std::uint32_t FileGetAttr(const QString& fileName);
// Sets the attributes the host can represent; false when refused.
bool FileSetAttr(const QString& fileName, std::uint32_t attributes);

// The full Windows-form path: relative paths completed with the current folder, "." and ".."
// resolved.
QString ExpandFileName(const QString& fileName);

// Creates dir together with every missing parent folder. The path is expanded to a full path
// first. Raises EPathError "The specified path is too long" beyond 248 characters, "The path
// format is not supported", "Invalid characters in path" (blank path or invalid characters),
// "The drive cannot be found". A creation that the platform refuses raises nothing. Returns
// true when the folder exists afterwards.
bool ForceDirectories(const QString& dir);

// Deletes one file. Raises EPathError for a path longer than 260 characters, of unsupported
// form, with invalid characters, on a missing drive, or whose folder does not exist ("Could not
// find a part of the path '<path>'."). A refusal with error 2 (file not found), 5 (access
// denied) or 32 (sharing violation) raises EInOutError with the platform's message and that
// ErrorCode; other refusals raise nothing. Returns true when the platform deleted the file.
bool DeleteFileChecked(const QString& fileName);

// Attribute filter bits of FindFirst.
inline constexpr std::uint32_t faReadOnly = 0x01;
inline constexpr std::uint32_t faHidden = 0x02;
inline constexpr std::uint32_t faSysFile = 0x04;
inline constexpr std::uint32_t faDirectory = 0x10;
inline constexpr std::uint32_t faArchive = 0x20;
inline constexpr std::uint32_t faNormal = 0x80;
inline constexpr std::uint32_t faAnyFile = 0x1FF;

// Results of FindFirst/FindNext besides 0 (found).
inline constexpr int kFindFileNotFound = 2;   // nothing matches the pattern
inline constexpr int kFindPathNotFound = 3;   // the folder does not exist
inline constexpr int kFindNoMoreFiles = 18;   // the enumeration is exhausted

// One entry of a folder enumeration.
struct TSearchRec {
  QString Name;            // as stored on the host
  std::uint32_t Attr = 0;  // attribute bits
  std::int64_t Size = 0;   // bytes; 0 for folders
  std::int64_t TimeNs = 0; // modification time, nanoseconds since 1970-01-01 UTC

  // Internal: the remaining entries of the enumeration.
  std::vector<platform::DirEntry> pending_;
  std::size_t next_ = 0;
  std::uint32_t excludeAttr_ = 0;
};

// Starts enumerating the entries of the folder of path that match its last component (a pattern
// with "*" and "?"), in the host's own order, entries of every kind including "." and "..".
// Hidden entries, system entries and folders are included only when attr asks for them
// (faAnyFile includes everything). Returns 0 and fills rec with the first entry, or 2 when
// nothing matches, 3 when the folder is missing, 18 when entries exist but none passes the
// attribute filter, or another platform error number.
int FindFirst(const QString& path, std::uint32_t attr, TSearchRec& rec);
// Moves rec to the next entry; 0, or 18 at the end.
int FindNext(TSearchRec& rec);
// Releases what the enumeration holds.
void FindClose(TSearchRec& rec);
