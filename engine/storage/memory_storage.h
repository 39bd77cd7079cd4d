// Files kept in this process's memory: the storage of scratch tables that nothing needs after
// the process (SQL results with their memo and index files). A path under kMemoryFolder names
// such a file; the host's storage (Host()) hands every operation on such a path to Memory(), so
// the table, memo and index code reads and writes them exactly as it does files on disk,
// through the same helpers, wrappers included.
//
// What they are:
//   - Names live in one flat folder, kMemoryFolder ("<folder>/<name>"); creation, rename,
//     link, removal and listing behave as on a POSIX folder (a removed name's file lives on
//     while a File has it open, and goes with the last one).
//   - Nothing is ever forced anywhere: Sync and SyncFolder succeed at once. A memory file is
//     gone when its last name and its last File are, and with the process after a crash, so it
//     never leaves anything behind on disk.
//   - A file that grows past kMemoryFileLimit moves its bytes to an unnamed work file of the
//     host's temporary folder ($TMPDIR, else /tmp) and goes on there, so a large result costs
//     disk rather than memory; the work file is gone when the memory file is.
//   - Byte-range locks behave as open-file-description locks between the Files of this
//     process (a memory file is never seen by another process): they belong to one File,
//     conflict with every other File's, and go when it closes.
//
// A path outside kMemoryFolder never reaches this storage, and no caller's path can name a
// memory file: host paths are absolute ("/..."), and kMemoryFolder does not begin with "/".
//
// Thread safety: every member may be called from any thread; a File by one thread at a time.
#pragma once

#include <cstddef>
#include <string>

#include "engine/storage/storage.h"

namespace engine::storage {

// The folder of the memory files.
inline constexpr char kMemoryFolder[] = ":memory:";
// Bytes a memory file holds in memory before it moves to a work file on disk.
inline constexpr uint64_t kMemoryFileLimit = uint64_t{8} << 20;

// Whether `path` is kMemoryFolder or a name in it.
bool InMemory(const std::string& path);

// The memory files of the process.
Storage& Memory();

}  // namespace engine::storage
