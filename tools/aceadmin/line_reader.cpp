#include "tools/aceadmin/line_reader.h"

#include <editline/readline.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace aceadmin {
namespace {

constexpr int kHistoryLines = 1000;

std::string HistoryFile() {
  if (const char* set = std::getenv("ACEADMIN_HISTORY")) return set;
  const char* home = std::getenv("HOME");
  if (!home || !*home) return "";
  return std::string(home) + "/.aceadmin_history";
}

}  // namespace

LineReader::LineReader(std::istream& in)
    : in_(in), interactive_(::isatty(STDIN_FILENO) != 0 && ::isatty(STDOUT_FILENO) != 0) {
  if (!interactive_) return;
  // libedit edits characters of the terminal's encoding.
  std::setlocale(LC_CTYPE, "");
  rl_readline_name = "aceadmin";
  rl_initialize();
  // A tab is part of the statement, not a request to complete a file name.
  rl_bind_key('\t', rl_insert);
  stifle_history(kHistoryLines);
  historyFile_ = HistoryFile();
  if (!historyFile_.empty()) read_history(historyFile_.c_str());  // none yet: an empty history
}

LineReader::~LineReader() = default;

bool LineReader::Read(const std::string& prompt, std::string* line) {
  if (!interactive_) return static_cast<bool>(std::getline(in_, *line));
  std::cout.flush();  // what the shell printed comes before the prompt
  std::cerr.flush();
  char* text = readline(prompt.c_str());
  if (!text) return false;
  line->assign(text);
  std::free(text);
  return true;
}

void LineReader::Remember(const std::string& line) {
  if (!interactive_ || line.find_first_not_of(" \t\r") == std::string::npos || line == last_) return;
  add_history(line.c_str());
  last_ = line;
  Save();
}

void LineReader::Save() {
  if (historyFile_.empty()) return;
  const std::string temporary = historyFile_ + ".tmp";
  // Created for its owner only before anything is written into it.
  int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0) return;  // the history stays in memory; the session goes on
  ::close(fd);
  if (write_history(temporary.c_str()) != 0 || std::rename(temporary.c_str(), historyFile_.c_str()) != 0) {
    std::remove(temporary.c_str());
  }
}

}  // namespace aceadmin
