#include "engine/table/table_staging.h"

#include <cstring>
#include <vector>

#include "engine/core/error.h"
#include "engine/table/table.h"

namespace engine::table {

std::unique_ptr<storage::File> CreateStagedTable(const std::string& staged) {
  std::unique_ptr<storage::File> f = storage::OpenFile(staged, storage::OpenMode::kCreate, err::kTableIoError);
  // Whoever opens the name after the rename meets this lock and is refused, as with the old file.
  if (!f->Lock(kOpenLockByte, 1, true)) Fail(err::kTableInUse, "Cannot lock \"" + staged + "\".");
  return f;
}

void WriteWholeHeader(storage::File& f, const TableHeader& h) {
  std::vector<uint8_t> structure = EncodeStructure(h);
  std::vector<uint8_t> fixed = EncodeFixedBlock(h, structure);
  std::vector<uint8_t> counters = EncodeCounters(h.counters);
  std::vector<uint8_t> block(h.headerLength, 0);
  std::memcpy(block.data(), fixed.data(), fixed.size());
  std::memcpy(block.data() + kCounterBlockOffset, counters.data(), counters.size());
  std::memcpy(block.data() + h.structureOffset, structure.data(), structure.size());
  f.Write(0, block.data(), block.size());
}

}  // namespace engine::table
