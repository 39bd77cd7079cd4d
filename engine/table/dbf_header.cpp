#include "engine/table/dbf_header.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "engine/core/ascii_case.h"
#include "engine/core/byte_order.h"
#include "engine/core/checksum.h"
#include "engine/core/error.h"
#include "engine/table/dbf_field.h"
#include "engine/table/dbf_memo.h"
#include "engine/table/dbf_null_flags.h"
#include "engine/table/julian.h"
#include "engine/table/table_files.h"

namespace engine::table {

namespace {

// Code page marks (header byte 29): 0x03 Windows ANSI 1252, 0x01 MS-DOS 437, 0x02 MS-DOS 850,
// 0x64 852, 0x65 866, 0x66 865, 0x67 861, 0x6A 737, 0x6B 857. A table of an OEM (MS-DOS) page
// is an OEM table; every other mark, and none, an ANSI table.
constexpr uint8_t kMarkAnsi = 0x03;
// Table flags (header byte 28) of FoxPro-compatible tables: 0x02 the table has a memo file.
constexpr uint8_t kVfpTableHasMemo = 0x02;
constexpr uint8_t kMarkOem = 0x01;

bool IsOemMark(uint8_t mark) {
  switch (mark) {
    case 0x01: case 0x02: case 0x64: case 0x65: case 0x66: case 0x67: case 0x6A: case 0x6B:
      return true;
    default:
      return false;
  }
}

[[noreturn]] void Damaged(const std::string& file, const std::string& what) {
  Fail(err::kTableHeaderDamaged, "The header of \"" + file + "\" is damaged: " + what + ".");
}

uint8_t VersionByte(const TableHeader& h, TableType type) {
  if (type == TableType::kVfp) {
    // 0x32 announces the VarChar, VarBinary and blob fields of later FoxPro versions.
    for (const FieldDescriptor& d : h.schema.fields()) {
      if (d.dbfLetter == 'V' || d.dbfLetter == 'Q' || d.dbfLetter == 'W') return 0x32;
    }
    return 0x30;
  }
  if (!h.schema.HasBlobs()) return 0x03;
  return type == TableType::kNtx ? 0x83 : 0xF5;
}

void PutDate(uint8_t* p, int32_t julian) {
  CivilDate c = JulianToCivil(julian);
  p[0] = static_cast<uint8_t>(std::clamp(c.year - 1900, 0, 255));
  p[1] = static_cast<uint8_t>(c.month);
  p[2] = static_cast<uint8_t>(c.day);
}

int32_t Today() {
  int32_t julian = 0, ms = 0;
  NowLocal(&julian, &ms);
  return julian;
}

void EncodeFirstBlock(uint8_t* b, const TableHeader& h, TableType type, const TableCounters& c, int32_t today) {
  std::memset(b, 0, kDbfHeaderSize);
  b[0] = VersionByte(h, type);
  PutDate(b + 1, today);
  StoreLE<uint32_t>(b + 4, c.recordCount);
  StoreLE<uint16_t>(b + 8, static_cast<uint16_t>(h.headerLength));
  StoreLE<uint16_t>(b + 10, static_cast<uint16_t>(h.schema.recordLength()));
  StoreLE<uint32_t>(b + kDbfChangeCounterOffset, static_cast<uint32_t>(c.changeCounter));
  b[28] = h.dbfTableFlags;
  // FoxPro readers find a table's memo file through this flag.
  if (type == TableType::kVfp && h.schema.HasBlobs()) b[28] |= kVfpTableHasMemo;
  b[29] = h.properties.charType == 2 ? kMarkOem : kMarkAnsi;
}

// ---- the tag definitions beside the table ----
// "QNLRQDX\x1A", u16 version 1, u16 count, per tag: name, expression, condition, collation,
// file (each u16 length + bytes), u32 flags, u16 page size; then the CRC-32 of everything before.
constexpr char kTagsMagic[8] = {'Q', 'N', 'L', 'R', 'Q', 'D', 'X', 0x1A};

void PutText(std::string& out, const std::string& s) {
  uint8_t n[2];
  StoreLE<uint16_t>(n, static_cast<uint16_t>(s.size()));
  out.append(reinterpret_cast<char*>(n), 2);
  out.append(s);
}

}  // namespace

std::vector<uint8_t> EncodeDbfHeader(const TableHeader& h, TableType type, int32_t today) {
  std::vector<uint8_t> out(h.headerLength, 0);
  EncodeFirstBlock(out.data(), h, type, h.counters, today);
  uint32_t at = kDbfHeaderSize;
  for (const FieldDescriptor& d : h.schema.fields()) {
    uint8_t* p = out.data() + at;
    std::memcpy(p, d.name.data(), std::min<size_t>(d.name.size(), kDbfMaxFieldNameLength));
    p[11] = static_cast<uint8_t>(d.dbfLetter);
    StoreLE<uint32_t>(p + 12, d.offset);
    p[16] = static_cast<uint8_t>(d.size & 0xFF);
    const bool decimals = d.type == FieldType::kNumeric || d.type == FieldType::kDouble || d.type == FieldType::kMoney;
    p[17] = static_cast<uint8_t>(decimals ? d.decimals : 0);
    if (type == TableType::kVfp) {
      p[18] = d.dbfFlags;
      StoreLE<uint32_t>(p + 19, d.autoincNext);
      p[23] = d.autoincStep;
    }
    at += kDbfDescriptorSize;
  }
  if (type == TableType::kVfp && h.schema.nullFlagsSize() > 0) {
    uint8_t* p = out.data() + at;
    std::memcpy(p, kVfpNullFlagsName, sizeof kVfpNullFlagsName - 1);
    p[11] = static_cast<uint8_t>(kVfpNullFlagsLetter);
    StoreLE<uint32_t>(p + 12, h.schema.nullFlagsOffset());
    p[16] = static_cast<uint8_t>(h.schema.nullFlagsSize());
    p[18] = kVfpFieldSystem;
    at += kDbfDescriptorSize;
  }
  out[at] = kDbfEndOfDescriptors;
  // FoxPro tables: the 263-byte backlink to a database container stays zero (a free table).
  return out;
}

void DecodeDbfHeader(const uint8_t* b, size_t size, TableType type, const std::string& file, TableHeader* out) {
  if (size < kDbfHeaderSize) Fail(err::kNotATableFile, "The file \"" + file + "\" is not a DBF table: it is too short.");
  const uint8_t version = b[0];
  const bool vfp = type == TableType::kVfp;
  switch (version) {
    case 0x03: case 0x83: case 0xF5:
      if (vfp) {
        Fail(err::kTableVersion, "\"" + file + "\" is not a Visual FoxPro table: open it as table type " +
                                     std::string(version == 0x83 ? "1" : version == 0xF5 ? "2" : "1 or 2") + ".");
      }
      break;
    case 0x30: case 0x31: case 0x32:
      if (!vfp) Fail(err::kTableVersion, "\"" + file + "\" is a Visual FoxPro table, which opens as table type 4.");
      break;
    case 0x8B: case 0xCB: case 0x04: case 0x05: case 0x43: case 0x63: case 0x7B: case 0xFB: case 0x02:
      Fail(err::kTableVersion, "\"" + file + "\" is a DBF table of a kind this engine does not read (version byte 0x" +
                                   [&] { char t[4]; std::snprintf(t, sizeof t, "%02X", version); return std::string(t); }() + ").");
    default:
      Fail(err::kNotATableFile, "The file \"" + file + "\" is not a DBF table.");
  }
  if (version == 0x83 && type != TableType::kNtx) {
    Fail(err::kTableVersion, "\"" + file + "\" keeps its memos in a .dbt file: open it as an NTX table (type 1).");
  }
  if (version == 0xF5 && type != TableType::kCdx) {
    Fail(err::kTableVersion, "\"" + file + "\" keeps its memos in an .fpt file: open it as a CDX table (type 2).");
  }
  TableHeader h;
  h.headerLength = LoadLE<uint16_t>(b + 8);
  const uint32_t recordLength = LoadLE<uint16_t>(b + 10);
  if (h.headerLength < kDbfHeaderSize + kDbfDescriptorSize + 1) Damaged(file, "its header length is too small");
  if (size < h.headerLength) Damaged(file, "it ends inside its header");
  if (recordLength < 2) Damaged(file, "its record length is too small");
  std::vector<FieldDescriptor> fields;
  uint32_t at = kDbfHeaderSize;
  uint32_t offset = 1;
  uint32_t nullFlagsSize = 0;
  bool nullFlagsSeen = false;
  for (;; at += kDbfDescriptorSize) {
    if (at >= h.headerLength) Damaged(file, "its field descriptors have no end mark");
    if (b[at] == kDbfEndOfDescriptors) break;
    if (at + kDbfDescriptorSize > h.headerLength) Damaged(file, "its field descriptors have no end mark");
    const uint8_t* p = b + at;
    FieldDescriptor d;
    size_t nameLength = 0;
    while (nameLength < 11 && p[nameLength] != 0) ++nameLength;
    d.name.assign(reinterpret_cast<const char*>(p), nameLength);
    while (!d.name.empty() && d.name.back() == ' ') d.name.pop_back();
    if (d.name.empty()) Damaged(file, "field " + std::to_string(fields.size() + 1) + " has no name");
    const char letter = static_cast<char>(p[11]);
    if (nullFlagsSeen) {
      Fail(err::kTableVersion, "\"" + file + "\" has fields after its null-flags field, which this engine does not read.");
    }
    if (vfp && letter == kVfpNullFlagsLetter && AsciiEqualsIgnoreCase(d.name, kVfpNullFlagsName)) {
      // The hidden null-flags field: part of the record, not one of the table's fields.
      nullFlagsSize = p[16];
      if (nullFlagsSize == 0) Damaged(file, "its null-flags field has length 0");
      nullFlagsSeen = true;
      offset += nullFlagsSize;
      continue;
    }
    std::optional<FieldType> ft = FieldTypeOfDbfLetter(letter, type);
    if (!ft) {
      Fail(err::kTableVersion, "Field \"" + d.name + "\" of \"" + file + "\" has the type letter '" +
                                   std::string(1, letter >= 0x20 && letter < 0x7F ? letter : '?') +
                                   "', which " + std::string(type == TableType::kNtx ? "an NTX" : vfp ? "a FoxPro" : "a CDX") +
                                   " table cannot hold.");
    }
    d.type = *ft;
    d.dbfLetter = static_cast<char>(letter >= 'a' && letter <= 'z' ? letter - 'a' + 'A' : letter);
    if (vfp) {
      d.dbfFlags = p[18] & static_cast<uint8_t>(~kVfpFieldSystem);
      if ((d.dbfFlags & kVfpFieldAutoinc) == kVfpFieldAutoinc) {
        d.autoincNext = LoadLE<uint32_t>(p + 19);
        d.autoincStep = p[23];
      }
    }
    uint32_t length = p[16];
    const uint32_t vfpSize = vfp ? DbfFieldSize(d.type, length, type) : 0;
    switch (d.type) {
      case FieldType::kString:
        // Clipper keeps the high byte of longer character fields in the decimals byte.
        if (type == TableType::kNtx) length += uint32_t{p[17]} << 8;
        if (length == 0) Damaged(file, "field \"" + d.name + "\" has length 0");
        break;
      case FieldType::kNumeric:
        if (length == 0 || length > 32) Damaged(file, "field \"" + d.name + "\" has an impossible length");
        d.decimals = p[17];
        if (d.decimals > 0 && d.decimals + 2u > length) Damaged(file, "field \"" + d.name + "\" has more decimals than digits");
        break;
      case FieldType::kDate:
        if (length != kDbfDateSize) {
          Fail(err::kTableVersion, "Date field \"" + d.name + "\" of \"" + file + "\" is " + std::to_string(length) +
                                       " bytes long; this engine reads 8-byte dates.");
        }
        break;
      case FieldType::kLogical:
        if (length != 1) Damaged(file, "logical field \"" + d.name + "\" is not 1 byte long");
        break;
      case FieldType::kVarChar:
      case FieldType::kVarBinary:
        if (length == 0) Damaged(file, "field \"" + d.name + "\" has length 0");
        break;
      case FieldType::kInteger:
      case FieldType::kDouble:
      case FieldType::kMoney:
      case FieldType::kTimeStamp:
        if (length != vfpSize) {
          Damaged(file, "field \"" + d.name + "\" is " + std::to_string(length) + " bytes long instead of " + std::to_string(vfpSize));
        }
        // Currency always has four implied decimals, whatever its descriptor says.
        if (d.type == FieldType::kDouble) d.decimals = std::min<uint8_t>(p[17], 15);
        if (d.type == FieldType::kMoney) d.decimals = 4;
        break;
      default:
        if (vfp) {
          if (length != kVfpMemoRefSize) {
            Fail(err::kTableVersion, "Memo field \"" + d.name + "\" of \"" + file + "\" is " + std::to_string(length) +
                                         " bytes long; FoxPro memo references are 4 bytes.");
          }
          break;
        }
        if (length != kDbfMemoRefSize) {
          Fail(err::kTableVersion, "Memo field \"" + d.name + "\" of \"" + file + "\" is " + std::to_string(length) +
                                       " bytes long; this engine reads 10-byte memo references.");
        }
    }
    d.length = length;
    d.size = length;
    d.offset = offset;
    offset += length;
    if (offset > 65535) Damaged(file, "its fields are longer than a record can be");
    fields.push_back(std::move(d));
  }
  if (fields.empty()) Damaged(file, "it has no fields");
  if (offset != recordLength) Damaged(file, "its record length does not match its fields");
  try {
    h.schema = Schema::FromDbfDescriptors(std::move(fields), type, nullFlagsSize);
  } catch (const EngineError&) {
    Damaged(file, "its fields are longer than a record can be");
  }
  if (h.schema.recordLength() != recordLength) {
    Damaged(file, "its null-flags field is too short for its nullable and variable-length fields");
  }
  if (h.schema.HasBlobs() && version == 0x03) {
    Damaged(file, "it has memo fields but its version byte announces no memo file");
  }
  h.counters.recordCount = LoadLE<uint32_t>(b + 4);
  h.counters.changeCounter = LoadLE<uint32_t>(b + kDbfChangeCounterOffset);
  h.dbfTableFlags = b[28];
  h.properties.charType = IsOemMark(b[29]) ? 2 : 1;
  h.properties.indexPageSize = type == TableType::kNtx ? 1024 : 512;
  h.properties.memoBlockSize = h.schema.HasBlobs() && type == TableType::kNtx ? kDbtBlockSize : 0;
  *out = std::move(h);
}

// ---- DbfFormat ----

bool DbfFormat::ReadHeader(storage::File& file, const std::string& path, TableHeader* out) const {
  uint8_t first[kDbfHeaderSize];
  size_t got = file.Read(0, first, sizeof first);
  if (got < kDbfHeaderSize) Fail(err::kNotATableFile, "The file \"" + path + "\" is not a DBF table: it is too short.");
  uint32_t headerLength = LoadLE<uint16_t>(first + 8);
  std::vector<uint8_t> whole(std::max<uint32_t>(headerLength, kDbfHeaderSize));
  size_t have = file.Read(0, whole.data(), whole.size());
  DecodeDbfHeader(whole.data(), have, type_, path, out);
  if (out->schema.HasBlobs() && type_ != TableType::kNtx) {
    // The .fpt says its own block size; the table only reports it.
    try {
      out->properties.memoBlockSize = DbfMemo::Open(MemoPath(path), type_, false)->blockSize();
    } catch (const EngineError&) {
      out->properties.memoBlockSize = 0;  // reading a memo reports the damage
    }
  }
  out->tags = LoadDbfTags(path);
  return true;
}

void DbfFormat::LayOut(TableHeader* h) const {
  const uint32_t descriptors = static_cast<uint32_t>(h->schema.fieldCount()) + (h->schema.nullFlagsSize() > 0 ? 1 : 0);
  h->headerLength = kDbfHeaderSize + kDbfDescriptorSize * descriptors + 1;
  if (type_ == TableType::kVfp) h->headerLength += kVfpBacklinkSize;
  if (h->schema.HasBlobs()) {
    h->properties.memoBlockSize = type_ == TableType::kNtx ? kDbtBlockSize
                                  : h->properties.memoBlockSize ? h->properties.memoBlockSize
                                                                : kDefaultFptBlockSize;
  } else {
    h->properties.memoBlockSize = 0;
  }
  h->properties.indexPageSize = type_ == TableType::kNtx ? 1024 : 512;
}

void DbfFormat::WriteHeader(storage::File& file, const TableHeader& h) const {
  std::vector<uint8_t> bytes = EncodeDbfHeader(h, type_, Today());
  file.Write(0, bytes.data(), bytes.size());
  WriteTrailer(file, h, h.counters.recordCount);
}

void DbfFormat::WriteTrailer(storage::File& file, const TableHeader& h, uint32_t recordsInFile) const {
  const uint8_t eof = kDbfEndOfFile;
  file.Write(h.headerLength + uint64_t{recordsInFile} * h.schema.recordLength(), &eof, 1);
}

void DbfFormat::WriteCounters(storage::File& file, const TableHeader& h, const TableCounters& c,
                              uint32_t recordsInFile) const {
  // The end-of-file marker follows the last record written, then the header counts what is
  // committed: a reader that trusts either finds whole records.
  WriteTrailer(file, h, recordsInFile);
  uint8_t b[kDbfHeaderSize];
  EncodeFirstBlock(b, h, type_, c, Today());
  file.Write(0, b, sizeof b);
}

bool DbfFormat::ReadCounters(storage::File& file, const TableHeader&, TableCounters* out) const {
  uint8_t b[kDbfHeaderSize];
  file.ReadExact(0, b, sizeof b);
  TableCounters c;
  c.recordCount = LoadLE<uint32_t>(b + 4);
  c.changeCounter = LoadLE<uint32_t>(b + kDbfChangeCounterOffset);
  *out = c;
  return true;
}

std::string DbfFormat::MemoPath(const std::string& tablePath) const { return table_files::MemoPath(tablePath, type_); }

std::unique_ptr<MemoStore> DbfFormat::CreateMemo(const std::string& path, uint16_t blockSize) const {
  return DbfMemo::Create(path, type_, blockSize);
}

std::unique_ptr<MemoStore> DbfFormat::OpenMemo(const std::string& path, bool writable) const {
  return DbfMemo::Open(path, type_, writable);
}

// ---- tag definitions beside the table ----

std::vector<TagDefinition> LoadDbfTags(const std::string& tablePath) {
  const std::string path = table_files::TagsPath(tablePath);
  int error = 0;
  std::unique_ptr<storage::File> f = storage::TryOpenFile(path, storage::OpenMode::kRead, err::kTableIoError, &error);
  if (!f) return {};
  std::string bytes(static_cast<size_t>(f->Size()), '\0');
  f->ReadExact(0, bytes.data(), bytes.size());
  const uint8_t* p = reinterpret_cast<const uint8_t*>(bytes.data());
  auto bad = [&](const char* what) {
    Fail(err::kTableHeaderDamaged, "The index tag definitions \"" + path + "\" are damaged: " + what + ".");
  };
  if (bytes.size() < 16 || std::memcmp(p, kTagsMagic, 8) != 0) bad("it is not a tag definition file");
  const size_t body = bytes.size() - 4;
  if (LoadLE<uint32_t>(p + body) != Crc32(p, body)) bad("its checksum does not match");
  size_t at = 8;
  auto take = [&](size_t n) {
    if (n > body - at) bad("a definition runs past its end");
    const uint8_t* q = p + at;
    at += n;
    return q;
  };
  auto text = [&] {
    uint16_t n = LoadLE<uint16_t>(take(2));
    return std::string(reinterpret_cast<const char*>(take(n)), n);
  };
  if (LoadLE<uint16_t>(take(2)) != 1) {
    Fail(err::kTableVersion, "The index tag definitions \"" + path + "\" have an unknown format version.");
  }
  uint16_t count = LoadLE<uint16_t>(take(2));
  std::vector<TagDefinition> tags;
  for (uint16_t k = 0; k < count; ++k) {
    TagDefinition t;
    t.name = text();
    t.expression = text();
    t.condition = text();
    t.collation = text();
    t.file = text();
    t.flags = LoadLE<uint32_t>(take(4));
    t.pageSize = LoadLE<uint16_t>(take(2));
    tags.push_back(std::move(t));
  }
  if (at != body) bad("it holds more than its definitions");
  return tags;
}

void StoreDbfTags(const std::string& tablePath, const std::vector<TagDefinition>& tags, bool durable) {
  const std::string path = table_files::TagsPath(tablePath);
  if (tags.empty()) {
    storage::RemoveFile(path, err::kTableIoError);
    if (durable) storage::SyncFolderOf(path, err::kTableIoError);
    return;
  }
  std::string out(kTagsMagic, 8);
  uint8_t n[4];
  StoreLE<uint16_t>(n, 1);
  out.append(reinterpret_cast<char*>(n), 2);
  StoreLE<uint16_t>(n, static_cast<uint16_t>(tags.size()));
  out.append(reinterpret_cast<char*>(n), 2);
  for (const TagDefinition& t : tags) {
    PutText(out, t.name);
    PutText(out, t.expression);
    PutText(out, t.condition);
    PutText(out, t.collation);
    PutText(out, t.file);
    StoreLE<uint32_t>(n, t.flags);
    out.append(reinterpret_cast<char*>(n), 4);
    StoreLE<uint16_t>(n, t.pageSize);
    out.append(reinterpret_cast<char*>(n), 2);
  }
  StoreLE<uint32_t>(n, Crc32(reinterpret_cast<const uint8_t*>(out.data()), out.size()));
  out.append(reinterpret_cast<char*>(n), 4);
  const std::string staged = table_files::StagingPath(path);
  std::unique_ptr<storage::File> f = storage::OpenFile(staged, storage::OpenMode::kCreate, err::kTableIoError);
  try {
    f->Write(0, out.data(), out.size());
    storage::ReplaceFile(*f, staged, path, durable);
  } catch (...) {
    f.reset();
    storage::Current().Remove(staged);
    throw;
  }
}

}  // namespace engine::table
