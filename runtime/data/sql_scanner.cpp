// A small tokenizer over SQL text, enough to find FROM and ORDER BY at the outer level.
#include "runtime/data/sql_scanner.h"

#include <QStringList>
#include <vector>

#include "runtime/text.h"

namespace {

struct Token {
  enum Kind { Word, Name, Symbol } kind;
  QString text;
  int depth;
};

std::vector<Token> tokenize(const QString& sql) {
  std::vector<Token> out;
  int depth = 0;
  const int n = static_cast<int>(sql.size());
  int i = 0;
  while (i < n) {
    const QChar c = sql[i];
    const QChar next = i + 1 < n ? sql[i + 1] : QChar();
    if (c.isSpace()) {
      ++i;
    } else if (c == QLatin1Char('-') && next == QLatin1Char('-')) {
      while (i < n && sql[i] != QLatin1Char('\n')) ++i;
    } else if (c == QLatin1Char('/') && next == QLatin1Char('*')) {
      int end = static_cast<int>(sql.indexOf(QStringLiteral("*/"), i + 2));
      i = end < 0 ? n : end + 2;
    } else if (c == QLatin1Char('\'')) {
      int j = i + 1;
      while (j < n && !(sql[j] == QLatin1Char('\'') && !(j + 1 < n && sql[j + 1] == QLatin1Char('\'')))) j += sql[j] == QLatin1Char('\'') ? 2 : 1;
      out.push_back({Token::Symbol, QStringLiteral("'"), depth});
      i = j + 1;
    } else if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('[')) {
      const QChar close = c == QLatin1Char('[') ? QLatin1Char(']') : c;
      int end = static_cast<int>(sql.indexOf(close, i + 1));
      if (end < 0) end = n;
      out.push_back({Token::Name, sql.mid(i + 1, end - i - 1), depth});
      i = end + 1;
    } else if (c.isLetterOrNumber() || c == QLatin1Char('_')) {
      int j = i;
      while (j < n && (sql[j].isLetterOrNumber() || sql[j] == QLatin1Char('_') || sql[j] == QLatin1Char('.') ||
                       sql[j] == QLatin1Char(':')))
        ++j;
      out.push_back({Token::Word, sql.mid(i, j - i), depth});
      i = j;
    } else {
      if (c == QLatin1Char('(')) ++depth;
      out.push_back({Token::Symbol, QString(c), depth});
      if (c == QLatin1Char(')') && depth > 0) --depth;
      ++i;
    }
  }
  return out;
}

bool isKeyword(const Token& t, const char* word) {
  return t.kind == Token::Word && SameTextAZ(t.text, QLatin1String(word));
}

}  // namespace

QString GetTableNameFromSQL(const QString& sql) {
  const std::vector<Token> tokens = tokenize(sql);
  for (size_t i = 0; i + 1 < tokens.size(); ++i) {
    if (tokens[i].depth == 0 && isKeyword(tokens[i], "FROM")) {
      const Token& t = tokens[i + 1];
      if (t.kind == Token::Word || t.kind == Token::Name) return t.text;
      return QString();
    }
  }
  return QString();
}

bool GetIndexForOrderBy(const QString& sql, TIndexDef& def) {
  const std::vector<Token> tokens = tokenize(sql);
  size_t i = 0;
  for (; i + 1 < tokens.size(); ++i)
    if (tokens[i].depth == 0 && isKeyword(tokens[i], "ORDER") && isKeyword(tokens[i + 1], "BY")) break;
  if (i + 1 >= tokens.size()) return false;
  i += 2;
  QStringList fields;
  QStringList desc;
  while (i < tokens.size()) {
    const Token& t = tokens[i];
    if (t.kind != Token::Word && t.kind != Token::Name) return false;
    if (t.kind == Token::Word && (t.text[0].isDigit())) return false;  // positional entries name no column
    fields << t.text;
    ++i;
    if (i < tokens.size() && (isKeyword(tokens[i], "ASC") || isKeyword(tokens[i], "DESC"))) {
      if (isKeyword(tokens[i], "DESC")) desc << t.text;
      ++i;
    }
    if (i >= tokens.size()) break;
    if (tokens[i].kind == Token::Symbol && tokens[i].text == QLatin1String(",")) {
      ++i;
      continue;
    }
    if (tokens[i].kind == Token::Symbol && tokens[i].text == QLatin1String(";")) break;
    if (isKeyword(tokens[i], "LIMIT") || isKeyword(tokens[i], "OFFSET") || isKeyword(tokens[i], "FOR")) break;
    return false;
  }
  if (fields.isEmpty()) return false;
  def.SetFields(fields.join(QLatin1Char(';')));
  TIndexOptions options;
  if (!desc.isEmpty() && desc.size() == fields.size()) {
    options |= ixDescending;
    def.SetDescFields(QString());
  } else {
    def.SetDescFields(desc.join(QLatin1Char(';')));
  }
  def.SetOptions(options);
  return true;
}
