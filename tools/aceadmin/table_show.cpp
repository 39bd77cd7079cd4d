// aceadmin show-rows: prints a table's rows as CSV, its field names first, in record order.
#include <ostream>

#include "tools/aceadmin/arguments.h"
#include "tools/aceadmin/command.h"
#include "tools/aceadmin/table_common.h"

namespace aceadmin {
namespace {

int ShowRows(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Arguments parsed;
  if (std::string problem = ParseArguments(args, {{"--limit", true}, {kTypeOption, true}}, 2, 2, &parsed); !problem.empty()) {
    return UsageError("show-rows", problem, err);
  }
  UNSIGNED16 type = 0;
  if (std::string problem; !TableTypeOption(parsed, 0, &type, &problem)) return UsageError("show-rows", problem, err);
  const std::vector<std::string>& positional = parsed.positional;
  unsigned long limit = 0;  // 0: all
  if (parsed.Has("--limit") && !ParseNumber(parsed.Value("--limit"), 0, 0xFFFFFFFFul, &limit)) {
    return UsageError("show-rows", "--limit needs a number, not \"" + parsed.Value("--limit") + "\"", err);
  }
  OpenedTable t;
  std::string what;
  if (int rc = Report(t.Open(positional[0], positional[1], ADS_READONLY, &what, type), what, err)) return rc;
  std::vector<std::string> names;
  if (int rc = Report(FieldNames(t.table(), &names), "reading the fields", err)) return rc;
  for (size_t i = 0; i < names.size(); ++i) out << (i ? "," : "") << CsvField(names[i]);
  out << "\n";
  if (int rc = Report(AdsGotoTop(t.table()), "going to the first record", err)) return rc;
  unsigned long shown = 0;
  for (;;) {
    UNSIGNED16 eof = 0;
    if (int rc = Report(AdsAtEOF(t.table(), &eof), "reading", err)) return rc;
    if (eof || (limit && shown >= limit)) break;
    std::string line;
    for (size_t i = 0; i < names.size(); ++i) {
      std::string text;
      if (int rc = Report(FieldText(t.table(), names[i], &text), "reading " + names[i], err)) return rc;
      line += (i ? "," : "") + CsvField(text);
    }
    out << line << "\n";
    ++shown;
    if (int rc = Report(AdsSkip(t.table(), 1), "skipping", err)) return rc;
  }
  return Report(t.Close(), "closing", err);
}

Registrar show_rows({"show-rows", "DICTIONARY|FOLDER TABLE [--limit N] [--type ntx|cdx|vfp|adt]", "Print a table's rows as CSV", &ShowRows,
                      "The first line names the fields; rows follow in record order. --limit N prints the first N\n"
                      "rows only (0: all)."});

}  // namespace
}  // namespace aceadmin
