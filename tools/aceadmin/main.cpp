// aceadmin: the engine's command-line admin shell.
//
//   aceadmin COMMAND ARGUMENTS...      run one command
//   aceadmin --help                    list the commands (also: aceadmin help)
//   aceadmin COMMAND --help            explain one command (also: aceadmin help COMMAND)
//
// The password of the administrator is taken from the environment variable ACEADMIN_PASSWORD
// when the dictionary has one. Exit status 0 on success, 1 when the engine refused, 2 for a
// usage error (a wrong command or argument: the problem and the usage go to standard error).
// Arguments and output are in the terminal's encoding (see terminal_text.h).
#include <algorithm>
#include <clocale>
#include <iostream>

#include "tools/aceadmin/command.h"
#include "tools/aceadmin/terminal_text.h"

namespace {

void Usage(std::ostream& out) {
  out << "usage: aceadmin COMMAND ARGUMENTS...\n"
         "       aceadmin COMMAND --help\n\ncommands:\n";
  for (const auto* c : aceadmin::Commands()) {
    out << "  " << c->name << " " << c->usage << "\n      " << c->summary << "\n";
  }
}

void CommandHelp(const aceadmin::Command& c, std::ostream& out) {
  out << "usage: aceadmin " << c.name << " " << c.usage << "\n\n" << c.summary << ".\n";
  if (!c.details.empty()) out << "\n" << c.details << (c.details.back() == '\n' ? "" : "\n");
}

// The number of single-character edits between a and b.
size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

int UnknownCommand(const std::string& word) {
  std::cerr << "aceadmin: unknown " << (word.size() > 1 && word[0] == '-' ? "option" : "command") << " \"" << word
            << "\"";
  const aceadmin::Command* nearest = nullptr;
  size_t best = 3;  // suggest only a near miss
  for (const auto* c : aceadmin::Commands()) {
    size_t d = EditDistance(word, c->name);
    if (d < best) best = d, nearest = c;
  }
  if (nearest) std::cerr << "; did you mean \"" << nearest->name << "\"?";
  std::cerr << "\nusage: aceadmin COMMAND ARGUMENTS... (aceadmin --help lists the commands)\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_CTYPE, "");
  aceadmin::TerminalStream out(std::cout), err(std::cerr);
  if (argc < 2) {
    std::cerr << "aceadmin: no command given\n";
    Usage(std::cerr);
    return 2;
  }
  const std::string first = aceadmin::TerminalToAnsi(argv[1]);
  if (first == "--help" || first == "-h" || first == "help") {
    if (first == "help" && argc > 2) {
      const std::string name = aceadmin::TerminalToAnsi(argv[2]);
      const aceadmin::Command* command = aceadmin::FindCommand(name);
      if (!command) return UnknownCommand(name);
      CommandHelp(*command, std::cout);
      return 0;
    }
    Usage(std::cout);
    return 0;
  }
  if (first == "--version") {
    std::cout << "aceadmin " << QUENLOR_VERSION << "\n";
    return 0;
  }
  const aceadmin::Command* command = aceadmin::FindCommand(first);
  if (!command) return UnknownCommand(first);
  std::vector<std::string> args;
  for (int i = 2; i < argc; ++i) args.push_back(aceadmin::TerminalToAnsi(argv[i]));
  for (const std::string& a : args) {
    if (a == "--") break;  // what follows is the command's, whatever it looks like
    if (a == "--help" || a == "-h") {
      CommandHelp(*command, std::cout);
      return 0;
    }
  }
  return command->run(args, std::cout, std::cerr);
}
