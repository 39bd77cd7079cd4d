// Helpers shared by the implementation files of the dataset core: engine field arguments,
// little-endian reads and writes of record bytes, and the fixed message texts.
//
// Threading: pure functions and constants.
#pragma once

#include <QString>
#include <cstdint>
#include <cstring>

#include "ads/ace.h"

namespace adsdata {

// The engine's field argument for a 1-based field number.
inline UNSIGNED8* FieldArg(uint16_t n) { return ADSFIELD(n); }

inline int16_t ReadI16(const uint8_t* p) {
  int16_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline uint16_t ReadU16(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline int32_t ReadI32(const uint8_t* p) {
  int32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline uint32_t ReadU32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline int64_t ReadI64(const uint8_t* p) {
  int64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
template <typename T>
inline void Write(void* p, T v) {
  std::memcpy(p, &v, sizeof v);
}

// Engine Julian day that precedes day 1 of the framework's calendar.
constexpr int32_t kJulianOffset = 1721425;

// Engine codes used as signals.
constexpr uint32_t kAeInsufficientBuffer = 5005;
constexpr uint32_t kAeNoCurrentRecord = 5022;  // a move found no record
constexpr uint32_t kAeInvalidTable = 5023;
constexpr uint32_t kAeNoCollation = 5025;
constexpr uint32_t kAeNoScope = 5038;
constexpr uint32_t kAeNoKeyPosition = 5041;
constexpr uint32_t kAeNoMoreTables = 5059;
constexpr uint32_t kAeVisibilityFlag = 5068;

inline const QString kMsgNotActive = QStringLiteral("Table must not be Active.");

// Engine field types whose record bytes hold a blob reference (a marker after each read).
inline bool IsBlobEngineType(uint16_t t) { return (t >= ADS_MEMO && t <= ADS_VARCHAR) || t == ADS_NMEMO; }

}  // namespace adsdata
