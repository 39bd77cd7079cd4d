#include "runtime/inifile.h"

#include "runtime/filesys.h"
#include "runtime/text.h"

namespace {

QString decodeFile(const std::string& bytes) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
    const size_t units = (bytes.size() - 2) / 2;
    QString s(static_cast<qsizetype>(units), Qt::Uninitialized);
    for (size_t i = 0; i < units; ++i) {
      const auto lo = static_cast<unsigned char>(bytes[2 + 2 * i]);
      const auto hi = static_cast<unsigned char>(bytes[3 + 2 * i]);
      s[static_cast<qsizetype>(i)] = QChar(static_cast<char16_t>(lo | (hi << 8)));
    }
    return s;
  }
  if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return QString::fromUtf8(bytes.data() + 3, bytes.size() - 3);
  return FromAnsi(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QString stripQuotes(const QString& v) {
  if (v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front()) return v.mid(1, v.size() - 2);
  return v;
}

bool isBlank(QChar c) { return c == u' ' || c == u'\t'; }

QString trimBlanks(QStringView v) {
  qsizetype b = 0, e = v.size();
  while (b < e && isBlank(v[b])) ++b;
  while (e > b && isBlank(v[e - 1])) --e;
  return v.mid(b, e - b).toString();
}

std::optional<QString> lookup(const QString& text, const QString& section, const QString& key) {
  const QString wantSection = trimBlanks(section);
  const QString wantKey = trimBlanks(key);
  bool inSection = false;
  bool sectionSeen = false;
  const qsizetype n = text.size();
  qsizetype p = 0;
  while (p < n) {
    const qsizetype start = p;
    while (p < n && text[p] != u'\r' && text[p] != u'\n') ++p;
    const QString line = trimBlanks(QStringView(text).mid(start, p - start));
    if (p < n && text[p] == u'\r') ++p;
    if (p < n && text[p] == u'\n') ++p;
    if (line.isEmpty() || line[0] == u';') continue;
    if (line[0] == u'[') {
      const qsizetype close = line.indexOf(u']');
      if (close < 0) continue;  // not a section header
      const bool match = SameTextAZ(trimBlanks(QStringView(line).mid(1, close - 1)), wantSection);
      // The first section of the name is the one that counts.
      if (inSection) return std::nullopt;
      inSection = match && !sectionSeen;
      sectionSeen = sectionSeen || match;
      continue;
    }
    if (!inSection) continue;
    const qsizetype eq = line.indexOf(u'=');
    if (eq < 0) continue;
    if (!SameTextAZ(trimBlanks(QStringView(line).left(eq)), wantKey)) continue;
    return stripQuotes(trimBlanks(QStringView(line).mid(eq + 1)));
  }
  return std::nullopt;
}

QString cut(const QString& v, int capacity) {
  if (capacity <= 0) return QString();
  return v.size() > capacity - 1 ? v.left(capacity - 1) : v;
}

}  // namespace

std::optional<QString> ReadPrivateProfileValue(const QString& section, const QString& key, const QString& file,
                                               int capacity) {
  if (file.isEmpty()) return std::nullopt;
  std::string bytes;
  if (!FileSystemInUse().ReadFile(ToPlatform(file), &bytes).ok()) return std::nullopt;
  std::optional<QString> v = lookup(decodeFile(bytes), section, key);
  if (v) v = cut(*v, capacity);
  return v;
}

QString GetPrivateProfileString(const QString& section, const QString& key, const QString& def, int capacity,
                                const QString& file) {
  std::optional<QString> v = ReadPrivateProfileValue(section, key, file, capacity);
  return v ? *v : cut(def, capacity);
}

QString TIniFile::ReadString(const QString& section, const QString& ident, const QString& def) const {
  return GetPrivateProfileString(section, ident, def, kBufferSize, fileName_);
}

bool TIniFile::ValueExists(const QString& section, const QString& ident) const {
  return ReadPrivateProfileValue(section, ident, fileName_, kBufferSize).has_value();
}
