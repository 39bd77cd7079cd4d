#include "engine/sql/statement.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <unordered_set>

#include "engine/core/codepage.h"
#include "engine/core/handles.h"
#include "engine/dict/dictionary.h"
#include "engine/index/api/index_order.h"
#include "engine/index/table_indexes.h"
#include "engine/sql/ddl.h"
#include "engine/sql/engine_statements.h"
#include "engine/sql/live_cursor.h"
#include "engine/sql/result_cursor.h"
#include "engine/sql/sql_abort.h"
#include "engine/sql/sql_error.h"
#include "engine/sql/sql_text.h"
#include "engine/table/table.h"

namespace engine::sql {

namespace {

constexpr int kProgressSteps = 4000;  // VM steps between two looks at the timeout and abort callback
constexpr int kMaxTablesPerStatement = 200;

std::mutex gLiveMutex;
std::unordered_set<uint32_t> gLiveCursors;

using StmtPtr = std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)>;

// Ends the session's statement when a run ends, however it ends.
struct EndGuard {
  Session& session;
  ~EndGuard() { session.EndStatement(); }
};

// Why the progress handler stopped a statement.
struct RunState {
  std::optional<std::chrono::steady_clock::time_point> deadline;
  bool timedOut = false;
  bool aborted = false;
};

int OnProgress(void* p) {
  auto* state = static_cast<RunState*>(p);
  if (state->deadline && std::chrono::steady_clock::now() >= *state->deadline) {
    state->timedOut = true;
    return 1;
  }
  if (AbortRequested()) {
    state->aborted = true;
    return 1;
  }
  return 0;
}

// Installs the progress handler for one run and removes it afterwards.
struct ProgressGuard {
  sqlite3* db;
  ProgressGuard(sqlite3* d, RunState* state) : db(d) { sqlite3_progress_handler(db, kProgressSteps, OnProgress, state); }
  ~ProgressGuard() { sqlite3_progress_handler(db, 0, nullptr, nullptr); }
};

[[noreturn]] void FailStep(Session& session, int rc, const RunState& state) {
  if (std::optional<EngineError> e = session.TakePendingError()) throw *e;
  if ((rc & 0xFF) == SQLITE_INTERRUPT) {
    if (state.timedOut) FailSql(native::kTimeout, "The statement ran longer than its timeout and was stopped.");
    if (state.aborted) FailSql(native::kAborted, "The statement was stopped by the abort callback.");
  }
  FailFromSqlite(session.db(), rc);
}

// Whether a missing table's name is one of the catalogue's schemas ("system.x", "temp.x"), which
// no table of the connection stands in for. Any other name, paths with dots included, is looked
// up as DDL looks it up, so a name means the same table to every statement.
bool NamesACatalogue(const std::string& name) {
  if (name.find_first_of("\\/:") != std::string::npos) return false;
  size_t dot = name.find('.');
  if (dot == std::string::npos) return false;
  std::string schema = core::AsciiUpper(name.substr(0, dot));
  return schema == "SYSTEM" || schema == "TEMP";
}

std::string NoSuchTable(const std::string& msg) {
  const std::string prefix = "no such table: ";
  if (msg.rfind(prefix, 0) != 0) return "";
  std::string name = msg.substr(prefix.size());
  if (name.rfind("main.", 0) == 0) name = name.substr(5);
  return name;
}

// Prepares one statement, making the virtual tables of the tables it names as SQLite asks
// for them.
StmtPtr PrepareWithTables(Session& session, const std::string& text) {
  for (int attempt = 0; attempt < kMaxTablesPerStatement; ++attempt) {
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(session.db(), text.c_str(), static_cast<int>(text.size()), &raw, &tail);
    StmtPtr stmt(raw, &sqlite3_finalize);
    if (rc == SQLITE_OK) {
      if (!stmt) FailSql(native::kSyntax, "Syntax error: the statement is empty.");
      for (; tail && *tail; ++tail) {
        if (!std::isspace(static_cast<unsigned char>(*tail))) {
          FailSql(native::kSyntax, "Syntax error: text follows the end of the statement.");
        }
      }
      return stmt;
    }
    if (std::optional<EngineError> e = session.TakePendingError()) throw *e;
    std::string missing = NoSuchTable(sqlite3_errmsg(session.db()));
    if (missing.empty() || NamesACatalogue(missing) || !session.AttachTable(missing)) {
      FailFromSqlite(session.db(), rc);
    }
  }
  FailSql(native::kOther, "The statement names too many tables.");
}

// The marker number of parameter j of a prepared statement ("?N").
uint32_t MarkerNumber(sqlite3_stmt* stmt, int j) {
  const char* name = sqlite3_bind_parameter_name(stmt, j);
  if (!name || name[0] != '?') return static_cast<uint32_t>(j);
  return static_cast<uint32_t>(std::strtoul(name + 1, nullptr, 10));
}

void Bind(sqlite3_stmt* stmt, int j, const ParamValue& v) {
  int rc = SQLITE_OK;
  switch (v.kind) {
    case ParamValue::Kind::kNull:
      rc = sqlite3_bind_null(stmt, j);
      break;
    case ParamValue::Kind::kInteger:
      rc = sqlite3_bind_int64(stmt, j, v.integer);
      break;
    case ParamValue::Kind::kReal:
      rc = sqlite3_bind_double(stmt, j, v.real);
      break;
    case ParamValue::Kind::kText:
      rc = sqlite3_bind_text(stmt, j, v.bytes.data(), static_cast<int>(v.bytes.size()), SQLITE_TRANSIENT);
      break;
    case ParamValue::Kind::kBlob:
      rc = sqlite3_bind_blob(stmt, j, v.bytes.data(), static_cast<int>(v.bytes.size()), SQLITE_TRANSIENT);
      break;
  }
  if (rc != SQLITE_OK) FailSql(native::kParameter, "Parameter " + std::to_string(j) + " could not be bound.");
}

std::vector<std::string> ColumnNames(sqlite3_stmt* stmt) {
  std::vector<std::string> names;
  for (int i = 0; i < sqlite3_column_count(stmt); ++i) names.push_back(Upper(sqlite3_column_name(stmt, i)));
  return names;
}

// A record filter holding the records a live cursor's condition chose when it ran; records
// appended since are shown too.
class ChosenRecords : public table::RecordFilter {
 public:
  ChosenRecords(std::set<uint32_t> records, uint32_t countAtRun) : records_(std::move(records)), count_(countAtRun) {}
  void SetCountAtRun(uint32_t count) { count_ = count; }
  bool Accepts(const table::RecordView& record) override {
    return record.recordNumber() > count_ || records_.count(record.recordNumber()) != 0;
  }

 private:
  std::set<uint32_t> records_;
  uint32_t count_;
};

// A plain selection of every field of one table ("SELECT * FROM t [WHERE ...] [ORDER BY ...]").
struct PlainSelect {
  std::string table;
  size_t starOffset = 0;
  bool hasCondition = false;
  size_t end = std::string::npos;  // where the ORDER BY begins, if there is one
  LiveOrder order;                 // the ORDER BY's field names and direction
};

// Reads a trailing "ORDER BY name [, name ...] [ASC|DESC]" of one direction from token k on.
bool ReadOrderBy(const std::vector<Token>& t, size_t k, LiveOrder* order) {
  auto word = [&](size_t i, const char* w) { return !t[i].quoted && !t[i].literal && Upper(t[i].text) == w; };
  int descending = 0;
  size_t i = k + 2;
  for (;;) {
    if (i >= t.size() || t[i].literal) return false;
    if (i + 2 < t.size() && t[i + 1].text == "." && !t[i + 1].quoted && !t[i + 2].literal) i += 2;  // t.name
    order->fields.push_back(t[i].text);
    ++i;
    bool desc = i < t.size() && word(i, "DESC");
    if (i < t.size() && (desc || word(i, "ASC"))) ++i;
    descending += desc ? 1 : 0;
    if (i == t.size()) break;
    if (t[i].text != "," || t[i].quoted || t[i].literal) return false;
    ++i;
  }
  if (descending != 0 && descending != static_cast<int>(order->fields.size())) return false;
  order->descending = descending != 0;
  return true;
}

std::optional<PlainSelect> PlainSelection(const std::string& text) {
  std::vector<Token> t = Tokenize(text);
  if (t.size() < 4 || Upper(t[0].text) != "SELECT" || t[1].text != "*" || Upper(t[2].text) != "FROM") return std::nullopt;
  if (t[3].literal) return std::nullopt;
  PlainSelect plain;
  plain.table = t[3].text;
  plain.starOffset = t[1].offset;
  size_t end = t.size();
  for (size_t k = 4; k + 1 < t.size(); ++k) {
    if (t[k].quoted || t[k].literal || Upper(t[k].text) != "ORDER" || Upper(t[k + 1].text) != "BY") continue;
    if (!ReadOrderBy(t, k, &plain.order)) return std::nullopt;
    end = k;
    plain.end = t[k].offset;
    break;
  }
  if (end == 4) return plain;
  if (Upper(t[4].text) != "WHERE" || t[4].quoted) return std::nullopt;
  static const std::set<std::string> kNotPlain = {"ORDER", "GROUP", "HAVING", "LIMIT", "UNION", "EXCEPT",
                                                  "INTERSECT", "JOIN", "SELECT", "OFFSET"};
  for (size_t i = 5; i < end; ++i) {
    if (!t[i].quoted && !t[i].literal && kNotPlain.count(Upper(t[i].text))) return std::nullopt;
  }
  plain.hasCondition = true;
  return plain;
}

}  // namespace

void NoteCursor(uint32_t handle, bool live) {
  std::lock_guard<std::mutex> lock(gLiveMutex);
  if (live) {
    gLiveCursors.insert(handle);
  } else {
    gLiveCursors.erase(handle);
  }
}

bool IsLiveCursor(uint32_t handle) {
  std::lock_guard<std::mutex> lock(gLiveMutex);
  return gLiveCursors.count(handle) != 0;
}

Statement::Statement(uint32_t connection, std::shared_ptr<Session> session)
    : connection_(connection), session_(std::move(session)) {}

void Statement::Verify(const std::string& sql) {
  auto lock = session_->Lock();
  EndGuard end{*session_};
  session_->Connection();  // 5024 once the connection is gone
  std::vector<StatementText> parts = SplitStatements(sql);
  if (parts.empty()) FailSql(native::kSyntax, "Syntax error: the statement is empty.");
  bool definesTables = false;
  for (const StatementText& part : parts) {
    std::vector<Token> tokens = Tokenize(part.text);
    std::vector<std::string> words = LeadingWords(part.text, 1);
    if (!words.empty() && (words[0] == "EXECUTE" || words[0] == "EXEC")) continue;  // checked when it runs
    if (IsDdl(tokens)) {
      // Only its syntax can be checked: the tables it names may come from earlier statements.
      CheckDdl(part.text, tokens);
      definesTables = true;
      continue;
    }
    if (definesTables) continue;  // may name tables that the script defines first
    PrepareWithTables(*session_, part.text);
  }
}

void Statement::Prepare(const std::string& sql) {
  Verify(sql);
  prepared_ = sql;
  preparedColumns_.clear();
  params_.clear();
  binaryParts_.clear();
  auto lock = session_->Lock();
  EndGuard end{*session_};
  std::vector<StatementText> parts = SplitStatements(sql);
  std::vector<std::string> words = LeadingWords(parts.back().text, 1);
  if (!words.empty() && words[0] == "SELECT") {
    try {
      preparedColumns_ = ColumnNames(PrepareWithTables(*session_, parts.back().text).get());
    } catch (const EngineError&) {
      // A select that depends on an earlier statement of the script is checked when it runs.
      preparedColumns_.clear();
    }
  }
}

size_t Statement::ParameterCount() const { return prepared_ ? static_cast<size_t>(CountParameters(*prepared_)) : 0; }

void Statement::CheckParameterNumber(uint32_t number) const {
  if (number == 0 || (prepared_ && number > ParameterCount())) {
    FailSql(native::kParameter, "Parameter " + std::to_string(number) + " is out of range: the statement has " +
                                    std::to_string(ParameterCount()) + " parameters.");
  }
}

void Statement::SetParam(uint32_t number, ParamValue value) {
  CheckParameterNumber(number);
  binaryParts_.erase(number);
  params_[number] = std::move(value);
}

void Statement::SetBinaryPart(uint32_t number, uint32_t total, uint32_t offset, std::string_view bytes) {
  CheckParameterNumber(number);
  std::string& buffer = binaryParts_[number];
  if (offset != buffer.size()) {
    FailSql(native::kParameter, "Parameter " + std::to_string(number) + ": the pieces of a binary value must come in order.");
  }
  buffer.append(bytes);
  if (buffer.size() > total) FailSql(native::kParameter, "Parameter " + std::to_string(number) + ": more bytes than the total length.");
  ParamValue v;
  v.kind = ParamValue::Kind::kBlob;
  v.bytes = buffer;
  params_[number] = std::move(v);
  if (buffer.size() == total) binaryParts_.erase(number);
}

uint32_t Statement::Execute(uint32_t self) {
  if (!prepared_) FailSql(native::kSyntax, "The statement has no prepared text; call AdsPrepareSQLW first.");
  return Run(self, *prepared_, true);
}

uint32_t Statement::ExecuteDirect(uint32_t self, const std::string& sql) {
  prepared_.reset();
  preparedColumns_.clear();
  return Run(self, sql, false);
}

namespace {

// The statement's table passwords, given to the session for one run only.
struct RunPasswords {
  Session& session;
  RunPasswords(Session& s, const StatementOptions& options) : session(s) {
    session.tablePasswords = options.tablePasswords;
    session.encryptionPassword = options.encryptionPassword;
  }
  ~RunPasswords() {
    session.tablePasswords.clear();
    session.encryptionPassword.reset();
  }
};

// When a run must stop: the statement's own timeout, else the connection's (seconds, 0 none).
std::optional<std::chrono::steady_clock::time_point> DeadlineOf(Session& session, uint32_t timeoutSeconds) {
  uint32_t seconds = timeoutSeconds;
  if (seconds == 0) {
    std::shared_ptr<core::Connection> c = session.Connection();
    std::lock_guard<std::mutex> cl(c->mutex);
    seconds = c->sql_timeout;
  }
  if (seconds == 0) return std::nullopt;
  return std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
}

bool IsRowChangingStatement(const std::string& text) {
  std::vector<std::string> words = LeadingWords(text, 1);
  return !words.empty() && (words[0] == "INSERT" || words[0] == "UPDATE" || words[0] == "DELETE" ||
                            words[0] == "REPLACE" || words[0] == "WITH");
}

}  // namespace

// One execution of a statement's text: its parts run in order, each through the engine (system
// procedures, DDL) or through SQLite, and the last part that gives rows leaves the cursor.
class StatementRun {
 public:
  StatementRun(Statement& statement, uint32_t self) : st_(statement), session_(*statement.session_), self_(self) {
    state_.deadline = DeadlineOf(session_, statement.timeoutSeconds);
  }

  RunState& state() { return state_; }

  // Runs every part; returns the cursor of the last one (0 when it gives no rows). The cursors
  // of earlier parts are released; on failure every cursor of the run is.
  uint32_t RunParts(const std::vector<StatementText>& parts, bool checkShape) {
    EngineStatementContext context = EngineContext();
    uint32_t cursor = 0;
    std::vector<uint32_t> produced;  // cursors of earlier statements of a script, released at the end
    try {
      for (size_t p = 0; p < parts.size(); ++p) {
        if (cursor) {
          produced.push_back(cursor);
          cursor = 0;
        }
        if (std::optional<EngineStatementResult> r = RunEngineStatement(context, parts[p])) {
          cursor = r->cursor;
          st_.rowsAffected_ = r->rowsAffected;
          // Procedures change tables' properties and rights: later parts see them afresh.
          session_.ForgetTables();
          continue;
        }
        RunPartAgainWhenStale(parts[p], checkShape && p + 1 == parts.size(), &cursor);
        if (session_.lastAutoinc) st_.lastAutoinc_ = session_.lastAutoinc;
      }
    } catch (...) {
      for (uint32_t h : produced) core::Handles::Remove(h, core::Kind::kCursor);
      if (cursor) core::Handles::Remove(cursor, core::Kind::kCursor);
      throw;
    }
    for (uint32_t h : produced) core::Handles::Remove(h, core::Kind::kCursor);
    return cursor;
  }

 private:
  // Binds every marker of `stmt` to the statement's parameter of its number.
  void BindAll(sqlite3_stmt* stmt) {
    for (int j = 1; j <= sqlite3_bind_parameter_count(stmt); ++j) {
      uint32_t n = MarkerNumber(stmt, j);
      auto it = st_.params_.find(n);
      if (it == st_.params_.end()) FailSql(native::kParameter, "Parameter " + std::to_string(n) + " has no value.");
      Bind(stmt, j, it->second);
    }
  }

  // A step function over `stmt`: true for a row, false at its end; a failure (the timeout and
  // the abort callback included) raises the engine error for it.
  auto Stepper(sqlite3_stmt* stmt) {
    return [this, stmt]() {
      int rc = sqlite3_step(stmt);
      if (rc == SQLITE_ROW) return true;
      if (rc == SQLITE_DONE) return false;
      FailStep(session_, rc, state_);
    };
  }

  uint32_t RegisterCursor(std::shared_ptr<table::TableCursor> cursor, bool live) {
    uint32_t h = core::Handles::Add(core::Kind::kCursor, std::move(cursor), self_);
    NoteCursor(h, live);
    return h;
  }

  // What the statements the engine runs itself need of SQLite: values of expressions and
  // cursors of selections, bound to the statement's parameters.
  EngineStatementContext EngineContext() {
    EngineStatementContext context{session_, self_, {}, {}, st_.options.charType, st_.options.collation};
    context.evaluate = [this](const std::vector<std::string>& expressions) {
      std::vector<std::string> values;
      if (expressions.empty()) return values;
      std::string select = "SELECT ";
      for (size_t i = 0; i < expressions.size(); ++i) select += (i ? ", " : "") + expressions[i];
      StmtPtr stmt = PrepareWithTables(session_, select);
      BindAll(stmt.get());
      if (Stepper(stmt.get())()) {
        for (int i = 0; i < sqlite3_column_count(stmt.get()); ++i) {
          const unsigned char* t = sqlite3_column_text(stmt.get(), i);
          values.push_back(t ? reinterpret_cast<const char*>(t) : "");
        }
      }
      return values;
    };
    context.cursorFrom = [this](const std::string& select) {
      StmtPtr stmt = PrepareWithTables(session_, select);
      BindAll(stmt.get());
      return RegisterCursor(MaterialiseResult(session_, stmt.get(), Stepper(stmt.get()), select), false);
    };
    return context;
  }

  // A kept virtual table found stale when the part first touched it, or a failure while some
  // kept virtual table no longer matches its table (SQLite judged the statement by old fields),
  // makes the part run again with new ones, unless it already changed records.
  void RunPartAgainWhenStale(const StatementText& part, bool checkShape, uint32_t* cursor) {
    for (int attempt = 0;; ++attempt) {
      uint64_t writes = session_.writes;
      try {
        RunPart(part, checkShape, cursor);
        return;
      } catch (const EngineError&) {
        if (attempt >= 2 || session_.writes != writes) throw;
        std::optional<std::string> stale = session_.TakeStale();
        if (stale) {
          session_.EndStatement();
          session_.ForgetTable(*stale);
        } else if (!session_.ForgetChangedTables()) {
          throw;
        }
      }
    }
  }

  void RunPart(const StatementText& part, bool checkShape, uint32_t* cursor) {
    if (st_.options.readOnly == 2 && OpenLiveSelection(part, cursor)) return;
    StmtPtr stmt = PrepareWithTables(session_, part.text);
    if (checkShape && !st_.preparedColumns_.empty() && ColumnNames(stmt.get()) != st_.preparedColumns_) {
      Fail(err::kStatementMustBeRecreated,
           "The tables of the prepared statement changed since it was prepared; close the statement, create it "
           "again and prepare it.");
    }
    BindAll(stmt.get());
    if (sqlite3_column_count(stmt.get()) > 0) {
      *cursor = RegisterCursor(MaterialiseResult(session_, stmt.get(), Stepper(stmt.get()), part.text), false);
      st_.rowsAffected_.reset();
      return;
    }
    auto step = Stepper(stmt.get());
    while (step()) {
    }
    if (!sqlite3_stmt_readonly(stmt.get()) && IsRowChangingStatement(part.text)) {
      st_.rowsAffected_ = static_cast<uint32_t>(sqlite3_changes(session_.db()));
    } else {
      st_.rowsAffected_.reset();
    }
  }

  // A live cursor: the table itself, with the records the condition chose, walking the tag that
  // an ORDER BY names. False when the part is no plain selection of one table or the table
  // cannot be shown live; the part then gives a static cursor.
  bool OpenLiveSelection(const StatementText& part, uint32_t* cursor) {
    std::optional<PlainSelect> plain = PlainSelection(part.text);
    if (!plain) return false;
    std::optional<ResolvedTable> t = session_.Resolve(plain->table);
    std::shared_ptr<table::TableCursor> live = t ? OpenLiveCursor(session_, *t, st_.options, plain->order) : nullptr;
    if (!live) return false;
    if (plain->hasCondition) live->SetFilter(ChosenBy(part.text, *plain, live->table().RecordCount()));
    *cursor = RegisterCursor(live, true);
    if (!live->info().ownOrder.empty()) {
      index::TableIndexes::Tag* tag = index::TableIndexes::Of(live->table()).FindTag(live->info().ownOrder);
      live->SetDefaultOrder(index_api::OrderOf(index_api::HandleFor(*cursor, live, tag->id)));
    }
    st_.rowsAffected_.reset();
    return true;
  }

  // The records a plain selection's condition chooses, found once through SQLite; the live
  // cursor then shows those records as the table holds them.
  std::shared_ptr<table::RecordFilter> ChosenBy(const std::string& text, const PlainSelect& plain,
                                               uint32_t recordCount) {
    std::string select = text.substr(0, plain.starOffset) + "_rowid_" +
                         text.substr(plain.starOffset + 1,
                                     plain.end == std::string::npos ? std::string::npos : plain.end - plain.starOffset - 1);
    StmtPtr stmt = PrepareWithTables(session_, select);
    BindAll(stmt.get());
    std::set<uint32_t> chosen;
    auto step = Stepper(stmt.get());
    while (step()) chosen.insert(static_cast<uint32_t>(sqlite3_column_int64(stmt.get(), 0)));
    return std::make_shared<ChosenRecords>(std::move(chosen), recordCount);
  }

  Statement& st_;
  Session& session_;
  uint32_t self_;
  RunState state_;
};

uint32_t Statement::Run(uint32_t self, const std::string& sql, bool checkShape) {
  auto lock = session_->Lock();
  session_->Connection();  // 5024 once the connection is gone
  EndGuard end{*session_};
  RunPasswords passwords(*session_, options);
  rowsAffected_.reset();
  session_->lastAutoinc = 0;

  StatementRun run(*this, self);
  ProgressGuard progress(session_->db(), &run.state());
  std::vector<StatementText> parts = SplitStatements(sql);
  if (parts.empty()) FailSql(native::kSyntax, "Syntax error: the statement is empty.");
  uint32_t cursor = run.RunParts(parts, checkShape);
  if (session_->lastAutoinc) lastAutoinc_ = session_->lastAutoinc;
  return cursor;
}

}  // namespace engine::sql
