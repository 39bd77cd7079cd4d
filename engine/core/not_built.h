// The failure of an entry point whose feature is not built yet.
//
// The generated default of every internal entry point calls FailNotBuilt with its name; the
// caller receives kNotYetBuilt (5999) and a last-error text that names the entry point.
#pragma once

#include <string_view>

namespace engine::core {

[[noreturn]] void FailNotBuilt(std::string_view entry_point);

}  // namespace engine::core
