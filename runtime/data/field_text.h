// Text parsing shared by the field classes (internal to the framework): integers, doubles with
// "." as the decimal separator, and boolean words.
//
// Threading: pure functions.
#pragma once

#include <QString>

namespace fieldtext {

bool ParseInt64(const QString& text, qint64& value);
bool ParseDouble(const QString& text, double& value);
// True words T, TRUE, Y, YES, 1; false words F, FALSE, N, NO, 0 (any case).
bool ParseBool(const QString& text, bool& value);
QString FloatText(double value, int precision);

}  // namespace fieldtext
