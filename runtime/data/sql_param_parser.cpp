// Scans SQL text for ":name" parameters, skipping quoted text and comments.
#include "runtime/data/sql_param_parser.h"

namespace {

bool isNameChar(QChar c) { return c.isLetterOrNumber() || c == QLatin1Char('_'); }

bool isQuote(QChar c) {
  return c == QLatin1Char('\'') || c == QLatin1Char('"') || c == QLatin1Char('`');
}

// Index just past the literal or quoted name that opens at start (start holds the quote);
// sql.size() when it never closes (closed then reports false). Doubled quotes are part of the
// literal.
int skipQuoted(const QString& sql, int start, bool* closed = nullptr) {
  const QChar quote = sql[start];
  int i = start + 1;
  while (i < sql.size()) {
    if (sql[i] == quote) {
      if (i + 1 < sql.size() && sql[i + 1] == quote) {
        i += 2;
        continue;
      }
      if (closed != nullptr) *closed = true;
      return i + 1;
    }
    ++i;
  }
  if (closed != nullptr) *closed = false;
  return static_cast<int>(sql.size());
}

}  // namespace

SqlParamScan ScanSqlParams(const QString& sql) {
  SqlParamScan scan;
  const int n = static_cast<int>(sql.size());
  int i = 0;
  while (i < n) {
    const QChar c = sql[i];
    const QChar next = i + 1 < n ? sql[i + 1] : QChar();
    if (isQuote(c)) {
      int end = skipQuoted(sql, i);
      scan.text += sql.mid(i, end - i);
      i = end;
    } else if (c == QLatin1Char('-') && next == QLatin1Char('-')) {
      int end = static_cast<int>(sql.indexOf(QLatin1Char('\n'), i));
      if (end < 0) end = n;
      scan.text += sql.mid(i, end - i);
      i = end;
    } else if (c == QLatin1Char('/') && next == QLatin1Char('*')) {
      int end = static_cast<int>(sql.indexOf(QStringLiteral("*/"), i + 2));
      end = end < 0 ? n : end + 2;
      scan.text += sql.mid(i, end - i);
      i = end;
    } else if (c == QLatin1Char(':') && next == QLatin1Char(':')) {
      scan.text += QStringLiteral("::");
      i += 2;
    } else if (c == QLatin1Char(':') && isQuote(next)) {
      bool closed = false;
      int end = skipQuoted(sql, i + 1, &closed);
      QString inner = closed ? sql.mid(i + 2, end - i - 3) : QString();
      if (closed && !inner.isEmpty()) {
        inner.replace(QString(2, next), QString(next));
        scan.names << inner;
        scan.text += QLatin1Char('?');
      } else {
        scan.text += sql.mid(i, end - i);
      }
      i = end;
    } else if (c == QLatin1Char(':') && !next.isNull() && isNameChar(next)) {
      int end = i + 1;
      while (end < n && isNameChar(sql[end])) ++end;
      scan.names << sql.mid(i + 1, end - i - 1);
      scan.text += QLatin1Char('?');
      i = end;
    } else {
      scan.text += c;
      ++i;
    }
  }
  return scan;
}
