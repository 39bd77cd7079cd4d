// TScreen: the screen as the windows see it: its resolution in pixels per inch, the screen
// cursor (busy or default, over every window of the application) and the font the desktop
// uses for icon titles. One process-wide object, `Screen`. User-interface thread only;
// REQUIRES a QGuiApplication for everything but the cursor value.
#pragma once

#include <QFont>

#include "runtime/ui/types.h"

class TScreen {
 public:
  // The cursor shown over the application's windows. crDefault lets every control show its own
  // cursor; any other value overrides them all (crHourGlass: the busy cursor).
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor cursor);

  // Logical pixels per inch of the primary screen (96 when there is no screen).
  int PixelsPerInch() const;

  // The desktop's font for icon titles: on this host the general font of the platform theme.
  QFont IconFont() const;

 private:
  TCursor cursor_ = crDefault;
};

extern TScreen* const Screen;
