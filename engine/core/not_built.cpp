#include "engine/core/not_built.h"

#include <string>

#include "engine/core/error.h"

namespace engine::core {

void FailNotBuilt(std::string_view entry_point) {
  Fail(err::kNotYetBuilt, std::string(entry_point) + " is not yet built in this engine.");
}

}  // namespace engine::core
