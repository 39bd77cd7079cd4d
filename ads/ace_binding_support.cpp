#include "ads/ace_binding_support.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <regex>
#include <vector>

#include "platform/library.h"

namespace ace_binding {

namespace detail {
constinit std::atomic<void*> resolved[kMaxEntryPoints] = {};
constinit std::atomic<int> tracing{0};
}  // namespace detail

namespace {

struct Binding {
  std::mutex lock;
  std::string libraryName = "ACE32.DLL";
  std::unique_ptr<platform::Library> library;

  std::mutex traceLock;
  bool traceRead = false;
  std::string traceFile;
  FILE* trace = nullptr;
};

Binding& State() {
  // Never destroyed: engine calls may run during static destruction at exit.
  static Binding* binding = new Binding;
  return *binding;
}

void ReadTraceSetting(Binding& b) {
  const char* file = std::getenv("ACE_TRACE");
  b.traceFile = file != nullptr ? file : "";
  if (b.trace != nullptr) {
    std::fclose(b.trace);
    b.trace = nullptr;
  }
  b.traceRead = true;
  detail::tracing.store(b.traceFile.empty() ? 1 : 2, std::memory_order_release);
}

std::string Hex(const void* p) {
  char text[32];
  std::snprintf(text, sizeof text, "%p", p);
  return text;
}

std::string Utf16ToUtf8(const WCHAR* text, long long length) {
  if (length < 0) {
    length = 0;
    while (text[length] != 0) ++length;
  }
  return QString::fromUtf16(text, static_cast<qsizetype>(length)).toStdString();
}

// Trace lines show at most this many characters of a text; longer texts are cut with "...".
constexpr size_t kMaxTracedText = 400;

}  // namespace

void* detail::ResolveSlowly(int index, const char* name) {
  Binding& b = State();
  std::lock_guard<std::mutex> guard(b.lock);
  void* address = detail::resolved[index].load(std::memory_order_relaxed);
  if (address != nullptr) return address;
  if (!b.library) {
    std::unique_ptr<platform::Library> library;
    const platform::Status st = platform::Library::Load(b.libraryName, &library);
    if (!st.ok()) {
      throw EAceLoaderError(QStringLiteral("The client engine library %1 could not be loaded: %2")
                                .arg(QString::fromStdString(b.libraryName), QString::fromStdString(st.ToString())));
    }
    b.library = std::move(library);
  }
  const platform::Status st = b.library->Symbol(name, &address);
  if (!st.ok() || address == nullptr) {
    throw EAceLoaderError(QStringLiteral("The procedure entry point %1 could not be located in the library %2.")
                              .arg(QString::fromLatin1(name), QString::fromStdString(b.library->path())));
  }
  detail::resolved[index].store(address, std::memory_order_release);
  return address;
}

void ResetForTesting(const std::string& libraryName) {
  Binding& b = State();
  std::lock_guard<std::mutex> guard(b.lock);
  for (auto& slot : detail::resolved) slot.store(nullptr);
  b.library.reset();
  b.libraryName = libraryName;
  std::lock_guard<std::mutex> traceGuard(b.traceLock);
  ReadTraceSetting(b);
}

std::string TraceFileName() {
  Binding& b = State();
  std::lock_guard<std::mutex> guard(b.traceLock);
  if (!b.traceRead) ReadTraceSetting(b);
  return b.traceFile;
}

bool detail::ReadTracing() {
  Binding& b = State();
  std::lock_guard<std::mutex> guard(b.traceLock);
  if (!b.traceRead) ReadTraceSetting(b);
  return !b.traceFile.empty();
}

std::string TraceQuote(const std::string& text) {
  // Connect strings carry passwords; the trace never shows them.
  static const std::regex kPassword(R"((Password|DDPassword)=("[^"]*"|[^;]*))", std::regex::icase);
  std::string masked = std::regex_replace(text, kPassword, "$1=***");
  std::string out = "\"";
  size_t shown = 0;
  for (unsigned char c : masked) {
    if (shown++ == kMaxTracedText) {
      out += "...";
      break;
    }
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7f) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\x%02x", c);
      out += esc;
    } else {
      out += static_cast<char>(c);
    }
  }
  out += '"';
  return out;
}

TraceLine::TraceLine(const char* entryPoint) : line_(entryPoint) { line_ += '('; }

std::string& TraceLine::arg(const char* name) {
  if (!first_) line_ += ", ";
  first_ = false;
  line_ += name;
  line_ += '=';
  return line_;
}

void TraceLine::Unsigned(const char* name, unsigned long long value) { arg(name) += std::to_string(value); }
void TraceLine::Signed(const char* name, long long value) { arg(name) += std::to_string(value); }
void TraceLine::Double(const char* name, double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.17g", value);
  arg(name) += text;
}
void TraceLine::Pointer(const char* name, const void* value) { arg(name) += value ? Hex(value) : "null"; }

void TraceLine::Text(const char* name, const UNSIGNED8* text, long long length) {
  std::string& a = arg(name);
  if (text == nullptr) {
    a += "null";
    return;
  }
  const char* chars = reinterpret_cast<const char*>(text);
  a += TraceQuote(length < 0 ? std::string(chars) : std::string(chars, static_cast<size_t>(length)));
}

void TraceLine::WideText(const char* name, const WCHAR* text, long long length) {
  std::string& a = arg(name);
  a += text == nullptr ? "null" : "u" + TraceQuote(Utf16ToUtf8(text, length));
}

void TraceLine::FilterText(const char* name, const void* text, UNSIGNED32 options) {
  constexpr UNSIGNED32 kTextIsUtf16 = 8192;
  if (options & kTextIsUtf16)
    WideText(name, static_cast<const WCHAR*>(text), -1);
  else
    Text(name, static_cast<const UNSIGNED8*>(text), -1);
}

void TraceLine::Field(const char* name, const UNSIGNED8* field) {
  std::string& a = arg(name);
  const auto value = reinterpret_cast<uintptr_t>(field);
  if (field == nullptr) {
    a += "null";
  } else if (value < 65536) {
    a += "#" + std::to_string(value);
  } else {
    a += TraceQuote(reinterpret_cast<const char*>(field));
  }
}

template <typename T>
static std::string OutValue(const T* p) {
  return p == nullptr ? std::string("null") : "=>" + std::to_string(*p);
}

void TraceLine::Out_u8(const char* name, const UNSIGNED8* p) { arg(name) += OutValue(p); }
void TraceLine::Out_u16(const char* name, const UNSIGNED16* p) { arg(name) += OutValue(p); }
void TraceLine::Out_u32(const char* name, const UNSIGNED32* p) { arg(name) += OutValue(p); }
void TraceLine::Out_u64(const char* name, const UNSIGNED64* p) { arg(name) += OutValue(p); }
void TraceLine::Out_s16(const char* name, const SIGNED16* p) { arg(name) += OutValue(p); }
void TraceLine::Out_s32(const char* name, const SIGNED32* p) { arg(name) += OutValue(p); }
void TraceLine::Out_s64(const char* name, const SIGNED64* p) { arg(name) += OutValue(p); }
void TraceLine::Out_dbl(const char* name, const DOUBLE* p) {
  std::string& a = arg(name);
  if (p == nullptr) {
    a += "null";
    return;
  }
  char text[64];
  std::snprintf(text, sizeof text, "=>%.17g", *p);
  a += text;
}

void TraceLine::InOut(const char* name, const UNSIGNED16* p, long long before) {
  arg(name) += p == nullptr ? std::string("null") : std::to_string(before) + "=>" + std::to_string(*p);
}
void TraceLine::InOut(const char* name, const UNSIGNED32* p, long long before) {
  arg(name) += p == nullptr ? std::string("null") : std::to_string(before) + "=>" + std::to_string(*p);
}

template <typename N>
static std::string BufferText(const UNSIGNED8* buffer, const N* length, UNSIGNED32 rc) {
  if (buffer == nullptr) return "null";
  if (rc != 0 || length == nullptr) return "<buffer>";
  return "=>" + TraceQuote(std::string(reinterpret_cast<const char*>(buffer), *length));
}

void TraceLine::Buffer(const char* name, const UNSIGNED8* buffer, const UNSIGNED16* length, UNSIGNED32 rc) {
  arg(name) += BufferText(buffer, length, rc);
}
void TraceLine::Buffer(const char* name, const UNSIGNED8* buffer, const UNSIGNED32* length, UNSIGNED32 rc) {
  arg(name) += BufferText(buffer, length, rc);
}

template <typename N>
static std::string WideBufferText(const WCHAR* buffer, const N* length, UNSIGNED32 rc) {
  if (buffer == nullptr) return "null";
  if (rc != 0 || length == nullptr) return "<buffer>";
  return "=>u" + TraceQuote(Utf16ToUtf8(buffer, static_cast<long long>(*length)));
}

void TraceLine::WideBuffer(const char* name, const WCHAR* buffer, const UNSIGNED16* length, UNSIGNED32 rc) {
  arg(name) += WideBufferText(buffer, length, rc);
}
void TraceLine::WideBuffer(const char* name, const WCHAR* buffer, const UNSIGNED32* length, UNSIGNED32 rc) {
  arg(name) += WideBufferText(buffer, length, rc);
}

void TraceLine::InBytes(const char* name, const void* buffer, long long length) {
  arg(name) += buffer == nullptr ? std::string("null") : "<bytes " + std::to_string(length) + ">";
}
void TraceLine::Bytes(const char* name, const void* buffer, const UNSIGNED16* length) {
  arg(name) += buffer == nullptr ? std::string("null") : "<bytes " + std::to_string(length ? *length : 0) + ">";
}
void TraceLine::Bytes(const char* name, const void* buffer, const UNSIGNED32* length) {
  arg(name) += buffer == nullptr ? std::string("null") : "<bytes " + std::to_string(length ? *length : 0) + ">";
}

void TraceLine::Finish(UNSIGNED32 rc) {
  line_ += ") = ";
  line_ += std::to_string(rc);
  line_ += '\n';
  Binding& b = State();
  std::lock_guard<std::mutex> guard(b.traceLock);
  if (b.traceFile.empty()) return;
  if (b.trace == nullptr) b.trace = std::fopen(b.traceFile.c_str(), "a");
  // A trace that cannot be written is skipped: tracing never changes what a call does.
  if (b.trace == nullptr) return;
  std::fputs(line_.c_str(), b.trace);
  std::fflush(b.trace);
}

}  // namespace ace_binding
