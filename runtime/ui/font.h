// TFont: the font of a window or control: face name, size in points, style and colour. A
// control owns its font and listens to OnChange to redraw itself and the children that take
// their font from it. Used on the user-interface thread only.
#pragma once

#include <QFont>
#include <QString>
#include <functional>

#include "runtime/ui/types.h"

class TFont {
 public:
  // A font as the window designer starts with: "Tahoma", 8 points, regular, window-text colour.
  TFont();
  TFont(const TFont&) = delete;
  TFont& operator=(const TFont&) = delete;

  QString Name() const { return name_; }
  void SetName(const QString& name);

  // Size in points (1/72 inch); Qt turns it into pixels for the screen's resolution.
  int Size() const { return size_; }
  void SetSize(int points);

  TFontStyles Style() const { return style_; }
  void SetStyle(TFontStyles style);

  TColor Color() const { return color_; }
  void SetColor(TColor color);

  // Copies name, size, style and colour from another font; OnChange runs once if anything
  // differed.
  void Assign(const TFont& other);

  // True when name, size, style and colour are the same.
  bool SameAs(const TFont& other) const;

  // The Qt font with this face, size and style.
  QFont ToQFont() const;

  // Called after every change of a property (not when a setter leaves the value unchanged).
  std::function<void()> OnChange;

 private:
  void Changed();

  QString name_;
  int size_;
  TFontStyles style_;
  TColor color_;
};
