// A File that gathers the writes which extend the file it wraps and hands them on in large
// pieces: appending a record costs a memory copy instead of a system call or two.
//
// What it holds is one run of bytes that starts exactly at the end of the wrapped file as last
// known (writes past the end only, so a byte already in the file is never older in the file
// than in memory, and a reader of the file through another open sees what it saw before).
// A write inside the run or continuing it is copied into it, and reads of it are answered from
// it; any other change first writes the run out: a write elsewhere, a size change past it, a
// sync, closing. So the wrapped file receives the same bytes in the same order as without the
// wrapper, only later and in fewer writes; a Sync still makes everything written durable, and
// a crash loses only what no Sync had made durable anyway.
//
// Room on the disk is taken for a run before it starts (File::Reserve, a run's worth at a
// time), so the disk fills up at the same writes as without the wrapper: where no room can be
// taken, writes go straight through and fail where they fail. The room left past the end is
// given back when the wrapper closes. A hand-over that fails all the same keeps the run (it is
// retried by the next operation and reported by each until it succeeds), so nothing is lost
// silently. SetSize drops the part of the run it cuts away, so a change taken back on a full
// disk does not need the disk to write it first.
//
// Locks pass straight through: the wrapper changes nothing of who holds what.
//
// REQUIRES: as for any File, one thread at a time; nothing else writes the wrapped file while
// the wrapper holds bytes (the table opens it is used for are exclusive).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/storage/storage.h"

namespace engine::storage {

class WriteBehindFile final : public File {
 public:
  // `limit`: the run is handed on once it would grow past this many bytes.
  WriteBehindFile(std::unique_ptr<File> inner, size_t limit);
  // Hands on what it holds; a failure there is lost (nothing synced depends on it).
  ~WriteBehindFile() override;

  int ReadSome(uint64_t offset, void* data, size_t size, size_t* done) override;
  int WriteSome(uint64_t offset, const void* data, size_t size, size_t* done) override;
  int GetSize(uint64_t* size) override;
  int SetSize(uint64_t size) override;
  int SyncData() override;
  int TryLock(uint64_t start, uint64_t length, LockKind kind) override;
  int LockWait(uint64_t start, uint64_t length, bool exclusive) override;
  int QueryLock(uint64_t start, uint64_t length, bool* held) override;
  int GetId(uint64_t* id) override;

  // Bytes held and not yet handed on (for tests).
  size_t held() const { return run_.size(); }

 private:
  // Hands the run on; 0 or the errno of the write that failed (the rest stays held).
  int Flush();
  // The size of the wrapped file, asked once and then followed.
  int InnerSize(uint64_t* size);
  // Whether the disk holds room for a run starting at the end of the file (taking it if need be).
  bool RoomForRun();

  std::unique_ptr<File> inner_;
  size_t limit_;
  std::vector<uint8_t> run_;  // the bytes from innerSize_ on
  uint64_t innerSize_ = 0;
  bool sizeKnown_ = false;
  uint64_t reservedEnd_ = 0;     // the disk holds room up to here
  bool reserveRefused_ = false;  // no room could be taken since the last sync or size change
};

}  // namespace engine::storage
