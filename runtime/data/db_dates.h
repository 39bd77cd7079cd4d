// Conversions between TDateTime (a double: days since 1899-12-30 in the integer part, the time
// of day as the fraction; before 1899-12-30 the fraction still counts forwards from midnight)
// and the value forms date, time and date-time fields exchange with their dataset: a day number
// in which 0001-01-01 is day 1, milliseconds since midnight, and day number x 86,400,000 plus
// the milliseconds of the day. Also the texts of such values that field objects show.
//
// Threading: pure functions.
#pragma once

#include <QString>
#include <cstdint>

#include "runtime/datetime.h"

namespace dbdates {

// Day number of 1899-12-30 in the calendar in which 0001-01-01 is day 1.
constexpr int kDateDelta = 693594;
constexpr double kMSecsPerDay = 86400000.0;

int32_t DateTimeToDayNumber(TDateTime value);
TDateTime DayNumberToDateTime(int32_t dayNumber);
// Milliseconds since midnight of the time part, rounded.
int32_t DateTimeToMSecsOfDay(TDateTime value);
TDateTime MSecsOfDayToDateTime(int32_t msecs);
// The date-time value form: day number x 86,400,000 + milliseconds of the day.
double DateTimeToTimeStampMSecs(TDateTime value);
TDateTime TimeStampMSecsToDateTime(double msecs);

// Texts: "yyyy-mm-dd", "hh:nn:ss" (milliseconds as ".zzz" when not 0), and both with a blank
// between them (the time left out when it is midnight).
QString DateText(TDateTime value);
QString TimeText(TDateTime value);
QString DateTimeText(TDateTime value);
// Parse the texts above (a date-time text may omit its time); false when the text is not one.
bool TryParseDate(const QString& text, TDateTime& value);
bool TryParseTime(const QString& text, TDateTime& value);
bool TryParseDateTime(const QString& text, TDateTime& value);

}  // namespace dbdates
