// The engine's storage: the host implementation, the fault-injecting wrapper the fault tests
// stand on, the owner of a table's files, and the SQLite VFS that takes dictionaries through
// the same storage.
#include <gtest/gtest.h>

#include <errno.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/core/error.h"
#include "engine/storage/storage.h"
#include "engine/storage/write_behind_file.h"
#include "engine/table/field_def_parser.h"
#include "engine/table/record_writer.h"
#include "engine/table/table.h"
#include "engine/table/table_files.h"
#include "engine_api/entry_points.h"
#include "support/api_fixture.h"
#include "support/fault_storage.h"
#include "test_env.h"

namespace engine {
namespace {

using acetest::FaultStorage;
using storage::OpenMode;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

ErrorCode CodeOf(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const EngineError& e) {
    return e.code();
  }
  return 0;
}

TEST(Storage, HelpersMoveWholeBuffersAndNameTheFileAndReasonOnFailure) {
  testenv::TempDir dir;
  const std::string path = dir.str() + "/f.bin";
  auto f = storage::OpenFile(path, OpenMode::kCreate, err::kIndexIoError);
  std::string data(10000, 'a');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>('a' + i % 26);
  f->Write(100, data.data(), data.size());
  EXPECT_EQ(f->Size(), 10100u);
  std::string back(data.size(), '\0');
  EXPECT_EQ(f->Read(100, back.data(), back.size()), data.size());
  EXPECT_EQ(back, data);
  // A read that runs into the end of the file is short; ReadExact refuses it.
  EXPECT_EQ(f->Read(10000, back.data(), 500), 100u);
  EXPECT_EQ(CodeOf([&] { f->ReadExact(10000, back.data(), 500); }), err::kTableTruncated);
  f->Truncate(50);
  EXPECT_EQ(f->Size(), 50u);

  try {
    storage::OpenFile(dir.str() + "/missing/x", OpenMode::kRead, err::kTableIoError);
    ADD_FAILURE() << "opened a missing file";
  } catch (const EngineError& e) {
    EXPECT_EQ(e.code(), err::kTableIoError);
    EXPECT_NE(std::string(e.what()).find("missing/x"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("No such file"), std::string::npos) << e.what();
  }
  // A full disk says so.
  EXPECT_NE(storage::Reason(ENOSPC).find("the disk is full"), std::string::npos);
}

// A full disk and a refused access are one code each whatever the file, so that a caller can
// tell the user what to do; every other host failure, a missing file included, keeps the code of
// the file's area.
TEST(Storage, AHostFailureIsReportedByItsKind) {
  const ErrorCode areas[] = {err::kTableIoError, err::kIndexIoError, err::kDictionaryFailure, err::kFileFailure};
  const struct {
    int error;
    ErrorCode code;  // 0: the area's own code
  } kinds[] = {
      {ENOSPC, err::kDiskFull}, {EDQUOT, err::kDiskFull},     {EACCES, err::kAccessDenied}, {EPERM, err::kAccessDenied},
      {EROFS, err::kAccessDenied}, {ENOENT, 0},                {EIO, 0},                     {EISDIR, 0},
  };
  for (ErrorCode area : areas) {
    for (const auto& k : kinds) {
      EXPECT_EQ(storage::HostErrorCode(k.error, area), k.code ? k.code : area) << "errno " << k.error << ", area " << area;
    }
  }

  // The helpers report through it, naming the file and the host's reason.
  testenv::TempDir dir;
  const std::string path = dir.str() + "/f.bin";
  const struct {
    const char* what;
    uint32_t op;
    int error;
    ErrorCode area;
    ErrorCode expected;
  } cases[] = {
      {"write", acetest::kOpWrite, ENOSPC, err::kIndexIoError, err::kDiskFull},
      {"write", acetest::kOpWrite, EIO, err::kIndexIoError, err::kIndexIoError},
      {"open", acetest::kOpOpen, EACCES, err::kTableIoError, err::kAccessDenied},
      {"open", acetest::kOpOpen, ENOENT, err::kTableIoError, err::kTableIoError},
      {"sync", acetest::kOpSync, EDQUOT, err::kFileFailure, err::kDiskFull},
      {"rename", acetest::kOpRename, EROFS, err::kFileFailure, err::kAccessDenied},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.what) + " failing with errno " + std::to_string(c.error));
    FaultStorage fs;
    storage::ScopedStorage scoped(fs);
    FaultStorage::Fault fault;
    fault.kinds = c.op;
    fault.error = c.error;
    fs.Inject(fault);
    try {
      auto f = storage::OpenFile(path, OpenMode::kCreate, c.area);
      f->Write(0, "abc", 3);
      f->Sync();
      storage::RenameFile(path, path + ".moved", c.area);
      storage::RenameFile(path + ".moved", path, c.area);
      ADD_FAILURE() << "nothing failed";
    } catch (const EngineError& e) {
      EXPECT_EQ(e.code(), c.expected) << e.what();
      EXPECT_NE(std::string(e.what()).find("f.bin"), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(storage::Reason(c.error)), std::string::npos) << e.what();
    }
    EXPECT_TRUE(fs.fired());
  }
}

TEST(Storage, LocksBelongToOneOpenFileAndGoWithIt) {
  testenv::TempDir dir;
  const std::string path = dir.str() + "/f.bin";
  auto a = storage::OpenFile(path, OpenMode::kCreate, err::kTableIoError);
  auto b = storage::OpenFile(path, OpenMode::kReadWrite, err::kTableIoError);
  EXPECT_TRUE(a->Lock(10, 1, true));
  EXPECT_FALSE(b->Lock(10, 1, false));
  EXPECT_TRUE(b->LockedByOthers(10, 1));
  EXPECT_TRUE(b->Lock(11, 1, true));
  a.reset();
  EXPECT_TRUE(b->Lock(10, 1, true));
}

TEST(Storage, WorkFilesHaveNoName) {
  testenv::TempDir dir;
  auto w = storage::OpenWorkFile(dir.str(), err::kIndexIoError);
  w->Write(0, "abc", 3);
  EXPECT_EQ(w->Size(), 3u);
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(FaultStorage, FailsTheChosenOperationOnceOrFromThenOnAndTearsWritesWhenAsked) {
  testenv::TempDir dir;
  const std::string path = dir.str() + "/f.bin";
  const struct {
    const char* what;
    bool sticky, torn;
    std::string afterFirst;   // the file after the failing write
    bool secondFails;
  } cases[] = {
      {"once", false, false, "", false},
      {"from then on", true, false, "", true},
      {"torn where the file grows", false, true, "abcd", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FaultStorage fs;
    storage::ScopedStorage scoped(fs);
    auto f = storage::OpenFile(path, OpenMode::kCreate, err::kTableIoError);
    FaultStorage::Fault fault;
    fault.kinds = acetest::kOpWrite;
    fault.nth = 1;
    fault.error = ENOSPC;
    fault.sticky = c.sticky;
    fault.torn = c.torn;
    fs.Inject(fault);
    try {
      f->Write(0, "abcdefgh", 8);
      ADD_FAILURE() << "the write went through";
    } catch (const EngineError& e) {
      EXPECT_NE(std::string(e.what()).find("the disk is full"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(fs.fired());
    EXPECT_EQ(Slurp(path), c.afterFirst);
    EXPECT_EQ(CodeOf([&] { f->Write(0, "xy", 2); }) != 0, c.secondFails);
  }
}

TEST(FaultStorage, ShortTransfersAreLoopedOverByTheHelpers) {
  testenv::TempDir dir;
  FaultStorage fs;
  storage::ScopedStorage scoped(fs);
  fs.SetShortTransfers(7);
  auto f = storage::OpenFile(dir.str() + "/f.bin", OpenMode::kCreate, err::kTableIoError);
  std::string data(1000, 'q');
  f->Write(0, data.data(), data.size());
  std::string back(1000, '\0');
  EXPECT_EQ(f->Read(0, back.data(), back.size()), 1000u);
  EXPECT_EQ(back, data);
  EXPECT_GE(fs.Count(acetest::kOpWrite), 1000u / 7);
}

// What a power cut keeps: synced data, and names whose folder was synced.
TEST(FaultStorage, APowerCutKeepsOnlyWhatWasForcedToTheDisk) {
  testenv::TempDir dir;
  const std::string a = dir.str() + "/a", b = dir.str() + "/b", c = dir.str() + "/c";
  {
    std::ofstream(a) << "old a";
    std::ofstream(b) << "old b";
  }
  FaultStorage fs;
  fs.Track(dir.str());
  {
    storage::ScopedStorage scoped(fs);
    auto fa = storage::OpenFile(a, OpenMode::kReadWrite, err::kTableIoError);
    fa->Write(0, "new a", 5);
    fa->Sync();
    fa->Write(0, "NEWER", 5);  // not synced
    auto fc = storage::OpenFile(c, OpenMode::kCreate, err::kTableIoError);
    fc->Write(0, "c", 1);
    fc->Sync();                // its content is durable, its name is not
    storage::RenameFile(a, b, err::kTableIoError);  // not durable either
    fs.Stop();
  }
  // A killed process: everything the host accepted is there.
  EXPECT_EQ(Slurp(b), "NEWER");
  EXPECT_FALSE(std::filesystem::exists(a));
  fs.PowerCut();
  EXPECT_EQ(Slurp(a), "new a");
  EXPECT_EQ(Slurp(b), "old b");
  EXPECT_FALSE(std::filesystem::exists(c));

  // With the folder synced, the rename and the new name survive too.
  {
    storage::ScopedStorage scoped(fs);
    auto fc = storage::OpenFile(c, OpenMode::kCreate, err::kTableIoError);
    fc->Write(0, "c", 1);
    fc->Sync();
    storage::RenameFile(a, b, err::kTableIoError);
    storage::SyncFolderOf(b, err::kTableIoError);
  }
  fs.PowerCut();
  EXPECT_EQ(Slurp(b), "new a");
  EXPECT_EQ(Slurp(c), "c");
  EXPECT_FALSE(std::filesystem::exists(a));
}

// Appends gathered in memory reach the file in one piece, in their order, before anything that
// could see or outlast them: a read of them, a write elsewhere, a sync, the close.
TEST(WriteBehindFile, AppendsReachTheFileBeforeAnythingThatCouldSeeThem) {
  testenv::TempDir dir;
  const std::string path = dir.str() + "/t.bin";
  {
    std::ofstream(path) << "HEADER..";  // 8 bytes already in the file
  }
  FaultStorage fs;
  storage::ScopedStorage scoped(fs);
  storage::WriteBehindFile f(storage::OpenFile(path, OpenMode::kReadWrite, err::kTableIoError), 64);
  f.Write(8, "r1r1", 4);  // takes the disk's room for a run, then holds the bytes
  const uint64_t writesBefore = fs.Count(acetest::kOpWrite);
  f.Write(12, "r2__", 4);
  f.Write(14, "R2", 2);  // a change inside what is held
  EXPECT_EQ(f.held(), 8u);
  EXPECT_EQ(fs.Count(acetest::kOpWrite), writesBefore);
  EXPECT_EQ(Slurp(path), "HEADER..");
  EXPECT_EQ(f.Size(), 16u);

  // Reads see the held bytes where they are, across the file's end too, without writing them.
  char back[20] = {};
  EXPECT_EQ(f.Read(4, back, 20), 12u);
  EXPECT_EQ(std::string(back, 12), "ER..r1r1r2R2");
  EXPECT_EQ(f.held(), 8u);
  EXPECT_EQ(fs.Count(acetest::kOpWrite), writesBefore);

  // A write in the file (the counters after the records) hands the run on first, so a process
  // killed after it never leaves counters that count records missing from the file.
  f.Write(16, "r3r3", 4);
  f.Write(0, "COUNT=3.", 8);
  EXPECT_EQ(Slurp(path), "COUNT=3.r1r1r2R2r3r3");
  EXPECT_EQ(f.held(), 0u);

  // A run that would outgrow the limit goes before the next one starts; a write larger than the
  // limit goes straight through.
  f.Write(20, std::string(60, 'a').data(), 60);
  f.Write(80, std::string(10, 'b').data(), 10);
  EXPECT_EQ(Slurp(path).size(), 80u);
  EXPECT_EQ(f.held(), 10u);
  f.Write(90, std::string(100, 'c').data(), 100);
  EXPECT_EQ(Slurp(path).size(), 190u);

  // A sync hands on what is held before it forces the file.
  f.Write(190, "zz", 2);
  f.Sync();
  EXPECT_EQ(Slurp(path).size(), 192u);
  f.Write(192, "end", 3);
}

// A disk that fails the hand-over: each operation that needs it reports the failure and the
// bytes stay held, so nothing is lost; cutting the file back (a change taken back) drops what it
// cuts without writing it. Where the disk has no room to take, a write goes straight through
// and fails at once, as without the wrapper.
TEST(WriteBehindFile, AFullDiskKeepsTheRunAndACutDropsItWithoutWriting) {
  testenv::TempDir dir;
  const std::string path = dir.str() + "/t.bin";
  {
    std::ofstream(path) << "HEAD";
  }
  FaultStorage fs;
  storage::ScopedStorage scoped(fs);
  storage::WriteBehindFile f(storage::OpenFile(path, OpenMode::kReadWrite, err::kTableIoError), 1024);
  f.Write(4, "abcdefgh", 8);
  FaultStorage::Fault full;
  full.kinds = acetest::kOpWrite;
  full.error = ENOSPC;
  full.sticky = true;
  fs.Inject(full);
  EXPECT_EQ(CodeOf([&] { f.Sync(); }), err::kDiskFull);
  EXPECT_EQ(CodeOf([&] { f.Sync(); }), err::kDiskFull);
  EXPECT_EQ(f.held(), 8u);
  EXPECT_EQ(f.Size(), 12u);
  char back[12];
  EXPECT_EQ(f.Read(0, back, 12), 12u);
  EXPECT_EQ(std::string(back, 12), "HEADabcdefgh");
  // Cutting into the run keeps its head held; cutting back to the file's end needs no write.
  f.Truncate(8);
  EXPECT_EQ(f.held(), 4u);
  EXPECT_EQ(CodeOf([&] { f.Sync(); }), err::kDiskFull);
  f.Truncate(4);
  EXPECT_EQ(f.held(), 0u);
  f.Sync();
  EXPECT_EQ(Slurp(path), "HEAD");
  EXPECT_EQ(CodeOf([&] { f.Write(4, "wxyz", 4); }), err::kDiskFull);
  EXPECT_EQ(f.held(), 0u);
  fs.ClearFault();
  f.Write(4, "wxyz", 4);
  f.Sync();
  EXPECT_EQ(Slurp(path), "HEADwxyz");
}

// The room taken for a run is given back when the file closes: the file keeps only its bytes.
TEST(WriteBehindFile, TheRoomTakenForARunIsGivenBackAtTheClose) {
  testenv::TempDir dir;
  const std::string path = dir.str() + "/t.bin";
  constexpr size_t kRun = size_t{4} << 20;
  auto blocksOf = [&] {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return static_cast<uint64_t>(st.st_blocks) * 512;
  };
  {
    storage::WriteBehindFile f(storage::OpenFile(path, OpenMode::kCreate, err::kTableIoError), kRun);
    f.Write(0, "0123456789", 10);
    if (blocksOf() < kRun) GTEST_SKIP() << "this file system takes no room ahead";
    f.Sync();
    EXPECT_EQ(Slurp(path), "0123456789");
  }
  EXPECT_EQ(std::filesystem::file_size(path), 10u);
  EXPECT_LT(blocksOf(), kRun);
}

TEST(TableFiles, NamesFollowTheTableAndKeepStagingSuffixes) {
  const struct {
    std::string table, memo, index;
  } cases[] = {
      {"/d/vessel.adt", "/d/vessel.adm", "/d/vessel.adi"},
      {"/d/vessel.adt~tmp", "/d/vessel.adm~tmp", "/d/vessel.adi~tmp"},
      {"/d.x/vessel", "/d.x/vessel.adm", "/d.x/vessel.adi"},
      {"C:\\Data.1\\crew.ADT", "C:\\Data.1\\crew.adm", "C:\\Data.1\\crew.adi"},
      {"/d/my~table.adt", "/d/my~table.adm", "/d/my~table.adi"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(table_files::MemoPath(c.table), c.memo);
    EXPECT_EQ(table_files::IndexPath(c.table), c.index);
  }
  EXPECT_EQ(table_files::IndexFileName("extra"), "extra.adi");
  EXPECT_EQ(table_files::IndexFileName("extra.idx"), "extra.idx");
  EXPECT_EQ(table_files::IndexFileName("C:\\a.b\\extra"), "C:\\a.b\\extra.adi");
}

table::Schema VesselSchema() { return table::Schema::FromSpecs(table::ParseFieldDefinitions("NAME,Char,10;NOTES,Memo;")); }

void AppendNamed(table::Table& t, const std::string& name, const std::string& notes) {
  std::vector<uint8_t> image(t.schema().recordLength());
  table::WriteEmptyRecord(t.schema(), image.data());
  table::WriteText(t.schema(), image.data(), 0, name, false);
  table::WriteBlobRef(t.schema(), image.data(), 1, t.WriteBlob(notes));
  t.AppendRecord(image.data());
}

std::string NotesOf(table::Table& t, uint32_t n) {
  std::vector<uint8_t> image(t.schema().recordLength());
  t.ReadRecord(n, image.data());
  return t.ReadBlob(table::RecordView(t.schema(), image.data(), n).blob(1));
}

// A replacement decided by a process that crashed (both new files ready under their "~new"
// names) is finished by the next open: the table never meets a memo file that is not its own.
TEST(TableFiles, AnOpenFinishesAReplacementACrashedProcessDecided) {
  testenv::TempDir dir;
  const std::string path = dir.str() + "/vessel.adt";
  table::Table::Create(path, VesselSchema(), {});
  {
    auto t = table::Table::Open(path, {});
    AppendNamed(*t, "old", "the old table's note");
  }
  // The new version, as the crashed process left it.
  const std::string other = dir.str() + "/other.adt";
  table::Table::Create(other, VesselSchema(), {});
  {
    auto t = table::Table::Open(other, {});
    AppendNamed(*t, "new", "the new table's note");
  }
  std::filesystem::rename(other, path + "~new");
  std::filesystem::rename(table_files::MemoPath(other), table_files::MemoPath(path) + "~new");
  std::ofstream(table_files::IndexPath(path)) << "an index of the old records";

  {
    // An open that cannot finish it (another holds the old file open) may not read the old files.
    auto other = storage::OpenFile(path, OpenMode::kReadWrite, err::kTableIoError);
    ASSERT_TRUE(other->Lock(table::kOpenLockByte, 1, false));
    EXPECT_EQ(CodeOf([&] { table::Table::Open(path, {}); }), err::kTableInUse);
  }
  auto t = table::Table::Open(path, {});
  ASSERT_EQ(t->RecordCount(), 1u);
  EXPECT_EQ(NotesOf(*t, 1), "the new table's note");
  EXPECT_FALSE(std::filesystem::exists(path + "~new"));
  EXPECT_FALSE(std::filesystem::exists(table_files::IndexPath(path)));
}

// Creating a table over an existing one under a power cut at every sync point: the old table or
// the new one, each with its own memo file.
TEST(TableFiles, CreatingOverATableLeavesTheOldOrTheNewOneWhole) {
  testenv::TempDir dir;
  const std::string path = dir.str() + "/vessel.adt";
  table::Table::Create(path, VesselSchema(), {});
  {
    auto t = table::Table::Open(path, {});
    AppendNamed(*t, "old", "the old table's note");
  }
  const std::string oldTable = Slurp(path), oldMemo = Slurp(table_files::MemoPath(path));
  const auto restore = [&] {
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) std::filesystem::remove(e.path());
    std::ofstream(path, std::ios::binary) << oldTable;
    std::ofstream(table_files::MemoPath(path), std::ios::binary) << oldMemo;
  };
  int sawOld = 0, sawNew = 0;
  for (uint64_t k = 0;; ++k) {
    restore();
    FaultStorage fs;
    fs.Track(dir.str());
    fs.StopAfterSyncs(k);
    bool done = false;
    {
      storage::ScopedStorage scoped(fs);
      try {
        table::Table::Create(path, VesselSchema(), {});
        done = true;
      } catch (const EngineError&) {
      }
    }
    fs.PowerCut();
    SCOPED_TRACE("power cut after sync " + std::to_string(k));
    auto t = table::Table::Open(path, {});
    if (t->RecordCount() == 1) {
      EXPECT_FALSE(done);
      EXPECT_EQ(NotesOf(*t, 1), "the old table's note");
      ++sawOld;
    } else {
      EXPECT_EQ(t->RecordCount(), 0u);
      ++sawNew;
    }
    if (done) break;
  }
  EXPECT_GT(sawOld, 0);
  EXPECT_GT(sawNew, 0);
}

// The dictionary's SQLite files go through the storage: its writes and syncs are the storage's,
// and a failure of them is the dictionary's failure.
TEST(SqliteVfs, DictionariesReadWriteAndSyncThroughTheStorage) {
  testenv::TempDir dir;
  const std::string dd = dir.str() + "/DB.add";
  FaultStorage fs;
  {
    storage::ScopedStorage scoped(fs);
    ADSHANDLE h = 0;
    api::AdsDDCreate(acetest::U8(acetest::Win(dd)), 0, nullptr, &h);
    api::AdsDDCreateUser(h, nullptr, acetest::U8("ann"), acetest::U8("pw"), nullptr);
    api::AdsDisconnect(h);
  }
  EXPECT_GT(fs.Count(acetest::kOpWrite), 0u);
  EXPECT_GT(fs.Count(acetest::kOpSync), 0u);
  EXPECT_GT(fs.Count(acetest::kOpLink), 0u);

  FaultStorage failing;
  FaultStorage::Fault f;
  f.kinds = acetest::kOpWrite | acetest::kOpSync;
  f.sticky = true;
  failing.Inject(f);
  storage::ScopedStorage scoped(failing);
  ADSHANDLE h = 0;
  api::AdsConnect101(acetest::U8("Data Source=" + acetest::Win(dd) + ";User ID=adssys;"), nullptr, &h);
  EXPECT_EQ(CodeOf([&] { api::AdsDDCreateUser(h, nullptr, acetest::U8("bob"), acetest::U8("pw"), nullptr); }),
            err::kDictionaryFailure);
  api::AdsDisconnect(h);
}

// A full disk and a refused access under a dictionary are reported with their own codes, as for
// any other file, though SQLite stands between the engine and the host.
TEST(SqliteVfs, ADictionaryOnAFullOrRefusingDiskSaysWhichItIs) {
  testenv::TempDir dir;
  const std::string dd = dir.str() + "/DB.add";
  {
    ADSHANDLE h = 0;
    ASSERT_EQ(CodeOf([&] { api::AdsDDCreate(acetest::U8(acetest::Win(dd)), 0, nullptr, &h); }), 0u);
    api::AdsDisconnect(h);
  }
  const struct {
    uint32_t ops;
    int error;
    ErrorCode expected;
  } cases[] = {
      {acetest::kOpWrite | acetest::kOpSync, ENOSPC, err::kDiskFull},
      {acetest::kOpWrite | acetest::kOpSync, EACCES, err::kAccessDenied},
      {acetest::kOpWrite | acetest::kOpSync, EIO, err::kDictionaryFailure},
      {acetest::kOpOpen, EROFS, err::kAccessDenied},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE("errno " + std::to_string(c.error));
    FaultStorage failing;
    storage::ScopedStorage scoped(failing);
    ADSHANDLE h = 0;
    ErrorCode got = CodeOf([&] {
      if (c.ops != acetest::kOpOpen) {
        api::AdsConnect101(acetest::U8("Data Source=" + acetest::Win(dd) + ";User ID=adssys;"), nullptr, &h);
      }
      FaultStorage::Fault f;
      f.kinds = c.ops;
      f.error = c.error;
      f.sticky = true;
      failing.Inject(f);
      if (c.ops == acetest::kOpOpen) {
        api::AdsConnect101(acetest::U8("Data Source=" + acetest::Win(dd) + ";User ID=adssys;"), nullptr, &h);
      }
      api::AdsDDCreateUser(h, nullptr, acetest::U8("user" + std::to_string(++n)), acetest::U8("pw"), nullptr);
    });
    EXPECT_EQ(got, c.expected);
    failing.ClearFault();
    if (h != 0) api::AdsDisconnect(h);
  }
}

}  // namespace
}  // namespace engine
