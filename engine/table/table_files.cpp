// The owner of a table's files; see table_files.h.
#include "engine/table/table_files.h"

#include <cstring>
#include <vector>

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

// The name with its extension (the part after the last dot of the file name) replaced by `ext`;
// with `matchCase`, in capitals when the current extension is in capitals.
std::string WithExtension(const std::string& path, const char* ext, bool matchCase = false) {
  std::string core, suffix;
  SplitSuffix(path, &core, &suffix);
  size_t slash = core.find_last_of("/\\");
  size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  size_t dot = core.find_last_of('.');
  std::string e = ext;
  if (dot != std::string::npos && dot > nameStart) {
    bool capitals = matchCase && dot + 1 < core.size();
    for (size_t k = dot + 1; k < core.size() && capitals; ++k) capitals = core[k] < 'a' || core[k] > 'z';
    if (capitals) {
      for (char& c : e) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    core.resize(dot);
  }
  return core + e + suffix;
}

std::string ReadyPath(const std::string& path) { return path + "~new"; }

bool EndsWithNoCase(const std::string& s, const char* tail) {
  size_t n = std::strlen(tail);
  if (s.size() < n) return false;
  for (size_t k = 0; k < n; ++k) {
    char a = s[s.size() - n + k];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
    if (a != tail[k]) return false;
  }
  return true;
}

// A DBF table file: ".dbf" (any case) before any staging suffix.
bool IsDbfPath(const std::string& path) {
  std::string core, suffix;
  SplitSuffix(path, &core, &suffix);
  return EndsWithNoCase(core, ".dbf");
}

// The structural index files a table of this name may have.
std::vector<std::string> StructuralIndexPaths(const std::string& tablePath) {
  return {IndexPath(tablePath)};
}

void Finish(const std::string& tablePath, bool durable) {
  for (const std::string& index : StructuralIndexPaths(tablePath)) storage::RemoveFile(index, err::kTableIoError);
  const std::vector<std::string> memos = MemoPaths(tablePath);
  const std::vector<std::string> readyMemos = MemoPaths(ReadyPath(tablePath));
  for (size_t k = 0; k < memos.size(); ++k) {
    if (storage::Exists(readyMemos[k], err::kTableIoError)) {
      storage::RenameFile(readyMemos[k], memos[k], err::kTableIoError);
    } else if (memos.size() > 1) {
      // A DBF table's memo file of the other kind belongs to the old table.
      storage::RemoveFile(memos[k], err::kTableIoError);
    }
  }
  storage::RenameFile(ReadyPath(tablePath), tablePath, err::kTableIoError);
  if (durable) storage::SyncFolderOf(tablePath, err::kTableIoError);
}

}  // namespace

std::string MemoPath(const std::string& tablePath, table::TableType type) {
  switch (type) {
    case table::TableType::kAdt: return WithExtension(tablePath, ".adm");
    case table::TableType::kNtx: return WithExtension(tablePath, ".dbt", true);
    default: return WithExtension(tablePath, ".fpt", true);
  }
}

std::vector<std::string> MemoPaths(const std::string& tablePath) {
  if (IsDbfPath(tablePath)) return {MemoPath(tablePath, table::TableType::kNtx), MemoPath(tablePath, table::TableType::kCdx)};
  return {MemoPath(tablePath)};
}

std::string CdxPath(const std::string& tablePath) { return WithExtension(tablePath, ".cdx", true); }

std::string TagsPath(const std::string& tablePath) { return WithExtension(tablePath, ".qdx", true); }

std::string IndexPath(const std::string& tablePath) {
  return IsDbfPath(tablePath) ? CdxPath(tablePath) : WithExtension(tablePath, ".adi");
}

std::string IndexFileName(const std::string& name) {
  size_t slash = name.find_last_of("\\/");
  size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return name + ".adi";
  return name;
}

std::string StagingPath(const std::string& path) { return path + "~tmp"; }

NewTableFiles::NewTableFiles(std::string tablePath, table::TableType type)
    : target_(std::move(tablePath)), staged_(StagingPath(target_)), type_(type) {
  // What an earlier attempt that crashed left under the staging names is not part of this one.
  storage::Current().Remove(staged_);
  storage::Current().Remove(MemoPath(staged_, type_));
}

NewTableFiles::~NewTableFiles() {
  if (installed_) return;
  // What was staged never became the table; a failure to remove it leaves only a stray file.
  storage::Current().Remove(staged_);
  storage::Current().Remove(MemoPath(staged_, type_));
}

void NewTableFiles::Install(bool memo, bool durable) {
  if (durable) {
    // Both files are complete on the disk before either name moves.
    if (memo) storage::OpenFile(MemoPath(staged_, type_), storage::OpenMode::kRead, err::kTableIoError)->Sync();
    storage::OpenFile(staged_, storage::OpenMode::kRead, err::kTableIoError)->Sync();
  }
  if (!storage::Exists(target_, err::kTableIoError)) {
    // Nothing to pair with: the memo file first, then the table file, which makes the table.
    for (const std::string& index : StructuralIndexPaths(target_)) storage::RemoveFile(index, err::kTableIoError);
    if (memo) storage::RenameFile(MemoPath(staged_, type_), MemoPath(target_, type_), err::kTableIoError);
    storage::RenameFile(staged_, target_, err::kTableIoError);
    if (durable) storage::SyncFolderOf(target_, err::kTableIoError);
  } else {
    // Two files replace two: once both are ready under their own names the replacement is
    // decided, and whoever finishes it moves the table file last.
    if (memo) storage::RenameFile(MemoPath(staged_, type_), MemoPath(ReadyPath(target_), type_), err::kTableIoError);
    storage::RenameFile(staged_, ReadyPath(target_), err::kTableIoError);
    if (durable) storage::SyncFolderOf(target_, err::kTableIoError);
    installed_ = true;
    Finish(target_, durable);
  }
  installed_ = true;
  bool removed = false;
  for (const std::string& old : MemoPaths(target_)) {
    if ((memo && old == MemoPath(target_, type_)) || !storage::Exists(old, err::kTableIoError)) continue;
    // The old table's memo file belongs to no table now.
    storage::RemoveFile(old, err::kTableIoError);
    removed = true;
  }
  if (removed && durable) storage::SyncFolderOf(target_, err::kTableIoError);
}

void ReplaceTableFile(storage::File& file, const std::string& staged, const std::string& target, bool durable,
                      const std::function<void()>& renamed) {
  if (durable) file.Sync();
  storage::RenameFile(staged, target, err::kTableIoError);
  renamed();
  if (durable) storage::SyncFolderOf(target, err::kTableIoError);
}

void ReplaceMemoFile(storage::File& file, const std::string& staged, const std::string& tablePath, table::TableType type) {
  storage::ReplaceFile(file, staged, MemoPath(tablePath, type), true);
}

bool ReplacementPending(const std::string& tablePath) {
  return storage::Exists(ReadyPath(tablePath), err::kTableIoError);
}

bool Recover(const std::string& tablePath) {
  if (ReplacementPending(tablePath)) {
    Finish(tablePath, true);
    return true;
  }
  bool removed = false;
  for (const std::string& readyMemo : MemoPaths(ReadyPath(tablePath))) {
    if (!storage::Exists(readyMemo, err::kTableIoError)) continue;
    // The replacement was not decided: its memo file is a leftover.
    storage::RemoveFile(readyMemo, err::kTableIoError);
    removed = true;
  }
  return removed;
}

void RemoveTable(const std::string& tablePath, bool durable) {
  storage::RemoveFile(tablePath, err::kTableIoError);
  if (durable) storage::SyncFolderOf(tablePath, err::kTableIoError);
  for (const std::string& memo : MemoPaths(tablePath)) storage::RemoveFile(memo, err::kTableIoError);
  for (const std::string& index : StructuralIndexPaths(tablePath)) storage::RemoveFile(index, err::kTableIoError);
  if (IsDbfPath(tablePath)) storage::RemoveFile(TagsPath(tablePath), err::kTableIoError);
  storage::RemoveFile(ReadyPath(tablePath), err::kTableIoError);
  for (const std::string& memo : MemoPaths(ReadyPath(tablePath))) storage::RemoveFile(memo, err::kTableIoError);
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
