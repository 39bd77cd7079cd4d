#include "engine/table/julian.h"

#include <sys/time.h>
#include <time.h>

namespace engine {

int32_t CivilToJulian(const CivilDate& d) {
  // Fliegel and Van Flandern's conversion.
  int64_t a = (14 - d.month) / 12;
  int64_t y = d.year + 4800 - a;
  int64_t m = d.month + 12 * a - 3;
  return static_cast<int32_t>(d.day + (153 * m + 2) / 5 + 365 * y + y / 4 - y / 100 + y / 400 - 32045);
}

CivilDate JulianToCivil(int32_t julian) {
  int64_t a = julian + 32044;
  int64_t b = (4 * a + 3) / 146097;
  int64_t c = a - 146097 * b / 4;
  int64_t d = (4 * c + 3) / 1461;
  int64_t e = c - 1461 * d / 4;
  int64_t m = (5 * e + 2) / 153;
  CivilDate out;
  out.day = static_cast<int>(e - (153 * m + 2) / 5 + 1);
  out.month = static_cast<int>(m + 3 - 12 * (m / 10));
  out.year = static_cast<int>(100 * b + d - 4800 + m / 10);
  return out;
}

bool IsValidCivil(const CivilDate& d) {
  if (d.year < 1 || d.year > 9999 || d.month < 1 || d.month > 12 || d.day < 1) return false;
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int days = kDays[d.month - 1];
  bool leap = (d.year % 4 == 0 && d.year % 100 != 0) || d.year % 400 == 0;
  if (d.month == 2 && leap) days = 29;
  return d.day <= days;
}

void NowLocal(int32_t* julian, int32_t* milliseconds) {
  struct timeval tv;
  gettimeofday(&tv, nullptr);
  struct tm local;
  time_t secs = tv.tv_sec;
  localtime_r(&secs, &local);
  *julian = CivilToJulian({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday});
  *milliseconds = ((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec) * 1000 + static_cast<int32_t>(tv.tv_usec / 1000);
}

}  // namespace engine
