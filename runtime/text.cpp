#include "runtime/text.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "runtime/exception.h"

namespace {

QChar upperAZ(QChar c) { return (c >= u'a' && c <= u'z') ? QChar(c.unicode() - 32) : c; }
QChar lowerAZ(QChar c) { return (c >= u'A' && c <= u'Z') ? QChar(c.unicode() + 32) : c; }

struct ConverterCloser {
  void operator()(UConverter* c) const { ucnv_close(c); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

// Unassigned or illegal source bytes become "?" in the UTF-16 result.
void toUnicodeQuestionMark(const void*, UConverterToUnicodeArgs* args, const char*, int32_t,
                           UConverterCallbackReason reason, UErrorCode* err) {
  if (reason > UCNV_IRREGULAR) return;  // reset, close, clone: nothing to write
  static const UChar kQuestion = u'?';
  *err = U_ZERO_ERROR;
  ucnv_cbToUWriteUChars(args, &kQuestion, 1, 0, err);
}

ConverterPtr openConverter(const std::string& name) {
  UErrorCode err = U_ZERO_ERROR;
  ConverterPtr conv(ucnv_open(name.c_str(), &err));
  if (U_FAILURE(err) || !conv) return nullptr;
  err = U_ZERO_ERROR;
  ucnv_setSubstChars(conv.get(), "?", 1, &err);
  err = U_ZERO_ERROR;
  ucnv_setToUCallBack(conv.get(), toUnicodeQuestionMark, nullptr, nullptr, nullptr, &err);
  err = U_ZERO_ERROR;
  ucnv_setFromUCallBack(conv.get(), UCNV_FROM_U_CALLBACK_SUBSTITUTE, nullptr, nullptr, nullptr, &err);
  return conv;
}

// One selected code page. Each thread keeps its own converter (ICU converters are not
// thread-safe) and reopens it when the selection changed since it was opened.
class CodePage {
 public:
  explicit CodePage(const char* name) : name_(name) {}

  void select(const QString& name) {
    std::string n = name.toStdString();
    if (!openConverter(n)) throw EConvertError(QStringLiteral("Unknown code page '%1'").arg(name));
    std::lock_guard<std::mutex> lock(mutex_);
    name_ = n;
    ++generation_;
  }

  QString name() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return QString::fromStdString(name_);
  }

  QByteArray encode(const QString& s) {
    if (s.isEmpty()) return QByteArray();
    UConverter* conv = converter();
    std::vector<char> out(static_cast<size_t>(s.size()) * ucnv_getMaxCharSize(conv) + 1);
    UErrorCode err = U_ZERO_ERROR;
    int32_t n = ucnv_fromUChars(conv, out.data(), static_cast<int32_t>(out.size()),
                                reinterpret_cast<const UChar*>(s.utf16()), static_cast<int32_t>(s.size()), &err);
    if (U_FAILURE(err)) throw EConvertError(QStringLiteral("Code page conversion failed"));
    return QByteArray(out.data(), n);
  }

  QString decode(const char* bytes, qsizetype len) {
    if (len <= 0) return QString();
    UConverter* conv = converter();
    std::vector<UChar> out(static_cast<size_t>(len) * 2 + 1);
    UErrorCode err = U_ZERO_ERROR;
    int32_t n = ucnv_toUChars(conv, out.data(), static_cast<int32_t>(out.size()), bytes,
                              static_cast<int32_t>(len), &err);
    if (U_FAILURE(err)) throw EConvertError(QStringLiteral("Code page conversion failed"));
    return QString(reinterpret_cast<const QChar*>(out.data()), n);
  }

 private:
  struct Cached {
    const CodePage* owner = nullptr;
    unsigned generation = 0;
    ConverterPtr conv;
  };

  UConverter* converter() {
    // Two code pages, so two slots per thread.
    thread_local Cached perThread[2];
    Cached& slot = perThread[this == &ansiPage() ? 0 : 1];
    std::string n;
    unsigned gen;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      n = name_;
      gen = generation_;
    }
    if (!slot.conv || slot.owner != this || slot.generation != gen) {
      slot.conv = openConverter(n);
      slot.owner = this;
      slot.generation = gen;
    }
    ucnv_reset(slot.conv.get());
    return slot.conv.get();
  }

 public:
  static CodePage& ansiPage() {
    static CodePage page("windows-1252");
    return page;
  }
  static CodePage& oemPage() {
    static CodePage page("ibm-437");
    return page;
  }

 private:
  mutable std::mutex mutex_;
  std::string name_;
  unsigned generation_ = 1;
};

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

QByteArray ToAnsi(const QString& s) { return CodePage::ansiPage().encode(s); }
QString FromAnsi(const QByteArray& bytes) { return CodePage::ansiPage().decode(bytes.constData(), bytes.size()); }
QString FromAnsi(const char* bytes, qsizetype len) {
  if (!bytes) return QString();
  if (len < 0) len = static_cast<qsizetype>(std::strlen(bytes));
  return CodePage::ansiPage().decode(bytes, len);
}
QByteArray ToOem(const QString& s) { return CodePage::oemPage().encode(s); }
QString FromOem(const QByteArray& bytes) { return CodePage::oemPage().decode(bytes.constData(), bytes.size()); }

void SetAnsiCodePage(const QString& name) { CodePage::ansiPage().select(name); }
void SetOemCodePage(const QString& name) { CodePage::oemPage().select(name); }
QString AnsiCodePage() { return CodePage::ansiPage().name(); }
QString OemCodePage() { return CodePage::oemPage().name(); }
