#include "engine/table/table_header.h"

#include <cstring>

#include "engine/core/error.h"
#include "engine/core/byte_order.h"
#include "engine/core/checksum.h"

namespace engine::table {

const char kTableMagic[8] = {'Q', 'N', 'L', 'R', 'A', 'D', 'T', 0x1A};

namespace {

// Room left in a new header for index tag definitions to be added without moving records.
constexpr size_t kTagReserve = 4096;

class Writer {
 public:
  void U16(uint16_t v) { Put(&v, 2); }
  void U32(uint32_t v) { Put(&v, 4); }
  void Text(const std::string& s) {
    U16(static_cast<uint16_t>(s.size()));
    Put(s.data(), s.size());
  }
  void Bytes(const uint8_t* p, size_t n) { Put(p, n); }
  std::vector<uint8_t> bytes;

 private:
  void Put(const void* p, size_t n) {
    const uint8_t* b = static_cast<const uint8_t*>(p);
    bytes.insert(bytes.end(), b, b + n);
  }
};

class Reader {
 public:
  Reader(const uint8_t* p, size_t n, const std::string& file) : p_(p), n_(n), file_(file) {}
  uint16_t U16(const char* what) { return LoadLE<uint16_t>(Take(2, what)); }
  uint32_t U32(const char* what) { return LoadLE<uint32_t>(Take(4, what)); }
  std::string Text(const char* what) {
    uint16_t len = U16(what);
    const uint8_t* b = Take(len, what);
    return std::string(reinterpret_cast<const char*>(b), len);
  }
  void Bytes(uint8_t* out, size_t n, const char* what) { std::memcpy(out, Take(n, what), n); }
  bool atEnd() const { return pos_ == n_; }

 private:
  const uint8_t* Take(size_t k, const char* what) {
    if (k > n_ - pos_) {
      Fail(err::kTableHeaderDamaged, "The header of \"" + file_ + "\" is damaged: " + what + " does not fit the header.");
    }
    const uint8_t* b = p_ + pos_;
    pos_ += k;
    return b;
  }
  const uint8_t* p_;
  size_t n_;
  size_t pos_ = 0;
  const std::string& file_;
};

[[noreturn]] void Damaged(const std::string& file, const std::string& what) {
  Fail(err::kTableHeaderDamaged, "The header of \"" + file + "\" is damaged: " + what + ".");
}

}  // namespace

std::vector<uint8_t> EncodeStructure(const TableHeader& h) {
  Writer w;
  w.U16(static_cast<uint16_t>(h.schema.fieldCount()));
  w.U16(static_cast<uint16_t>(h.tags.size()));
  w.U16(h.properties.memoBlockSize);
  w.U16(h.properties.charType);
  w.U16(h.properties.indexPageSize);
  w.U16(0);
  w.Text(h.properties.collation);
  for (const FieldDescriptor& d : h.schema.fields()) {
    w.Text(d.name);
    w.U16(static_cast<uint16_t>(d.type));
    w.U32(d.length);
    w.U16(d.decimals);
    w.U32(d.offset);
    w.U32(d.size);
  }
  for (const TagDefinition& t : h.tags) {
    w.Text(t.name);
    w.Text(t.expression);
    w.Text(t.condition);
    w.U32(t.flags);
    w.Text(t.collation);
    w.U16(t.pageSize);
  }
  if (h.encryption) {
    w.U16(static_cast<uint16_t>(h.encryption->kind));
    w.U16(0);
    w.U32(h.encryption->iterations);
    w.Bytes(h.encryption->salt.data(), h.encryption->salt.size());
    w.Bytes(h.encryption->verifier.data(), h.encryption->verifier.size());
  }
  return std::move(w.bytes);
}

uint32_t HeaderLengthFor(size_t structureSize) {
  size_t need = kStructureOffset + structureSize + kTagReserve;
  return static_cast<uint32_t>((need + kHeaderAlignment - 1) / kHeaderAlignment * kHeaderAlignment);
}

std::vector<uint8_t> EncodeFixedBlock(const TableHeader& h, const std::vector<uint8_t>& structure) {
  std::vector<uint8_t> b(kFixedBlockSize, 0);
  std::memcpy(b.data(), kTableMagic, 8);
  StoreLE<uint16_t>(&b[8], h.encryption ? kEncryptedTableFormatVersion : kTableFormatVersion);
  StoreLE<uint16_t>(&b[10], 0);
  StoreLE<uint32_t>(&b[12], h.headerLength);
  StoreLE<uint32_t>(&b[16], h.schema.recordLength());
  StoreLE<uint32_t>(&b[20], static_cast<uint32_t>(structure.size()));
  StoreLE<uint32_t>(&b[24], Crc32(structure.data(), structure.size()));
  // 0 (what older files hold) means the first place, right after the counter block.
  StoreLE<uint32_t>(&b[28], h.structureOffset == kStructureOffset ? 0 : h.structureOffset);
  StoreLE<uint32_t>(&b[60], Crc32(b.data(), 60));
  return b;
}

std::vector<uint8_t> EncodeCounters(const TableCounters& c) {
  std::vector<uint8_t> b(kCounterBlockSize, 0);
  StoreLE<uint32_t>(&b[0], c.recordCount);
  StoreLE<uint32_t>(&b[4], c.lastAutoinc);
  StoreLE<uint64_t>(&b[8], c.changeCounter);
  StoreLE<uint64_t>(&b[16], c.lastRowVersion);
  StoreLE<uint32_t>(&b[60], Crc32(b.data(), 60));
  return b;
}

FixedBlock DecodeFixedBlock(const uint8_t* b, const std::string& file) {
  if (std::memcmp(b, kTableMagic, 8) != 0) {
    Fail(err::kNotATableFile, "The file \"" + file + "\" is not a native table.");
  }
  uint16_t version = LoadLE<uint16_t>(b + 8);
  if (version != kTableFormatVersion && version != kEncryptedTableFormatVersion) {
    Fail(err::kTableVersion, "The table \"" + file + "\" has format version " + std::to_string(version) +
                                 "; this engine reads versions " + std::to_string(kTableFormatVersion) + " and " +
                                 std::to_string(kEncryptedTableFormatVersion) + ".");
  }
  if (LoadLE<uint32_t>(b + 60) != Crc32(b, 60)) Damaged(file, "the checksum of its first block does not match");
  FixedBlock f;
  f.headerLength = LoadLE<uint32_t>(b + 12);
  f.recordLength = LoadLE<uint32_t>(b + 16);
  f.structureLength = LoadLE<uint32_t>(b + 20);
  f.structureCrc = LoadLE<uint32_t>(b + 24);
  f.structureOffset = LoadLE<uint32_t>(b + 28);
  if (f.structureOffset == 0) f.structureOffset = kStructureOffset;
  f.version = version;
  if (f.headerLength % kHeaderAlignment != 0 || f.structureOffset < kStructureOffset ||
      f.structureOffset > f.headerLength || f.headerLength - f.structureOffset < f.structureLength ||
      f.structureLength < 12) {
    Damaged(file, "its lengths are inconsistent");
  }
  if (f.recordLength < 2 || f.recordLength > kMaxRecordLength) Damaged(file, "its record length is impossible");
  return f;
}

void DecodeStructure(const uint8_t* bytes, const FixedBlock& fixed, const std::string& file, TableHeader* out) {
  Reader r(bytes, fixed.structureLength, file);
  uint16_t fieldCount = r.U16("the field count");
  uint16_t tagCount = r.U16("the tag count");
  if (fieldCount == 0 || fieldCount > kMaxFields) Damaged(file, "the field descriptor count is impossible");
  // Each descriptor takes at least 18 bytes: a count that cannot fit is damage, caught before
  // anything is allocated for it.
  if (static_cast<size_t>(fieldCount) * 18 > fixed.structureLength) {
    Damaged(file, "the field descriptor count does not fit the header");
  }
  out->properties.memoBlockSize = r.U16("the memo block size");
  out->properties.charType = r.U16("the character type");
  out->properties.indexPageSize = r.U16("the index page size");
  r.U16("reserved bytes");
  out->properties.collation = r.Text("the collation");
  std::vector<FieldDescriptor> fields;
  fields.reserve(fieldCount);
  for (uint16_t i = 0; i < fieldCount; ++i) {
    FieldDescriptor d;
    d.name = r.Text("a field descriptor");
    d.type = static_cast<FieldType>(r.U16("a field descriptor"));
    d.length = r.U32("a field descriptor");
    d.decimals = r.U16("a field descriptor");
    d.offset = r.U32("a field descriptor");
    d.size = r.U32("a field descriptor");
    if (!IsNativeFieldType(static_cast<uint16_t>(d.type))) {
      Damaged(file, "field \"" + d.name + "\" has the unknown type " + std::to_string(static_cast<int>(d.type)));
    }
    fields.push_back(std::move(d));
  }
  std::vector<TagDefinition> tags;
  for (uint16_t i = 0; i < tagCount; ++i) {
    TagDefinition t;
    t.name = r.Text("an index tag definition");
    t.expression = r.Text("an index tag definition");
    t.condition = r.Text("an index tag definition");
    t.flags = r.U32("an index tag definition");
    t.collation = r.Text("an index tag definition");
    t.pageSize = r.U16("an index tag definition");
    tags.push_back(std::move(t));
  }
  if (fixed.version == kEncryptedTableFormatVersion) {
    CipherParams c;
    uint16_t kind = r.U16("the cipher parameters");
    r.U16("the cipher parameters");
    c.iterations = r.U32("the cipher parameters");
    r.Bytes(c.salt.data(), c.salt.size(), "the cipher parameters");
    r.Bytes(c.verifier.data(), c.verifier.size(), "the cipher parameters");
    if (kind != static_cast<uint16_t>(CipherKind::kAes256Gcm) && kind != static_cast<uint16_t>(CipherKind::kAes128Gcm)) {
      Damaged(file, "its cipher " + std::to_string(kind) + " is unknown");
    }
    if (c.iterations < kMinimumKdfIterations) Damaged(file, "its key derivation count is impossible");
    c.kind = static_cast<CipherKind>(kind);
    out->encryption = c;
  } else {
    out->encryption.reset();
  }
  if (!r.atEnd()) Damaged(file, "the structure block is longer than its descriptors");
  if (Crc32(bytes, fixed.structureLength) != fixed.structureCrc) {
    Damaged(file, "the checksum of its field descriptors does not match");
  }
  out->headerLength = fixed.headerLength;
  out->structureOffset = fixed.structureOffset;
  out->schema = Schema::FromDescriptors(std::move(fields), fixed.recordLength);
  out->tags = std::move(tags);
}

bool DecodeCounters(const uint8_t* b, TableCounters* out) {
  if (LoadLE<uint32_t>(b + 60) != Crc32(b, 60)) return false;
  out->recordCount = LoadLE<uint32_t>(b);
  out->lastAutoinc = LoadLE<uint32_t>(b + 4);
  out->changeCounter = LoadLE<uint64_t>(b + 8);
  out->lastRowVersion = LoadLE<uint64_t>(b + 16);
  return true;
}

}  // namespace engine::table
