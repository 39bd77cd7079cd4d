// What a user finds in a folder after an engine operation, read through the engine's C interface:
// the rows of a table, the problems of its index tags, the content of a dictionary.
//
// These functions live in their own shared library, libengine_test_checker, linked to libace32.
// Tests of the C interface link it like any library. Tests of the engine's internals, whose
// program holds the engine itself, load it with `LoadFolderChecker`
// (internal/support/checker_library.h) so that the reading goes through libace32, a copy of the
// engine independent of the one that ran the operation: a fault that corrupted the running
// copy's caches cannot hide damage on disk.
//
// Not thread-safe (AdsShowDeleted is process-wide): one reader at a time.
#pragma once

#include <string>
#include <vector>

namespace acetest {

// What a table holds as a user reads it: one line per record, "*" or " " for the deletion flag
// and then every field's text, or one line saying why it does not open ("(no table)" when the
// table does not exist). Whether the table is encrypted is a first line "encrypted". A table
// named with ".dbf" is opened as whatever DBF type its file is; others as native tables.
std::vector<std::string> ReadRows(const std::string& folder, const std::string& table,
                                  const std::string& password = std::string());

// The problems of the table's index tags by the check behind `aceadmin verify-index`, each one
// line; with `exclusive`, the table is opened exclusively (an interrupted index is rebuilt).
// *unavailable tells whether the index could not be used at all (an interrupted update).
std::vector<std::string> IndexProblems(const std::string& folder, const std::string& table, bool exclusive,
                                       bool* unavailable, const std::string& password = std::string());

// The dictionary's content, table by table, or one line saying why it does not open.
std::vector<std::string> ReadDictionary(const std::string& path);

// The library's functions, for a program that loads it rather than links it.
struct FolderChecker {
  std::vector<std::string> (*readRows)(const std::string& folder, const std::string& table,
                                       const std::string& password);
  std::vector<std::string> (*indexProblems)(const std::string& folder, const std::string& table, bool exclusive,
                                            bool* unavailable, const std::string& password);
  std::vector<std::string> (*readDictionary)(const std::string& path);
  // The address of AdsGetVersion as the library's calls resolve it: tells which copy of the
  // engine the library reads through.
  const void* engineEntryPoint;
};

}  // namespace acetest

// The entry the loading program looks up by name.
extern "C" const acetest::FolderChecker* acetest_folder_checker();
