// aceadmin reindex: rebuilds every index of one table file, or of every table a dictionary
// lists. Each table is opened exclusively, its indexes are rebuilt with AdsReindex61 and it is
// closed again; one line per table tells its record count and the time the rebuild took, and a
// last line the total. A table that fails (missing file, held by another user, a rebuild the
// engine refuses) is reported on the error stream and the next table is processed; the exit
// status is then 1.
#include <chrono>
#include <cstdio>
#include <ostream>
#include <vector>

#include "tools/aceadmin/arguments.h"
#include "tools/aceadmin/command.h"
#include "tools/aceadmin/progress.h"
#include "tools/aceadmin/table_common.h"

namespace aceadmin {
namespace {

constexpr UNSIGNED16 kAllRecords = 2;  // the count the header keeps, deleted records included

std::string Seconds(std::chrono::steady_clock::duration d) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.3f s", std::chrono::duration<double>(d).count());
  return buf;
}

// The tables a dictionary lists, in the dictionary's order; 0 or the engine's code.
UNSIGNED32 DictionaryTables(const std::string& dictionary, std::vector<std::string>* tables) {
  ADSHANDLE h = 0;
  if (UNSIGNED32 rc = ConnectTo(dictionary, "adssys", AdminPasswordFromEnvironment(), &h)) return rc;
  UNSIGNED8 name[261];
  UNSIGNED16 len = 260;
  ADSHANDLE find = 0;
  UNSIGNED32 rc = AdsFindFirstTable(h, nullptr, name, &len, &find);
  while (rc == 0) {
    tables->emplace_back(reinterpret_cast<char*>(name), len);
    len = 260;
    rc = AdsFindNextTable(h, find, name, &len);
  }
  if (find) AdsFindClose(h, find);
  if (rc == AE_NO_MORE_TABLES) rc = 0;
  // Keep the enumeration's failure; a failing disconnect of a read-only look is not one.
  AdsDisconnect(h);
  return rc;
}

// Rebuilds the indexes of `table` opened through `target` (a dictionary or a folder). Prints
// its line on success; reports the failing step on err. On a terminal the progress line reads
// "reindex TABLE`place`: ..." (place: " (2 of 9)" among a dictionary's tables). Returns 0 or 1.
int ReindexOne(const std::string& target, const std::string& table, UNSIGNED16 type, const std::string& place,
               std::ostream& out, std::ostream& err) {
  const auto start = std::chrono::steady_clock::now();
  OpenedTable t;
  std::string what;
  if (int rc = Report(t.Open(target, table, ADS_EXCLUSIVE, &what, type), what, err)) return rc;
  UNSIGNED32 count = 0;
  if (int rc = Report(AdsGetRecordCount(t.table(), kAllRecords, &count), "counting " + table, err)) return rc;
  {
    EngineProgress progress("reindex " + table + place, count);
    if (int rc = Report(AdsReindex61(t.table(), 0), "reindex " + table, err)) return rc;
  }
  if (int rc = Report(t.Close(), "closing " + table, err)) return rc;
  out << "reindexed " << table << ": " << count << " records, " << Seconds(std::chrono::steady_clock::now() - start)
      << std::endl;  // flushed, so that the lines keep their order beside the error stream's
  return 0;
}

int Reindex(const std::vector<std::string>& given, std::ostream& out, std::ostream& err) {
  Arguments parsed;
  if (std::string problem = ParseArguments(given, {{kTypeOption, true}}, 1, 1, &parsed); !problem.empty()) {
    return UsageError("reindex", problem, err);
  }
  UNSIGNED16 type = 0;
  if (std::string problem; !TableTypeOption(parsed, 0, &type, &problem)) return UsageError("reindex", problem, err);
  const std::vector<std::string>& args = parsed.positional;
  const bool dictionary = EndsWithNoCase(args[0], ".add");
  const bool tableFile = EndsWithNoCase(args[0], ".adt") || EndsWithNoCase(args[0], ".dbf");
  if (!dictionary && !tableFile) {
    return UsageError("reindex", "\"" + args[0] + "\" names neither a dictionary (.add) nor a table file (.adt, .dbf)",
                      err);
  }
  const auto start = std::chrono::steady_clock::now();
  std::string target = args[0];
  std::vector<std::string> tables;
  if (dictionary) {
    if (int rc = Report(DictionaryTables(args[0], &tables), "listing the tables of " + args[0], err)) return rc;
  } else {
    // A table file is opened by its name in its own folder (Windows-form paths use either
    // separator).
    const size_t slash = args[0].find_last_of("/\\");
    target = slash == std::string::npos ? "." : args[0].substr(0, slash == 0 ? 1 : slash);
    tables.push_back(slash == std::string::npos ? args[0] : args[0].substr(slash + 1));
  }
  size_t failed = 0;
  for (size_t i = 0; i < tables.size(); ++i) {
    const std::string place =
        dictionary ? " (" + std::to_string(i + 1) + " of " + std::to_string(tables.size()) + ")" : "";
    failed += ReindexOne(target, tables[i], type, place, out, err) != 0;
  }
  out << tables.size() - failed << " of " << tables.size() << " tables reindexed in "
      << Seconds(std::chrono::steady_clock::now() - start) << "\n";
  return failed ? 1 : 0;
}

Registrar reindex({"reindex", "DICTIONARY.add|TABLE.adt|TABLE.dbf [--type ntx|cdx|vfp|adt]",
                   "Rebuild every index of a table file, or of every table of a dictionary (each opened "
                   "exclusively; exit 1 when any table fails)",
                   &Reindex,
                   "Prints one line per table with its record count and time, and the total. A table that cannot\n"
                   "be opened (missing, in use elsewhere) or rebuilt is reported and the next one is processed."});

}  // namespace
}  // namespace aceadmin
