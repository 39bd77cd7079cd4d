#include "engine/table/dbf_field.h"

#include <cstdio>
#include <cstring>

#include "engine/table/julian.h"

namespace engine::table {

std::optional<char> DbfLetterOf(FieldType type, TableType tableType) {
  const bool vfp = tableType == TableType::kVfp;
  switch (type) {
    case FieldType::kString: return 'C';
    case FieldType::kNumeric: return 'N';
    case FieldType::kDate: return 'D';
    case FieldType::kLogical: return 'L';
    case FieldType::kMemo: return 'M';
    case FieldType::kImage:
      if (tableType == TableType::kNtx) return std::nullopt;
      return 'P';
    case FieldType::kBinary:
      if (tableType == TableType::kNtx) return std::nullopt;
      return vfp ? 'W' : 'G';
    default:
      break;
  }
  if (!vfp) return std::nullopt;
  switch (type) {
    case FieldType::kInteger: return 'I';
    case FieldType::kDouble: return 'B';
    case FieldType::kMoney: return 'Y';
    case FieldType::kTimeStamp: return 'T';
    case FieldType::kVarChar: return 'V';
    case FieldType::kVarBinary: return 'Q';
    default: return std::nullopt;
  }
}

std::optional<FieldType> FieldTypeOfDbfLetter(char letter, TableType tableType) {
  if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
  if (tableType == TableType::kVfp) {
    switch (letter) {
      case 'G': case 'W': return FieldType::kBinary;
      case 'P': return FieldType::kImage;
      case 'I': return FieldType::kInteger;
      case 'B': return FieldType::kDouble;
      case 'Y': return FieldType::kMoney;
      case 'T': return FieldType::kTimeStamp;
      case 'V': return FieldType::kVarChar;
      case 'Q': return FieldType::kVarBinary;
      default: break;
    }
  }
  switch (letter) {
    case 'C': return FieldType::kString;
    case 'N':
    case 'F': return FieldType::kNumeric;
    case 'D': return FieldType::kDate;
    case 'L': return FieldType::kLogical;
    case 'M': return FieldType::kMemo;
    case 'G':
      if (tableType == TableType::kCdx) return FieldType::kBinary;
      return std::nullopt;
    case 'P':
      if (tableType == TableType::kCdx) return FieldType::kImage;
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

uint32_t DbfFieldSize(FieldType type, uint32_t length, TableType tableType) {
  const bool vfp = tableType == TableType::kVfp;
  switch (type) {
    case FieldType::kString:
    case FieldType::kNumeric:
    case FieldType::kVarChar:
    case FieldType::kVarBinary:
      return length;
    case FieldType::kDate:
      return kDbfDateSize;
    case FieldType::kLogical:
      return 1;
    case FieldType::kMemo:
    case FieldType::kBinary:
    case FieldType::kImage:
      return vfp ? kVfpMemoRefSize : kDbfMemoRefSize;
    case FieldType::kInteger:
      return 4;
    case FieldType::kDouble:
    case FieldType::kMoney:
    case FieldType::kTimeStamp:
      return 8;
    default:
      return 0;
  }
}

std::string DbfDateText(int32_t julian) {
  if (julian <= 0) return std::string(kDbfDateSize, ' ');
  CivilDate c = JulianToCivil(julian);
  if (c.year < 1 || c.year > 9999) return std::string(kDbfDateSize, ' ');
  char text[16];
  std::snprintf(text, sizeof text, "%04d%02d%02d", c.year, c.month, c.day);
  return std::string(text, kDbfDateSize);
}

int32_t DbfDateJulian(const uint8_t* bytes) {
  int parts[3] = {0, 0, 0};
  const int widths[3] = {4, 2, 2};
  const uint8_t* p = bytes;
  for (int k = 0; k < 3; ++k) {
    for (int d = 0; d < widths[k]; ++d, ++p) {
      if (*p < '0' || *p > '9') return 0;
      parts[k] = parts[k] * 10 + (*p - '0');
    }
  }
  CivilDate c{parts[0], parts[1], parts[2]};
  if (c.year < 1 || !IsValidCivil(c)) return 0;
  return CivilToJulian(c);
}

uint32_t DbfMemoBlock(const uint8_t* bytes) {
  // Right-aligned digits as written; blanks after them (left-aligned writers) are read too.
  uint64_t block = 0;
  bool digits = false;
  bool ended = false;
  for (uint32_t k = 0; k < kDbfMemoRefSize; ++k) {
    uint8_t c = bytes[k];
    if (c >= '0' && c <= '9' && !ended) {
      block = block * 10 + (c - '0');
      digits = true;
      if (block > 0xFFFFFFFFu) return 0;
    } else if (c == ' ' || c == 0) {
      ended = digits;
    } else {
      return 0;  // not a memo reference
    }
  }
  return static_cast<uint32_t>(block);
}

void WriteDbfMemoBlock(uint8_t* bytes, uint32_t block) {
  if (block == 0) {
    std::memset(bytes, ' ', kDbfMemoRefSize);
    return;
  }
  char text[16];
  std::snprintf(text, sizeof text, "%10u", block);
  std::memcpy(bytes, text, kDbfMemoRefSize);
}

}  // namespace engine::table
