#include "runtime/sysutils.h"

#include <cstdint>

#include "runtime/exception.h"

namespace {

int hexValue(QChar c) {
  const char16_t u = c.unicode();
  if (u >= u'0' && u <= u'9') return u - u'0';
  if (u >= u'a' && u <= u'f') return u - u'a' + 10;
  if (u >= u'A' && u <= u'F') return u - u'A' + 10;
  return -1;
}

// Index of the last separator or drive colon, -1 when there is none.
qsizetype lastDelimiter(const QString& s) {
  for (qsizetype i = s.size() - 1; i >= 0; --i) {
    if (IsPathSeparator(s[i]) || s[i] == u':') return i;
  }
  return -1;
}

}  // namespace

bool TryStrToInt(const QString& s, int& value) {
  qsizetype i = 0;
  const qsizetype n = s.size();
  while (i < n && s[i] == u' ') ++i;
  bool negative = false;
  if (i < n && (s[i] == u'-' || s[i] == u'+')) {
    negative = s[i] == u'-';
    ++i;
  }
  int base = 10;
  if (i < n && (s[i] == u'$' || s[i] == u'x' || s[i] == u'X')) {
    base = 16;
    ++i;
  } else if (i + 1 < n && s[i] == u'0' && (s[i + 1] == u'x' || s[i + 1] == u'X')) {
    base = 16;
    i += 2;
  }
  if (i >= n) return false;
  // The magnitude may reach 2^31 for a negative value.
  const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
  std::int64_t magnitude = 0;
  for (; i < n; ++i) {
    const int d = hexValue(s[i]);
    if (d < 0 || d >= base) return false;
    magnitude = magnitude * base + d;
    if (magnitude > limit) return false;
  }
  value = static_cast<int>(negative ? -magnitude : magnitude);
  return true;
}

int StrToIntDef(const QString& s, int def) {
  int v;
  return TryStrToInt(s, v) ? v : def;
}

int StrToInt(const QString& s) {
  int v;
  if (!TryStrToInt(s, v)) throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(s));
  return v;
}

QString IntToStr(int value) { return QString::number(value); }

bool IsPathSeparator(QChar c) { return c == u'\\' || c == u'/'; }

QString ExtractFilePath(const QString& fileName) { return fileName.left(lastDelimiter(fileName) + 1); }

QString ExtractFileName(const QString& fileName) { return fileName.mid(lastDelimiter(fileName) + 1); }

QString ExtractFileDir(const QString& fileName) {
  qsizetype i = lastDelimiter(fileName);
  if (i > 0 && IsPathSeparator(fileName[i]) && !IsPathSeparator(fileName[i - 1]) && fileName[i - 1] != u':') --i;
  return fileName.left(i + 1);
}

QString ExtractFileExt(const QString& fileName) {
  for (qsizetype i = fileName.size() - 1; i >= 0; --i) {
    if (fileName[i] == u'.') return fileName.mid(i);
    if (IsPathSeparator(fileName[i]) || fileName[i] == u':') break;
  }
  return QString();
}

QString IncludeTrailingPathDelimiter(const QString& path) {
  if (!path.isEmpty() && IsPathSeparator(path.back())) return path;
  return path + u'\\';
}

QString ExcludeTrailingPathDelimiter(const QString& path) {
  if (!path.isEmpty() && IsPathSeparator(path.back())) return path.left(path.size() - 1);
  return path;
}

QString ChangeFileExt(const QString& fileName, const QString& ext) {
  for (qsizetype i = fileName.size() - 1; i >= 0; --i) {
    if (fileName[i] == u'.') return fileName.left(i) + ext;
    if (IsPathSeparator(fileName[i]) || fileName[i] == u':') break;
  }
  return fileName + ext;
}
