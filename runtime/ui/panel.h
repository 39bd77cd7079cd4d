// TPanel: a plain container, usually aligned to an edge of its window (a tool strip along the
// top). Its outer bevel is drawn as a raised or sunken frame, or not at all. User-interface
// thread only.
#pragma once

#include "runtime/ui/win_control.h"

class TPanel : public TWinControl {
 public:
  explicit TPanel(TComponent* owner);

  TPanelBevel BevelOuter() const { return bevelOuter_; }
  void SetBevelOuter(TPanelBevel bevel);

 private:
  TPanelBevel bevelOuter_ = bvRaised;
};
