#include <gtest/gtest.h>

#include <optional>

#include "environment/OEMDEFS.h"
#include "environment/toolbookprocs.h"
#include "platform/file_system.h"
#include "platform/setting_change.h"
#include "runtime/exception.h"
#include "runtime/filesys.h"
#include "support/installation_fixture.h"

namespace {

using installtest::Installation;
using installtest::MachineKey;
using installtest::RegSz;
using installtest::RegValues;
using installtest::UserKey;

struct ResolutionCase {
  const char* name;
  RegValues user;     // values of Software\Pellmar in the user hive
  RegValues machine;  // values of Software\Pellmar in the machine hive
  std::optional<std::string> cfg;
  const char* client;
  const char* data;
  const char* server;
  int port;
};

const char kDefaultClient[] = "C:\\Program Files\\Pellmar\\";
const char kDefaultData[] = "C:\\PellmarData\\";

TEST(ResolveSettings, TakesEachSettingFromTheFirstSourceThatHasIt) {
  const ResolutionCase cases[] = {
      {"nothing configured", {}, {}, std::nullopt, kDefaultClient, kDefaultData, "localhost", 3306},
      {"data server share", {}, {{"DataServer", RegSz("fs01")}}, std::nullopt, kDefaultClient, "\\\\fs01\\Pellmar$\\",
       "localhost", 3306},
      {"data folder beats data server",
       {},
       {{"DataServer", RegSz("fs01")}, {"DataFolder", RegSz("E:\\Data")}},
       std::nullopt, kDefaultClient, "E:\\Data\\", "localhost", 3306},
      {"host and port", {{"DBServer", RegSz("db1:5432")}}, {}, std::nullopt, kDefaultClient, kDefaultData, "db1", 5432},
      {"host and colon", {{"DBServer", RegSz("db1:")}}, {}, std::nullopt, kDefaultClient, kDefaultData, "db1", 3306},
      {"host and letters", {{"DBServer", RegSz("db1:abc")}}, {}, std::nullopt, kDefaultClient, kDefaultData, "db1",
       3306},
      {"port alone", {{"DBServer", RegSz(":5000")}}, {}, std::nullopt, kDefaultClient, kDefaultData, "", 5000},
      {"hex port", {{"DBServer", RegSz("db1:$10")}}, {}, std::nullopt, kDefaultClient, kDefaultData, "db1", 16},
      {"machine server", {}, {{"DBServer", RegSz("mdb")}}, std::nullopt, kDefaultClient, kDefaultData, "mdb", 3306},
      {"user beats machine",
       {{"DBServer", RegSz("udb")}, {"ClientFolder", RegSz("U:\\Client")}, {"DataFolder", RegSz("U:\\Data\\")}},
       {{"DBServer", RegSz("mdb")}, {"ClientFolder", RegSz("M:\\Client")}, {"DataFolder", RegSz("M:\\Data")}},
       std::nullopt, "U:\\Client\\", "U:\\Data\\", "udb", 3306},
      {"empty user value falls through",
       {{"ClientFolder", RegSz("")}},
       {{"ClientFolder", RegSz("M:\\Client")}},
       std::nullopt, "M:\\Client\\", kDefaultData, "localhost", 3306},
      {"settings file beats both hives",
       {{"ClientFolder", RegSz("U:\\Client")}, {"DataFolder", RegSz("U:\\Data")}},
       {{"ClientFolder", RegSz("M:\\Client")}},
       "[Config]\r\nClientFolder=F:\\Client\r\nDataFolder=\\\\nas\\pdata\r\n", "F:\\Client\\", "\\\\nas\\pdata\\",
       "localhost", 3306},
      {"empty file values keep the hive's",
       {{"DataFolder", RegSz("U:\\Data")}},
       {},
       "[Config]\r\nStandAlone=0\r\nClientFolder=\r\nDataFolder=\r\n", kDefaultClient, "U:\\Data\\", "localhost",
       3306},
      {"StandAlone with a leading zero", {}, {}, "[Config]\r\nStandAlone=01\r\nDataFolder=F:\\D\r\n", kDefaultClient,
       "F:\\D\\", "localhost", 3306},
      {"StandAlone as a word", {}, {}, "[Config]\r\nStandAlone=yes\r\nClientFolder=F:\\C\r\n", "F:\\C\\", kDefaultData,
       "localhost", 3306},
      {"settings file in another section", {}, {}, "[Other]\r\nDataFolder=F:\\D\r\n", kDefaultClient, kDefaultData,
       "localhost", 3306},
  };
  for (const ResolutionCase& c : cases) {
    SCOPED_TRACE(c.name);
    Installation host;
    host.WriteUserHive(UserKey("Software\\Pellmar", c.user));
    host.WriteMachineHive(MachineKey("Software\\Pellmar", c.machine));
    if (c.cfg) host.WriteText("exe/pellmar.cfg", *c.cfg);
    LoadBranding();
    InitializeSettings();
    EXPECT_EQ(ClientFolder(), QString::fromUtf8(c.client));
    EXPECT_EQ(DataFolder(), QString::fromUtf8(c.data));
    EXPECT_EQ(DBServer(), QString::fromUtf8(c.server));
    EXPECT_EQ(DBPort(), c.port);
    EXPECT_FALSE(StandAlone());
    // Published for the programs started later, without the trailing backslash.
    EXPECT_EQ(ReadEnvironmentVariable("PellmarClient", true) + u'\\', ClientFolder());
    EXPECT_EQ(ReadEnvironmentVariable("PellmarData", true) + u'\\', DataFolder());
  }
}

TEST(ResolveSettings, TheMachinesProgramFilesFolderAndTheBrandNameTheDefaults) {
  Installation host;
  host.WriteMachineHive(MachineKey("SOFTWARE\\Microsoft\\Windows\\CurrentVersion", {{"ProgramFilesDir", RegSz("D:\\Apps")}}) +
                        MachineKey("Software\\Acme", {{"DBServer", RegSz("acmedb:1")}}) +
                        MachineKey("Software\\Pellmar", {{"DBServer", RegSz("not read")}}));
  host.WriteText("exe/oeminfo.dat", "[OEM]\r\nOEMCOMPSHORT=Acme\r\nOEMROOTKEY=Acme\r\n");
  LoadBranding();
  InitializeSettings();
  EXPECT_EQ(ClientFolder(), QStringLiteral("D:\\Apps\\Acme\\"));
  EXPECT_EQ(DataFolder(), QStringLiteral("C:\\AcmeData\\"));
  EXPECT_EQ(DBServer(), QStringLiteral("acmedb"));
  EXPECT_EQ(DBPort(), 1);
}

TEST(ResolveSettings, AnEmptyRootKeyNameReadsDirectlyUnderSoftware) {
  Installation host;
  host.WriteUserHive(UserKey("Software", {{"DataFolder", RegSz("E:\\Flat")}}) +
                     UserKey("Software\\Pellmar", {{"DataFolder", RegSz("E:\\Branded")}}));
  host.WriteText("exe/oeminfo.dat", "[OEM]\r\nOEMROOTKEY=\r\n");
  LoadBranding();
  InitializeSettings();
  EXPECT_EQ(DataFolder(), QStringLiteral("E:\\Flat\\"));
}

TEST(ResolveSettings, StandAloneUsesTheFolderAboveTheExecutableAndPublishesNothing) {
  Installation host;
  std::filesystem::create_directories(host.root() / "App/Bin");
  platform::SetExecutableFolderOverride((host.root() / "App/Bin").string());
  host.WriteText("App/Bin/pellmar.cfg", "[Config]\r\nStandAlone=1\r\nClientFolder=F:\\C\r\nDataFolder=F:\\D\r\n");
  host.WriteUserHive(UserKey("Software\\Pellmar", {{"DataFolder", RegSz("U:\\Data")}}));
  const std::string hiveBefore = host.ReadText("HKCU.reg");
  platform::ScopedSettingChangeRecorder recorder;
  LoadBranding();
  InitializeSettings();
  EXPECT_TRUE(StandAlone());
  EXPECT_EQ(ClientFolder(), host.Win("App\\"));
  EXPECT_EQ(DataFolder(), host.Win("App\\"));
  EXPECT_EQ(host.ReadText("HKCU.reg"), hiveBefore);
  EXPECT_EQ(recorder.count(), 0);
}

TEST(ResolveSettings, InitialisationSetsTheTimeFormatDelimiterAndDocumentsFolder) {
  Installation host;
  host.Set("XDG_DOCUMENTS_DIR", (host.root() / "docs").string());
  FormatSettings().ShortTimeFormat = "h";
  FormatSettings().TimeSeparator = u'.';
  SetDefaultDelimiter(u';');
  LoadBranding();
  InitializeSettings();
  EXPECT_EQ(FormatSettings().ShortTimeFormat, QStringLiteral("hh:mm:ss"));
  EXPECT_EQ(FormatSettings().TimeSeparator, QChar(u':'));
  EXPECT_EQ(DefaultDelimiter(), QChar(u','));
  EXPECT_EQ(DocumentsFolder(), host.Win("docs\\"));
}

TEST(WorkFolder, TakesTheNextFreeNumberAndIsRemovedWithItsContentAtTheEnd) {
  Installation host;
  std::filesystem::create_directories(host.root() / "tmp/_Pellmar1");
  std::filesystem::create_directories(host.root() / "tmp/_Pellmar2");
  host.WriteText("tmp/_Pellmar3", "a file, not a folder");
  LoadBranding();
  InitializeSettings();
  EXPECT_EQ(WorkFolder(), host.Win("tmp\\_Pellmar4\\"));
  ASSERT_TRUE(std::filesystem::is_directory(host.root() / "tmp/_Pellmar4"));
  host.WriteText("tmp/_Pellmar4/scratch/x.tmp", "x");
  std::filesystem::permissions(host.root() / "tmp/_Pellmar4/scratch/x.tmp", std::filesystem::perms::owner_read);
  FinalizeSettings();
  EXPECT_FALSE(host.Exists("tmp/_Pellmar4"));
  EXPECT_TRUE(host.Exists("tmp/_Pellmar1"));
  EXPECT_TRUE(host.Exists("tmp/_Pellmar3"));
  EXPECT_EQ(WorkFolder(), QString());
  EXPECT_EQ(DataFolder(), QString());
}

TEST(WorkFolder, TwoSettingsModulesInARowNeverShareAFolder) {
  Installation host;
  LoadBranding();
  InitializeSettings();
  const QString first = WorkFolder();
  // What a second process starting now sees: the first one's folder exists.
  ResolveSettings();
  EXPECT_EQ(first, host.Win("tmp\\_Pellmar1\\"));
  EXPECT_EQ(WorkFolder(), host.Win("tmp\\_Pellmar2\\"));
  FinalizeSettings();
  EXPECT_TRUE(host.Exists("tmp/_Pellmar1"));
  EXPECT_FALSE(host.Exists("tmp/_Pellmar2"));
}

TEST(PublishFolders, WritesAndNotifiesOnlyWhenAVariableDiffers) {
  struct Case {
    const char* name;
    RegValues environment;
    bool changes;
  } cases[] = {
      {"already equal", {{"PellmarClient", RegSz("U:\\Client")}, {"PellmarData", RegSz("U:\\Data")}}, false},
      {"equal after expansion",
       {{"PellmarClient", RegSz("U:\\Client")}, {"PellmarData", "hex(2):25,00,50,00,44,00,25,00,00,00"}},
       false},
      {"differs in case only", {{"PellmarClient", RegSz("u:\\client")}, {"PellmarData", RegSz("U:\\Data")}}, true},
      {"with trailing backslash", {{"PellmarClient", RegSz("U:\\Client\\")}, {"PellmarData", RegSz("U:\\Data")}},
       true},
      {"missing", {{"PellmarClient", RegSz("U:\\Client")}}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Installation host;
    host.Set("PD", "U:\\Data");
    host.WriteUserHive(UserKey("Software\\Pellmar", {{"ClientFolder", RegSz("U:\\Client")}, {"DataFolder", RegSz("U:\\Data\\")}}) +
                       UserKey("Environment", c.environment));
    const std::string before = host.ReadText("HKCU.reg");
    platform::ScopedSettingChangeRecorder recorder;
    LoadBranding();
    InitializeSettings();
    EXPECT_EQ(recorder.count(), c.changes ? 1 : 0);
    if (c.changes) {
      EXPECT_EQ(recorder.last_area(), "Environment");
      EXPECT_EQ(ReadEnvironmentVariable("PellmarClient", true), QStringLiteral("U:\\Client"));
      EXPECT_EQ(ReadEnvironmentVariable("PellmarData", true), QStringLiteral("U:\\Data"));
    } else {
      EXPECT_EQ(host.ReadText("HKCU.reg"), before) << "nothing is written";
    }
  }
}

// Refuses every rename, so that no hive file can be replaced.
class FailingRename : public platform::FileSystemWrapper {
 public:
  FailingRename() : FileSystemWrapper(platform::DefaultFileSystem()) {}
  platform::Status RenameFile(const std::string&, const std::string&) override {
    return platform::Status::Error(platform::StatusCode::kIOError);
  }
};

std::string startupError(const std::function<void()>& f) {
  try {
    f();
  } catch (const Exception& e) {
    return e.Message().toStdString();
  }
  return "(none)";
}

TEST(ResolveSettings, BadInstallationsEndStartUpWithAClearError) {
  {
    Installation host;
    host.WriteUserHive(UserKey("Software\\Pellmar", {{"DBServer", "dword:00000010"}}));
    LoadBranding();
    EXPECT_EQ(startupError(InitializeSettings), "Invalid data type for 'DBServer'");
  }
  {
    Installation host;
    host.WriteMachineHive("[HKEY_LOCAL_MACHINE\\Software\\Pellmar]\r\n\"DataFolder\"=hex:0");
    LoadBranding();
    const std::string message = startupError(InitializeSettings);
    EXPECT_NE(message.find("HKLM.reg"), std::string::npos) << message;
  }
  {
    Installation host;
    host.WriteUserHive(UserKey("Software\\Pellmar", {{"DataFolder", RegSz("U:\\Data")}}));
    const std::string before = host.ReadText("HKCU.reg");
    FailingRename fs;
    ScopedFileSystem scoped(&fs);
    LoadBranding();
    EXPECT_EQ(startupError(InitializeSettings), "Failed to set data for 'PellmarClient'");
    EXPECT_EQ(host.ReadText("HKCU.reg"), before);
  }
  {
    Installation host;
    std::filesystem::create_directories(host.root() / "bad|tmp");
    host.Set("TMPDIR", (host.root() / "bad|tmp").string());
    LoadBranding();
    EXPECT_EQ(startupError(InitializeSettings), "Invalid characters in path");
  }
}

}  // namespace
