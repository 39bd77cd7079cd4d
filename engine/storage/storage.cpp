// The helpers of storage.h over the primitives, and the choice of the current storage.
#include "engine/storage/storage.h"

#include <errno.h>
#include <string.h>

#include <atomic>

namespace engine::storage {

namespace {

std::atomic<Storage*> gCurrent{nullptr};

}  // namespace

std::string Reason(int error) {
  if (error == ENOSPC || error == EDQUOT) return std::string("the disk is full (") + strerror(error) + ")";
  return strerror(error);
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

ErrorCode HostErrorCode(int error, ErrorCode code) {
  switch (error) {
    case ENOSPC:
    case EDQUOT:
      return err::kDiskFull;
    case EACCES:
    case EPERM:
    case EROFS:
      return err::kAccessDenied;
    default:
      return code;
  }
}

void FailHost(ErrorCode code, int error, const std::string& what) {
  engine::Fail(HostErrorCode(error, code), what + ": " + Reason(error) + ".");
}

void File::Throw(const char* what, int error) const {
  FailHost(code_, error, std::string("Cannot ") + what + " \"" + path_ + "\"");
}

size_t File::Read(uint64_t offset, void* data, size_t size) {
  size_t total = 0;
  while (total < size) {
    size_t done = 0;
    int e = ReadSome(offset + total, static_cast<char*>(data) + total, size - total, &done);
    if (e == EINTR) continue;
    if (e != 0) Throw("read", e);
    if (done == 0) break;
    total += done;
  }
  return total;
}

void File::ReadExact(uint64_t offset, void* data, size_t size) {
  if (Read(offset, data, size) != size) {
    engine::Fail(err::kTableTruncated, "The file \"" + path_ + "\" ends before offset " + std::to_string(offset + size) + ".");
  }
}

void File::Write(uint64_t offset, const void* data, size_t size) {
  size_t total = 0;
  while (total < size) {
    size_t done = 0;
    int e = WriteSome(offset + total, static_cast<const char*>(data) + total, size - total, &done);
    if (e == EINTR) continue;
    if (e != 0) Throw("write", e);
    // A host that accepts nothing without saying why would loop forever.
    if (done == 0) Throw("write", EIO);
    total += done;
  }
}

uint64_t File::Size() {
  uint64_t size = 0;
  if (int e = GetSize(&size)) Throw("examine", e);
  return size;
}

void File::Truncate(uint64_t size) {
  if (int e = SetSize(size)) Throw("resize", e);
}

void File::Sync() {
  int e;
  while ((e = SyncData()) == EINTR) {}
  if (e != 0) Throw("flush", e);
}

bool File::Lock(uint64_t start, uint64_t length, bool exclusive) {
  int e;
  while ((e = TryLock(start, length, exclusive ? LockKind::kExclusive : LockKind::kShared)) == EINTR) {}
  if (e == EAGAIN || e == EACCES) return false;
  if (e != 0) Throw("lock", e);
  return true;
}

void File::WaitLock(uint64_t start, uint64_t length, bool exclusive) {
  int e;
  while ((e = LockWait(start, length, exclusive)) == EINTR) {}
  if (e != 0) Throw("lock", e);
}

void File::Unlock(uint64_t start, uint64_t length) {
  int e;
  while ((e = TryLock(start, length, LockKind::kUnlock)) == EINTR) {}
  if (e != 0) Throw("unlock", e);
}

bool File::LockedByOthers(uint64_t start, uint64_t length) {
  bool held = false;
  int e;
  while ((e = QueryLock(start, length, &held)) == EINTR) {}
  if (e != 0) Throw("query the locks of", e);
  return held;
}

bool File::NamedBy(const std::string& path) {
  uint64_t id = 0;
  FileInfo info;
  if (GetId(&id) != 0 || Current().Stat(path, &info) != 0) return false;
  return info.exists && !info.isFolder && info.id == id;
}

bool File::NamedDirectlyBy(const std::string& path) {
  uint64_t id = 0;
  FileInfo info;
  if (GetId(&id) != 0 || Current().StatName(path, &info) != 0) return false;
  return info.exists && !info.isFolder && !info.isLink && info.id == id;
}

Storage& Current() {
  Storage* s = gCurrent.load(std::memory_order_acquire);
  return s ? *s : Host();
}

ScopedStorage::ScopedStorage(Storage& storage) : previous_(gCurrent.exchange(&storage)) {}

ScopedStorage::~ScopedStorage() { gCurrent.store(previous_); }

std::unique_ptr<File> TryOpenFile(const std::string& path, OpenMode mode, ErrorCode code, int* error) {
  std::unique_ptr<File> f;
  int e;
  while ((e = Current().Open(path, mode, code, &f)) == EINTR) {}
  *error = e;
  if (e != 0) f.reset();
  return f;
}

std::unique_ptr<File> OpenFile(const std::string& path, OpenMode mode, ErrorCode code) {
  int e = 0;
  std::unique_ptr<File> f = TryOpenFile(path, mode, code, &e);
  if (!f) {
    const char* what = mode == OpenMode::kCreate || mode == OpenMode::kCreateNew ? "create" : "open";
    FailHost(code, e, std::string("Cannot ") + what + " \"" + path + "\"");
  }
  return f;
}

std::unique_ptr<File> OpenWorkFile(const std::string& folder, ErrorCode code) {
  std::unique_ptr<File> f;
  if (int e = Current().OpenWorkFile(folder, code, &f)) {
    FailHost(code, e, "Cannot create a work file in \"" + folder + "\"");
  }
  return f;
}

bool Exists(const std::string& path, ErrorCode code) {
  FileInfo info;
  int e;
  while ((e = Current().Stat(path, &info)) == EINTR) {}
  if (e != 0) FailHost(code, e, "Cannot examine \"" + path + "\"");
  return info.exists;
}

std::vector<std::string> ListFolder(const std::string& folder, const std::string& prefix) {
  std::vector<std::string> names;
  int e;
  while ((e = Current().List(folder, prefix, &names)) == EINTR) {}
  if (e != 0) names.clear();
  return names;
}

void RemoveFile(const std::string& path, ErrorCode code) {
  int e = Current().Remove(path);
  if (e != 0 && e != ENOENT) FailHost(code, e, "Cannot remove \"" + path + "\"");
}

void RenameFile(const std::string& from, const std::string& to, ErrorCode code) {
  if (int e = Current().Rename(from, to)) {
    FailHost(code, e, "Cannot rename \"" + from + "\" to \"" + to + "\"");
  }
}

void SyncFolderOf(const std::string& path, ErrorCode code) {
  std::string folder = FolderOf(path);
  int e;
  while ((e = Current().SyncFolder(folder)) == EINTR) {}
  // Some file systems cannot flush a folder at all; their renames are as durable as they get.
  if (e != 0 && e != EINVAL && e != ENOTSUP) {
    FailHost(code, e, "Cannot flush the folder \"" + folder + "\"");
  }
}

void ReplaceFile(File& file, const std::string& staged, const std::string& target, bool durable) {
  if (durable) file.Sync();
  RenameFile(staged, target, file.errorCode());
  if (durable) SyncFolderOf(target, file.errorCode());
}

}  // namespace engine::storage
