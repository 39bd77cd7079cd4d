// The table file and memo file through the storage layer: records and counters across
// reopen, blobs with block reuse, pack, zap, restructure keeping data, locks between two
// opens, and damaged files giving their documented errors.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "engine/core/error.h"
#include "engine/core/checksum.h"
#include "engine/table/field_def_parser.h"
#include "engine/table/record_writer.h"
#include "engine/table/memo_file.h"
#include "engine/table/table.h"
#include "engine/table/table_files.h"
#include "test_env.h"

namespace engine {
namespace {

ErrorCode CodeOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EngineError& e) {
    return e.code();
  }
  return 0;
}

class TableStorage : public ::testing::Test {
 protected:
  void SetUp() override { path_ = (dir_.path() / "items.adt").string(); }

  void CreateTable(const std::string& fields) {
    table::Table::Create(path_, table::Schema::FromSpecs(table::ParseFieldDefinitions(fields)), table::Table::CreateOptions{});
  }
  std::unique_ptr<table::Table> OpenTable(bool exclusive = false, bool readOnly = false) {
    table::Table::OpenOptions o;
    o.exclusive = exclusive;
    o.readOnly = readOnly;
    return table::Table::Open(path_, o);
  }
  // Appends a record whose NAME is name and QTY qty.
  uint32_t Append(table::Table& t, const std::string& name, int qty) {
    std::vector<uint8_t> image(t.schema().recordLength());
    table::WriteEmptyRecord(t.schema(), image.data());
    table::WriteText(t.schema(), image.data(), *t.schema().Find("NAME"), name, false);
    table::WriteInteger(t.schema(), image.data(), *t.schema().Find("QTY"), qty);
    return t.AppendRecord(image.data());
  }
  std::vector<uint8_t> Read(table::Table& t, uint32_t n) {
    std::vector<uint8_t> image(t.schema().recordLength());
    t.ReadRecord(n, image.data());
    return image;
  }
  std::string NameOf(table::Table& t, uint32_t n) {
    std::vector<uint8_t> image = Read(t, n);
    std::string s = table::RecordView(t.schema(), image.data(), n).text(*t.schema().Find("NAME"));
    return s.substr(0, s.find_last_not_of(' ') + 1);
  }
  void PatchFile(uint64_t offset, const std::string& bytes) {
    std::fstream f(path_, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(offset));
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }

  testenv::TempDir dir_;
  std::string path_;
};

TEST_F(TableStorage, RecordsAutoincAndTagsSurviveReopen) {
  CreateTable("ID,AutoInc;NAME,Char,10;QTY,Integer;");
  {
    auto t = OpenTable();
    EXPECT_EQ(Append(*t, "apple", 3), 1u);
    EXPECT_EQ(Append(*t, "pear", 5), 2u);
    t->SetTags({table::TagDefinition{"BYNAME", "NAME", "", 2, "", 1024}});
  }
  auto t = OpenTable(true);
  EXPECT_EQ(t->RecordCount(), 2u);
  EXPECT_EQ(NameOf(*t, 2), "pear");
  EXPECT_EQ(t->lastAutoinc(), 2u);
  ASSERT_EQ(t->tags().size(), 1u);
  EXPECT_EQ(t->tags()[0], (table::TagDefinition{"BYNAME", "NAME", "", 2, "", 1024}));
  EXPECT_EQ(Append(*t, "plum", 1), 3u);
  std::vector<uint8_t> image = Read(*t, 3);
  EXPECT_EQ(table::RecordView(t->schema(), image.data(), 3).integer(0), 3);
  t.reset();
  // The exclusive open wrote its counters when it closed.
  EXPECT_EQ(OpenTable()->lastAutoinc(), 3u);
}

TEST_F(TableStorage, RecordNumbersOutsideTheTableAreRefused) {
  CreateTable("NAME,Char,10;QTY,Integer;");
  auto t = OpenTable();
  Append(*t, "a", 1);
  EXPECT_EQ(CodeOf([&] { Read(*t, 0); }), err::kInvalidRecordNumber);
  EXPECT_EQ(CodeOf([&] { Read(*t, 2); }), err::kInvalidRecordNumber);
}

TEST_F(TableStorage, AnotherOpenSeesAppendsThroughTheCounters) {
  CreateTable("NAME,Char,10;QTY,Integer;");
  auto a = OpenTable();
  auto b = OpenTable();
  uint64_t before = b->changeCounter();
  Append(*a, "x", 1);
  EXPECT_TRUE(b->Refresh());
  EXPECT_GT(b->changeCounter(), before);
  EXPECT_EQ(b->RecordCount(), 1u);
  EXPECT_EQ(NameOf(*b, 1), "x");
  EXPECT_FALSE(b->Refresh());
}

TEST_F(TableStorage, ReadOnlyOpenRefusesChanges) {
  CreateTable("NAME,Char,10;QTY,Integer;");
  auto t = OpenTable(false, true);
  EXPECT_EQ(CodeOf([&] { Append(*t, "x", 1); }), err::kTableReadOnly);
}

TEST_F(TableStorage, BlobsRoundTripAndFreedBlocksAreReused) {
  CreateTable("NAME,Char,10;QTY,Integer;NOTE,Memo;PIC,Binary;");
  auto t = OpenTable();
  std::string big(5000, 'x');
  table::BlobRef a = t->WriteBlob(big);
  table::BlobRef b = t->WriteBlob(std::string("\0\1\2", 3));
  EXPECT_EQ(t->ReadBlob(a), big);
  EXPECT_EQ(t->ReadBlob(b), std::string("\0\1\2", 3));
  EXPECT_EQ(t->WriteBlob("").block, 0u);
  table::MemoFile memo = table::MemoFile::Open(table_files::MemoPath(path_), true);
  uint32_t total = memo.TotalBlocks();
  t->FreeBlob(a);
  EXPECT_GT(memo.FreeBlocks(), 0u);
  table::BlobRef c = t->WriteBlob(std::string(4000, 'y'));
  EXPECT_EQ(c.block, a.block);  // first fit in the freed extent
  EXPECT_EQ(memo.TotalBlocks(), total);
  EXPECT_EQ(t->ReadBlob(c), std::string(4000, 'y'));
  EXPECT_EQ(t->ReadBlob(b), std::string("\0\1\2", 3));
  // A stale reference to the freed and reused extent is detected, not misread.
  EXPECT_EQ(CodeOf([&] { t->ReadBlob(a); }), err::kMemoDamaged);
}

TEST_F(TableStorage, PackRemovesDeletedRecordsAndFreesTheirBlobs) {
  CreateTable("NAME,Char,10;QTY,Integer;NOTE,Memo;");
  auto t = OpenTable(true);
  size_t note = *t->schema().Find("NOTE");
  for (int i = 1; i <= 5; ++i) {
    std::vector<uint8_t> image(t->schema().recordLength());
    table::WriteEmptyRecord(t->schema(), image.data());
    table::WriteText(t->schema(), image.data(), 0, "r" + std::to_string(i), false);
    table::WriteBlobRef(t->schema(), image.data(), note, t->WriteBlob(std::string(300, static_cast<char>('a' + i))));
    t->AppendRecord(image.data());
  }
  t->SetDeleted(2, true);
  t->SetDeleted(4, true);
  std::vector<uint16_t> seen;
  t->Pack([&](uint16_t p) {
    seen.push_back(p);
    return true;
  });
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), 100);
  EXPECT_EQ(t->RecordCount(), 3u);
  EXPECT_EQ(NameOf(*t, 1), "r1");
  EXPECT_EQ(NameOf(*t, 2), "r3");
  EXPECT_EQ(NameOf(*t, 3), "r5");
  std::vector<uint8_t> image = Read(*t, 2);
  EXPECT_EQ(t->ReadBlob(table::RecordView(t->schema(), image.data(), 2).blob(note)), std::string(300, 'd'));
  EXPECT_GT(table::MemoFile::Open(table_files::MemoPath(path_), false).FreeBlocks(), 0u);
}

TEST_F(TableStorage, PackStoppedByTheProgressCallbackKeepsTheTable) {
  CreateTable("NAME,Char,10;QTY,Integer;");
  auto t = OpenTable(true);
  table::Table::Batch batch(*t);
  for (int i = 0; i < 10000; ++i) Append(*t, "n", i);
  batch.Commit();
  t->SetDeleted(1, true);
  EXPECT_NE(CodeOf([&] { t->Pack([](uint16_t p) { return p < 10; }); }), 0u);
  EXPECT_EQ(t->RecordCount(), 10000u);
  EXPECT_TRUE(table::RecordView(t->schema(), Read(*t, 1).data(), 1).deleted());
}

TEST_F(TableStorage, PackZapAndRestructureNeedAnExclusiveOpen) {
  CreateTable("NAME,Char,10;QTY,Integer;");
  auto t = OpenTable();
  EXPECT_EQ(CodeOf([&] { t->Pack(nullptr); }), err::kExclusiveRequired);
  EXPECT_EQ(CodeOf([&] { t->Zap(); }), err::kExclusiveRequired);
  EXPECT_EQ(CodeOf([&] { table::Table::Restructure(path_, "X,Integer;", "", "", nullptr); }), err::kTableInUse);
}

TEST_F(TableStorage, ZapEmptiesTableAndMemo) {
  CreateTable("NAME,Char,10;QTY,Integer;NOTE,Memo;");
  auto t = OpenTable(true);
  t->WriteBlob(std::string(1000, 'z'));
  Append(*t, "a", 1);
  t->Zap();
  EXPECT_EQ(t->RecordCount(), 0u);
  EXPECT_EQ(Append(*t, "b", 2), 1u);
  table::MemoFile memo = table::MemoFile::Open(table_files::MemoPath(path_), false);
  EXPECT_EQ(memo.FreeBlocks(), 0u);
  EXPECT_LT(memo.TotalBlocks(), 20u);
}

TEST_F(TableStorage, RestructureAddsDeletesAndChangesFieldsKeepingData) {
  CreateTable("NAME,Char,10;QTY,Integer;OLD,Char,4;NOTE,Memo;");
  {
    auto t = OpenTable();
    for (int i = 1; i <= 3; ++i) {
      std::vector<uint8_t> image(t->schema().recordLength());
      table::WriteEmptyRecord(t->schema(), image.data());
      table::WriteText(t->schema(), image.data(), 0, "name" + std::to_string(i), false);
      table::WriteInteger(t->schema(), image.data(), 1, i * 100);
      table::WriteText(t->schema(), image.data(), 2, "zz", false);
      table::WriteBlobRef(t->schema(), image.data(), 3, t->WriteBlob("memo " + std::to_string(i)));
      t->AppendRecord(image.data());
    }
    t->SetDeleted(2, true);
  }
  table::Table::Restructure(path_, "PRICE,Num,8,2;", "OLD", "NAME,FULLNAME,Char,20;QTY,Num,10,1", nullptr);
  auto t = OpenTable();
  const table::Schema& s = t->schema();
  ASSERT_EQ(s.fieldCount(), 4u);
  EXPECT_EQ(s.fields()[0].name, "FULLNAME");
  EXPECT_EQ(s.fields()[0].length, 20u);
  EXPECT_EQ(s.fields()[1].type, table::FieldType::kNumeric);
  EXPECT_EQ(s.fields()[3].name, "PRICE");
  EXPECT_FALSE(s.Find("OLD"));
  ASSERT_EQ(t->RecordCount(), 3u);
  for (uint32_t n = 1; n <= 3; ++n) {
    std::vector<uint8_t> image = Read(*t, n);
    table::RecordView v(s, image.data(), n);
    EXPECT_EQ(v.text(0), "name" + std::to_string(n) + std::string(15, ' '));
    EXPECT_EQ(v.text(1), "     " + std::to_string(n * 100) + ".0");
    EXPECT_EQ(t->ReadBlob(v.blob(2)), "memo " + std::to_string(n));
    EXPECT_TRUE(v.isNull(3));
    EXPECT_EQ(v.deleted(), n == 2);
  }
}

TEST_F(TableStorage, RestructureRefusesAValueThatCannotConvertAndKeepsTheTable) {
  CreateTable("NAME,Char,10;QTY,Integer;");
  {
    auto t = OpenTable();
    Append(*t, "abc", 1);
  }
  EXPECT_EQ(CodeOf([&] { table::Table::Restructure(path_, "", "", "NAME,Integer", nullptr); }), err::kFieldTypeMismatch);
  EXPECT_EQ(CodeOf([&] { table::Table::Restructure(path_, "", "NOPE", "", nullptr); }), err::kFieldNotFound);
  auto t = OpenTable();
  EXPECT_EQ(t->schema().fields()[0].type, table::FieldType::kString);
  EXPECT_EQ(NameOf(*t, 1), "abc");
}

TEST_F(TableStorage, ExclusiveAndSharedOpensExcludeEachOther) {
  CreateTable("NAME,Char,10;QTY,Integer;");
  {
    auto shared = OpenTable();
    EXPECT_EQ(CodeOf([&] { OpenTable(true); }), err::kTableInUse);
    EXPECT_NE(OpenTable(), nullptr);  // shared opens coexist
  }
  auto exclusive = OpenTable(true);
  EXPECT_EQ(CodeOf([&] { OpenTable(); }), err::kTableInUse);
  EXPECT_EQ(CodeOf([&] { OpenTable(false, true); }), err::kTableInUse);
  EXPECT_EQ(CodeOf([&] { CreateTable("A,Integer;"); }), err::kTableInUse);
}

TEST_F(TableStorage, RecordAndTableLocksConflictBetweenOpens) {
  CreateTable("NAME,Char,10;QTY,Integer;");
  auto a = OpenTable();
  auto b = OpenTable();
  EXPECT_TRUE(a->LockRecord(3));
  EXPECT_FALSE(b->LockRecord(3));
  EXPECT_TRUE(b->IsRecordLockedByOthers(3));
  EXPECT_TRUE(b->LockRecord(4));
  EXPECT_FALSE(a->LockTable());  // b holds record 4
  EXPECT_TRUE(b->UnlockRecord(4));
  EXPECT_FALSE(b->UnlockRecord(4));
  EXPECT_TRUE(a->LockTable());
  EXPECT_FALSE(b->LockRecord(9));
  EXPECT_FALSE(b->LockTable());
  // Unlocking the table keeps this open's own record lock.
  EXPECT_TRUE(a->UnlockTable());
  EXPECT_FALSE(b->LockRecord(3));
  EXPECT_TRUE(b->LockRecord(9));
  EXPECT_EQ(a->RecordLocks(), std::vector<uint32_t>{3});
  a.reset();  // closing releases every lock
  EXPECT_TRUE(b->LockRecord(3));
}

TEST_F(TableStorage, RecordsPastTheCountAreNeverAdoptedAndTheNextAppendReplacesThem) {
  CreateTable("NAME,Char,10;QTY,Integer;");
  std::vector<uint8_t> rec;
  uint32_t headerLength = 0;
  {
    auto t = OpenTable();
    Append(*t, "one", 1);
    rec = Read(*t, 1);
    headerLength = static_cast<uint32_t>(std::filesystem::file_size(path_) - rec.size());
  }
  // What a writer killed between a record and its counter block leaves: two whole records
  // and a piece of a third, all uncounted. They were never reported stored.
  {
    std::ofstream f(path_, std::ios::binary | std::ios::app);
    for (int k = 0; k < 2; ++k) f.write(reinterpret_cast<const char*>(rec.data()), static_cast<std::streamsize>(rec.size()));
    f.write(reinterpret_cast<const char*>(rec.data()), 5);
  }
  // Neither a shared nor an exclusive open takes them, and opening changes nothing.
  const uint64_t size = std::filesystem::file_size(path_);
  for (bool exclusive : {false, true}) {
    table::Table::OpenOptions o;
    o.exclusive = exclusive;
    auto t = table::Table::Open(path_, o);
    EXPECT_EQ(t->RecordCount(), 1u);
  }
  EXPECT_EQ(std::filesystem::file_size(path_), size);
  // The next append replaces them.
  auto t = OpenTable();
  EXPECT_EQ(Append(*t, "two", 2), 2u);
  EXPECT_EQ(t->RecordCount(), 2u);
  EXPECT_EQ(NameOf(*t, 2), "two");
  EXPECT_EQ(std::filesystem::file_size(path_), headerLength + 2 * rec.size());
}

struct Damage {
  const char* what;
  uint64_t offset;   // where bytes are changed
  std::string bytes;
  ErrorCode code;
};

class DamagedHeader : public TableStorage, public ::testing::WithParamInterface<Damage> {};

TEST_P(DamagedHeader, OpenGivesTheDocumentedError) {
  CreateTable("NAME,Char,10;QTY,Integer;");
  {
    auto t = OpenTable();
    Append(*t, "a", 1);
  }
  PatchFile(GetParam().offset, GetParam().bytes);
  EXPECT_EQ(CodeOf([&] { OpenTable(); }), GetParam().code) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedHeader,
    ::testing::Values(Damage{"magic", 0, "XX", err::kNotATableFile},
                      Damage{"version", 8, std::string("\x07\x00", 2), err::kTableVersion},
                      Damage{"record length", 16, "\x09", err::kTableHeaderDamaged},
                      Damage{"field count", 128, std::string("\xff\x00", 2), err::kTableHeaderDamaged},
                      Damage{"field name", 150, "QQ", err::kTableHeaderDamaged}));

TEST_F(TableStorage, DescriptorCountThatDoesNotFitIsDamageEvenWithAValidChecksum) {
  CreateTable("NAME,Char,10;QTY,Integer;");
  // Rewrites the structure with a larger field count and recomputes both checksums, as a
  // careless tool would: the count still has to fit the structure block.
  std::vector<uint8_t> file;
  {
    std::ifstream f(path_, std::ios::binary);
    file.assign(std::istreambuf_iterator<char>(f), {});
  }
  file[128] = 200;
  uint32_t structureLength;
  std::memcpy(&structureLength, &file[20], 4);
  uint32_t crc = Crc32(&file[128], structureLength);
  std::memcpy(&file[24], &crc, 4);
  crc = Crc32(file.data(), 60);
  std::memcpy(&file[60], &crc, 4);
  {
    std::ofstream f(path_, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  }
  try {
    OpenTable();
    FAIL();
  } catch (const EngineError& e) {
    EXPECT_EQ(e.code(), err::kTableHeaderDamaged);
    EXPECT_NE(std::string(e.what()).find("does not fit"), std::string::npos) << e.what();
  }
}

TEST_F(TableStorage, TruncatedTableOpensAndKeepsItsIntactRecordsReadable) {
  CreateTable("NAME,Char,10;QTY,Integer;");
  uint64_t fullSize;
  {
    auto t = OpenTable();
    for (int i = 0; i < 10; ++i) Append(*t, "n" + std::to_string(i), i);
    fullSize = std::filesystem::file_size(path_);
  }
  std::filesystem::resize_file(path_, fullSize - 3 * 15 - 4);
  auto t = OpenTable();
  EXPECT_EQ(NameOf(*t, 6), "n5");
  EXPECT_EQ(CodeOf([&] { Read(*t, 7); }), err::kTableTruncated);
  EXPECT_EQ(CodeOf([&] { Append(*t, "x", 1); }), err::kTableTruncated);
  t.reset();
  // An exclusive pack repairs it, keeping the intact records.
  t = OpenTable(true);
  t->Pack(nullptr);
  EXPECT_EQ(t->RecordCount(), 6u);
  EXPECT_EQ(Append(*t, "x", 1), 7u);
}

TEST_F(TableStorage, MemoReferencePastTheMemoFileIsAnErrorOnRead) {
  CreateTable("NAME,Char,10;QTY,Integer;NOTE,Memo;");
  auto t = OpenTable();
  EXPECT_EQ(CodeOf([&] { t->ReadBlob(table::BlobRef{100000, 20}); }), err::kMemoDamaged);
  EXPECT_EQ(CodeOf([&] { t->ReadBlob(table::BlobRef{1, 20}); }), err::kMemoDamaged);  // inside the header
}

TEST_F(TableStorage, MissingMemoFileLeavesRecordsReadable) {
  CreateTable("NAME,Char,10;QTY,Integer;NOTE,Memo;");
  {
    auto t = OpenTable();
    Append(*t, "kept", 1);
  }
  std::filesystem::remove(table_files::MemoPath(path_));
  auto t = OpenTable();
  EXPECT_EQ(NameOf(*t, 1), "kept");
  EXPECT_EQ(CodeOf([&] { t->ReadBlob(table::BlobRef{9, 3}); }), err::kMemoDamaged);
  EXPECT_EQ(CodeOf([&] { t->WriteBlob("x"); }), err::kMemoDamaged);
}

TEST_F(TableStorage, DamagedCountersAreRebuiltFromTheRecords) {
  CreateTable("ID,AutoInc;NAME,Char,10;QTY,Integer;");
  {
    auto t = OpenTable();
    for (int i = 0; i < 4; ++i) Append(*t, "r", i);
  }
  PatchFile(64, "\xff\xff");
  auto t = OpenTable();
  EXPECT_EQ(t->RecordCount(), 4u);
  EXPECT_EQ(t->lastAutoinc(), 4u);
  EXPECT_EQ(Append(*t, "r", 5), 5u);
}

TEST_F(TableStorage, NotATableAndMissingTable) {
  EXPECT_EQ(CodeOf([&] { OpenTable(); }), err::kTableNotFound);
  std::ofstream(path_) << "hello";
  EXPECT_EQ(CodeOf([&] { OpenTable(); }), err::kNotATableFile);
}

}  // namespace
}  // namespace engine
