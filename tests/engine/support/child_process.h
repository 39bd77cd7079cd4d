// A second real process for the tests that need one: its opens, locks and transactions are
// another process's, as the engine meets them from other programs.
#pragma once

#include <sys/types.h>

#include <array>
#include <cstdint>
#include <functional>

namespace acetest {

// Runs `work` in a child process, which makes its own connections and opens, and answers what
// it returned (-1 when the child did not end by itself).
int RunInChild(const std::function<int()>& work);

// A child process that runs `work`, reports the values it returned, and then stays alive with
// whatever it opened and locked until it is killed (Kill, or when the holder goes).
class ChildHolder {
 public:
  using Report = std::array<uint32_t, 2>;
  explicit ChildHolder(const std::function<Report()>& work);
  ~ChildHolder() { Kill(); }
  ChildHolder(const ChildHolder&) = delete;
  ChildHolder& operator=(const ChildHolder&) = delete;

  void Kill();
  // What `work` returned; 0xFFFFFFFF in both when the child reported nothing.
  const Report& report() const { return report_; }

 private:
  pid_t pid_ = -1;
  Report report_ = {0, 0};
};

}  // namespace acetest
