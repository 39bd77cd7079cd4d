// TApplication: the application object. It holds the application's title and icon, creates
// the windows (the first one becomes the main form), runs the message loop until the main form
// closes, processes pending messages on request, and is the one default handler for an
// exception that escapes an event handler: it shows the exception's message in a message box
// and the application keeps running. One instance per process, reachable as `Application`.
// User-interface thread only.
#pragma once

#include <QIcon>
#include <QString>
#include <exception>
#include <functional>
#include <memory>

#include "runtime/component.h"

class QApplication;
class TForm;

namespace ui_detail {
// Owns the QApplication when the application object had to create it. A base class of
// TApplication listed before TComponent, so that the windows (owned components) are destroyed
// before Qt goes away.
class QtApplicationHolder {
 protected:
  QtApplicationHolder(int& argc, char** argv);
  ~QtApplicationHolder();

 private:
  std::unique_ptr<QApplication> app_;
};

// Turns the host's termination signals into a close request of the main form, delivered by
// the message loop (a signal handler itself may only write to a pipe).
class TerminationSignals {
 public:
  TerminationSignals();
  ~TerminationSignals();
  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};
}  // namespace ui_detail

class TApplication : private ui_detail::QtApplicationHolder, public TComponent {
 public:
  // Creates the Qt application unless the process already has one, and becomes `Application`.
  TApplication(int& argc, char** argv);
  ~TApplication() override;
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  // Prepares the message loop: it ends when the main form closes, not when the last visible
  // window does. A termination request of the host (SIGTERM, SIGINT, SIGHUP: the session
  // ends, a script stops the tool) closes the main form as its close box would, so that the
  // close handler and the finalisations still run.
  void Initialize();

  QString Title() const { return title_; }
  void SetTitle(const QString& title) { title_ = title; }

  // Whether the main form's own window carries the task bar button. On this host every
  // top-level window has its own button, so the main form always does.
  bool MainFormOnTaskBar() const { return mainFormOnTaskBar_; }
  void SetMainFormOnTaskBar(bool value) { mainFormOnTaskBar_ = value; }

  // The icon of the application's windows and its task bar button.
  QIcon Icon() const;
  void SetIcon(const QIcon& icon);

  // Creates a window of class F owned by the application, stores it in `reference` before its
  // creation handler runs, and runs that handler. The first window created is the main form.
  template <class F>
  void CreateForm(F*& reference) {
    F* form = new F(this);  // owned by the application (component ownership)
    reference = form;
    if (mainForm_ == nullptr) mainForm_ = form;
    form->AfterConstruction();
  }

  TForm* MainForm() const { return mainForm_; }

  // Shows the main form and runs the message loop until it closes (or Terminate is called).
  void Run();
  // Ends the message loop.
  void Terminate();
  bool Terminated() const { return terminated_; }

  // Handles every message waiting in the queue, then returns.
  void ProcessMessages();

  // The default handler: OnException when set, otherwise ShowException.
  void HandleException(TComponent* sender, const std::exception& error);
  // Shows the message of `error` in the error message box titled with the application's title.
  void ShowException(const std::exception& error);

  // Replaces the message box for exceptions that escape handlers (unattended runs, tests).
  std::function<void(TComponent* sender, const std::exception& error)> OnException;

  // Called by a form that is being destroyed.
  void FormDestroyed(TForm* form);

 private:
  std::unique_ptr<ui_detail::TerminationSignals> signals_;
  QString title_;
  bool mainFormOnTaskBar_ = false;
  bool terminated_ = false;
  TForm* mainForm_ = nullptr;  // borrowed: one of the owned components
};

// The application object of the process (nullptr before it is created).
extern TApplication* Application;

// The message text of an exception: the runtime's message for its own exceptions, the UTF-8
// text of what() for any other standard exception.
QString ExceptionMessage(const std::exception& error);

// Shows the message of `error` in the modal error message box with the given title (which an
// unattended run writes to standard error instead).
void ShowExceptionMessage(const QString& title, const std::exception& error);

// Runs an event handler. An exception escaping it goes to the application's default handler
// (or, without an application object, to a message box), so the message loop carries on.
// Returns false when the handler ended with an exception.
template <class Handler>
bool RunHandler(TComponent* sender, Handler&& handler) {
  try {
    handler();
    return true;
  } catch (const std::exception& error) {
    if (Application != nullptr)
      Application->HandleException(sender, error);
    else
      ShowExceptionMessage(QString(), error);
    return false;
  }
}
