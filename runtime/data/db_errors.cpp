// Raising the framework's database errors.
#include "runtime/data/db_errors.h"

#include <QStringList>

#include "runtime/component.h"

QString FormatMessage(const QString& format, const QStringList& args) {
  QString out;
  int next = 0;
  for (int i = 0; i < format.size(); ++i) {
    if (format[i] == QLatin1Char('%') && i + 1 < format.size() && format[i + 1] == QLatin1Char('s')) {
      out += next < args.size() ? args[next] : QString();
      ++next;
      ++i;
    } else {
      out += format[i];
    }
  }
  return out;
}

void DatabaseError(const QString& message, const TComponent* component) {
  if (component != nullptr && !component->Name().isEmpty())
    throw EDatabaseError(component->Name() + QStringLiteral(": ") + message);
  throw EDatabaseError(message);
}

void DatabaseErrorFmt(const QString& format, const QString& arg, const TComponent* component) {
  DatabaseError(FormatMessage(format, {arg}), component);
}
