#include "environment/OEMDEFS.h"

#include <QGuiApplication>
#include <QIcon>
#include <array>

#include "platform/shell_folders.h"
#include "runtime/filesys.h"
#include "runtime/inifile.h"
#include "runtime/text.h"

namespace {

struct EntryInfo {
  const char* key;
  const char* defaultText;
};

// Defaults of our own maker; only the brand word and the registry root key are fixed.
const std::array<EntryInfo, kBrandingEntryCount> kEntries = {{
    {"OEMCOMPANY", "Pellmar Marine Software Ltd."},
    {"OEMCOMPSHORT", "Pellmar"},
    {"OEMSUPPORTCOMPANY", "Pellmar Marine Software Ltd."},
    {"OEMSUPPORTADDRESS", "Harbour House\r\n12 Quay Street\r\nPortsmouth PO1 3AB\r\nUnited Kingdom"},
    {"OEMSUPPORTPHONE", "+44 20 7946 0100"},
    {"OEMSUPPORTFAX", "+44 20 7946 0101"},
    {"OEMSUPPORTEMAIL", "support@pellmar.example"},
    {"OEMSUPPORTWEB", "https://www.pellmar.example/support"},
    {"OEMSYSTEM", "Pellmar Fleet Suite"},
    {"OEMOFFICE", "Office"},
    {"OEMSAFETY", "[Safety]"},
    {"OEMCREW", "Crewing"},
    {"OEMDOC", "Documents"},
    {"OEMMAINT", "Maintenance"},
    {"OEMCARGO", "CargoMate"},
    {"OEMAUDIT", "Audit"},
    {"OEMRISK", "Risk Assessment"},
    {"OEMINCIDENT", "Incident Reporting"},
    {"OEMROOTKEY", "Pellmar"},
    {"OEMPURCHASE", "Purchasing"},
    {"OEMTASK", "Task Tracking"},
    {"OEMDRYDOCK", "Dry Docking"},
    {"OEMDRILLPLAN", "Drill Planning"},
    {"OEMIMPORT", "Data Import"},
    {"", "Insurance"},
    {"", "Sales"},
}};

struct BrandingState {
  std::array<QString, kBrandingEntryCount> texts;
  QString iconFile;
  bool loaded = false;

  BrandingState() { resetDefaults(); }
  void resetDefaults() {
    for (int i = 0; i < kBrandingEntryCount; ++i) texts[i] = QString::fromUtf8(kEntries[i].defaultText);
  }
};

BrandingState& state() {
  static BrandingState s;
  return s;
}

}  // namespace

QString Branding(BrandingEntry entry) { return state().texts[static_cast<int>(entry)]; }

QString Branding(const QString& key) {
  for (int i = 0; i < kBrandingKeyCount; ++i) {
    if (SameTextAZ(key, QString::fromLatin1(kEntries[i].key))) return state().texts[i];
  }
  return QString();
}

QString BrandingKey(BrandingEntry entry) { return QString::fromLatin1(kEntries[static_cast<int>(entry)].key); }

QString BrandingDefault(BrandingEntry entry) {
  return QString::fromUtf8(kEntries[static_cast<int>(entry)].defaultText);
}

QString OEMCOMPSHORT() { return Branding(BrandingEntry::OEMCOMPSHORT); }
QString OEMROOTKEY() { return Branding(BrandingEntry::OEMROOTKEY); }

void LoadBranding() {
  BrandingState& s = state();
  if (s.loaded) return;
  s.loaded = true;
  s.resetDefaults();
  s.iconFile.clear();

  const QString folder = FromPlatform(platform::ExecutableFolder());
  const QString icon = folder + QString::fromLatin1(kBrandingIconFile);
  if (FileExists(icon)) {
    std::string host;
    if (FileSystemInUse().ResolvePath(ToPlatform(icon), &host).ok()) {
      s.iconFile = icon;
      if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        QGuiApplication::setWindowIcon(QIcon(FromPlatform(host)));
    }
  }

  const QString info = folder + QString::fromLatin1(kBrandingInfoFile);
  if (!FileExists(info)) return;
  const TIniFile ini(info);
  const QString section = QString::fromLatin1(kBrandingSection);
  for (int i = 0; i < kBrandingKeyCount; ++i)
    s.texts[i] = ini.ReadString(section, QString::fromLatin1(kEntries[i].key), s.texts[i]);
}

QString BrandingIconFile() { return state().iconFile; }

void FinalizeBranding() {
  BrandingState& s = state();
  for (QString& t : s.texts) t.clear();
  s.iconFile.clear();
  s.loaded = false;
}
