// Files kept in memory (SQL results and their memo and index files): they behave as the host's
// files do through the same helpers, their locks conflict between Files as open-file-description
// locks do, a large one moves to an unnamed work file, and a statement's result leaves nothing
// in the host's temporary folder.
#include <gtest/gtest.h>

#include <errno.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/core/error.h"
#include "engine/storage/memory_storage.h"
#include "engine/storage/storage.h"
#include "engine/table/field_def_parser.h"
#include "engine/table/record_writer.h"
#include "engine/table/memo_file.h"
#include "engine/table/table.h"
#include "engine/table/table_files.h"
#include "support/sql_fixture.h"
#include "test_env.h"

namespace engine {
namespace {

using storage::File;
using storage::OpenMode;

std::string Mem(const std::string& name) { return std::string(storage::kMemoryFolder) + "/" + name; }

std::string ReadAllOf(File& f) {
  std::string s(f.Size(), '\0');
  s.resize(f.Read(0, s.data(), s.size()));
  return s;
}

int OpenError(const std::string& path, OpenMode mode) {
  int e = 0;
  storage::TryOpenFile(path, mode, err::kFileFailure, &e);
  return e;
}

// Points $TMPDIR at an empty folder for the test's lifetime.
class ScopedTmpdir {
 public:
  ScopedTmpdir() {
    const char* old = ::getenv("TMPDIR");
    if (old) old_ = old;
    ::setenv("TMPDIR", dir_.str().c_str(), 1);
  }
  ~ScopedTmpdir() {
    if (old_) {
      ::setenv("TMPDIR", old_->c_str(), 1);
    } else {
      ::unsetenv("TMPDIR");
    }
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_.path())) names.push_back(e.path().filename());
    return names;
  }

 private:
  testenv::TempDir dir_;
  std::optional<std::string> old_;
};

TEST(MemoryStorage, FilesAndNamesBehaveAsTheHostsDo) {
  const std::string a = Mem("files_a"), b = Mem("files_b"), c = Mem("files_c");
  EXPECT_TRUE(storage::InMemory(a));
  EXPECT_FALSE(storage::InMemory("/tmp/files_a"));
  EXPECT_FALSE(storage::InMemory(std::string(storage::kMemoryFolder) + "x/files_a"));

  EXPECT_EQ(OpenError(a, OpenMode::kRead), ENOENT);
  EXPECT_EQ(OpenError(a, OpenMode::kReadWrite), ENOENT);
  auto f = storage::OpenFile(a, OpenMode::kCreateNew, err::kFileFailure);
  EXPECT_EQ(OpenError(a, OpenMode::kCreateNew), EEXIST);
  // Writing past the end fills the gap with zeros; a short read stops at the end.
  f->Write(4, "xyz", 3);
  EXPECT_EQ(ReadAllOf(*f), std::string("\0\0\0\0xyz", 7));
  char buf[16];
  EXPECT_EQ(f->Read(5, buf, sizeof buf), 2u);
  f->Truncate(5);
  EXPECT_EQ(ReadAllOf(*f), std::string("\0\0\0\0x", 5));
  f->Sync();
  storage::SyncFolderOf(a, err::kFileFailure);

  // A second File sees the same bytes; a read-only one cannot write.
  auto reader = storage::OpenFile(a, OpenMode::kRead, err::kFileFailure);
  EXPECT_FALSE(reader->writable());
  EXPECT_THROW(reader->Write(0, "q", 1), EngineError);
  f->Write(0, "ab", 2);
  EXPECT_EQ(ReadAllOf(*reader), std::string("ab\0\0x", 5));

  // Rename replaces the target; the old name is gone; the open Files keep the file.
  auto other = storage::OpenFile(b, OpenMode::kCreate, err::kFileFailure);
  other->Write(0, "old b", 5);
  storage::FileInfo before, after;
  ASSERT_EQ(storage::Host().Stat(a, &before), 0);
  storage::RenameFile(a, b, err::kFileFailure);
  EXPECT_FALSE(storage::Exists(a));
  ASSERT_EQ(storage::Host().Stat(b, &after), 0);
  EXPECT_TRUE(after.exists);
  EXPECT_EQ(after.id, before.id);
  EXPECT_EQ(after.size, 5u);
  EXPECT_EQ(ReadAllOf(*storage::OpenFile(b, OpenMode::kRead, err::kFileFailure)), std::string("ab\0\0x", 5));
  EXPECT_EQ(ReadAllOf(*other), "old b") << "a File of the replaced file keeps its bytes";
  EXPECT_EQ(storage::Host().Rename(a, c), ENOENT);

  // A link is a second name that never replaces; a removed name's file lives on while open.
  EXPECT_EQ(storage::Host().Link(b, c), 0);
  EXPECT_EQ(storage::Host().Link(b, c), EEXIST);
  std::vector<std::string> names = storage::ListFolder(storage::kMemoryFolder, "files_");
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"files_b", "files_c"}));
  storage::RemoveFile(b, err::kFileFailure);
  storage::RemoveFile(c, err::kFileFailure);
  EXPECT_EQ(storage::Host().Remove(c), ENOENT);
  EXPECT_TRUE(storage::ListFolder(storage::kMemoryFolder, "files_").empty());
  EXPECT_EQ(ReadAllOf(*reader), std::string("ab\0\0x", 5));

  // kCreate empties a file that exists; the folder itself is a folder.
  auto again = storage::OpenFile(c, OpenMode::kCreate, err::kFileFailure);
  again->Write(0, "1234", 4);
  EXPECT_EQ(storage::OpenFile(c, OpenMode::kCreate, err::kFileFailure)->Size(), 0u);
  storage::FileInfo folder;
  ASSERT_EQ(storage::Host().Stat(storage::kMemoryFolder, &folder), 0);
  EXPECT_TRUE(folder.exists && folder.isFolder);
  EXPECT_EQ(storage::Host().Rename(c, "/tmp/files_c_elsewhere"), EXDEV);
  storage::RemoveFile(c, err::kFileFailure);
}

TEST(MemoryStorage, LocksConflictBetweenFilesAsOpenFileDescriptionLocksDo) {
  const std::string path = Mem("locks");
  auto a = storage::OpenFile(path, OpenMode::kCreate, err::kFileFailure);
  auto b = storage::OpenFile(path, OpenMode::kReadWrite, err::kFileFailure);
  const uint64_t base = uint64_t{1} << 62;

  EXPECT_TRUE(a->Lock(base, 1, false));
  EXPECT_TRUE(b->Lock(base, 1, false)) << "shared locks share";
  EXPECT_FALSE(b->Lock(base, 1, true)) << "an exclusive lock waits for the other's shared one";
  EXPECT_TRUE(a->Lock(base, 1, false)) << "a File's own locks never conflict with it";
  a->Unlock(base, 1);
  EXPECT_TRUE(b->Lock(base, 1, true)) << "the lock becomes exclusive once nobody else holds the byte";
  EXPECT_TRUE(a->LockedByOthers(base, 1));
  EXPECT_FALSE(b->LockedByOthers(base, 1));

  // Unlocking the middle of a range keeps both ends.
  EXPECT_TRUE(a->Lock(base + 100, 10, true));
  a->Unlock(base + 104, 2);
  EXPECT_FALSE(b->Lock(base + 100, 4, false));
  EXPECT_TRUE(b->Lock(base + 104, 2, true));
  EXPECT_FALSE(b->Lock(base + 106, 1, false));
  // Closing a File releases every lock it holds.
  a.reset();
  EXPECT_TRUE(b->Lock(base + 100, 10, true));

  // A waiting lock is granted when the holder lets go.
  auto c = storage::OpenFile(path, OpenMode::kReadWrite, err::kFileFailure);
  std::atomic<bool> granted{false};
  std::thread waiter([&] {
    c->WaitLock(base, 1, true);
    granted = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(granted);
  b->Unlock(base, 1);
  waiter.join();
  EXPECT_TRUE(granted);
  EXPECT_TRUE(b->LockedByOthers(base, 1));
  storage::RemoveFile(path, err::kFileFailure);
}

TEST(MemoryStorage, AFileGrowingPastItsLimitMovesToAnUnnamedWorkFile) {
  ScopedTmpdir tmp;
  const std::string path = Mem("large");
  auto f = storage::OpenFile(path, OpenMode::kCreate, err::kFileFailure);
  std::string piece(1 << 20, '\0');
  const size_t pieces = storage::kMemoryFileLimit / piece.size() + 3;
  for (size_t i = 0; i < pieces; ++i) {
    std::fill(piece.begin(), piece.end(), static_cast<char>('a' + i % 26));
    f->Write(i * piece.size(), piece.data(), piece.size());
  }
  EXPECT_EQ(f->Size(), pieces * piece.size());
  auto reader = storage::OpenFile(path, OpenMode::kRead, err::kFileFailure);
  for (size_t i = 0; i < pieces; ++i) {
    char c[2];
    ASSERT_EQ(reader->Read(i * piece.size() + piece.size() - 1, c, 2), i + 1 < pieces ? 2u : 1u);
    EXPECT_EQ(c[0], static_cast<char>('a' + i % 26)) << "piece " << i;
  }
  f->Truncate(10);
  EXPECT_EQ(ReadAllOf(*reader), std::string(10, 'a'));
  EXPECT_TRUE(tmp.Names().empty()) << "the work file has no name";
  storage::RemoveFile(path, err::kFileFailure);
}

TEST(MemoryStorage, ATableLivesInMemoryWithItsMemoFile) {
  ScopedTmpdir tmp;
  const std::string path = Mem("scratch_table.adt");
  table::Table::CreateOptions c;
  c.scratch = true;
  table::Table::Create(path, table::Schema::FromSpecs(table::ParseFieldDefinitions("ID,Integer;NOTE,Memo;")), c);
  {
    table::Table::OpenOptions o;
    o.exclusive = true;
    o.scratch = true;
    std::unique_ptr<table::Table> t = table::Table::Open(path, o);
    std::vector<uint8_t> image(t->schema().recordLength());
    table::WriteEmptyRecord(t->schema(), image.data());
    table::WriteBlobRef(t->schema(), image.data(), 1, t->WriteBlob(std::string(3000, 'm')));
    t->AppendRecord(image.data());
    t->Flush();
  }
  table::Table::OpenOptions ro;
  ro.readOnly = true;
  std::unique_ptr<table::Table> t = table::Table::Open(path, ro);
  ASSERT_EQ(t->RecordCount(), 1u);
  std::vector<uint8_t> image(t->schema().recordLength());
  t->ReadRecord(1, image.data());
  EXPECT_EQ(t->ReadBlob(table::RecordView(t->schema(), image.data(), 1).blob(1)), std::string(3000, 'm'));
  t.reset();
  table_files::RemoveTable(path, false);
  EXPECT_TRUE(storage::ListFolder(storage::kMemoryFolder, "scratch_table").empty());
  EXPECT_TRUE(tmp.Names().empty());
}

class MemoryResults : public sqltest::SqlTest {};

// Results with blobs, with an order of their own, and one larger than a memory file holds: all
// read back as they were selected, and none leaves a file in the temporary folder.
TEST_F(MemoryResults, AStatementsResultLeavesNothingInTheTemporaryFolder) {
  ScopedTmpdir tmp;
  MakeTable("notes", "ID,Integer;NOTE,Memo;NAME,Char,10;",
            {{"1", std::string(2000, 'a'), "one"}, {"2", "", "two"}, {"3", "short", "three"}});
  ADSHANDLE cursor = 0;
  ASSERT_EQ(Run("SELECT id, note, name FROM notes ORDER BY name DESC", &cursor), 0u) << sqltest::LastText();
  sqltest::Rows rows = sqltest::ReadAll(cursor);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"2", "", "two"}));
  EXPECT_EQ(rows[1], (std::vector<std::string>{"3", "short", "three"}));
  EXPECT_EQ(rows[2], (std::vector<std::string>{"1", std::string(2000, 'a'), "one"}));
  ADSHANDLE order = 0;
  ASSERT_EQ(AdsGetIndexHandle(cursor, nullptr, &order), 0u) << sqltest::LastText();
  EXPECT_NE(order, 0u);
  UNSIGNED32 keys = 0;
  ASSERT_EQ(AdsGetKeyCount(order, ADS_IGNOREFILTERS, &keys), 0u);
  EXPECT_EQ(keys, 3u);
  EXPECT_TRUE(tmp.Names().empty());
  ASSERT_EQ(AdsCloseTable(cursor), 0u);

  // About 12 MB of rows: more than a memory file keeps, so they move to a work file.
  ASSERT_EQ(Run("WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM c WHERE n < 3000) "
                "SELECT n, printf('%0*d', 4000, n) AS wide FROM c",
                &cursor),
            0u)
      << sqltest::LastText();
  UNSIGNED32 count = 0;
  ASSERT_EQ(AdsGetRecordCount(cursor, ADS_IGNOREFILTERS, &count), 0u);
  EXPECT_EQ(count, 3000u);
  for (UNSIGNED32 n : {1u, 1500u, 3000u}) {
    ASSERT_EQ(AdsGotoRecord(cursor, n), 0u);
    UNSIGNED8 text[4100];
    UNSIGNED32 length = sizeof text;
    ASSERT_EQ(AdsGetField(cursor, ADSFIELD(2), text, &length, 0), 0u) << sqltest::LastText();
    std::string expected = std::to_string(n);
    expected.insert(0, 4000 - expected.size(), '0');
    EXPECT_EQ(std::string(reinterpret_cast<char*>(text), length), expected);
  }
  EXPECT_TRUE(tmp.Names().empty()) << "a large result moves to an unnamed work file";
  ASSERT_EQ(AdsCloseTable(cursor), 0u);
}

}  // namespace
}  // namespace engine
