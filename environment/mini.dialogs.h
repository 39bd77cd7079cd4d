// The error dialog every tool of an installation uses for the problems it reports itself.
//
// Threading: user-interface thread only.
#pragma once

#include <QString>

// The framework's default title of error messages.
inline constexpr const char* kErrorDialogTitle = "Error";

// Shows text in a modal error message box with one "OK" button, centred, titled "Error", and
// returns when the user closes it. helpContext names a help topic; no help file is installed,
// so it is not shown. Unattended or without a display the text goes to standard error instead
// (runtime/dialogs.h), and tests capture it there.
void ErrorDialog(const QString& text, int helpContext);
