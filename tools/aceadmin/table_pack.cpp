// aceadmin pack: removes the deleted records of a table (it is opened exclusively).
#include <ostream>

#include "tools/aceadmin/arguments.h"
#include "tools/aceadmin/command.h"
#include "tools/aceadmin/progress.h"
#include "tools/aceadmin/table_common.h"

namespace aceadmin {
namespace {

// The count the header keeps: before packing every record the pass goes through, deleted ones
// included; afterwards the records that are left.
constexpr UNSIGNED16 kIgnoreFilters = 2;

int Pack(const std::vector<std::string>& given, std::ostream& out, std::ostream& err) {
  Arguments parsed;
  if (std::string problem = ParseArguments(given, {{kTypeOption, true}}, 2, 2, &parsed); !problem.empty()) {
    return UsageError("pack", problem, err);
  }
  UNSIGNED16 type = 0;
  if (std::string problem; !TableTypeOption(parsed, 0, &type, &problem)) return UsageError("pack", problem, err);
  const std::vector<std::string>& args = parsed.positional;
  OpenedTable t;
  std::string what;
  if (int rc = Report(t.Open(args[0], args[1], ADS_EXCLUSIVE, &what, type), what, err)) return rc;
  UNSIGNED32 before = 0;
  if (int rc = Report(AdsGetRecordCount(t.table(), kIgnoreFilters, &before), "counting", err)) return rc;
  {
    EngineProgress progress("pack " + args[1], before);
    if (int rc = Report(AdsPackTable(t.table()), "pack " + args[1], err)) return rc;
  }
  UNSIGNED32 count = 0;
  if (int rc = Report(AdsGetRecordCount(t.table(), kIgnoreFilters, &count), "counting", err)) return rc;
  if (int rc = Report(t.Close(), "closing " + args[1], err)) return rc;
  out << "packed " << args[1] << ": " << count << " records\n";
  return 0;
}

Registrar pack({"pack", "DICTIONARY|FOLDER TABLE [--type ntx|cdx|vfp|adt]", "Remove a table's deleted records", &Pack,
                "The table is opened exclusively and rewritten without its deleted records; its indexes are\n"
                "rebuilt. Prints the number of records left."});

}  // namespace
}  // namespace aceadmin
