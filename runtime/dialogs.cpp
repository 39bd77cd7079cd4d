#include "runtime/dialogs.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <cstdio>

namespace {

bool unattended = false;
ErrorMessageHook& hook() {
  static ErrorMessageHook h;
  return h;
}

bool canShowWindows() {
  if (unattended) return false;
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return false;
  const QString platform = QGuiApplication::platformName();
  return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

}  // namespace

void ShowErrorMessageBox(const QString& text, const QString& title) {
  if (hook()) {
    hook()(text, title);
    return;
  }
  if (!canShowWindows()) {
    const QByteArray line = (title + QStringLiteral(": ") + text + u'\n').toLocal8Bit();
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    std::fflush(stderr);
    return;
  }
  QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok, QApplication::activeWindow());
  box.exec();
}

void SetUnattended(bool value) { unattended = value; }
bool Unattended() { return unattended; }

ErrorMessageHook SetErrorMessageHook(ErrorMessageHook h) {
  ErrorMessageHook previous = std::move(hook());
  hook() = std::move(h);
  return previous;
}

ScopedErrorMessageCapture::ScopedErrorMessageCapture()
    : previous_(SetErrorMessageHook([this](const QString& text, const QString& title) {
        messages_.push_back({text, title});
      })) {}

ScopedErrorMessageCapture::~ScopedErrorMessageCapture() { SetErrorMessageHook(std::move(previous_)); }
