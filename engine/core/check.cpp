#include "engine/core/check.h"

#include <cstdio>
#include <cstdlib>

namespace engine {

void CheckFailed(const char* condition, const char* what, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: engine check failed: %s (%s)\n", file, line, what, condition);
  std::fflush(stderr);
  std::abort();
}

}  // namespace engine
