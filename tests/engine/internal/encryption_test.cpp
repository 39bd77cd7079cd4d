// Table encryption through the C interface: enabling it with the table's password, whole-table
// and per-record encryption and decryption, what the files hold afterwards, refusals without
// the key or with a wrong one, damaged ciphertext, packing without the key, an index rebuilt
// over an encrypted table, and SQL reading an encrypted table with a statement's password.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ace/ace.h"
#include "engine/index/index_file.h"
#include "engine/index/table_reindex.h"
#include "engine/index/tag_cursor.h"
#include "engine/table/record_writer.h"
#include "engine/table/table.h"
#include "engine/table/table_files.h"
#include "support/sql_fixture.h"

namespace {

using acetest::U8;
using sqltest::LastCode;
using sqltest::LastText;
using sqltest::Rows;

constexpr UNSIGNED32 kExclusive = 1;

std::string Bytes(const std::string& hostPath) {
  std::ifstream in(hostPath, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A hex dump of `n` bytes from `offset`, shown when a file holds what it should not.
std::string HexDump(const std::string& bytes, size_t offset, size_t n) {
  std::string out;
  char buf[24];
  for (size_t i = 0; i < n && offset + i < bytes.size(); ++i) {
    if (i % 32 == 0) {
      std::snprintf(buf, sizeof buf, "\n%06zx", offset + i);
      out += buf;
    }
    std::snprintf(buf, sizeof buf, " %02x", static_cast<unsigned char>(bytes[offset + i]));
    out += buf;
  }
  return out;
}

// Where the records start: the header length in the fixed block.
size_t RecordsStart(const std::string& adt) {
  return static_cast<unsigned char>(adt[12]) | static_cast<unsigned char>(adt[13]) << 8 |
         static_cast<unsigned char>(adt[14]) << 16 | static_cast<unsigned char>(adt[15]) << 24;
}

const Rows kCrew = {
    {"1", "Marguerite Quayside", "Bosun since the spring of the long voyage"},
    {"2", "Anselm Tidewater", "Keeps the chart room and the ship's cat"},
    {"3", "Orla Brackenridge", ""},
};

class Encryption : public sqltest::SqlTest {
 protected:
  void SetUp() override {
    SqlTest::SetUp();
    MakeTable("crew", "ID,Integer;NAME,Char,30;NOTE,Memo;", kCrew);
    adt_ = ws_.Host("crew.adt");
    adm_ = ws_.Host("crew.adm");
  }

  ADSHANDLE Open(UNSIGNED32 options = 0) {
    ADSHANDLE h = 0;
    EXPECT_EQ(AdsOpenTable90(conn_, U8("crew"), nullptr, 3, 1, 1, 1, options, nullptr, &h), 0u) << LastText();
    return h;
  }

  // Opens exclusively, sets the password and encrypts the whole table.
  void EncryptCrew(const std::string& password) {
    ADSHANDLE t = Open(kExclusive);
    ASSERT_EQ(AdsEnableEncryption(t, U8(password)), 0u) << LastText();
    ASSERT_EQ(AdsEncryptTable(t), 0u) << LastText();
    ASSERT_EQ(AdsCloseTable(t), 0u);
  }

  static UNSIGNED16 Flag(UNSIGNED32 (*call)(ADSHANDLE, UNSIGNED16*), ADSHANDLE t) {
    UNSIGNED16 v = 99;
    EXPECT_EQ(call(t, &v), 0u) << LastText();
    return v;
  }

  static std::string Field(ADSHANDLE t, UNSIGNED16 field) {
    std::vector<UNSIGNED8> buf(1000);
    UNSIGNED32 len = static_cast<UNSIGNED32>(buf.size());
    UNSIGNED32 rc = AdsGetString(t, ADSFIELD(field), buf.data(), &len, 2);
    if (rc != 0) return "error " + std::to_string(rc);
    return std::string(reinterpret_cast<char*>(buf.data()), len);
  }

  // Every record in record order, as ID, NAME, NOTE.
  static Rows Records(ADSHANDLE t) {
    Rows rows;
    UNSIGNED32 count = 0;
    EXPECT_EQ(AdsGetRecordCount(t, 2, &count), 0u);
    for (UNSIGNED32 n = 1; n <= count; ++n) {
      if (AdsGotoRecord(t, n) != 0) {
        rows.push_back({"error " + std::to_string(LastCode())});
        continue;
      }
      rows.push_back({Field(t, 1), Field(t, 2), Field(t, 3)});
    }
    return rows;
  }

  // Fails with a hex dump of the records when a text of `rows` is found in the files.
  void ExpectNoPlainText(const std::vector<std::string>& texts) {
    std::string adt = Bytes(adt_), adm = Bytes(adm_);
    for (const std::string& text : texts) {
      if (text.empty()) continue;
      EXPECT_EQ(adt.find(text), std::string::npos)
          << "\"" << text << "\" stands in clear in the table file; its first records:"
          << HexDump(adt, RecordsStart(adt), 192);
      EXPECT_EQ(adm.find(text), std::string::npos) << "\"" << text << "\" stands in clear in the memo file";
    }
  }

  std::string adt_, adm_;
};

TEST_F(Encryption, EncryptedTableKeepsNoPlainTextAndReadsBackWithThePassword) {
  // Before: the names and notes stand in the files as they are.
  EXPECT_NE(Bytes(adt_).find("Marguerite Quayside"), std::string::npos);
  EXPECT_NE(Bytes(adm_).find("ship's cat"), std::string::npos);

  EncryptCrew("tide&wind");
  // The record bytes after encryption, for the record:
  //   000000 20 01 9f 3c ... the deletion flag in clear, marker 01, nonce, tag, ciphertext
  ExpectNoPlainText({"Marguerite Quayside", "Anselm Tidewater", "Orla Brackenridge",
                     "Bosun since the spring", "ship's cat"});

  ADSHANDLE t = Open();
  EXPECT_EQ(Flag(AdsIsTableEncrypted, t), 1);
  EXPECT_EQ(Flag(AdsIsEncryptionEnabled, t), 0);
  // Without the key the records can be walked (their deletion flags are in clear), but an
  // encrypted record is refused, never handed out as ciphertext.
  ASSERT_EQ(AdsGotoTop(t), 0u) << LastText();
  EXPECT_EQ(Field(t, 2), "error 5503");
  EXPECT_EQ(LastCode(), 5503u);
  UNSIGNED8 image[200];
  UNSIGNED32 imageLength = sizeof image;
  EXPECT_EQ(AdsGetRecord(t, image, &imageLength), 5503u);
  ASSERT_EQ(AdsEnableEncryption(t, U8("tide&wind")), 0u) << LastText();
  EXPECT_EQ(Flag(AdsIsEncryptionEnabled, t), 1);
  EXPECT_EQ(Records(t), kCrew);
  ASSERT_EQ(AdsGotoRecord(t, 2), 0u);
  EXPECT_EQ(Flag(AdsIsRecordEncrypted, t), 1);

  // Records changed and added with the key are encrypted too; so are their blobs.
  ASSERT_EQ(AdsGotoRecord(t, 3), 0u);
  ASSERT_EQ(AdsSetString(t, ADSFIELD(3), U8("Signed on at Port Quillan"), 25), 0u) << LastText();
  ASSERT_EQ(AdsWriteRecord(t), 0u) << LastText();
  ASSERT_EQ(AdsAppendRecord(t), 0u) << LastText();
  ASSERT_EQ(AdsSetString(t, ADSFIELD(1), U8("4"), 1), 0u);
  ASSERT_EQ(AdsSetString(t, ADSFIELD(2), U8("Zebedee Longshore"), 17), 0u);
  ASSERT_EQ(AdsWriteRecord(t), 0u) << LastText();
  ExpectNoPlainText({"Port Quillan", "Zebedee Longshore"});

  // Disabling the key forgets what was read with it.
  ASSERT_EQ(AdsDisableEncryption(t), 0u);
  EXPECT_EQ(Flag(AdsIsEncryptionEnabled, t), 0);
  EXPECT_EQ(Field(t, 2), "error 5503");
  ASSERT_EQ(AdsCloseTable(t), 0u);

  t = Open();
  ASSERT_EQ(AdsEnableEncryption(t, U8("tide&wind")), 0u);
  Rows expected = kCrew;
  expected[2][2] = "Signed on at Port Quillan";
  expected.push_back({"4", "Zebedee Longshore", ""});
  EXPECT_EQ(Records(t), expected);
  ASSERT_EQ(AdsCloseTable(t), 0u);
}

TEST_F(Encryption, AWrongPasswordIsRefusedAndChangesNothing) {
  EncryptCrew("Correct Horse");
  const std::string before = Bytes(adt_);
  struct Case {
    const char* password;
    UNSIGNED32 code;
  } cases[] = {
      {"correct horse", 5504},   // letter case counts
      {"Correct Horse ", 5504},  // so does a trailing blank
      {"Correct Hors", 5504},
      {"", 5903},                // an empty password is no password
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.password);
    ADSHANDLE t = Open();
    EXPECT_EQ(AdsEnableEncryption(t, U8(c.password)), c.code);
    EXPECT_EQ(LastCode(), c.code);
    EXPECT_EQ(Flag(AdsIsEncryptionEnabled, t), 0);
    EXPECT_EQ(Field(t, 2), "error 5503");
    // Nor can anything be written without the key.
    EXPECT_EQ(AdsAppendRecord(t), 5503u);
    ASSERT_EQ(AdsCloseTable(t), 0u);
  }
  EXPECT_EQ(Bytes(adt_), before);

  ADSHANDLE t = Open();
  ASSERT_EQ(AdsEnableEncryption(t, U8("Correct Horse")), 0u) << LastText();
  EXPECT_EQ(Records(t), kCrew);
  ASSERT_EQ(AdsCloseTable(t), 0u);
}

TEST_F(Encryption, DecryptTableStoresEverythingInClearAgain) {
  EncryptCrew("pw1");
  ADSHANDLE t = Open(kExclusive);
  EXPECT_EQ(AdsDecryptTable(t), 5503u);  // not without the key
  ASSERT_EQ(AdsEnableEncryption(t, U8("pw1")), 0u);
  ASSERT_EQ(AdsDecryptTable(t), 0u) << LastText();
  EXPECT_EQ(Flag(AdsIsTableEncrypted, t), 0);
  EXPECT_EQ(Records(t), kCrew);
  ASSERT_EQ(AdsCloseTable(t), 0u);

  std::string adt = Bytes(adt_);
  EXPECT_EQ(adt[8], 1) << "a table without a password is format version 1 again";
  EXPECT_NE(adt.find("Anselm Tidewater"), std::string::npos);
  EXPECT_NE(Bytes(adm_).find("ship's cat"), std::string::npos);
  t = Open();
  EXPECT_EQ(Records(t), kCrew);  // no password needed any more
  ASSERT_EQ(AdsCloseTable(t), 0u);
}

TEST_F(Encryption, SingleRecordsAreEncryptedAndDecryptedOnTheirOwn) {
  ADSHANDLE t = Open();
  ASSERT_EQ(AdsEnableEncryption(t, U8("rec")), 0u);
  EXPECT_EQ(Flag(AdsIsTableEncrypted, t), 0) << "enabling alone changes no file";
  ASSERT_EQ(AdsGotoRecord(t, 2), 0u);
  // A table without a password is rewritten for its first encrypted record: exclusively.
  EXPECT_EQ(AdsEncryptRecord(t), 5413u);
  ASSERT_EQ(AdsCloseTable(t), 0u);

  t = Open(kExclusive);
  ASSERT_EQ(AdsEnableEncryption(t, U8("rec")), 0u);
  ASSERT_EQ(AdsGotoRecord(t, 2), 0u);
  ASSERT_EQ(AdsEncryptRecord(t), 0u) << LastText();
  EXPECT_EQ(Flag(AdsIsTableEncrypted, t), 1);
  for (UNSIGNED32 n : {1u, 2u, 3u}) {
    ASSERT_EQ(AdsGotoRecord(t, n), 0u);
    EXPECT_EQ(Flag(AdsIsRecordEncrypted, t), n == 2 ? 1 : 0) << "record " << n;
  }
  ASSERT_EQ(AdsCloseTable(t), 0u);
  ExpectNoPlainText({"Anselm Tidewater", "ship's cat"});
  EXPECT_NE(Bytes(adt_).find("Marguerite Quayside"), std::string::npos);
  EXPECT_NE(Bytes(adm_).find("spring of the long voyage"), std::string::npos);

  // Records in clear read without the key; the encrypted one does not.
  t = Open();
  ASSERT_EQ(AdsGotoRecord(t, 1), 0u);
  EXPECT_EQ(Field(t, 2), "Marguerite Quayside");
  EXPECT_EQ(AdsGotoRecord(t, 2), 0u);
  EXPECT_EQ(Field(t, 2), "error 5503");
  EXPECT_EQ(AdsDecryptRecord(t), 5503u);
  // With the key, in a shared open, the record is stored in clear again in place.
  ASSERT_EQ(AdsEnableEncryption(t, U8("rec")), 0u);
  ASSERT_EQ(AdsGotoRecord(t, 2), 0u);
  ASSERT_EQ(AdsDecryptRecord(t), 0u) << LastText();
  EXPECT_EQ(Flag(AdsIsRecordEncrypted, t), 0);
  EXPECT_EQ(Flag(AdsIsTableEncrypted, t), 1) << "the table keeps its password";
  EXPECT_EQ(Records(t), kCrew);
  // And encrypted again, in place.
  ASSERT_EQ(AdsGotoRecord(t, 1), 0u);
  ASSERT_EQ(AdsEncryptRecord(t), 0u) << LastText();
  ASSERT_EQ(AdsCloseTable(t), 0u);
  EXPECT_NE(Bytes(adt_).find("Anselm Tidewater"), std::string::npos);
  ExpectNoPlainText({"Marguerite Quayside", "spring of the long voyage"});
}

TEST_F(Encryption, DamagedCiphertextFailsItsCheckAndSparesTheOtherRecords) {
  EncryptCrew("check");
  std::string adt = Bytes(adt_);
  // Record 2's slot starts one slot length after record 1's; flip a byte inside its body.
  size_t start = RecordsStart(adt);
  size_t slot = (adt.size() - start) / 3;
  adt[start + slot + 40] ^= 0x20;
  acetest::WriteFile(adt_, adt);

  ADSHANDLE t = Open();
  ASSERT_EQ(AdsEnableEncryption(t, U8("check")), 0u);
  Rows rows = Records(t);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], kCrew[0]);
  EXPECT_EQ(rows[1], std::vector<std::string>{"error 5505"});
  EXPECT_EQ(rows[2], kCrew[2]);
  ASSERT_EQ(AdsCloseTable(t), 0u);
}

TEST_F(Encryption, DamagedCipherParametersAreADamagedHeaderNotAWrongPassword) {
  EncryptCrew("hdr");
  const std::string good = Bytes(adt_);
  ASSERT_EQ(good[8], 2) << "a table with a password is format version 2";
  size_t structureLength = static_cast<unsigned char>(good[20]) | static_cast<unsigned char>(good[21]) << 8;
  struct Case {
    const char* what;
    size_t offset;  // from the end of the structure block
  } cases[] = {{"verifier", 1}, {"salt", 40}, {"iteration count", 52}, {"cipher", 56}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string bad = good;
    bad[128 + structureLength - c.offset] ^= 0x5A;
    acetest::WriteFile(adt_, bad);
    ADSHANDLE t = 0;
    EXPECT_EQ(AdsOpenTable90(conn_, U8("crew"), nullptr, 3, 1, 1, 1, 0, nullptr, &t), 5405u);
  }
  acetest::WriteFile(adt_, good);
  ADSHANDLE t = Open();
  ASSERT_EQ(AdsEnableEncryption(t, U8("hdr")), 0u) << LastText();
  EXPECT_EQ(Records(t), kCrew);
  ASSERT_EQ(AdsCloseTable(t), 0u);
}

TEST_F(Encryption, PackingNeedsTheKeyAndKeepsTheRecordsEncrypted) {
  EncryptCrew("pack");
  ADSHANDLE t = Open();
  ASSERT_EQ(AdsEnableEncryption(t, U8("pack")), 0u);
  ASSERT_EQ(AdsGotoRecord(t, 2), 0u);
  ASSERT_EQ(AdsDeleteRecord(t), 0u) << LastText();
  ASSERT_EQ(AdsCloseTable(t), 0u);

  t = Open(kExclusive);
  const std::string before = Bytes(adt_);
  // The indexes are rebuilt after a pack, from the decrypted records: not without the key.
  EXPECT_EQ(AdsPackTable(t), 5503u) << LastText();
  EXPECT_EQ(Bytes(adt_), before);
  ASSERT_EQ(AdsEnableEncryption(t, U8("pack")), 0u);
  ASSERT_EQ(AdsPackTable(t), 0u) << LastText();
  EXPECT_EQ(Records(t), (Rows{kCrew[0], kCrew[2]}));
  // Changing the fields of an encrypted table is refused rather than done in clear.
  ASSERT_EQ(AdsCloseTable(t), 0u);
  EXPECT_EQ(AdsRestructureTable90(conn_, U8("crew"), nullptr, 3, 1, 1, 1, U8("EXTRA,Integer;"), nullptr, nullptr, 0,
                                  nullptr),
            5506u)
      << LastText();
  ExpectNoPlainText({"Marguerite Quayside", "Orla Brackenridge"});
}

TEST_F(Encryption, ACopyOfAnEncryptedTableIsEncryptedWithTheSamePassword) {
  EncryptCrew("copy pw");
  ADSHANDLE t = Open();
  EXPECT_EQ(AdsCopyTable(t, 2, U8(ws_.Win("copy.adt"))), 5503u) << "no copy without the key";
  ASSERT_EQ(AdsEnableEncryption(t, U8("copy pw")), 0u);
  ASSERT_EQ(AdsCopyTable(t, 2, U8(ws_.Win("copy.adt"))), 0u) << LastText();
  ASSERT_EQ(AdsCloseTable(t), 0u);
  std::string copy = Bytes(ws_.Host("copy.adt"));
  EXPECT_EQ(copy.find("Marguerite Quayside"), std::string::npos) << HexDump(copy, RecordsStart(copy), 192);
  EXPECT_EQ(Bytes(ws_.Host("copy.adm")).find("ship's cat"), std::string::npos);

  ADSHANDLE c = 0;
  ASSERT_EQ(AdsOpenTable90(0, U8(ws_.Win("copy.adt")), nullptr, 3, 1, 1, 1, 0, nullptr, &c), 0u) << LastText();
  EXPECT_EQ(Flag(AdsIsTableEncrypted, c), 1);
  EXPECT_EQ(AdsEnableEncryption(c, U8("other")), 5504u);
  ASSERT_EQ(AdsEnableEncryption(c, U8("copy pw")), 0u) << LastText();
  EXPECT_EQ(Records(c), kCrew);
  ASSERT_EQ(AdsCloseTable(c), 0u);
}

TEST_F(Encryption, TheCipherFollowsTheConnectionsEncryptionType) {
  // A table encrypted on a connection with EncryptionType=AES128 opens with the same password
  // on any other connection: the cipher is stored with the table.
  ADSHANDLE aes128 = 0;
  ASSERT_EQ(acetest::Connect101("Data Source=" + ws_.Win("db.add") + ";User ID=adssys;EncryptionType=AES128;",
                                &aes128),
            0u)
      << LastText();
  ADSHANDLE t = 0;
  ASSERT_EQ(AdsOpenTable90(aes128, U8("crew"), nullptr, 3, 1, 1, 1, kExclusive, nullptr, &t), 0u) << LastText();
  ASSERT_EQ(AdsEnableEncryption(t, U8("short key")), 0u);
  ASSERT_EQ(AdsEncryptTable(t), 0u) << LastText();
  ASSERT_EQ(AdsCloseTable(t), 0u);
  ASSERT_EQ(AdsDisconnect(aes128), 0u);
  ExpectNoPlainText({"Marguerite Quayside"});

  t = Open();
  ASSERT_EQ(AdsEnableEncryption(t, U8("short key")), 0u) << LastText();
  EXPECT_EQ(Records(t), kCrew);
  ASSERT_EQ(AdsCloseTable(t), 0u);
}

TEST_F(Encryption, SqlReadsAnEncryptedTableWithTheStatementsPassword) {
  EncryptCrew("sql pw");
  // Without a password the statement cannot read the records.
  EXPECT_NE(Run("select NAME from crew"), 0u);
  EXPECT_EQ(LastCode(), 5503u) << LastText();

  const Rows names = {{"Marguerite Quayside"}, {"Anselm Tidewater"}, {"Orla Brackenridge"}};
  struct Case {
    const char* what;
    UNSIGNED32 (*set)(ADSHANDLE);
    UNSIGNED32 code;
  } cases[] = {
      {"table password", [](ADSHANDLE s) { return AdsStmtSetTablePassword(s, U8("CREW"), U8("sql pw")); }, 0},
      {"statement password", [](ADSHANDLE s) { return AdsStmtEnableEncryption(s, U8("sql pw")); }, 0},
      {"wrong table password", [](ADSHANDLE s) { return AdsStmtSetTablePassword(s, U8("crew"), U8("sql")); }, 5504},
      {"password of another table",
       [](ADSHANDLE s) { return AdsStmtSetTablePassword(s, U8("other"), U8("sql pw")); }, 5503},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ADSHANDLE s = Statement();
    ASSERT_EQ(c.set(s), 0u) << LastText();
    ADSHANDLE cursor = 0;
    UNSIGNED32 rc = Run("select NAME from crew order by ID", &cursor, s);
    if (c.code == 0) {
      ASSERT_EQ(rc, 0u) << LastText();
      EXPECT_EQ(sqltest::ReadAll(cursor), names);
      AdsCloseTable(cursor);
    } else {
      EXPECT_NE(rc, 0u);
      EXPECT_EQ(LastCode(), c.code) << LastText();
    }
  }

  // Changes through SQL with the password are stored encrypted.
  ADSHANDLE s = Statement();
  ASSERT_EQ(AdsStmtSetTablePassword(s, U8("crew"), U8("sql pw")), 0u);
  ASSERT_EQ(Run("update crew set NAME = 'Perpetua Saltmarsh' where ID = 3", nullptr, s), 0u) << LastText();
  ASSERT_EQ(Run("insert into crew (ID, NAME) values (5, 'Ignatius Foamcrest')", nullptr, s), 0u) << LastText();
  ExpectNoPlainText({"Perpetua Saltmarsh", "Ignatius Foamcrest"});
  // An index made through SQL takes its keys from the decrypted records.
  ASSERT_EQ(Run("create index BYNAME on crew (NAME)", nullptr, s), 0u) << LastText();
  ASSERT_EQ(AdsStmtEnableEncryption(s, U8("sql pw")), 0u);
  ADSHANDLE cursor = 0;
  ASSERT_EQ(Run("select NAME from crew order by NAME", &cursor, s), 0u) << LastText();
  EXPECT_EQ(sqltest::ReadAll(cursor), (Rows{{"Anselm Tidewater"}, {"Ignatius Foamcrest"}, {"Marguerite Quayside"},
                                            {"Perpetua Saltmarsh"}}));
  AdsCloseTable(cursor);
  // Clearing the passwords leaves the statement without the key again.
  ASSERT_EQ(AdsStmtClearTablePasswords(s), 0u);
  ASSERT_EQ(AdsStmtDisableEncryption(s), 0u);
  EXPECT_NE(Run("select NAME from crew", nullptr, s), 0u);
  EXPECT_EQ(LastCode(), 5503u);
}

// An index over an encrypted table is built from the decrypted values: after a rebuild its
// order is the order of the names, which ciphertext would scramble.
TEST(EncryptionIndex, AnIndexOverAnEncryptedTableOrdersByThePlainValues) {
  using namespace engine;
  testenv::TempDir dir;
  std::string path = (dir.path() / "names.adt").string();
  table::Schema schema = table::Schema::FromSpecs({{"NAME", table::FieldType::kString, 12, 0}, {"N", table::FieldType::kInteger, 0, 0}});
  table::Table::CreateOptions co;
  co.tags = {{"BYNAME", "UPPER(NAME)", "", 0, "", 0}};
  table::Table::Create(path, schema, co);
  {
    auto t = table::Table::Open(path, {true, false});
    std::vector<uint8_t> image(t->schema().recordLength());
    table::Table::Batch batch(*t);
    for (int i = 0; i < 500; ++i) {
      table::WriteEmptyRecord(t->schema(), image.data());
      table::WriteText(t->schema(), image.data(), 0, "name" + std::to_string((i * 7919) % 500), false);
      table::WriteInteger(t->schema(), image.data(), 1, i);
      t->AppendRecord(image.data());
    }
    batch.Commit();
  }
  ADSHANDLE h = 0;
  ASSERT_EQ(AdsOpenTable90(0, U8(path), nullptr, 3, 1, 1, 1, kExclusive, nullptr, &h), 0u) << LastText();
  ASSERT_EQ(AdsEnableEncryption(h, U8("idx")), 0u) << LastText();
  ASSERT_EQ(AdsEncryptTable(h), 0u) << LastText();
  std::filesystem::remove(table_files::IndexPath(path));
  ASSERT_EQ(AdsReindex61(h, 0), 0u) << LastText();

  std::vector<std::string> inIndexOrder;
  {
    auto index = index::IndexFile::Open(table_files::IndexPath(path), true);
    index::TagCursor cursor(*index, 0);
    for (bool on = cursor.First(); on; on = cursor.Skip(1)) {
      ASSERT_EQ(AdsGotoRecord(h, cursor.recno()), 0u);
      std::vector<UNSIGNED8> buf(40);
      UNSIGNED32 len = static_cast<UNSIGNED32>(buf.size());
      ASSERT_EQ(AdsGetString(h, ADSFIELD(1), buf.data(), &len, 2), 0u) << LastText();
      inIndexOrder.emplace_back(reinterpret_cast<char*>(buf.data()), len);
    }
  }
  ASSERT_EQ(AdsCloseTable(h), 0u);
  ASSERT_EQ(inIndexOrder.size(), 500u);
  EXPECT_TRUE(std::is_sorted(inIndexOrder.begin(), inIndexOrder.end()));
  EXPECT_EQ(std::adjacent_find(inIndexOrder.begin(), inIndexOrder.end()), inIndexOrder.end());
  std::string adt = Bytes(path);
  EXPECT_EQ(adt.find("name123"), std::string::npos) << HexDump(adt, RecordsStart(adt), 128);

  // Without the key the rebuild is refused and the index file is left as it was.
  std::string adi = Bytes(table_files::IndexPath(path));
  ASSERT_EQ(AdsOpenTable90(0, U8(path), nullptr, 3, 1, 1, 1, kExclusive, nullptr, &h), 0u) << LastText();
  EXPECT_EQ(AdsReindex61(h, 0), 5503u);
  ASSERT_EQ(AdsCloseTable(h), 0u);
  EXPECT_EQ(Bytes(table_files::IndexPath(path)), adi);
}

}  // namespace
