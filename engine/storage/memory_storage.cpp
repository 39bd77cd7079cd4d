// Files in memory, for scratch tables; see memory_storage.h.
#include "engine/storage/memory_storage.h"

#include <errno.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>
#include <vector>

namespace engine::storage {

namespace {

constexpr size_t kFolderLength = sizeof kMemoryFolder - 1;

std::atomic<uint64_t> gNextId{1};

// The bytes of one memory file and the locks its Files hold.
struct Contents {
  std::mutex mu;
  std::vector<uint8_t> bytes;   // while the file is in memory
  std::unique_ptr<File> spill;  // once it has moved to a work file
  uint64_t id = gNextId++;

  struct Range {
    const File* owner;
    uint64_t start, end;  // [start, end)
    bool exclusive;
  };
  std::vector<Range> locks;
  std::condition_variable released;

  // Whether another File than `owner` holds a lock over [start, end) that conflicts with one of
  // the kind asked.
  bool Conflicts(const File* owner, uint64_t start, uint64_t end, bool exclusive) const {
    for (const Range& r : locks) {
      if (r.owner == owner || r.end <= start || end <= r.start) continue;
      if (exclusive || r.exclusive) return true;
    }
    return false;
  }

  // Takes `owner`'s locks off [start, end), cutting the ranges that reach past it.
  void Release(const File* owner, uint64_t start, uint64_t end) {
    std::vector<Range> kept;
    kept.reserve(locks.size() + 1);
    for (const Range& r : locks) {
      if (r.owner != owner || r.end <= start || end <= r.start) {
        kept.push_back(r);
        continue;
      }
      if (r.start < start) kept.push_back(Range{owner, r.start, start, r.exclusive});
      if (end < r.end) kept.push_back(Range{owner, end, r.end, r.exclusive});
    }
    locks.swap(kept);
  }

  // Moves the bytes to an unnamed work file in the host's temporary folder. REQUIRES: mu held.
  int Spill() {
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = tmp && *tmp ? tmp : "/tmp";
    std::unique_ptr<File> f;
    if (int e = Host().OpenWorkFile(folder, err::kFileFailure, &f)) return e;
    size_t total = 0;
    while (total < bytes.size()) {
      size_t done = 0;
      int e = f->WriteSome(total, bytes.data() + total, bytes.size() - total, &done);
      if (e == EINTR) continue;
      if (e != 0) return e;
      if (done == 0) return EIO;
      total += done;
    }
    spill = std::move(f);
    std::vector<uint8_t>().swap(bytes);
    return 0;
  }
};

uint64_t EndOf(uint64_t start, uint64_t length) {
  // A length of 0 reaches to the end of every possible file, as fcntl's does.
  if (length == 0 || length > UINT64_MAX - start) return UINT64_MAX;
  return start + length;
}

class MemoryFile final : public File {
 public:
  MemoryFile(std::string path, ErrorCode code, std::shared_ptr<Contents> contents, bool writable)
      : File(std::move(path), code), c_(std::move(contents)) {
    SetWritable(writable);
  }
  ~MemoryFile() override {
    std::lock_guard<std::mutex> lock(c_->mu);
    c_->Release(this, 0, UINT64_MAX);
    c_->released.notify_all();
  }

  int ReadSome(uint64_t offset, void* data, size_t size, size_t* done) override {
    *done = 0;
    std::lock_guard<std::mutex> lock(c_->mu);
    if (c_->spill) return c_->spill->ReadSome(offset, data, size, done);
    if (offset >= c_->bytes.size()) return 0;
    size_t n = static_cast<size_t>(std::min<uint64_t>(size, c_->bytes.size() - offset));
    std::memcpy(data, c_->bytes.data() + offset, n);
    *done = n;
    return 0;
  }

  int WriteSome(uint64_t offset, const void* data, size_t size, size_t* done) override {
    *done = 0;
    if (!writable()) return EBADF;
    std::lock_guard<std::mutex> lock(c_->mu);
    uint64_t end = offset + size;
    if (end < offset) return EFBIG;
    if (!c_->spill && end > kMemoryFileLimit) {
      if (int e = c_->Spill()) return e;
    }
    if (c_->spill) return c_->spill->WriteSome(offset, data, size, done);
    try {
      if (end > c_->bytes.size()) c_->bytes.resize(end);
    } catch (const std::bad_alloc&) {
      return ENOMEM;
    }
    std::memcpy(c_->bytes.data() + offset, data, size);
    *done = size;
    return 0;
  }

  int GetSize(uint64_t* size) override {
    std::lock_guard<std::mutex> lock(c_->mu);
    if (c_->spill) return c_->spill->GetSize(size);
    *size = c_->bytes.size();
    return 0;
  }

  int SetSize(uint64_t size) override {
    if (!writable()) return EBADF;
    std::lock_guard<std::mutex> lock(c_->mu);
    if (!c_->spill && size > kMemoryFileLimit) {
      if (int e = c_->Spill()) return e;
    }
    if (c_->spill) return c_->spill->SetSize(size);
    try {
      c_->bytes.resize(size);
    } catch (const std::bad_alloc&) {
      return ENOMEM;
    }
    return 0;
  }

  int GetId(uint64_t* id) override {
    *id = c_->id;
    return 0;
  }

  // Nothing of a memory file outlives the process, so there is nothing to force.
  int SyncData() override { return 0; }

  int TryLock(uint64_t start, uint64_t length, LockKind kind) override {
    uint64_t end = EndOf(start, length);
    std::lock_guard<std::mutex> lock(c_->mu);
    if (kind != LockKind::kUnlock && c_->Conflicts(this, start, end, kind == LockKind::kExclusive)) return EAGAIN;
    Set(start, end, kind);
    return 0;
  }

  int LockWait(uint64_t start, uint64_t length, bool exclusive) override {
    uint64_t end = EndOf(start, length);
    std::unique_lock<std::mutex> lock(c_->mu);
    c_->released.wait(lock, [&] { return !c_->Conflicts(this, start, end, exclusive); });
    Set(start, end, exclusive ? LockKind::kExclusive : LockKind::kShared);
    return 0;
  }

  int QueryLock(uint64_t start, uint64_t length, bool* held) override {
    std::lock_guard<std::mutex> lock(c_->mu);
    *held = c_->Conflicts(this, start, EndOf(start, length), true);
    return 0;
  }

 private:
  // This File's locks over [start, end) become `kind` (none for kUnlock). REQUIRES: mu held.
  void Set(uint64_t start, uint64_t end, LockKind kind) {
    c_->Release(this, start, end);
    if (kind != LockKind::kUnlock) c_->locks.push_back(Contents::Range{this, start, end, kind == LockKind::kExclusive});
    c_->released.notify_all();
  }

  std::shared_ptr<Contents> c_;
};

class MemoryStorage final : public Storage {
 public:
  int Open(const std::string& path, OpenMode mode, ErrorCode code, std::unique_ptr<File>* file) override {
    if (IsFolder(path)) return EISDIR;
    std::shared_ptr<Contents> c;
    {
      std::lock_guard<std::mutex> lock(mu_);
      auto it = names_.find(path);
      if (it == names_.end()) {
        if (mode == OpenMode::kRead || mode == OpenMode::kReadWrite) return ENOENT;
        c = std::make_shared<Contents>();
        names_.emplace(path, c);
      } else {
        if (mode == OpenMode::kCreateNew) return EEXIST;
        c = it->second;
      }
    }
    if (mode == OpenMode::kCreate) {
      std::lock_guard<std::mutex> lock(c->mu);
      if (c->spill) {
        if (int e = c->spill->SetSize(0)) return e;
      }
      c->bytes.clear();
    }
    *file = std::make_unique<MemoryFile>(path, code, std::move(c), mode != OpenMode::kRead);
    return 0;
  }

  int OpenWorkFile(const std::string& folder, ErrorCode code, std::unique_ptr<File>* file) override {
    if (!IsFolder(folder)) return ENOENT;
    *file = std::make_unique<MemoryFile>(folder + "/(work file)", code, std::make_shared<Contents>(), true);
    return 0;
  }

  int Rename(const std::string& from, const std::string& to) override {
    if (!InMemory(from) || !InMemory(to)) return EXDEV;
    if (IsFolder(from) || IsFolder(to)) return EBUSY;
    std::shared_ptr<Contents> moved;  // released outside the lock
    std::lock_guard<std::mutex> lock(mu_);
    auto it = names_.find(from);
    if (it == names_.end()) return ENOENT;
    if (from == to) return 0;
    moved = it->second;
    names_.erase(it);
    std::shared_ptr<Contents>& slot = names_[to];
    slot.swap(moved);
    return 0;
  }

  int Link(const std::string& from, const std::string& to) override {
    if (!InMemory(from) || !InMemory(to)) return EXDEV;
    if (IsFolder(from)) return EPERM;
    std::lock_guard<std::mutex> lock(mu_);
    auto it = names_.find(from);
    if (it == names_.end()) return ENOENT;
    if (IsFolder(to) || names_.count(to)) return EEXIST;
    names_.emplace(to, it->second);
    return 0;
  }

  int Remove(const std::string& path) override {
    if (IsFolder(path)) return EISDIR;
    std::shared_ptr<Contents> gone;  // released outside the lock
    std::lock_guard<std::mutex> lock(mu_);
    auto it = names_.find(path);
    if (it == names_.end()) return ENOENT;
    gone = std::move(it->second);
    names_.erase(it);
    return 0;
  }

  int SyncFolder(const std::string& folder) override { return IsFolder(folder) ? 0 : ENOENT; }

  int Stat(const std::string& path, FileInfo* info) override {
    *info = FileInfo{};
    if (IsFolder(path)) {
      info->exists = true;
      info->isFolder = true;
      return 0;
    }
    std::shared_ptr<Contents> c;
    {
      std::lock_guard<std::mutex> lock(mu_);
      auto it = names_.find(path);
      if (it == names_.end()) return 0;
      c = it->second;
    }
    std::lock_guard<std::mutex> lock(c->mu);
    uint64_t size = c->bytes.size();
    if (c->spill) {
      if (int e = c->spill->GetSize(&size)) return e;
    }
    info->exists = true;
    info->size = size;
    info->id = c->id;
    return 0;
  }

  int List(const std::string& folder, const std::string& prefix, std::vector<std::string>* names) override {
    names->clear();
    if (!IsFolder(folder)) return ENOENT;
    std::lock_guard<std::mutex> lock(mu_);
    for (const auto& entry : names_) {
      std::string_view name = std::string_view(entry.first).substr(kFolderLength + 1);
      if (name.substr(0, prefix.size()) == prefix) names->emplace_back(name);
    }
    return 0;
  }

 private:
  // The folder itself, named with or without its trailing "/".
  static bool IsFolder(const std::string& path) {
    return InMemory(path) && path.size() <= kFolderLength + 1;
  }

  std::mutex mu_;
  std::unordered_map<std::string, std::shared_ptr<Contents>> names_;
};

}  // namespace

bool InMemory(const std::string& path) {
  if (path.compare(0, kFolderLength, kMemoryFolder) != 0) return false;
  return path.size() == kFolderLength || path[kFolderLength] == '/';
}

Storage& Memory() {
  static MemoryStorage* memory = new MemoryStorage();  // never destroyed: Files may outlive static destruction
  return *memory;
}

}  // namespace engine::storage
