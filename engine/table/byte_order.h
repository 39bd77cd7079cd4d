// Little-endian loads and stores of fixed-width integers and doubles, the byte order of every
// number in the table and memo files. Pure functions.
#pragma once

#include <cstdint>
#include <cstring>

namespace engine {

template <typename T>
inline T LoadLE(const uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof v);  // hosts are little-endian (checked in byte_order.cpp)
  return v;
}

template <typename T>
inline void StoreLE(uint8_t* p, T v) {
  std::memcpy(p, &v, sizeof v);
}

}  // namespace engine
