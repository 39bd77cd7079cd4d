// What the SQL shell tells about the connection's tables: their names (.tables), a table's
// fields as the CREATE TABLE statement that makes them (.schema), and its index tags
// (.indexes).
//
//   .schema vessel                       .indexes vessel
//   CREATE TABLE vessel (                tag    | key          | condition | options
//     ID Integer,                        -------+--------------+-----------+--------
//     NAME Char(20),                     BYNAME | UPPER(NAME)  |           | unique
//     PRICE Numeric(10, 2)               (1 row)
//   );
//
// The type words are those of the engine's field definitions and of its CREATE TABLE. A
// table is opened shared and read-only for the look, so it works beside other users.
//
// Not thread-safe: the shell runs one command at a time.
#pragma once

#include <iosfwd>
#include <string>

#include "ace/ace.h"
#include "tools/aceadmin/sql_output.h"

namespace aceadmin {

// Each prints to `out` and returns 0 or the engine's code (its text is the last error).
UNSIGNED32 PrintTables(ADSHANDLE connection, std::ostream& out);
UNSIGNED32 PrintSchema(ADSHANDLE connection, const std::string& table, std::ostream& out);
UNSIGNED32 PrintIndexes(ADSHANDLE connection, const std::string& table, OutputMode mode, std::ostream& out);

}  // namespace aceadmin
