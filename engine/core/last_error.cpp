#include "engine/core/last_error.h"

#include <new>

#include "engine/core/error_texts.h"

namespace engine::core {
namespace {
thread_local LastError t_last_error;
}  // namespace

const LastError& GetLastError() { return t_last_error; }

void SetLastError(ErrorCode code, const std::string& text) noexcept {
  t_last_error.code = code;
  try {
    t_last_error.text = text.empty() ? StandardErrorText(code) : text;
  } catch (const std::bad_alloc&) {
    // No room for the text: the code alone still tells the caller what failed.
    t_last_error.text.clear();
  }
}

void ClearLastError() {
  t_last_error.code = 0;
  t_last_error.text.clear();
}

}  // namespace engine::core
