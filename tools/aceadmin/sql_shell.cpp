// aceadmin sql: an SQL shell on a dictionary or folder, and a script mode.
//
//   aceadmin sql DICTIONARY|FOLDER [-u USER] [-p PASSWORD] [--csv]                  the shell
//   aceadmin sql DICTIONARY|FOLDER [-u USER] [-p PASSWORD] [--csv] --script FILE    a script
//
// The shell reads statements from standard input: at a terminal with a prompt, line editing
// and history (see line_reader.h), else as they come. A statement may span lines and ends with
// ";" outside quotes and comments; a line may hold several. From a file or pipe an empty line
// or the end of the input also ends one, as scripts written for earlier versions expect; at a
// terminal a statement left without its ";" at Ctrl-D is not run. A line starting with "."
// where a statement would start is a command of the shell (.help lists them). Each statement
// runs as soon as it is complete; an error is printed with the place in the statement it
// points at, and the shell carries on (exit status 1 when any statement failed).
//
// A script holding a ";" outside quotes and comments is split at them; otherwise every
// non-empty line is one statement. A script stops at its first failing statement, naming its
// line and column, with exit status 1.
//
// A result prints as aligned columns under their headers and the number of rows, or as CSV
// (--csv, .mode csv; see sql_output.h); a statement that changes rows prints how many it
// changed; any other prints "done". On a dictionary the user defaults to adssys with the
// password from ACEADMIN_PASSWORD.
#include <cctype>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>

#include "tools/aceadmin/arguments.h"
#include "tools/aceadmin/command.h"
#include "tools/aceadmin/line_reader.h"
#include "tools/aceadmin/sql_catalog.h"
#include "tools/aceadmin/sql_output.h"
#include "tools/aceadmin/sql_text.h"
#include "tools/aceadmin/table_common.h"
#include "tools/aceadmin/terminal_text.h"
#include "tools/aceadmin/terminal_text.h"

namespace aceadmin {
namespace {

constexpr const char* kUsage = "DICTIONARY|FOLDER [-u USER] [-p PASSWORD] [--csv] [--script FILE]";
constexpr UNSIGNED32 kNotRowChanging = 5117;  // AdsGetRecordCount on a statement that changes no rows
constexpr UNSIGNED16 kAllRecords = 2;         // the count option that ignores filters

constexpr const char* kShellHelp =
    ".tables              the tables of the dictionary or folder\n"
    ".schema [TABLE]      the CREATE TABLE statement of TABLE (of every table without one)\n"
    ".indexes TABLE       the index tags of TABLE: key, condition, options\n"
    ".mode [columns|csv]  print results as aligned columns or as CSV (without a word: which)\n"
    ".help                this list\n"
    ".quit                leave the shell (also .exit and Ctrl-D)\n";

bool IsDictionary(const std::string& target) {
  if (target.size() < 4) return false;
  std::string ext = target.substr(target.size() - 4);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".add";
}

struct Shell {
  ADSHANDLE connection;
  ADSHANDLE statement;
  OutputMode mode;
  std::ostream& out;
  std::ostream& err;

  // Runs `piece` of `text` and prints what it gave. On failure prints the engine's error
  // after `lead` ("error: ", or the script's name and place) and shows where in `text` it
  // points; returns false.
  bool Run(const std::string& text, const SqlPiece& piece, const std::string& lead) {
    if (Execute(piece.sql) == 0) return true;
    const std::string error = LastErrorText();
    const std::optional<size_t> at = ErrorOffset(piece.sql, error);
    const TextPosition p = PositionOf(text, piece.offset + (at ? *at : 0));
    if (lead.empty()) {
      err << "error: " << error << "\n";
    } else {
      err << lead << " line " << p.line;
      if (at) err << ", column " << p.column;
      err << ": " << error << "\n";
    }
    if (at) {
      if (lead.empty()) err << "  at line " << p.line << ", column " << p.column << ":\n";
      // The line is as it was typed, in the terminal's encoding; the error stream writes ANSI.
      err << "  " << TerminalToAnsi(p.lineText) << "\n  " << std::string(p.column - 1, ' ') << "^\n";
    }
    err.flush();
    return false;
  }

  // Runs one statement; 0 or the engine's code (its text is the thread's last error).
  UNSIGNED32 Execute(const std::string& sql) {
    std::u16string wide = TerminalToUtf16(sql);  // statements keep every character
    ADSHANDLE cursor = 0;
    UNSIGNED32 rc = AdsExecuteSQLDirectW(statement, reinterpret_cast<WCHAR*>(wide.data()), &cursor);
    if (rc) return rc;
    if (cursor) {
      rc = PrintCursor(cursor, mode, out);
      UNSIGNED32 closed = AdsCloseTable(cursor);
      out.flush();
      return rc ? rc : closed;
    }
    UNSIGNED32 changed = 0;
    rc = AdsGetRecordCount(statement, kAllRecords, &changed);
    if (rc == kNotRowChanging) {
      out << "done" << std::endl;
      return 0;
    }
    if (rc) return rc;
    out << changed << (changed == 1 ? " row" : " rows") << " affected" << std::endl;
    return 0;
  }

  // Runs a command of the shell (a line starting with "."). Returns false when it failed;
  // sets *quit for .quit.
  bool Command(const std::string& line, bool* quit) {
    std::istringstream words(line);
    std::string name, argument, extra;
    words >> name >> argument >> extra;
    argument = TerminalToAnsi(argument);  // a table name, as the engine takes it
    // A name may be quoted as in SQL.
    if (argument.size() > 1 && ((argument.front() == '"' && argument.back() == '"') ||
                                (argument.front() == '[' && argument.back() == ']'))) {
      argument = argument.substr(1, argument.size() - 2);
    }
    auto usage = [&](const std::string& form) {
      err << "error: usage: " << form << "\n";
      return false;
    };
    auto engine = [&](UNSIGNED32 rc) {
      if (rc == 0) return true;
      err << "error: " << LastErrorText() << "\n";
      return false;
    };
    if (name == ".quit" || name == ".exit") {
      *quit = true;
      return true;
    }
    if (name == ".help") {
      out << kShellHelp;
      return true;
    }
    if (name == ".tables") return argument.empty() ? engine(PrintTables(connection, out)) : usage(".tables");
    if (name == ".schema") {
      if (!extra.empty()) return usage(".schema [TABLE]");
      if (!argument.empty()) return engine(PrintSchema(connection, argument, out));
      std::ostringstream names;
      if (!engine(PrintTables(connection, names))) return false;
      std::istringstream list(names.str());
      bool ok = true;
      for (std::string table; std::getline(list, table);) ok = engine(PrintSchema(connection, table, out)) && ok;
      return ok;
    }
    if (name == ".indexes") {
      if (argument.empty() || !extra.empty()) return usage(".indexes TABLE");
      return engine(PrintIndexes(connection, argument, mode, out));
    }
    if (name == ".mode") {
      if (!extra.empty()) return usage(".mode [columns|csv]");
      if (argument.empty()) {
        out << (mode == OutputMode::kCsv ? "csv" : "columns") << "\n";
      } else if (argument == "columns") {
        mode = OutputMode::kColumns;
      } else if (argument == "csv") {
        mode = OutputMode::kCsv;
      } else {
        return usage(".mode [columns|csv]");
      }
      return true;
    }
    err << "error: unknown command \"" << name << "\"; .help lists the commands\n";
    return false;
  }
};

// The statements of a script file (see the top of this file).
std::vector<SqlPiece> ScriptPieces(const std::string& text) {
  const std::vector<size_t> ends = StatementEnds(text);
  if (!ends.empty()) return CutStatements(text, ends);
  std::vector<SqlPiece> pieces;
  for (size_t start = 0; start <= text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    if (HasCode(line)) pieces.push_back({Trimmed(line), start + line.find_first_not_of(" \t\r")});
    start = end + 1;
  }
  return pieces;
}

int Script(Shell& shell, const std::string& file) {
  std::ifstream in(HostPath(file), std::ios::binary);
  if (!in) {
    shell.err << "aceadmin: the script " << file << " cannot be read\n";
    return 1;
  }
  std::stringstream buffer;
  buffer << in.rdbuf();
  const std::string text = buffer.str();
  bool open = false;
  StatementEnds(text, &open);
  if (open) {
    shell.err << "aceadmin: " << file << ": a quote or comment is not closed\n";
    return 1;
  }
  for (const SqlPiece& p : ScriptPieces(text)) {
    if (!shell.Run(text, p, "aceadmin: " + file)) return 1;
  }
  return 0;
}

int Prompt(Shell& shell, std::istream& in) {
  LineReader reader(in);
  int status = 0;
  std::string pending;  // the lines of the statements not yet ended
  // Runs the statements of `pending` (the last one need not end with ";").
  auto runPending = [&] {
    for (const SqlPiece& p : CutStatements(pending, StatementEnds(pending))) {
      if (!shell.Run(pending, p, "")) status = 1;
    }
    pending.clear();
  };
  // A statement comes back from the history whole, on one line, unless a "--" comment would
  // then hide the rest of it: its lines come back one by one then.
  auto remember = [&] {
    if (std::string one = OneLine(pending); !one.empty()) {
      reader.Remember(one);
      return;
    }
    std::istringstream lines(pending);
    for (std::string l; std::getline(lines, l);) reader.Remember(l);
  };
  std::string line;
  bool quit = false;
  while (!quit && reader.Read(pending.empty() ? "sql> " : "...> ", &line)) {
    if (pending.empty() && Trimmed(line).rfind('.', 0) == 0) {
      reader.Remember(line);
      if (!shell.Command(Trimmed(line), &quit)) status = 1;
      shell.out.flush();
      continue;
    }
    bool open = false;
    if (!reader.interactive() && Blank(line) && !pending.empty()) {
      StatementEnds(pending, &open);
      if (!open) {
        runPending();  // an empty line ends a statement from a file or pipe
        continue;
      }
    }
    pending += line + "\n";
    StatementEnds(pending, &open);
    if (open) continue;
    if (!HasCode(pending)) {
      pending.clear();  // blank lines and comments only
    } else if (Trimmed(pending).back() == ';') {
      remember();
      runPending();
    }
  }
  if (HasCode(pending)) {
    remember();
    if (reader.interactive()) {
      shell.err << "\nthe last statement was not run: it did not end with \";\"\n";
    } else {
      runPending();
    }
  }
  if (reader.interactive() && !quit) shell.out << "\n";
  return status;
}

int Sql(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Arguments parsed;
  if (std::string problem = ParseArguments(args, {{"-u", true}, {"-p", true}, {"--csv", false}, {"--script", true}},
                                           1, 1, &parsed);
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
    Shell shell{connection, statement, parsed.Has("--csv") ? OutputMode::kCsv : OutputMode::kColumns, out, err};
    status = script.empty() ? Prompt(shell, std::cin) : Script(shell, script);
    AdsCloseSQLStatement(statement);
  }
  AdsDisconnect(connection);
  return status;
}

Registrar sql({"sql", kUsage,
               "Run SQL statements at a prompt (line editing, history, .tables, .schema, .indexes) or from a "
               "script file",
               &Sql,
               "-u USER          connect as USER (on a dictionary: adssys by default)\n"
               "-p PASSWORD      the user's password (adssys: ACEADMIN_PASSWORD by default)\n"
               "--csv            print results as CSV instead of aligned columns\n"
               "--script FILE    run the statements of FILE, stopping at the first error\n"
               "Statements read from standard input end with \";\" and may span lines; from a file or pipe\n"
               "an empty line or the end of the input ends one too. Lines starting with \".\" are commands:\n" +
                   std::string(kShellHelp) +
                   "The history is kept in ACEADMIN_HISTORY or ~/.aceadmin_history (ACEADMIN_HISTORY= keeps none)."});

}  // namespace
}  // namespace aceadmin
