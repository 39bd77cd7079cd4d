#include "runtime/exception.h"

Exception::Exception(const QString& msg) : message_(msg), utf8_(msg.toStdString()) {}

Exception::~Exception() = default;

void Exception::SetMessage(const QString& msg) {
  message_ = msg;
  utf8_ = msg.toStdString();
}
