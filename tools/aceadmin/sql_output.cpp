#include "tools/aceadmin/sql_output.h"

#include <algorithm>
#include <ostream>

#include "tools/aceadmin/command.h"
#include "tools/aceadmin/table_common.h"

namespace aceadmin {
namespace {

constexpr size_t kMaxCell = 60;                 // longer values are cut in columns
constexpr UNSIGNED32 kNoCurrentRecord = 5068;  // a field of a row that is not there: empty
constexpr UNSIGNED16 kNumericField = 2;         // a number kept as right-aligned text

// The width a value takes on the screen: the engine's text is in its ANSI code page, one byte
// a character (the output stream turns it into the terminal's encoding).
size_t Width(const std::string& s) { return s.size(); }

std::string Cell(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r' || c == '\t') c = ' ';
  }
  if (text.size() > kMaxCell) text = text.substr(0, kMaxCell - 3) + "...";
  return text;
}

}  // namespace

void PrintRows(const std::vector<std::string>& names, const std::vector<std::vector<std::string>>& rows,
               OutputMode mode, std::ostream& out) {
  if (mode == OutputMode::kCsv) {
    auto line = [&](const std::vector<std::string>& cells) {
      for (size_t i = 0; i < cells.size(); ++i) out << (i ? "," : "") << CsvField(cells[i]);
      out << "\n";
    };
    line(names);
    for (const auto& row : rows) line(row);
    return;
  }
  std::vector<std::vector<std::string>> cells;
  for (const auto& row : rows) {
    cells.emplace_back();
    for (const std::string& value : row) cells.back().push_back(Cell(value));
  }
  std::vector<size_t> width;
  for (const std::string& n : names) width.push_back(Width(n));
  for (const auto& row : cells) {
    for (size_t i = 0; i < row.size() && i < width.size(); ++i) width[i] = std::max(width[i], Width(row[i]));
  }
  auto line = [&](const std::vector<std::string>& row) {
    std::string s;
    for (size_t i = 0; i < row.size(); ++i) {
      if (i) s += " | ";
      s += row[i];
      if (i + 1 < row.size()) s += std::string(width[i] - Width(row[i]), ' ');
    }
    out << s << "\n";
  };
  line(names);
  std::string rule;
  for (size_t i = 0; i < width.size(); ++i) rule += (i ? "-+-" : "") + std::string(width[i], '-');
  out << rule << "\n";
  for (const auto& row : cells) line(row);
  out << "(" << rows.size() << (rows.size() == 1 ? " row)" : " rows)") << "\n";
}

UNSIGNED32 PrintCursor(ADSHANDLE cursor, OutputMode mode, std::ostream& out) {
  std::vector<std::string> names;
  if (UNSIGNED32 rc = FieldNames(cursor, &names)) return rc;
  // A CSV value is the number alone; in columns its blanks keep the numbers aligned.
  std::vector<bool> trimLeft(names.size(), false);
  for (size_t i = 0; i < names.size() && mode == OutputMode::kCsv; ++i) {
    UNSIGNED16 type = 0;
    trimLeft[i] = AdsGetFieldType(cursor, Text(names[i]), &type) == 0 && type == kNumericField;
  }
  std::vector<std::vector<std::string>> rows;
  if (UNSIGNED32 rc = AdsGotoTop(cursor)) return rc;
  for (;;) {
    UNSIGNED16 eof = 0;
    if (UNSIGNED32 rc = AdsAtEOF(cursor, &eof)) return rc;
    if (eof) break;
    std::vector<std::string> row;
    for (size_t i = 0; i < names.size(); ++i) {
      std::string text;
      UNSIGNED32 rc = FieldText(cursor, names[i], &text);
      if (rc == kNoCurrentRecord) rc = 0;
      if (rc) return rc;
      if (trimLeft[i]) text.erase(0, text.find_first_not_of(' '));
      row.push_back(std::move(text));
    }
    rows.push_back(std::move(row));
    if (UNSIGNED32 rc = AdsSkip(cursor, 1)) return rc;
  }
  PrintRows(names, rows, mode, out);
  return 0;
}

}  // namespace aceadmin
