// Checks of what a caller inside the engine must guarantee.
//
// ENGINE_CHECK(condition, what) states an obligation of the caller or an invariant of the
// code: keys handed to the tree writer in ascending order, a slot or offset inside its
// buffer, the REQUIRES of a function. In Debug and sanitizer builds (NDEBUG not defined) a
// broken obligation prints the place, the condition and `what` to standard error and aborts,
// so tests and fuzzing stop at the first wrong step instead of at its later damage. Release
// builds compile the check away.
//
// Never use it for what the outside world hands the engine: a damaged file, a bad argument or
// expression text always takes the engine's error path (engine::Fail), whatever the build.
//
// Thread safety: stateless.
#pragma once

#ifndef NDEBUG
#define ENGINE_CHECK(condition, what) \
  ((condition) ? static_cast<void>(0) : ::engine::CheckFailed(#condition, what, __FILE__, __LINE__))
#else
#define ENGINE_CHECK(condition, what) static_cast<void>(sizeof(static_cast<bool>(condition)))
#endif

namespace engine {

// Reports a broken obligation and aborts the process.
[[noreturn]] void CheckFailed(const char* condition, const char* what, const char* file, int line);

}  // namespace engine
