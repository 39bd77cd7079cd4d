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

namespace engine::expr {

// The julian day of a proleptic Gregorian date, or 0 when the date does not exist.
int64_t JulianFromYmd(int year, int month, int day);
void YmdFromJulian(int64_t julian, int& year, int& month, int& day);

// Local time now, as julian day * 86400000 + milliseconds of the day.
int64_t LocalNowMs();

class DateFormat {
 public:
  // The pattern holds one day run (D or DD), one month run (M, MM, or MMM for the month's
  // three-letter English abbreviation) and one year run (YY, YYYY or CCYY), any other
  // characters being separators; returns nothing otherwise.
  static std::optional<DateFormat> Parse(std::string_view pattern);

  const std::string& pattern() const { return pattern_; }
  // The longest text write() gives (single D and M may take two digits).
  uint32_t length() const { return length_; }

  // Writes the date and returns the characters written (at most length()); the empty date is
  // written as blanks in place of the digits, at the longest width.
  uint32_t Write(int64_t julian, char* out) const;
  // The julian day the text names, 0 for blank or unreadable text.
  int64_t Read(std::string_view text, int epoch) const;

 private:
  struct Piece {
    char kind;        // 'D', 'M', 'N' (month name), 'Y', or 0 for a literal character
    uint32_t width;   // digits (2 for single D and M when writing two-digit values)
    bool minimal;     // single D or M: no leading zero
    char literal;
  };
  std::string pattern_;
  Piece pieces_[16];
  int count_ = 0;
  uint32_t length_ = 0;
  bool separated_ = true;
};

// "HH:MM:SS" (8 characters) for milliseconds since midnight.
void WriteTime(int64_t ms, char* out);
// Reads "HH:MM[:SS[.fff]]" with an optional AM/PM; nothing for unreadable text.
std::optional<int64_t> ReadTime(std::string_view text);

}  // namespace engine::expr
