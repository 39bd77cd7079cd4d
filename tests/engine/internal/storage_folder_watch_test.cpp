// FolderWatch: whether a folder's names can have changed since they were looked at, and
// File::NamedDirectlyBy, which tells whether a name is the file's own or a link to it. A
// wrong "unchanged" means a kept open reads a file that is no longer the table's, or misses a
// dead process's transaction log, so every case here changes the folder's names in a way a
// timestamp could hide.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>

#include <filesystem>
#include <functional>
#include <fstream>

#include "engine/storage/folder_watch.h"
#include "engine/storage/storage.h"
#include "test_env.h"

namespace engine::storage {
namespace {

namespace fs = std::filesystem;

void Touch(const fs::path& path, const std::string& bytes = "x") { std::ofstream(path, std::ios::binary) << bytes; }

timespec SecondsAgo(int seconds) {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  now.tv_sec -= seconds;
  return now;
}

// Stamps the folder as last changed a minute ago, as a folder nobody has touched lately is.
void Age(const fs::path& folder) {
  const timespec times[2] = {SecondsAgo(60), SecondsAgo(60)};
  ASSERT_EQ(utimensat(AT_FDCWD, folder.c_str(), times, 0), 0);
}

timespec ModifiedOf(const fs::path& path) {
  struct stat st {};
  EXPECT_EQ(stat(path.c_str(), &st), 0);
  return st.st_mtim;
}

TEST(FolderWatch, AnyChangeOfNamesOrOfTheFolderItselfIsSeen) {
  struct Case {
    const char* what;
    bool aged;                                       // the folder's last change long before Begin
    std::function<void(const fs::path&)> change;     // after Begin
    bool unchanged;
  } cases[] = {
      {"nothing happened", true, [](const fs::path&) {}, true},
      {"a file's bytes written: not a change of names", true, [](const fs::path& d) { Touch(d / "a.adt", "new"); },
       true},
      {"a file created", true, [](const fs::path& d) { Touch(d / "a.adt.txn-1"); }, false},
      {"a file removed", true, [](const fs::path& d) { fs::remove(d / "a.adt"); }, false},
      {"a file renamed over another", true, [](const fs::path& d) { fs::rename(d / "b.adi", d / "a.adt"); }, false},
      {"a file created and its folder's time set back",
       true,
       [](const fs::path& d) {
         const timespec before = ModifiedOf(d);
         Touch(d / "a.adt~new");
         const timespec times[2] = {before, before};
         ASSERT_EQ(utimensat(AT_FDCWD, d.c_str(), times, 0), 0);
       },
       false},
      {"another folder put under the name, with the same time",
       true,
       [](const fs::path& d) {
         const timespec before = ModifiedOf(d);
         fs::rename(d, d.string() + ".old");
         fs::create_directory(d);
         Touch(d / "a.adt");
         const timespec times[2] = {before, before};
         ASSERT_EQ(utimensat(AT_FDCWD, d.c_str(), times, 0), 0);
       },
       false},
      // A folder changed just before Begin: a change in the same tick of a coarse clock would
      // keep its times, so nothing can be concluded, whatever happens next.
      {"nothing happened, but the folder changed just before", false, [](const fs::path&) {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testenv::TempDir dir;
    const fs::path folder = dir.path() / "data";
    fs::create_directory(folder);
    Touch(folder / "a.adt");
    Touch(folder / "b.adi");
    if (c.aged) Age(folder);
    FolderWatch watch;
    watch.Begin(folder.string());
    c.change(folder);
    EXPECT_EQ(watch.Unchanged(folder.string()), c.unchanged);
    fs::remove_all(folder.string() + ".old");
  }
}

TEST(FolderWatch, OnlyTheFolderBegunWithAndOnlyUntilForgotten) {
  testenv::TempDir dir;
  const fs::path other = dir.path() / "other";
  fs::create_directory(other);
  Age(dir.path());
  Age(other);
  FolderWatch watch;
  EXPECT_FALSE(watch.Unchanged(dir.str())) << "never begun";
  watch.Begin(dir.str());
  EXPECT_TRUE(watch.Unchanged(dir.str()));
  EXPECT_FALSE(watch.Unchanged(other.string()));
  watch.Forget();
  EXPECT_FALSE(watch.Unchanged(dir.str()));

  FolderWatch missing;
  missing.Begin((dir.path() / "none").string());
  EXPECT_FALSE(missing.Unchanged((dir.path() / "none").string()));
}

TEST(File, NamedDirectlyByItsOwnNameButNotThroughALink) {
  testenv::TempDir dir;
  const fs::path table = dir.path() / "t.adt";
  Touch(table);
  fs::create_symlink(table, dir.path() / "link.adt");
  std::unique_ptr<File> file = OpenFile(table.string(), OpenMode::kRead, err::kTableIoError);
  EXPECT_TRUE(file->NamedDirectlyBy(table.string()));
  EXPECT_TRUE(file->NamedBy((dir.path() / "link.adt").string()));
  EXPECT_FALSE(file->NamedDirectlyBy((dir.path() / "link.adt").string()));
  // A new file under the name.
  Touch(dir.path() / "t2.adt");
  fs::rename(dir.path() / "t2.adt", table);
  EXPECT_FALSE(file->NamedDirectlyBy(table.string()));
  EXPECT_FALSE(file->NamedDirectlyBy((dir.path() / "none.adt").string()));
}

}  // namespace
}  // namespace engine::storage
