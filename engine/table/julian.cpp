#include "engine/table/julian.h"

#include <sys/time.h>
#include <time.h>

#include "engine/core/date_format.h"

namespace engine::table {

int32_t CivilToJulian(const CivilDate& d) {
  return core::JulianFromCivil(d.year, static_cast<unsigned>(d.month), static_cast<unsigned>(d.day));
}

CivilDate JulianToCivil(int32_t julian) {
  CivilDate out;
  unsigned month = 0;
  unsigned day = 0;
  core::CivilFromJulian(julian, &out.year, &month, &day);
  out.month = static_cast<int>(month);
  out.day = static_cast<int>(day);
  return out;
}

bool IsValidCivil(const CivilDate& d) {
  return d.month >= 1 && d.day >= 1 &&
         core::IsValidCivil(d.year, static_cast<unsigned>(d.month), static_cast<unsigned>(d.day));
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

}  // namespace engine::table
