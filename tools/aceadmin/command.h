// The subcommands of aceadmin, the engine's command-line admin shell.
//
// Each subcommand lives in its own file and registers itself with a static Registrar:
//
//   static aceadmin::Registrar reg({"list-tables", "DICTIONARY|FOLDER", "List the tables", &ListTables});
//
// A command receives its arguments (after the subcommand name) and the output streams, and
// returns the process exit status. It works through the engine's C interface only.
//
// Thread safety: registration happens during static initialisation; the shell runs one command.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "ace/ace.h"

namespace aceadmin {

struct Command {
  std::string name;
  std::string usage;    // the arguments, e.g. "DICTIONARY USER [PASSWORD]"
  std::string summary;  // one line
  std::function<int(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)> run;
  std::string details;  // what "aceadmin COMMAND --help" adds: the arguments, options, exit status
};

// All registered commands, in name order.
std::vector<const Command*> Commands();
const Command* FindCommand(const std::string& name);

struct Registrar {
  explicit Registrar(Command command);
};

// Engine helpers shared by the commands.
UNSIGNED8* Text(const std::string& s);
// The thread's last engine error text ("Error n: ...").
std::string LastErrorText();
// Writes "aceadmin: <what>: <engine error>" to err and returns 1 when rc is not 0.
int Report(UNSIGNED32 rc, const std::string& what, std::ostream& err);
// Connects to a dictionary (as `user`, default adssys) or a folder; returns 0 or the code.
UNSIGNED32 ConnectTo(const std::string& path, const std::string& user, const std::string& password, ADSHANDLE* h);

}  // namespace aceadmin
