#include "engine/table/file_handle.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

#include "engine/core/error.h"

namespace engine {

FileHandle::~FileHandle() { Close(); }

FileHandle::FileHandle(FileHandle&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), writable_(other.writable_), path_(std::move(other.path_)) {}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
    writable_ = other.writable_;
    path_ = std::move(other.path_);
  }
  return *this;
}

FileHandle FileHandle::Open(const std::string& path, Mode mode, int* error) {
  int flags = O_CLOEXEC;
  switch (mode) {
    case Mode::kReadOnly:
      flags |= O_RDONLY;
      break;
    case Mode::kReadWrite:
      flags |= O_RDWR;
      break;
    case Mode::kCreateNew:
      flags |= O_RDWR | O_CREAT | O_TRUNC;
      break;
  }
  FileHandle h;
  h.fd_ = ::open(path.c_str(), flags, 0666);
  if (h.fd_ < 0) {
    if (error) *error = errno;
    return h;
  }
  h.writable_ = mode != Mode::kReadOnly;
  h.path_ = path;
  return h;
}

void FileHandle::IoFail(const char* what, int error) const {
  Fail(err::kTableIoError, std::string("Cannot ") + what + " \"" + path_ + "\": " + strerror(error) + ".");
}

void FileHandle::ReadExact(uint64_t offset, void* data, size_t size) const {
  size_t got = ReadSome(offset, data, size);
  if (got != size) {
    Fail(err::kTableTruncated, "The file \"" + path_ + "\" ends before offset " + std::to_string(offset + size) + ".");
  }
}

size_t FileHandle::ReadSome(uint64_t offset, void* data, size_t size) const {
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::pread(fd_, static_cast<char*>(data) + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      IoFail("read", errno);
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

void FileHandle::WriteExact(uint64_t offset, const void* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::pwrite(fd_, static_cast<const char*>(data) + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      IoFail("write", errno);
    }
    done += static_cast<size_t>(n);
  }
}

uint64_t FileHandle::Size() const {
  struct stat st;
  if (::fstat(fd_, &st) != 0) IoFail("examine", errno);
  return static_cast<uint64_t>(st.st_size);
}

void FileHandle::Truncate(uint64_t size) {
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) IoFail("resize", errno);
}

void FileHandle::Sync() {
  if (::fdatasync(fd_) != 0) IoFail("flush", errno);
}

void FileHandle::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

namespace {

struct flock Range(short type, uint64_t start, uint64_t length) {
  struct flock fl;
  memset(&fl, 0, sizeof fl);
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(start);
  fl.l_len = static_cast<off_t>(length);
  fl.l_pid = 0;  // required for OFD locks
  return fl;
}

}  // namespace

bool FileHandle::TryLock(uint64_t start, uint64_t length, bool exclusive) {
  struct flock fl = Range(exclusive ? F_WRLCK : F_RDLCK, start, length);
  while (::fcntl(fd_, F_OFD_SETLK, &fl) != 0) {
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EACCES) return false;
    IoFail("lock", errno);
  }
  return true;
}

void FileHandle::LockWait(uint64_t start, uint64_t length, bool exclusive) {
  struct flock fl = Range(exclusive ? F_WRLCK : F_RDLCK, start, length);
  while (::fcntl(fd_, F_OFD_SETLKW, &fl) != 0) {
    if (errno == EINTR) continue;
    IoFail("lock", errno);
  }
}

void FileHandle::Unlock(uint64_t start, uint64_t length) {
  struct flock fl = Range(F_UNLCK, start, length);
  while (::fcntl(fd_, F_OFD_SETLK, &fl) != 0) {
    if (errno == EINTR) continue;
    IoFail("unlock", errno);
  }
}

bool FileHandle::LockedByOthers(uint64_t start, uint64_t length) const {
  struct flock fl = Range(F_WRLCK, start, length);
  while (::fcntl(fd_, F_OFD_GETLK, &fl) != 0) {
    if (errno == EINTR) continue;
    IoFail("query the locks of", errno);
  }
  return fl.l_type != F_UNLCK;
}

}  // namespace engine
