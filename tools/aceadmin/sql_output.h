// How the SQL shell prints rows: as aligned columns for a person, or as CSV for a program.
//
//   columns:   id | name          csv:   id,name
//              ---+------                1,pen
//              1  | pen                  2,"ink, blue"
//              2  | ink, blue
//              (2 rows)
//
// In columns a value is shown on one line (line breaks and tabs as blanks) and cut at 60
// characters; in CSV every value is written whole, quoted where it must be, and nothing but the
// header and the rows is written, so that the output is a CSV file.
//
// Not thread-safe: the shell runs one statement at a time.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "ace/ace.h"

namespace aceadmin {

enum class OutputMode { kColumns, kCsv };

// Prints `rows` under the column `names` in `mode`.
void PrintRows(const std::vector<std::string>& names, const std::vector<std::vector<std::string>>& rows,
               OutputMode mode, std::ostream& out);

// Prints every row of the cursor or table `cursor` from its first. Returns 0 or the engine's code.
UNSIGNED32 PrintCursor(ADSHANDLE cursor, OutputMode mode, std::ostream& out);

}  // namespace aceadmin
