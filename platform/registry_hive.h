// RegistryHive: one registry hive held as a Windows registry export file ("Windows Registry Editor
// Version 5.00"). The file is a list of keys in brackets, each followed by its values:
//
//   [HKEY_CURRENT_USER\Software\Pellmar]
//   "DataFolder"="C:\\PellmarData\\"         string; \\ and \" escapes
//   "Path"=hex(2):25,00,41,00,00,00           expandable string, UTF-16LE bytes with terminator
//   "Count"=dword:0000002a                    DWORD, eight hex digits
//   "Blob"=hex:01,02,ff                       binary
//   "Other"=hex(7):41,00,00,00,00,00          any other type n, bytes kept as they are
//   @="default value"                         the key's default (unnamed) value
//
// Long hex lists continue on the next line after a trailing "\". Lines starting with ";" are
// comments (not kept). Keys and value names are matched without regard to the case of a..z.
// A key exists when it is listed or when a listed key lies below it.
//
// Files are read in UTF-16LE with byte-order mark (as regedit writes them) or UTF-8 (with or
// without mark). They are written back in the encoding and line ending they were read in; a new
// file is written in UTF-16LE with mark and CR LF, as regedit does. Writing goes through a
// FileSystem and is atomic, and keeps every key and value of the file, including keys under other
// roots than the hive's own.
//
// A malformed or truncated file gives kCorrupt with "<file>(<line>): <what is wrong>".
//
// Keys and value names are indexed (by their spelling with a..z folded), so that reading a hive
// of tens of thousands of keys, and looking a key or a value up in it, costs no more than a
// pass over the file and a hash lookup.
//
// Thread safety: a RegistryHive is a plain value object; external synchronization is required to
// share one between threads.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/file_system.h"
#include "platform/status.h"

namespace platform {

// Value types by the original platform's numbers.
inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegString = 1;        // REG_SZ
inline constexpr uint32_t kRegExpandString = 2;  // REG_EXPAND_SZ
inline constexpr uint32_t kRegBinary = 3;        // REG_BINARY
inline constexpr uint32_t kRegDword = 4;         // REG_DWORD
inline constexpr uint32_t kRegMultiString = 7;   // REG_MULTI_SZ
inline constexpr uint32_t kRegQword = 11;        // REG_QWORD

struct RegistryValue {
  uint32_t type = kRegString;
  std::string text;            // kRegString and kRegExpandString (UTF-8, no terminator)
  uint32_t dword = 0;          // kRegDword
  std::vector<uint8_t> bytes;  // every other type, as stored

  static RegistryValue String(std::string text);
  static RegistryValue ExpandString(std::string text);
  static RegistryValue Dword(uint32_t value);
  static RegistryValue Binary(std::vector<uint8_t> bytes, uint32_t type = kRegBinary);

  bool IsText() const { return type == kRegString || type == kRegExpandString; }

  friend bool operator==(const RegistryValue&, const RegistryValue&) = default;
};

enum class HiveEncoding { kUtf16LE, kUtf8 };

class RegistryHive {
 public:
  // An empty hive whose keys live under `root_name` ("HKEY_CURRENT_USER").
  explicit RegistryHive(std::string root_name);

  // Reads `file` through `fs`. A missing file gives an empty hive (OK) that remembers the file.
  // kCorrupt for malformed content.
  static Status Load(FileSystem& fs, const std::string& file, const std::string& root_name,
                     std::unique_ptr<RegistryHive>* out);

  // Parses export-file text already read (bytes as stored); `file` only names it in errors.
  Status Parse(const std::string& bytes, const std::string& file);

  // Writes the whole hive to `file` (empty: the file it was loaded from) atomically, creating
  // missing parent folders.
  Status Save(FileSystem& fs, const std::string& file = {}) const;

  // The export-file text (bytes in encoding()).
  std::string Serialize() const;

  const std::string& root_name() const { return root_name_; }
  const std::string& file() const { return file_; }
  HiveEncoding encoding() const { return encoding_; }
  void set_encoding(HiveEncoding e) { encoding_ = e; }

  // Key paths below are relative to the hive's root ("Software\Pellmar"); "" is the root itself.
  // Separators "\" (one or more); leading and trailing separators are ignored.
  bool KeyExists(const std::string& key) const;

  // Creates the key and its missing parents. OK when it exists.
  Status CreateKey(const std::string& key);

  // Removes the key, its values and every key below it. kNotFound when absent.
  Status DeleteKey(const std::string& key);

  // kNotFound when the key or the value is absent. "" names the default value.
  Status GetValue(const std::string& key, const std::string& name, RegistryValue* value) const;

  // Sets a value, creating the key when needed. An existing value keeps its position and the
  // spelling of its name.
  Status SetValue(const std::string& key, const std::string& name, const RegistryValue& value);

  // kNotFound when the key or the value is absent.
  Status DeleteValue(const std::string& key, const std::string& name);

  // Names of the key's values in file order; names of its direct subkeys (first spelling seen).
  std::vector<std::string> ValueNames(const std::string& key) const;
  std::vector<std::string> SubKeyNames(const std::string& key) const;

 private:
  struct Value {
    std::string name;
    RegistryValue value;
  };
  struct Key {
    std::string path;  // full path including the root name, as spelt in the file
    std::vector<Value> values;
    std::unordered_map<std::string, size_t> value_index;  // folded name -> position in values
  };

  std::string FullKey(const std::string& key) const;
  Key* FindKey(const std::string& full);
  const Key* FindKey(const std::string& full) const;
  // Appends a key that is not listed yet and indexes it.
  Key& AddKey(const std::string& full);
  // Whether a listed key lies strictly below `full`.
  bool HasKeyBelow(const std::string& full) const;
  // Reads a key line of an export file ("[key]" or "[-key]") into *current; the problem when the
  // line is malformed, else null.
  const char* EnterKeyLine(const std::string& line, Key** current);
  // Sets or adds a value of `key`; an existing value keeps its position and spelling.
  static void PutValue(Key& key, const std::string& name, const RegistryValue& value);
  // Rebuilds the indexes after keys or values were removed.
  void Reindex();
  static void ReindexValues(Key& key);

  std::string root_name_;
  std::string file_;
  HiveEncoding encoding_ = HiveEncoding::kUtf16LE;
  bool crlf_ = true;
  std::vector<Key> keys_;
  std::unordered_map<std::string, size_t> key_index_;  // folded path -> position in keys_
  std::unordered_set<std::string> ancestors_;          // folded paths of every key's ancestors
};

}  // namespace platform
