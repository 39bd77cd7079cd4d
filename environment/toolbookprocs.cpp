// The utility library of the installation environment.
#include "environment/toolbookprocs.h"

#include <QElapsedTimer>
#include <filesystem>

#include "environment/OEMDEFS.h"
#include "platform/environment_store.h"
#include "platform/shell_folders.h"
#include "runtime/classes.h"
#include "runtime/datetime.h"
#include "runtime/exception.h"
#include "runtime/filesys.h"
#include "runtime/inifile.h"
#include "runtime/messages.h"
#include "runtime/registry.h"
#include "runtime/text.h"

namespace {

QChar defaultDelimiter = u',';
QChar savedDelimiter = QChar(0);
TDateTime lastPumpTime = 0;

constexpr int kIniBufferSize = 400;
constexpr int kMinimumTreeLength = 5;
constexpr qint64 kKillFileLimitMs = 4000;

QString readSetting(HKEY root, const QString& keyPath, const QString& name, const QString& def) {
  TRegistry reg(KEY_READ);
  reg.SetRootKey(root);
  QString result;
  const bool opened = reg.OpenKeyReadOnly(QStringLiteral("Software\\") + OEMROOTKEY() + u'\\' + keyPath);
  if (opened) result = reg.ReadString(name);
  if (result.isEmpty()) {
    // Relative to the key just opened, or to the hive's root when there is none.
    if (reg.OpenKeyReadOnly(keyPath)) result = reg.ReadString(name);
  }
  return result.isEmpty() ? def : result;
}

QString environmentKey(bool perUser) { return QString::fromLatin1(platform::EnvironmentKeyPath(perUser)); }

// True when path names a symbolic link (to a folder or anything else) on the host.
bool isLink(const QString& path) {
  std::string host;
  if (!FileSystemInUse().ResolvePath(ToPlatform(ExcludeTrailingPathDelimiter(path)), &host).ok()) return false;
  std::error_code ec;
  return std::filesystem::is_symlink(host, ec);
}

void removeLink(const QString& path) {
  std::string host;
  if (!FileSystemInUse().ResolvePath(ToPlatform(ExcludeTrailingPathDelimiter(path)), &host).ok()) return;
  std::error_code ignored;  // removal failures are silent, as for folders
  std::filesystem::remove(host, ignored);
}

}  // namespace

QString GetTempDir() { return FromPlatform(platform::TempFolder()); }

QString GetSpecialFolder(int folder) { return FromPlatform(platform::SpecialFolder(folder)); }

QString ReadIniString(const QString& section, const QString& key, const QString& file, const QString& def) {
  const QString v = GetPrivateProfileString(section, key, QString(), kIniBufferSize, file);
  return v.isEmpty() ? def : v;
}

QString GetField(int index, const QString& text, QChar delimiter) {
  if (delimiter == u' ') delimiter = defaultDelimiter;
  if (index < 1) return QString();
  TStringList fields;
  fields.SetStrictDelimiter(true);
  fields.SetDelimiter(delimiter);
  fields.SetQuoteChar(u'"');
  fields.SetDelimitedText(text);
  return index > fields.Count() ? QString() : fields.Strings(index - 1);
}

void PushDelimiter(QChar c) {
  savedDelimiter = defaultDelimiter;
  defaultDelimiter = c;
}

void PopDelimiter() { defaultDelimiter = savedDelimiter; }
QChar DefaultDelimiter() { return defaultDelimiter; }
void SetDefaultDelimiter(QChar c) { defaultDelimiter = c; }

bool EnsureDirectory(const QString& folder) {
  if (DirExists(folder)) return false;
  ForceDirectories(folder);
  return !DirExists(folder);
}

bool DirExists(const QString& folder) { return DirectoryExists(folder); }

QString AddBackslash(const QString& path) { return path.endsWith(u'\\') ? path : path + u'\\'; }

QString UpperCaseText(const QString& text) { return UpperCaseAZ(text); }

QString ReadUserSetting(const QString& keyPath, const QString& name, const QString& def) {
  return readSetting(HKEY_CURRENT_USER, keyPath, name, def);
}

QString ReadMachineSetting(const QString& keyPath, const QString& name, const QString& def) {
  return readSetting(HKEY_LOCAL_MACHINE, keyPath, name, def);
}

QString ReadEnvironmentVariable(const QString& name, bool perUser) {
  TRegistry reg(KEY_READ);
  reg.SetRootKey(perUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE);
  if (!reg.OpenKeyReadOnly(environmentKey(perUser))) return QString();
  return FromPlatform(platform::ExpandEnvironmentStrings(ToPlatform(reg.ReadString(name))));
}

void WriteEnvironmentVariable(const QString& name, const QString& value, bool perUser) {
  TRegistry reg(KEY_ALL_ACCESS);
  reg.SetRootKey(perUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE);
  // The environment keys always exist; a key that cannot be opened cannot take the value.
  if (!reg.OpenKey(environmentKey(perUser), false))
    throw ERegistryException(QStringLiteral("Failed to set data for '%1'").arg(name));
  reg.WriteString(name, value);
}

void RemoveDirectoryTree(const QString& folder, bool keepTop) {
  if (folder.size() < kMinimumTreeLength) {
    ErrorDialog(QStringLiteral("Directory removal aborted. Path \"") + folder + QStringLiteral("\" doesn't ") +
                    QStringLiteral("match the 5 characters minimum limit."),
                0);
    return;
  }
  const QString dir = AddBackslash(folder);
  TSearchRec rec;
  for (int r = FindFirst(dir + u'*', faAnyFile, rec); r == 0; r = FindNext(rec)) {
    if (rec.Name == QLatin1String(".") || rec.Name == QLatin1String("..")) continue;
    const QString path = dir + rec.Name;
    if (isLink(path)) {
      // Never follow a link out of the tree: only the link itself goes.
      removeLink(path);
    } else if (rec.Attr & faDirectory) {
      RemoveDirectoryTree(path + u'\\', keepTop);
      (void)FileSystemInUse().RemoveDirectory(ToPlatform(path));  // failures are silent
    } else {
      FileSetAttr(path, platform::kAttrNormal);
      KillFile(path);
    }
  }
  FindClose(rec);
  if (!keepTop) (void)FileSystemInUse().RemoveDirectory(ToPlatform(dir));  // failures are silent
}

void KillFile(const QString& file) {
  if (!FileExists(file)) return;
  const std::uint32_t attr = FileGetAttr(file);
  if (attr != platform::kInvalidAttributes && (attr & platform::kAttrReadOnly))
    FileSetAttr(file, attr & ~platform::kAttrReadOnly);
  QElapsedTimer started;
  started.start();
  for (;;) {
    DeleteFileChecked(file);
    PumpMessages(500);
    if (!FileExists(file)) return;
    if (started.elapsed() >= kKillFileLimitMs) {
      ErrorDialog(QStringLiteral("Couldn't delete file \"") + file + QStringLiteral("\"!"), 11);
      return;
    }
  }
}

void PumpMessages(int ms) {
  const TDateTime now = Now();
  if (now > lastPumpTime + ms / 86400000.0) {
    ProcessMessages();
    lastPumpTime = now;
  }
}

// Used by the settings initialisation.
void ResetPumpTime() { lastPumpTime = Now(); }
