// Julian day numbers of the proleptic Gregorian calendar (the engine's date encoding) and the
// local time of day. Pure functions except NowLocal, which reads the clock.
#pragma once

#include <cstdint>

namespace engine::table {

struct CivilDate {
  int year = 0;
  int month = 0;
  int day = 0;
};

// Julian day of a civil date; the date must be valid (see IsValidCivil).
int32_t CivilToJulian(const CivilDate& date);
CivilDate JulianToCivil(int32_t julian);
bool IsValidCivil(const CivilDate& date);

// The current local date (julian day) and milliseconds of the day.
void NowLocal(int32_t* julian, int32_t* milliseconds);

}  // namespace engine::table
