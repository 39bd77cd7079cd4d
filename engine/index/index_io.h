// Plain file access for index files and the work files of a rebuild: whole-buffer positional
// reads and writes, flushing, atomic replacement. Every failure throws EngineError
// kIndexIoError naming the file and the system's reason.
//
// A IndexFileHandle is owned by one object and used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace engine {

class IndexFileHandle {
 public:
  IndexFileHandle() = default;
  IndexFileHandle(int fd, std::filesystem::path path) : fd_(fd), path_(std::move(path)) {}
  ~IndexFileHandle();
  IndexFileHandle(IndexFileHandle&& o) noexcept;
  IndexFileHandle& operator=(IndexFileHandle&& o) noexcept;
  IndexFileHandle(const IndexFileHandle&) = delete;
  IndexFileHandle& operator=(const IndexFileHandle&) = delete;

  static IndexFileHandle OpenExisting(const std::filesystem::path& path, bool readOnly);
  // Creates the file, replacing any file of that name.
  static IndexFileHandle CreateNew(const std::filesystem::path& path);
  // An anonymous work file in the folder; it disappears when closed, even after a crash.
  static IndexFileHandle CreateAnonymous(const std::filesystem::path& folder);

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

// Renames from over to (atomically replacing it) and, unless `syncFolder` is false, flushes the
// folder so that the rename survives a crash.
void ReplaceIndexFile(const std::filesystem::path& from, const std::filesystem::path& to, bool syncFolder = true);

}  // namespace engine
