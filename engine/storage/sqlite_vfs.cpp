#include "engine/storage/sqlite_vfs.h"

#include <errno.h>
#include <sqlite3.h>
#include <string.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>

#include "engine/storage/storage.h"

namespace engine::storage {

namespace {

// SQLite's lock bytes (the same as its unix VFS uses).
constexpr uint64_t kPendingByte = 0x40000000;
constexpr uint64_t kReservedByte = kPendingByte + 1;
constexpr uint64_t kSharedFirst = kPendingByte + 2;
constexpr uint64_t kSharedSize = 510;

struct VfsFile {
  sqlite3_file base;  // first: SQLite sees this
  File* file;         // owned; a raw pointer because SQLite allocates the struct
  int lock;           // SQLITE_LOCK_NONE ... SQLITE_LOCK_EXCLUSIVE
  bool syncFolder;    // a new journal: its folder is synced at its first sync
  std::string* path;  // owned
};

VfsFile* Of(sqlite3_file* f) { return reinterpret_cast<VfsFile*>(f); }

// The errno of this thread's last failed file operation, which SQLite asks for through
// xGetLastError when it reports an I/O or open failure (sqlite3_system_errno): the dictionary
// tells a full disk or a refused access from other failures by it.
thread_local int tLastHostError = 0;

int IoError(int error, int code) {
  tLastHostError = error;
  if (error == ENOSPC || error == EDQUOT) return SQLITE_FULL;
  return code;
}

int Close(sqlite3_file* f) {
  VfsFile* v = Of(f);
  delete v->file;
  delete v->path;
  v->file = nullptr;
  v->path = nullptr;
  return SQLITE_OK;
}

int Read(sqlite3_file* f, void* data, int amount, sqlite3_int64 offset) {
  File* file = Of(f)->file;
  size_t total = 0;
  const size_t want = static_cast<size_t>(amount);
  while (total < want) {
    size_t done = 0;
    int e = file->ReadSome(static_cast<uint64_t>(offset) + total, static_cast<char*>(data) + total, want - total, &done);
    if (e == EINTR) continue;
    if (e != 0) return IoError(e, SQLITE_IOERR_READ);
    if (done == 0) break;
    total += done;
  }
  if (total < want) {
    // SQLite requires the missing part to be zeros.
    memset(static_cast<char*>(data) + total, 0, want - total);
    return SQLITE_IOERR_SHORT_READ;
  }
  return SQLITE_OK;
}

int Write(sqlite3_file* f, const void* data, int amount, sqlite3_int64 offset) {
  File* file = Of(f)->file;
  size_t total = 0;
  const size_t want = static_cast<size_t>(amount);
  while (total < want) {
    size_t done = 0;
    int e = file->WriteSome(static_cast<uint64_t>(offset) + total, static_cast<const char*>(data) + total,
                            want - total, &done);
    if (e == EINTR) continue;
    if (e != 0) return IoError(e, SQLITE_IOERR_WRITE);
    if (done == 0) return SQLITE_IOERR_WRITE;
    total += done;
  }
  return SQLITE_OK;
}

int Truncate(sqlite3_file* f, sqlite3_int64 size) {
  int e = Of(f)->file->SetSize(static_cast<uint64_t>(size));
  return e == 0 ? SQLITE_OK : IoError(e, SQLITE_IOERR_TRUNCATE);
}

int Sync(sqlite3_file* f, int) {
  VfsFile* v = Of(f);
  int e;
  while ((e = v->file->SyncData()) == EINTR) {}
  if (e != 0) return IoError(e, SQLITE_IOERR_FSYNC);
  if (v->syncFolder) {
    e = Current().SyncFolder(FolderOf(*v->path));
    if (e != 0 && e != EINVAL && e != ENOTSUP) return SQLITE_IOERR_DIR_FSYNC;
    v->syncFolder = false;
  }
  return SQLITE_OK;
}

int FileSize(sqlite3_file* f, sqlite3_int64* size) {
  uint64_t s = 0;
  int e = Of(f)->file->GetSize(&s);
  if (e != 0) return IoError(e, SQLITE_IOERR_FSTAT);
  *size = static_cast<sqlite3_int64>(s);
  return SQLITE_OK;
}

// A lock call's errno: a conflict is SQLITE_BUSY, anything else an I/O error.
int LockResult(int e) {
  if (e == 0) return SQLITE_OK;
  if (e == EAGAIN || e == EACCES) return SQLITE_BUSY;
  return SQLITE_IOERR_LOCK;
}

int Lock(sqlite3_file* f, int level) {
  VfsFile* v = Of(f);
  File* file = v->file;
  if (v->lock >= level) return SQLITE_OK;
  using K = File::LockKind;
  if (level == SQLITE_LOCK_SHARED) {
    // A writer waiting for its exclusive lock holds the pending byte: new readers stay out.
    if (int rc = LockResult(file->TryLock(kPendingByte, 1, K::kShared))) return rc;
    int rc = LockResult(file->TryLock(kSharedFirst, kSharedSize, K::kShared));
    file->TryLock(kPendingByte, 1, K::kUnlock);
    if (rc != SQLITE_OK) return rc;
    v->lock = SQLITE_LOCK_SHARED;
    return SQLITE_OK;
  }
  if (level == SQLITE_LOCK_RESERVED) {
    if (int rc = LockResult(file->TryLock(kReservedByte, 1, K::kExclusive))) return rc;
    v->lock = SQLITE_LOCK_RESERVED;
    return SQLITE_OK;
  }
  // PENDING on the way to EXCLUSIVE, then EXCLUSIVE once the readers are gone.
  if (v->lock < SQLITE_LOCK_PENDING) {
    if (int rc = LockResult(file->TryLock(kPendingByte, 1, K::kExclusive))) return rc;
    v->lock = SQLITE_LOCK_PENDING;
  }
  if (level == SQLITE_LOCK_EXCLUSIVE) {
    if (int rc = LockResult(file->TryLock(kSharedFirst, kSharedSize, K::kExclusive))) return rc;
    v->lock = SQLITE_LOCK_EXCLUSIVE;
  }
  return SQLITE_OK;
}

int Unlock(sqlite3_file* f, int level) {
  VfsFile* v = Of(f);
  File* file = v->file;
  if (v->lock <= level) return SQLITE_OK;
  using K = File::LockKind;
  if (level == SQLITE_LOCK_SHARED) {
    if (int e = file->TryLock(kSharedFirst, kSharedSize, K::kShared)) return e == EAGAIN ? SQLITE_BUSY : SQLITE_IOERR_RDLOCK;
    file->TryLock(kPendingByte, 2, K::kUnlock);  // the pending and reserved bytes
    v->lock = SQLITE_LOCK_SHARED;
    return SQLITE_OK;
  }
  if (int e = file->TryLock(kPendingByte, 2 + kSharedSize, K::kUnlock)) {
    (void)e;
    return SQLITE_IOERR_UNLOCK;
  }
  v->lock = SQLITE_LOCK_NONE;
  return SQLITE_OK;
}

int CheckReservedLock(sqlite3_file* f, int* out) {
  VfsFile* v = Of(f);
  if (v->lock >= SQLITE_LOCK_RESERVED) {
    *out = 1;
    return SQLITE_OK;
  }
  bool held = false;
  if (v->file->QueryLock(kReservedByte, 1, &held) != 0) return SQLITE_IOERR_CHECKRESERVEDLOCK;
  *out = held ? 1 : 0;
  return SQLITE_OK;
}

int FileControl(sqlite3_file*, int, void*) { return SQLITE_NOTFOUND; }

int SectorSize(sqlite3_file*) { return 4096; }

// Writes never damage bytes they do not cover, as on the host's own VFS.
int DeviceCharacteristics(sqlite3_file*) { return SQLITE_IOCAP_POWERSAFE_OVERWRITE; }

const sqlite3_io_methods kMethods = {
    1,  // iVersion: no shared memory, no memory mapping
    Close,
    Read,
    Write,
    Truncate,
    Sync,
    FileSize,
    Lock,
    Unlock,
    CheckReservedLock,
    FileControl,
    SectorSize,
    DeviceCharacteristics,
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
};

sqlite3_vfs* gHost = nullptr;  // the default VFS, for what involves no file

std::string TempFolder() {
  const char* t = std::getenv("TMPDIR");
  return t && *t ? std::string(t) : std::string("/tmp");
}

int Open(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* f, int flags, int* outFlags) {
  VfsFile* v = Of(f);
  v->base.pMethods = nullptr;
  v->file = nullptr;
  v->lock = SQLITE_LOCK_NONE;
  v->syncFolder = false;
  v->path = nullptr;
  std::unique_ptr<File> file;
  int e = 0;
  if (name == nullptr) {
    e = Current().OpenWorkFile(TempFolder(), err::kFileFailure, &file);
  } else {
    OpenMode mode = OpenMode::kRead;
    if (flags & SQLITE_OPEN_READWRITE) {
      mode = (flags & SQLITE_OPEN_CREATE) ? ((flags & SQLITE_OPEN_EXCLUSIVE) ? OpenMode::kCreateNew : OpenMode::kOpenOrCreate)
                                          : OpenMode::kReadWrite;
    }
    e = Current().Open(name, mode, err::kFileFailure, &file);
    if (e == 0 && (flags & SQLITE_OPEN_DELETEONCLOSE)) Current().Remove(name);
  }
  if (e != 0) {
    tLastHostError = e;
    return SQLITE_CANTOPEN;
  }
  if (name && (flags & (SQLITE_OPEN_MAIN_JOURNAL | SQLITE_OPEN_SUPER_JOURNAL | SQLITE_OPEN_WAL)) &&
      (flags & SQLITE_OPEN_CREATE)) {
    v->syncFolder = true;
  }
  v->path = new std::string(name ? name : "");
  v->file = file.release();
  v->base.pMethods = &kMethods;
  if (outFlags) *outFlags = flags;
  return SQLITE_OK;
}

int Delete(sqlite3_vfs*, const char* name, int syncFolder) {
  int e = Current().Remove(name);
  if (e == ENOENT) return SQLITE_IOERR_DELETE_NOENT;
  if (e != 0) return SQLITE_IOERR_DELETE;
  if (syncFolder) {
    e = Current().SyncFolder(FolderOf(name));
    if (e != 0 && e != EINVAL && e != ENOTSUP) return SQLITE_IOERR_DIR_FSYNC;
  }
  return SQLITE_OK;
}

int Access(sqlite3_vfs*, const char* name, int, int* out) {
  FileInfo info;
  if (Current().Stat(name, &info) != 0) return SQLITE_IOERR_ACCESS;
  // An empty journal is no journal (as SQLite's own VFS answers).
  *out = info.exists && (info.isFolder || info.size > 0) ? 1 : 0;
  return SQLITE_OK;
}

int FullPathname(sqlite3_vfs*, const char* name, int size, char* out) {
  return gHost->xFullPathname(gHost, name, size, out);
}

void* DlOpen(sqlite3_vfs*, const char* name) { return gHost->xDlOpen(gHost, name); }
void DlError(sqlite3_vfs*, int n, char* out) { gHost->xDlError(gHost, n, out); }
void (*DlSym(sqlite3_vfs*, void* h, const char* s))(void) { return gHost->xDlSym(gHost, h, s); }
void DlClose(sqlite3_vfs*, void* h) { gHost->xDlClose(gHost, h); }
int Randomness(sqlite3_vfs*, int n, char* out) { return gHost->xRandomness(gHost, n, out); }
int Sleep(sqlite3_vfs*, int micro) { return gHost->xSleep(gHost, micro); }
int CurrentTime(sqlite3_vfs*, double* now) { return gHost->xCurrentTime(gHost, now); }
int GetLastError(sqlite3_vfs*, int n, char* out) {
  if (n > 0 && out != nullptr) {
    std::snprintf(out, static_cast<size_t>(n), "%s", tLastHostError != 0 ? strerror(tLastHostError) : "");
  }
  return tLastHostError;
}
int CurrentTimeInt64(sqlite3_vfs*, sqlite3_int64* now) { return gHost->xCurrentTimeInt64(gHost, now); }

sqlite3_vfs gVfs = {
    2,                        // iVersion
    sizeof(VfsFile),          // szOsFile
    4096,                     // mxPathname
    nullptr,                  // pNext
    nullptr,                  // zName, set when registered
    nullptr,                  // pAppData
    Open,
    Delete,
    Access,
    FullPathname,
    DlOpen,
    DlError,
    DlSym,
    DlClose,
    Randomness,
    Sleep,
    CurrentTime,
    GetLastError,
    CurrentTimeInt64,
    nullptr, nullptr, nullptr,
};

}  // namespace

const char* SqliteVfsName() {
  static std::once_flag once;
  // SQLite's list of VFSs is shared by the whole process, and a process may hold two copies of
  // the engine (a test program links one and loads the library): each registers its own name.
  static char name[64];
  std::call_once(once, [] {
    gHost = sqlite3_vfs_find(nullptr);
    gVfs.mxPathname = gHost->mxPathname;
    std::snprintf(name, sizeof name, "ace-storage-%p", static_cast<void*>(&gVfs));
    gVfs.zName = name;
    sqlite3_vfs_register(&gVfs, 0);
  });
  return gVfs.zName;
}

}  // namespace engine::storage
