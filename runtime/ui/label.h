// TLabel: a line of static text. It cannot contain other controls (a non-windowed control in
// the sense of the window appearance adjustment). User-interface thread only.
#pragma once

#include <QString>

#include "runtime/ui/control.h"

class TLabel : public TGraphicControl {
 public:
  explicit TLabel(TComponent* owner);

  QString Caption() const;
  void SetCaption(const QString& caption);
};
