#include "runtime/ui/application.h"

#include <QApplication>

#include "runtime/dialogs.h"
#include "runtime/exception.h"
#include "runtime/messages.h"
#include "runtime/ui/form.h"

TApplication* Application = nullptr;

namespace ui_detail {

QtApplicationHolder::QtApplicationHolder(int& argc, char** argv) {
  if (QCoreApplication::instance() == nullptr) app_ = std::make_unique<QApplication>(argc, argv);
}

QtApplicationHolder::~QtApplicationHolder() = default;

}  // namespace ui_detail

TApplication::TApplication(int& argc, char** argv)
    : QtApplicationHolder(argc, argv), TComponent(nullptr) {
  Application = this;
}

TApplication::~TApplication() {
  // The windows go while Qt and `Application` still exist.
  DestroyComponents();
  signals_.reset();
  mainForm_ = nullptr;
  if (Application == this) Application = nullptr;
}

void TApplication::Initialize() {
  QGuiApplication::setQuitOnLastWindowClosed(false);
  terminated_ = false;
  if (!signals_) signals_ = std::make_unique<ui_detail::TerminationSignals>();
}

QIcon TApplication::Icon() const { return QApplication::windowIcon(); }

void TApplication::SetIcon(const QIcon& icon) { QApplication::setWindowIcon(icon); }

void TApplication::Run() {
  if (mainForm_ == nullptr || terminated_) return;
  mainForm_->Show();
  QApplication::exec();
}

void TApplication::Terminate() {
  terminated_ = true;
  QCoreApplication::quit();
}

void TApplication::ProcessMessages() { ::ProcessMessages(); }

void TApplication::HandleException(TComponent* sender, const std::exception& error) {
  if (OnException)
    OnException(sender, error);
  else
    ShowException(error);
}

void TApplication::ShowException(const std::exception& error) {
  ShowExceptionMessage(title_, error);
}

void TApplication::FormDestroyed(TForm* form) {
  if (mainForm_ == form) mainForm_ = nullptr;
}

QString ExceptionMessage(const std::exception& error) {
  if (auto* own = dynamic_cast<const Exception*>(&error)) return own->Message();
  return QString::fromUtf8(error.what());
}

void ShowExceptionMessage(const QString& title, const std::exception& error) {
  ShowErrorMessageBox(ExceptionMessage(error), title);
}
