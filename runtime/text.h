// Text helpers shared by every layer: case folding that touches only the letters a to z, and the
// one place where UTF-16 text is converted to and from the ANSI and OEM code pages.
//
// The ANSI code page is the process's one setting, which the engine follows too
// (platform/code_page.h: windows-1252 unless configured); the OEM code page is ibm-437 unless
// SetOemCodePage selects another. Both convert through ICU. A character the target code page
// cannot represent becomes "?", and so does a byte the source code page does not assign;
// conversion never fails.
//
// Threading: all functions may be called from any thread. SetAnsiCodePage and SetOemCodePage
// are meant for start-up (SetAnsiCodePage changes the process environment); conversions running
// at the same time use either the old or the new code page.
#pragma once

#include <QByteArray>
#include <QString>

// The text with a-z replaced by A-Z (resp. A-Z by a-z); every other character unchanged.
QString UpperCaseAZ(const QString& s);
QString LowerCaseAZ(const QString& s);

// Comparison ignoring the case of a-z only: 0 when equal, negative when a sorts before b,
// positive after. Characters are compared by their UTF-16 code units after folding.
int CompareTextAZ(const QString& a, const QString& b);
bool SameTextAZ(const QString& a, const QString& b);

// Conversion between UTF-16 and the ANSI code page.
QByteArray ToAnsi(const QString& s);
QString FromAnsi(const QByteArray& bytes);
// len -1: up to the terminating zero byte.
QString FromAnsi(const char* bytes, qsizetype len = -1);

// Conversion between UTF-16 and the OEM code page.
QByteArray ToOem(const QString& s);
QString FromOem(const QByteArray& bytes);

// Select the code pages by ICU converter name (for example "windows-1250", "ibm-850"); the ANSI
// one is selected for the whole process, the engine included. An unknown name raises
// EConvertError "Unknown code page '%s'" and keeps the current one.
void SetAnsiCodePage(const QString& name);
void SetOemCodePage(const QString& name);
QString AnsiCodePage();
QString OemCodePage();
