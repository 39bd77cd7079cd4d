// aceadmin verify: checks a table file through the engine. Opening it checks the header
// (its checksums, lengths and field descriptors); then every record is read, which checks
// that the file holds as many records as its header counts, and every field of every record
// is read, which follows each memo reference into the memo file. The table is opened
// read-only and nothing is changed.
#include <ostream>

#include "tools/aceadmin/arguments.h"
#include "tools/aceadmin/command.h"
#include "tools/aceadmin/table_common.h"

namespace aceadmin {
namespace {

constexpr UNSIGNED16 kAllRecords = 2;  // the count the header keeps
constexpr int kProblemsShown = 20;

int Verify(const std::vector<std::string>& given, std::ostream& out, std::ostream& err) {
  Arguments parsed;
  if (std::string problem = ParseArguments(given, {{kTypeOption, true}}, 2, 2, &parsed); !problem.empty()) {
    return UsageError("verify", problem, err);
  }
  UNSIGNED16 type = 0;
  if (std::string problem; !TableTypeOption(parsed, 0, &type, &problem)) return UsageError("verify", problem, err);
  const std::vector<std::string>& args = parsed.positional;
  OpenedTable t;
  std::string what;
  if (UNSIGNED32 rc = t.Open(args[0], args[1], ADS_READONLY, &what, type)) {
    out << args[1] << ": damaged: " << LastErrorText() << "\n";
    (void)rc;
    return 1;
  }
  std::vector<std::string> names;
  UNSIGNED32 count = 0;
  if (FieldNames(t.table(), &names) != 0 || AdsGetRecordCount(t.table(), kAllRecords, &count) != 0) {
    out << args[1] << ": damaged: " << LastErrorText() << "\n";
    return 1;
  }
  AdsShowDeleted(1);
  unsigned long problems = 0;
  auto problem = [&](UNSIGNED32 record, const std::string& where) {
    if (++problems <= kProblemsShown) out << args[1] << ": record " << record << where << ": " << LastErrorText() << "\n";
  };
  for (UNSIGNED32 n = 1; n <= count; ++n) {
    if (AdsGotoRecord(t.table(), n) != 0) {
      problem(n, "");
      continue;
    }
    for (const auto& name : names) {
      std::string text;
      if (FieldText(t.table(), name, &text) != 0) problem(n, ", field " + name);
    }
  }
  AdsShowDeleted(0);
  if (problems > kProblemsShown) out << args[1] << ": " << problems - kProblemsShown << " more problems\n";
  if (problems) {
    out << args[1] << ": damaged: " << problems << " problems in " << count << " records\n";
    return 1;
  }
  if (int rc = Report(t.Close(), "closing", err)) return rc;
  out << args[1] << ": ok, " << count << " records, " << names.size() << " fields\n";
  return 0;
}

Registrar verify({"verify", "DICTIONARY|FOLDER TABLE [--type ntx|cdx|vfp|adt]",
                  "Check a table file: header, record count against the file, memo references (exit 1 when damaged)",
                  &Verify,
                  "The table is opened read-only and every record and memo is read. Prints \"ok\" or the\n"
                  "problems found; exit status 1 when the files are damaged."});

}  // namespace
}  // namespace aceadmin
