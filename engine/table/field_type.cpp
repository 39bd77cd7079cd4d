#include "engine/table/field_type.h"

#include <array>

#include "engine/core/ascii_case.h"


namespace engine::table {

namespace {

// Canonical words first: TypeWordOf answers the first entry of a type.
constexpr std::array<TypeWord, 38> kTypeWords = {{
    {"Logical", FieldType::kLogical, TypeArgs::kNone},
    {"Num", FieldType::kNumeric, TypeArgs::kLengthDecimals},
    {"Numeric", FieldType::kNumeric, TypeArgs::kLengthDecimals},
    {"Date", FieldType::kDate, TypeArgs::kNone},
    {"Char", FieldType::kString, TypeArgs::kLength},
    {"Character", FieldType::kString, TypeArgs::kLength},
    {"Memo", FieldType::kMemo, TypeArgs::kNone},
    {"Binary", FieldType::kBinary, TypeArgs::kNone},
    {"Blob", FieldType::kBinary, TypeArgs::kNone},
    {"Image", FieldType::kImage, TypeArgs::kNone},
    {"Double", FieldType::kDouble, TypeArgs::kOptionalLength},
    {"Integer", FieldType::kInteger, TypeArgs::kNone},
    {"Long", FieldType::kInteger, TypeArgs::kNone},
    {"ShortInt", FieldType::kShortInt, TypeArgs::kNone},
    {"ShortInteger", FieldType::kShortInt, TypeArgs::kNone},
    {"Short", FieldType::kShortInt, TypeArgs::kNone},
    {"Time", FieldType::kTime, TypeArgs::kNone},
    {"TimeStamp", FieldType::kTimeStamp, TypeArgs::kNone},
    {"AutoInc", FieldType::kAutoInc, TypeArgs::kNone},
    {"AutoIncrement", FieldType::kAutoInc, TypeArgs::kNone},
    {"Raw", FieldType::kRaw, TypeArgs::kLength},
    {"CurDouble", FieldType::kCurDouble, TypeArgs::kOptionalLength},
    {"Money", FieldType::kMoney, TypeArgs::kNone},
    {"CIChar", FieldType::kCIString, TypeArgs::kLength},
    {"CICharacter", FieldType::kCIString, TypeArgs::kLength},
    {"RowVersion", FieldType::kRowVersion, TypeArgs::kNone},
    {"ModTime", FieldType::kModTime, TypeArgs::kNone},
    {"VarChar", FieldType::kVarChar, TypeArgs::kLength},
    {"VarBinary", FieldType::kVarBinary, TypeArgs::kLength},
    {"NChar", FieldType::kNChar, TypeArgs::kLength},
    {"NVarChar", FieldType::kNVarChar, TypeArgs::kLength},
    {"NMemo", FieldType::kNMemo, TypeArgs::kNone},
    {"CompactDate", FieldType::kCompactDate, TypeArgs::kNone},
    // The names FoxPro gives its types.
    {"Currency", FieldType::kMoney, TypeArgs::kNone},
    {"DateTime", FieldType::kTimeStamp, TypeArgs::kNone},
    {"General", FieldType::kBinary, TypeArgs::kNone},
    {"Picture", FieldType::kImage, TypeArgs::kNone},
    {"Boolean", FieldType::kLogical, TypeArgs::kNone},
}};

}  // namespace

std::optional<TypeWord> FindTypeWord(std::string_view word) {
  for (const TypeWord& entry : kTypeWords) {
    // A compact date is read from other formats, never created in a native table.
    if (entry.type == FieldType::kCompactDate) continue;
    if (AsciiEqualsIgnoreCase(entry.word, word)) return entry;
  }
  return std::nullopt;
}

std::string_view TypeWordOf(FieldType type) {
  for (const TypeWord& entry : kTypeWords) {
    if (entry.type == type) return entry.word;
  }
  return "?";
}

bool IsNativeFieldType(uint16_t code) {
  switch (static_cast<FieldType>(code)) {
    case FieldType::kLogical:
    case FieldType::kNumeric:
    case FieldType::kDate:
    case FieldType::kString:
    case FieldType::kMemo:
    case FieldType::kBinary:
    case FieldType::kImage:
    case FieldType::kDouble:
    case FieldType::kInteger:
    case FieldType::kShortInt:
    case FieldType::kTime:
    case FieldType::kTimeStamp:
    case FieldType::kAutoInc:
    case FieldType::kRaw:
    case FieldType::kCurDouble:
    case FieldType::kMoney:
    case FieldType::kCIString:
    case FieldType::kRowVersion:
    case FieldType::kModTime:
    case FieldType::kVarChar:
    case FieldType::kVarBinary:
    case FieldType::kNChar:
    case FieldType::kNVarChar:
    case FieldType::kNMemo:
      return true;
    default:
      return false;
  }
}

bool IsBlobType(FieldType type) {
  return type == FieldType::kMemo || type == FieldType::kBinary || type == FieldType::kImage ||
         type == FieldType::kNMemo;
}

bool IsVarLengthType(FieldType type) {
  return type == FieldType::kVarChar || type == FieldType::kVarBinary || type == FieldType::kNVarChar;
}

bool IsNationalType(FieldType type) { return type == FieldType::kNChar || type == FieldType::kNVarChar; }

bool IsCharType(FieldType type) {
  return type == FieldType::kString || type == FieldType::kCIString || type == FieldType::kVarChar;
}

}  // namespace engine::table
