// The lines of the SQL shell's input. At a terminal they are read through libedit: the line
// can be edited (arrows, Home/End, Ctrl-A/E/K/W, ...) and earlier lines come back with the up
// arrow and Ctrl-R, also from earlier sessions. From a file or pipe they are read as they are,
// with no prompt.
//
// The history is kept in $ACEADMIN_HISTORY, or ~/.aceadmin_history; ACEADMIN_HISTORY set but
// empty keeps none. It holds the last 1000 lines, readable by its owner only (statements may
// hold passwords), and is written after every remembered line through a temporary file renamed
// over it, so that a crash or a full disk leaves the previous history whole and a Ctrl-C loses
// nothing typed before.
//
// libedit is BSD-licensed, so it may be linked into a program under any licence; GNU readline
// (GPL) may not.
//
// Not thread-safe: one reader per process (libedit's readline interface is global).
#pragma once

#include <iosfwd>
#include <string>

namespace aceadmin {

class LineReader {
 public:
  // Reads from `in`, or through libedit when standard input and output are terminals.
  explicit LineReader(std::istream& in);
  ~LineReader();
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  bool interactive() const { return interactive_; }

  // Shows `prompt` (at a terminal) and reads the next line, without its line end, into *line.
  // Returns false at the end of the input (Ctrl-D at a terminal).
  bool Read(const std::string& prompt, std::string* line);

  // Keeps `line` in the history (at a terminal; blank lines and a repeat of the line before are
  // not kept).
  void Remember(const std::string& line);

 private:
  void Save();

  std::istream& in_;
  bool interactive_;
  std::string historyFile_;  // empty: no history kept between sessions
  std::string last_;
};

}  // namespace aceadmin
