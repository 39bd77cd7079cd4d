// What a table asks of its memo file, whatever its format: the native .adm (memo_file.h), the
// dBase III .dbt of NTX tables and the FoxPro .fpt of CDX tables (dbf_memo.h).
//
// A blob is stored once and never rewritten in place: a changed value is written anew, the
// record is pointed at it, and only then is the old one given back (Free), so that a crash
// leaves at worst space that nothing refers to, never a damaged blob.
//
// REQUIRES: external synchronization; between processes the caller holds the table's writer
// lock around Write and Free.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/storage/storage.h"
#include "engine/table/field_type.h"
#include "engine/table/record_access.h"

namespace engine::table {

class MemoStore {
 public:
  virtual ~MemoStore() = default;

  virtual uint16_t blockSize() const = 0;
  virtual const std::string& path() const = 0;
  virtual storage::File& file() = 0;

  // The content of a blob; throws kMemoDamaged when the reference points past the file or at
  // something that is not a blob.
  virtual std::string Read(BlobRef ref) const = 0;
  // Bytes of content of a blob (the reference's own length where it holds one).
  virtual uint32_t Length(BlobRef ref) const = 0;
  // Stores a new blob for a field of `type`; an empty content gives the null reference.
  virtual BlobRef Write(std::string_view content, FieldType type) = 0;
  // Gives a blob's space back where the format reuses space (null references are ignored).
  virtual void Free(BlobRef ref) = 0;
  virtual void Sync() = 0;
  // Overwrites with zeros what freed space still holds (used when a table is encrypted).
  virtual void WipeFree() {}
};

}  // namespace engine::table
