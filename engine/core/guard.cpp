#include "engine/core/guard.h"

#include "engine/core/caller_names.h"
#include "engine/core/error_texts.h"
#include "engine/core/last_error.h"

namespace engine::core {
namespace {
thread_local std::string_view t_entry_point;
}  // namespace

std::string_view CurrentEntryPoint() { return t_entry_point; }

namespace detail {

namespace {

// Error texts are at most this long, as callers size their buffers for them; a text that names
// a huge name or quotes a huge statement is cut and ends in "...".
constexpr size_t kMaxErrorText = 600;

std::string Shortened(std::string text) {
  if (text.size() > kMaxErrorText) {
    text.resize(kMaxErrorText - 3);
    text += "...";
  }
  return text;
}

}  // namespace

EntryScope::EntryScope(std::string_view name) : previous_(t_entry_point) { t_entry_point = name; }
EntryScope::~EntryScope() {
  t_entry_point = previous_;
  if (previous_.empty()) ForgetCallerNames();
}

void RecordCode(ErrorCode code) noexcept { SetLastError(code, std::string()); }

void RecordEngineError(const EngineError& e) noexcept {
  try {
    std::string text = InCallersTerms(e.what());
    std::string prefix = "Error " + std::to_string(e.code()) + ":";
    if (text.empty()) {
      text = StandardErrorText(e.code());
    } else if (text.rfind(prefix, 0) != 0) {
      text = ErrorText(e.code(), text);
    }
    SetLastError(e.code(), Shortened(std::move(text)));
  } catch (const std::bad_alloc&) {
    SetLastError(e.code(), std::string());
  }
}

void RecordException(std::string_view entry_point, const std::exception& e) noexcept {
  try {
    SetLastError(err::kInternalError,
                 Shortened(ErrorText(err::kInternalError,
                                     "Internal engine error in " + std::string(entry_point) + ": " + e.what())));
  } catch (const std::bad_alloc&) {
    SetLastError(err::kInternalError, std::string());
  }
}

}  // namespace detail
}  // namespace engine::core
