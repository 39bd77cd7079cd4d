#include "runtime/filesys.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <set>

#include "runtime/exception.h"
#include "support/host_fixture.h"

namespace {

using hosttest::HostFixture;

std::string pathErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EPathError& e) {
    return e.Message().toStdString();
  }
  return "(no path error)";
}

struct PathErrorCase {
  QString path;
  const char* message;
};

TEST(ForceDirectories, CreatesParentsAndRaisesThePathErrors) {
  HostFixture host;
  EXPECT_TRUE(ForceDirectories(host.Win("a\\b/c\\")));
  EXPECT_TRUE(std::filesystem::is_directory(host.root() / "a/b/c"));
  EXPECT_TRUE(ForceDirectories(host.Win("a\\b")));
  EXPECT_TRUE(ForceDirectories("D:\\on\\drive"));
  EXPECT_TRUE(std::filesystem::is_directory(host.root() / "d/on/drive"));

  const QString longPath = host.Win("x\\") + QString(260, u'n');
  const PathErrorCase cases[] = {
      {longPath, "The specified path is too long"},
      {QStringLiteral("C:\\a\\b:c"), "The path format is not supported"},
      {QString(), "Invalid characters in path"},
      {QStringLiteral("   "), "Invalid characters in path"},
      {host.Win("bad|name"), "Invalid characters in path"},
      {host.Win("bad<name"), "Invalid characters in path"},
      {QStringLiteral("E:\\Pellmar"), "The drive cannot be found"},
  };
  for (const PathErrorCase& c : cases) {
    SCOPED_TRACE(c.path.left(60).toStdString());
    EXPECT_EQ(pathErrorOf([&] { ForceDirectories(c.path); }), c.message);
  }
  // 248 characters is still a valid folder path.
  QString exact = host.Win("y\\");
  exact += QString(248 - exact.size(), u'k');
  EXPECT_EQ(pathErrorOf([&] { ForceDirectories(exact); }), "(no path error)");
}

// Refuses to create any folder, as a share without write permission does.
class RefusingCreate : public platform::FileSystemWrapper {
 public:
  RefusingCreate() : FileSystemWrapper(platform::DefaultFileSystem()) {}
  platform::Status CreateDirectory(const std::string&) override {
    return platform::Status::Error(platform::StatusCode::kAccessDenied);
  }
};

TEST(ForceDirectories, ARefusedCreationRaisesNothing) {
  HostFixture host;
  RefusingCreate fs;
  ScopedFileSystem scoped(&fs);
  EXPECT_FALSE(ForceDirectories(host.Win("inner\\deeper")));
  EXPECT_FALSE(host.Exists("inner"));
}

// Answers every delete with a chosen refusal.
class RefusingDelete : public platform::FileSystemWrapper {
 public:
  explicit RefusingDelete(int error) : FileSystemWrapper(platform::DefaultFileSystem()), error_(error) {}
  platform::Status DeleteFile(const std::string&) override {
    return platform::Status::Error(platform::StatusCode::kIOError, platform::SystemErrorMessage(error_), error_);
  }

 private:
  int error_;
};

TEST(DeleteFileChecked, ChecksThePathFirst) {
  HostFixture host;
  host.WriteText("f.txt", "x");
  EXPECT_TRUE(DeleteFileChecked(host.Win("f.txt")));
  EXPECT_FALSE(host.Exists("f.txt"));

  QString longName = host.Win("");
  longName += QString(261 - longName.size(), u'n');
  const PathErrorCase cases[] = {
      {longName, "The specified path is too long"},
      {host.Win("a?b"), "Invalid characters in path"},
      {QStringLiteral("C:\\x:y"), "The path format is not supported"},
      {QStringLiteral("Q:\\f.txt"), "The drive cannot be found"},
  };
  for (const PathErrorCase& c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_EQ(pathErrorOf([&] { DeleteFileChecked(c.path); }), c.message);
  }
  const QString inMissing = host.Win("nofolder\\f.txt");
  EXPECT_EQ(pathErrorOf([&] { DeleteFileChecked(inMissing); }),
            "Could not find a part of the path '" + inMissing.toStdString() + "'.");
}

TEST(DeleteFileChecked, RaisesInOutErrorForTheRefusalsCallersStopAt) {
  HostFixture host;
  host.WriteText("f.txt", "x");
  const QString file = host.Win("f.txt");
  for (int error : {2, 5, 32}) {
    SCOPED_TRACE(error);
    RefusingDelete fs(error);
    ScopedFileSystem scoped(&fs);
    try {
      DeleteFileChecked(file);
      FAIL() << "no exception";
    } catch (const EInOutError& e) {
      EXPECT_EQ(e.ErrorCode, error);
      EXPECT_EQ(e.Message().toStdString(), platform::SystemErrorMessage(error));
    }
  }
  for (int error : {31, 112}) {
    SCOPED_TRACE(error);
    RefusingDelete fs(error);
    ScopedFileSystem scoped(&fs);
    EXPECT_FALSE(DeleteFileChecked(file)) << "other refusals are not raised";
  }
  EXPECT_TRUE(host.Exists("f.txt"));
  // A read-only file is refused by the platform with access denied.
  chmod((host.root() / "f.txt").c_str(), 0444);
  EXPECT_THROW(DeleteFileChecked(file), EInOutError);
}

std::set<QString> names(const QString& pattern, std::uint32_t attr, int* firstResult = nullptr) {
  std::set<QString> r;
  TSearchRec rec;
  int result = FindFirst(pattern, attr, rec);
  if (firstResult) *firstResult = result;
  for (; result == 0; result = FindNext(rec)) r.insert(rec.Name);
  EXPECT_EQ(result, result == 0 ? 0 : (firstResult && *firstResult != 0 ? *firstResult : kFindNoMoreFiles));
  FindClose(rec);
  return r;
}

TEST(FindFiles, ListsEntriesOfEveryKindThatTheAttributeFilterLetsThrough) {
  HostFixture host;
  host.WriteText("dir/a.add", "12345");
  host.WriteText("dir/.hidden", "");
  host.WriteText("dir/B.ADD", "");
  host.WriteText("dir/sub/inner.add", "");
  const QString dir = host.Win("dir\\");

  EXPECT_EQ(names(dir + "*", faAnyFile), (std::set<QString>{".", "..", "a.add", ".hidden", "B.ADD", "sub"}));
  EXPECT_EQ(names(dir + "*", 0), (std::set<QString>{"a.add", "B.ADD"}));
  EXPECT_EQ(names(dir + "*", faHidden), (std::set<QString>{"a.add", "B.ADD", ".hidden"}));
  EXPECT_EQ(names(dir + "*", faDirectory), (std::set<QString>{".", "..", "a.add", "B.ADD", "sub"}));
  EXPECT_EQ(names(dir + "*.add", faAnyFile), (std::set<QString>{"a.add", "B.ADD"}));

  TSearchRec rec;
  ASSERT_EQ(FindFirst(dir + "a.add", faAnyFile, rec), 0);
  EXPECT_EQ(rec.Name, QStringLiteral("a.add"));
  EXPECT_EQ(rec.Size, 5);
  EXPECT_EQ(rec.Attr & faDirectory, 0u);
  EXPECT_EQ(FindNext(rec), kFindNoMoreFiles);
  FindClose(rec);

  EXPECT_EQ(FindFirst(dir + "*.none", faAnyFile, rec), kFindFileNotFound);
  EXPECT_EQ(FindFirst(host.Win("missing\\*"), faAnyFile, rec), kFindPathNotFound);
  EXPECT_EQ(FindFirst(host.Win("dir\\sub\\*.add"), faDirectory, rec), 0);
  FindClose(rec);
  host.WriteText("only/.dot", "");
  EXPECT_EQ(FindFirst(host.Win("only\\.dot"), 0, rec), kFindNoMoreFiles);
}

TEST(FileTests, FilesFoldersAndAttributes) {
  HostFixture host;
  host.WriteText("dir/file.txt", "x");
  EXPECT_TRUE(FileExists(host.Win("dir\\file.txt")));
  EXPECT_TRUE(FileExists(host.Win("DIR\\FILE.TXT"))) << "names match without case";
  EXPECT_FALSE(FileExists(host.Win("dir")));
  EXPECT_TRUE(DirectoryExists(host.Win("dir")));
  EXPECT_FALSE(DirectoryExists(host.Win("dir\\file.txt")));
  EXPECT_FALSE(FileExists(""));
  EXPECT_FALSE(DirectoryExists(""));
  const QString f = host.Win("dir\\file.txt");
  EXPECT_EQ(FileGetAttr(f) & faReadOnly, 0u);
  ASSERT_TRUE(FileSetAttr(f, faReadOnly));
  EXPECT_NE(FileGetAttr(f) & faReadOnly, 0u);
  EXPECT_EQ(FileGetAttr(host.Win("nothing")), 0xFFFFFFFFu);
}

}  // namespace
