// The host file system behind FileSystem: existence, attributes, enumeration in the host's own
// order, the original platform's error numbers, and atomic writes under injected faults.
#include "platform/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "platform/paths.h"
#include "support/platform_test_util.h"
#include "test_env.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using platform_test::ReadBytes;
using platform_test::WriteBytes;

std::vector<std::string> RawReaddir(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  while (dirent* e = readdir(dir)) names.push_back(e->d_name);
  closedir(dir);
  return names;
}

std::vector<std::string> Names(const std::vector<DirEntry>& entries) {
  std::vector<std::string> names;
  for (const auto& e : entries) names.push_back(e.name);
  return names;
}

class FileSystemTest : public ::testing::Test {
 protected:
  std::string P(const std::string& rel) const { return tmp_.str() + "/" + rel; }
  FileSystem& fs() { return *DefaultFileSystem(); }
  testenv::TempDir tmp_;
};

TEST_F(FileSystemTest, ListsEntriesOfEveryKindInTheHostsOrder) {
  // Names chosen so that creation order, sorted order and hash order all differ.
  for (const char* name : {"zeta.adt", "Alpha.ADT", ".hidden", "m.adi", "noext", "b.adt"})
    WriteBytes(P(name), "x");
  fs::create_directory(P("sub.adt"));
  fs::create_directory(P(".dotdir"));
  fs::create_symlink(P("zeta.adt"), P("link.adt"));

  std::vector<DirEntry> entries;
  ASSERT_TRUE(fs().ListFolder(tmp_.str(), "*", &entries).ok());
  EXPECT_EQ(Names(entries), RawReaddir(tmp_.str()));  // ".", "..", dot-files, folders, links

  std::vector<std::string> adt;
  for (const auto& n : RawReaddir(tmp_.str()))
    if (n.size() > 4 && (n.substr(n.size() - 4) == ".adt" || n.substr(n.size() - 4) == ".ADT"))
      adt.push_back(n);
  ASSERT_TRUE(fs().ListFolder(tmp_.str(), "*.adt", &entries).ok());
  EXPECT_EQ(Names(entries), adt);

  for (const auto& e : entries) {
    SCOPED_TRACE(e.name);
    if (e.name == "sub.adt") {
      EXPECT_EQ(e.info.attributes & kAttrDirectory, kAttrDirectory);
    } else {
      EXPECT_EQ(e.info.attributes, kAttrNormal);
      EXPECT_EQ(e.info.size, 1u);
    }
  }
}

TEST_F(FileSystemTest, WildcardsFollowTheOriginalPlatform) {
  for (const char* name : {"a.adt", "ab.adt", "A.ADT2", "noext", "x.y.adt"}) WriteBytes(P(name), "");
  struct Case {
    const char* pattern;
    std::set<std::string> names;
  } cases[] = {
      {"*.*", {".", "..", "a.adt", "ab.adt", "A.ADT2", "noext", "x.y.adt"}},
      {"*", {".", "..", "a.adt", "ab.adt", "A.ADT2", "noext", "x.y.adt"}},
      {"*.adt", {"a.adt", "ab.adt", "x.y.adt"}},
      {"?.ADT", {"a.adt"}},
      {"a*", {"a.adt", "ab.adt", "A.ADT2"}},
      {"*.adt?", {"A.ADT2"}},
      {"noext.*", {"noext"}},
      {"zz*", {}},
  };
  for (const auto& c : cases) {
    std::vector<DirEntry> entries;
    ASSERT_TRUE(fs().ListFolder(tmp_.str(), c.pattern, &entries).ok());
    std::vector<std::string> names = Names(entries);
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), c.names) << c.pattern;
  }
}

TEST_F(FileSystemTest, RootFoldersHaveNoDotEntries) {
  std::vector<DirEntry> entries;
  ASSERT_TRUE(fs().ListFolder("C:\\", "*", &entries).ok());
  for (const auto& e : entries) {
    EXPECT_NE(e.name, ".");
    EXPECT_NE(e.name, "..");
  }
  EXPECT_FALSE(entries.empty());
  EXPECT_EQ(fs().ListFolder(P("absent"), "*", &entries).error_number(), kErrorPathNotFound);
}

TEST_F(FileSystemTest, AttributesReflectPermissionsNamesAndKinds) {
  WriteBytes(P("plain"), "abc");
  WriteBytes(P(".dot"), "");
  fs::create_directory(P("dir"));
  EXPECT_EQ(fs().GetAttributes(P("plain")), kAttrNormal);
  EXPECT_EQ(fs().GetAttributes(P(".dot")), kAttrHidden);
  EXPECT_EQ(fs().GetAttributes(P("dir")), kAttrDirectory);
  EXPECT_EQ(fs().GetAttributes(P("absent")), kInvalidAttributes);

  ASSERT_TRUE(fs().SetAttributes(P("plain"), kAttrReadOnly | kAttrArchive).ok());
  EXPECT_EQ(fs().GetAttributes(P("plain")), kAttrReadOnly);
  const auto write_bits = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  EXPECT_EQ(fs::status(P("plain")).permissions() & write_bits, fs::perms::none);
  ASSERT_TRUE(fs().SetAttributes(P("plain"), kAttrNormal).ok());
  EXPECT_EQ(fs().GetAttributes(P("plain")), kAttrNormal);
  EXPECT_EQ(fs().SetAttributes(P("absent"), 0).error_number(), kErrorFileNotFound);

  EXPECT_TRUE(fs().FileExists(P("plain")));
  EXPECT_FALSE(fs().FileExists(P("dir")));
  EXPECT_TRUE(fs().DirectoryExists(P("dir")));
  EXPECT_FALSE(fs().DirectoryExists(P("plain")));
  EXPECT_TRUE(fs().Exists(P("dir")));
  EXPECT_FALSE(fs().Exists(P("absent")));
  FileInfo info;
  ASSERT_TRUE(fs().GetFileInfo(P("PLAIN"), &info).ok());  // found ignoring case
  EXPECT_EQ(info.size, 3u);
}

TEST_F(FileSystemTest, FailuresCarryTheOriginalPlatformsErrorNumbers) {
  WriteBytes(P("readonly"), "x");
  chmod(P("readonly").c_str(), 0444);
  WriteBytes(P("locked"), "x");
  fs::create_directories(P("full/inner"));
  WriteBytes(P("file"), "x");
  // Another open file description holding a lock keeps the file, as an open table would.
  int lock_fd = open(P("locked").c_str(), O_RDWR);
  ASSERT_GE(lock_fd, 0);
  struct flock lk {};
  lk.l_type = F_WRLCK;
  lk.l_whence = SEEK_SET;
  lk.l_start = 0;
  lk.l_len = 1;
  ASSERT_EQ(fcntl(lock_fd, F_OFD_SETLK, &lk), 0);

  struct Case {
    const char* what;
    Status status;
    int number;
  } cases[] = {
      {"delete missing file", fs().DeleteFile(P("absent")), kErrorFileNotFound},
      {"delete in missing folder", fs().DeleteFile(P("nofolder/x")), kErrorPathNotFound},
      {"delete read-only file", fs().DeleteFile(P("readonly")), kErrorAccessDenied},
      {"delete locked file", fs().DeleteFile(P("locked")), kErrorSharingViolation},
      {"delete a folder", fs().DeleteFile(P("full")), kErrorAccessDenied},
      {"remove non-empty folder", fs().RemoveDirectory(P("full")), kErrorDirNotEmpty},
      {"remove missing folder", fs().RemoveDirectory(P("absent")), kErrorFileNotFound},
      {"create existing folder", fs().CreateDirectory(P("full")), kErrorAlreadyExists},
      {"create without parent", fs().CreateDirectory(P("a/b")), kErrorPathNotFound},
      {"read missing file",
       [&] {
         std::string c;
         return fs().ReadFile(P("absent"), &c);
       }(),
       kErrorFileNotFound},
      {"read a folder",
       [&] {
         std::string c;
         return fs().ReadFile(P("full"), &c);
       }(),
       kErrorAccessDenied},
      {"rename missing file", fs().RenameFile(P("absent"), P("x")), kErrorFileNotFound},
      {"rename into missing folder", fs().RenameFile(P("file"), P("nofolder/x")), kErrorPathNotFound},
  };
  close(lock_fd);
  for (const auto& c : cases) {
    EXPECT_FALSE(c.status.ok()) << c.what;
    EXPECT_EQ(c.status.error_number(), c.number) << c.what << ": " << c.status.ToString();
    EXPECT_EQ(c.status.message(), SystemErrorMessage(c.number)) << c.what;
  }
  EXPECT_TRUE(fs::exists(P("readonly")));
  EXPECT_TRUE(fs::exists(P("locked")));
  Status unmapped = fs().DeleteFile("Q:\\x");
  EXPECT_EQ(unmapped.code(), StatusCode::kDriveNotFound);
  EXPECT_EQ(unmapped.message(), "The drive cannot be found");
  EXPECT_EQ(SystemErrorMessage(32),
            "The process cannot access the file because it is being used by another process.");
  // Once the lock is gone the file can be deleted.
  EXPECT_TRUE(fs().DeleteFile(P("locked")).ok());
  EXPECT_FALSE(fs::exists(P("locked")));
}

TEST_F(FileSystemTest, CreatesRemovesRenamesAndReadsUnderWindowsFormPaths) {
  const std::string win = ToWindowsPath(tmp_.str());
  ASSERT_EQ(win.substr(0, 3), "C:\\");
  ASSERT_TRUE(CreateDirectories(fs(), win + "\\One\\Two\\Three").ok());
  EXPECT_TRUE(fs::is_directory(P("One/Two/Three")));
  EXPECT_TRUE(CreateDirectories(fs(), win + "\\one\\TWO").ok());  // exists ignoring case

  ASSERT_TRUE(WriteFileAtomically(fs(), win + "\\one\\two\\data.txt", "first").ok());
  EXPECT_EQ(ReadBytes(P("One/Two/data.txt")), "first");
  WriteBytes(P("One/Two/other.txt"), "second");
  ASSERT_TRUE(fs().RenameFile(win + "\\ONE\\two\\other.txt", win + "\\One\\Two\\DATA.TXT").ok());
  std::string contents;
  ASSERT_TRUE(fs().ReadFile(P("One/Two/data.txt"), &contents).ok());
  EXPECT_EQ(contents, "second");
  EXPECT_FALSE(fs::exists(P("One/Two/other.txt")));

  ASSERT_TRUE(fs().DeleteFile(win + "\\one\\two\\data.txt").ok());
  ASSERT_TRUE(fs().RemoveDirectory(win + "\\one\\two\\three\\").ok());
  EXPECT_FALSE(fs::exists(P("One/Two/Three")));
}

TEST(ParentPathTest, StopsAtEveryKindOfRoot) {
  struct Case {
    const char* path;
    const char* parent;
  } cases[] = {{"C:\\a\\b", "C:\\a"},
               {"C:\\a\\b\\", "C:\\a"},
               {"C:\\a", "C:\\"},
               {"C:\\", ""},
               {"/a/b", "/a"},
               {"/a", "/"},
               {"/", ""},
               {"\\\\s\\sh\\a", "\\\\s\\sh\\"},
               {"\\\\s\\sh", ""},
               {"a\\b", "a"},
               {"a", ""}};
  for (const auto& c : cases) EXPECT_EQ(ParentPath(c.path), c.parent) << c.path;
}

// Injected faults for the atomic write.
class FaultyFileSystem : public FileSystemWrapper {
 public:
  enum class Fault { kNone, kRename, kHalfWrite, kSync };
  explicit FaultyFileSystem(Fault fault) : FileSystemWrapper(DefaultFileSystem()), fault_(fault) {}

  Status RenameFile(const std::string& from, const std::string& to) override {
    if (fault_ == Fault::kRename) return Status::Error(StatusCode::kAccessDenied).WithDetail("injected");
    return FileSystemWrapper::RenameFile(from, to);
  }

  Status NewWritableFile(const std::string& path, std::unique_ptr<WritableFile>* file) override {
    Status s = FileSystemWrapper::NewWritableFile(path, file);
    if (s.ok() && fault_ != Fault::kNone && fault_ != Fault::kRename)
      *file = std::make_unique<Faulty>(std::move(*file), fault_);
    return s;
  }

 private:
  class Faulty : public WritableFile {
   public:
    Faulty(std::unique_ptr<WritableFile> inner, Fault fault) : inner_(std::move(inner)), fault_(fault) {}
    Status Append(const std::string& data) override {
      if (fault_ != Fault::kHalfWrite) return inner_->Append(data);
      inner_->Append(data.substr(0, data.size() / 2));
      return Status::Error(StatusCode::kIOError, "There is not enough space on the disk.", 112);
    }
    Status Sync() override {
      if (fault_ == Fault::kSync) return Status::Error(StatusCode::kIOError);
      return inner_->Sync();
    }
    Status Close() override { return inner_->Close(); }

   private:
    std::unique_ptr<WritableFile> inner_;
    Fault fault_;
  };
  Fault fault_;
};

TEST_F(FileSystemTest, AnAtomicWriteThatFailsLeavesTheOldFileAndNoTemporaryFile) {
  using Fault = FaultyFileSystem::Fault;
  for (Fault fault : {Fault::kRename, Fault::kHalfWrite, Fault::kSync}) {
    SCOPED_TRACE(static_cast<int>(fault));
    WriteBytes(P("target"), "old content");
    FaultyFileSystem faulty(fault);
    Status s = WriteFileAtomically(faulty, P("target"), std::string(10000, 'n'));
    EXPECT_FALSE(s.ok());
    EXPECT_EQ(ReadBytes(P("target")), "old content");
    std::vector<std::string> left = RawReaddir(tmp_.str());
    EXPECT_EQ(std::set<std::string>(left.begin(), left.end()), (std::set<std::string>{".", "..", "target"}));
  }
  FaultyFileSystem sound(Fault::kNone);
  ASSERT_TRUE(WriteFileAtomically(sound, P("target"), "new").ok());
  EXPECT_EQ(ReadBytes(P("target")), "new");
}

}  // namespace
}  // namespace platform
