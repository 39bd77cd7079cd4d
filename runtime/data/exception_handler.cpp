// The process-wide exception handler slot.
#include "runtime/data/exception_handler.h"

namespace {
TApplicationExceptionHandler& handlerSlot() {
  static TApplicationExceptionHandler handler;
  return handler;
}
}  // namespace

void SetApplicationExceptionHandler(TApplicationExceptionHandler handler) { handlerSlot() = std::move(handler); }

bool HasApplicationExceptionHandler() { return static_cast<bool>(handlerSlot()); }

bool HandleApplicationException(const std::exception& e) {
  if (!handlerSlot()) return false;
  handlerSlot()(e);
  return true;
}
