#include "ads/alias_file.h"

#include <QStringList>
#include <cstdlib>

#include "platform/paths.h"
#include "platform/shell_folders.h"
#include "runtime/inifile.h"
#include "runtime/sysutils.h"

namespace {

constexpr int kMaxSearchedPath = 260;
// Room the alias lookup gives a value: paths of the original platform stay far below it.
constexpr int kAliasValueCapacity = 1024;

// The standard file search of the original platform as this host provides it: the
// executable's folder, the current folder, then the folders of PATH.
QString SearchFile(const QString& name) {
  QStringList folders;
  folders << QString::fromStdString(platform::ExecutableFolder());
  folders << QString::fromStdString(platform::ToWindowsPath(platform::CurrentHostFolder()));
  const char* path = std::getenv("PATH");
  if (path != nullptr) {
    for (const QString& dir : QString::fromLocal8Bit(path).split(QLatin1Char(':'), Qt::SkipEmptyParts))
      folders << QString::fromStdString(platform::ToWindowsPath(dir.toStdString()));
  }
  for (const QString& folder : folders) {
    const QString candidate = IncludeTrailingPathDelimiter(folder) + name;
    if (candidate.size() <= kMaxSearchedPath && FileExists(candidate)) return candidate;
  }
  return QString();
}

}  // namespace

QString AdsAliasFileName() {
  static const QString kName = QStringLiteral("ads.ini");
  const char* iniPath = std::getenv("adsini_path");
  if (iniPath != nullptr && *iniPath != 0) {
    const QString candidate = QString::fromLocal8Bit(iniPath) + QStringLiteral("\\") + kName;
    if (FileExists(candidate)) return candidate;
  }
  const QString found = SearchFile(kName);
  if (!found.isEmpty()) return found;
  return kName;
}

AdsAliasEntry LookupAdsAlias(const QString& alias) {
  AdsAliasEntry entry;
  const QString value = GetPrivateProfileString(QStringLiteral("Databases"), alias, QString(), kAliasValueCapacity,
                                                AdsAliasFileName());
  const qsizetype semicolon = value.indexOf(QLatin1Char(';'));
  if (semicolon < 0) {
    entry.path = value;
  } else {
    entry.path = value.left(semicolon);
    if (semicolon + 1 < value.size()) entry.typeLetter = value[semicolon + 1];
  }
  return entry;
}
