// The owner of a table's files; see table_files.h.
#include "engine/table/table_files.h"

namespace engine::table_files {

namespace {

// Splits a staging suffix ("~..." after the extension) off a file name. Both separators count,
// so that names in Windows form work too.
void SplitSuffix(const std::string& path, std::string* core, std::string* suffix) {
  size_t slash = path.find_last_of("/\\");
  size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  size_t dot = path.find('.', nameStart);
  size_t tilde = dot == std::string::npos ? std::string::npos : path.find('~', path.find_last_of('.'));
  if (tilde == std::string::npos || tilde < nameStart) {
    *core = path;
    suffix->clear();
  } else {
    *core = path.substr(0, tilde);
    *suffix = path.substr(tilde);
  }
}

// The name with its extension (the part after the last dot of the file name) replaced by `ext`.
std::string WithExtension(const std::string& path, const char* ext) {
  std::string core, suffix;
  SplitSuffix(path, &core, &suffix);
  size_t slash = core.find_last_of("/\\");
  size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  size_t dot = core.find_last_of('.');
  if (dot != std::string::npos && dot > nameStart) core.resize(dot);
  return core + ext + suffix;
}

std::string ReadyPath(const std::string& path) { return path + "~new"; }

void Finish(const std::string& tablePath, bool durable) {
  storage::RemoveFile(IndexPath(tablePath), err::kTableIoError);
  std::string readyMemo = MemoPath(ReadyPath(tablePath));
  if (storage::Exists(readyMemo, err::kTableIoError)) {
    storage::RenameFile(readyMemo, MemoPath(tablePath), err::kTableIoError);
  }
  storage::RenameFile(ReadyPath(tablePath), tablePath, err::kTableIoError);
  if (durable) storage::SyncFolderOf(tablePath, err::kTableIoError);
}

}  // namespace

std::string MemoPath(const std::string& tablePath) { return WithExtension(tablePath, ".adm"); }

std::string IndexPath(const std::string& tablePath) { return WithExtension(tablePath, ".adi"); }

std::string IndexFileName(const std::string& name) {
  size_t slash = name.find_last_of("\\/");
  size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return name + ".adi";
  return name;
}

std::string StagingPath(const std::string& path) { return path + "~tmp"; }

NewTableFiles::NewTableFiles(std::string tablePath) : target_(std::move(tablePath)), staged_(StagingPath(target_)) {
  // What an earlier attempt that crashed left under the staging names is not part of this one.
  storage::Current().Remove(staged_);
  storage::Current().Remove(MemoPath(staged_));
}

NewTableFiles::~NewTableFiles() {
  if (installed_) return;
  // What was staged never became the table; a failure to remove it leaves only a stray file.
  storage::Current().Remove(staged_);
  storage::Current().Remove(MemoPath(staged_));
}

void NewTableFiles::Install(bool memo, bool durable) {
  if (durable) {
    // Both files are complete on the disk before either name moves.
    if (memo) storage::OpenFile(MemoPath(staged_), storage::OpenMode::kRead, err::kTableIoError)->Sync();
    storage::OpenFile(staged_, storage::OpenMode::kRead, err::kTableIoError)->Sync();
  }
  if (!storage::Exists(target_, err::kTableIoError)) {
    // Nothing to pair with: the memo file first, then the table file, which makes the table.
    storage::RemoveFile(IndexPath(target_), err::kTableIoError);
    if (memo) storage::RenameFile(MemoPath(staged_), MemoPath(target_), err::kTableIoError);
    storage::RenameFile(staged_, target_, err::kTableIoError);
    if (durable) storage::SyncFolderOf(target_, err::kTableIoError);
  } else {
    // Two files replace two: once both are ready under their own names the replacement is
    // decided, and whoever finishes it moves the table file last.
    if (memo) storage::RenameFile(MemoPath(staged_), MemoPath(ReadyPath(target_)), err::kTableIoError);
    storage::RenameFile(staged_, ReadyPath(target_), err::kTableIoError);
    if (durable) storage::SyncFolderOf(target_, err::kTableIoError);
    installed_ = true;
    Finish(target_, durable);
  }
  installed_ = true;
  if (!memo && storage::Exists(MemoPath(target_), err::kTableIoError)) {
    // The old table's memo file belongs to no table now.
    storage::RemoveFile(MemoPath(target_), err::kTableIoError);
    if (durable) storage::SyncFolderOf(target_, err::kTableIoError);
  }
}

void ReplaceTableFile(storage::File& file, const std::string& staged, const std::string& target, bool durable,
                      const std::function<void()>& renamed) {
  if (durable) file.Sync();
  storage::RenameFile(staged, target, err::kTableIoError);
  renamed();
  if (durable) storage::SyncFolderOf(target, err::kTableIoError);
}

void ReplaceMemoFile(storage::File& file, const std::string& staged, const std::string& tablePath) {
  storage::ReplaceFile(file, staged, MemoPath(tablePath), true);
}

bool ReplacementPending(const std::string& tablePath) {
  return storage::Exists(ReadyPath(tablePath), err::kTableIoError);
}

bool Recover(const std::string& tablePath) {
  if (ReplacementPending(tablePath)) {
    Finish(tablePath, true);
    return true;
  }
  std::string readyMemo = MemoPath(ReadyPath(tablePath));
  if (storage::Exists(readyMemo, err::kTableIoError)) {
    // The replacement was not decided: its memo file is a leftover.
    storage::RemoveFile(readyMemo, err::kTableIoError);
    return true;
  }
  return false;
}

void RemoveTable(const std::string& tablePath, bool durable) {
  storage::RemoveFile(tablePath, err::kTableIoError);
  if (durable) storage::SyncFolderOf(tablePath, err::kTableIoError);
  storage::RemoveFile(MemoPath(tablePath), err::kTableIoError);
  storage::RemoveFile(IndexPath(tablePath), err::kTableIoError);
  storage::RemoveFile(ReadyPath(tablePath), err::kTableIoError);
  storage::RemoveFile(MemoPath(ReadyPath(tablePath)), err::kTableIoError);
  if (durable) storage::SyncFolderOf(tablePath, err::kTableIoError);
}

void ReplaceIndexFile(storage::File& file, const std::string& staged, const std::string& target, bool durable) {
  if (durable) file.Sync();
  if (int e = storage::Current().Rename(staged, target)) {
    storage::FailHost(err::kIndexIoError, e, "Replacing index file \"" + target + "\" failed");
  }
  if (durable) storage::SyncFolderOf(target, err::kIndexIoError);
}

void RemoveIndexFile(const std::string& path) {
  storage::RemoveFile(path, err::kIndexIoError);
  storage::SyncFolderOf(path, err::kIndexIoError);
}

}  // namespace engine::table_files
