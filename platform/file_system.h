// FileSystem: the files and folders of the host behind one interface, in the style of LevelDB's
// Env. Every path argument may be a Windows-form path or a host path (see paths.h); each
// implementation maps it with the process's path map before touching the host. Failures come
// back as Status with the original platform's error numbers (2 file not found, 3 path not
// found, 5 access denied, 32 sharing violation, 145 folder not empty, 183 already exists).
//
// DefaultFileSystem() is the host. FileSystemWrapper forwards every call to a target; tests
// derive from it and override single calls to inject faults (a rename that fails, a write that
// stops half-way). Composite operations (WriteFileAtomically, CreateDirectories) are written on
// top of the virtual calls so that such faults reach them.
//
// Thread safety: DefaultFileSystem() is safe for concurrent use. A WritableFile is used by one
// thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/status.h"

namespace platform {

// Attribute bits as the original platform numbers them.
inline constexpr uint32_t kAttrReadOnly = 0x01;  // no write permission bit set on the host
inline constexpr uint32_t kAttrHidden = 0x02;    // the name starts with "."
inline constexpr uint32_t kAttrSystem = 0x04;    // never set on this host
inline constexpr uint32_t kAttrDirectory = 0x10;
inline constexpr uint32_t kAttrArchive = 0x20;  // never reported; accepted and ignored when set
inline constexpr uint32_t kAttrNormal = 0x80;   // a file with none of the bits above
inline constexpr uint32_t kInvalidAttributes = 0xFFFFFFFF;

struct FileInfo {
  uint32_t attributes = 0;
  uint64_t size = 0;        // bytes; 0 for folders
  int64_t modified_ns = 0;  // modification time, nanoseconds since 1970-01-01 UTC
};

struct DirEntry {
  std::string name;  // as stored on the host
  FileInfo info;
};

// A file being written from the start. Close() must be called; destroying an open file closes
// it and ignores errors.
class WritableFile {
 public:
  virtual ~WritableFile() = default;
  virtual Status Append(const std::string& data) = 0;
  // Flushes the data to stable storage.
  virtual Status Sync() = 0;
  virtual Status Close() = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Maps `path` to the host path it names (paths.h). Fails with the path errors.
  virtual Status ResolvePath(const std::string& path, std::string* host_path) = 0;

  // Information about a file or folder (links followed). kNotFound (2) when the name is absent,
  // kPathNotFound (3) when its folder is absent.
  virtual Status GetFileInfo(const std::string& path, FileInfo* info) = 0;

  // True when a file, a folder, or either exists under that name (links followed).
  bool FileExists(const std::string& path);
  bool DirectoryExists(const std::string& path);
  bool Exists(const std::string& path);

  // Attribute bits of the name, kInvalidAttributes when it cannot be read.
  uint32_t GetAttributes(const std::string& path);

  // Sets the attributes this host can represent: kAttrReadOnly clears every write permission
  // bit, its absence restores the owner's write bit when no write bit is set. Hidden follows
  // the name and cannot be changed; the other bits are ignored.
  virtual Status SetAttributes(const std::string& path, uint32_t attributes) = 0;

  // Entries of `folder` whose names match `pattern` (text.h MatchesWildcard), in the order the
  // host's folder reading returns them, entries of every kind including dot-files. Like the
  // original platform, "." and ".." are listed for folders other than a root (a mapped drive's
  // or share's root, or the host root).
  virtual Status ListFolder(const std::string& folder, const std::string& pattern,
                            std::vector<DirEntry>* entries) = 0;

  // Creates one folder; its parent must exist (else 3). An existing name gives 183.
  virtual Status CreateDirectory(const std::string& path) = 0;

  // Removes an empty folder (145 when it has entries, 3 when absent).
  virtual Status RemoveDirectory(const std::string& path) = 0;

  // Deletes a file. As on the original platform, a read-only file is refused (5), a file that
  // another process has locked is refused (32), a missing file gives 2 and a missing folder 3.
  virtual Status DeleteFile(const std::string& path) = 0;

  // Renames a file or folder, replacing an existing file of the target name.
  virtual Status RenameFile(const std::string& from, const std::string& to) = 0;

  // Reads the whole file.
  virtual Status ReadFile(const std::string& path, std::string* contents) = 0;

  // Creates (or truncates) a file for writing.
  virtual Status NewWritableFile(const std::string& path, std::unique_ptr<WritableFile>* file) = 0;

  // Flushes a folder's entries (after a rename into it) to stable storage.
  virtual Status SyncDirectory(const std::string& path) = 0;
};

// The host's file system. Never null; lives until the process ends.
FileSystem* DefaultFileSystem();

// Forwards every call to target(). Derive and override to inject faults.
class FileSystemWrapper : public FileSystem {
 public:
  explicit FileSystemWrapper(FileSystem* target) : target_(target) {}
  FileSystem* target() const { return target_; }

  Status ResolvePath(const std::string& path, std::string* host_path) override {
    return target_->ResolvePath(path, host_path);
  }
  Status GetFileInfo(const std::string& path, FileInfo* info) override {
    return target_->GetFileInfo(path, info);
  }
  Status SetAttributes(const std::string& path, uint32_t attributes) override {
    return target_->SetAttributes(path, attributes);
  }
  Status ListFolder(const std::string& folder, const std::string& pattern,
                    std::vector<DirEntry>* entries) override {
    return target_->ListFolder(folder, pattern, entries);
  }
  Status CreateDirectory(const std::string& path) override { return target_->CreateDirectory(path); }
  Status RemoveDirectory(const std::string& path) override { return target_->RemoveDirectory(path); }
  Status DeleteFile(const std::string& path) override { return target_->DeleteFile(path); }
  Status RenameFile(const std::string& from, const std::string& to) override {
    return target_->RenameFile(from, to);
  }
  Status ReadFile(const std::string& path, std::string* contents) override {
    return target_->ReadFile(path, contents);
  }
  Status NewWritableFile(const std::string& path, std::unique_ptr<WritableFile>* file) override {
    return target_->NewWritableFile(path, file);
  }
  Status SyncDirectory(const std::string& path) override { return target_->SyncDirectory(path); }

 private:
  FileSystem* target_;  // not owned
};

// Writes `data` as the new content of `path` so that the file is either the old or the new
// version after any failure or crash: a temporary file beside it is written, synced and renamed
// over it, then the folder is synced. On failure the temporary file is removed and the old file
// is untouched.
Status WriteFileAtomically(FileSystem& fs, const std::string& path, const std::string& data);

// Creates a folder together with every missing parent. An existing folder is OK.
Status CreateDirectories(FileSystem& fs, const std::string& path);

// The folder part of a path (everything before the last "\" or "/"), "" when there is none.
std::string ParentPath(const std::string& path);

}  // namespace platform
