#include "runtime/ui/control.h"

#include <QGuiApplication>
#include <QPalette>

#include "runtime/ui/win_control.h"

TControl::TControl(TComponent* owner, QWidget* widget)
    : TComponent(owner), widget_(widget), font_(std::make_unique<TFont>()) {
  font_->OnChange = [this] {
    if (!followingParent_) parentFont_ = false;
    FontChanged();
  };
}

TControl::~TControl() {
  if (parent_ != nullptr) parent_->RemoveControl(this);
  // Qt may already have released the widget together with its parent's widget.
  delete widget_.data();
}

void TControl::SetParent(TWinControl* parent) {
  if (parent == parent_) return;
  if (parent_ != nullptr) parent_->RemoveControl(this);
  parent_ = parent;
  if (QWidget* w = Widget()) {
    w->setParent(parent != nullptr ? parent->ClientWidget() : nullptr);
    w->setGeometry(left_, top_, width_, height_);
    if (parent != nullptr) w->setVisible(visible_);
  }
  if (parent != nullptr) {
    parent->InsertControl(this);
    if (parentFont_) FollowParentFont();
    parent->AlignControls();
  }
}

void TControl::SetBounds(int left, int top, int width, int height) {
  left_ = left;
  top_ = top;
  width_ = width < 0 ? 0 : width;
  height_ = height < 0 ? 0 : height;
  if (QWidget* w = Widget()) w->setGeometry(left_, top_, width_, height_);
  if (parent_ != nullptr && align_ != alNone) parent_->AlignControls();
}

void TControl::SetAlign(TAlign align) {
  if (align == align_) return;
  align_ = align;
  if (parent_ != nullptr) parent_->AlignControls();
}

void TControl::SetVisible(bool visible) {
  visible_ = visible;
  if (QWidget* w = Widget(); w != nullptr && parent_ != nullptr) w->setVisible(visible);
  if (parent_ != nullptr) parent_->AlignControls();
}

void TControl::SetEnabled(bool enabled) {
  enabled_ = enabled;
  if (QWidget* w = Widget()) w->setEnabled(enabled);
}

void TControl::SetColor(TColor color) {
  color_ = color;
  ApplyColors();
}

void TControl::SetParentFont(bool value) {
  parentFont_ = value;
  if (value && parent_ != nullptr) FollowParentFont();
}

void TControl::FollowParentFont() {
  followingParent_ = true;
  font_->Assign(*parent_->Font());
  followingParent_ = false;
}

void TControl::FontChanged() {
  if (QWidget* w = Widget()) w->setFont(font_->ToQFont());
  ApplyColors();
}

void TControl::ApplyColors() {
  QWidget* w = Widget();
  if (w == nullptr) return;
  QPalette palette = w->palette();
  const QColor text = ColorToQColor(font_->Color());
  // The font's colour serves an enabled control; a disabled one shows the desktop's disabled
  // text, as every disabled control of the desktop does.
  const QPalette desktop = QGuiApplication::palette();
  for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
    palette.setColor(QPalette::Active, role, text);
    palette.setColor(QPalette::Inactive, role, text);
    palette.setColor(QPalette::Disabled, role, desktop.color(QPalette::Disabled, role));
  }
  palette.setColor(QPalette::Window, ColorToQColor(color_));
  w->setPalette(palette);
}
