#include "environment/toolbookprocs.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <thread>

#include "platform/file_system.h"
#include "runtime/dialogs.h"
#include "runtime/exception.h"
#include "runtime/filesys.h"
#include "support/installation_fixture.h"

namespace {

using installtest::Installation;
using installtest::MachineKey;
using installtest::RegSz;
using installtest::UserKey;

struct FieldCase {
  int index;
  const char* text;
  char delimiter;
  const char* field;
};

TEST(GetField, SplitsWithTheStrictRules) {
  SetDefaultDelimiter(u',');
  const FieldCase cases[] = {
      {2, "dbhost:5432", ':', "5432"},
      {1, "dbhost:5432", ':', "dbhost"},
      {3, "dbhost:5432", ':', ""},
      {2, "a,", ' ', ""},
      {1, "a,", ' ', "a"},
      {1, "", ',', ""},
      {2, "", ' ', ""},
      {2, " x , y ", ',', " y "},
      {1, "\"a,b\",c", ',', "a,b"},
      {2, "\"a,b\",c", ',', "c"},
      {1, "\"say \"\"hi\"\"\"", ',', "say \"hi\""},
      {2, "a,,c", ',', ""},
      {3, "a,,c", ',', "c"},
      {2, "a;b,c", ' ', "c"},
      {1, "a;b,c", ' ', "a;b"},
      {0, "a,b", ',', ""},
      {-1, "a,b", ',', ""},
  };
  for (const FieldCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.index) + " of '" + c.text + "'");
    EXPECT_EQ(GetField(c.index, QString::fromUtf8(c.text), QChar(c.delimiter)), QString::fromUtf8(c.field));
  }
}

TEST(GetField, PushAndPopKeepOneSavedDelimiter) {
  SetDefaultDelimiter(u',');
  PushDelimiter(u':');
  EXPECT_EQ(GetField(2, "a:b,c", u' '), QStringLiteral("b,c"));
  PushDelimiter(u'.');
  EXPECT_EQ(DefaultDelimiter(), QChar(u'.'));
  PopDelimiter();
  EXPECT_EQ(DefaultDelimiter(), QChar(u':'));
  PopDelimiter();
  EXPECT_EQ(DefaultDelimiter(), QChar(u':')) << "only one value is saved";
  SetDefaultDelimiter(u',');
}

TEST(TextHelpers, BackslashAndUpperCase) {
  EXPECT_EQ(AddBackslash("C:\\Data"), "C:\\Data\\");
  EXPECT_EQ(AddBackslash("C:\\Data\\"), "C:\\Data\\");
  EXPECT_EQ(AddBackslash(""), "\\");
  EXPECT_EQ(UpperCaseText(QString::fromUtf8("abc xyz äöü ß 1")), QString::fromUtf8("ABC XYZ äöü ß 1"));
}

TEST(ReadIniString, EmptyCountsAsMissingAndValuesAreCutAt399) {
  Installation host;
  host.WriteText("exe/p.cfg", "[Config]\r\nEmpty=\r\nBlank=   \r\nLong=" + std::string(500, 'L') +
                                  "\r\nDataFolder= \\\\srv\\data \r\n");
  const QString file = host.Win("exe\\p.cfg");
  EXPECT_EQ(ReadIniString("Config", "Empty", file, "def"), QStringLiteral("def"));
  EXPECT_EQ(ReadIniString("Config", "Blank", file, "def"), QStringLiteral("def"));
  EXPECT_EQ(ReadIniString("Config", "Missing", file, "def"), QStringLiteral("def"));
  EXPECT_EQ(ReadIniString("Config", "Long", file, ""), QString(399, u'L'));
  EXPECT_EQ(ReadIniString("config", "datafolder", file, ""), QStringLiteral("\\\\srv\\data"));
  EXPECT_EQ(ReadIniString("Config", "DataFolder", host.Win("exe\\none.cfg"), "def"), QStringLiteral("def"));
}

std::string pathError(const std::function<void()>& f) {
  try {
    f();
  } catch (const EPathError& e) {
    return e.Message().toStdString();
  }
  return "(none)";
}

TEST(EnsureDirectory, CreatesMissingParentsAndReportsWhetherTheFolderIsStillMissing) {
  Installation host;
  EXPECT_FALSE(EnsureDirectory(host.Win("Data\\Logs\\")));
  EXPECT_TRUE(std::filesystem::is_directory(host.root() / "Data/Logs"));
  EXPECT_FALSE(EnsureDirectory(host.Win("Data\\Logs\\"))) << "an existing folder";
  EXPECT_TRUE(DirExists(host.Win("data\\logs")));
  host.WriteText("plain", "x");
  EXPECT_FALSE(DirExists(host.Win("plain")));
  EXPECT_TRUE(EnsureDirectory(host.Win("plain\\sub"))) << "a file in the way: refused silently";

  EXPECT_EQ(pathError([&] { EnsureDirectory(host.Win("x\\") + QString(250, u'z')); }),
            "The specified path is too long");
  EXPECT_EQ(pathError([&] { EnsureDirectory("C:\\Logs:x"); }), "The path format is not supported");
  EXPECT_EQ(pathError([&] { EnsureDirectory(""); }), "Invalid characters in path");
  EXPECT_EQ(pathError([&] { EnsureDirectory(host.Win("a*b")); }), "Invalid characters in path");
  EXPECT_EQ(pathError([&] { EnsureDirectory("M:\\PellmarData\\Logs\\"); }), "The drive cannot be found");
}

// A tree with the kinds of entries that make removal fail when handled carelessly.
void buildTree(installtest::Installation& host, const std::string& top) {
  host.WriteText(top + "/a.txt", "a");
  host.WriteText(top + "/.hidden", "h");
  host.WriteText(top + "/ro.txt", "r");
  host.WriteText(top + "/sub/deeper/b.adt", "b");
  host.WriteText(top + "/sub/.dot/c", "c");
  std::filesystem::permissions(host.root() / top / "ro.txt", std::filesystem::perms::owner_read);
  std::filesystem::permissions(host.root() / top / "sub/deeper/b.adt", std::filesystem::perms::owner_read);
}

TEST(RemoveDirectoryTree, RemovesEverythingOrKeepsTheEmptiedTop) {
  Installation host;
  buildTree(host, "work1");
  buildTree(host, "work2");
  ScopedErrorMessageCapture capture;
  RemoveDirectoryTree(host.Win("work1"), false);
  EXPECT_FALSE(host.Exists("work1"));
  RemoveDirectoryTree(host.Win("work2\\"), true);
  ASSERT_TRUE(std::filesystem::is_directory(host.root() / "work2"));
  EXPECT_TRUE(std::filesystem::is_empty(host.root() / "work2"));
  EXPECT_TRUE(capture.messages().empty());
}

TEST(RemoveDirectoryTree, RefusesPathsShorterThanFiveCharacters) {
  Installation host;
  host.WriteText("abcd/keep.txt", "k");
  host.WriteText("abcde/gone.txt", "g");
  char old[4096];
  ASSERT_NE(getcwd(old, sizeof old), nullptr);
  ASSERT_EQ(chdir(host.root().c_str()), 0);
  ScopedErrorMessageCapture capture;
  RemoveDirectoryTree("abcd", false);
  RemoveDirectoryTree("abcde", false);
  ASSERT_EQ(chdir(old), 0);
  EXPECT_TRUE(host.Exists("abcd/keep.txt"));
  EXPECT_FALSE(host.Exists("abcde"));
  ASSERT_EQ(capture.messages().size(), 1u);
  EXPECT_EQ(capture.messages()[0].text,
            QStringLiteral("Directory removal aborted. Path \"abcd\" doesn't match the 5 characters minimum limit."));
  EXPECT_EQ(capture.messages()[0].title, QStringLiteral("Error"));
}

TEST(RemoveDirectoryTree, RemovesLinksWithoutTouchingWhatTheyPointTo) {
  Installation host;
  host.WriteText("precious/data.adt", "keep me");
  host.WriteText("work/file.txt", "x");
  std::filesystem::create_directory_symlink(host.root() / "precious", host.root() / "work/link");
  std::filesystem::create_symlink(host.root() / "precious/data.adt", host.root() / "work/filelink");
  RemoveDirectoryTree(host.Win("work"), false);
  EXPECT_FALSE(host.Exists("work"));
  EXPECT_EQ(host.ReadText("precious/data.adt"), "keep me");
}

TEST(KillFile, DeletesReadOnlyFilesAndIgnoresMissingOnes) {
  Installation host;
  host.WriteText("ro.txt", "r");
  std::filesystem::permissions(host.root() / "ro.txt", std::filesystem::perms::owner_read);
  ScopedErrorMessageCapture capture;
  KillFile(host.Win("ro.txt"));
  EXPECT_FALSE(host.Exists("ro.txt"));
  KillFile(host.Win("missing.txt"));
  KillFile(host.Win("nofolder\\missing.txt"));
  EXPECT_TRUE(capture.messages().empty());
}

// Refuses every delete with one error number.
class RefusingDelete : public platform::FileSystemWrapper {
 public:
  explicit RefusingDelete(int error) : FileSystemWrapper(platform::DefaultFileSystem()), error_(error) {}
  platform::Status DeleteFile(const std::string&) override {
    ++calls;
    return platform::Status::Error(platform::StatusCode::kIOError, platform::SystemErrorMessage(error_), error_);
  }
  int calls = 0;

 private:
  int error_;
};

TEST(KillFile, LeavesAtOnceWhenTheFileIsLockedOrAccessIsDenied) {
  Installation host;
  host.WriteText("locked.adt", "x");
  for (int error : {5, 32}) {
    SCOPED_TRACE(error);
    RefusingDelete fs(error);
    ScopedFileSystem scoped(&fs);
    try {
      KillFile(host.Win("locked.adt"));
      FAIL() << "no exception";
    } catch (const EInOutError& e) {
      EXPECT_EQ(e.ErrorCode, error);
    }
    EXPECT_EQ(fs.calls, 1);
  }
  EXPECT_TRUE(host.Exists("locked.adt"));
}

TEST(PumpMessages, ProcessesAtMostOncePerInterval) {
  int argc = 1;
  char name[] = "tests";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);
  int delivered = 0;
  auto post = [&] { QTimer::singleShot(0, &app, [&] { ++delivered; }); };
  PumpMessages(0);  // now counts as the last pump
  post();
  PumpMessages(500);
  EXPECT_EQ(delivered, 0) << "within the interval nothing is processed";
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  PumpMessages(10);
  EXPECT_EQ(delivered, 1);
  post();
  PumpMessages(500);
  PumpMessages(500);
  EXPECT_EQ(delivered, 1);
  QCoreApplication::processEvents();
  EXPECT_EQ(delivered, 2);
}

TEST(RegistrySettings, UserAndMachineReadersFallBackAndRefuseWrongTypes) {
  Installation host;
  LoadBranding();
  host.WriteUserHive(UserKey("Software\\Pellmar", {{"DataFolder", RegSz("U:\\data")}, {"Bad", "dword:00000001"}}) +
                     UserKey("Software\\Pellmar\\Sub", {{"Inner", RegSz("in")}}) +
                     UserKey("Software\\Pellmar\\Sub\\Sub", {{"Twice", RegSz("nested")}}) +
                     UserKey("Sub", {{"AtRoot", RegSz("root sub")}}));
  host.WriteMachineHive(MachineKey("Software\\Pellmar", {{"Exp", "hex(2):25,00,58,00,25,00,00,00"}}));
  EXPECT_EQ(ReadUserSetting("", "DataFolder", "def"), QStringLiteral("U:\\data"));
  EXPECT_EQ(ReadUserSetting("", "Missing", "def"), QStringLiteral("def"));
  EXPECT_EQ(ReadUserSetting("Sub", "Inner", ""), QStringLiteral("in"));
  EXPECT_EQ(ReadUserSetting("Sub", "Twice", ""), QStringLiteral("nested")) << "second try relative to the first key";
  EXPECT_EQ(ReadMachineSetting("Sub", "AtRoot", "def"), QStringLiteral("def"));
  EXPECT_EQ(ReadUserSetting("Nowhere\\Sub", "AtRoot", ""), QString());
  EXPECT_EQ(ReadMachineSetting("", "Exp", ""), QStringLiteral("%X%"));
  EXPECT_EQ(ReadMachineSetting("SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir", ""),
            QStringLiteral("C:\\Program Files"));
  try {
    ReadUserSetting("", "Bad", "");
    FAIL();
  } catch (const ERegistryException& e) {
    EXPECT_EQ(e.Message(), QStringLiteral("Invalid data type for 'Bad'"));
  }
}

TEST(EnvironmentVariables, StoredValuesAreExpandedOnReadAndWrittenAsText) {
  Installation host;
  host.Set("PELLMAR_TEST_BASE", "C:\\Base");
  host.WriteUserHive(UserKey("Environment", {{"PellmarData", "hex(2):25,00,50,00,45,00,4c,00,4c,00,4d,00,41,00,52,00,"
                                                             "5f,00,54,00,45,00,53,00,54,00,5f,00,42,00,41,00,53,00,"
                                                             "45,00,25,00,5c,00,44,00,00,00"}}));
  EXPECT_EQ(ReadEnvironmentVariable("PellmarData", true), QStringLiteral("C:\\Base\\D"));
  EXPECT_EQ(ReadEnvironmentVariable("PellmarClient", true), QString());
  EXPECT_EQ(ReadEnvironmentVariable("PellmarData", false), QString());
  WriteEnvironmentVariable("PellmarClient", "C:\\Client", true);
  WriteEnvironmentVariable("PellmarClient", "C:\\Machine", false);
  EXPECT_EQ(ReadEnvironmentVariable("PellmarClient", true), QStringLiteral("C:\\Client"));
  EXPECT_EQ(ReadEnvironmentVariable("PellmarClient", false), QStringLiteral("C:\\Machine"));
  const std::string hive = host.ReadText("HKCU.reg");
  EXPECT_NE(hive.find("PellmarData"), std::string::npos) << "the other value is kept";
}

}  // namespace
