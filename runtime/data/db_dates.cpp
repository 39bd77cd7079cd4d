// Date and time value forms and texts of the dataset framework.
#include "runtime/data/db_dates.h"

#include <QDate>
#include <QRegularExpression>
#include <QTime>
#include <cmath>

namespace dbdates {

namespace {

const QDate kEpoch(1899, 12, 30);

// Splits a TDateTime into whole days (towards zero) and milliseconds of the day.
void split(TDateTime value, int64_t& days, int32_t& msecs) {
  double whole = std::trunc(value);
  days = static_cast<int64_t>(whole);
  double frac = std::fabs(value - whole);
  msecs = static_cast<int32_t>(std::llround(frac * kMSecsPerDay));
  if (msecs >= static_cast<int32_t>(kMSecsPerDay)) msecs = static_cast<int32_t>(kMSecsPerDay) - 1;
}

TDateTime join(int64_t days, int32_t msecs) {
  double frac = msecs / kMSecsPerDay;
  return days >= 0 ? static_cast<double>(days) + frac : static_cast<double>(days) - frac;
}

}  // namespace

int32_t DateTimeToDayNumber(TDateTime value) {
  int64_t days;
  int32_t msecs;
  split(value, days, msecs);
  return static_cast<int32_t>(days + kDateDelta);
}

TDateTime DayNumberToDateTime(int32_t dayNumber) {
  return static_cast<double>(static_cast<int64_t>(dayNumber) - kDateDelta);
}

int32_t DateTimeToMSecsOfDay(TDateTime value) {
  int64_t days;
  int32_t msecs;
  split(value, days, msecs);
  return msecs;
}

TDateTime MSecsOfDayToDateTime(int32_t msecs) { return msecs / kMSecsPerDay; }

double DateTimeToTimeStampMSecs(TDateTime value) {
  int64_t days;
  int32_t msecs;
  split(value, days, msecs);
  return static_cast<double>(days + kDateDelta) * kMSecsPerDay + msecs;
}

TDateTime TimeStampMSecsToDateTime(double msecs) {
  double dayNumber = std::floor(msecs / kMSecsPerDay);
  int32_t ofDay = static_cast<int32_t>(std::llround(msecs - dayNumber * kMSecsPerDay));
  if (ofDay >= static_cast<int32_t>(kMSecsPerDay)) {
    ofDay -= static_cast<int32_t>(kMSecsPerDay);
    dayNumber += 1;
  }
  return join(static_cast<int64_t>(dayNumber) - kDateDelta, ofDay);
}

QString DateText(TDateTime value) {
  int64_t days;
  int32_t msecs;
  split(value, days, msecs);
  QDate d = kEpoch.addDays(days);
  return QStringLiteral("%1-%2-%3")
      .arg(d.year(), 4, 10, QLatin1Char('0'))
      .arg(d.month(), 2, 10, QLatin1Char('0'))
      .arg(d.day(), 2, 10, QLatin1Char('0'));
}

QString TimeText(TDateTime value) {
  int32_t msecs = DateTimeToMSecsOfDay(value);
  QTime t = QTime::fromMSecsSinceStartOfDay(msecs);
  return t.msec() != 0 ? t.toString(QStringLiteral("hh:mm:ss.zzz")) : t.toString(QStringLiteral("hh:mm:ss"));
}

QString DateTimeText(TDateTime value) {
  if (DateTimeToMSecsOfDay(value) == 0) return DateText(value);
  return DateText(value) + QLatin1Char(' ') + TimeText(value);
}

bool TryParseDate(const QString& text, TDateTime& value) {
  static const QRegularExpression re(QStringLiteral("^\\s*(\\d{1,4})-(\\d{1,2})-(\\d{1,2})\\s*$"));
  auto m = re.match(text);
  if (!m.hasMatch()) return false;
  QDate d(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
  if (!d.isValid()) return false;
  value = static_cast<double>(kEpoch.daysTo(d));
  return true;
}

bool TryParseTime(const QString& text, TDateTime& value) {
  static const QRegularExpression re(
      QStringLiteral("^\\s*(\\d{1,2}):(\\d{2})(?::(\\d{2})(?:\\.(\\d{1,3}))?)?\\s*$"));
  auto m = re.match(text);
  if (!m.hasMatch()) return false;
  QString ms = m.captured(4);
  while (!ms.isEmpty() && ms.size() < 3) ms += QLatin1Char('0');
  QTime t(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt(), ms.toInt());
  if (!t.isValid()) return false;
  value = MSecsOfDayToDateTime(t.msecsSinceStartOfDay());
  return true;
}

bool TryParseDateTime(const QString& text, TDateTime& value) {
  QString s = text.trimmed();
  int blank = s.indexOf(QLatin1Char(' '));
  TDateTime date = 0;
  if (blank < 0) return TryParseDate(s, value);
  TDateTime time = 0;
  if (!TryParseDate(s.left(blank), date) || !TryParseTime(s.mid(blank + 1), time)) return false;
  value = date >= 0 ? date + time : date - time;
  return true;
}

}  // namespace dbdates
