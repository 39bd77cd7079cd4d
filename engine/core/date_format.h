// Date formats of the engine ("MM/DD/CCYY", "DD.MM.YYYY", "YYYY-MM-DD", ...) and Julian day
// numbers.
//
// A format is up to 11 characters: exactly one day field (D or DD), one month field (M, MM or
// MMM for the English month abbreviation) and one year field (YY, YYYY or CCYY), in any order,
// separated by any characters other than letters. Letters are matched without case. Dates are
// Julian day numbers (2415019 is 1899-12-30, 2451545 is 2000-01-01); 0 stands for an empty date.
//
// The process has one default format (AdsSetDateFormat, initially "MM/DD/CCYY"); each connection
// takes a copy when it is made and may change it (AdsSetDateFormat60, DateFormat=).
//
// Thread safety: DateFormat is a value. The process default is guarded internally.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace engine::core {

class DateFormat {
 public:
  // Parses `text`; fails with 5911 naming the text when it is not a valid format.
  static DateFormat Parse(std::string_view text);
  // The same without failing.
  static std::optional<DateFormat> TryParse(std::string_view text);

  const std::string& text() const { return text_; }

  // The date of Julian day `julian` in this format; an empty text for 0.
  std::string Format(int32_t julian) const;
  // The Julian day of `text` in this format; 0 for a blank text; nullopt when it does not match
  // the format or names no real date. Two-digit years are taken as 1900 + yy for yy >= 50 and
  // 2000 + yy below.
  std::optional<int32_t> ParseDate(std::string_view text) const;

 private:
  std::string text_;
};

// Julian day number of a Gregorian calendar date (proleptic); no validation.
int32_t JulianFromCivil(int year, unsigned month, unsigned day);
// Calendar date of a Julian day number.
void CivilFromJulian(int64_t julian, int* year, unsigned* month, unsigned* day);
// True when the date exists in the calendar (year 1 to 9999).
bool IsValidCivil(int year, unsigned month, unsigned day);

// The process's default date format.
std::string ProcessDateFormat();
// Fails with 5911 for an invalid format.
void SetProcessDateFormat(std::string_view text);

// The number of changes made so far to any format in force (the process default and every
// connection's): a format worked out for a connection stays right while the number does not
// move. Whoever changes a connection's format counts the change after making it.
uint64_t DateFormatChanges();
void CountDateFormatChange();

}  // namespace engine::core
