// aceadmin: the engine's command-line admin shell.
//
//   aceadmin COMMAND ARGUMENTS...      run one command
//   aceadmin help                      list the commands
//
// The password of the administrator is taken from the environment variable ACEADMIN_PASSWORD
// when the dictionary has one. Exit status 0 on success, 1 when the engine refused, 2 for a
// usage error.
#include <iostream>

#include "tools/aceadmin/command.h"

namespace {

void Usage(std::ostream& out) {
  out << "usage: aceadmin COMMAND ARGUMENTS...\n\ncommands:\n";
  for (const auto* c : aceadmin::Commands()) {
    out << "  " << c->name << " " << c->usage << "\n      " << c->summary << "\n";
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::string(argv[1]) == "help" || std::string(argv[1]) == "--help") {
    Usage(argc < 2 ? std::cerr : std::cout);
    return argc < 2 ? 2 : 0;
  }
  const aceadmin::Command* command = aceadmin::FindCommand(argv[1]);
  if (!command) {
    std::cerr << "aceadmin: unknown command \"" << argv[1] << "\"\n";
    Usage(std::cerr);
    return 2;
  }
  std::vector<std::string> args(argv + 2, argv + argc);
  return command->run(args, std::cout, std::cerr);
}
