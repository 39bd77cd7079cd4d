// Collations of character keys.
//
// A collation decides the order of character keys. "ANSI" and "OEM" (and the MACHINE_..._BIN
// collations) order by byte value. Every other name of the engine's character-type list is a
// named collation: its text is decoded from the collation's single-byte code page and ordered
// by an ICU collator for the collation's language, case-insensitive for the ..._CI_... names
// (secondary strength) and case-sensitive for the ..._CS_... names (tertiary strength).
//
// Collation objects are immutable after construction and are shared: Find() hands out the same
// object for a name on every call. All members are safe to call from any thread at once.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

struct UCollator;

namespace engine::index {

class Collation {
 public:
  // Returns the collation of that name (exact, upper-case names as the character-type list gives
  // them; lower-case letters are accepted too). An empty name means "ANSI". Throws EngineError
  // kUnknownCollation for any other name. The returned object lives until the process ends.
  static const Collation& Find(std::string_view name);

  ~Collation();
  Collation(const Collation&) = delete;
  Collation& operator=(const Collation&) = delete;

  // The canonical name, as recorded in index files.
  const std::string& name() const { return name_; }

  // True when keys order by byte value (no ICU collator involved).
  bool IsByteOrder() const { return collator_ == nullptr; }

  // Identifies the collation rules a sort key was made with: the ICU collator version for named
  // collations, zero for byte order. Index files record it so that keys built by another ICU
  // release are detected when the file is opened.
  uint32_t version() const { return version_; }

  // The single-byte code page (for example 1252) character data of this collation is stored in.
  int codePage() const { return codePage_; }

  // Writes the ICU sort key of the given 8-bit text (in this collation's code page) into out,
  // cut or zero-padded to exactly outLen bytes. REQUIRES: !IsByteOrder().
  void SortKey(const uint8_t* text, size_t len, uint8_t* out, size_t outLen) const;

  // As SortKey, for UTF-16 text.
  void SortKeyWide(const char16_t* text, size_t len, uint8_t* out, size_t outLen) const;

  // Writes the primary-strength part of the sort key of the text (the bytes before the first
  // level separator) into out, at most outLen bytes; returns the number of bytes written. Keys of
  // texts that begin with this text start with these bytes, so they serve as partial keys.
  size_t PrimaryPrefix(const uint8_t* text, size_t len, uint8_t* out, size_t outLen) const;
  size_t PrimaryPrefixWide(const char16_t* text, size_t len, uint8_t* out, size_t outLen) const;

 private:
  Collation(std::string name, int codePage, const char* locale, int strength);
  Collation(std::string name, int codePage);  // byte order

  void Decode(const uint8_t* text, size_t len, char16_t* out) const;

  std::string name_;
  int codePage_ = 1252;
  UCollator* collator_ = nullptr;  // owned; used only through const ICU calls
  uint32_t version_ = 0;
  std::array<char16_t, 256> toUnicode_{};

  friend class CollationTable;
};

}  // namespace engine::index
