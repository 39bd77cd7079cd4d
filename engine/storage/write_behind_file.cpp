// The write-behind wrapper of a file; see write_behind_file.h.
#include "engine/storage/write_behind_file.h"

#include <errno.h>

#include <algorithm>
#include <cstring>

namespace engine::storage {

WriteBehindFile::WriteBehindFile(std::unique_ptr<File> inner, size_t limit)
    : File(inner->path(), inner->errorCode()), inner_(std::move(inner)), limit_(std::max<size_t>(limit, 1)) {
  SetWritable(inner_->writable());
}

WriteBehindFile::~WriteBehindFile() {
  // Room taken past the end is given back: the file keeps only what it holds.
  if (Flush() == 0 && reservedEnd_ > innerSize_) inner_->SetSize(innerSize_);
}

bool WriteBehindFile::RoomForRun() {
  if (innerSize_ + limit_ <= reservedEnd_) return true;
  if (reserveRefused_) return false;
  if (inner_->Reserve(innerSize_, limit_) != 0) {
    // A full disk (or a host without the means): writes go straight through, failing where
    // they fail, until a sync or a size change may have made room.
    reserveRefused_ = true;
    return false;
  }
  reservedEnd_ = innerSize_ + limit_;
  return true;
}

int WriteBehindFile::InnerSize(uint64_t* size) {
  if (!sizeKnown_) {
    if (int e = inner_->GetSize(&innerSize_)) return e;
    sizeKnown_ = true;
  }
  *size = innerSize_;
  return 0;
}

int WriteBehindFile::Flush() {
  while (!run_.empty()) {
    size_t done = 0;
    int e = inner_->WriteSome(innerSize_, run_.data(), run_.size(), &done);
    if (e == EINTR) continue;
    if (e == 0 && done == 0) e = EIO;  // a host that takes nothing without saying why
    if (e != 0) return e;
    innerSize_ += done;
    run_.erase(run_.begin(), run_.begin() + static_cast<std::ptrdiff_t>(done));
  }
  return 0;
}

int WriteBehindFile::ReadSome(uint64_t offset, void* data, size_t size, size_t* done) {
  if (run_.empty()) return inner_->ReadSome(offset, data, size, done);
  // The held bytes are read where they are, so that reading them needs no write: taking back
  // appends on a full disk reads the records it takes back.
  if (offset < innerSize_) {
    return inner_->ReadSome(offset, data, static_cast<size_t>(std::min<uint64_t>(size, innerSize_ - offset)), done);
  }
  const uint64_t at = offset - innerSize_;
  *done = at >= run_.size() ? 0 : static_cast<size_t>(std::min<uint64_t>(size, run_.size() - at));
  if (*done > 0) std::memcpy(data, run_.data() + at, *done);
  return 0;
}

int WriteBehindFile::WriteSome(uint64_t offset, const void* data, size_t size, size_t* done) {
  *done = 0;
  uint64_t end = 0;
  if (int e = InnerSize(&end)) return e;
  const bool joins = offset >= end && offset - end <= run_.size();
  if (joins && offset - end + size <= limit_ && (!run_.empty() || RoomForRun())) {
    const size_t at = static_cast<size_t>(offset - end);
    if (at + size > run_.size()) run_.resize(at + size);
    std::memcpy(run_.data() + at, data, size);
    *done = size;
    return 0;
  }
  if (int e = Flush()) return e;
  if (offset == innerSize_ && size <= limit_ && RoomForRun()) {
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    run_.assign(bytes, bytes + size);
    *done = size;
    return 0;
  }
  int e = inner_->WriteSome(offset, data, size, done);
  if (e == 0) innerSize_ = std::max(innerSize_, offset + *done);
  return e;
}

int WriteBehindFile::GetSize(uint64_t* size) {
  if (!run_.empty()) {
    *size = innerSize_ + run_.size();
    return 0;
  }
  if (int e = inner_->GetSize(&innerSize_)) return e;
  sizeKnown_ = true;
  *size = innerSize_;
  return 0;
}

int WriteBehindFile::SetSize(uint64_t size) {
  // What the new size cuts away is never handed on; a cut inside the run needs no write.
  if (size <= innerSize_) {
    run_.clear();
  } else if (size - innerSize_ <= run_.size()) {
    run_.resize(static_cast<size_t>(size - innerSize_));
    return 0;
  }
  if (int e = Flush()) return e;
  reserveRefused_ = false;
  if (int e = inner_->SetSize(size)) {
    sizeKnown_ = false;  // the host may have done part of it
    reservedEnd_ = 0;
    return e;
  }
  innerSize_ = size;
  sizeKnown_ = true;
  reservedEnd_ = std::min(reservedEnd_, size);  // the host gave back the room past the end
  return 0;
}

int WriteBehindFile::SyncData() {
  reserveRefused_ = false;
  if (int e = Flush()) return e;
  return inner_->SyncData();
}

int WriteBehindFile::TryLock(uint64_t start, uint64_t length, LockKind kind) { return inner_->TryLock(start, length, kind); }

int WriteBehindFile::LockWait(uint64_t start, uint64_t length, bool exclusive) {
  return inner_->LockWait(start, length, exclusive);
}

int WriteBehindFile::QueryLock(uint64_t start, uint64_t length, bool* held) { return inner_->QueryLock(start, length, held); }

int WriteBehindFile::GetId(uint64_t* id) { return inner_->GetId(id); }

}  // namespace engine::storage
