// The process-wide handler for exceptions that a framework callback must not let escape (for
// example a failed open of a dataset while the designer loads it). The user interface installs
// one that shows the message; without one such exceptions are dropped by the callers that ask.
//
// Threading: install the handler before other threads use datasets; calls are not locked.
#pragma once

#include <exception>
#include <functional>

using TApplicationExceptionHandler = std::function<void(const std::exception&)>;

// Installs (or, with an empty function, removes) the handler.
void SetApplicationExceptionHandler(TApplicationExceptionHandler handler);
bool HasApplicationExceptionHandler();
// Passes e to the handler; false when none is installed.
bool HandleApplicationException(const std::exception& e);
