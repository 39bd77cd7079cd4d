// Settings that change what an expression evaluates to without changing the expression.
//
// The exact setting belongs to the table (the caller passes the table's), the date format and
// epoch to the connection. `fixedNowMs`, when set, is the instant DATE(), TODAY(), NOW() and
// TIME() see, so that one pass over many records sees one instant.
//
// Thread safety: plain data.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace engine::expr {

struct EvalOptions {
  // Off: "=" between strings compares the left side over the right side's length (a prefix
  // match; an empty right side matches everything). On: both sides in full, ignoring
  // trailing blanks. "==" always compares in full.
  bool exact = false;
  // How DTOC, CTOD, TTOC and CTOTS write and read dates: runs of D, M and Y, other characters
  // are separators ("MM/DD/YYYY", "DD.MM.YY", "YYYY-MM-DD", "YYYYMMDD").
  std::string dateFormat = "MM/DD/YYYY";
  // Two-digit years read by CTOD fall into the hundred years that start here.
  int epoch = 1900;
  // Local time as julian day * 86400000 + ms of the day; unset means the system clock.
  std::optional<int64_t> fixedNowMs;
};

}  // namespace engine::expr
