#include "tools/aceadmin/arguments.h"

#include <cctype>
#include <ostream>

#include "tools/aceadmin/command.h"

namespace aceadmin {

bool Arguments::Has(const std::string& option) const {
  for (const auto& [name, value] : options) {
    if (name == option) return true;
  }
  return false;
}

std::string Arguments::Value(const std::string& option) const {
  std::string last;
  for (const auto& [name, value] : options) {
    if (name == option) last = value;
  }
  return last;
}

std::vector<std::string> Arguments::Values(const std::string& option) const {
  std::vector<std::string> all;
  for (const auto& [name, value] : options) {
    if (name == option) all.push_back(value);
  }
  return all;
}

namespace {

// "-" alone and negative numbers are values, not options.
bool LooksLikeOption(const std::string& word) {
  return word.size() > 1 && word[0] == '-' && !std::isdigit(static_cast<unsigned char>(word[1]));
}

std::string Count(size_t n) { return std::to_string(n) + (n == 1 ? " argument" : " arguments"); }

}  // namespace

std::string ParseArguments(const std::vector<std::string>& args, std::initializer_list<KnownOption> options,
                           size_t min, size_t max, Arguments* parsed) {
  *parsed = Arguments();
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    if (optionsEnded || !LooksLikeOption(word)) {
      parsed->positional.push_back(word);
      continue;
    }
    if (word == "--") {
      optionsEnded = true;
      continue;
    }
    const KnownOption* known = nullptr;
    for (const KnownOption& o : options) {
      if (word == o.name) known = &o;
    }
    if (!known) return "unknown option \"" + word + "\"";
    if (!known->takesValue) {
      parsed->options.emplace_back(word, "");
      continue;
    }
    if (i + 1 >= args.size()) return word + " needs a value";
    parsed->options.emplace_back(word, args[++i]);
  }
  const size_t n = parsed->positional.size();
  if (n < min) {
    return "too few arguments (" + std::to_string(n) + " given, " + (min == max ? "" : "at least ") +
           std::to_string(min) + " expected)";
  }
  if (n > max) {
    return "unexpected argument \"" + parsed->positional[max] + "\" (" + (min == max ? "" : "at most ") + Count(max) +
           " expected)";
  }
  return "";
}

int UsageError(const std::string& command, const std::string& problem, std::ostream& err) {
  err << "aceadmin: " << command << ": " << problem << "\n";
  const Command* c = FindCommand(command);
  err << "usage: aceadmin " << command << (c && !c->usage.empty() ? " " + c->usage : "") << "\n";
  return 2;
}

bool ParseNumber(const std::string& text, unsigned long min, unsigned long max, unsigned long* value) {
  if (text.empty() || text.size() > 19) return false;
  unsigned long long n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + static_cast<unsigned>(c - '0');
  }
  if (n < min || n > max) return false;
  *value = static_cast<unsigned long>(n);
  return true;
}

}  // namespace aceadmin
