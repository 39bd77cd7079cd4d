// aceadmin load-csv: appends the rows of a CSV file to a table. The first line names the
// fields the columns go to; an unquoted empty value leaves the field empty. The table is
// opened once, exclusively, and every row is one append.
#include <fstream>
#include <ostream>
#include <sstream>

#include "tools/aceadmin/arguments.h"
#include "tools/aceadmin/command.h"
#include "tools/aceadmin/table_common.h"
#include "tools/aceadmin/terminal_text.h"

namespace aceadmin {
namespace {

int LoadCsv(const std::vector<std::string>& given, std::ostream& out, std::ostream& err) {
  Arguments parsed;
  if (std::string problem = ParseArguments(given, {}, 3, 3, &parsed); !problem.empty()) {
    return UsageError("load-csv", problem, err);
  }
  const std::vector<std::string>& args = parsed.positional;
  std::ifstream in(HostPath(args[2]), std::ios::binary);
  if (!in) {
    err << "aceadmin: cannot read \"" << args[2] << "\"\n";
    return 1;
  }
  std::stringstream content;
  content << in.rdbuf();
  const std::string data = content.str();

  size_t pos = 0;
  std::vector<std::string> columns;
  std::vector<bool> quoted;
  std::string csvError;
  if (data.empty() || !NextCsvRecord(data, &pos, &columns, &quoted, &csvError)) {
    err << "aceadmin: " << args[2] << ": the first line must name the fields"
        << (csvError.empty() ? "" : " (" + csvError + ")") << "\n";
    return 1;
  }

  OpenedTable t;
  std::string what;
  if (int rc = Report(t.Open(args[0], args[1], ADS_EXCLUSIVE, &what), what, err)) return rc;

  std::vector<std::string> fields;
  size_t line = 1;
  unsigned long rows = 0;
  while (pos < data.size()) {
    ++line;
    if (!NextCsvRecord(data, &pos, &fields, &quoted, &csvError)) {
      err << "aceadmin: " << args[2] << " line " << line << ": " << csvError << "\n";
      t.Close();
      return 1;
    }
    if (fields.size() == 1 && fields[0].empty() && !quoted[0]) continue;  // a blank line
    if (fields.size() != columns.size()) {
      err << "aceadmin: " << args[2] << " line " << line << ": " << fields.size() << " values for "
          << columns.size() << " columns; " << rows << " rows were loaded before it\n";
      t.Close();
      return 1;
    }
    if (int rc = Report(AdsAppendRecord(t.table()), "line " + std::to_string(line), err)) {
      t.Close();
      return rc;
    }
    for (size_t i = 0; i < fields.size(); ++i) {
      if (fields[i].empty() && !quoted[i]) continue;
      UNSIGNED32 rc = AdsSetString(t.table(), Text(columns[i]), Text(fields[i]), static_cast<UNSIGNED32>(fields[i].size()));
      if (rc != 0) {
        Report(rc, "line " + std::to_string(line) + ", field " + columns[i], err);
        AdsCancelUpdate(t.table());
        err << "aceadmin: " << rows << " rows were loaded before it\n";
        t.Close();
        return 1;
      }
    }
    if (int rc = Report(AdsWriteRecord(t.table()), "line " + std::to_string(line), err)) {
      AdsCancelUpdate(t.table());
      t.Close();
      return rc;
    }
    ++rows;
  }
  if (int rc = Report(t.Close(), "closing " + args[1], err)) return rc;
  out << "loaded " << rows << " rows into " << args[1] << "\n";
  return 0;
}

Registrar load_csv({"load-csv", "DICTIONARY|FOLDER TABLE FILE.csv",
                    "Append CSV rows to a table (first line: field names; an unquoted empty value stays empty)",
                    &LoadCsv,
                    "The table is opened exclusively and each row is appended. The first line of FILE.csv names\n"
                    "the fields the columns go to; fields are separated by commas and may be quoted (\"a, b\")."});

}  // namespace
}  // namespace aceadmin
