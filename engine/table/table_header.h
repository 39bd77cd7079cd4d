// The header of a native table file (.adt) and its encoding; docs/formats.md ("Table file")
// describes it byte by byte.
//
//   [0, 64)    fixed block: magic, format version, header length, record length, offset,
//              length and CRC of the structure block; its own CRC
//   [64, 128)  counter block: record count, last autoincrement value, change counter, last
//              row version; its own CRC. Rewritten by every change of the table.
//   [128, header length)  the structure block (table properties, field descriptors, index tag
//              definitions) at the offset the fixed block gives, 128 unless the tags changed.
//              A change writes the new block where the current one is not, then the fixed
//              block that points at it, so a crash leaves the old block or the new one.
//   [header length, ...)  records, `record length` bytes each.
//
// Pure encoding and decoding; the Table class does the file work.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/table/record_cipher.h"
#include "engine/table/table_schema.h"

namespace engine::table {

// Version 1: records stored as they are. Version 2: the table has a password; its structure
// block ends with the cipher parameters and every record slot is the record's length plus
// kSealOverhead (see Table and record_cipher.h). An engine that knows only version 1 refuses
// version 2 files instead of reading their ciphertext as data.
constexpr uint16_t kTableFormatVersion = 1;
constexpr uint16_t kEncryptedTableFormatVersion = 2;
constexpr uint32_t kFixedBlockSize = 64;
constexpr uint32_t kCounterBlockOffset = 64;
constexpr uint32_t kCounterBlockSize = 64;
constexpr uint32_t kStructureOffset = 128;
constexpr uint32_t kHeaderAlignment = 512;
extern const char kTableMagic[8];

struct TableCounters {
  uint32_t recordCount = 0;
  uint32_t lastAutoinc = 0;
  uint64_t changeCounter = 0;
  uint64_t lastRowVersion = 0;
};

struct TableProperties {
  uint16_t memoBlockSize = 0;
  uint16_t charType = 1;  // 1 ANSI, 2 OEM
  uint16_t indexPageSize = 512;
  std::string collation;
};

struct TableHeader {
  uint32_t headerLength = 0;  // where the records start; a multiple of 512
  uint32_t structureOffset = kStructureOffset;  // where the structure block is
  Schema schema;
  TableProperties properties;
  std::vector<TagDefinition> tags;
  TableCounters counters;
  std::optional<CipherParams> encryption;  // set for a table with a password (version 2)
  uint8_t dbfTableFlags = 0;  // DBF tables: header byte 28 (0x01: a structural .cdx exists)
};

// The structure block of a header.
std::vector<uint8_t> EncodeStructure(const TableHeader& header);

// The fixed block, given the encoded structure block.
std::vector<uint8_t> EncodeFixedBlock(const TableHeader& header, const std::vector<uint8_t>& structure);

std::vector<uint8_t> EncodeCounters(const TableCounters& counters);

// The smallest header length that holds `structureSize` bytes of structure with room for the
// tags to grow.
uint32_t HeaderLengthFor(size_t structureSize);

// Decodes the fixed block; throws EngineError: kNotATableFile (magic), kTableVersion,
// kTableHeaderDamaged (CRC, impossible lengths). `fileName` names the file in the texts.
struct FixedBlock {
  uint32_t headerLength;
  uint32_t recordLength;
  uint32_t structureOffset;
  uint32_t structureLength;
  uint32_t structureCrc;
  uint16_t version;
};
FixedBlock DecodeFixedBlock(const uint8_t* bytes, const std::string& fileName);

// Decodes and checks the structure block against the fixed block; throws
// kTableHeaderDamaged naming what does not fit.
void DecodeStructure(const uint8_t* bytes, const FixedBlock& fixed, const std::string& fileName, TableHeader* out);

// Decodes the counter block; false when its CRC does not match.
bool DecodeCounters(const uint8_t* bytes, TableCounters* out);

}  // namespace engine::table
