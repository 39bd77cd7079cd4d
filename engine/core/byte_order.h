// Loads and stores of fixed-width numbers in the byte orders of the engine's files: little-endian
// for every number in table, memo and index files, big-endian where a stored key must compare
// with memcmp. The one place the engine orders bytes. Pure functions.
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

inline uint32_t LoadBE32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

inline void StoreBE32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

}  // namespace engine
