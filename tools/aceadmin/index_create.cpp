// aceadmin create-index: creates an index tag of a table, in the table's own index file or in
// an index file named with --file (created when absent), and builds it from the records. The
// table is opened exclusively, as creating a tag needs. Prints the tag with its key count.
#include <ostream>

#include "tools/aceadmin/arguments.h"
#include "tools/aceadmin/command.h"
#include "tools/aceadmin/table_common.h"

namespace aceadmin {
namespace {

constexpr const char* kArguments =
    "DICTIONARY|FOLDER TABLE | TABLE.adt|TABLE.dbf TAG EXPRESSION [--for CONDITION] [--unique|--candidate] [--descending] "
    "[--collation NAME] [--file INDEXFILE] [--type ntx|cdx|vfp|adt]";

int CreateIndex(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Arguments parsed;
  if (std::string problem = ParseArguments(args,
                                           {{"--unique", false},
                                            {"--candidate", false},
                                            {"--descending", false},
                                            {"--for", true},
                                            {"--collation", true},
                                            {"--file", true},
                                            {kTypeOption, true}},
                                           3, 4, &parsed);
      !problem.empty()) {
    return UsageError("create-index", problem, err);
  }
  UNSIGNED16 type = 0;
  if (std::string problem; !TableTypeOption(parsed, 0, &type, &problem)) return UsageError("create-index", problem, err);
  std::vector<std::string> positional = parsed.positional;
  const std::string condition = parsed.Value("--for"), collation = parsed.Value("--collation"),
                    file = parsed.Value("--file");
  UNSIGNED32 options = 0;
  if (parsed.Has("--unique")) options |= ADS_UNIQUE;
  if (parsed.Has("--candidate")) options |= ADS_CANDIDATE;
  if (parsed.Has("--descending")) options |= ADS_DESCENDING;
  TableName name;
  if (!TakeTableName(&positional, &name) || positional.size() != 2) {
    return UsageError("create-index", "give the table (DICTIONARY|FOLDER TABLE, or TABLE.adt|TABLE.dbf), the tag and its expression",
                      err);
  }
  if ((options & ADS_UNIQUE) && (options & ADS_CANDIDATE)) {
    return UsageError("create-index", "a tag is either unique or candidate, not both", err);
  }
  const std::string& tag = positional[0];
  const std::string& expression = positional[1];
  OpenedTable t;
  std::string what;
  if (int rc = Report(t.Open(name.target, name.table, ADS_EXCLUSIVE, &what, type), what, err)) return rc;
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
                       &CreateIndex,
                       "The tag goes into the table's own index file, or with --file into another index file beside\n"
                       "the table (created when absent); a tag of the same name there is replaced.\n"
                       "--for CONDITION   keep the records for which CONDITION holds\n"
                       "--unique          keep the first record of each key value\n"
                       "--candidate       refuse a second record with the same key\n"
                       "--descending      order the keys from the highest\n"
                       "--collation NAME  order text keys by a named collation\n"
                       "--file INDEXFILE  put the tag into that index file"});

}  // namespace
}  // namespace aceadmin
