// The calling thread's last engine error: the code and text of the most recent failed call.
//
// Every entry point that fails records its code and text here (through the C-boundary guard);
// AdsGetLastError reads it back. A successful call leaves it unchanged. The state is
// thread_local, so threads never see each other's errors; AdsThreadExit clears it.
#pragma once

#include <string>

#include "engine/core/error.h"

namespace engine::core {

struct LastError {
  ErrorCode code = 0;
  std::string text;  // ANSI text as AdsGetLastError returns it
};

// The calling thread's last error (code 0 and empty text when none was recorded).
const LastError& GetLastError();

// Records `code` and `text` as the calling thread's last error. An empty text is replaced by the
// standard text of the code (StandardErrorText). Never throws: without memory for the text,
// the code is kept with an empty text.
void SetLastError(ErrorCode code, const std::string& text) noexcept;

// Forgets the calling thread's last error.
void ClearLastError();

}  // namespace engine::core
