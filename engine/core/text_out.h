// Helpers for the C interface's argument conventions: required pointers, returned text in a
// caller's buffer with an in/out length, returned bytes and fixed-size values.
//
// Text out (ANSI or UTF-16): on entry *len is the capacity in elements including the NUL; on
// return it is the length written without the NUL. When the text does not fit, as much as fits
// is written (NUL-terminated, when the capacity is at least 1), *len receives the capacity
// needed, NUL included, and the call fails with 5005: a caller that allocates the reported
// length and asks again succeeds. A null buffer asks for the length the same way (5005 and the
// capacity needed), except for an empty text, which gives 0 and length 0.
//
// Every helper throws EngineError (through Fail); call them inside an entry point's body.
// Thread safety: stateless.
#pragma once

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "engine/core/error.h"

namespace engine::core {

// Fails with 5902 naming the entry point and `name` when `p` is null.
void RequireArgImpl(const void* p, const char* name);
template <typename T>
inline T* Require(T* p, const char* name) {
  RequireArgImpl(p, name);
  return p;
}

// Text of a NUL-terminated ANSI argument; null gives "" (for parameters that may be null).
inline std::string InText(const uint8_t* p) { return p ? std::string(reinterpret_cast<const char*>(p)) : std::string(); }
// Text of an ANSI argument with a length (null with length 0 gives "").
std::string InText(const uint8_t* p, uint32_t len, const char* name);
// Text of a NUL-terminated UTF-16 argument; null gives "".
std::u16string InWide(const char16_t* p);

// Fails with 5005 and the text "<entry point>: the buffer ... needs n" after storing `needed`.
[[noreturn]] void FailBufferTooSmall(uint32_t needed);

namespace detail {
template <typename Char, typename Len>
uint32_t CopyOut(const Char* text, size_t size, Char* buf, Len* len) {
  RequireArgImpl(len, "length");
  // Capacity needed including the NUL, saturated at what the length type can hold.
  uint32_t needed = size + 1 > std::numeric_limits<Len>::max() ? std::numeric_limits<Len>::max()
                                                              : static_cast<uint32_t>(size + 1);
  if (buf == nullptr) {
    if (size == 0) {
      *len = 0;
      return 0;
    }
    *len = static_cast<Len>(needed);
    FailBufferTooSmall(needed);
  }
  size_t capacity = *len;
  if (size + 1 <= capacity) {
    std::memcpy(buf, text, size * sizeof(Char));
    buf[size] = Char(0);
    *len = static_cast<Len>(size);
    return 0;
  }
  if (capacity > 0) {
    std::memcpy(buf, text, (capacity - 1) * sizeof(Char));
    buf[capacity - 1] = Char(0);
  }
  *len = static_cast<Len>(needed);
  FailBufferTooSmall(needed);
}
}  // namespace detail

// Returns ANSI text through (buf, len); see the file comment. Returns 0 on success.
template <typename Len>
uint32_t TextOut(std::string_view text, uint8_t* buf, Len* len) {
  return detail::CopyOut(reinterpret_cast<const uint8_t*>(text.data()), text.size(), buf, len);
}

// Returns UTF-16 text through (buf, len), lengths in characters.
template <typename Len>
uint32_t WideOut(std::u16string_view text, char16_t* buf, Len* len) {
  return detail::CopyOut(text.data(), text.size(), buf, len);
}

// Returns bytes through (buf, len): no NUL is added; a buffer smaller than the data gets
// nothing, *len gets the size needed and the call fails with 5005.
template <typename Len>
uint32_t BytesOut(const void* data, size_t size, void* buf, Len* len) {
  RequireArgImpl(len, "length");
  if (buf == nullptr || *len < size) {
    *len = static_cast<Len>(size > std::numeric_limits<Len>::max() ? std::numeric_limits<Len>::max() : size);
    if (buf == nullptr && size == 0) return 0;
    FailBufferTooSmall(static_cast<uint32_t>(*len));
  }
  if (size) std::memcpy(buf, data, size);
  *len = static_cast<Len>(size);
  return 0;
}

// Stores a scalar value in an out-parameter after checking it.
template <typename T, typename V>
void Out(T* p, V value, const char* name) {
  Require(p, name);
  *p = static_cast<T>(value);
}

}  // namespace engine::core
