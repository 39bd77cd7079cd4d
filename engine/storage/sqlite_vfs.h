// An SQLite VFS that forwards every file operation to the engine's storage (storage.h), so that
// data dictionaries and the work files of SQL statements are read, written, synced, locked and
// deleted through the same seam as the engine's own files, and fail the same way when a test
// makes the storage fail.
//
// Files are locked with SQLite's usual protocol (the pending, reserved and shared bytes at
// 1 GiB) through the storage's open-file-description locks, so two connections conflict
// correctly also inside one process, and a connection of another program that uses SQLite's
// own unix VFS on the same file sees the same locks. A rollback journal that is created has
// its folder synced at its first sync, and deleting one syncs the folder when SQLite asks, so
// that the journal protects the database across a power cut. Write-ahead logging is not
// offered (the VFS has no shared memory).
//
// Thread safety: the VFS is registered once per process and is used by every connection.
#pragma once

namespace engine::storage {

// The name to pass to sqlite3_open_v2 (registering the VFS at the first call).
const char* SqliteVfsName();

}  // namespace engine::storage
