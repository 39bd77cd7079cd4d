// An open host file for the table and memo layers: positional reads and writes that either
// transfer every byte or throw EngineError(kTableIoError) naming the file, and OFD byte-range
// locks (fcntl F_OFD_SETLK), which belong to this open file description: two handles on one
// file conflict even inside one process, and a process's locks vanish when it dies.
//
// Not copyable; movable. REQUIRES: external synchronization.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace engine {

class FileHandle {
 public:
  enum class Mode { kReadOnly, kReadWrite, kCreateNew };  // kCreateNew truncates or creates

  FileHandle() = default;
  ~FileHandle();
  FileHandle(FileHandle&& other) noexcept;
  FileHandle& operator=(FileHandle&& other) noexcept;
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  // Opens `path`; on failure returns an invalid handle and sets *error to errno.
  static FileHandle Open(const std::string& path, Mode mode, int* error);

  bool valid() const { return fd_ >= 0; }
  bool writable() const { return writable_; }
  const std::string& path() const { return path_; }
  int fd() const { return fd_; }

  void ReadExact(uint64_t offset, void* data, size_t size) const;
  // Reads up to size bytes; returns the count (short at end of file).
  size_t ReadSome(uint64_t offset, void* data, size_t size) const;
  void WriteExact(uint64_t offset, const void* data, size_t size);
  uint64_t Size() const;
  void Truncate(uint64_t size);
  void Sync();
  void Close();

  // Byte-range locks. Try* never block and answer false on a conflict; LockWait blocks.
  bool TryLock(uint64_t start, uint64_t length, bool exclusive);
  void LockWait(uint64_t start, uint64_t length, bool exclusive);
  void Unlock(uint64_t start, uint64_t length);
  // Whether another open file description holds a lock that would conflict with an exclusive
  // lock over the range.
  bool LockedByOthers(uint64_t start, uint64_t length) const;

 private:
  [[noreturn]] void IoFail(const char* what, int error) const;
  int fd_ = -1;
  bool writable_ = false;
  std::string path_;
};

}  // namespace engine
