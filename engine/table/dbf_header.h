// The DBF table file (.dbf) of NTX, CDX and FoxPro-compatible tables, and its RecordFormat;
// docs/formats.md ("DBF table file") describes it byte by byte.
//
//   [0, 32)    version byte (0x03 without memos; 0x83 NTX and 0xF5 CDX with memos; FoxPro
//              tables 0x30, 0x32 with VarChar, VarBinary or blob fields), date of
//              last update (years since 1900, month, day), record count (u32le), header
//              length (u16le), record length (u16le), bytes 12-27 reserved, table flags (28),
//              code page mark (29). Bytes 24-27 hold this engine's change counter (u32le),
//              which other programs leave alone or clear; either way a change is noticed.
//   [32, ...)  one 32-byte descriptor per field: name (11 bytes, NUL-padded), type letter,
//              displacement in the record (u32le), length, decimals, FoxPro field flags;
//              FoxPro tables: the hidden "_NullFlags" field last (dbf_null_flags.h); then
//              0x0D; FoxPro tables: then the 263-byte backlink.
//   [header length, ...)  the records, `record length` bytes each, then one 0x1A byte.
//
// The record count in the header is the authority, as in native tables: records past it are
// never read, and the next append overwrites them. The header is rewritten in one write of
// its first 32 bytes. Change detection between opens: an open of this engine bumps the change
// counter with every change it publishes; a program that is not ours changes the record count
// or the date of an append, and rewrites records in place, which every read sees since records
// are read from the file.
//
// The DBF header has no room for index tag definitions, so the engine keeps them in a small
// file beside the table (table_files::TagsPath: the table's name with ".qdx"), written whole
// beside the old one and renamed over it. Other programs ignore it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/table/record_format.h"

namespace engine::table {

constexpr uint32_t kDbfHeaderSize = 32;
constexpr uint32_t kDbfDescriptorSize = 32;
constexpr uint8_t kDbfEndOfDescriptors = 0x0D;
constexpr uint8_t kDbfEndOfFile = 0x1A;
// Header bytes 24-27: the change counter this engine keeps.
constexpr uint32_t kDbfChangeCounterOffset = 24;
// FoxPro-compatible tables: the backlink to a database container after the descriptors'
// terminator (zero bytes in a free table).
constexpr uint32_t kVfpBacklinkSize = 263;

// The header of a DBF table file of `type`: its 32-byte block, descriptors and terminator, of
// header.headerLength bytes. `today` is the julian day written as the date of last update.
std::vector<uint8_t> EncodeDbfHeader(const TableHeader& header, TableType type, int32_t today);

// Decodes the header of a DBF file (`bytes` holds `size` bytes from its start, at least the
// whole header); throws kNotATableFile, kTableVersion (a DBF variant this engine does not
// read, such as a field type letter it does not know) or kTableHeaderDamaged naming the fault.
void DecodeDbfHeader(const uint8_t* bytes, size_t size, TableType type, const std::string& fileName,
                     TableHeader* out);

// The tag definitions kept beside a DBF table (empty when there is no such file); throws
// kTableHeaderDamaged when the file is damaged.
std::vector<TagDefinition> LoadDbfTags(const std::string& tablePath);
// Writes them beside the table (whole, renamed over the old file; removes it when empty).
void StoreDbfTags(const std::string& tablePath, const std::vector<TagDefinition>& tags, bool durable);

class DbfFormat : public RecordFormat {
 public:
  explicit DbfFormat(TableType type) : type_(type) {}
  TableType type() const override { return type_; }
  bool ReadHeader(storage::File& file, const std::string& path, TableHeader* out) const override;
  void LayOut(TableHeader* header) const override;
  void WriteHeader(storage::File& file, const TableHeader& header) const override;
  void WriteCounters(storage::File& file, const TableHeader& header, const TableCounters& counters,
                     uint32_t recordsInFile) const override;
  bool ReadCounters(storage::File& file, const TableHeader& header, TableCounters* out) const override;
  uint32_t trailerSize() const override { return 1; }
  void WriteTrailer(storage::File& file, const TableHeader& header, uint32_t recordsInFile) const override;
  std::string MemoPath(const std::string& tablePath) const override;
  std::unique_ptr<MemoStore> CreateMemo(const std::string& path, uint16_t blockSize) const override;
  std::unique_ptr<MemoStore> OpenMemo(const std::string& path, bool writable) const override;
  bool tagsInHeader() const override { return false; }

 private:
  TableType type_;
};

}  // namespace engine::table
