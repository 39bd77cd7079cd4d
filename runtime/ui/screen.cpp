#include "runtime/ui/screen.h"

#include <QCursor>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QScreen>
#include <cmath>

namespace {
TScreen theScreen;
}  // namespace

TScreen* const Screen = &theScreen;

void TScreen::SetCursor(TCursor cursor) {
  if (cursor == cursor_) return;
  const bool hadOverride = cursor_ != crDefault;
  cursor_ = cursor;
  if (cursor == crDefault) {
    if (hadOverride) QGuiApplication::restoreOverrideCursor();
    return;
  }
  const Qt::CursorShape shape = cursor == crHourGlass ? Qt::WaitCursor : Qt::ArrowCursor;
  if (hadOverride)
    QGuiApplication::changeOverrideCursor(QCursor(shape));
  else
    QGuiApplication::setOverrideCursor(QCursor(shape));
}

int TScreen::PixelsPerInch() const {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return 96;
  return static_cast<int>(std::lround(screen->logicalDotsPerInchY()));
}

QFont TScreen::IconFont() const { return QFontDatabase::systemFont(QFontDatabase::GeneralFont); }
