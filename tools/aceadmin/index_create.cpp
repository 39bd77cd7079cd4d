// aceadmin create-index: creates an index tag of a table, in the table's own index file or in
// an index file named with --file (created when absent), and builds it from the records. The
// table is opened exclusively, as creating a tag needs. Prints the tag with its key count.
#include <ostream>

#include "tools/aceadmin/command.h"
#include "tools/aceadmin/table_common.h"

namespace aceadmin {
namespace {

constexpr const char* kArguments =
    "DICTIONARY|FOLDER TABLE | TABLE.adt TAG EXPRESSION [--for CONDITION] [--unique|--candidate] [--descending] "
    "[--collation NAME] [--file INDEXFILE]";

int Usage(std::ostream& err) {
  err << "aceadmin: usage: aceadmin create-index " << kArguments << "\n";
  return 2;
}

int CreateIndex(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::vector<std::string> positional;
  std::string condition, collation, file;
  UNSIGNED32 options = 0;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--unique") {
      options |= ADS_UNIQUE;
    } else if (a == "--candidate") {
      options |= ADS_CANDIDATE;
    } else if (a == "--descending") {
      options |= ADS_DESCENDING;
    } else if (a == "--for" && hasValue) {
      condition = args[++i];
    } else if (a == "--collation" && hasValue) {
      collation = args[++i];
    } else if (a == "--file" && hasValue) {
      file = args[++i];
    } else if (a.rfind("--", 0) == 0) {
      err << "aceadmin: create-index: unknown option or missing value \"" << a << "\"\n";
      return Usage(err);
    } else {
      positional.push_back(a);
    }
  }
  TableName name;
  if (!TakeTableName(&positional, &name) || positional.size() != 2) return Usage(err);
  if ((options & ADS_UNIQUE) && (options & ADS_CANDIDATE)) {
    err << "aceadmin: create-index: a tag is either unique or candidate, not both\n";
    return Usage(err);
  }
  const std::string& tag = positional[0];
  const std::string& expression = positional[1];
  OpenedTable t;
  std::string what;
  if (int rc = Report(t.Open(name.target, name.table, ADS_EXCLUSIVE, &what), what, err)) return rc;
  ADSHANDLE index = 0;
  // Page size 0: the file's own, or the table's for a new file.
  if (int rc = Report(AdsCreateIndex90(t.table(), file.empty() ? nullptr : Text(file), Text(tag), Text(expression),
                                       condition.empty() ? nullptr : Text(condition), nullptr, options, 0,
                                       collation.empty() ? nullptr : Text(collation), &index),
                      "create-index " + tag + " of " + name.table, err)) {
    return rc;
  }
  UNSIGNED32 keys = 0;
  if (int rc = Report(AdsGetKeyCount(index, ADS_IGNOREFILTERS, &keys), "counting the keys of " + tag, err)) return rc;
  if (int rc = Report(t.Close(), "closing " + name.table, err)) return rc;
  out << "created index tag " << tag << " of " << name.table << (file.empty() ? "" : " in " + file) << ": " << keys
      << " keys\n";
  return 0;
}

Registrar createIndex({"create-index", kArguments,
                       "Create an index tag of a table (opened exclusively) and build it; --for keeps only the "
                       "records for which CONDITION holds",
                       &CreateIndex});

}  // namespace
}  // namespace aceadmin
