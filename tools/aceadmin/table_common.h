// Helpers shared by the aceadmin table commands: opening a table of a dictionary or folder,
// reading a field's text, and reading and writing CSV lines.
//
// Everything goes through the engine's C interface. Not thread-safe: the shell runs one
// command at a time.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "ace/ace.h"
#include "tools/aceadmin/arguments.h"

namespace aceadmin {

// A connection and a table opened on it; both are closed when it goes.
class OpenedTable {
 public:
  OpenedTable() = default;
  ~OpenedTable();
  OpenedTable(const OpenedTable&) = delete;
  OpenedTable& operator=(const OpenedTable&) = delete;

  // Connects to `target` (a dictionary or a folder) and opens `table` on it with `options`
  // (ADS_EXCLUSIVE, ADS_READONLY). Returns 0 or the engine's code; `what` names the step
  // that failed.
  // `type` is the engine's table type (1 NTX, 2 CDX, 3 native), or 0: a dictionary's table
  // as the dictionary says, a table file as its file is.
  UNSIGNED32 Open(const std::string& target, const std::string& table, UNSIGNED32 options, std::string* what,
                  UNSIGNED16 type = 0);

  ADSHANDLE connection() const { return connection_; }
  ADSHANDLE table() const { return table_; }
  // Closes the table (flushing it) and the connection; returns the first failure.
  UNSIGNED32 Close();

 private:
  ADSHANDLE connection_ = 0;
  ADSHANDLE table_ = 0;
};

// The table a command works on: "DICTIONARY|FOLDER TABLE", or one table file "TABLE.adt" or
// "TABLE.dbf" that is opened by its name in its own folder.
struct TableName {
  std::string target;  // the dictionary or folder connected to
  std::string table;   // the table's name (or file name) on that connection
};
// Takes the table name off the front of `positional` (one argument when the first ends in .adt
// or .dbf, two otherwise). Returns false, leaving `positional` as it was, when too few are left.
bool TakeTableName(std::vector<std::string>* positional, TableName* name);

// The option every table command takes: "--type ntx|cdx|vfp|adt" (either case) names the table
// type for creating a table or opening a table named without extension.
constexpr const char* kTypeOption = "--type";
// The engine's table type code of the --type option into *type (`absent` when it was not given);
// false with *problem set for a word that names no type.
bool TableTypeOption(const Arguments& parsed, UNSIGNED16 absent, UNSIGNED16* type, std::string* problem);

// Whether `s` ends with `suffix` (lower case), ignoring the case of a to z.
bool EndsWithNoCase(const std::string& s, const std::string& suffix);

// The administrator password for dictionaries that have one (ACEADMIN_PASSWORD).
std::string AdminPasswordFromEnvironment();

// The names of the table's fields in order; empty on failure (the engine's last error says why).
UNSIGNED32 FieldNames(ADSHANDLE table, std::vector<std::string>* names);

// The text of field `name` of the current record (memo contents in full, trailing blanks
// trimmed); 0 or the code.
UNSIGNED32 FieldText(ADSHANDLE table, const std::string& name, std::string* text);

// Splits one CSV record starting at `*pos` in `data` (RFC 4180: fields separated by commas,
// quoted fields may hold commas, doubled quotes and line breaks). Advances `*pos` past the
// record's line end. Returns false, with `*error` set, for a quote left open; `*quoted`
// tells, per field, whether it was quoted (a quoted empty field is an empty string, an
// unquoted one is no value).
bool NextCsvRecord(const std::string& data, size_t* pos, std::vector<std::string>* fields,
                   std::vector<bool>* quoted, std::string* error);

// A field for a CSV line: quoted when it holds a comma, quote, or line break.
std::string CsvField(const std::string& value);

}  // namespace aceadmin
