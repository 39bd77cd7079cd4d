// Field types of native tables: the engine's type codes, the type words of the field-definition
// string, and how many bytes each type takes in a record image.
//
// The codes are the ones the data-access components switch on (1 logical ... 28 national
// memo); a native table only ever stores the types a type word creates. Pure functions,
// safe from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace engine::table {

enum class FieldType : uint16_t {
  kLogical = 1,
  kNumeric = 2,     // number as right-aligned text
  kDate = 3,        // 32-bit julian day
  kString = 4,      // fixed-length 8-bit characters
  kMemo = 5,        // text blob
  kBinary = 6,      // binary blob
  kImage = 7,       // image blob
  kCompactDate = 9, // 3-byte year/month/day (never created in native tables)
  kDouble = 10,
  kInteger = 11,
  kShortInt = 12,
  kTime = 13,       // milliseconds of the day
  kTimeStamp = 14,  // julian day and milliseconds
  kAutoInc = 15,
  kRaw = 16,        // fixed-length bytes
  kCurDouble = 17,
  kMoney = 18,      // 64-bit integer, four implied decimals
  kCIString = 20,   // fixed-length, compared without regard to case
  kRowVersion = 21, // 64-bit counter the engine advances on every write
  kModTime = 22,    // timestamp the engine sets on every write
  kVarChar = 23,    // up to n characters, 16-bit length after the field
  kVarBinary = 24,  // up to n bytes, 16-bit length after the field
  kNChar = 26,      // fixed-length UTF-16
  kNVarChar = 27,   // up to n UTF-16 characters, 16-bit length after the field
  kNMemo = 28,      // UTF-16 text blob
};

// Size of a blob reference in a record image: first block (4 bytes, 0 = no blob) and byte length.
constexpr uint32_t kBlobRefSize = 8;

// How a type word takes its arguments.
enum class TypeArgs {
  kNone,            // "Integer;"
  kLength,          // "Char,30;"
  kOptionalLength,  // "Double;" or "Double,6;" (display decimals)
  kLengthDecimals,  // "Num,12,2;"
};

struct TypeWord {
  std::string_view word;
  FieldType type;
  TypeArgs args;
};

// The type word for `word` (compared without regard to the case of a-z), if any.
std::optional<TypeWord> FindTypeWord(std::string_view word);

// The canonical type word of a type (for descriptions and tools).
std::string_view TypeWordOf(FieldType type);

// True for a code a native table can hold.
bool IsNativeFieldType(uint16_t code);

// Blob types: the record holds a reference into the memo file.
bool IsBlobType(FieldType type);

// Variable-length inline types: a 16-bit used length follows the field's bytes.
bool IsVarLengthType(FieldType type);

// National (UTF-16) types: the declared length counts characters.
bool IsNationalType(FieldType type);

// Character types that hold 8-bit text inline.
bool IsCharType(FieldType type);

}  // namespace engine::table
