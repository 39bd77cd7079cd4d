#include "engine/sql/procedures.h"

#include <functional>
#include <map>

#include "engine/core/codepage.h"
#include "engine/core/connection.h"
#include "engine/dict/dictionary.h"
#include "engine/sql/session.h"
#include "engine/sql/sql_error.h"

namespace engine::sql {

namespace {

struct Call {
  std::string name;                    // as written
  std::vector<std::string> arguments;  // SQL expressions
};

// "EXECUTE PROCEDURE name(arg, ...)"; the argument texts split at commas outside brackets.
Call ParseCall(const std::string& text, const std::vector<Token>& t) {
  size_t i = 1;
  if (i < t.size() && !t[i].quoted && Upper(t[i].text) == "PROCEDURE") ++i;
  if (i >= t.size() || t[i].literal) FailSql(native::kSyntax, "Syntax error: EXECUTE PROCEDURE needs a procedure name.");
  Call call{t[i].text, {}};
  ++i;
  if (i >= t.size()) return call;
  if (t[i].text != "(" || t[i].quoted || t[i].literal) {
    FailSql(native::kSyntax, "Syntax error: the arguments of " + call.name + " belong in parentheses.");
  }
  size_t open = i;
  int depth = 0;
  size_t argStart = t[open].offset + 1;
  size_t close = std::string::npos;
  for (size_t k = open; k < t.size(); ++k) {
    if (t[k].quoted || t[k].literal) continue;
    if (t[k].text == "(") ++depth;
    if (t[k].text == ")" && --depth == 0) {
      close = k;
      break;
    }
    if (t[k].text == "," && depth == 1) {
      call.arguments.push_back(text.substr(argStart, t[k].offset - argStart));
      argStart = t[k].offset + 1;
    }
  }
  if (close == std::string::npos) FailSql(native::kSyntax, "Syntax error: the arguments of " + call.name + " are not closed.");
  if (close + 1 != t.size()) FailSql(native::kSyntax, "Syntax error: text follows the call of " + call.name + ".");
  std::string lastArg = text.substr(argStart, t[close].offset - argStart);
  bool blank = lastArg.find_first_not_of(" \t\r\n") == std::string::npos;
  if (!blank || !call.arguments.empty()) call.arguments.push_back(lastArg);
  return call;
}

std::string Literal(const std::string& utf8) {
  std::string out = "'";
  for (char c : utf8) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

void ArgumentCount(const Call& call, size_t least, size_t most) {
  if (call.arguments.size() < least || call.arguments.size() > most) {
    std::string range = least == most ? std::to_string(least) : std::to_string(least) + " to " + std::to_string(most);
    FailSql(native::kProcedureArguments, "The procedure " + call.name + " takes " + range + " arguments; " +
                                             std::to_string(call.arguments.size()) + " were given.");
  }
}

// The connection's dictionary, for procedures that change it; only the administrator may.
dict::Dictionary& AdminDictionary(Session& s, const Call& call) {
  std::shared_ptr<core::Connection> c = s.Connection();
  if (!c->is_dictionary || !c->dictionary) {
    FailSql(native::kUnsupported, "The procedure " + call.name + " needs a data dictionary connection.");
  }
  if (!c->is_administrator) {
    Fail(err::kNotAdministrator, "The procedure " + call.name + " may be run by the administrator (adssys) only.");
  }
  return *c->dictionary;
}

using Handler = std::function<EngineStatementResult(EngineStatementContext&, const Call&, std::vector<std::string>&)>;

std::string Ansi(const std::string& utf8) { return core::Utf8ToAnsi(utf8); }

const std::map<std::string, std::pair<std::pair<size_t, size_t>, Handler>>& Procedures() {
  static const std::map<std::string, std::pair<std::pair<size_t, size_t>, Handler>> table = {
      {"SP_SETAPPLICATIONID",
       {{1, 1},
        [](EngineStatementContext& c, const Call&, std::vector<std::string>& a) {
          std::shared_ptr<core::Connection> connection = c.session.Connection();
          std::lock_guard<std::mutex> lock(connection->mutex);
          connection->application_id = a[0];
          return EngineStatementResult{};
        }}},
      {"SP_GETAPPLICATIONID",
       {{0, 0},
        [](EngineStatementContext& c, const Call&, std::vector<std::string>&) {
          std::string id;
          {
            std::shared_ptr<core::Connection> connection = c.session.Connection();
            std::lock_guard<std::mutex> lock(connection->mutex);
            id = connection->application_id;
          }
          EngineStatementResult r;
          r.cursor = c.cursorFrom("SELECT CAST(" + Literal(id) + " AS TEXT) AS \"ApplicationID\"");
          return r;
        }}},
      {"SP_MODIFYTABLEPROPERTY",
       {{3, 5},
        [](EngineStatementContext& c, const Call& call, std::vector<std::string>& a) {
          dict::Dictionary& d = AdminDictionary(c.session, call);
          dict::TableEntry entry = d.GetTable(Ansi(a[0]));
          std::string property = Upper(a[1]);
          if (property == "TABLE_PRIMARY_KEY") {
            entry.primary_key = Ansi(a[2]);
          } else if (property == "TABLE_DEFAULT_INDEX") {
            entry.default_index = Ansi(a[2]);
          } else {
            FailSql(native::kUnsupported, "The table property " + a[1] + " is not supported; TABLE_PRIMARY_KEY and "
                                          "TABLE_DEFAULT_INDEX are.");
          }
          d.UpdateTable(entry);
          return EngineStatementResult{};
        }}},
      {"SP_CREATEUSER",
       {{2, 3},
        [](EngineStatementContext& c, const Call& call, std::vector<std::string>& a) {
          AdminDictionary(c.session, call).CreateUser(Ansi(a[0]), Ansi(a[1]), a.size() > 2 ? Ansi(a[2]) : "");
          return EngineStatementResult{};
        }}},
      {"SP_DROPUSER",
       {{1, 1},
        [](EngineStatementContext& c, const Call& call, std::vector<std::string>& a) {
          AdminDictionary(c.session, call).DeleteUser(Ansi(a[0]));
          return EngineStatementResult{};
        }}},
      {"SP_MODIFYUSERPROPERTY",
       {{3, 3},
        [](EngineStatementContext& c, const Call& call, std::vector<std::string>& a) {
          dict::Dictionary& d = AdminDictionary(c.session, call);
          if (Upper(a[1]) != "USER_PASSWORD") {
            FailSql(native::kUnsupported, "The user property " + a[1] + " is not supported; USER_PASSWORD is.");
          }
          d.SetPassword(Ansi(a[0]), Ansi(a[2]));
          return EngineStatementResult{};
        }}},
      {"SP_CREATEGROUP",
       {{1, 2},
        [](EngineStatementContext& c, const Call& call, std::vector<std::string>& a) {
          AdminDictionary(c.session, call).CreateGroup(Ansi(a[0]), a.size() > 1 ? Ansi(a[1]) : "");
          return EngineStatementResult{};
        }}},
      {"SP_DROPGROUP",
       {{1, 1},
        [](EngineStatementContext& c, const Call& call, std::vector<std::string>& a) {
          AdminDictionary(c.session, call).DeleteGroup(Ansi(a[0]));
          return EngineStatementResult{};
        }}},
      {"SP_ADDUSERTOGROUP",
       {{2, 2},
        [](EngineStatementContext& c, const Call& call, std::vector<std::string>& a) {
          AdminDictionary(c.session, call).AddToGroup(Ansi(a[1]), Ansi(a[0]));
          return EngineStatementResult{};
        }}},
      {"SP_REMOVEUSERFROMGROUP",
       {{2, 2},
        [](EngineStatementContext& c, const Call& call, std::vector<std::string>& a) {
          AdminDictionary(c.session, call).RemoveFromGroup(Ansi(a[1]), Ansi(a[0]));
          return EngineStatementResult{};
        }}},
  };
  return table;
}

}  // namespace

EngineStatementResult RunProcedure(EngineStatementContext& context, const std::string& text,
                                   const std::vector<Token>& tokens) {
  Call call = ParseCall(text, tokens);
  auto it = Procedures().find(Upper(call.name));
  if (it == Procedures().end()) {
    FailSql(native::kUnsupported, "The procedure " + call.name + " is not one the engine provides.");
  }
  ArgumentCount(call, it->second.first.first, it->second.first.second);
  std::vector<std::string> values = context.evaluate(call.arguments);
  return it->second.second(context, call, values);
}

}  // namespace engine::sql
