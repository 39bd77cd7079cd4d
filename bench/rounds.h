// The figures of a benchmark measured in rounds: the median of the rounds and their spread (the
// lowest and the highest), so that a reader sees both the typical figure and how much the
// machine disturbed it.
#pragma once

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace bench {

struct Spread {
  double median = 0, low = 0, high = 0;
};

// The median (the mean of the middle two for an even count), lowest and highest of `values`;
// all zero when there are none.
inline Spread SpreadOf(std::vector<double> values) {
  Spread s;
  if (values.empty()) return s;
  std::sort(values.begin(), values.end());
  size_t n = values.size();
  s.median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
  s.low = values.front();
  s.high = values.back();
  return s;
}

// "1.23 (1.10 to 1.40)": a median with its spread, each value multiplied by `scale`.
inline std::string Format(const Spread& s, const char* format = "%.2f", double scale = 1) {
  char median[32], low[32], high[32];
  std::snprintf(median, sizeof median, format, s.median * scale);
  std::snprintf(low, sizeof low, format, s.low * scale);
  std::snprintf(high, sizeof high, format, s.high * scale);
  return std::string(median) + " (" + low + " to " + high + ")";
}

}  // namespace bench
