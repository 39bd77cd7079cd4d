// Conversions of TBcd. Every conversion goes through one exact intermediate form, a sign, a
// string of decimal digits and a scale, so that no conversion loses digits it can represent.
#include "runtime/data/bcd.h"

#include <QLocale>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

#include "runtime/exception.h"

namespace {

// value = (neg ? -1 : 1) * digits / 10^scale; digits holds at least scale characters.
struct Decimal {
  bool neg = false;
  std::string digits;
  int scale = 0;

  int intDigits() const { return static_cast<int>(digits.size()) - scale; }

  // Drops integer zeros in front; an all-zero value loses its sign.
  void trimLeading() {
    size_t drop = 0;
    while (static_cast<int>(drop) < intDigits() && digits[drop] == '0') ++drop;
    digits.erase(0, drop);
    if (digits.find_first_not_of('0') == std::string::npos) neg = false;
  }

  // Rounds half away from zero to `places` decimals (places <= scale).
  void roundTo(int places) {
    if (places >= scale) return;
    int cut = static_cast<int>(digits.size()) - (scale - places);
    bool up = digits[cut] >= '5';
    digits.resize(cut);
    scale = places;
    if (up) {
      int i = static_cast<int>(digits.size()) - 1;
      while (i >= 0 && digits[i] == '9') digits[i--] = '0';
      if (i >= 0)
        ++digits[i];
      else
        digits.insert(digits.begin(), '1');
    }
  }

  // Appends zeros so that the scale becomes places (places >= scale).
  void extendTo(int places) {
    if (places > scale) {
      digits.append(places - scale, '0');
      scale = places;
    }
  }

  bool isZero() const { return digits.find_first_not_of('0') == std::string::npos; }
};

Decimal fromBcd(const TBcd& bcd) {
  Decimal d;
  int precision = bcd.Precision;
  if (precision < 1) precision = 1;
  if (precision > kMaxBcdDigits) precision = kMaxBcdDigits;
  d.scale = bcd.SignSpecialPlaces & 0x3F;
  if (d.scale > precision) d.scale = precision;
  d.neg = (bcd.SignSpecialPlaces & 0x80) != 0;
  d.digits.reserve(precision);
  for (int i = 0; i < precision; ++i) {
    uint8_t b = bcd.Fraction[i / 2];
    int nibble = (i % 2 == 0) ? (b >> 4) : (b & 0x0F);
    d.digits.push_back(static_cast<char>('0' + (nibble > 9 ? 0 : nibble)));
  }
  if (d.isZero()) d.neg = false;
  return d;
}

// Packs d (leading integer zeros already removed) into bcd; false when it does not fit. Surplus
// decimals beyond 64 digits are rounded away.
bool toBcd(Decimal d, TBcd& bcd) {
  d.trimLeading();
  if (d.scale > kMaxBcdScale) d.roundTo(kMaxBcdScale);
  if (static_cast<int>(d.digits.size()) > kMaxBcdDigits) {
    int room = kMaxBcdDigits - d.intDigits();
    if (room < 0) return false;
    d.roundTo(room);
    d.trimLeading();
    if (static_cast<int>(d.digits.size()) > kMaxBcdDigits) return false;
  }
  if (d.digits.empty()) d.digits.assign(1, '0');
  TBcd out;
  out.Precision = static_cast<uint8_t>(d.digits.size());
  out.SignSpecialPlaces = static_cast<uint8_t>((d.neg && !d.isZero() ? 0x80 : 0) | (d.scale & 0x3F));
  for (size_t i = 0; i < d.digits.size(); ++i) {
    uint8_t v = static_cast<uint8_t>(d.digits[i] - '0');
    if (i % 2 == 0)
      out.Fraction[i / 2] = static_cast<uint8_t>(v << 4);
    else
      out.Fraction[i / 2] |= v;
  }
  bcd = out;
  return true;
}

// Parses [blanks][sign]digits[sep digits][e[sign]digits][blanks] of the n characters at(0) to
// at(n - 1); the exponent form only when allowExponent (used for the text of doubles).
template <typename At>
bool parseDecimalChars(int n, At at, char16_t sep, bool allowExponent, Decimal& d) {
  auto digit = [&](int k) { return at(k) >= u'0' && at(k) <= u'9'; };
  int i = 0;
  while (i < n && at(i) == u' ') ++i;
  int end = n;
  while (end > i && at(end - 1) == u' ') --end;
  if (i < end && (at(i) == u'-' || at(i) == u'+')) {
    d.neg = at(i) == u'-';
    ++i;
  }
  bool any = false;
  while (i < end && digit(i)) {
    d.digits.push_back(static_cast<char>(at(i)));
    any = true;
    ++i;
  }
  if (i < end && at(i) == sep) {
    ++i;
    while (i < end && digit(i)) {
      d.digits.push_back(static_cast<char>(at(i)));
      ++d.scale;
      any = true;
      ++i;
    }
  }
  if (!any) return false;
  if (allowExponent && i < end && (at(i) == u'e' || at(i) == u'E')) {
    ++i;
    bool expNeg = false;
    if (i < end && (at(i) == u'-' || at(i) == u'+')) {
      expNeg = at(i) == u'-';
      ++i;
    }
    int exp = 0;
    bool expAny = false;
    while (i < end && digit(i) && exp < 10000) {
      exp = exp * 10 + (at(i) - u'0');
      expAny = true;
      ++i;
    }
    if (!expAny) return false;
    if (expNeg) {
      int need = d.scale + exp;
      d.digits.insert(0, std::max(0, need - static_cast<int>(d.digits.size())), '0');
      d.scale = need;
    } else {
      int shift = std::min(exp, d.scale);
      d.scale -= shift;
      d.digits.append(exp - shift, '0');
    }
  }
  return i == end;
}

bool parseDecimal(const QString& text, QChar sep, bool allowExponent, Decimal& d) {
  return parseDecimalChars(
      static_cast<int>(text.size()), [&](int k) { return text[k].unicode(); }, sep.unicode(), allowExponent, d);
}

// The text of d with '.' as its separator, built in bytes: texts of numbers are written per
// field of every record posted, and one string built once costs far less than a QString grown
// piece by piece.
std::string decimalAscii(const Decimal& d) {
  std::string s;
  const int intDigits = d.intDigits();
  s.reserve(static_cast<size_t>(std::max(intDigits, 1) + d.scale + 2));
  if (d.neg && !d.isZero()) s += '-';
  if (intDigits <= 0)
    s += '0';
  else
    s.append(d.digits.data(), static_cast<size_t>(intDigits));
  if (d.scale > 0) {
    s += '.';
    s.append(d.digits.data() + intDigits, static_cast<size_t>(d.scale));
  }
  return s;
}

// A text in ASCII with its '.' (there is at most one) shown as `sep`.
QString withSeparator(const std::string& ascii, QChar sep) {
  QString s = QString::fromLatin1(ascii.data(), static_cast<qsizetype>(ascii.size()));
  if (sep != QLatin1Char('.')) s.replace(QLatin1Char('.'), sep);
  return s;
}

QString decimalText(const Decimal& d, QChar sep) { return withSeparator(decimalAscii(d), sep); }

[[noreturn]] void overflow(const TBcd& bcd) {
  throw EConvertError(QStringLiteral("BCD overflow: %1 cannot be represented").arg(BcdToStr(bcd)));
}

// The integer value of d rounded or truncated, if it fits in 64 bits.
bool decimalToInt64(Decimal d, bool truncate, int64_t& out) {
  if (truncate) {
    d.digits.resize(d.digits.size() - d.scale);
    d.scale = 0;
  } else {
    d.roundTo(0);
  }
  d.trimLeading();
  if (d.digits.size() > 19) return false;
  unsigned long long mag = 0;
  for (char c : d.digits) mag = mag * 10 + static_cast<unsigned>(c - '0');
  const unsigned long long limit = d.neg ? 9223372036854775808ULL : 9223372036854775807ULL;
  if (mag > limit) return false;
  out = d.neg ? static_cast<int64_t>(0 - mag) : static_cast<int64_t>(mag);
  return true;
}

}  // namespace

int BcdPrecision(const TBcd& bcd) { return bcd.Precision; }
int BcdScale(const TBcd& bcd) { return bcd.SignSpecialPlaces & 0x3F; }
bool IsBcdNegative(const TBcd& bcd) { return fromBcd(bcd).neg; }
bool IsBcdZero(const TBcd& bcd) { return fromBcd(bcd).isZero(); }

bool TryStrToBcd(const QString& text, TBcd& bcd, QChar decimalSeparator) {
  Decimal d;
  if (!parseDecimal(text, decimalSeparator, false, d)) return false;
  if (d.scale > kMaxBcdScale) return false;
  d.trimLeading();
  if (static_cast<int>(d.digits.size()) > kMaxBcdDigits) return false;
  return toBcd(d, bcd);
}

TBcd StrToBcd(const QString& text, QChar decimalSeparator) {
  TBcd bcd;
  if (!TryStrToBcd(text, bcd, decimalSeparator))
    throw EConvertError(QStringLiteral("'%1' is not a valid BCD value").arg(text));
  return bcd;
}

QString BcdToStr(const TBcd& bcd, QChar decimalSeparator) {
  Decimal d = fromBcd(bcd);
  while (d.scale > 0 && d.digits.back() == '0') {
    d.digits.pop_back();
    --d.scale;
  }
  d.trimLeading();
  return decimalText(d, decimalSeparator);
}

std::string BcdToAsciiFixed(const TBcd& bcd, int precision, int digits) {
  if (digits < 0) digits = 0;
  if (digits > kMaxBcdScale) digits = kMaxBcdScale;
  if (precision < 1) precision = 1;
  Decimal d = fromBcd(bcd);
  d.trimLeading();
  Decimal fixed = d;
  fixed.extendTo(digits);
  fixed.roundTo(digits);
  fixed.trimLeading();
  if (fixed.intDigits() <= precision) return decimalAscii(fixed);

  // Scientific form: precision significant digits, exponent of at least two digits.
  Decimal sci = d;
  int exponent = sci.intDigits() - 1;
  sci.scale = static_cast<int>(sci.digits.size()) - 1;  // one digit before the point
  sci.extendTo(precision - 1);
  sci.roundTo(precision - 1);
  if (sci.intDigits() > 1) {  // rounding carried into a new digit
    ++exponent;
    sci.scale = static_cast<int>(sci.digits.size()) - 1;
    sci.roundTo(precision - 1);
  }
  while (sci.scale > 0 && sci.digits.back() == '0') {
    sci.digits.pop_back();
    --sci.scale;
  }
  std::string s = decimalAscii(sci);
  char exponentText[16];
  std::snprintf(exponentText, sizeof exponentText, "E+%02d", exponent);
  return s + exponentText;
}

QString BcdToStrFixed(const TBcd& bcd, int precision, int digits, QChar decimalSeparator) {
  return withSeparator(BcdToAsciiFixed(bcd, precision, digits), decimalSeparator);
}

TBcd IntegerToBcd(int value) { return Int64ToBcd(value, 0); }

TBcd Int64ToBcd(int64_t value, int scale) {
  if (scale < 0) scale = 0;
  if (scale > kMaxBcdScale) scale = kMaxBcdScale;
  Decimal d;
  d.neg = value < 0;
  unsigned long long mag = d.neg ? 0ULL - static_cast<unsigned long long>(value)
                                 : static_cast<unsigned long long>(value);
  d.digits = std::to_string(mag);
  if (static_cast<int>(d.digits.size()) < scale) d.digits.insert(0, scale - d.digits.size(), '0');
  d.scale = scale;
  TBcd bcd;
  toBcd(d, bcd);
  return bcd;
}

int64_t BcdToInt64(const TBcd& bcd, bool truncate) {
  int64_t out = 0;
  if (!decimalToInt64(fromBcd(bcd), truncate, out)) overflow(bcd);
  return out;
}

int BcdToInteger(const TBcd& bcd, bool truncate) {
  int64_t v = BcdToInt64(bcd, truncate);
  if (v < INT32_MIN || v > INT32_MAX) overflow(bcd);
  return static_cast<int>(v);
}

int64_t BcdToScaledInt64(const TBcd& bcd, int scale) {
  Decimal d = fromBcd(bcd);
  if (scale > 0) {
    // Move the point right by scale digits.
    int shift = std::min(scale, d.scale);
    d.scale -= shift;
    d.digits.append(scale - shift, '0');
  }
  int64_t out = 0;
  if (!decimalToInt64(d, false, out)) overflow(bcd);
  return out;
}

double BcdToDouble(const TBcd& bcd) {
  Decimal d = fromBcd(bcd);
  d.trimLeading();
  return QLocale::c().toDouble(decimalText(d, QLatin1Char('.')));
}

bool TryDoubleToBcd(double value, TBcd& bcd) {
  if (!std::isfinite(value)) return false;
  // The shortest text that reads back as the same double.
  char text[64];
  const std::to_chars_result r = std::to_chars(text, text + sizeof text, value);
  if (r.ec != std::errc()) return false;
  Decimal d;
  if (!parseDecimalChars(
          static_cast<int>(r.ptr - text), [&](int k) { return static_cast<char16_t>(text[k]); }, u'.', true, d))
    return false;
  return toBcd(d, bcd);
}

TBcd DoubleToBcd(double value) {
  TBcd bcd;
  if (!TryDoubleToBcd(value, bcd))
    throw EConvertError(QStringLiteral("%1 cannot be converted to BCD").arg(value));
  return bcd;
}

bool NormalizeBcd(const TBcd& in, TBcd& out, int precision, int places) {
  if (precision < 1 || precision > kMaxBcdDigits || places < 0 || places > precision) return false;
  Decimal d = fromBcd(in);
  d.trimLeading();
  if (d.scale > places)
    d.roundTo(places);
  else
    d.extendTo(places);
  d.trimLeading();
  if (d.intDigits() > precision - places) return false;
  // Pad the integer part so that the record holds exactly `precision` digits.
  int pad = precision - static_cast<int>(d.digits.size());
  TBcd result;
  if (!toBcd(d, result)) return false;
  if (pad > 0) {
    Decimal padded = d;
    padded.digits.insert(0, pad, '0');
    result.Precision = static_cast<uint8_t>(padded.digits.size());
    result.SignSpecialPlaces = static_cast<uint8_t>((padded.neg && !padded.isZero() ? 0x80 : 0) | places);
    for (auto& b : result.Fraction) b = 0;
    for (size_t i = 0; i < padded.digits.size(); ++i) {
      uint8_t v = static_cast<uint8_t>(padded.digits[i] - '0');
      if (i % 2 == 0)
        result.Fraction[i / 2] = static_cast<uint8_t>(v << 4);
      else
        result.Fraction[i / 2] |= v;
    }
  }
  out = result;
  return true;
}

int BcdCompare(const TBcd& a, const TBcd& b) {
  Decimal x = fromBcd(a);
  Decimal y = fromBcd(b);
  x.trimLeading();
  y.trimLeading();
  int places = std::max(x.scale, y.scale);
  x.extendTo(places);
  y.extendTo(places);
  if (x.isZero() && y.isZero()) return 0;
  if (x.neg != y.neg) return x.neg ? -1 : 1;
  int mag;
  if (x.digits.size() != y.digits.size())
    mag = x.digits.size() < y.digits.size() ? -1 : 1;
  else
    mag = x.digits.compare(y.digits) < 0 ? -1 : (x.digits == y.digits ? 0 : 1);
  return x.neg ? -mag : mag;
}

bool IsNumberVariant(const QVariant& v) {
  switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
      return true;
    default:
      return v.metaType() == QMetaType::fromType<TBcd>();
  }
}

double NumberOfVariant(const QVariant& v) {
  if (v.metaType() == QMetaType::fromType<TBcd>()) return BcdToDouble(v.value<TBcd>());
  return v.toDouble();
}
