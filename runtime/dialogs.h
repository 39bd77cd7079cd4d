// The modal error message box, with two ways around it: an unattended process (or one without a
// GUI application or a real display) writes the message to standard error instead of blocking,
// and tests install a capture hook that receives every message instead.
//
// Threading: user-interface thread only (a message box is a window).
#pragma once

#include <QString>
#include <functional>
#include <vector>

// Shows text in a modal error message box with one OK button and the given title, and returns
// when the user closes it. Goes to the capture hook when one is installed; writes
// "<title>: <text>" and a line break to standard error when unattended, when no QApplication
// exists, or when the application runs on a platform without a display ("offscreen",
// "minimal").
void ShowErrorMessageBox(const QString& text, const QString& title);

// Unattended mode: no window ever waits for a user.
void SetUnattended(bool unattended);
bool Unattended();

using ErrorMessageHook = std::function<void(const QString& text, const QString& title)>;

// Installs hook for every later message (an empty function removes it); returns the previous one.
ErrorMessageHook SetErrorMessageHook(ErrorMessageHook hook);

// Collects the messages shown while it lives, restoring the previous hook afterwards.
class ScopedErrorMessageCapture {
 public:
  struct Message {
    QString text;
    QString title;
  };
  ScopedErrorMessageCapture();
  ~ScopedErrorMessageCapture();
  ScopedErrorMessageCapture(const ScopedErrorMessageCapture&) = delete;
  ScopedErrorMessageCapture& operator=(const ScopedErrorMessageCapture&) = delete;

  const std::vector<Message>& messages() const { return messages_; }

 private:
  ErrorMessageHook previous_;
  std::vector<Message> messages_;
};
