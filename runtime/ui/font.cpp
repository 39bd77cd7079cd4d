#include "runtime/ui/font.h"

TFont::TFont() : name_("Tahoma"), size_(8), style_(0), color_(clWindowText) {}

void TFont::SetName(const QString& name) {
  if (name == name_) return;
  name_ = name;
  Changed();
}

void TFont::SetSize(int points) {
  if (points == size_) return;
  size_ = points;
  Changed();
}

void TFont::SetStyle(TFontStyles style) {
  if (style == style_) return;
  style_ = style;
  Changed();
}

void TFont::SetColor(TColor color) {
  if (color == color_) return;
  color_ = color;
  Changed();
}

void TFont::Assign(const TFont& other) {
  if (SameAs(other)) return;
  name_ = other.name_;
  size_ = other.size_;
  style_ = other.style_;
  color_ = other.color_;
  Changed();
}

bool TFont::SameAs(const TFont& other) const {
  return name_ == other.name_ && size_ == other.size_ && style_ == other.style_ &&
         color_ == other.color_;
}

QFont TFont::ToQFont() const {
  QFont font(name_);
  if (size_ > 0) font.setPointSize(size_);
  font.setBold((style_ & fsBold) != 0);
  font.setItalic((style_ & fsItalic) != 0);
  font.setUnderline((style_ & fsUnderline) != 0);
  font.setStrikeOut((style_ & fsStrikeOut) != 0);
  return font;
}

void TFont::Changed() {
  if (OnChange) OnChange();
}
