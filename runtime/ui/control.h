// TControl: the base of everything that appears inside a window: its parent, position and size
// in pixels, alignment, visibility, enabled state, colour and font, and whether it takes its
// font from its parent (ParentFont). Each control drives one Qt widget; the control owns that
// widget unless Qt already released it together with the parent's widget. TGraphicControl is
// the base of the controls that cannot contain others (labels). Controls are components:
// their owner (normally the window) destroys them. User-interface thread only.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <memory>

#include "runtime/component.h"
#include "runtime/ui/font.h"
#include "runtime/ui/types.h"

class TWinControl;

class TControl : public TComponent {
 public:
  ~TControl() override;

  // The control this one sits inside (nullptr for a window or a control not yet placed).
  TWinControl* Parent() const { return parent_; }
  // Moves the control into `parent` (appended to its child list) or out of any parent.
  virtual void SetParent(TWinControl* parent);

  // Position and size in pixels of the screen, relative to the parent's client area.
  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetLeft(int value) { SetBounds(value, top_, width_, height_); }
  void SetTop(int value) { SetBounds(left_, value, width_, height_); }
  void SetWidth(int value) { SetBounds(left_, top_, value, height_); }
  void SetHeight(int value) { SetBounds(left_, top_, width_, value); }
  virtual void SetBounds(int left, int top, int width, int height);

  // Alignment inside the parent; setting it re-aligns the parent's controls.
  TAlign Align() const { return align_; }
  void SetAlign(TAlign align);

  bool Visible() const { return visible_; }
  virtual void SetVisible(bool visible);

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);

  // Background colour (system colours follow the desktop palette).
  TColor Color() const { return color_; }
  void SetColor(TColor color);

  // The control's own font. Changing it directly turns ParentFont off, as it does on the
  // original platform; while ParentFont is on, every change of the parent's font is copied.
  TFont* Font() { return font_.get(); }
  const TFont* Font() const { return font_.get(); }
  bool ParentFont() const { return parentFont_; }
  void SetParentFont(bool value);

  // True for controls that can contain other controls (TWinControl and its descendants).
  virtual bool IsWindowed() const { return false; }

  // The Qt widget that shows this control (nullptr once Qt released it with its parent's).
  QWidget* Widget() const { return widget_.data(); }

 protected:
  // `widget` becomes the control's widget; the control deletes it when it dies.
  TControl(TComponent* owner, QWidget* widget);

  // Pushes font and colours onto the widget; windowed controls pass the font on to the
  // children that follow it.
  virtual void FontChanged();
  virtual void ApplyColors();

  // The parent's font changed (or ParentFont was just turned on): copy it.
  void FollowParentFont();

 private:
  friend class TWinControl;

  TWinControl* parent_ = nullptr;
  QPointer<QWidget> widget_;
  int left_ = 0;
  int top_ = 0;
  int width_ = 0;
  int height_ = 0;
  TAlign align_ = alNone;
  bool visible_ = true;
  bool enabled_ = true;
  TColor color_ = clBtnFace;
  std::unique_ptr<TFont> font_;
  bool parentFont_ = true;
  bool followingParent_ = false;  // true while the parent's font is being copied in
};

// A control that cannot contain other controls (on the original platform: one without a
// window handle of its own, painted by its parent).
class TGraphicControl : public TControl {
 protected:
  using TControl::TControl;
};
