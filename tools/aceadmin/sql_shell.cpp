// aceadmin sql: an SQL prompt on a dictionary or folder, and a script mode.
//
//   aceadmin sql DICTIONARY|FOLDER [-u USER] [-p PASSWORD]                  statements from stdin
//   aceadmin sql DICTIONARY|FOLDER [-u USER] [-p PASSWORD] --script FILE    statements from FILE
//
// From stdin a statement ends with a ";" at the end of a line, with an empty line, or with the
// end of the input; each runs as soon as it is complete, errors are printed and the prompt
// carries on (exit status 1 when any statement failed). A script holding a ";" outside quotes
// and comments is split at them; otherwise every non-empty line is one statement. A script
// stops at its first failing statement, naming its line, with exit status 1.
//
// A result is printed as a table under its column headers, followed by the number of rows; a
// statement that changes rows prints how many it changed; any other prints "done".
// On a dictionary the user defaults to adssys with the password from ACEADMIN_PASSWORD.
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iostream>
#include <sstream>

#include "tools/aceadmin/arguments.h"
#include "tools/aceadmin/command.h"
#include "tools/aceadmin/table_common.h"
#include "tools/aceadmin/terminal_text.h"

namespace aceadmin {
namespace {

constexpr const char* kUsage = "DICTIONARY|FOLDER [-u USER] [-p PASSWORD] [--script FILE]";
constexpr size_t kMaxCell = 60;  // longer values are cut in the printed table
constexpr UNSIGNED32 kNotRowChanging = 5117;  // AdsGetRecordCount on a statement that changes no rows
constexpr UNSIGNED32 kNoCurrentRecord = 5068;
constexpr UNSIGNED16 kAllRecords = 2;         // the count option that ignores filters

bool IsDictionary(const std::string& target) {
  if (target.size() < 4) return false;
  std::string ext = target.substr(target.size() - 4);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".add";
}

// Scans SQL text for the places where a statement may end: calls `onSemicolon` with the
// offset of every ";" outside quotes and comments. Returns whether the text ends inside a
// quote or block comment.
template <typename Fn>
bool ScanSql(const std::string& s, Fn onSemicolon) {
  size_t i = 0;
  while (i < s.size()) {
    char c = s[i];
    if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
      size_t e = s.find('\n', i);
      i = e == std::string::npos ? s.size() : e;
      continue;
    }
    if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
      size_t e = s.find("*/", i + 2);
      if (e == std::string::npos) return true;
      i = e + 2;
      continue;
    }
    char close = c == '[' ? ']' : (c == '\'' || c == '"' || c == '`') ? c : 0;
    if (close) {
      size_t e = s.find(close, i + 1);
      if (e == std::string::npos) return true;
      i = e + 1;  // a doubled quote simply opens the next quoted piece
      continue;
    }
    if (c == ';') onSemicolon(i);
    ++i;
  }
  return false;
}

bool Blank(const std::string& s) { return s.find_first_not_of(" \t\r\n") == std::string::npos; }

std::string Trimmed(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

// Prints the rows of `cursor` as a table.
UNSIGNED32 PrintCursor(ADSHANDLE cursor, std::ostream& out) {
  std::vector<std::string> names;
  if (UNSIGNED32 rc = FieldNames(cursor, &names)) return rc;
  std::vector<std::vector<std::string>> rows;
  if (UNSIGNED32 rc = AdsGotoTop(cursor)) return rc;
  for (;;) {
    UNSIGNED16 eof = 0;
    if (UNSIGNED32 rc = AdsAtEOF(cursor, &eof)) return rc;
    if (eof) break;
    std::vector<std::string> row;
    for (const std::string& name : names) {
      std::string text;
      UNSIGNED32 rc = FieldText(cursor, name, &text);
      if (rc == kNoCurrentRecord) rc = 0;
      if (rc) return rc;
      for (char& c : text) {
        if (c == '\n' || c == '\r' || c == '\t') c = ' ';
      }
      if (text.size() > kMaxCell) text = text.substr(0, kMaxCell - 3) + "...";
      row.push_back(text);
    }
    rows.push_back(std::move(row));
    if (UNSIGNED32 rc = AdsSkip(cursor, 1)) return rc;
  }
  std::vector<size_t> width;
  for (const std::string& n : names) width.push_back(n.size());
  for (const auto& row : rows) {
    for (size_t i = 0; i < row.size(); ++i) width[i] = std::max(width[i], row[i].size());
  }
  auto line = [&](const std::vector<std::string>& cells) {
    std::string s;
    for (size_t i = 0; i < cells.size(); ++i) {
      if (i) s += " | ";
      s += cells[i];
      if (i + 1 < cells.size()) s += std::string(width[i] - cells[i].size(), ' ');
    }
    out << s << "\n";
  };
  line(names);
  std::string rule;
  for (size_t i = 0; i < width.size(); ++i) rule += (i ? "-+-" : "") + std::string(width[i], '-');
  out << rule << "\n";
  for (const auto& row : rows) line(row);
  out << "(" << rows.size() << (rows.size() == 1 ? " row)" : " rows)") << "\n";
  return 0;
}

// Runs one statement and prints what it gave. Returns 0 or the engine's code (its text is
// the thread's last error).
UNSIGNED32 RunStatement(ADSHANDLE statement, const std::string& sql, std::ostream& out) {
  std::u16string wide = TerminalToUtf16(sql);  // statements keep every character
  ADSHANDLE cursor = 0;
  UNSIGNED32 rc = AdsExecuteSQLDirectW(statement, reinterpret_cast<WCHAR*>(wide.data()), &cursor);
  if (rc) return rc;
  if (cursor) {
    rc = PrintCursor(cursor, out);
    UNSIGNED32 closed = AdsCloseTable(cursor);
    return rc ? rc : closed;
  }
  UNSIGNED32 changed = 0;
  rc = AdsGetRecordCount(statement, kAllRecords, &changed);
  if (rc == kNotRowChanging) {
    out << "done\n";
    return 0;
  }
  if (rc) return rc;
  out << changed << (changed == 1 ? " row" : " rows") << " affected\n";
  return 0;
}

struct Piece {
  std::string sql;
  size_t line = 1;  // where the statement starts
};

// The statements of a script file (see the top of this file).
std::vector<Piece> ScriptPieces(const std::string& text) {
  std::vector<size_t> cuts;
  ScanSql(text, [&](size_t at) { cuts.push_back(at); });
  std::vector<Piece> pieces;
  auto lineOf = [&](size_t offset) { return 1 + static_cast<size_t>(std::count(text.begin(), text.begin() + offset, '\n')); };
  if (cuts.empty()) {
    size_t start = 0;
    while (start <= text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(start, end - start);
      if (!Blank(line)) pieces.push_back({Trimmed(line), lineOf(start)});
      start = end + 1;
    }
    return pieces;
  }
  cuts.push_back(text.size());
  size_t start = 0;
  for (size_t cut : cuts) {
    std::string part = text.substr(start, cut - start);
    if (!Blank(part)) {
      size_t first = start + part.find_first_not_of(" \t\r\n");
      pieces.push_back({Trimmed(part), lineOf(first)});
    }
    start = cut + 1;
  }
  return pieces;
}

int Script(ADSHANDLE statement, const std::string& file, std::ostream& out, std::ostream& err) {
  std::ifstream in(HostPath(file), std::ios::binary);
  if (!in) {
    err << "aceadmin: the script " << file << " cannot be read\n";
    return 1;
  }
  std::stringstream buffer;
  buffer << in.rdbuf();
  std::string text = buffer.str();
  if (ScanSql(text, [](size_t) {})) {
    err << "aceadmin: " << file << ": a quote or comment is not closed\n";
    return 1;
  }
  for (const Piece& p : ScriptPieces(text)) {
    if (UNSIGNED32 rc = RunStatement(statement, p.sql, out)) {
      (void)rc;
      err << "aceadmin: " << file << " line " << p.line << ": " << LastErrorText() << "\n";
      return 1;
    }
  }
  return 0;
}

int Prompt(ADSHANDLE statement, std::istream& in, std::ostream& out, std::ostream& err) {
  const bool terminal = ::isatty(STDIN_FILENO) != 0;
  int status = 0;
  std::string pending;
  auto run = [&] {
    if (!Blank(pending)) {
      std::string sql = Trimmed(pending);
      if (!sql.empty() && sql.back() == ';') sql.pop_back();
      if (!Blank(sql) && RunStatement(statement, sql, out) != 0) {
        err << "error: " << LastErrorText() << "\n";
        status = 1;
      }
    }
    pending.clear();
    out.flush();
  };
  std::string line;
  for (;;) {
    if (terminal) out << (pending.empty() ? "sql> " : "...> ") << std::flush;
    if (!std::getline(in, line)) break;
    if (Blank(line) && !pending.empty()) {
      // An empty line ends the statement unless it lies inside a quote.
      if (!ScanSql(pending, [](size_t) {})) {
        run();
        continue;
      }
    }
    pending += line + "\n";
    std::string t = Trimmed(pending);
    bool open = ScanSql(pending, [](size_t) {});
    if (!open && !t.empty() && t.back() == ';') {
      // A line may hold several statements separated by ";".
      std::vector<size_t> cuts;
      ScanSql(pending, [&](size_t at) { cuts.push_back(at); });
      std::string all = pending;
      size_t start = 0;
      for (size_t cut : cuts) {
        pending = all.substr(start, cut - start);
        run();
        start = cut + 1;
      }
      pending.clear();
    }
  }
  run();
  if (terminal) out << "\n";
  return status;
}

int Sql(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Arguments parsed;
  if (std::string problem = ParseArguments(args, {{"-u", true}, {"-p", true}, {"--script", true}}, 1, 1, &parsed);
      !problem.empty()) {
    return UsageError("sql", problem, err);
  }
  const std::string target = parsed.positional[0];
  std::string user = parsed.Value("-u"), password = parsed.Value("-p");
  const std::string script = parsed.Value("--script");
  const bool havePassword = parsed.Has("-p");
  if (IsDictionary(target)) {
    if (user.empty()) user = "adssys";
    if (!havePassword && user == "adssys") password = AdminPasswordFromEnvironment();
  }
  ADSHANDLE connection = 0;
  if (int rc = Report(ConnectTo(target, user, password, &connection), "connect " + target, err)) return rc;
  ADSHANDLE statement = 0;
  int status = Report(AdsCreateSQLStatement(connection, &statement), "creating a statement", err);
  if (status == 0) {
    status = script.empty() ? Prompt(statement, std::cin, out, err) : Script(statement, script, out, err);
    AdsCloseSQLStatement(statement);
  }
  AdsDisconnect(connection);
  return status;
}

Registrar sql({"sql", kUsage,
               "Run SQL statements from standard input (a prompt) or from a script file, printing result tables",
               &Sql,
               "-u USER          connect as USER (on a dictionary: adssys by default)\n"
               "-p PASSWORD      the user's password (adssys: ACEADMIN_PASSWORD by default)\n"
               "--script FILE    run the statements of FILE, stopping at the first error\n"
               "A statement read from standard input ends with \";\" at the end of a line, an empty line or\n"
               "the end of the input."});

}  // namespace
}  // namespace aceadmin
