// aceadmin drop-index: deletes an index tag of a table, from the table's own index file or from
// the index file named with --file. The table is opened exclusively, as deleting a tag needs.
#include <ostream>

#include "tools/aceadmin/command.h"
#include "tools/aceadmin/table_common.h"

namespace aceadmin {
namespace {

constexpr const char* kArguments = "DICTIONARY|FOLDER TABLE | TABLE.adt TAG [--file INDEXFILE]";

int DropIndex(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::vector<std::string> positional;
  std::string file;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--file" && i + 1 < args.size()) {
      file = args[++i];
    } else {
      positional.push_back(args[i]);
    }
  }
  TableName name;
  if (!TakeTableName(&positional, &name) || positional.size() != 1 || positional[0].rfind("--", 0) == 0) {
    err << "aceadmin: usage: aceadmin drop-index " << kArguments << "\n";
    return 2;
  }
  const std::string& tag = positional[0];
  OpenedTable t;
  std::string what;
  if (int rc = Report(t.Open(name.target, name.table, ADS_EXCLUSIVE, &what), what, err)) return rc;
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

Registrar dropIndex({"drop-index", kArguments, "Delete an index tag of a table (opened exclusively)", &DropIndex});

}  // namespace
}  // namespace aceadmin
