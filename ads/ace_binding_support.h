// The machinery behind the components' binding of the client engine (generated from the
// engine's declaration list into ace_binding.cpp): loading the library at the first call,
// resolving each entry point at its own first call, and the engine call trace.
//
// The engine library is "ACE32.DLL" in the original platform's form; on this host the loader
// looks for libace32.so beside the executable first, then through the system's search path. A
// missing library or entry point raises EAceLoaderError at the call that needs it; the layer
// does not catch it.
//
// The trace: when the environment variable ACE_TRACE names a file, every engine call is
// appended to it as one line: the entry point, its arguments (text readable, buffers by length,
// out-parameters with the value the engine wrote) and its result code. Passwords inside
// connect strings are masked.
//
// Threading: resolving and tracing are safe from any thread.
#pragma once

#include <QString>
#include <atomic>
#include <cstdint>
#include <string>

#include "ace/ace_types.h"
#include "runtime/exception.h"

// The engine library or one of its entry points cannot be found.
class EAceLoaderError : public Exception {
 public:
  using Exception::Exception;
};

namespace ace_binding {

namespace detail {
inline constexpr int kMaxEntryPoints = 1024;
// Resolved addresses by entry number, null until resolved; and whether calls are traced (0 not
// read yet, 1 off, 2 on). Both are read without a lock on every engine call, inline, so that a
// call through the binding costs two loads once resolved. Constant-initialised and never
// destroyed: engine calls may run during static destruction at exit.
extern std::atomic<void*> resolved[kMaxEntryPoints];
extern std::atomic<int> tracing;
void* ResolveSlowly(int index, const char* name);
bool ReadTracing();
}  // namespace detail

// The address of entry point number `index` (named `name`), resolving it on first use.
// Raises EAceLoaderError naming the library or the entry point.
inline void* Resolve(int index, const char* name) {
  void* address = detail::resolved[index].load(std::memory_order_acquire);
  return address != nullptr ? address : detail::ResolveSlowly(index, name);
}

// Forgets the loaded library and every resolved entry point, and loads `libraryName` (a bare
// name searched as usual, or a path) at the next call. Re-reads ACE_TRACE. For tests only: no
// engine call may run at the same time.
void ResetForTesting(const std::string& libraryName = "ACE32.DLL");

// The file being traced to, empty when tracing is off.
std::string TraceFileName();
inline bool TraceEnabled() {
  const int tracing = detail::tracing.load(std::memory_order_acquire);
  return tracing != 0 ? tracing == 2 : detail::ReadTracing();
}

// One line of the trace, written when Finish is called.
class TraceLine {
 public:
  explicit TraceLine(const char* entryPoint);
  void Unsigned(const char* name, unsigned long long value);
  void Signed(const char* name, long long value);
  void Double(const char* name, double value);
  void Pointer(const char* name, const void* value);
  void Text(const char* name, const UNSIGNED8* text, long long length);
  void WideText(const char* name, const WCHAR* text, long long length);
  // A NUL-terminated filter text: UTF-16 when options has 8192 set, else ANSI.
  void FilterText(const char* name, const void* text, UNSIGNED32 options);
  void Field(const char* name, const UNSIGNED8* field);
  void Out_u8(const char* name, const UNSIGNED8* p);
  void Out_u16(const char* name, const UNSIGNED16* p);
  void Out_u32(const char* name, const UNSIGNED32* p);
  void Out_u64(const char* name, const UNSIGNED64* p);
  void Out_s16(const char* name, const SIGNED16* p);
  void Out_s32(const char* name, const SIGNED32* p);
  void Out_s64(const char* name, const SIGNED64* p);
  void Out_dbl(const char* name, const DOUBLE* p);
  void InOut(const char* name, const UNSIGNED16* p, long long before);
  void InOut(const char* name, const UNSIGNED32* p, long long before);
  void Buffer(const char* name, const UNSIGNED8* buffer, const UNSIGNED16* length, UNSIGNED32 rc);
  void Buffer(const char* name, const UNSIGNED8* buffer, const UNSIGNED32* length, UNSIGNED32 rc);
  void WideBuffer(const char* name, const WCHAR* buffer, const UNSIGNED16* length, UNSIGNED32 rc);
  void WideBuffer(const char* name, const WCHAR* buffer, const UNSIGNED32* length, UNSIGNED32 rc);
  void InBytes(const char* name, const void* buffer, long long length);
  void Bytes(const char* name, const void* buffer, const UNSIGNED16* length);
  void Bytes(const char* name, const void* buffer, const UNSIGNED32* length);
  template <typename T, typename N>
  void Array(const char* name, const T* array, const N* count) {
    arg(name) += array == nullptr ? "null" : "<array " + std::to_string(count ? *count : 0) + ">";
  }
  void Finish(UNSIGNED32 rc);

 private:
  std::string& arg(const char* name);
  std::string line_;
  bool first_ = true;
};

// The text of a trace argument: printable characters as they are, others escaped, passwords
// of connect strings masked. Exposed for tests.
std::string TraceQuote(const std::string& text);

}  // namespace ace_binding

// Number and names of the bound entry points (generated).
int AceBindingEntryPointCount();
const char* AceBindingEntryPointName(int index);
