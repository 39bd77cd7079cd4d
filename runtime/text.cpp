#include "runtime/text.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/code_page.h"
#include "runtime/exception.h"

namespace {

QChar upperAZ(QChar c) { return (c >= u'a' && c <= u'z') ? QChar(c.unicode() - 32) : c; }
QChar lowerAZ(QChar c) { return (c >= u'A' && c <= u'Z') ? QChar(c.unicode() + 32) : c; }

// The OEM code page is the runtime's own selection; the ANSI one is the process's setting,
// which the engine reads too (platform/code_page.h).
class OemSelection {
 public:
  void select(const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    name_ = name;
  }
  std::string name() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return name_;
  }
  static OemSelection& instance() {
    static OemSelection* selection = new OemSelection;  // never destroyed: text is converted during exit too
    return *selection;
  }

 private:
  mutable std::mutex mutex_;
  std::string name_ = "ibm-437";
};

// Whether the code page writes every ASCII character as its own single byte, as the ANSI and
// OEM pages of Windows do (and EBCDIC or UTF-16 pages do not). Such a page converts a text of
// ASCII characters byte for byte, without the converter; the verdict for the last page asked
// about is remembered per thread.
bool keepsAscii(const std::string& page) {
  thread_local std::string lastPage;
  thread_local bool lastVerdict = false;
  if (page != lastPage || lastPage.empty()) {
    std::u16string ascii(128, u'\0');
    for (int c = 0; c < 128; ++c) ascii[static_cast<size_t>(c)] = static_cast<char16_t>(c);
    const std::string bytes = platform::EncodeCodePage(page, ascii);
    bool same = bytes.size() == ascii.size();
    for (size_t c = 0; same && c < bytes.size(); ++c) same = static_cast<unsigned char>(bytes[c]) == c;
    // The decoding direction too: a page may read a byte below 128 as another character.
    const std::u16string back = same ? platform::DecodeCodePage(page, bytes) : std::u16string();
    lastVerdict = same && back == ascii;
    lastPage = page;
  }
  return lastVerdict;
}

bool isAscii(const char16_t* text, qsizetype n) {
  for (qsizetype i = 0; i < n; ++i)
    if (text[i] >= 0x80) return false;
  return true;
}

bool isAscii(const char* bytes, qsizetype n) {
  for (qsizetype i = 0; i < n; ++i)
    if (static_cast<unsigned char>(bytes[i]) >= 0x80) return false;
  return true;
}

QByteArray encode(const std::string& page, const QString& s) {
  if (s.isEmpty()) return QByteArray();
  if (isAscii(reinterpret_cast<const char16_t*>(s.utf16()), s.size()) && keepsAscii(page)) return s.toLatin1();
  std::string bytes =
      platform::EncodeCodePage(page, std::u16string_view(reinterpret_cast<const char16_t*>(s.utf16()), s.size()));
  return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QString decode(const std::string& page, const char* bytes, qsizetype len) {
  if (len <= 0) return QString();
  if (isAscii(bytes, len) && keepsAscii(page)) return QString::fromLatin1(bytes, len);
  std::u16string text = platform::DecodeCodePage(page, std::string_view(bytes, static_cast<size_t>(len)));
  return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}

void requireKnown(const QString& name) {
  if (!platform::IsKnownCodePage(name.toStdString()))
    throw EConvertError(QStringLiteral("Unknown code page '%1'").arg(name));
}

}  // namespace

QString UpperCaseAZ(const QString& s) {
  QString r = s;
  for (QChar& c : r) c = upperAZ(c);
  return r;
}

QString LowerCaseAZ(const QString& s) {
  QString r = s;
  for (QChar& c : r) c = lowerAZ(c);
  return r;
}

int CompareTextAZ(const QString& a, const QString& b) {
  const qsizetype n = std::min(a.size(), b.size());
  for (qsizetype i = 0; i < n; ++i) {
    const int ca = upperAZ(a[i]).unicode();
    const int cb = upperAZ(b[i]).unicode();
    if (ca != cb) return ca - cb;
  }
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

bool SameTextAZ(const QString& a, const QString& b) { return a.size() == b.size() && CompareTextAZ(a, b) == 0; }

QByteArray ToAnsi(const QString& s) { return encode(platform::AnsiCodePage(), s); }
QString FromAnsi(const QByteArray& bytes) { return decode(platform::AnsiCodePage(), bytes.constData(), bytes.size()); }
QString FromAnsi(const char* bytes, qsizetype len) {
  if (!bytes) return QString();
  if (len < 0) len = static_cast<qsizetype>(std::strlen(bytes));
  return decode(platform::AnsiCodePage(), bytes, len);
}
QByteArray ToOem(const QString& s) { return encode(OemSelection::instance().name(), s); }
QString FromOem(const QByteArray& bytes) {
  return decode(OemSelection::instance().name(), bytes.constData(), bytes.size());
}

void SetAnsiCodePage(const QString& name) {
  requireKnown(name);
  platform::Status s = platform::SetAnsiCodePage(name.toStdString());
  if (!s.ok()) throw EConvertError(QString::fromStdString(s.message()));
}
void SetOemCodePage(const QString& name) {
  requireKnown(name);
  OemSelection::instance().select(name.toStdString());
}
QString AnsiCodePage() { return QString::fromStdString(platform::AnsiCodePage()); }
QString OemCodePage() { return QString::fromStdString(OemSelection::instance().name()); }
