// The engine's storage: every file operation of the engine goes through one Storage, as in
// LevelDB's Env and SQLite's VFS. Tables, memos, index files, the work files of rebuilds,
// copies, restructures, packs, zaps, encryption changes and (through the SQLite VFS of
// sqlite_vfs.h) data dictionaries all reach the host through it, so that a test can put a
// wrapper in its place and make any operation fail, write short, or lose what a power cut
// loses. docs/storage.md describes the interface, its host implementation and the rules that
// the file formats follow on top of it.
//
// Two levels:
//   - The primitives, virtual members of File and Storage, report the host's errno and never
//     throw: ReadSome and WriteSome may transfer fewer bytes than asked, exactly as pread and
//     pwrite may. Implementations and wrappers override only these.
//   - The helpers around them (File::Read, File::Write, File::Sync, ..., and the free
//     functions below) loop over short transfers and throw EngineError with the error code the
//     file was opened with, naming the file and the host's reason ("the disk is full" for
//     ENOSPC). The engine calls only the helpers.
//
// Durability: a write is durable once Sync of its file has returned; a name made by create,
// rename, link or remove is durable once SyncFolder of its folder has returned. Until then a
// power cut may undo it. ReplaceFile is the one way the engine puts a new version of a file in
// place: the new file is complete and synced under another name, renamed over the old one,
// and the folder is synced, so a crash leaves the old file or the new one, never a mixture.
//
// Locks are open-file-description byte-range locks (F_OFD_SETLK on the host): they belong to
// one File, so two Files of the same file conflict even inside one process, and they vanish
// when the File is closed or its process dies.
//
// Thread safety: a Storage is used by every thread at once (the host implementation is
// stateless); a File is used by one thread at a time.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/error.h"

namespace engine::storage {

enum class OpenMode {
  kRead,          // an existing file, for reading
  kReadWrite,     // an existing file, for reading and writing
  kCreate,        // for reading and writing; created when missing, emptied when present
  kCreateNew,     // for reading and writing; EEXIST when a file of that name exists
  kOpenOrCreate,  // for reading and writing; created when missing, kept as it is when present
};

// One open file. Not copyable; closing it (or destroying it) releases its locks.
class File {
 public:
  File(std::string path, ErrorCode code) : path_(std::move(path)), code_(code) {}
  virtual ~File() = default;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // The name the file was opened by, for messages; a work file has a descriptive name.
  const std::string& path() const { return path_; }
  // The engine error code the helpers fail with (kTableIoError for tables, kIndexIoError for
  // index files, ...).
  ErrorCode errorCode() const { return code_; }
  bool writable() const { return writable_; }

  // ---- primitives: return 0 or the host's errno; never throw ----
  // Reads at most `size` bytes at `offset` into `data`; *done 0 means the end of the file.
  virtual int ReadSome(uint64_t offset, void* data, size_t size, size_t* done) = 0;
  // Writes at most `size` bytes at `offset` (extending the file as needed); *done tells how many.
  virtual int WriteSome(uint64_t offset, const void* data, size_t size, size_t* done) = 0;
  virtual int GetSize(uint64_t* size) = 0;
  virtual int SetSize(uint64_t size) = 0;
  // Makes the disk hold room for `length` bytes at `offset` without changing the file's size,
  // so that writing them later cannot fail for want of space. Room past the end stays taken
  // until a SetSize gives it back. EOPNOTSUPP where the host cannot (the default).
  virtual int Reserve(uint64_t offset, uint64_t length) {
    (void)offset;
    (void)length;
    return EOPNOTSUPP;
  }
  // Asks the host to start writing these bytes to the disk now, without waiting for them, so
  // that a later SyncData has less left to wait for. Only a hint: it makes nothing durable.
  // ENOTSUP where the host takes no such request (the default).
  virtual int StartWriteback(uint64_t offset, uint64_t length) {
    (void)offset;
    (void)length;
    return ENOTSUP;
  }
  // Forces what was written (and the size) to the disk.
  virtual int SyncData() = 0;
  // Byte-range locks. A refused TryLock answers EAGAIN; LockWait waits for the range.
  enum class LockKind { kShared, kExclusive, kUnlock };
  virtual int TryLock(uint64_t start, uint64_t length, LockKind kind) = 0;
  virtual int LockWait(uint64_t start, uint64_t length, bool exclusive) = 0;
  // *held: whether another open file description holds a lock conflicting with an exclusive
  // lock over the range.
  virtual int QueryLock(uint64_t start, uint64_t length, bool* held) = 0;
  // The identity of the open file: what Storage::Stat gives as FileInfo::id for a name that
  // leads to it (the host's inode number). It stays the file's while the File is open, so no
  // other file can take it over. ENOTSUP from an implementation that cannot tell.
  virtual int GetId(uint64_t* id) {
    (void)id;
    return ENOTSUP;
  }

  // ---- helpers: loop over short transfers, throw EngineError(errorCode()) ----
  // Reads up to `size` bytes; fewer only at the end of the file. Answers the count.
  size_t Read(uint64_t offset, void* data, size_t size);
  // Reads exactly `size` bytes; kTableTruncated naming the file when it ends first.
  void ReadExact(uint64_t offset, void* data, size_t size);
  void Write(uint64_t offset, const void* data, size_t size);
  uint64_t Size();
  void Truncate(uint64_t size);
  void Sync();
  // False when another open holds a conflicting lock.
  bool Lock(uint64_t start, uint64_t length, bool exclusive);
  void WaitLock(uint64_t start, uint64_t length, bool exclusive);
  void Unlock(uint64_t start, uint64_t length);
  bool LockedByOthers(uint64_t start, uint64_t length);
  // Whether `path` leads to this very file now (not to a file renamed over it, nor to none).
  // False whenever either side cannot be told, so a caller falls back to opening `path` anew.
  bool NamedBy(const std::string& path);
  // As NamedBy, but only when the last part of `path` is this file's own name in its folder,
  // not a symbolic link to it: then only a change of that folder's names can change what
  // `path` leads to. False when it is a link or cannot be told.
  bool NamedDirectlyBy(const std::string& path);

  // Throws EngineError(errorCode()) for `error` (an errno) while doing `what` ("write", ...).
  [[noreturn]] void Throw(const char* what, int error) const;

 protected:
  void SetWritable(bool writable) { writable_ = writable; }

 private:
  std::string path_;
  ErrorCode code_;
  bool writable_ = false;
};

struct FileInfo {
  bool exists = false;
  bool isFolder = false;
  bool isLink = false;  // only from StatName: the name is a symbolic link
  uint64_t size = 0;
  uint64_t id = 0;      // tells files apart while they exist (the host's inode number)
  uint64_t device = 0;  // with id, tells apart files of different file systems
  // The last change of the content (of a folder: of its names) and of the content or the
  // attributes, in nanoseconds since 1970, as the file system stamps them; 0 when the storage
  // cannot tell.
  int64_t modifiedNs = 0;
  int64_t changedNs = 0;
};

class Storage {
 public:
  virtual ~Storage() = default;

  // ---- primitives: return 0 or the host's errno; never throw ----
  // Opens `path`; failures of the returned File's helpers throw `code`.
  virtual int Open(const std::string& path, OpenMode mode, ErrorCode code, std::unique_ptr<File>* file) = 0;
  // A work file without a name in `folder`: it is gone when closed, also after a crash.
  virtual int OpenWorkFile(const std::string& folder, ErrorCode code, std::unique_ptr<File>* file) = 0;
  // Renames `from` to `to`, replacing `to` atomically when it exists.
  virtual int Rename(const std::string& from, const std::string& to) = 0;
  // Gives the file `from` the second name `to`; EEXIST when `to` exists (nothing is replaced).
  virtual int Link(const std::string& from, const std::string& to) = 0;
  // Removes the name `path`; ENOENT when there is none.
  virtual int Remove(const std::string& path) = 0;
  // Forces the names of `folder` (created, renamed, removed) to the disk.
  virtual int SyncFolder(const std::string& folder) = 0;
  // What `path` is; a missing path answers 0 with info->exists false.
  virtual int Stat(const std::string& path, FileInfo* info) = 0;
  // As Stat, but a symbolic link named by the last part of `path` is described itself
  // (info->isLink), not followed. ENOTSUP from a storage that cannot tell.
  virtual int StatName(const std::string& path, FileInfo* info) {
    (void)path;
    *info = FileInfo{};
    return ENOTSUP;
  }
  // The names in `folder` that begin with `prefix` (files and folders alike, without "." and
  // ".."), in no particular order; a missing folder answers ENOENT.
  virtual int List(const std::string& folder, const std::string& prefix, std::vector<std::string>* names) = 0;
};

// The storage every engine file operation goes through: the host's, unless a test put another
// in place with ScopedStorage.
Storage& Current();
// The host's own storage (also what wrappers usually forward to).
Storage& Host();

// Puts `storage` in place of the current storage for its lifetime (tests only: nothing may be
// using files while it changes, and the wrapper must outlive every File opened through it).
class ScopedStorage {
 public:
  explicit ScopedStorage(Storage& storage);
  ~ScopedStorage();
  ScopedStorage(const ScopedStorage&) = delete;
  ScopedStorage& operator=(const ScopedStorage&) = delete;

 private:
  Storage* previous_;
};

// ---- helpers over Current(): throw EngineError(code) naming the file ----

// Opens `path`; the message names the file and the host's reason.
std::unique_ptr<File> OpenFile(const std::string& path, OpenMode mode, ErrorCode code);
// As OpenFile, but answers null with *error set instead of throwing.
std::unique_ptr<File> TryOpenFile(const std::string& path, OpenMode mode, ErrorCode code, int* error);
std::unique_ptr<File> OpenWorkFile(const std::string& folder, ErrorCode code);
// Whether `path` exists; a host that cannot tell fails with `code` rather than guess.
bool Exists(const std::string& path, ErrorCode code = err::kFileFailure);
// The names in `folder` beginning with `prefix`; a folder that cannot be read has none.
std::vector<std::string> ListFolder(const std::string& folder, const std::string& prefix);
// Removes `path`; a missing file is not an error.
void RemoveFile(const std::string& path, ErrorCode code);
void RenameFile(const std::string& from, const std::string& to, ErrorCode code);
void SyncFolderOf(const std::string& path, ErrorCode code);
// Puts the complete file written at `staged` in place of `target`: syncs `file` (the open
// file written at `staged`, which stays open), renames it over `target` and syncs the folder.
// When `durable` is false (scratch files nothing needs after a crash) nothing is synced.
void ReplaceFile(File& file, const std::string& staged, const std::string& target, bool durable = true);

// The folder part of a host path ("." for a bare name).
std::string FolderOf(const std::string& path);
// The host's text for an errno, with "the disk is full" for ENOSPC and EDQUOT.
std::string Reason(int error);
// The engine error for the host failure `error` (an errno) on a file whose area reports its
// failures with `code`: a full disk or exhausted quota (ENOSPC, EDQUOT) is err::kDiskFull and a
// refused access (EACCES, EPERM, EROFS) err::kAccessDenied whatever the file, since the user's
// remedy is the same; every other failure, a missing file included, keeps `code`.
ErrorCode HostErrorCode(int error, ErrorCode code);
// Fails with HostErrorCode(error, code) and the text "<what>: <the host's reason>.".
[[noreturn]] void FailHost(ErrorCode code, int error, const std::string& what);

}  // namespace engine::storage
