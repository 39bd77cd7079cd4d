#include "runtime/messages.h"

#include <QCoreApplication>

void ProcessMessages() {
  if (QCoreApplication::instance()) QCoreApplication::processEvents(QEventLoop::AllEvents);
}
