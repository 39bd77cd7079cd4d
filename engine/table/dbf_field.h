// The fields of DBF tables (types NTX, CDX and FoxPro): which engine field types a DBF table holds,
// the type letter each is stored under in the .dbf field descriptors, and how its value is
// held in a record image. docs/formats.md ("DBF table file") describes the file byte by byte.
//
// A DBF table's record image is the record exactly as the .dbf file holds it, so a record is
// read and written without conversion and every layer above (cursors, expressions, index
// keys, SQL, the components) sees the bytes other programs see:
//
//   byte 0      deletion flag: ' ' live, '*' deleted
//   Character   letter 'C', 1 to 254 bytes of 8-bit text in the table's code page, padded
//               with blanks. Empty: all blanks.
//   Numeric     letter 'N' (also 'F', read as Numeric and kept as 'F'), 1 to 20 bytes: the
//               number as ASCII text, right-aligned, padded with leading blanks, '.' as the
//               decimal point, '-' before the first digit, exactly `decimals` digits after the
//               point. Empty (null): all blanks.
//   Date        letter 'D', 8 bytes: "YYYYMMDD" in ASCII digits. Empty (null): 8 blanks.
//               (A 4-byte field in a record image is a native date, a 32-bit julian day: the
//               size tells the two forms apart, as the components do.)
//   Logical     letter 'L', 1 byte: 'T' or 'F' as written; 't', 'Y', 'y' also read as true,
//               'f', 'N', 'n' as false. Empty (null): ' ' or '?'.
//   Memo        letter 'M', 10 bytes: the memo's first block number in the memo file as ASCII
//               digits, right-aligned, padded with leading blanks. No memo: 10 blanks (also
//               read: 10 zero bytes, or the digits of block 0).
//   Binary      CDX tables only: letter 'G', a memo reference as for Memo; the .fpt block
//               holds it with block type 2 (object).
//   Image       CDX tables only: letter 'P', a memo reference as for Memo; the .fpt block
//               holds it with block type 0 (picture).
//
// FoxPro-compatible tables (type 4) hold, besides Character, Numeric, Date and Logical as above:
//   Memo        letter 'M', 4 bytes: the first block number in the .fpt file (u32le), 0 = none.
//   Binary      letter 'W' (blob) or 'G' (general, OLE object): a 4-byte memo reference.
//   Image       letter 'P' (picture): a 4-byte memo reference.
//   Integer     letter 'I', 4 bytes: i32le.
//   Double      letter 'B', 8 bytes: IEEE binary64, little-endian; decimals for display only.
//   Money       letter 'Y' (currency), 8 bytes: i64le of the value times 10,000.
//   TimeStamp   letter 'T' (datetime), 8 bytes: i32le julian day, i32le milliseconds of the
//               day. Empty: 8 zero bytes.
//   VarChar     letter 'V', 1 to 254 bytes: the value; when it is shorter than the field, the
//               field's last byte holds its length and the field's variable-length bit in the
//               null flags is set (dbf_null_flags.h). Padding: blanks.
//   VarBinary   letter 'Q', as VarChar, padded with zero bytes.
// Descriptor byte 18 holds the field's flags: 0x02 nullable, 0x04 binary (Character and Memo
// stored without code page translation). A table with nullable or variable-length fields has
// one more, hidden field "_NullFlags" (letter '0') after the others; see dbf_null_flags.h.
// Integer, Double, Money and TimeStamp have no blank form: they are never empty unless the
// field is nullable and its null bit is set (TimeStamp: also when its 8 bytes are zero).
//
// NTX tables keep memos in a dBase III .dbt file, whose memos end at a 0x1A 0x1A pair and so
// cannot hold arbitrary bytes: Binary and Image fields are refused there. The native types
// without a DBF form (ShortInt, Integer, Double, Money, TimeStamp, AutoInc, NChar, ...) are
// refused with a message that names the field.
//
// Pure functions, safe from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/table/field_type.h"
#include "engine/table/table_type.h"

namespace engine::table {

constexpr uint32_t kDbfDateSize = 8;
constexpr uint32_t kDbfMemoRefSize = 10;
constexpr uint32_t kVfpMemoRefSize = 4;
constexpr uint32_t kDbfMaxCharLength = 254;
constexpr uint32_t kDbfMaxNumericLength = 20;
constexpr uint32_t kDbfMaxFieldNameLength = 10;

// The type letter a field of `type` is stored under in a table of `tableType`; nullopt when
// such a table cannot hold the type.
std::optional<char> DbfLetterOf(FieldType type, TableType tableType);

// The engine field type of a stored type letter (either case); nullopt for letters this
// engine does not read in a table of `tableType`.
std::optional<FieldType> FieldTypeOfDbfLetter(char letter, TableType tableType);

// Bytes a field takes in a DBF record image (its descriptor's length byte): the declared
// length for Character, Numeric, VarChar and VarBinary, 8 for Date, 1 for Logical, 10 for
// memo references (4 in FoxPro-compatible tables), 4 for Integer, 8 for Double, Money and
// TimeStamp.
uint32_t DbfFieldSize(FieldType type, uint32_t length, TableType tableType = TableType::kCdx);

// The date text "YYYYMMDD" of a julian day; 8 blanks for 0 (no date).
std::string DbfDateText(int32_t julian);
// The julian day of an 8-byte date field; 0 when it is blank or not a valid date.
int32_t DbfDateJulian(const uint8_t* bytes);

// The block number of a 10-byte memo reference; 0 when there is none (blanks, zero bytes, or
// text that is not a number).
uint32_t DbfMemoBlock(const uint8_t* bytes);
// Writes the 10-byte reference to `block` (blanks for 0).
void WriteDbfMemoBlock(uint8_t* bytes, uint32_t block);

}  // namespace engine::table
