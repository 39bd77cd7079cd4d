// Progress of long work, for a person watching at a terminal.
//
// A ProgressLine draws one line on standard error and redraws it in place as the work goes on:
//
//   reindex vessel: 45% of 120,000 records, 0:03
//   load vessel: 45%, 54,000 records, 0:03
//
// It is shown only when standard error is a terminal; otherwise nothing at all is written, so
// output that goes to a file or a pipe is exactly what it would be without it. While the line
// is shown, anything the command prints on standard output or standard error first clears it,
// so result and error lines are never mixed into it; the next update draws it again below
// them. It is cleared for good when the object goes.
//
// EngineProgress feeds a ProgressLine from the engine's progress callback (percent done),
// which the engine calls during the operations that report progress (rebuilding indexes,
// packing), for as long as it lives.
//
// Not thread-safe: one line at a time, on the thread that runs the command (the engine calls
// the progress callback on the calling thread).
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "ace/ace.h"

namespace aceadmin {

class ProgressLine {
 public:
  // `label` starts the line; `total` is the number of records of the whole work when known
  // (shown as "of N records"), 0 otherwise.
  explicit ProgressLine(std::string label, uint64_t total = 0);
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // The work is `percent` done (0 to 100) and has processed `records` (shown when the total is
  // unknown). The line appears once the work has taken a quarter of a second (or the
  // milliseconds in ACEADMIN_PROGRESS_DELAY_MS) and is redrawn at most ten times a second.
  void Update(unsigned percent, uint64_t records = 0);

  // Whether progress is shown at all (standard error is a terminal).
  static bool Shown();

 private:
  class Interceptor;
  void Draw();
  void Erase();

  std::string label_;
  uint64_t total_;
  unsigned percent_ = 0;
  uint64_t records_ = 0;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point start_, lastDraw_;
  std::unique_ptr<Interceptor> out_, err_;  // clear the line before other output
};

class EngineProgress {
 public:
  EngineProgress(std::string label, uint64_t total);
  ~EngineProgress();
  EngineProgress(const EngineProgress&) = delete;
  EngineProgress& operator=(const EngineProgress&) = delete;

 private:
  static UNSIGNED32 Callback(UNSIGNED16 percent);
  ProgressLine line_;
};

// "1,234,567".
std::string GroupedNumber(uint64_t n);

}  // namespace aceadmin
