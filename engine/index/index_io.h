// Plain file access for index files and the work files of a rebuild: whole-buffer positional
// reads and writes, flushing, atomic replacement. Every failure throws EngineError
// kIndexIoError naming the file and the system's reason.
//
// A FileHandle is owned by one object and used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace engine {

class FileHandle {
 public:
  FileHandle() = default;
  FileHandle(int fd, std::filesystem::path path) : fd_(fd), path_(std::move(path)) {}
  ~FileHandle();
  FileHandle(FileHandle&& o) noexcept;
  FileHandle& operator=(FileHandle&& o) noexcept;
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  static FileHandle OpenExisting(const std::filesystem::path& path, bool readOnly);
  // Creates the file, replacing any file of that name.
  static FileHandle CreateNew(const std::filesystem::path& path);
  // An anonymous work file in the folder; it disappears when closed, even after a crash.
  static FileHandle CreateAnonymous(const std::filesystem::path& folder);

  bool valid() const { return fd_ >= 0; }
  const std::filesystem::path& path() const { return path_; }

  // Reads exactly len bytes at offset; returns false when the file ends first.
  bool ReadAt(uint64_t offset, void* buf, size_t len) const;
  void WriteAt(uint64_t offset, const void* buf, size_t len);
  uint64_t Size() const;
  void Sync();
  void Close();

 private:
  [[noreturn]] void Throw(const char* what) const;

  int fd_ = -1;
  std::filesystem::path path_;
};

// Renames from over to (atomically replacing it) and flushes the folder so that the rename
// survives a crash.
void ReplaceFile(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace engine
