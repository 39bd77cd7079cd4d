// TWinControl: a control that can contain other controls. It keeps its children in the order
// they were placed (the child list), arranges the aligned ones inside its client area, hands
// its font to the children that follow it and keeps its windowed children in tab order.
// User-interface thread only.
#pragma once

#include <vector>

#include "runtime/ui/control.h"

class TWinControl : public TControl {
 public:
  ~TWinControl() override;

  bool IsWindowed() const override { return true; }

  // The child list: windowed and non-windowed children alike, in the order they were placed.
  int ControlCount() const { return static_cast<int>(controls_.size()); }
  TControl* Controls(int index) const;

  // Position among the parent's windowed children when the focus moves with the Tab key.
  int TabOrder() const;
  void SetTabOrder(int order);
  // Appends, depth first in tab order, the visible and enabled controls inside this one that
  // take the focus with the Tab key.
  void CollectTabStops(std::vector<TWinControl*>& stops) const;

  // Places the aligned children: top, bottom, left and right ones along the edges in child
  // order, then the client-aligned ones over whatever is left.
  void AlignControls();

  // The widget children are placed in (the control's own widget unless a descendant says
  // otherwise); its size is the client area.
  virtual QWidget* ClientWidget() const { return Widget(); }
  int ClientWidth() const;
  int ClientHeight() const;

 protected:
  TWinControl(TComponent* owner, QWidget* widget);

  void FontChanged() override;

 private:
  friend class TControl;
  void InsertControl(TControl* control);
  void RemoveControl(TControl* control);

  std::vector<TControl*> controls_;     // borrowed: the owner destroys them
  std::vector<TWinControl*> tabList_;   // the windowed children in tab order
};
