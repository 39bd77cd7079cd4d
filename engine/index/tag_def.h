// Definitions of index tags and their serialised form, the catalog of an index file.
//
// The catalog lists every tag of the file in order: its definition as the caller gave it (name,
// key expression and condition texts, option bits, collation name, key type), the key layout it
// was built with, the version of the collation rules, and the root page and height of its tree.
// Serialised little-endian:
//   u16 tag count, then per tag:
//   u32 root page (0 = empty tree)  u8 height (0 = empty, 1 = root is a leaf)
//   u32 options  u8 key type  u32 collation version
//   name, expression, condition, collation: each u16 length + bytes
//   u16 segment count, then per segment: u8 kind, u16 width, u16 offset, u16 length
//
// TagDef and TagInfo are plain values; they carry no synchronisation.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/index/key_layout.h"

namespace engine::index {

// Option bits of a tag, the values the engine's index calls use.
constexpr uint32_t kTagUnique = 1;        // only the first record with a key value is in the tag
constexpr uint32_t kTagCompound = 2;
constexpr uint32_t kTagCustom = 4;        // keys are added and removed explicitly
constexpr uint32_t kTagDescending = 8;
constexpr uint32_t kTagCandidate = 2048;  // a second record with a key value is refused

// Key types as the engine reports them.
constexpr uint8_t kKeyTypeLogical = 1;
constexpr uint8_t kKeyTypeNumeric = 2;
constexpr uint8_t kKeyTypeDate = 3;
constexpr uint8_t kKeyTypeString = 4;
constexpr uint8_t kKeyTypeRaw = 16;

// What the caller defines for a tag.
struct TagDef {
  std::string name;        // at most 128 bytes; unique within a file (letters a-z ignore case)
  std::string expression;  // key expression text, at most 510 bytes
  std::string condition;   // condition (FOR) text, empty when every record is in the tag
  uint32_t options = 0;    // kTag... bits
  std::string collation;   // name of the collation of text segments ("ANSI", "OEM", named)
  uint8_t keyType = kKeyTypeString;
  std::vector<SegmentSpec> segments;
};

// A tag as an index file holds it.
struct TagInfo {
  TagDef def;
  KeyLayout layout;
  uint32_t collationVersion = 0;  // Collation::version() when the tag was built
  uint32_t root = 0;
  uint8_t height = 0;
  // False for a tag of a file another program wrote, whose key the file does not describe
  // beyond its length: it is read as one text segment until AdoptSegments describes it.
  bool described = true;
};

// Checks a set of definitions (names present, short enough, unique; texts short enough;
// candidate and unique not both) and lays out their keys in the given form for the page size.
// Throws EngineError (kInvalidTagDefinition, kUnknownCollation, kIndexKeyTooLong,
// kInvalidIndexPageSize).
std::vector<TagInfo> PrepareTags(const std::vector<TagDef>& defs, uint32_t pageSize, KeyForm form = KeyForm::kNative);

// Compares tag names the way the engine does: letters a to z ignore case, nothing else does.
bool SameTagName(const std::string& a, const std::string& b);

std::vector<uint8_t> SerializeCatalog(const std::vector<TagInfo>& tags);

// Parses a catalog; throws EngineError kIndexFileCorrupt on any inconsistency, and
// kUnknownCollation when a tag names a collation this engine does not know.
std::vector<TagInfo> ParseCatalog(const uint8_t* data, size_t len, uint32_t pageSize);

}  // namespace engine::index
