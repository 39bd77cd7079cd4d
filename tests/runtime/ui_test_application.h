// The application object shared by every window test of one test process (the window classes
// need a Qt application; tests run on the offscreen platform). Each test that replaces the
// default exception handler restores it through ScopedExceptionCapture.
#pragma once

#include <QString>
#include <QStringList>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

#include "runtime/ui/application.h"

namespace uitest {

// Holds the application object; GoogleTest tears it down before main returns, while Qt's own
// process-wide state still exists (destroying it during static destruction crashes).
class ApplicationEnvironment : public ::testing::Environment {
 public:
  TApplication& Get() {
    if (!application_) {
      static int argc = 1;
      static char name[] = "quenlor-tests";
      static char* argv[] = {name, nullptr};
      application_ = std::make_unique<TApplication>(argc, argv);
    }
    return *application_;
  }
  void TearDown() override { application_.reset(); }

 private:
  std::unique_ptr<TApplication> application_;
};

inline TApplication& App() {
  // GoogleTest owns the environment once it is registered.
  static ApplicationEnvironment* environment = static_cast<ApplicationEnvironment*>(
      ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment()));
  return environment->Get();
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
