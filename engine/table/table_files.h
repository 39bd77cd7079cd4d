// The owner of a table's files: the table file (.adt), its memo file (.adm) and its index files
// (the structural .adi beside it, and others named by the caller). Every name of these files is
// made here, and every creation, replacement, copy and deletion of them goes through here, so
// that what a crash, a full disk or a failed rename leaves behind is decided in one place.
//
// Rules (docs/storage.md, "A table's files"):
//   - A file is never rewritten in place to make a new version of it: the new version is
//     written beside it under a staging name ("<name>~tmp"), synced, and renamed over it, and
//     then the folder is synced. A staging file left by a crash is replaced by the next one.
//   - A table whose table file and memo file are both replaced (a table created over an
//     existing one, a copy onto an existing table) passes through a ready state: both new files
//     are renamed to "<table>.adt~new" and "<table>.adm~new" and the folder is synced; from then
//     on the replacement is decided, and Finish (run by the replacing process, or by Recover at
//     the next open of the table) puts the memo file, then the table file in place. The table
//     file is the last to move, so a table never meets a memo file that is not its own.
//   - The structural index belongs to the records it was built from: a replaced table's old
//     index is removed before the new table file moves in.
//   - Deleting a table removes the table file first: once it is gone the table is gone, and a
//     crash leaves at worst a memo or index file without a table, which the next creation of
//     that table replaces.
//
// Staging names end with "~..." after the extension, so a folder listing of "*.adt" never
// takes them for tables.
//
// REQUIRES: the caller holds the table exclusively (or it does not exist yet) for every
// function that changes files.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/storage/storage.h"
#include "engine/table/table_type.h"

namespace engine::table_files {

// The memo file of a table file of `type`: the table's name with ".adm", ".dbt" (NTX) or ".fpt"
// (CDX); a staging suffix is kept, and a DBF table named in capitals ("A.DBF") gets its
// sidecar extensions in capitals, as other programs of the DBF world name them.
std::string MemoPath(const std::string& tablePath, table::TableType type = table::TableType::kAdt);
// Every memo file a table of this name may have: a DBF table's (".dbf") is either kind.
std::vector<std::string> MemoPaths(const std::string& tablePath);
// The structural compound index of a DBF table (the table's name with ".cdx").
std::string CdxPath(const std::string& tablePath);
// Where the engine keeps the index tag definitions of a DBF table (the table's name with ".qdx").
std::string TagsPath(const std::string& tablePath);
// The structural index of a table file (the table's name with ".adi"; ".cdx" for a DBF table).
std::string IndexPath(const std::string& tablePath);
// An index file named by a caller: ".adi" is added to a name without extension.
std::string IndexFileName(const std::string& name);
// Where a new version of the file at `path` is written before it replaces it.
std::string StagingPath(const std::string& path);

// A new version of a table's files (table file and, when it has one, memo file), written at
// staging names beside the table and then installed in its place.
class NewTableFiles {
 public:
  explicit NewTableFiles(std::string tablePath, table::TableType type = table::TableType::kAdt);
  // Removes the staged files unless they were installed.
  ~NewTableFiles();
  NewTableFiles(const NewTableFiles&) = delete;
  NewTableFiles& operator=(const NewTableFiles&) = delete;

  // Where the new table file is written; its memo file goes to MemoPath(staged()).
  const std::string& staged() const { return staged_; }
  const std::string& target() const { return target_; }

  // Puts the staged files, complete, in place of the table's (see the rules above): the table
  // file and, with `memo`, its memo file. The old memo file and structural index go. Not
  // durable (nothing synced) when `durable` is false: scratch tables that nothing needs after a
  // crash.
  void Install(bool memo, bool durable);

 private:
  std::string target_;
  std::string staged_;
  table::TableType type_;
  bool installed_ = false;
};

// Puts a new version of a table file alone in place (pack, restructure, encryption change): its
// memo file and index files stay. `staged` is where `file` was written. `renamed` runs as soon
// as the new file has the table's name (before the folder is synced, which may still fail).
void ReplaceTableFile(storage::File& file, const std::string& staged, const std::string& target, bool durable,
                      const std::function<void()>& renamed);

// Puts a new memo file, written at `staged`, in place of the table's memo file.
void ReplaceMemoFile(storage::File& file, const std::string& staged, const std::string& tablePath,
                     table::TableType type = table::TableType::kAdt);

// Finishes a replacement of the table's files that a crashed process decided but did not
// finish, and removes what a crash left of one it had not decided. Answers whether it changed
// anything. REQUIRES: nobody has the table open (the caller holds it exclusively).
bool Recover(const std::string& tablePath);
// Whether a decided replacement waits to be finished (an open that cannot finish it must not
// read the old files).
bool ReplacementPending(const std::string& tablePath);

// Removes the table file, then its memo file and structural index (and, for a DBF table, the
// tag definitions kept beside it).
void RemoveTable(const std::string& tablePath, bool durable = true);

// Puts a new index file, complete and open as `file` at `staged`, in place of `target`.
void ReplaceIndexFile(storage::File& file, const std::string& staged, const std::string& target, bool durable);
// Removes an index file (when its last tag goes).
void RemoveIndexFile(const std::string& path);

}  // namespace engine::table_files
