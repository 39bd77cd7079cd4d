#include "runtime/datetime.h"

#include <cmath>

#include "runtime/exception.h"

namespace {

constexpr qint64 kMsPerDay = 86400000;
const QDate kEpoch(1899, 12, 30);

const char* const kShortMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kLongMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                                   "July",    "August",   "September", "October", "November", "December"};
const char* const kShortDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kLongDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

// Whole days (toward zero) and milliseconds of the day (from the absolute fraction).
void split(TDateTime dt, qint64& days, qint64& ms) {
  const double whole = std::trunc(dt);
  days = static_cast<qint64>(whole);
  ms = static_cast<qint64>(std::llround(std::fabs(dt - whole) * kMsPerDay));
  if (ms >= kMsPerDay) {  // rounding reached the next day
    ms = 0;
    days += dt < 0 ? -1 : 1;
  }
}

QString pad(int v, int width) { return QStringLiteral("%1").arg(v, width, 10, QChar(u'0')); }

class Formatter {
 public:
  Formatter(const TFormatSettings& s, TDateTime dt) : s_(s) {
    qint64 days, ms;
    split(dt, days, ms);
    date_ = kEpoch.addDays(days);
    hour_ = static_cast<int>(ms / 3600000);
    min_ = static_cast<int>(ms / 60000 % 60);
    sec_ = static_cast<int>(ms / 1000 % 60);
    msec_ = static_cast<int>(ms % 1000);
    midnight_ = ms == 0;
  }

  QString run(const QString& format, int depth = 0) {
    QString out;
    const qsizetype n = format.size();
    QChar lastToken;
    // Whether an am/pm token makes the hours 12-hour clock: decided for the whole format.
    const bool twelve = hasAmPm(format);
    qsizetype i = 0;
    while (i < n) {
      const QChar c = format[i];
      const QChar token = c.toUpper();
      auto count = [&](QChar t) {
        qsizetype j = i;
        while (j < n && format[j].toUpper() == t) ++j;
        const int k = static_cast<int>(j - i);
        i = j;
        return k;
      };
      if (c == u'"' || c == u'\'') {
        const qsizetype close = format.indexOf(c, i + 1);
        const qsizetype end = close < 0 ? n : close;
        out += format.mid(i + 1, end - i - 1);
        i = close < 0 ? n : close + 1;
        continue;
      }
      if (c.isLetter() && c.unicode() < 128) {
        QChar t = token;
        if (t == u'M' && lastToken == u'H') t = u'N';
        lastToken = t;
        if (t == u'A') {
          if (format.mid(i, 5).compare(QStringLiteral("am/pm"), Qt::CaseInsensitive) == 0) {
            const QString v = hour_ >= 12 ? QStringLiteral("pm") : QStringLiteral("am");
            out += caseLike(format.mid(i, 2), v);
            i += 5;
          } else if (format.mid(i, 3).compare(QStringLiteral("a/p"), Qt::CaseInsensitive) == 0) {
            const QString v = hour_ >= 12 ? QStringLiteral("p") : QStringLiteral("a");
            out += caseLike(format.mid(i, 1), v);
            i += 3;
          } else if (format.mid(i, 4).compare(QStringLiteral("ampm"), Qt::CaseInsensitive) == 0) {
            out += hour_ >= 12 ? s_.TimePMString : s_.TimeAMString;
            i += 4;
          } else {
            out += c;
            ++i;
          }
          continue;
        }
        switch (t.unicode()) {
          case u'Y': {
            const int k = count(token);
            out += k <= 2 ? pad(date_.year() % 100, 2) : pad(date_.year(), 4);
            break;
          }
          case u'M': {
            const int k = count(token);
            const int m = date_.month();
            if (k == 1) out += QString::number(m);
            else if (k == 2) out += pad(m, 2);
            else if (k == 3) out += QString::fromLatin1(kShortMonths[m - 1]);
            else out += QString::fromLatin1(kLongMonths[m - 1]);
            break;
          }
          case u'D': {
            const int k = count(token);
            const int dow = date_.dayOfWeek() % 7;  // Qt: Monday 1 .. Sunday 7
            if (k == 1) out += QString::number(date_.day());
            else if (k == 2) out += pad(date_.day(), 2);
            else if (k == 3) out += QString::fromLatin1(kShortDays[dow]);
            else if (k == 4) out += QString::fromLatin1(kLongDays[dow]);
            else if (depth < 2) out += run(k == 5 ? s_.ShortDateFormat : s_.LongDateFormat, depth + 1);
            break;
          }
          case u'H': {
            const int k = count(token);
            int h = hour_;
            if (twelve) {
              h %= 12;
              if (h == 0) h = 12;
            }
            out += k == 1 ? QString::number(h) : pad(h, 2);
            break;
          }
          case u'N': {
            const int k = count(c.toUpper() == u'M' ? QChar(u'M') : QChar(u'N'));
            out += k == 1 ? QString::number(min_) : pad(min_, 2);
            break;
          }
          case u'S': {
            const int k = count(token);
            out += k == 1 ? QString::number(sec_) : pad(sec_, 2);
            break;
          }
          case u'Z': {
            const int k = count(token);
            out += k == 1 ? QString::number(msec_) : pad(msec_, 3);
            break;
          }
          case u'T': {
            const int k = count(token);
            if (depth < 2) out += run(k == 1 ? s_.ShortTimeFormat : s_.LongTimeFormat, depth + 1);
            break;
          }
          case u'C': {
            count(token);
            if (depth < 2) {
              out += run(s_.ShortDateFormat, depth + 1);
              if (!midnight_) out += u' ' + run(s_.LongTimeFormat, depth + 1);
            }
            break;
          }
          default:
            out += c;
            ++i;
        }
        continue;
      }
      if (c == u'/') out += s_.DateSeparator;
      else if (c == u':') out += s_.TimeSeparator;
      else out += c;
      ++i;
    }
    return out;
  }

 private:
  static bool hasAmPm(const QString& f) {
    return f.contains(QStringLiteral("am/pm"), Qt::CaseInsensitive) ||
           f.contains(QStringLiteral("a/p"), Qt::CaseInsensitive) || f.contains(QStringLiteral("ampm"), Qt::CaseInsensitive);
  }
  static QString caseLike(const QString& sample, const QString& v) {
    return sample.front().isUpper() ? v.toUpper() : v;
  }

  const TFormatSettings& s_;
  QDate date_;
  int hour_, min_, sec_, msec_;
  bool midnight_;
};

}  // namespace

TFormatSettings& FormatSettings() {
  static TFormatSettings settings;
  return settings;
}

bool TryEncodeDate(int year, int month, int day, TDateTime& result) {
  if (year < 1 || year > 9999 || !QDate::isValid(year, month, day)) return false;
  result = static_cast<double>(kEpoch.daysTo(QDate(year, month, day)));
  return true;
}

bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& result) {
  if (hour < 0 || hour > 23 || min < 0 || min > 59 || sec < 0 || sec > 59 || msec < 0 || msec > 999) return false;
  result = ((hour * 3600000.0) + min * 60000.0 + sec * 1000.0 + msec) / kMsPerDay;
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime r;
  if (!TryEncodeDate(year, month, day, r)) throw EConvertError(QStringLiteral("Invalid argument to date encode"));
  return r;
}

TDateTime EncodeTime(int hour, int min, int sec, int msec) {
  TDateTime r;
  if (!TryEncodeTime(hour, min, sec, msec, r)) throw EConvertError(QStringLiteral("Invalid argument to time encode"));
  return r;
}

void DecodeDate(TDateTime dt, int& year, int& month, int& day) {
  qint64 days, ms;
  split(dt, days, ms);
  kEpoch.addDays(days).getDate(&year, &month, &day);
}

void DecodeTime(TDateTime dt, int& hour, int& min, int& sec, int& msec) {
  qint64 days, ms;
  split(dt, days, ms);
  hour = static_cast<int>(ms / 3600000);
  min = static_cast<int>(ms / 60000 % 60);
  sec = static_cast<int>(ms / 1000 % 60);
  msec = static_cast<int>(ms % 1000);
}

QDate DateTimeToQDate(TDateTime dt) {
  qint64 days, ms;
  split(dt, days, ms);
  return kEpoch.addDays(days);
}

TDateTime QDateToDateTime(const QDate& d) { return static_cast<double>(kEpoch.daysTo(d)); }

QDateTime DateTimeToQDateTime(TDateTime dt) {
  qint64 days, ms;
  split(dt, days, ms);
  return QDateTime(kEpoch.addDays(days), QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms)));
}

TDateTime QDateTimeToDateTime(const QDateTime& qdt) {
  const double days = static_cast<double>(kEpoch.daysTo(qdt.date()));
  const double frac = qdt.time().msecsSinceStartOfDay() / static_cast<double>(kMsPerDay);
  // Before the epoch the fraction still adds time of day: -1.25 is 1899-12-29 06:00.
  return days < 0 ? days - frac : days + frac;
}

TDateTime Now() { return QDateTimeToDateTime(QDateTime::currentDateTime()); }
TDateTime Date() { return QDateToDateTime(QDate::currentDate()); }
TDateTime Time() { return QTime::currentTime().msecsSinceStartOfDay() / static_cast<double>(kMsPerDay); }

QString FormatDateTime(const QString& format, TDateTime dt, const TFormatSettings& settings) {
  return Formatter(settings, dt).run(format);
}

QString FormatDateTime(const QString& format, TDateTime dt) { return FormatDateTime(format, dt, FormatSettings()); }

QString DateTimeToStr(TDateTime dt) { return FormatDateTime(QStringLiteral("c"), dt); }
QString DateToStr(TDateTime dt) { return FormatDateTime(QStringLiteral("ddddd"), dt); }
QString TimeToStr(TDateTime dt) { return FormatDateTime(QStringLiteral("tt"), dt); }
