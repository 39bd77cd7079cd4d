// A storage wrapper for tests that makes the disk misbehave: it counts every operation the
// engine asks of its storage, fails the nth operation of chosen kinds with a chosen errno
// (once, or from then on), makes reads and writes short, and models what a crash keeps.
//
// The crash model. Tracked folders have a durable state: the content each file had at its last
// Sync, and the names each folder had at its last SyncFolder (both taken as they are when the
// folder starts being tracked). Stop() (or StopAfterSyncs) ends the machine: every later
// operation that would change the disk fails with EIO, as if the process had died, while reads
// and locks still work so that the engine's objects can be destroyed. Then either
//   - Restart() lets operations through again and keeps every file as it is: a process killed
//     with SIGKILL, whose writes the host's page cache keeps; or
//   - PowerCut() rewrites every tracked folder to its durable state, dropping every write and
//     every name not forced to the disk, and lets operations through again.
// Every File opened through the wrapper must be closed before PowerCut.
//
// Thread safety: every member may be called from any thread.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/storage/storage.h"

namespace acetest {

// Kinds of storage operations, as bits of a mask.
enum StorageOp : uint32_t {
  kOpOpen = 1u << 0,        // Open of an existing file or creation of one
  kOpRead = 1u << 1,
  kOpWrite = 1u << 2,
  kOpSize = 1u << 3,
  kOpTruncate = 1u << 4,
  kOpSync = 1u << 5,
  kOpLock = 1u << 6,
  kOpWorkFile = 1u << 7,
  kOpRename = 1u << 8,
  kOpLink = 1u << 9,
  kOpRemove = 1u << 10,
  kOpSyncFolder = 1u << 11,
  kOpStat = 1u << 12,
  kOpList = 1u << 13,
};
constexpr uint32_t kOpsAll = (1u << 14) - 1;
// Everything that changes the disk or forces it.
constexpr uint32_t kOpsChanging = kOpOpen | kOpWrite | kOpTruncate | kOpSync | kOpWorkFile | kOpRename | kOpLink |
                                  kOpRemove | kOpSyncFolder;
constexpr uint32_t kOpsSyncing = kOpSync | kOpSyncFolder;

class FaultStorage final : public engine::storage::Storage {
 public:
  explicit FaultStorage(engine::storage::Storage& base = engine::storage::Host());
  ~FaultStorage() override;

  // Operations of the kinds in `mask` since construction or the last ResetCounts.
  uint64_t Count(uint32_t mask) const;
  void ResetCounts();

  struct Fault {
    uint32_t kinds = kOpsAll;  // the operations counted for `nth`
    uint64_t nth = 1;          // 1: the next operation of those kinds
    int error = 5;             // EIO
    bool sticky = false;       // every later operation of those kinds fails too
    bool torn = false;         // a failing write that extends the file first writes half its bytes
  };
  // Arms a fault, counted from now; replaces any armed before.
  void Inject(const Fault& fault);
  void ClearFault();
  // Whether the armed fault has failed an operation.
  bool fired() const;

  // Every read and write moves at most `bytes` bytes at a time (0: as many as asked).
  void SetShortTransfers(size_t bytes);

  // Starts tracking `folder` (not its subfolders): what is in it now is durable.
  void Track(const std::string& folder);
  // The machine stops right after the kth successful Sync or SyncFolder from now (k 0: now).
  void StopAfterSyncs(uint64_t k);
  void Stop();
  bool stopped() const;
  void Restart();
  void PowerCut();

  // engine::storage::Storage
  int Open(const std::string& path, engine::storage::OpenMode mode, engine::ErrorCode code,
           std::unique_ptr<engine::storage::File>* file) override;
  int OpenWorkFile(const std::string& folder, engine::ErrorCode code,
                   std::unique_ptr<engine::storage::File>* file) override;
  int Rename(const std::string& from, const std::string& to) override;
  int Link(const std::string& from, const std::string& to) override;
  int Remove(const std::string& path) override;
  int SyncFolder(const std::string& folder) override;
  int Stat(const std::string& path, engine::storage::FileInfo* info) override;
  int List(const std::string& folder, const std::string& prefix, std::vector<std::string>* names) override;

 private:
  friend class FaultFile;
  using InodeId = std::pair<dev_t, ino_t>;
  // Counts an operation of kind `op`; answers the errno it must fail with (0: none) and
  // whether a failing write is torn.
  int Admit(StorageOp op, bool* torn = nullptr);
  void SyncDone();
  void FileSynced(const InodeId& inode, int fd, const std::string& content);
  static std::map<std::string, InodeId> NamesIn(const std::string& folder);
  // Keeps the inode open while the durable state refers to it, so that the host cannot give
  // its number to a new file. Takes ownership of `fd` (or opens `path` when fd is -1).
  void Pin(const InodeId& inode, int fd, const std::string& path);
  void UnpinAll();

  engine::storage::Storage& base_;
  mutable std::mutex mutex_;
  std::map<uint32_t, uint64_t> counts_;
  Fault fault_;
  bool armed_ = false;
  bool fired_ = false;
  uint64_t seen_ = 0;  // operations of the fault's kinds since it was armed
  size_t shortTransfers_ = 0;
  bool stopped_ = false;
  int64_t syncsUntilStop_ = -1;
  std::set<std::string> tracked_;
  std::map<std::string, std::map<std::string, InodeId>> durableNames_;
  std::map<InodeId, std::string> durableData_;
  std::map<InodeId, int> pinned_;
};

}  // namespace acetest
