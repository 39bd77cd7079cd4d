// File access for index files; see index_io.h.
#include "engine/index/index_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "engine/core/error.h"

namespace engine {
namespace {

[[noreturn]] void IoFail(const std::string& what, const std::filesystem::path& path, int e) {
  Fail(err::kIndexIoError, what + " \"" + path.string() + "\" failed: " + std::strerror(e));
}

}  // namespace

IndexFileHandle::~IndexFileHandle() {
  if (fd_ >= 0) ::close(fd_);
}

IndexFileHandle::IndexFileHandle(IndexFileHandle&& o) noexcept : fd_(o.fd_), path_(std::move(o.path_)) { o.fd_ = -1; }

IndexFileHandle& IndexFileHandle::operator=(IndexFileHandle&& o) noexcept {
  if (this != &o) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = o.fd_;
    path_ = std::move(o.path_);
    o.fd_ = -1;
  }
  return *this;
}

IndexFileHandle IndexFileHandle::OpenExisting(const std::filesystem::path& path, bool readOnly) {
  int fd = ::open(path.c_str(), (readOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC);
  if (fd < 0) IoFail("Opening index file", path, errno);
  return IndexFileHandle(fd, path);
}

IndexFileHandle IndexFileHandle::CreateNew(const std::filesystem::path& path) {
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) IoFail("Creating index file", path, errno);
  return IndexFileHandle(fd, path);
}

IndexFileHandle IndexFileHandle::CreateAnonymous(const std::filesystem::path& folder) {
  int fd = ::open(folder.c_str(), O_RDWR | O_TMPFILE | O_CLOEXEC, 0600);
  if (fd < 0) {
    // File systems without O_TMPFILE: create a named file and unlink it at once.
    std::string templ = (folder / "adi-work-XXXXXX").string();
    fd = ::mkostemp(templ.data(), O_CLOEXEC);
    if (fd < 0) IoFail("Creating a work file in", folder, errno);
    ::unlink(templ.c_str());
  }
  return IndexFileHandle(fd, folder / "(work file)");
}

bool IndexFileHandle::ReadAt(uint64_t offset, void* buf, size_t len) const {
  auto* p = static_cast<uint8_t*>(buf);
  while (len > 0) {
    ssize_t n = ::pread(fd_, p, len, static_cast<off_t>(offset));
    if (n < 0) {
      if (errno == EINTR) continue;
      Throw("Reading");
    }
    if (n == 0) return false;
    p += n;
    len -= static_cast<size_t>(n);
    offset += static_cast<uint64_t>(n);
  }
  return true;
}

void IndexFileHandle::WriteAt(uint64_t offset, const void* buf, size_t len) {
  const auto* p = static_cast<const uint8_t*>(buf);
  while (len > 0) {
    ssize_t n = ::pwrite(fd_, p, len, static_cast<off_t>(offset));
    if (n < 0) {
      if (errno == EINTR) continue;
      Throw("Writing");
    }
    p += n;
    len -= static_cast<size_t>(n);
    offset += static_cast<uint64_t>(n);
  }
}

uint64_t IndexFileHandle::Size() const {
  struct stat st;
  if (::fstat(fd_, &st) != 0) Throw("Examining");
  return static_cast<uint64_t>(st.st_size);
}

void IndexFileHandle::Sync() {
  if (::fsync(fd_) != 0) Throw("Flushing");
}

void IndexFileHandle::Close() {
  if (fd_ >= 0) {
    int rc = ::close(fd_);
    fd_ = -1;
    if (rc != 0) Throw("Closing");
  }
}

void IndexFileHandle::Throw(const char* what) const { IoFail(what, path_, errno); }

void ReplaceIndexFile(const std::filesystem::path& from, const std::filesystem::path& to, bool syncFolder) {
  if (::rename(from.c_str(), to.c_str()) != 0) IoFail("Replacing index file", to, errno);
  if (!syncFolder) return;
  std::filesystem::path folder = to.parent_path();
  if (folder.empty()) folder = ".";
  int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);  // best effort: some file systems refuse fsync on folders
    ::close(dfd);
  }
}

}  // namespace engine
