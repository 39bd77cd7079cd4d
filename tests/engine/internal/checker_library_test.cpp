// One copy of the engine in this program, and the folder checker the storage sweep reads with
// beside it: the checker must read through a copy of the engine of its own, so that the storage
// (and every cache) of the copy under test cannot colour what it finds on disk.
#include <dlfcn.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ace/ace.h"
#include "engine/core/error.h"
#include "engine/core/last_error.h"
#include "engine/table/field_def_parser.h"
#include "engine/table/record_writer.h"
#include "engine/table/table.h"
#include "support/checker_library.h"
#include "support/fault_storage.h"
#include "test_env.h"

namespace engine {
namespace {

std::string LibraryOf(const void* address) {
  Dl_info info{};
  if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) return "(unknown)";
  return info.dli_fname;
}

// The program's calls of the C interface reach the engine linked into it: the last error set
// through AdsSetLastError is the one its internals hold.
TEST(EngineCopies, TheCInterfaceOfThisProgramIsItsOwnEngine) {
  EXPECT_THAT(LibraryOf(reinterpret_cast<const void*>(&AdsGetVersion)), ::testing::Not(::testing::HasSubstr("libace32")));
  AdsSetLastError(5004, nullptr);
  EXPECT_EQ(core::GetLastError().code, 5004u);
}

TEST(CheckerLibrary, ReadsThroughACopyOfTheEngineOfItsOwn) {
  const acetest::FolderChecker* checker = acetest::LoadFolderChecker();
  ASSERT_NE(checker, nullptr);
  EXPECT_THAT(LibraryOf(checker->engineEntryPoint), ::testing::HasSubstr("libace32.so"));
  EXPECT_NE(checker->engineEntryPoint, reinterpret_cast<const void*>(&AdsGetVersion));

  testenv::TempDir dir;
  const std::string path = dir.str() + "/vessel.adt";
  const table::Schema schema = table::Schema::FromSpecs(table::ParseFieldDefinitions("ID,Integer;NAME,Char,10;"));
  table::Table::Create(path, schema, {});
  {
    table::Table::OpenOptions o;
    o.exclusive = true;
    std::unique_ptr<table::Table> t = table::Table::Open(path, o);
    std::vector<uint8_t> image(t->schema().recordLength());
    table::WriteEmptyRecord(t->schema(), image.data());
    table::WriteInteger(t->schema(), image.data(), 0, 7);
    table::WriteText(t->schema(), image.data(), 1, "Aurora", false);
    t->AppendRecord(image.data());
    t->Flush();
  }
  const std::vector<std::string> rows = checker->readRows(dir.str(), "vessel", "");
  ASSERT_EQ(rows, (std::vector<std::string>{" |7|Aurora"}));

  // Every storage operation of this program's engine on the folder fails from now on; the
  // checker still reads the table as it is on disk.
  acetest::FaultStorage failing;
  failing.Track(dir.str());
  acetest::FaultStorage::Fault fault;
  fault.nth = 1;
  fault.sticky = true;
  failing.Inject(fault);
  storage::ScopedStorage scoped(failing);
  EXPECT_THROW(table::Table::Open(path, {}), EngineError) << "the fault does not reach this program's engine";
  EXPECT_EQ(checker->readRows(dir.str(), "vessel", ""), rows);
}

}  // namespace
}  // namespace engine
