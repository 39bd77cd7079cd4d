// TBcd: the packed decimal record through which BCD field values travel between a dataset and
// its field objects, and its conversions to and from text, integers and doubles.
//
// Layout (34 bytes, fixed): Precision = number of digits held (1 to 64); SignSpecialPlaces =
// bit 7 set for a negative value, bit 6 unused (kept 0), bits 0 to 5 the scale (digits after
// the decimal point, at most Precision); Fraction = the digits, two per byte, the first digit in
// the high nibble of Fraction[0]; nibbles after the last digit are 0. The value 0 is
// Precision 1, scale 0, digit 0 (other encodings of zero compare equal to it).
//
// Conversions that cannot represent their input raise EConvertError; the Try forms report false
// instead. Rounding is half away from zero everywhere.
//
// Threading: plain values and pure functions.
#pragma once

#include <QChar>
#include <QMetaType>
#include <QString>
#include <QVariant>
#include <cstdint>
#include <string>

struct TBcd {
  uint8_t Precision = 1;
  uint8_t SignSpecialPlaces = 0;
  uint8_t Fraction[32] = {};
};
static_assert(sizeof(TBcd) == 34, "TBcd is exchanged as a 34-byte record");

constexpr int kMaxBcdDigits = 64;
constexpr int kMaxBcdScale = 63;

int BcdPrecision(const TBcd& bcd);
int BcdScale(const TBcd& bcd);
bool IsBcdNegative(const TBcd& bcd);
bool IsBcdZero(const TBcd& bcd);

// Text of the form [blanks][+|-]digits[separator digits][blanks]; at least one digit.
// Leading integer zeros are dropped; the scale is the number of digits written after the
// separator. More than 64 significant digits or 63 decimals is refused.
bool TryStrToBcd(const QString& text, TBcd& bcd, QChar decimalSeparator = QLatin1Char('.'));
TBcd StrToBcd(const QString& text, QChar decimalSeparator = QLatin1Char('.'));
// Shortest exact text: "-" for negative non-zero values, the integer digits ("0" when none),
// then the separator and the decimals with trailing zeros removed (none when all are zero).
QString BcdToStr(const TBcd& bcd, QChar decimalSeparator = QLatin1Char('.'));
// Fixed-point text rounded to `digits` decimals (0 to 63). When the integer part needs more than
// `precision` digits the text is given in scientific form ("1.2345E+20", with precision
// significant digits), as floating-point fixed formatting does.
QString BcdToStrFixed(const TBcd& bcd, int precision, int digits,
                      QChar decimalSeparator = QLatin1Char('.'));
// The same text in ASCII bytes with '.' as the separator, for writers of numeric fields.
std::string BcdToAsciiFixed(const TBcd& bcd, int precision, int digits);

TBcd IntegerToBcd(int value);
// value / 10^scale, exactly (scale 0 to 63). Int64ToBcd(123456, 4) is 12.3456 with scale 4.
TBcd Int64ToBcd(int64_t value, int scale = 0);
// Rounds to an integer (truncates when asked); EConvertError when outside 64-bit range.
int64_t BcdToInt64(const TBcd& bcd, bool truncate = false);
// Rounds to an integer; EConvertError when outside 32-bit range.
int BcdToInteger(const TBcd& bcd, bool truncate = false);
// The value multiplied by 10^scale and rounded (BcdToScaledInt64(x, 4) is the currency form);
// EConvertError when the result is outside 64-bit range.
int64_t BcdToScaledInt64(const TBcd& bcd, int scale);

// The nearest double (correctly rounded from the exact decimal text).
double BcdToDouble(const TBcd& bcd);
// The shortest decimal that reads back as the same double; EConvertError for NaN and infinity.
TBcd DoubleToBcd(double value);
bool TryDoubleToBcd(double value, TBcd& bcd);

// Rewrites bcd with the given precision and scale, rounding surplus decimals. False (bcd
// unchanged) when the integer part needs more than precision - places digits.
bool NormalizeBcd(const TBcd& in, TBcd& out, int precision, int places);

// -1, 0 or 1 as a is less than, equal to or greater than b (numerically).
int BcdCompare(const TBcd& a, const TBcd& b);
inline bool operator==(const TBcd& a, const TBcd& b) { return BcdCompare(a, b) == 0; }

Q_DECLARE_METATYPE(TBcd)

// Whether a variant holds a number: an integer or floating-point type, or a TBcd.
bool IsNumberVariant(const QVariant& v);
// The number a variant holds as a double (a TBcd through BcdToDouble).
double NumberOfVariant(const QVariant& v);
