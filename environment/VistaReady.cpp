#include "environment/VistaReady.h"

#include <QFont>
#include <QFontInfo>
#include <QOperatingSystemVersion>
#include <optional>

#include "runtime/ui/form.h"
#include "runtime/ui/memo.h"
#include "runtime/ui/screen.h"

namespace {

struct FontOverride {
  QString name;
  int points;
};

QString desktopFontName;
int desktopFontSize = 0;
bool newPlatform = false;
bool scaledWindow = false;
std::optional<FontOverride> fontOverride;

bool IsHeadingColor(TColor color) { return color == kHeadingColor || color == kHeadingColorBold; }

// Name first; the size only for text that is not a heading.
void ApplyDesktopFont(TControl* control) {
  TFont* font = control->Font();
  font->SetName(desktopFontName);
  if (!IsHeadingColor(font->Color())) font->SetSize(desktopFontSize);
}

}  // namespace

void CaptureDesktopFont() {
  scaledWindow = false;
  const int major = QOperatingSystemVersion::current().majorVersion();
  newPlatform = major < 0 || major >= 6;
  if (fontOverride) {
    desktopFontName = fontOverride->name;
    desktopFontSize = fontOverride->points;
    return;
  }
  const QFont font = Screen->IconFont();
  // The face the font actually resolves to: a theme may name a generic family ("Sans Serif")
  // that fontconfig maps onto an installed face.
  desktopFontName = QFontInfo(font).family();
  int points = font.pointSize();
  if (points <= 0 && font.pixelSize() > 0)
    points = (font.pixelSize() * 72 + Screen->PixelsPerInch() / 2) / Screen->PixelsPerInch();
  desktopFontSize = points > 0 ? points : QFontInfo(font).pointSize();
}

void ReleaseDesktopFont() { desktopFontName.clear(); }

void SetDesktopFontOverride(const QString& name, int points) {
  fontOverride = FontOverride{name, points};
}

void ClearDesktopFontOverride() { fontOverride.reset(); }

QString DesktopFontName() { return desktopFontName; }
int DesktopFontSize() { return desktopFontSize; }
bool NewPlatform() { return newPlatform; }
bool ScaledWindow() { return scaledWindow; }

void AdjustWindow(TForm* window) {
  AdjustControl(window);
  scaledWindow = window->PixelsPerInch() != Screen->PixelsPerInch();
}

void AdjustControl(TControl* control) {
  if (auto* windowed = dynamic_cast<TWinControl*>(control)) {
    if (auto* memo = dynamic_cast<TMemo*>(windowed)) {
      if (memo->ScrollBars() == ssNone) memo->SetScrollBars(ssVertical);
      ApplyDesktopFont(memo);
    } else if (dynamic_cast<TForm*>(windowed) != nullptr || !windowed->ParentFont()) {
      ApplyDesktopFont(windowed);
    }
    for (int i = 0; i < windowed->ControlCount(); ++i) AdjustControl(windowed->Controls(i));
    return;
  }
  TFont* font = control->Font();
  font->SetName(desktopFontName);
  if (IsHeadingColor(font->Color())) {
    if (font->Name() != QStringLiteral("Segoe UI")) {
      font->SetStyle(font->Style() | fsBold);
      font->SetColor(kHeadingColorBold);
    }
  } else {
    font->SetSize(desktopFontSize);
  }
}
