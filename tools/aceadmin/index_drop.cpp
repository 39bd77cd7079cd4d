// aceadmin drop-index: deletes an index tag of a table, from the table's own index file or from
// the index file named with --file. The table is opened exclusively, as deleting a tag needs.
#include <ostream>

#include "tools/aceadmin/arguments.h"
#include "tools/aceadmin/command.h"
#include "tools/aceadmin/table_common.h"

namespace aceadmin {
namespace {

constexpr const char* kArguments = "DICTIONARY|FOLDER TABLE | TABLE.adt|TABLE.dbf TAG [--file INDEXFILE] [--type ntx|cdx|vfp|adt]";

int DropIndex(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Arguments parsed;
  if (std::string problem = ParseArguments(args, {{"--file", true}, {kTypeOption, true}}, 2, 3, &parsed); !problem.empty()) {
    return UsageError("drop-index", problem, err);
  }
  UNSIGNED16 type = 0;
  if (std::string problem; !TableTypeOption(parsed, 0, &type, &problem)) return UsageError("drop-index", problem, err);
  std::vector<std::string> positional = parsed.positional;
  const std::string file = parsed.Value("--file");
  TableName name;
  if (!TakeTableName(&positional, &name) || positional.size() != 1) {
    return UsageError("drop-index", "give the table (DICTIONARY|FOLDER TABLE, or TABLE.adt|TABLE.dbf) and the tag", err);
  }
  const std::string& tag = positional[0];
  OpenedTable t;
  std::string what;
  if (int rc = Report(t.Open(name.target, name.table, ADS_EXCLUSIVE, &what, type), what, err)) return rc;
  if (!file.empty()) {
    ADSHANDLE handles[256];
    UNSIGNED16 count = 256;
    if (int rc = Report(AdsOpenIndex(t.table(), Text(file), handles, &count), "opening " + file, err)) return rc;
  }
  ADSHANDLE index = 0;
  if (int rc = Report(AdsGetIndexHandle(t.table(), Text(tag), &index), "finding the tag " + tag, err)) return rc;
  if (int rc = Report(AdsDeleteIndex(index), "drop-index " + tag + " of " + name.table, err)) return rc;
  if (int rc = Report(t.Close(), "closing " + name.table, err)) return rc;
  out << "dropped index tag " << tag << " of " << name.table << (file.empty() ? "" : " from " + file) << "\n";
  return 0;
}

Registrar dropIndex({"drop-index", kArguments, "Delete an index tag of a table (opened exclusively)", &DropIndex,
                     "--file INDEXFILE  delete it from that index file beside the table"});

}  // namespace
}  // namespace aceadmin
