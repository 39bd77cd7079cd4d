// aceadmin load-csv: appends the rows of a CSV file to a table. The first line names the
// fields the columns go to; an unquoted empty value leaves the field empty. The table is
// opened once, exclusively, and the rows are appended in one transaction: either every row is
// stored, durably, when the command says so, or none is (a bad row, a full disk or a failed
// write takes back the rows appended before it, and the command says that nothing was stored).
//
// Values go to the engine as text, so dates are read in the connection's date format; a date
// or timestamp field also takes the ISO form other programs export (YYYY-MM-DD, and for a
// timestamp YYYY-MM-DD HH:MM[:SS[.fff]] with a blank or a "T" between), whatever that format.
#include <cstdint>
#include <fstream>
#include <optional>
#include <ostream>
#include <sstream>

#include "tools/aceadmin/arguments.h"
#include "tools/aceadmin/command.h"
#include "tools/aceadmin/progress.h"
#include "tools/aceadmin/table_common.h"
#include "tools/aceadmin/terminal_text.h"

namespace aceadmin {
namespace {

// The engine's field type numbers of the fields that hold a date.
constexpr UNSIGNED16 kDateField = 3;
constexpr UNSIGNED16 kTimeStampField = 14;

bool Digits(const std::string& s, size_t at, size_t n) {
  if (at + n > s.size()) return false;
  for (size_t i = at; i < at + n; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
  }
  return true;
}

struct IsoValue {
  bool valid = false;  // a real calendar date (and, for a timestamp, something after it)
  SIGNED32 julian = 0;
  std::string time;    // what follows the date in a timestamp, for the engine to read
};

// Whether `v` has the ISO form (see the top of this file); nullopt when it does not, so that
// the engine reads it in its own format.
std::optional<IsoValue> IsoDate(const std::string& v, bool timestamp) {
  if (!Digits(v, 0, 4) || v[4] != '-' || !Digits(v, 5, 2) || v[7] != '-' || !Digits(v, 8, 2)) return std::nullopt;
  IsoValue r;
  if (v.size() > 10) {
    if (!timestamp || (v[10] != ' ' && v[10] != 'T')) return r;
    r.time = v.substr(11);
  }
  const int y = std::stoi(v.substr(0, 4));
  const unsigned m = static_cast<unsigned>(std::stoi(v.substr(5, 2)));
  const unsigned d = static_cast<unsigned>(std::stoi(v.substr(8, 2)));
  static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  if (y < 1 || m < 1 || m > 12 || d < 1 || d > kDays[m - 1] + (m == 2 && leap ? 1 : 0)) return r;
  // Julian day number of the Gregorian date (days since 1970-01-01, from the civil calendar,
  // plus the Julian day of that day).
  const int yy = m <= 2 ? y - 1 : y;
  const int era = yy / 400;
  const int yoe = yy - era * 400;
  const int doy = static_cast<int>((153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1);
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  r.julian = static_cast<SIGNED32>(era * 146097 + doe - 719468 + 2440588);
  r.valid = true;
  return r;
}

// Sets field `name` of the current record to `value`. Returns 0 or the engine's code; for a
// value the tool itself refuses, `*problem` says why.
UNSIGNED32 SetValue(ADSHANDLE table, const std::string& name, UNSIGNED16 type, const std::string& value,
                    std::string* problem) {
  if (type == kDateField || type == kTimeStampField) {
    if (std::optional<IsoValue> iso = IsoDate(value, type == kTimeStampField)) {
      if (!iso->valid) {
        *problem = "\"" + value + "\" is not a " + (type == kDateField ? "date" : "timestamp");
        return 0;
      }
      if (UNSIGNED32 rc = AdsSetJulian(table, Text(name), iso->julian)) return rc;
      if (iso->time.empty()) return 0;
      return AdsSetTime(table, Text(name), Text(iso->time), static_cast<UNSIGNED16>(iso->time.size()));
    }
  }
  return AdsSetString(table, Text(name), Text(value), static_cast<UNSIGNED32>(value.size()));
}

// The load of one file into one open table, inside a transaction of its connection.
class Load {
 public:
  Load(OpenedTable& table, std::ostream& err) : t_(table), err_(err) {}

  // Counts the records before anything is appended.
  bool Begin() {
    if (Report(AdsGetRecordCount(t_.table(), ADS_IGNOREFILTERS, &before_), "counting the records", err_)) return false;
    return Report(AdsBeginTransaction(t_.connection()), "starting the load", err_) == 0;
  }

  // Takes back every row appended so far, says `what` failed and how many rows remain stored,
  // and answers the exit status.
  int Abandon(const std::string& what, UNSIGNED32 rc) {
    if (rc != 0) Report(rc, what, err_);
    else err_ << "aceadmin: " << what << "\n";
    UNSIGNED32 rolledBack = AdsRollbackTransaction(t_.connection());
    return Outcome(rolledBack, "taking back the rows appended before it");
  }

  // Commits the transaction; answers 0 or the exit status after saying what happened.
  int Commit(unsigned long rows, std::ostream& out, const std::string& table) {
    UNSIGNED32 rc = AdsCommitTransaction(t_.connection());
    if (rc != 0) {
      // A failed commit takes the rows back itself.
      Report(rc, "storing the rows", err_);
      return Outcome(rc == kCommitNotUndone ? rc : 0, "taking back the rows");
    }
    out << "loaded " << rows << " rows into " << table << "\n";
    return 0;
  }

 private:
  // After a failure: says how many rows of this load remain in the table (none, unless even the
  // rollback failed) and answers 1.
  int Outcome(UNSIGNED32 rollbackRc, const std::string& step) {
    if (rollbackRc != 0) {
      Report(rollbackRc, step, err_);
      UNSIGNED32 after = before_;
      if (AdsGetRecordCount(t_.table(), ADS_IGNOREFILTERS, &after) == 0 && after > before_) {
        err_ << "aceadmin: " << after - before_ << " rows of this load could not be taken back\n";
        return 1;
      }
    }
    err_ << "aceadmin: no rows were stored\n";
    return 1;
  }

  // What AdsCommitTransaction gives when it could not even undo the transaction.
  static constexpr UNSIGNED32 kCommitNotUndone = 5932;

  OpenedTable& t_;
  std::ostream& err_;
  UNSIGNED32 before_ = 0;
};

int LoadCsv(const std::vector<std::string>& given, std::ostream& out, std::ostream& err) {
  Arguments parsed;
  if (std::string problem = ParseArguments(given, {{kTypeOption, true}}, 3, 3, &parsed); !problem.empty()) {
    return UsageError("load-csv", problem, err);
  }
  UNSIGNED16 type = 0;
  if (std::string problem; !TableTypeOption(parsed, 0, &type, &problem)) return UsageError("load-csv", problem, err);
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
  if (int rc = Report(t.Open(args[0], args[1], ADS_EXCLUSIVE, &what, type), what, err)) return rc;

  std::vector<UNSIGNED16> types(columns.size(), 0);
  for (size_t i = 0; i < columns.size(); ++i) {
    // A column naming no field is reported when its first value is set.
    if (AdsGetFieldType(t.table(), Text(columns[i]), &types[i]) != 0) types[i] = 0;
  }

  Load load(t, err);
  if (!load.Begin()) return 1;

  ProgressLine progress("load " + args[1]);
  std::vector<std::string> fields;
  size_t line = 1;
  unsigned long rows = 0;
  while (pos < data.size()) {
    ++line;
    const std::string where = args[2] + " line " + std::to_string(line);
    if (!NextCsvRecord(data, &pos, &fields, &quoted, &csvError)) return load.Abandon(where + ": " + csvError, 0);
    if (fields.size() == 1 && fields[0].empty() && !quoted[0]) continue;  // a blank line
    if (fields.size() != columns.size()) {
      return load.Abandon(where + ": " + std::to_string(fields.size()) + " values for " +
                              std::to_string(columns.size()) + " columns",
                          0);
    }
    if (UNSIGNED32 rc = AdsAppendRecord(t.table())) return load.Abandon("line " + std::to_string(line), rc);
    for (size_t i = 0; i < fields.size(); ++i) {
      if (fields[i].empty() && !quoted[i]) continue;
      std::string problem;
      UNSIGNED32 rc = SetValue(t.table(), columns[i], types[i], fields[i], &problem);
      if (rc != 0 || !problem.empty()) {
        AdsCancelUpdate(t.table());
        const std::string field = "line " + std::to_string(line) + ", field " + columns[i];
        return load.Abandon(rc != 0 ? field : field + ": " + problem, rc);
      }
    }
    if (UNSIGNED32 rc = AdsWriteRecord(t.table())) {
      AdsCancelUpdate(t.table());
      return load.Abandon("line " + std::to_string(line), rc);
    }
    ++rows;
    progress.Update(static_cast<unsigned>(pos * 100 / data.size()), rows);
  }
  if (int rc = load.Commit(rows, out, args[1])) return rc;
  // The rows are stored; closing has nothing left to write.
  return Report(t.Close(), "closing " + args[1], err);
}

Registrar load_csv({"load-csv", "DICTIONARY|FOLDER TABLE FILE.csv [--type ntx|cdx|vfp|adt]",
                    "Append CSV rows to a table, all or none (first line: field names; an unquoted empty value "
                    "stays empty)",
                    &LoadCsv,
                    "The table is opened exclusively and the rows are appended in one transaction: either every\n"
                    "row is stored, durably, when the command says so, or none is (a bad row, a full disk or a\n"
                    "failed write takes back the rows appended before it). The first line of FILE.csv names the\n"
                    "fields the columns go to; fields are separated by commas and may be quoted (\"a, b\").\n"
                    "Dates are read in the engine's date format (MM/DD/CCYY unless set otherwise) or as\n"
                    "YYYY-MM-DD; timestamps as that date, a blank or \"T\", and HH:MM[:SS[.fff]]."});

}  // namespace
}  // namespace aceadmin
