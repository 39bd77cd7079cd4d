// What differs between the record files of the table types, behind one interface: reading and
// writing the header, publishing the counters other opens read, where the records start, what
// follows the last record, which memo file a table has and where its tag definitions live.
// Everything else about a table (records by number, blobs, locks, the change protocol,
// transactions, pack and zap) is shared by Table (table.h) and never asks which format it is.
//
//   native (.adt, table_header.h): checksummed fixed, counter and structure blocks; a change
//        counter and the tag definitions in the header; nothing after the records.
//   DBF (.dbf, dbf_header.h): the 32-byte DBF header and its field descriptors; the record
//        count and date of last update in the header, a change counter in header bytes 24-27;
//        the 0x1A end-of-file marker after the last record; the tag definitions in a file
//        beside the table (dbf_header.h says why).
//
// Formats hold no state of an open: they are shared constants, safe from any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/storage/storage.h"
#include "engine/table/memo_store.h"
#include "engine/table/table_header.h"
#include "engine/table/table_type.h"

namespace engine::table {

class RecordFormat {
 public:
  virtual ~RecordFormat() = default;

  virtual TableType type() const = 0;

  // Reads and checks the header of the table file at `path`. Answers false when the header's
  // counters cannot be trusted and must be rebuilt from the records. Throws kNotATableFile,
  // kTableVersion, kTableHeaderDamaged naming what does not fit.
  virtual bool ReadHeader(storage::File& file, const std::string& path, TableHeader* out) const = 0;

  // Completes the header of a new table file (its header length and layout).
  virtual void LayOut(TableHeader* header) const = 0;
  // Writes the whole header of a new file (counters included) and what follows no records.
  virtual void WriteHeader(storage::File& file, const TableHeader& header) const = 0;

  // Publishes `counters` (what other opens see counted) in the header. `recordsInFile` records
  // are present in the file: what follows the last record is written after them.
  virtual void WriteCounters(storage::File& file, const TableHeader& header, const TableCounters& counters,
                             uint32_t recordsInFile) const = 0;
  // Reads the counters another open may have published; false when they are damaged.
  virtual bool ReadCounters(storage::File& file, const TableHeader& header, TableCounters* out) const = 0;

  // Bytes the file holds after its last record, and writing them after `recordsInFile` records.
  virtual uint32_t trailerSize() const = 0;
  virtual void WriteTrailer(storage::File& file, const TableHeader& header, uint32_t recordsInFile) const = 0;

  // The memo file of the table file at `tablePath`.
  virtual std::string MemoPath(const std::string& tablePath) const = 0;
  virtual std::unique_ptr<MemoStore> CreateMemo(const std::string& path, uint16_t blockSize) const = 0;
  virtual std::unique_ptr<MemoStore> OpenMemo(const std::string& path, bool writable) const = 0;

  // Whether the table file's header holds the tag definitions; otherwise they are kept in a
  // file beside it (table_files::TagsPath).
  virtual bool tagsInHeader() const = 0;
};

// The format of a table type (a shared constant).
const RecordFormat& RecordFormatOf(TableType type);

// The type of the table file whose first bytes are `head` (at least 32 bytes, fewer for a
// shorter file): native by its magic; a DBF file by its version byte, NTX or CDX decided by
// its memo kind and, for a table without memos, by `cdxBeside` (a structural .cdx exists) or
// the structural-index flag of its header. nullopt when the bytes are neither.
std::optional<TableType> SniffTableType(const uint8_t* head, size_t size, bool cdxBeside);

}  // namespace engine::table
