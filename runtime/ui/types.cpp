#include "runtime/ui/types.h"

#include <QGuiApplication>
#include <QPalette>

QColor ColorToQColor(TColor color) {
  if (IsSystemColor(color)) {
    const QPalette palette = QGuiApplication::palette();
    switch (color & 0xFF) {
      case 5:
        return palette.color(QPalette::Base);
      case 8:
        return palette.color(QPalette::WindowText);
      case 15:
        return palette.color(QPalette::Button);
      case 18:
        return palette.color(QPalette::ButtonText);
      default:
        return palette.color(QPalette::Window);
    }
  }
  return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}
