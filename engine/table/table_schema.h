// The structure of a native table: its fields with their place in the record image, and the
// definitions of its index tags as the table file stores them.
//
// Record image: byte 0 is the deletion flag (' ' live, '*' deleted), the fields follow in
// order, each at `offset` and `size` bytes long. A Schema is immutable once built and may be
// shared between threads.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/table/field_type.h"
#include "engine/table/table_type.h"

namespace engine::table {

constexpr size_t kMaxFieldNameLength = 128;
constexpr size_t kMaxFields = 2048;
constexpr uint32_t kMaxRecordLength = 65535;  // record sizes travel as 16-bit values
constexpr uint8_t kLiveFlag = ' ';
constexpr uint8_t kDeletedFlag = '*';

// A field as the caller declares it (the field-definition string parses into these).
struct FieldSpec {
  std::string name;
  FieldType type = FieldType::kString;
  uint32_t length = 0;    // declared length: characters, bytes, or digits; 0 where the type has none
  uint16_t decimals = 0;  // numeric decimals; display decimals of Double and CurDouble
  // FoxPro-compatible tables only: the field may hold NULL (a bit of the hidden null-flags
  // field says so), and text is stored as it is, never translated between code pages.
  bool nullable = false;
  bool binary = false;
  // DBF tables: the type letter wanted where a type has several (FoxPro 'G' general or 'W'
  // blob for Binary); 0 for the type's usual letter.
  char dbfLetter = 0;
};

struct FieldDescriptor {
  std::string name;
  FieldType type = FieldType::kString;
  uint32_t length = 0;    // the engine's field length (characters for national types)
  uint16_t decimals = 0;
  uint32_t offset = 0;    // byte offset in the record image
  uint32_t size = 0;      // bytes in the record image, including a variable field's 16-bit length
  uint32_t dataSize = 0;  // bytes of value before that length (size - 2 for variable fields)
  char dbfLetter = 0;     // DBF tables: the type letter the field is stored under (dbf_field.h)
  // FoxPro-compatible tables (dbf_field.h): the descriptor's flags byte (0x02 nullable, 0x04
  // binary), and the field's bits in the hidden null-flags field: its null bit and, for
  // VarChar and VarBinary, the bit that says its value is shorter than the field. -1: none.
  uint8_t dbfFlags = 0;
  // FoxPro autoincrement integers (flags 0x0C) as another program keeps them in descriptor
  // bytes 19 to 23: the next value and the step. Kept as read and written back unchanged.
  uint32_t autoincNext = 0;
  uint8_t autoincStep = 0;
  int16_t nullBit = -1;
  int16_t varBit = -1;
  bool nullable() const { return nullBit >= 0; }
};

// An index tag as the table remembers it, so that a lost index file can always be rebuilt.
// The index layer gives the texts and flags their meaning.
struct TagDefinition {
  std::string name;
  std::string expression;
  std::string condition;
  uint32_t flags = 0;
  std::string collation;
  uint16_t pageSize = 0;
  // NTX tags: the index file of the tag, relative to the table's folder ("NAME.ntx"); empty for
  // the tags of a compound file (native and CDX tables' structural file).
  std::string file;
  bool operator==(const TagDefinition&) const = default;
};

class Schema {
 public:
  Schema() = default;

  // Lays the fields out in order after the deletion flag. Throws EngineError for a field list
  // that cannot form a table (no fields, a duplicate or empty name, a bad length, a record
  // longer than kMaxRecordLength); the text names the field.
  static Schema FromSpecs(const std::vector<FieldSpec>& specs);

  // Lays the fields out as a DBF table of `type` stores them (dbf_field.h): only the types such
  // a table holds, names of at most 10 ASCII characters, the DBF lengths. Throws EngineError
  // (kInvalidFieldDefinition) naming the first field that does not fit.
  static Schema FromDbfSpecs(const std::vector<FieldSpec>& specs, TableType type);

  // A DBF schema from descriptors read from a .dbf header, laid out in order after the
  // deletion flag (the reader has checked names, types and sizes). FoxPro-compatible tables:
  // the fields' null and variable-length bits are handed out (dbf_null_flags.h) and the
  // null-flags field follows the fields, `nullFlagsSize` bytes or as many as the bits need.
  static Schema FromDbfDescriptors(std::vector<FieldDescriptor> fields, TableType type, uint32_t nullFlagsSize = 0);

  // Rebuilds a schema from stored descriptors, checking that they are consistent with the
  // record length. Throws EngineError naming the first bad descriptor.
  static Schema FromDescriptors(std::vector<FieldDescriptor> fields, uint32_t recordLength);

  const std::vector<FieldDescriptor>& fields() const { return fields_; }
  size_t fieldCount() const { return fields_.size(); }
  uint32_t recordLength() const { return recordLength_; }
  // The table type whose record layout the image follows: native (kAdt) or DBF.
  TableType tableType() const { return tableType_; }
  bool dbf() const { return tableType_ != TableType::kAdt; }

  // The 0-based index of the field named `name` (a-z compared without case), or nullopt.
  std::optional<size_t> Find(std::string_view name) const;

  // Whether any field is a blob (the table then has a memo file).
  bool HasBlobs() const;

  // FoxPro-compatible tables: the hidden null-flags field after the last field (offset and
  // bytes in the record image; size 0 when the table has none). It is not one of fields().
  uint32_t nullFlagsOffset() const { return nullFlagsOffset_; }
  uint32_t nullFlagsSize() const { return nullFlagsSize_; }

  // The FieldSpec that would recreate field i.
  FieldSpec SpecOf(size_t i) const;

 private:
  std::vector<FieldDescriptor> fields_;
  uint32_t recordLength_ = 1;
  TableType tableType_ = TableType::kAdt;
  uint32_t nullFlagsOffset_ = 0;
  uint32_t nullFlagsSize_ = 0;
};

// Bytes a field of this declaration takes in the record image (0 for an invalid declaration).
uint32_t FieldStorageSize(FieldType type, uint32_t length);

}  // namespace engine::table
