// Text parsing for field values.
#include "runtime/data/field_text.h"

#include <QLocale>

#include "runtime/text.h"

namespace fieldtext {

bool ParseInt64(const QString& text, qint64& value) {
  bool ok = false;
  qint64 v = text.trimmed().toLongLong(&ok, 10);
  if (ok) value = v;
  return ok;
}

bool ParseDouble(const QString& text, double& value) {
  bool ok = false;
  double v = QLocale::c().toDouble(text.trimmed(), &ok);
  if (ok) value = v;
  return ok;
}

bool ParseBool(const QString& text, bool& value) {
  const QString t = UpperCaseAZ(text.trimmed());
  if (t == QLatin1String("T") || t == QLatin1String("TRUE") || t == QLatin1String("Y") ||
      t == QLatin1String("YES") || t == QLatin1String("1")) {
    value = true;
    return true;
  }
  if (t == QLatin1String("F") || t == QLatin1String("FALSE") || t == QLatin1String("N") ||
      t == QLatin1String("NO") || t == QLatin1String("0")) {
    value = false;
    return true;
  }
  return false;
}

QString FloatText(double value, int precision) {
  return QLocale::c().toString(value, 'g', precision > 0 ? precision : 15);
}

}  // namespace fieldtext
