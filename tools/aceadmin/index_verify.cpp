// aceadmin verify-index: checks every tag of a table's open indexes (its own index file, and
// the index files named with --file) against the table's records, and prints one line per tag:
// "ok" with its key count, or its problems (the first 20 of them) and a closing line with their
// number. The table is opened shared and read-only, so the check runs beside other users; a tag
// that another user changes while it is being checked may show a disagreement that is only that
// change half seen, so a failure found beside writers is worth checking again. Exit 1 when any
// tag disagrees with the table or cannot be read.
#include <ostream>

#include "tools/aceadmin/arguments.h"
#include "tools/aceadmin/command.h"
#include "tools/aceadmin/index_check.h"
#include "tools/aceadmin/table_common.h"

namespace aceadmin {
namespace {

constexpr const char* kArguments = "DICTIONARY|FOLDER TABLE | TABLE.adt|TABLE.dbf [--file INDEXFILE]... [--type ntx|cdx|vfp|adt]";

// Shows deleted records for as long as it lives: the tags hold them too.
struct DeletedShown {
  DeletedShown() { AdsShowDeleted(1); }
  ~DeletedShown() { AdsShowDeleted(0); }
};

int VerifyIndex(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Arguments parsed;
  if (std::string problem = ParseArguments(args, {{"--file", true}, {kTypeOption, true}}, 1, 2, &parsed); !problem.empty()) {
    return UsageError("verify-index", problem, err);
  }
  UNSIGNED16 type = 0;
  if (std::string problem; !TableTypeOption(parsed, 0, &type, &problem)) return UsageError("verify-index", problem, err);
  std::vector<std::string> positional = parsed.positional;
  const std::vector<std::string> files = parsed.Values("--file");
  TableName name;
  if (!TakeTableName(&positional, &name) || !positional.empty()) {
    return UsageError("verify-index", "give the table as DICTIONARY|FOLDER TABLE, or as TABLE.adt|TABLE.dbf", err);
  }
  DeletedShown shown;
  OpenedTable t;
  std::string what;
  if (int rc = Report(t.Open(name.target, name.table, ADS_READONLY, &what, type), what, err)) return rc;
  for (const std::string& file : files) {
    ADSHANDLE handles[256];
    UNSIGNED16 count = 256;
    if (int rc = Report(AdsOpenIndex(t.table(), Text(file), handles, &count), "opening " + file, err)) return rc;
  }
  UNSIGNED32 records = 0;
  if (int rc = Report(AdsGetRecordCount(t.table(), ADS_IGNOREFILTERS, &records), "counting the records", err)) return rc;
  UNSIGNED16 tags = 0;
  if (AdsGetNumIndexes(t.table(), &tags) != 0) {
    out << name.table << ": the indexes cannot be read: " << LastErrorText() << "\n";
    return 1;
  }
  if (tags == 0) {
    out << name.table << ": no index tags\n";
    return 0;
  }
  bool failed = false;
  for (UNSIGNED16 order = 1; order <= tags; ++order) {
    ADSHANDLE index = 0;
    if (AdsGetIndexHandleByOrder(t.table(), order, &index) != 0) {
      out << name.table << " tag " << order << ": cannot be read: " << LastErrorText() << "\n";
      failed = true;
      continue;
    }
    const TagCheck check = CheckTag(t.table(), index, records);
    const std::string label = name.table + " " + (check.name.empty() ? "tag " + std::to_string(order) : check.name);
    if (check.problemCount == 0) {
      out << label << ": ok, " << check.keys << " keys" << (check.custom ? " (custom: added by hand, not compared)" : "")
          << "\n";
      continue;
    }
    failed = true;
    for (const std::string& p : check.problems) out << label << ": " << p << "\n";
    if (check.problemCount > check.problems.size()) {
      out << label << ": " << check.problemCount - check.problems.size() << " more problems\n";
    }
    out << label << ": disagrees with the table: " << check.problemCount << " problems, " << check.keys << " keys, "
        << records << " records\n";
  }
  if (int rc = Report(t.Close(), "closing " + name.table, err)) return rc;
  return failed ? 1 : 0;
}

Registrar verifyIndex({"verify-index", kArguments,
                       "Check every index tag of a table against its records: each record the tag should hold "
                       "appears once with its own key, in order, and the key count agrees (exit 1 when not)",
                       &VerifyIndex,
                       "The table is opened shared and read-only, so the check runs beside other users; a tag that\n"
                       "another user changes meanwhile may show a change half seen: check again before rebuilding.\n"
                       "--file INDEXFILE  check the tags of that index file too (may be repeated)\n"
                       "\"aceadmin reindex\" repairs what it reports."});

}  // namespace
}  // namespace aceadmin
