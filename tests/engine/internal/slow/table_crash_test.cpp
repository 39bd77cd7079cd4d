// A process killed with SIGKILL while appending records one by one (each one committed when its
// append returns) leaves a table that opens with every record whose append returned intact, and
// with nothing of the record whose append was cut short, in shared and exclusive mode.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "engine/core/error.h"
#include "engine/table/field_def_parser.h"
#include "engine/table/record_writer.h"
#include "engine/table/table.h"
#include "test_env.h"

namespace engine {
namespace {

class KilledWhileAppending : public ::testing::TestWithParam<bool> {};

TEST_P(KilledWhileAppending, EveryCommittedRecordIsIntactAndNothingElseIsThere) {
  const bool exclusive = GetParam();
  testenv::TempDir dir;
  const std::string path = (dir.path() / "crash.adt").string();
  table::Table::Create(path, table::Schema::FromSpecs(table::ParseFieldDefinitions("ID,AutoInc;NAME,Char,12;QTY,Integer;PAD,Char,40;")),
                table::Table::CreateOptions{});
  const uint64_t headerSize = std::filesystem::file_size(path);

  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    try {
      table::Table::OpenOptions o;
      o.exclusive = exclusive;
      auto t = table::Table::Open(path, o);
      std::vector<uint8_t> image(t->schema().recordLength());
      for (uint32_t n = 1;; ++n) {
        table::WriteEmptyRecord(t->schema(), image.data());
        table::WriteText(t->schema(), image.data(), 1, "r" + std::to_string(n), false);
        table::WriteInteger(t->schema(), image.data(), 2, n);
        table::WriteText(t->schema(), image.data(), 3, std::string(40, static_cast<char>('a' + n % 26)), false);
        t->AppendRecord(image.data());
      }
    } catch (...) {
      _exit(3);
    }
  }
  // Kill it once the file holds hundreds of records (every append is forced to the disk).
  const uint64_t recordLength = 1 + 4 + 12 + 4 + 40;
  constexpr uint32_t kWritten = 400;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (std::filesystem::file_size(path) < headerSize + kWritten * recordLength &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended by itself with status " << status;

  // Whoever opens the table next, exclusively or not, counts the same records: a record whose
  // append did not return is never taken in.
  uint32_t exclusiveCount = 0;
  {
    table::Table::OpenOptions o;
    o.exclusive = true;
    exclusiveCount = table::Table::Open(path, o)->RecordCount();
  }
  auto t = table::Table::Open(path, table::Table::OpenOptions{});
  uint32_t count = t->RecordCount();
  EXPECT_EQ(count, exclusiveCount);
  EXPECT_GE(count, kWritten - 1);
  std::vector<uint8_t> image(t->schema().recordLength());
  for (uint32_t n = 1; n <= count; ++n) {
    t->ReadRecord(n, image.data());
    table::RecordView v(t->schema(), image.data(), n);
    ASSERT_EQ(v.integer(0), n);
    ASSERT_EQ(v.text(1), ("r" + std::to_string(n) + std::string(12, ' ')).substr(0, 12));
    ASSERT_EQ(v.integer(2), n);
    ASSERT_EQ(v.text(3), std::string(40, static_cast<char>('a' + n % 26)));
    ASSERT_FALSE(v.deleted());
  }
  // The table goes on: the next append follows the last intact record and its autoincrement.
  table::WriteEmptyRecord(t->schema(), image.data());
  EXPECT_EQ(t->AppendRecord(image.data()), count + 1);
  EXPECT_EQ(table::RecordView(t->schema(), image.data(), count + 1).integer(0), count + 1);
}

INSTANTIATE_TEST_SUITE_P(SharedAndExclusive, KilledWhileAppending, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Exclusive" : "Shared"; });

}  // namespace
}  // namespace engine
