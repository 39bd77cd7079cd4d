// Dates and times: TDateTime (days since 1899-12-30 as a double, the fraction being the time of
// day), conversions, and date-time text under process-wide format settings.
//
// Format strings use the original runtime's tokens: d dd ddd dddd ddddd (short date), m mm mmm
// mmmm (month, or minutes right after an hour token), yy yyyy, h hh, n nn, s ss, z zzz, t (short
// time), tt (long time), c (short date, then a blank and the long time unless the time is
// exactly midnight), am/pm, a/p, ampm (12-hour clock), "/" (DateSeparator), ":"
// (TimeSeparator), and literal text in double or single quotes. Other characters are copied.
//
// Defaults (fixed, independent of the host locale so that log files look the same everywhere):
// ShortDateFormat "yyyy/mm/dd" with DateSeparator "-" (2026-12-09), LongDateFormat
// "dddd, d mmmm yyyy", LongTimeFormat "hh:nn:ss", ShortTimeFormat "hh:nn", TimeSeparator ":".
// Negative values count days before 1899-12-30 with the fraction still meaning the time of day.
//
// Threading: FormatSettings() is process-wide and unsynchronised: change it at start-up, before
// other threads format dates. The conversions are pure.
#pragma once

#include <QDateTime>
#include <QString>

using TDateTime = double;

struct TFormatSettings {
  QString ShortDateFormat = QStringLiteral("yyyy/mm/dd");
  QString LongDateFormat = QStringLiteral("dddd, d mmmm yyyy");
  QString LongTimeFormat = QStringLiteral("hh:nn:ss");
  QString ShortTimeFormat = QStringLiteral("hh:nn");
  QChar TimeSeparator = u':';
  QChar DateSeparator = u'-';
  QString TimeAMString = QStringLiteral("AM");
  QString TimePMString = QStringLiteral("PM");
};

// The process-wide settings.
TFormatSettings& FormatSettings();

// The calendar date as a TDateTime (midnight). Raises EConvertError "Invalid argument to date
// encode" for a date that does not exist (years 1..9999).
TDateTime EncodeDate(int year, int month, int day);
// The time of day as a fraction. Raises EConvertError "Invalid argument to time encode" outside
// 0:00:00.000..23:59:59.999.
TDateTime EncodeTime(int hour, int min, int sec, int msec);
bool TryEncodeDate(int year, int month, int day, TDateTime& result);
bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& result);
void DecodeDate(TDateTime dt, int& year, int& month, int& day);
void DecodeTime(TDateTime dt, int& hour, int& min, int& sec, int& msec);

// The local clock, its date part and its time part.
TDateTime Now();
TDateTime Date();
TDateTime Time();

// Conversions to and from Qt's types (local time), to the millisecond.
QDateTime DateTimeToQDateTime(TDateTime dt);
TDateTime QDateTimeToDateTime(const QDateTime& qdt);
QDate DateTimeToQDate(TDateTime dt);
TDateTime QDateToDateTime(const QDate& d);

// Text of dt under format with FormatSettings() (or the given settings).
QString FormatDateTime(const QString& format, TDateTime dt);
QString FormatDateTime(const QString& format, TDateTime dt, const TFormatSettings& settings);

// Short date, a blank and long time; the date alone when the time is exactly midnight.
QString DateTimeToStr(TDateTime dt);
QString DateToStr(TDateTime dt);
QString TimeToStr(TDateTime dt);
