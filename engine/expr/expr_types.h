// Types and values of the expression language.
//
// Every node of a compiled expression has one static type, fixed at compile time; a Value
// carries no type of its own, the node that produced it knows it. Values are small, trivially
// copyable views: a character value points into a buffer owned by the node that produced it
// (or into the record), valid until that expression is evaluated again.
//
// Thread safety: plain data, no shared state.
#pragma once

#include <cstdint>
#include <string_view>

namespace engine::expr {

// The type codes are the engine's expression type codes (1 logical, 2 numeric, 3 date,
// 4 string); times and timestamps carry the field type codes of those fields.
enum class ExprType : uint16_t {
  Logical = 1,
  Numeric = 2,
  Date = 3,
  String = 4,
  Time = 13,
  Timestamp = 14,
};

const char* ExprTypeName(ExprType type);

constexpr int64_t kMsPerDay = 86400000;

// One evaluated value. Which member holds it follows the static type:
//   Logical   -> logical
//   Numeric   -> number (a double; integers up to 2^53 are exact)
//   Date      -> integer: julian day number, 0 for the empty date
//   Time      -> integer: milliseconds since midnight
//   Timestamp -> integer: julian day * kMsPerDay + milliseconds of the day, 0 for empty
//   String    -> str/len: 8-bit text in the ANSI code page, not terminated
// null marks the absence of a value (a null field, a division by zero, an unreadable time).
struct Value {
  bool null = false;
  bool logical = false;
  double number = 0;
  int64_t integer = 0;
  const char* str = "";
  uint32_t len = 0;

  std::string_view text() const { return std::string_view(str, len); }
};

}  // namespace engine::expr
