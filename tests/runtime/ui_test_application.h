// The application object shared by every window test of one test process (the window classes
// need a Qt application; tests run on the offscreen platform). Each test that replaces the
// default exception handler restores it through ScopedExceptionCapture.
#pragma once

#include <QString>
#include <QStringList>

#include "runtime/ui/application.h"

namespace uitest {

inline TApplication& App() {
  static int argc = 1;
  static char name[] = "quenlor-tests";
  static char* argv[] = {name, nullptr};
  static TApplication application(argc, argv);
  return application;
}

// Collects the messages of exceptions that reach the default handler while it lives.
class ScopedExceptionCapture {
 public:
  ScopedExceptionCapture() {
    App().OnException = [this](TComponent* sender, const std::exception& error) {
      senders.push_back(sender);
      messages << ExceptionMessage(error);
    };
  }
  ~ScopedExceptionCapture() { App().OnException = nullptr; }
  ScopedExceptionCapture(const ScopedExceptionCapture&) = delete;
  ScopedExceptionCapture& operator=(const ScopedExceptionCapture&) = delete;

  QStringList messages;
  std::vector<TComponent*> senders;
};

}  // namespace uitest
