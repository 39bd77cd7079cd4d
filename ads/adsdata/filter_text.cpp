#include "ads/adsdata/filter_text.h"

#include <QDate>
#include <QLocale>
#include <cstddef>

namespace adsdata {

namespace {

bool isIdentChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || u >= 0x80;
}

char upperAZ(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

// Whether the word CONTAINS starts at i (not as the tail of a longer name).
bool containsWordAt(const std::string& t, size_t i) {
  static const char kWord[] = "CONTAINS";
  constexpr size_t kLen = sizeof kWord - 1;
  if (i + kLen > t.size()) return false;
  if (i > 0 && isIdentChar(t[i - 1])) return false;
  for (size_t k = 0; k < kLen; ++k)
    if (upperAZ(t[i + k]) != kWord[k]) return false;
  return i + kLen == t.size() || !isIdentChar(t[i + kLen]);
}

// The position after the ")" that closes the "(" at open, skipping quoted and bracketed text;
// npos when something does not close.
size_t closingParenthesis(const std::string& t, size_t open) {
  int depth = 0;
  for (size_t i = open; i < t.size(); ++i) {
    const char c = t[i];
    if (c == '"' || c == '\'' || c == '[') {
      const size_t close = t.find(c == '[' ? ']' : c, i + 1);
      if (close == std::string::npos) return std::string::npos;
      i = close;
      continue;
    }
    if (c == '(') ++depth;
    if (c == ')' && --depth == 0) return i + 1;
  }
  return std::string::npos;
}

}  // namespace

bool RemoveTrailingWildcards(std::string& t) {
  bool exact = true;
  size_t i = 0;
  while (i < t.size()) {
    const char c = t[i];
    if (c == '"' || c == '\'') {
      const size_t start = i + 1;
      size_t j = start;
      while (j < t.size() && t[j] != c) {
        if (t[j] == '*' && j + 1 < t.size() && t[j + 1] == c) {
          // The last "*" of a literal that holds something besides stars is a wildcard.
          if (t.find_first_not_of('*', start) < j) {
            t.erase(j, 1);
            exact = false;
            continue;  // t[j] is now the closing quote
          }
        }
        ++j;
      }
      i = j + 1;  // past the closing quote (or the end of an unterminated literal)
      continue;
    }
    if (c == '[') {
      // A bracketed literal is text as it stands: a quote inside it opens nothing.
      const size_t close = t.find(']', i + 1);
      i = close == std::string::npos ? t.size() : close + 1;
      continue;
    }
    if (containsWordAt(t, i)) {
      size_t k = i + 8;
      while (k < t.size() && t[k] == ' ') ++k;
      if (k < t.size() && t[k] == '(') {
        const size_t after = closingParenthesis(t, k);
        if (after != std::string::npos) {
          i = after;
          continue;
        }
      }
      i += 8;
      continue;
    }
    ++i;
  }
  return exact;
}

QString QuotedFilterLiteral(const QString& value) {
  QString out;
  out.reserve(value.size() + 2);
  out += u'"';
  for (const QChar ch : value) {
    if (ch == u'"')
      out += QStringLiteral("\"+ Chr(34) + \"");
    else if (ch == QChar(0))
      out += QStringLiteral("\"+ Chr(0) + \"");
    else
      out += ch;
  }
  out += u'"';
  return out;
}

QString FilterNumberText(double value) {
  return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

QString FilterDateLiteral(int64_t julianDay) {
  const QDate d = QDate::fromJulianDay(julianDay);
  return QStringLiteral("{^%1-%2-%3}")
      .arg(d.year(), 4, 10, QLatin1Char('0'))
      .arg(d.month(), 2, 10, QLatin1Char('0'))
      .arg(d.day(), 2, 10, QLatin1Char('0'));
}

QString FilterTimeText(int64_t msOfDay) {
  const int64_t s = msOfDay / 1000;
  return QStringLiteral("%1:%2:%3.%4")
      .arg(s / 3600, 2, 10, QLatin1Char('0'))
      .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
      .arg(s % 60, 2, 10, QLatin1Char('0'))
      .arg(msOfDay % 1000, 3, 10, QLatin1Char('0'));
}

QString FilterTimestampLiteral(int64_t julianDay, int64_t msOfDay) {
  QString date = FilterDateLiteral(julianDay);
  date.chop(1);  // the closing brace
  return date + u' ' + FilterTimeText(msOfDay) + u'}';
}

bool IsPlainNumberText(const QString& text) {
  qsizetype i = 0;
  if (i < text.size() && text[i] == u'-') ++i;
  bool digits = false;
  bool point = false;
  for (; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c >= u'0' && c <= u'9') {
      digits = true;
    } else if (c == u'.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  return digits;
}

uint32_t AofOptionBits(TAdsAOFTypes type, bool resolveImmediate) {
  const uint32_t kind = type == atKeySet ? 4u : type == atFixed ? 8u : 0u;
  return kind + (resolveImmediate ? 1u : 2u) + 8192u;
}

}  // namespace adsdata
