// Kill delays for the tests that kill a child process at a random moment of a run and need
// kills on both sides of a point inside it (the rename that puts a new file in place of the
// old one). Each delay is drawn from [0, bound]; the bound starts from the run's time as
// measured at the start of the test and then follows what the rounds show: when the last
// rounds all ended on one side of the point, the machine has become slower or faster than when
// the run was measured, and the bound moves towards the side not seen. So a changing load
// cannot leave every kill on one side, and the test can still ask for both outcomes.
#pragma once

#include <chrono>
#include <cstdint>
#include <random>

namespace acetest {

class KillDelays {
 public:
  // `seconds`: the run's measured time; `reach`: the first bound as a multiple of it.
  KillDelays(double seconds, double reach, unsigned seed) : bound_(seconds * reach), rng_(seed) {}

  std::chrono::microseconds Next() {
    const auto most = static_cast<int64_t>(bound_ * 1e6);
    return std::chrono::microseconds(std::uniform_int_distribution<int64_t>(0, most > 0 ? most : 1)(rng_));
  }

  // What the last round showed: whether the run had passed the point when it was killed (or
  // ended before the kill).
  void Saw(bool passed) {
    int& streak = passed ? passedStreak_ : earlyStreak_;
    (passed ? earlyStreak_ : passedStreak_) = 0;
    ++(passed ? passed_ : early_);
    if (++streak < kStreak) return;
    // Every recent kill fell on one side: reach further, or come closer.
    bound_ = passed ? bound_ / 1.5 : bound_ * 1.5;
    streak = 0;
  }

  bool SawBothSides() const { return passed_ > 0 && early_ > 0; }
  int passed() const { return passed_; }
  int early() const { return early_; }
  double bound() const { return bound_; }

 private:
  static constexpr int kStreak = 3;
  double bound_;
  std::mt19937 rng_;
  int passed_ = 0, early_ = 0;
  int passedStreak_ = 0, earlyStreak_ = 0;
};

}  // namespace acetest
