// The C-boundary guard: runs an entry point's body and turns its outcome into a return code.
//
// The body returns 0 on success or a code the caller treats as a signal, and reports failure by
// throwing EngineError (engine::Fail). The guard catches EngineError, std::bad_alloc and every
// other std::exception, records the failure as the calling thread's last error (texts get the
// form "Error <code>: ..."), and returns its code. A non-zero code returned without an
// exception is recorded with the code's standard text. Nothing is ever thrown across the C
// boundary. While the body runs, CurrentEntryPoint() names the entry point, so helpers can name it
// in their errors.
//
// GuardKeepingLastError is for the error bookkeeping calls themselves (AdsGetLastError,
// AdsSetLastError, AdsShowError): it converts exceptions to codes without recording them.
//
// Thread safety: the guard keeps only thread-local state.
#pragma once

#include <cstdint>
#include <exception>
#include <new>
#include <string>
#include <string_view>

#include "engine/core/error.h"

namespace engine::core {

// The name of the entry point running on this thread ("" outside any entry point).
std::string_view CurrentEntryPoint();

namespace detail {
class EntryScope {
 public:
  explicit EntryScope(std::string_view name);
  ~EntryScope();
  EntryScope(const EntryScope&) = delete;
  EntryScope& operator=(const EntryScope&) = delete;

 private:
  std::string_view previous_;
};

// Each records the failure as the thread's last error; none of them throws.
void RecordCode(ErrorCode code) noexcept;
void RecordEngineError(const EngineError& e) noexcept;
void RecordException(std::string_view entry_point, const std::exception& e) noexcept;
}  // namespace detail

template <typename Body>
uint32_t Guard(std::string_view entry_point, Body&& body) noexcept {
  detail::EntryScope scope(entry_point);
  try {
    uint32_t code = body();
    if (code != 0) detail::RecordCode(code);
    return code;
  } catch (const EngineError& e) {
    detail::RecordEngineError(e);
    return e.code();
  } catch (const std::bad_alloc&) {
    detail::RecordCode(err::kOutOfMemory);
    return err::kOutOfMemory;
  } catch (const std::exception& e) {
    detail::RecordException(entry_point, e);
    return err::kInternalError;
  }
}

template <typename Body>
uint32_t GuardKeepingLastError(std::string_view entry_point, Body&& body) noexcept {
  detail::EntryScope scope(entry_point);
  try {
    return body();
  } catch (const EngineError& e) {
    return e.code();
  } catch (const std::bad_alloc&) {
    return err::kOutOfMemory;
  } catch (const std::exception&) {
    return err::kInternalError;
  }
}

}  // namespace engine::core
