// A disk that really fills: a small tmpfs mounted for the test (which skips itself where it
// cannot mount one), a table on it loaded through `aceadmin load-csv` until no space is left, and
// then reindexed with no space left. Each failure says that the disk is full (5917), no row reported
// stored is lost, nothing half-loaded stays, and the old index stays usable.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "checker/folder_check.h"
#include "support/aceadmin_run.h"
#include "support/api_fixture.h"

namespace {

using acetest::Aceadmin;
using acetest::Q;
using acetest::ToolRun;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A tmpfs of `bytes` mounted on a new folder for the object's lifetime.
class SmallDisk {
 public:
  SmallDisk(const std::string& folder, size_t bytes) : folder_(folder) {
    std::filesystem::create_directory(folder_);
    const std::string options = "size=" + std::to_string(bytes);
    mounted_ = ::mount("tmpfs", folder_.c_str(), "tmpfs", 0, options.c_str()) == 0;
  }
  ~SmallDisk() {
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }

 private:
  std::string folder_;
  bool mounted_ = false;
};

std::string Csv(int from, int to) {
  std::string csv = "ID,NAME,NOTES\n";
  for (int n = from; n <= to; ++n) {
    csv += std::to_string(n) + ",name " + std::to_string(n) + "," + std::string(300, 'a' + n % 26) + "\n";
  }
  return csv;
}

// Fills the disk under `folder` with a file until nothing more fits.
void FillUp(const std::string& folder) {
  std::ofstream filler(folder + "/filler", std::ios::binary);
  const std::string block(4096, 'f');
  while (filler.write(block.data(), block.size()) && filler.flush()) {
  }
}

TEST(DiskFull, ALoadAndAReindexOnARealFullDiskLoseNothing) {
  acetest::Workspace ws;
  const std::string disk = ws.Host("disk");
  SmallDisk mount(disk, 512 * 1024);
  if (!mount.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here";
  const std::string win = acetest::Win(disk);
  const std::string table = disk + "/vessel.adt";
  ASSERT_EQ(Aceadmin("create-table " + Q(win) + " vessel 'ID,Integer;NAME,Char,20;NOTES,Memo;'").status, 0);
  ASSERT_EQ(Aceadmin("create-index " + Q(table) + " BYNAME 'UPPER(NAME)'").status, 0);
  acetest::WriteFile(ws.Host("first.csv"), Csv(1, 50));
  ToolRun first = Aceadmin("load-csv " + Q(win) + " vessel " + Q(ws.Host("first.csv")));
  ASSERT_EQ(first.status, 0) << first.output;
  const std::vector<std::string> stored = acetest::ReadRows(disk, "vessel");
  ASSERT_EQ(stored.size(), 50u);

  // A load that cannot fit: refused whole, saying why, with the rows stored before intact.
  acetest::WriteFile(ws.Host("big.csv"), Csv(51, 5000));
  ToolRun big = Aceadmin("load-csv " + Q(win) + " vessel " + Q(ws.Host("big.csv")));
  EXPECT_EQ(big.status, 1) << big.output;
  EXPECT_TRUE(Has(big.output, "Error 5917")) << big.output;
  EXPECT_TRUE(Has(big.output, "the disk is full")) << big.output;
  EXPECT_TRUE(Has(big.output, "no rows were stored")) << big.output;
  EXPECT_EQ(acetest::ReadRows(disk, "vessel"), stored);
  ToolRun verify = Aceadmin("verify-index " + Q(table));
  EXPECT_EQ(verify.status, 0) << verify.output;

  // A reindex with no space left: refused, saying why; the old index still answers.
  FillUp(disk);
  ToolRun reindex = Aceadmin("reindex " + Q(table));
  EXPECT_NE(reindex.status, 0) << reindex.output;
  EXPECT_TRUE(Has(reindex.output, "Error 5917")) << reindex.output;
  EXPECT_TRUE(Has(reindex.output, "the disk is full")) << reindex.output;
  EXPECT_EQ(acetest::ReadRows(disk, "vessel"), stored);
  bool unavailable = false;
  std::vector<std::string> problems = acetest::IndexProblems(disk, "vessel", false, &unavailable);
  EXPECT_FALSE(unavailable);
  EXPECT_TRUE(problems.empty()) << problems.front();
}

}  // namespace
