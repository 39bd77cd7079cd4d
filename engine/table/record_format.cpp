#include "engine/table/record_format.h"

#include <cstring>

#include "engine/core/error.h"
#include "engine/table/dbf_header.h"
#include "engine/table/memo_file.h"
#include "engine/table/table_files.h"
#include "engine/table/table_staging.h"

namespace engine::table {

namespace {

// The native table file; table_header.h describes its blocks.
class NativeFormat : public RecordFormat {
 public:
  TableType type() const override { return TableType::kAdt; }

  bool ReadHeader(storage::File& file, const std::string& path, TableHeader* out) const override {
    uint8_t head[kStructureOffset];
    if (file.Read(0, head, sizeof head) != sizeof head) {
      if (file.Read(0, head, 8) == 8 && std::memcmp(head, kTableMagic, 8) == 0) {
        Fail(err::kTableHeaderDamaged, "The header of \"" + path + "\" is cut short.");
      }
      Fail(err::kNotATableFile, "The file \"" + path + "\" is not a native table.");
    }
    FixedBlock fixed = DecodeFixedBlock(head, path);
    std::vector<uint8_t> structure(fixed.structureLength);
    if (file.Read(fixed.structureOffset, structure.data(), structure.size()) != structure.size()) {
      Fail(err::kTableHeaderDamaged, "The header of \"" + path + "\" is cut short.");
    }
    TableHeader h;
    DecodeStructure(structure.data(), fixed, path, &h);
    bool countersIntact = DecodeCounters(head + kCounterBlockOffset, &h.counters);
    *out = std::move(h);
    return countersIntact;
  }

  void LayOut(TableHeader* h) const override { h->headerLength = HeaderLengthFor(EncodeStructure(*h).size()); }

  void WriteHeader(storage::File& file, const TableHeader& h) const override { WriteWholeHeader(file, h); }

  void WriteCounters(storage::File& file, const TableHeader&, const TableCounters& c, uint32_t) const override {
    std::vector<uint8_t> b = EncodeCounters(c);
    file.Write(kCounterBlockOffset, b.data(), b.size());
  }

  bool ReadCounters(storage::File& file, const TableHeader&, TableCounters* out) const override {
    uint8_t b[kCounterBlockSize];
    file.ReadExact(kCounterBlockOffset, b, sizeof b);
    return DecodeCounters(b, out);
  }

  uint32_t trailerSize() const override { return 0; }
  void WriteTrailer(storage::File&, const TableHeader&, uint32_t) const override {}

  std::string MemoPath(const std::string& tablePath) const override { return table_files::MemoPath(tablePath); }
  std::unique_ptr<MemoStore> CreateMemo(const std::string& path, uint16_t blockSize) const override {
    return std::make_unique<MemoFile>(MemoFile::Create(path, blockSize));
  }
  std::unique_ptr<MemoStore> OpenMemo(const std::string& path, bool writable) const override {
    return std::make_unique<MemoFile>(MemoFile::Open(path, writable));
  }

  bool tagsInHeader() const override { return true; }
};

}  // namespace

const RecordFormat& RecordFormatOf(TableType type) {
  static const NativeFormat native;
  static const DbfFormat ntx(TableType::kNtx);
  static const DbfFormat cdx(TableType::kCdx);
  static const DbfFormat vfp(TableType::kVfp);
  switch (type) {
    case TableType::kNtx: return ntx;
    case TableType::kCdx: return cdx;
    case TableType::kVfp: return vfp;
    default: return native;
  }
}

std::optional<TableType> SniffTableType(const uint8_t* head, size_t size, bool cdxBeside) {
  if (size >= 8 && std::memcmp(head, kTableMagic, 8) == 0) return TableType::kAdt;
  if (size < kDbfHeaderSize) return std::nullopt;
  switch (head[0]) {
    case 0x83: return TableType::kNtx;
    case 0xF5: return TableType::kCdx;
    case 0x30: case 0x31: case 0x32: return TableType::kVfp;
    case 0x03:
      if (cdxBeside || (head[28] & 0x01)) return TableType::kCdx;
      return TableType::kNtx;
    default: return std::nullopt;
  }
}

}  // namespace engine::table
