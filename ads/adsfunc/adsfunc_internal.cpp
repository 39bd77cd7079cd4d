// Argument conversion of the extended members.
#include "ads/adsfunc/adsfunc_internal.h"

#include "runtime/exception.h"
#include "runtime/text.h"

namespace adsfunc_detail {

Ansi::Ansi(const QString& text, int max) : bytes_(ToAnsi(max < 0 ? text : text.left(max))) {}

uint32_t NonNegative(int64_t value, const char* what, uint64_t max) {
  if (value < 0 || static_cast<uint64_t>(value) > max)
    throw ERangeError(QStringLiteral("Range check error: %1 %2 is out of range").arg(QLatin1String(what)).arg(value));
  return static_cast<uint32_t>(value);
}

QString FromBuffer(const UNSIGNED8* buffer, uint32_t length) {
  return FromAnsi(reinterpret_cast<const char*>(buffer), static_cast<qsizetype>(length));
}

}  // namespace adsfunc_detail
