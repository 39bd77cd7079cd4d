// Helpers for writing a whole table file beside the current one (creation, pack, zap,
// restructure, encryption change): the staged file is created locked, so that whoever opens the
// table's name after the new file moves in is refused until its writer is done, and its
// header is written in one piece.
//
// REQUIRES: the caller holds the table exclusively (or it does not exist yet).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/storage/storage.h"
#include "engine/table/table_header.h"

namespace engine::table {

// Records moved per read or write during pack, restructure and scans.
constexpr uint32_t kBatchRecords = 4096;

// Creates (or empties) the file at `staged` and locks it exclusively.
std::unique_ptr<storage::File> CreateStagedTable(const std::string& staged);

// Writes the fixed block, the counter block and the structure block of `header`, padded to its
// header length.
void WriteWholeHeader(storage::File& file, const TableHeader& header);

}  // namespace engine::table
