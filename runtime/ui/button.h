// TButton: a push button with a caption; a click (by mouse, keyboard or Click()) runs OnClick
// behind the application's default exception handler. A disabled button ignores the user.
// User-interface thread only.
#pragma once

#include <QString>
#include <functional>

#include "runtime/ui/win_control.h"

class TButton : public TWinControl {
 public:
  explicit TButton(TComponent* owner);

  QString Caption() const;
  void SetCaption(const QString& caption);

  // Runs OnClick as a click of the user would.
  void Click();

  std::function<void(TComponent* sender)> OnClick;
};
