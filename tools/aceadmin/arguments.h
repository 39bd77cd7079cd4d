// Reading a command's arguments, and the usage errors every command reports alike.
//
// A command declares the options it takes ("--limit N", "--free", "-u USER"); they may stand
// anywhere among its positional arguments, and "--" ends them (every word after it is
// positional, even one that starts with "-"). A word that starts with "-" and is not a declared
// option is an error, as is a declared option without its value, so that a mistyped option is
// never taken for a table name. "--help" never reaches a command: main answers it.
//
// A usage error prints the problem and the command's usage line, each ending its line, and
// gives exit status 2:
//
//   aceadmin: pack: too few arguments (1 given, 2 expected)
//   usage: aceadmin pack DICTIONARY|FOLDER TABLE
//
// Not thread-safe: the shell runs one command.
#pragma once

#include <initializer_list>
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

namespace aceadmin {

struct KnownOption {
  const char* name;  // "--limit", "-u"
  bool takesValue;
};

struct Arguments {
  std::vector<std::string> positional;
  std::vector<std::pair<std::string, std::string>> options;  // in the order given; value "" for a flag

  bool Has(const std::string& option) const;
  // The option's last value; empty when it was not given.
  std::string Value(const std::string& option) const;
  // Every value given for the option, in order.
  std::vector<std::string> Values(const std::string& option) const;
};

// Splits `args` into declared options and positional arguments. Returns "" on success, else the
// problem: an unknown option, an option without its value, or a number of positional arguments
// outside [min, max] (max = kAnyNumber: no upper bound).
constexpr size_t kAnyNumber = static_cast<size_t>(-1);
std::string ParseArguments(const std::vector<std::string>& args, std::initializer_list<KnownOption> options,
                           size_t min, size_t max, Arguments* parsed);

// Writes "aceadmin: COMMAND: PROBLEM" and the command's usage line to err; returns 2.
int UsageError(const std::string& command, const std::string& problem, std::ostream& err);

// The whole number `text` in [min, max] into *value; false for anything else (signs, blanks,
// other characters, out of range).
bool ParseNumber(const std::string& text, unsigned long min, unsigned long max, unsigned long* value);

}  // namespace aceadmin
