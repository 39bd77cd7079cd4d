// Calendar arithmetic and the text forms of dates, times and timestamps.
//
// Dates are julian day numbers (2000-01-01 is 2451545; 0 is the empty date). A DateFormat is
// a pattern of D, M and Y runs with separators between them; it writes dates at a fixed
// length (blank digits for the empty date) and reads them leniently: the digit groups of the
// text are taken in the pattern's order, or by position when the pattern has no separators.
//
// Thread safety: DateFormat is immutable after construction.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace engine {

// The julian day of a proleptic Gregorian date, or 0 when the date does not exist.
int64_t JulianFromYmd(int year, int month, int day);
void YmdFromJulian(int64_t julian, int& year, int& month, int& day);

// Local time now, as julian day * 86400000 + milliseconds of the day.
int64_t LocalNowMs();

class DateFormat {
 public:
  // The pattern must contain one run each of D, M and Y (Y of length 2 or 4); returns nothing
  // otherwise.
  static std::optional<DateFormat> Parse(std::string_view pattern);

  const std::string& pattern() const { return pattern_; }
  uint32_t length() const { return static_cast<uint32_t>(pattern_.size()); }

  // Writes exactly length() characters.
  void write(int64_t julian, char* out) const;
  // The julian day the text names, 0 for blank or unreadable text.
  int64_t read(std::string_view text, int epoch) const;

 private:
  struct Part {
    char kind;     // 'D', 'M' or 'Y'
    uint32_t pos;  // offset in the pattern
    uint32_t width;
  };
  std::string pattern_;
  Part parts_[3];
  bool separated_ = true;
};

// "HH:MM:SS" (8 characters) for milliseconds since midnight.
void WriteTime(int64_t ms, char* out);
// Reads "HH:MM[:SS[.fff]]" with an optional AM/PM; nothing for unreadable text.
std::optional<int64_t> ReadTime(std::string_view text);

}  // namespace engine
