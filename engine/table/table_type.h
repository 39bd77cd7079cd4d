// The engine's table types: which record, memo and index file formats a table has. The codes
// are the engine's own (ADS_NTX 1, ADS_CDX 2, ADS_ADT 3, ADS_VFP 4); 0 is not a type but, where
// an entry point takes one, "let the data dictionary decide". Pure values, safe from any thread.
//
//   kNtx  DBF record file (.dbf, version byte 0x03, 0x83 with memos), dBase III memo file
//         (.dbt), one order per .ntx index file
//   kCdx  DBF record file (.dbf, version byte 0x03, 0xF5 with memos), FoxPro memo file
//         (.fpt), compound .cdx index files (the structural one opened with the table)
//   kAdt  the engine's native table file (.adt), memo file (.adm), compound .adi index files
//   kVfp  the FoxPro-compatible DBF record file (version 0x30 or 0x32, binary fields, NULL
//         flags, .fpt memos), compound .cdx index files
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace engine::table {

enum class TableType : uint16_t {
  kNtx = 1,
  kCdx = 2,
  kAdt = 3,
  kVfp = 4,
};

// The type of an engine table-type code; nullopt for 0 and for codes that name no type.
inline std::optional<TableType> TableTypeOf(uint16_t code) {
  if (code >= 1 && code <= 4) return static_cast<TableType>(code);
  return std::nullopt;
}

inline uint16_t TableTypeCode(TableType type) { return static_cast<uint16_t>(type); }

// DBF record files (everything but the native type).
inline bool IsDbfTableType(TableType type) { return type != TableType::kAdt; }

// The extension of a table's record file: ".adt" for native tables, ".dbf" for the others.
inline std::string_view TableFileExtension(TableType type) { return type == TableType::kAdt ? ".adt" : ".dbf"; }

// The name the tools and messages use for a type: "ntx", "cdx", "adt", "vfp".
inline std::string_view TableTypeName(TableType type) {
  switch (type) {
    case TableType::kNtx: return "ntx";
    case TableType::kCdx: return "cdx";
    case TableType::kAdt: return "adt";
    case TableType::kVfp: return "vfp";
  }
  return "adt";
}

}  // namespace engine::table
