// The host's FileSystem over POSIX calls, and the composite operations built on the interface.
// Host errors are translated into the original platform's numbers: a missing name is 2 when its
// folder exists and 3 when the folder is missing too.
#include "platform/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "platform/paths.h"
#include "platform/text.h"

namespace platform {
namespace {

std::string StripTrailingSlash(std::string host) {
  while (host.size() > 1 && host.back() == '/') host.pop_back();
  return host;
}

std::string HostParent(const std::string& host) {
  size_t slash = host.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return host.substr(0, slash);
}

std::string HostName(const std::string& host) {
  size_t slash = host.find_last_of('/');
  return slash == std::string::npos ? host : host.substr(slash + 1);
}

bool IsHostDirectory(const std::string& host) {
  struct stat st;
  return stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// ENOENT means 2 when the folder of the name exists, else 3.
Status ErrnoStatus(int err, const std::string& host, const std::string& path) {
  if (err == ENOENT && !IsHostDirectory(HostParent(host))) {
    return Status::Error(StatusCode::kPathNotFound).WithDetail(path);
  }
  return Status::FromErrno(err, path);
}

uint32_t AttributesOf(const struct stat& st, const std::string& name) {
  uint32_t attributes = 0;
  if (S_ISDIR(st.st_mode)) attributes |= kAttrDirectory;
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) attributes |= kAttrReadOnly;
  if (!name.empty() && name[0] == '.' && name != "." && name != "..") attributes |= kAttrHidden;
  if (attributes == 0) attributes = kAttrNormal;
  return attributes;
}

FileInfo InfoOf(const struct stat& st, const std::string& name) {
  FileInfo info;
  info.attributes = AttributesOf(st, name);
  info.size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
  info.modified_ns = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return info;
}

class PosixWritableFile : public WritableFile {
 public:
  PosixWritableFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~PosixWritableFile() override {
    if (fd_ >= 0) ::close(fd_);  // errors of an unclosed file are the caller's to have checked
  }

  Status Append(const std::string& data) override {
    if (fd_ < 0) return Status::Error(StatusCode::kInvalidArgument, "The file is closed.");
    size_t done = 0;
    while (done < data.size()) {
      ssize_t n = ::write(fd_, data.data() + done, data.size() - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        return Status::FromErrno(errno, path_);
      }
      done += static_cast<size_t>(n);
    }
    return Status::OK();
  }

  Status Sync() override {
    if (fd_ < 0) return Status::Error(StatusCode::kInvalidArgument, "The file is closed.");
    if (::fsync(fd_) != 0) return Status::FromErrno(errno, path_);
    return Status::OK();
  }

  Status Close() override {
    if (fd_ < 0) return Status::OK();
    int rc = ::close(fd_);
    fd_ = -1;
    if (rc != 0) return Status::FromErrno(errno, path_);
    return Status::OK();
  }

 private:
  int fd_;
  std::string path_;
};

// True when another open file description holds a lock on part of the file, which on the
// original platform would keep the file from being deleted.
bool LockedByOthers(const std::string& host) {
  int fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  struct flock probe {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  probe.l_start = 0;
  probe.l_len = 0;
  bool locked = fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
  ::close(fd);
  return locked;
}

class PosixFileSystem : public FileSystem {
 public:
  Status ResolvePath(const std::string& path, std::string* host_path) override {
    return ToHostPath(path, host_path);
  }

  Status GetFileInfo(const std::string& path, FileInfo* info) override {
    std::string host;
    Status s = Resolve(path, &host);
    if (!s.ok()) return s;
    struct stat st;
    if (::stat(host.c_str(), &st) != 0) return ErrnoStatus(errno, host, path);
    *info = InfoOf(st, HostName(host));
    return Status::OK();
  }

  Status SetAttributes(const std::string& path, uint32_t attributes) override {
    std::string host;
    Status s = Resolve(path, &host);
    if (!s.ok()) return s;
    struct stat st;
    if (::stat(host.c_str(), &st) != 0) return ErrnoStatus(errno, host, path);
    mode_t mode = st.st_mode & 07777;
    const mode_t write_bits = S_IWUSR | S_IWGRP | S_IWOTH;
    if (attributes != kInvalidAttributes && (attributes & kAttrReadOnly)) {
      mode &= ~write_bits;
    } else if ((mode & write_bits) == 0) {
      mode |= S_IWUSR;
    }
    if (mode != (st.st_mode & 07777) && ::chmod(host.c_str(), mode) != 0)
      return ErrnoStatus(errno, host, path);
    return Status::OK();
  }

  Status ListFolder(const std::string& folder, const std::string& pattern,
                    std::vector<DirEntry>* entries) override {
    entries->clear();
    std::string host;
    Status s = Resolve(folder, &host);
    if (!s.ok()) return s;
    DIR* dir = ::opendir(host.c_str());
    if (dir == nullptr) {
      if (errno == ENOENT || errno == ENOTDIR)
        return Status::Error(StatusCode::kPathNotFound).WithDetail(folder);
      return Status::FromErrno(errno, folder);
    }
    const bool root = IsRootPath(folder) || host == "/";
    const int dir_fd = ::dirfd(dir);
    errno = 0;
    while (dirent* e = ::readdir(dir)) {
      std::string name = e->d_name;
      const bool dots = name == "." || name == "..";
      if (dots && root) continue;
      if (!MatchesWildcard(pattern, name)) continue;
      struct stat st;
      if (::fstatat(dir_fd, e->d_name, &st, 0) != 0 &&
          ::fstatat(dir_fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        continue;  // vanished while we read the folder
      }
      entries->push_back({std::move(name), InfoOf(st, e->d_name)});
      errno = 0;
    }
    const int err = errno;
    ::closedir(dir);
    if (err != 0) return Status::FromErrno(err, folder);
    return Status::OK();
  }

  Status CreateDirectory(const std::string& path) override {
    std::string host;
    Status s = Resolve(path, &host);
    if (!s.ok()) return s;
    if (::mkdir(host.c_str(), 0777) != 0) {
      if (errno == ENOENT || errno == ENOTDIR)
        return Status::Error(StatusCode::kPathNotFound).WithDetail(path);
      return Status::FromErrno(errno, path);
    }
    return Status::OK();
  }

  Status RemoveDirectory(const std::string& path) override {
    std::string host;
    Status s = Resolve(path, &host);
    if (!s.ok()) return s;
    if (::rmdir(host.c_str()) != 0) {
      if (errno == EEXIST || errno == ENOTEMPTY) return Status::Error(StatusCode::kNotEmpty).WithDetail(path);
      if (errno == ENOTDIR)
        return Status::Error(StatusCode::kInvalidArgument, "The directory name is invalid.", 267)
            .WithDetail(path);
      return ErrnoStatus(errno, host, path);
    }
    return Status::OK();
  }

  Status DeleteFile(const std::string& path) override {
    std::string host;
    Status s = Resolve(path, &host);
    if (!s.ok()) return s;
    struct stat st;
    if (::lstat(host.c_str(), &st) != 0) return ErrnoStatus(errno, host, path);
    if (S_ISDIR(st.st_mode)) return Status::Error(StatusCode::kAccessDenied).WithDetail(path);
    if (S_ISREG(st.st_mode)) {
      if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return Status::Error(StatusCode::kAccessDenied).WithDetail(path + ": read-only");
      if (LockedByOthers(host)) return Status::Error(StatusCode::kSharingViolation).WithDetail(path);
    }
    if (::unlink(host.c_str()) != 0) return ErrnoStatus(errno, host, path);
    return Status::OK();
  }

  Status RenameFile(const std::string& from, const std::string& to) override {
    std::string host_from, host_to;
    Status s = Resolve(from, &host_from);
    if (!s.ok()) return s;
    s = Resolve(to, &host_to);
    if (!s.ok()) return s;
    if (::rename(host_from.c_str(), host_to.c_str()) != 0) {
      const int err = errno;
      if (err == ENOENT && ::access(host_from.c_str(), F_OK) == 0)
        return Status::Error(StatusCode::kPathNotFound).WithDetail(to);
      return ErrnoStatus(err, host_from, from);
    }
    return Status::OK();
  }

  Status ReadFile(const std::string& path, std::string* contents) override {
    contents->clear();
    std::string host;
    Status s = Resolve(path, &host);
    if (!s.ok()) return s;
    int fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return ErrnoStatus(errno, host, path);
    char buffer[65536];
    for (;;) {
      ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n < 0) {
        if (errno == EINTR) continue;
        const int err = errno;
        ::close(fd);
        return Status::FromErrno(err == EISDIR ? EACCES : err, path);
      }
      if (n == 0) break;
      contents->append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return Status::OK();
  }

  Status NewWritableFile(const std::string& path, std::unique_ptr<WritableFile>* file) override {
    file->reset();
    std::string host;
    Status s = Resolve(path, &host);
    if (!s.ok()) return s;
    int fd = ::open(host.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return ErrnoStatus(errno, host, path);
    *file = std::make_unique<PosixWritableFile>(fd, path);
    return Status::OK();
  }

  Status SyncDirectory(const std::string& path) override {
    std::string host;
    Status s = Resolve(path, &host);
    if (!s.ok()) return s;
    int fd = ::open(host.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return ErrnoStatus(errno, host, path);
    int rc = ::fsync(fd);
    const int err = errno;
    ::close(fd);
    if (rc != 0 && err != EINVAL) return Status::FromErrno(err, path);
    return Status::OK();
  }

 private:
  static Status Resolve(const std::string& path, std::string* host) {
    Status s = ToHostPath(path, host);
    if (s.ok()) *host = StripTrailingSlash(std::move(*host));
    return s;
  }
};

}  // namespace

bool FileSystem::FileExists(const std::string& path) {
  FileInfo info;
  return GetFileInfo(path, &info).ok() && (info.attributes & kAttrDirectory) == 0;
}

bool FileSystem::DirectoryExists(const std::string& path) {
  FileInfo info;
  return GetFileInfo(path, &info).ok() && (info.attributes & kAttrDirectory) != 0;
}

bool FileSystem::Exists(const std::string& path) {
  FileInfo info;
  return GetFileInfo(path, &info).ok();
}

uint32_t FileSystem::GetAttributes(const std::string& path) {
  FileInfo info;
  if (!GetFileInfo(path, &info).ok()) return kInvalidAttributes;
  return info.attributes;
}

FileSystem* DefaultFileSystem() {
  static PosixFileSystem* fs = new PosixFileSystem;  // never destroyed: used during exit
  return fs;
}

std::string ParentPath(const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && (p.back() == '\\' || p.back() == '/') && !IsRootPath(p)) p.pop_back();
  if (IsRootPath(p)) return {};
  size_t sep = p.find_last_of("\\/");
  if (sep == std::string::npos) {
    // "C:name" lies on the drive's root.
    if (p.size() > 2 && p[1] == ':') return p.substr(0, 2);
    return {};
  }
  std::string parent = p.substr(0, sep + 1);
  if (IsRootPath(parent)) return parent;
  if (sep == 0) return parent;  // "\name": the current drive's root
  parent.pop_back();
  // "\\server\share" is the parent of "\\server\share\name".
  return parent;
}

Status WriteFileAtomically(FileSystem& fs, const std::string& path, const std::string& data) {
  static std::atomic<uint64_t> counter{0};
  const std::string temp =
      path + ".~" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1)) + ".tmp";
  std::unique_ptr<WritableFile> file;
  Status s = fs.NewWritableFile(temp, &file);
  if (!s.ok()) return s;
  s = file->Append(data);
  if (s.ok()) s = file->Sync();
  Status closed = file->Close();
  if (s.ok()) s = closed;
  if (s.ok()) s = fs.RenameFile(temp, path);
  if (!s.ok()) {
    // The old file was never touched; only the partial temporary file goes.
    Status removed = fs.DeleteFile(temp);
    (void)removed;  // a temporary file that cannot be removed changes nothing for the caller
    return s;
  }
  const std::string folder = ParentPath(path);
  return fs.SyncDirectory(folder.empty() ? "." : folder);
}

Status CreateDirectories(FileSystem& fs, const std::string& path) {
  if (fs.DirectoryExists(path)) return Status::OK();
  const std::string parent = ParentPath(path);
  if (!parent.empty() && parent != path) {
    Status s = CreateDirectories(fs, parent);
    if (!s.ok()) return s;
  }
  Status s = fs.CreateDirectory(path);
  if (s.code() == StatusCode::kAlreadyExists && fs.DirectoryExists(path)) return Status::OK();
  return s;
}

}  // namespace platform
