// Rebuilding the structural index file of an open native table from the tag definitions its
// header holds: the engine side of a reindex.
//
// Every tag's key expression and condition are compiled against the table's fields; one pass
// over the records (deleted ones included) computes all keys; RebuildIndexFile writes the new
// file and renames it over the old one. The old index file is never read, so a missing,
// truncated or garbage index file is rebuilt, not refused. Custom tags hold only keys added
// explicitly, which the records cannot give back; a rebuild leaves them empty.
//
// Fields the expressions can read: every type except the blob types (memo, binary, image,
// national memo) and the national (UTF-16) character types.
//
// REQUIRES: the table is open exclusively (kExclusiveRequired otherwise) and used by this
// thread only for the duration.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/index/rebuild.h"

namespace engine::table {
class Table;
struct TagDefinition;
}  // namespace engine::table

namespace engine::index {

// The structural index of a table: the ".adi" beside a native table, the ".cdx" beside a CDX
// table (".CDX" when the table's extension is in capitals); empty for an NTX table, whose orders
// are NTX files of their own.
std::filesystem::path StructuralIndexPath(const table::Table& table);
// The NTX file of one of an NTX table's index definitions: the definition's name with ".ntx"
// (".NTX" beside a table named in capitals) in the table's folder. The engine opens every such
// file with its table and keeps it right; a reindex rebuilds each from its definition.
std::filesystem::path NtxIndexPath(const table::Table& table, const std::string& name);
// The NTX file a definition of an NTX table names (its file, relative to the table's folder),
// or the file of its name when it names none.
std::filesystem::path NtxIndexPath(const table::Table& table, const table::TagDefinition& def);

// Rebuilds the structural index of the table (an NTX table: every NTX file its definitions
// name). pageSize 0 takes the table's index page size.
// Throws EngineError: kExclusiveRequired, the expression layer's errors for a bad key or
// condition, and whatever RebuildIndexFile throws (the old file then stays as it was).
RebuildStats ReindexTable(table::Table& table, uint32_t pageSize = 0, const RebuildOptions& options = {});

// Rebuilds (or creates) the index file at `path` of the table with these tag definitions; the
// same rules as ReindexTable.
RebuildStats RebuildTableIndex(table::Table& table, const std::filesystem::path& path, const std::vector<table::TagDefinition>& tags,
                               uint32_t pageSize, const RebuildOptions& options = {});

}  // namespace engine::index
