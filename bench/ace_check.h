// Ending a benchmark on an engine call that fails: its figures would mean nothing.
#pragma once

#include <cstdio>
#include <cstdlib>

#include "ace/ace.h"

namespace bench {

// When rc is not 0, prints "<program>: <what>: <the engine's last error text>" and exits 1.
inline void CheckAce(UNSIGNED32 rc, const char* program, const char* what) {
  if (rc == 0) return;
  UNSIGNED32 code = 0;
  UNSIGNED8 text[600];
  UNSIGNED16 len = sizeof text;
  AdsGetLastError(&code, text, &len);
  std::fprintf(stderr, "%s: %s: %.*s\n", program, what, static_cast<int>(len), reinterpret_cast<char*>(text));
  std::exit(1);
}

}  // namespace bench
