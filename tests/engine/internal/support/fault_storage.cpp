#include "support/fault_storage.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace acetest {

using engine::storage::File;
using engine::storage::FileInfo;
using engine::storage::OpenMode;

namespace {

std::string ReadWhole(const std::string& path) {
  std::string out;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return out;
  char buf[65536];
  ssize_t n;
  while ((n = ::read(fd, buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
  ::close(fd);
  return out;
}

void WriteWhole(const std::string& path, const std::string& content) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) throw std::runtime_error("power cut: cannot write " + path);
  size_t done = 0;
  while (done < content.size()) {
    ssize_t n = ::write(fd, content.data() + done, content.size() - done);
    if (n <= 0) {
      ::close(fd);
      throw std::runtime_error("power cut: cannot write " + path);
    }
    done += static_cast<size_t>(n);
  }
  ::close(fd);
}

std::string Join(const std::string& folder, const std::string& name) { return folder + "/" + name; }

std::string Canonical(const std::string& folder) {
  char* real = ::realpath(folder.c_str(), nullptr);
  if (!real) return folder;
  std::string out(real);
  ::free(real);
  return out;
}

}  // namespace

// A file opened through the wrapper: every primitive is counted and may fail.
class FaultFile final : public File {
 public:
  FaultFile(FaultStorage& owner, std::unique_ptr<File> base, bool named)
      : File(base->path(), base->errorCode()), owner_(owner), base_(std::move(base)) {
    SetWritable(base_->writable());
    if (named) {
      pin_ = ::open(path().c_str(), O_RDONLY | O_CLOEXEC);
      struct stat st;
      if (pin_ >= 0 && ::fstat(pin_, &st) == 0) {
        inode_ = {st.st_dev, st.st_ino};
        named_ = true;
      }
    }
  }
  ~FaultFile() override {
    if (pin_ >= 0) ::close(pin_);
  }

  int ReadSome(uint64_t offset, void* data, size_t size, size_t* done) override {
    *done = 0;
    if (int e = owner_.Admit(kOpRead)) return e;
    return base_->ReadSome(offset, data, Shorten(size), done);
  }

  int WriteSome(uint64_t offset, const void* data, size_t size, size_t* done) override {
    *done = 0;
    bool torn = false;
    if (int e = owner_.Admit(kOpWrite, &torn)) {
      // Only a write that extends the file can stop half-way (the disk filled up under it); an
      // overwrite of bytes the file has goes to the host's cache whole or not at all.
      uint64_t end = 0;
      if (torn && size > 1 && base_->GetSize(&end) == 0 && offset + size > end) {
        size_t part = 0;
        base_->WriteSome(offset, data, size / 2, &part);
      }
      return e;
    }
    return base_->WriteSome(offset, data, Shorten(size), done);
  }

  int GetSize(uint64_t* size) override {
    if (int e = owner_.Admit(kOpSize)) return e;
    return base_->GetSize(size);
  }

  int GetId(uint64_t* id) override {
    if (int e = owner_.Admit(kOpSize)) return e;
    return base_->GetId(id);
  }

  int SetSize(uint64_t size) override {
    if (int e = owner_.Admit(kOpTruncate)) return e;
    return base_->SetSize(size);
  }

  // Taking room on the disk is a write for the faults: a full disk refuses it.
  int Reserve(uint64_t offset, uint64_t length) override {
    if (int e = owner_.Admit(kOpWrite)) return e;
    return base_->Reserve(offset, length);
  }

  int SyncData() override {
    if (int e = owner_.Admit(kOpSync)) return e;
    if (int e = base_->SyncData()) return e;
    if (named_) {
      std::string content;
      uint64_t size = 0;
      base_->GetSize(&size);
      content.resize(size);
      size_t total = 0;
      while (total < size) {
        size_t got = 0;
        if (base_->ReadSome(total, content.data() + total, size - total, &got) != 0 || got == 0) break;
        total += got;
      }
      content.resize(total);
      owner_.FileSynced(inode_, ::dup(pin_), content);
    }
    owner_.SyncDone();
    return 0;
  }

  int TryLock(uint64_t start, uint64_t length, LockKind kind) override {
    if (kind != LockKind::kUnlock) {
      if (int e = owner_.Admit(kOpLock)) return e;
    }
    return base_->TryLock(start, length, kind);
  }

  int LockWait(uint64_t start, uint64_t length, bool exclusive) override {
    if (int e = owner_.Admit(kOpLock)) return e;
    return base_->LockWait(start, length, exclusive);
  }

  int QueryLock(uint64_t start, uint64_t length, bool* held) override {
    if (int e = owner_.Admit(kOpLock)) return e;
    return base_->QueryLock(start, length, held);
  }

 private:
  size_t Shorten(size_t size) const {
    std::lock_guard<std::mutex> lock(owner_.mutex_);
    return owner_.shortTransfers_ ? std::min(size, owner_.shortTransfers_) : size;
  }

  FaultStorage& owner_;
  std::unique_ptr<File> base_;
  FaultStorage::InodeId inode_{};
  bool named_ = false;
  int pin_ = -1;
};

FaultStorage::FaultStorage(engine::storage::Storage& base) : base_(base) {}

FaultStorage::~FaultStorage() { UnpinAll(); }

void FaultStorage::Pin(const InodeId& inode, int fd, const std::string& path) {
  if (pinned_.count(inode)) {
    if (fd >= 0) ::close(fd);
    return;
  }
  if (fd < 0) fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0) pinned_[inode] = fd;
}

void FaultStorage::UnpinAll() {
  for (const auto& [inode, fd] : pinned_) ::close(fd);
  pinned_.clear();
}

uint64_t FaultStorage::Count(uint32_t mask) const {
  std::lock_guard<std::mutex> lock(mutex_);
  uint64_t total = 0;
  for (const auto& [op, n] : counts_) {
    if (op & mask) total += n;
  }
  return total;
}

void FaultStorage::ResetCounts() {
  std::lock_guard<std::mutex> lock(mutex_);
  counts_.clear();
}

void FaultStorage::Inject(const Fault& fault) {
  std::lock_guard<std::mutex> lock(mutex_);
  fault_ = fault;
  armed_ = true;
  fired_ = false;
  seen_ = 0;
}

void FaultStorage::ClearFault() {
  std::lock_guard<std::mutex> lock(mutex_);
  armed_ = false;
}

bool FaultStorage::fired() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return fired_;
}

void FaultStorage::SetShortTransfers(size_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  shortTransfers_ = bytes;
}

int FaultStorage::Admit(StorageOp op, bool* torn) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++counts_[op];
  if (std::getenv("FAULT_TRACE")) {
    uint64_t total = 0;
    for (const auto& [k, n] : counts_) total += n;
    std::fprintf(stderr, "op %llu kind %u\n", static_cast<unsigned long long>(total), op);
  }
  if (stopped_ && (op & kOpsChanging)) return EIO;
  if (!armed_ || !(op & fault_.kinds)) return 0;
  ++seen_;
  if (seen_ < fault_.nth || (seen_ > fault_.nth && !fault_.sticky)) return 0;
  fired_ = true;
  if (torn) *torn = fault_.torn;
  return fault_.error;
}

void FaultStorage::SyncDone() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (syncsUntilStop_ < 0) return;
  if (--syncsUntilStop_ <= 0) {
    stopped_ = true;
    syncsUntilStop_ = -1;
  }
}

void FaultStorage::FileSynced(const InodeId& inode, int fd, const std::string& content) {
  std::lock_guard<std::mutex> lock(mutex_);
  durableData_[inode] = content;
  Pin(inode, fd, std::string());
}

std::map<std::string, FaultStorage::InodeId> FaultStorage::NamesIn(const std::string& folder) {
  std::map<std::string, InodeId> names;
  DIR* d = ::opendir(folder.c_str());
  if (!d) return names;
  while (dirent* e = ::readdir(d)) {
    std::string name = e->d_name;
    struct stat st;
    if (::lstat(Join(folder, name).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    names[name] = {st.st_dev, st.st_ino};
  }
  ::closedir(d);
  return names;
}

void FaultStorage::Track(const std::string& folder) {
  std::string key = Canonical(folder);
  std::map<std::string, InodeId> names = NamesIn(key);
  std::lock_guard<std::mutex> lock(mutex_);
  tracked_.insert(key);
  for (const auto& [name, inode] : names) {
    durableData_[inode] = ReadWhole(Join(key, name));
    Pin(inode, -1, Join(key, name));
  }
  durableNames_[key] = std::move(names);
}

void FaultStorage::StopAfterSyncs(uint64_t k) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (k == 0) {
    stopped_ = true;
    return;
  }
  syncsUntilStop_ = static_cast<int64_t>(k);
}

void FaultStorage::Stop() {
  std::lock_guard<std::mutex> lock(mutex_);
  stopped_ = true;
}

bool FaultStorage::stopped() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return stopped_;
}

void FaultStorage::Restart() {
  std::lock_guard<std::mutex> lock(mutex_);
  stopped_ = false;
  syncsUntilStop_ = -1;
  armed_ = false;
}

void FaultStorage::PowerCut() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::map<InodeId, std::string> data;
  UnpinAll();
  for (const std::string& folder : tracked_) {
    for (const auto& [name, inode] : NamesIn(folder)) ::unlink(Join(folder, name).c_str());
    std::map<std::string, InodeId>& names = durableNames_[folder];
    for (const auto& [name, inode] : names) {
      auto it = durableData_.find(inode);
      WriteWhole(Join(folder, name), it == durableData_.end() ? std::string() : it->second);
    }
    // What is on the disk now is the durable state the machine starts from again.
    names = NamesIn(folder);
    for (const auto& [name, inode] : names) {
      data[inode] = ReadWhole(Join(folder, name));
      Pin(inode, -1, Join(folder, name));
    }
  }
  durableData_ = std::move(data);
  stopped_ = false;
  syncsUntilStop_ = -1;
  armed_ = false;
}

int FaultStorage::Open(const std::string& path, OpenMode mode, engine::ErrorCode code, std::unique_ptr<File>* file) {
  bool creating = mode != OpenMode::kRead && mode != OpenMode::kReadWrite;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopped_ && creating) {
      ++counts_[kOpOpen];
      return EIO;
    }
  }
  if (int e = Admit(kOpOpen)) return e;
  std::unique_ptr<File> base;
  if (int e = base_.Open(path, mode, code, &base)) return e;
  *file = std::make_unique<FaultFile>(*this, std::move(base), true);
  return 0;
}

int FaultStorage::OpenWorkFile(const std::string& folder, engine::ErrorCode code, std::unique_ptr<File>* file) {
  if (int e = Admit(kOpWorkFile)) return e;
  std::unique_ptr<File> base;
  if (int e = base_.OpenWorkFile(folder, code, &base)) return e;
  *file = std::make_unique<FaultFile>(*this, std::move(base), false);
  return 0;
}

int FaultStorage::Rename(const std::string& from, const std::string& to) {
  if (int e = Admit(kOpRename)) return e;
  return base_.Rename(from, to);
}

int FaultStorage::Link(const std::string& from, const std::string& to) {
  if (int e = Admit(kOpLink)) return e;
  return base_.Link(from, to);
}

int FaultStorage::Remove(const std::string& path) {
  if (int e = Admit(kOpRemove)) return e;
  return base_.Remove(path);
}

int FaultStorage::SyncFolder(const std::string& folder) {
  if (int e = Admit(kOpSyncFolder)) return e;
  if (int e = base_.SyncFolder(folder)) return e;
  std::string key = Canonical(folder);
  std::map<std::string, InodeId> names = NamesIn(key);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (tracked_.count(key)) {
      for (const auto& [name, inode] : names) Pin(inode, -1, Join(key, name));
      durableNames_[key] = std::move(names);
    }
  }
  SyncDone();
  return 0;
}

int FaultStorage::Stat(const std::string& path, FileInfo* info) {
  if (int e = Admit(kOpStat)) return e;
  return base_.Stat(path, info);
}

int FaultStorage::List(const std::string& folder, const std::string& prefix, std::vector<std::string>* names) {
  if (int e = Admit(kOpList)) return e;
  return base_.List(folder, prefix, names);
}

}  // namespace acetest
