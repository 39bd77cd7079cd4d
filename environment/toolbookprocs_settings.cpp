// The installation settings: resolution, publication of the folders, the work folder.
#include <QtGlobal>

#include "environment/OEMDEFS.h"
#include "environment/toolbookprocs.h"
#include "platform/file_system.h"
#include "platform/setting_change.h"
#include "platform/shell_folders.h"
#include "runtime/datetime.h"
#include "runtime/filesys.h"
#include "runtime/sysutils.h"

void ResetPumpTime();  // toolbookprocs.cpp

namespace {

struct Settings {
  QString clientFolder;
  QString dataFolder;
  QString dbServer;
  int dbPort = kDefaultDBPort;
  QString workFolder;
  QString documentsFolder;
  bool standAlone = false;
};

Settings settings;

QString withoutTrailingBackslash(const QString& folder) {
  return folder.endsWith(u'\\') ? folder.left(folder.size() - 1) : folder;
}

// The first "_Pellmar<n>" of the temporary folder that no other process holds. Each candidate is
// claimed by creating it, so that two processes starting together never share one folder
// (which the first to exit would remove under the other). A name taken by a file is skipped as
// well. When the temporary folder itself is unusable the first free candidate is returned and
// the creation of the work folder reports the problem.
QString claimWorkFolder() {
  const QString temp = AddBackslash(GetTempDir());
  platform::FileSystem& fs = FileSystemInUse();
  for (int n = 1;; ++n) {
    const QString candidate = temp + QString::fromLatin1(kWorkFolderPrefix) + QString::number(n);
    const std::string path = ToPlatform(candidate);
    if (fs.Exists(path)) continue;
    const platform::Status s = fs.CreateDirectory(path);
    if (s.code() == platform::StatusCode::kAlreadyExists) continue;
    return candidate;
  }
}

}  // namespace

QString ClientFolder() { return settings.clientFolder; }
QString DataFolder() { return settings.dataFolder; }
QString DBServer() { return settings.dbServer; }
int DBPort() { return settings.dbPort; }
QString WorkFolder() { return settings.workFolder; }
QString DocumentsFolder() { return settings.documentsFolder; }
bool StandAlone() { return settings.standAlone; }

void InitializeSettings() {
  ResetPumpTime();
  SetDefaultDelimiter(u',');
  FormatSettings().ShortTimeFormat = QStringLiteral("hh:mm:ss");
  FormatSettings().TimeSeparator = u':';
  ResolveSettings();
  // The hand-point cursor of the window classes already is the platform's own pointing-hand
  // cursor (Qt::PointingHandCursor); there is no framework cursor to replace.
}

void ResolveSettings() {
  settings = Settings();
  const QString brand = OEMCOMPSHORT();

  // Database server, with an optional ":port".
  QString server = ReadUserSetting(QString(), QStringLiteral("DBServer"), QString());
  if (server.isEmpty()) server = ReadMachineSetting(QString(), QStringLiteral("DBServer"), QString());
  if (server.isEmpty()) {
    settings.dbServer = QStringLiteral("localhost");
  } else if (server.contains(u':')) {
    settings.dbPort = StrToIntDef(GetField(2, server, u':'), kDefaultDBPort);
    settings.dbServer = GetField(1, server, u':');
  } else {
    settings.dbServer = server;
  }

  // Client folder.
  QString client = ReadUserSetting(QString(), QStringLiteral("ClientFolder"), QString());
  if (client.isEmpty()) client = ReadMachineSetting(QString(), QStringLiteral("ClientFolder"), QString());
  if (client.isEmpty())
    client = ReadMachineSetting(QStringLiteral("SOFTWARE\\Microsoft\\Windows\\CurrentVersion"),
                                QStringLiteral("ProgramFilesDir"), QString()) +
             u'\\' + brand;
  settings.clientFolder = client;

  // Data folder: configured, else the brand's hidden share on the data server, else local.
  QString data = ReadUserSetting(QString(), QStringLiteral("DataFolder"), QString());
  if (data.isEmpty()) data = ReadMachineSetting(QString(), QStringLiteral("DataFolder"), QString());
  if (data.isEmpty()) {
    const QString dataServer = ReadMachineSetting(QString(), QStringLiteral("DataServer"), QString());
    if (!dataServer.isEmpty())
      data = QStringLiteral("\\\\") + dataServer + u'\\' + brand + u'$';
    else
      data = QStringLiteral("C:\\") + brand + QStringLiteral("Data\\");
  }
  settings.dataFolder = data;

  // Settings file beside the executable.
  const QString exeFolder = FromPlatform(platform::ExecutableFolder());
  const QString cfg = exeFolder + QString::fromLatin1(kSettingsFile);
  if (FileExists(cfg)) {
    const QString section = QString::fromLatin1(kSettingsSection);
    if (ReadIniString(section, QStringLiteral("StandAlone"), cfg, QStringLiteral("0")) == QLatin1String("1")) {
      settings.standAlone = true;
      settings.clientFolder = AddBackslash(ExtractFilePath(withoutTrailingBackslash(exeFolder)));
      settings.dataFolder = settings.clientFolder;
    } else {
      const QString c = ReadIniString(section, QStringLiteral("ClientFolder"), cfg, QString());
      if (!c.isEmpty()) settings.clientFolder = c;
      const QString d = ReadIniString(section, QStringLiteral("DataFolder"), cfg, QString());
      if (!d.isEmpty()) settings.dataFolder = d;
    }
  }

  settings.workFolder = claimWorkFolder();

  settings.clientFolder = AddBackslash(settings.clientFolder);
  settings.dataFolder = AddBackslash(settings.dataFolder);
  settings.workFolder = AddBackslash(settings.workFolder);

  if (!settings.standAlone) PublishFolders();

  EnsureDirectory(settings.workFolder);

  const QString documents = GetSpecialFolder(platform::kFolderPersonal);
  // An unresolvable documents folder stays empty rather than becoming the root "\".
  settings.documentsFolder = documents.isEmpty() ? QString() : AddBackslash(documents);
}

void PublishFolders() {
  bool changed = false;
  const struct {
    const char* variable;
    QString folder;
  } items[] = {{kClientVariable, withoutTrailingBackslash(settings.clientFolder)},
               {kDataVariable, withoutTrailingBackslash(settings.dataFolder)}};
  for (const auto& item : items) {
    const QString name = QString::fromLatin1(item.variable);
    if (ReadEnvironmentVariable(name, true) != item.folder) {
      WriteEnvironmentVariable(name, item.folder, true);
      changed = true;
    }
  }
  // Newly started processes read the new values; running ones are told through the broadcast.
  if (changed) platform::BroadcastSettingChange("Environment");
}

void FinalizeSettings() {
  if (!settings.workFolder.isEmpty() && DirExists(settings.workFolder))
    RemoveDirectoryTree(settings.workFolder, false);
  settings = Settings();
}
