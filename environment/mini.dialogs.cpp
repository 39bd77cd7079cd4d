#include "environment/mini.dialogs.h"

#include "runtime/dialogs.h"

void ErrorDialog(const QString& text, int helpContext) {
  (void)helpContext;  // no help file: the topic has nowhere to open
  ShowErrorMessageBox(text, QString::fromLatin1(kErrorDialogTitle));
}
