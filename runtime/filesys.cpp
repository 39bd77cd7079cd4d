#include "runtime/filesys.h"

#include <atomic>

#include "platform/paths.h"
#include "runtime/exception.h"

namespace {

std::atomic<platform::FileSystem*> installed{nullptr};

// The path checks raise their message as EPathError; OK returns.
void raisePathError(const platform::Status& s) {
  if (!s.ok()) throw EPathError(QString::fromStdString(s.message()));
}

}  // namespace

platform::FileSystem& FileSystemInUse() {
  platform::FileSystem* fs = installed.load();
  return fs ? *fs : *platform::DefaultFileSystem();
}

ScopedFileSystem::ScopedFileSystem(platform::FileSystem* fs) : previous_(installed.exchange(fs)) {}

ScopedFileSystem::~ScopedFileSystem() { installed.store(previous_); }

std::string ToPlatform(const QString& s) { return s.toStdString(); }
QString FromPlatform(const std::string& s) { return QString::fromStdString(s); }

bool FileExists(const QString& fileName) {
  return !fileName.isEmpty() && FileSystemInUse().FileExists(ToPlatform(fileName));
}

bool DirectoryExists(const QString& dir) {
  return !dir.isEmpty() && FileSystemInUse().DirectoryExists(ToPlatform(dir));
}

std::uint32_t FileGetAttr(const QString& fileName) { return FileSystemInUse().GetAttributes(ToPlatform(fileName)); }

bool FileSetAttr(const QString& fileName, std::uint32_t attributes) {
  return FileSystemInUse().SetAttributes(ToPlatform(fileName), attributes).ok();
}

QString ExpandFileName(const QString& fileName) { return FromPlatform(platform::FullPath(ToPlatform(fileName))); }

bool ForceDirectories(const QString& dir) {
  const std::string path = ToPlatform(dir);
  raisePathError(platform::CheckPath(path, 248));
  const std::string full = platform::FullPath(path);
  platform::FileSystem& fs = FileSystemInUse();
  // A refusal is not an error here: the caller tests whether the folder exists.
  (void)platform::CreateDirectories(fs, full);
  return fs.DirectoryExists(full);
}

bool DeleteFileChecked(const QString& fileName) {
  const std::string path = ToPlatform(fileName);
  raisePathError(platform::CheckPath(path, 260));
  platform::FileSystem& fs = FileSystemInUse();
  const std::string folder = platform::ParentPath(platform::FullPath(path));
  if (!folder.empty() && !fs.DirectoryExists(folder))
    throw EPathError(QStringLiteral("Could not find a part of the path '%1'.").arg(fileName));
  const platform::Status s = fs.DeleteFile(path);
  if (s.ok()) return true;
  switch (s.error_number()) {
    case platform::kErrorFileNotFound:
    case platform::kErrorAccessDenied:
    case platform::kErrorSharingViolation:
      throw EInOutError(QString::fromStdString(s.message()), s.error_number());
    default:
      // Other refusals are reported only through the result; the caller retries or checks.
      return false;
  }
}

namespace {

// Fills rec from the next entry that passes the attribute filter; 18 when none is left.
int advance(TSearchRec& rec) {
  while (rec.next_ < rec.pending_.size()) {
    const platform::DirEntry& e = rec.pending_[rec.next_++];
    if ((e.info.attributes & rec.excludeAttr_) != 0) continue;
    rec.Name = QString::fromStdString(e.name);
    rec.Attr = e.info.attributes;
    rec.Size = static_cast<std::int64_t>(e.info.size);
    rec.TimeNs = e.info.modified_ns;
    return 0;
  }
  return kFindNoMoreFiles;
}

}  // namespace

int FindFirst(const QString& path, std::uint32_t attr, TSearchRec& rec) {
  FindClose(rec);
  // Split at the last separator: the folder, and the pattern of names.
  qsizetype cut = -1;
  for (qsizetype i = path.size() - 1; i >= 0; --i) {
    if (path[i] == u'\\' || path[i] == u'/' || (i == 1 && path[i] == u':')) {
      cut = i;
      break;
    }
  }
  QString folder = path.left(cut + 1);
  const QString pattern = path.mid(cut + 1);
  if (folder.isEmpty()) folder = QStringLiteral(".");
  rec.excludeAttr_ = ~attr & (faHidden | faSysFile | faDirectory);
  const platform::Status s = FileSystemInUse().ListFolder(ToPlatform(folder), ToPlatform(pattern), &rec.pending_);
  if (!s.ok()) {
    FindClose(rec);
    return s.error_number() ? s.error_number() : kFindPathNotFound;
  }
  if (rec.pending_.empty()) return kFindFileNotFound;
  return advance(rec);
}

int FindNext(TSearchRec& rec) { return advance(rec); }

void FindClose(TSearchRec& rec) {
  rec.pending_.clear();
  rec.pending_.shrink_to_fit();
  rec.next_ = 0;
}
