// The host's storage: POSIX files with open-file-description locks, and the memory files of
// memory_storage.h for paths in its folder.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "engine/storage/memory_storage.h"
#include "engine/storage/storage.h"

namespace engine::storage {

namespace {

int Errno() { return errno ? errno : EIO; }

int64_t Nanoseconds(const timespec& t) { return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec; }

// stat(2), or lstat(2) when `name` (the link itself rather than what it leads to).
int StatHost(const std::string& path, bool name, FileInfo* info) {
  *info = FileInfo{};
  struct stat st;
  if ((name ? ::lstat(path.c_str(), &st) : ::stat(path.c_str(), &st)) != 0) {
    return errno == ENOENT || errno == ENOTDIR ? 0 : Errno();
  }
  info->exists = true;
  info->isFolder = S_ISDIR(st.st_mode);
  info->isLink = S_ISLNK(st.st_mode);
  info->size = static_cast<uint64_t>(st.st_size);
  info->id = static_cast<uint64_t>(st.st_ino);
  info->device = static_cast<uint64_t>(st.st_dev);
  info->modifiedNs = Nanoseconds(st.st_mtim);
  info->changedNs = Nanoseconds(st.st_ctim);
  return 0;
}

class HostFile final : public File {
 public:
  HostFile(std::string path, ErrorCode code, int fd, bool writable) : File(std::move(path), code), fd_(fd) {
    SetWritable(writable);
  }
  ~HostFile() override {
    if (fd_ >= 0) ::close(fd_);
  }

  int ReadSome(uint64_t offset, void* data, size_t size, size_t* done) override {
    *done = 0;
    ssize_t n = ::pread(fd_, data, size, static_cast<off_t>(offset));
    if (n < 0) return Errno();
    *done = static_cast<size_t>(n);
    return 0;
  }

  int WriteSome(uint64_t offset, const void* data, size_t size, size_t* done) override {
    *done = 0;
    ssize_t n = ::pwrite(fd_, data, size, static_cast<off_t>(offset));
    if (n < 0) return Errno();
    *done = static_cast<size_t>(n);
    return 0;
  }

  int GetSize(uint64_t* size) override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return Errno();
    *size = static_cast<uint64_t>(st.st_size);
    return 0;
  }

  int GetId(uint64_t* id) override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return Errno();
    *id = static_cast<uint64_t>(st.st_ino);
    return 0;
  }

  int SetSize(uint64_t size) override { return ::ftruncate(fd_, static_cast<off_t>(size)) == 0 ? 0 : Errno(); }

  int Reserve(uint64_t offset, uint64_t length) override {
    return ::fallocate(fd_, FALLOC_FL_KEEP_SIZE, static_cast<off_t>(offset), static_cast<off_t>(length)) == 0 ? 0 : Errno();
  }

  int StartWriteback(uint64_t offset, uint64_t length) override {
    return ::sync_file_range(fd_, static_cast<off_t>(offset), static_cast<off_t>(length), SYNC_FILE_RANGE_WRITE) == 0 ? 0
                                                                                                               : Errno();
  }

  int SyncData() override { return ::fdatasync(fd_) == 0 ? 0 : Errno(); }

  int TryLock(uint64_t start, uint64_t length, LockKind kind) override {
    short type = kind == LockKind::kShared ? F_RDLCK : kind == LockKind::kExclusive ? F_WRLCK : F_UNLCK;
    struct flock fl = Range(type, start, length);
    return ::fcntl(fd_, F_OFD_SETLK, &fl) == 0 ? 0 : Errno();
  }

  int LockWait(uint64_t start, uint64_t length, bool exclusive) override {
    struct flock fl = Range(exclusive ? F_WRLCK : F_RDLCK, start, length);
    return ::fcntl(fd_, F_OFD_SETLKW, &fl) == 0 ? 0 : Errno();
  }

  int QueryLock(uint64_t start, uint64_t length, bool* held) override {
    struct flock fl = Range(F_WRLCK, start, length);
    if (::fcntl(fd_, F_OFD_GETLK, &fl) != 0) return Errno();
    *held = fl.l_type != F_UNLCK;
    return 0;
  }

 private:
  static struct flock Range(short type, uint64_t start, uint64_t length) {
    struct flock fl;
    memset(&fl, 0, sizeof fl);
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(start);
    fl.l_len = static_cast<off_t>(length);
    fl.l_pid = 0;  // required for OFD locks
    return fl;
  }

  int fd_;
};

class HostStorage final : public Storage {
 public:
  int Open(const std::string& path, OpenMode mode, ErrorCode code, std::unique_ptr<File>* file) override {
    if (InMemory(path)) return Memory().Open(path, mode, code, file);
    int flags = O_CLOEXEC;
    switch (mode) {
      case OpenMode::kRead:
        flags |= O_RDONLY;
        break;
      case OpenMode::kReadWrite:
        flags |= O_RDWR;
        break;
      case OpenMode::kCreate:
        flags |= O_RDWR | O_CREAT | O_TRUNC;
        break;
      case OpenMode::kCreateNew:
        flags |= O_RDWR | O_CREAT | O_EXCL;
        break;
      case OpenMode::kOpenOrCreate:
        flags |= O_RDWR | O_CREAT;
        break;
    }
    int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0) return Errno();
    *file = std::make_unique<HostFile>(path, code, fd, mode != OpenMode::kRead);
    return 0;
  }

  int OpenWorkFile(const std::string& folder, ErrorCode code, std::unique_ptr<File>* file) override {
    if (InMemory(folder)) return Memory().OpenWorkFile(folder, code, file);
    int fd = ::open(folder.c_str(), O_RDWR | O_TMPFILE | O_CLOEXEC, 0600);
    if (fd < 0) {
      // File systems without O_TMPFILE: a named file removed at once.
      std::string templ = folder + "/ace-work-XXXXXX";
      fd = ::mkostemp(templ.data(), O_CLOEXEC);
      if (fd < 0) return Errno();
      ::unlink(templ.c_str());
    }
    *file = std::make_unique<HostFile>(folder + "/(work file)", code, fd, true);
    return 0;
  }

  int Rename(const std::string& from, const std::string& to) override {
    if (InMemory(from) || InMemory(to)) return Memory().Rename(from, to);
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : Errno();
  }

  int Link(const std::string& from, const std::string& to) override {
    if (InMemory(from) || InMemory(to)) return Memory().Link(from, to);
    return ::link(from.c_str(), to.c_str()) == 0 ? 0 : Errno();
  }

  int Remove(const std::string& path) override {
    if (InMemory(path)) return Memory().Remove(path);
    return ::unlink(path.c_str()) == 0 ? 0 : Errno();
  }

  int SyncFolder(const std::string& folder) override {
    if (InMemory(folder)) return Memory().SyncFolder(folder);
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return Errno();
    int e = ::fsync(fd) == 0 ? 0 : Errno();
    ::close(fd);
    return e;
  }

  int Stat(const std::string& path, FileInfo* info) override {
    if (InMemory(path)) return Memory().Stat(path, info);
    return StatHost(path, false, info);
  }

  int StatName(const std::string& path, FileInfo* info) override {
    // Memory files have no links: a name is always the file's own.
    if (InMemory(path)) return Memory().Stat(path, info);
    return StatHost(path, true, info);
  }

  int List(const std::string& folder, const std::string& prefix, std::vector<std::string>* names) override {
    if (InMemory(folder)) return Memory().List(folder, prefix, names);
    names->clear();
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return Errno();
    errno = 0;
    while (dirent* e = ::readdir(dir)) {
      if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
      if (std::strncmp(e->d_name, prefix.c_str(), prefix.size()) == 0) names->push_back(e->d_name);
    }
    int e = errno;
    ::closedir(dir);
    return e;
  }
};

}  // namespace

Storage& Host() {
  static HostStorage host;
  return host;
}

}  // namespace engine::storage
