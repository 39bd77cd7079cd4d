// Transaction logs beside tables; see transaction_log.h.
#include "engine/table/transaction_log.h"

#include <errno.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

#include "engine/core/error.h"
#include "engine/table/table.h"
#include "engine/table/table_files.h"

namespace engine::table {

namespace {

constexpr char kMagic[8] = {'Q', 'T', 'X', 'N', 'L', 'O', 'G', '1'};
constexpr uint64_t kHeaderSize = 16;
constexpr uint8_t kImageEntry = 1;
constexpr uint8_t kAppendedEntry = 2;
constexpr uint8_t kCommittedEntry = 3;  // the transaction committed: nothing of the log is undone
constexpr uint8_t kCommitRecordEntry = 4;  // the transaction commits through this commit record
constexpr uint32_t kMaxCommitRecordPath = 4096;
constexpr uint64_t kLiveByte = 0;

std::atomic<uint64_t> gSerial{0};

void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t GetU32(const uint8_t* p) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= uint32_t{p[i]} << (8 * i);
  return v;
}

using storage::FolderOf;
using storage::OpenMode;
std::string NameOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}
std::string LogPrefix(const std::string& tablePath) { return NameOf(tablePath) + ".txn-"; }

// The owner a log's name gives: its process and connection.
bool OwnerOf(const std::string& name, const std::string& prefix, long* pid, unsigned long* connection) {
  if (name.compare(0, prefix.size(), prefix) != 0) return false;
  const char* p = name.c_str() + prefix.size();
  char* end = nullptr;
  *pid = std::strtol(p, &end, 10);
  if (end == p || *end != '-') return false;
  p = end + 1;
  *connection = std::strtoul(p, &end, 10);
  return end != p && *end == '-';
}

// One log as last read: its entries, re-read when the file grows.
struct CachedLog {
  uint64_t inode = 0;
  uint64_t size = 0;
  bool committed = false;
  std::string commitRecord;  // named by the log: the transaction committed once it exists
  CommittedImages images;
};

std::mutex gCacheMutex;
std::map<std::string, CachedLog> gLogs;  // by log path

// Reads the entries of a log from `from` on into images (first entry of a record wins);
// returns the size read up to the last complete entry.
// *committed tells whether the log ends with the mark of a committed transaction,
// *commitRecord receives the commit record the log names (unchanged when it names none).
uint64_t ReadEntries(storage::File& f, uint64_t from, uint64_t size, uint32_t recordLength,
                     CommittedImages& images, bool* committed, std::string* commitRecord) {
  uint64_t at = from;
  std::vector<uint8_t> image(recordLength);
  while (at + 5 <= size) {
    uint8_t head[5];
    f.ReadExact(at, head, sizeof head);
    uint32_t n = GetU32(head);
    if (head[4] == kImageEntry) {
      if (at + 5 + recordLength > size) break;
      f.ReadExact(at + 5, image.data(), recordLength);
      images.emplace(n, image);
      at += 5 + recordLength;
    } else if (head[4] == kAppendedEntry) {
      images.emplace(n, std::nullopt);
      at += 5;
    } else if (head[4] == kCommitRecordEntry) {
      if (n == 0 || n > kMaxCommitRecordPath || at + 5 + n > size) break;
      std::string path(n, '\0');
      f.ReadExact(at + 5, reinterpret_cast<uint8_t*>(path.data()), n);
      *commitRecord = std::move(path);
      at += 5 + n;
    } else if (head[4] == kCommittedEntry) {
      *committed = true;
      at += 5;
      break;
    } else {
      break;  // a damaged tail: what came before still counts
    }
  }
  return at;
}

// Whether the transaction of a log that names `commitRecord` ("" for none) committed through
// it. A host that cannot tell counts as not committed for readers; a recovering open asks
// with `code` and fails rather than guess.
bool CommittedThrough(const std::string& commitRecord, ErrorCode code) {
  return !commitRecord.empty() && storage::Exists(commitRecord, code);
}

// The logs of the table in its folder, as host paths.
std::vector<std::string> LogsOf(const std::string& tablePath) {
  std::vector<std::string> logs;
  const std::string folder = FolderOf(tablePath);
  for (const std::string& name : storage::ListFolder(folder, LogPrefix(tablePath))) logs.push_back(folder + "/" + name);
  return logs;
}

bool ValidHeader(storage::File& f, uint32_t recordLength) {
  uint8_t header[kHeaderSize];
  if (f.Read(0, header, sizeof header) != sizeof header) return false;
  return std::memcmp(header, kMagic, sizeof kMagic) == 0 && GetU32(header + 8) == recordLength;
}

}  // namespace

TransactionLog::TransactionLog(const std::string& tablePath, uint32_t connection, uint32_t recordLength,
                               bool exclusive)
    : tablePath_(tablePath), recordLength_(recordLength), exclusive_(exclusive) {
  int error = 0;
  table_ = storage::TryOpenFile(tablePath, OpenMode::kReadWrite, err::kTableIoError, &error);
  if (!table_) {
    storage::FailHost(err::kTableIoError, error, "Cannot open \"" + tablePath + "\" for its transaction");
  }
  // The open lock keeps exclusive opens away while the transaction lives; a table this
  // connection opened exclusively has nobody else to keep away.
  if (!exclusive && !table_->Lock(kOpenLockByte, 1, false)) {
    Fail(err::kTableInUse, "The table \"" + tablePath + "\" is open exclusively by another user.");
  }
  table_->Lock(kTransactionLockByte, 1, false);
  // The log is complete and locked before it takes its name, so whoever finds it by its name
  // finds its header and, while the owner lives, its lock.
  const std::string owner = std::to_string(::getpid()) + "-" + std::to_string(connection) + "-" + std::to_string(++gSerial);
  const std::string path = tablePath + ".txn-" + owner;
  const std::string draft = tablePath + ".txnnew-" + owner;
  log_ = storage::TryOpenFile(draft, OpenMode::kCreateNew, err::kTableIoError, &error);
  if (!log_) {
    storage::FailHost(err::kTableIoError, error, "Cannot create the transaction log \"" + path + "\"");
  }
  try {
    log_->Lock(kLiveByte, 1, true);
    uint8_t header[kHeaderSize] = {};
    std::memcpy(header, kMagic, sizeof kMagic);
    PutU32(header + 8, recordLength);
    log_->Write(0, header, sizeof header);
    log_->Sync();
    logSize_ = kHeaderSize;
    storage::RenameFile(draft, path, err::kTableIoError);
    // The log's name is durable before any change it describes reaches the table.
    storage::SyncFolderOf(path, err::kTableIoError);
  } catch (...) {
    log_.reset();
    storage::Current().Remove(draft);
    throw;
  }
  name_ = path;
}

TransactionLog::~TransactionLog() {
  // Removing the name first: a reader that finds no log reads the table as it now is, and one
  // that still holds the log sees its lock until the handle closes.
  if (log_ && !finished_) storage::Current().Remove(name_);
  log_.reset();
  table_.reset();
}

void TransactionLog::Note(uint32_t n, const uint8_t* image) {
  if (noted_.count(n)) return;
  // An exclusive open counts its appends on disk only when the transaction commits, and nobody
  // else reads the table meanwhile: there is nothing to show or undo of them.
  if (!image && exclusive_) return;
  std::vector<uint8_t> entry(5 + (image ? recordLength_ : 0));
  PutU32(entry.data(), n);
  entry[4] = image ? kImageEntry : kAppendedEntry;
  if (image) std::memcpy(entry.data() + 5, image, recordLength_);
  log_->Write(logSize_, entry.data(), entry.size());
  log_->Sync();
  logSize_ += entry.size();
  noted_.insert(n);
}

bool TransactionLog::Hold(uint32_t n) {
  if (held_.count(n)) return true;
  if (!table_->Lock(kRecordLockBase + n, 1, true)) return false;
  held_.insert(n);
  return true;
}

void TransactionLog::Release(uint32_t n) {
  if (held_.erase(n) != 0) table_->Unlock(kRecordLockBase + n, 1);
}

void TransactionLog::NameCommitRecord(const std::string& recordPath) {
  std::vector<uint8_t> entry(5 + recordPath.size());
  PutU32(entry.data(), static_cast<uint32_t>(recordPath.size()));
  entry[4] = kCommitRecordEntry;
  std::memcpy(entry.data() + 5, recordPath.data(), recordPath.size());
  log_->Write(logSize_, entry.data(), entry.size());
  log_->Sync();
  logSize_ += entry.size();
}

void TransactionLog::MarkCommitted() {
  uint8_t entry[5] = {0, 0, 0, 0, kCommittedEntry};
  log_->Write(logSize_, entry, sizeof entry);
  logSize_ += sizeof entry;
  log_->Sync();
}

void TransactionLog::Finish() {
  if (finished_ || !log_) return;
  finished_ = true;
  // The log says the transaction committed: a name left behind undoes nothing.
  storage::Current().Remove(name_);
}

void TransactionLog::Abandon() {
  log_.reset();
  table_.reset();
}

void TransactionLog::SyncTable() {
  table_->Sync();
  for (const std::string& path : table_files::MemoPaths(tablePath_)) {
    int error = 0;
    std::unique_ptr<storage::File> memo = storage::TryOpenFile(path, OpenMode::kRead, err::kTableIoError, &error);
    if (memo) memo->Sync();
  }
}

CommittedImages ReadCommittedImages(const std::string& tablePath, uint32_t connection, uint32_t recordLength) {
  CommittedImages result;
  const std::string prefix = LogPrefix(tablePath);
  std::vector<std::string> logs = LogsOf(tablePath);
  std::lock_guard<std::mutex> lock(gCacheMutex);
  for (const std::string& path : logs) {
    long pid = 0;
    unsigned long owner = 0;
    if (!OwnerOf(NameOf(path), prefix, &pid, &owner)) continue;
    if (connection != 0 && pid == ::getpid() && owner == connection) continue;
    int error = 0;
    std::unique_ptr<storage::File> f = storage::TryOpenFile(path, OpenMode::kRead, err::kTableIoError, &error);
    if (!f) continue;  // ended since the folder was read
    try {
      storage::FileInfo info;
      if (storage::Current().Stat(path, &info) != 0 || !info.exists) continue;
      const uint64_t size = f->Size();
      CachedLog& cached = gLogs[path];
      if (cached.inode != info.id || size < cached.size) cached = CachedLog{};
      if (cached.size == 0) {
        if (!ValidHeader(*f, recordLength)) continue;
        cached.inode = info.id;
        cached.size = kHeaderSize;
      }
      if (!cached.committed) {
        cached.size =
            ReadEntries(*f, cached.size, size, recordLength, cached.images, &cached.committed, &cached.commitRecord);
      }
      if (!cached.committed && CommittedThrough(cached.commitRecord, err::kTableIoError)) cached.committed = true;
      if (cached.committed) continue;  // its changes are the table's
      for (const auto& [n, image] : cached.images) result.emplace(n, image);
    } catch (const EngineError&) {
      // A log that cannot be read is one that is going away.
    }
  }
  // Logs that are gone are forgotten.
  for (auto it = gLogs.begin(); it != gLogs.end();) {
    bool stale = it->first.compare(0, FolderOf(tablePath).size() + 1 + prefix.size(),
                                   FolderOf(tablePath) + "/" + prefix) == 0 &&
                 std::find(logs.begin(), logs.end(), it->first) == logs.end();
    it = stale ? gLogs.erase(it) : std::next(it);
  }
  return result;
}

std::vector<AbandonedLog> ClaimAbandonedLogs(const std::string& tablePath, uint32_t recordLength) {
  std::vector<AbandonedLog> claimed;
  const std::string prefix = LogPrefix(tablePath);
  for (const std::string& path : LogsOf(tablePath)) {
    long pid = 0;
    unsigned long owner = 0;
    if (!OwnerOf(NameOf(path), prefix, &pid, &owner)) continue;
    int error = 0;
    AbandonedLog log;
    log.file = storage::TryOpenFile(path, OpenMode::kReadWrite, err::kTableIoError, &error);
    if (!log.file) continue;
    try {
      // The owner holds the lock while it lives, another open while it undoes the log.
      if (!log.file->Lock(kLiveByte, 1, true)) continue;
      if (!ValidHeader(*log.file, recordLength)) {
        // Not a log of this table as it now is (or a header never completed): nothing in the
        // table can depend on it, since entries reach the log before changes reach the table.
        storage::Current().Remove(path);
        continue;
      }
      bool committed = false;
      std::string commitRecord;
      ReadEntries(*log.file, kHeaderSize, log.file->Size(), recordLength, log.images, &committed, &commitRecord);
      if (!committed && CommittedThrough(commitRecord, err::kTableIoError)) {
        // Committed through its record: marked first, so that the log undoes nothing even if
        // its removal is lost in a crash after the record's removal was not.
        uint8_t mark[5] = {0, 0, 0, 0, kCommittedEntry};
        log.file->Write(log.file->Size(), mark, sizeof mark);
        log.file->Sync();
        committed = true;
      }
      if (committed) {
        // The transaction committed before its log could go: nothing is undone.
        storage::Current().Remove(path);
        if (!commitRecord.empty()) RemoveCommitRecordWhenDone(commitRecord);
        continue;
      }
      claimed.push_back(std::move(log));
    } catch (const EngineError&) {
      // A log that cannot be read now is left for a later open.
    }
  }
  return claimed;
}

std::string CommitRecordPathFor(const TransactionLog& first) {
  const std::string& log = first.path();
  const size_t at = log.rfind(".txn-");
  return log.substr(0, at) + ".txc-" + log.substr(at + 5);
}

void WriteCommitRecord(const std::string& path, const std::vector<std::string>& logs, bool* stands) {
  *stands = false;
  std::string text;
  for (const std::string& log : logs) text += log + "\n";
  const std::string draft = path + ".new";
  {
    std::unique_ptr<storage::File> f = storage::OpenFile(draft, OpenMode::kCreate, err::kTableIoError);
    try {
      f->Write(0, reinterpret_cast<const uint8_t*>(text.data()), text.size());
      f->Sync();
    } catch (...) {
      f.reset();
      storage::Current().Remove(draft);
      throw;
    }
  }
  try {
    storage::RenameFile(draft, path, err::kTableIoError);
  } catch (...) {
    storage::Current().Remove(draft);
    throw;
  }
  try {
    storage::SyncFolderOf(path, err::kTableIoError);
  } catch (...) {
    // The record has its name but perhaps not durably: take it back, or else it stands.
    try {
      storage::RemoveFile(path, err::kTableIoError);
      storage::SyncFolderOf(path, err::kTableIoError);
    } catch (const EngineError&) {
      storage::FileInfo info;
      *stands = storage::Current().Stat(path, &info) != 0 || info.exists;
      if (*stands) return;
    }
    throw;
  }
}

void RemoveCommitRecordWhenDone(const std::string& path) {
  try {
    std::unique_ptr<storage::File> f = storage::OpenFile(path, OpenMode::kRead, err::kTableIoError);
    const uint64_t size = f->Size();
    std::string text(size, '\0');
    f->ReadExact(0, reinterpret_cast<uint8_t*>(text.data()), size);
    f.reset();
    for (size_t at = 0; at < text.size();) {
      size_t end = text.find('\n', at);
      if (end == std::string::npos) end = text.size();
      const std::string log = text.substr(at, end - at);
      if (!log.empty() && storage::Exists(log, err::kTableIoError)) return;  // still needed
      at = end + 1;
    }
    storage::RemoveFile(path, err::kTableIoError);
  } catch (const EngineError&) {
    // Left in place: a record whose logs are gone commits nothing more.
  }
}

void RemoveLog(AbandonedLog& log) {
  const std::string path = log.file->path();
  storage::RemoveFile(path, err::kTableIoError);
  log.file.reset();
}

}  // namespace engine::table
