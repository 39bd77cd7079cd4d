// Standard texts of the engine's error codes (the table of docs/engine-errors.md).
//
// Used where a failure has no more specific text and by AdsGetErrorString. Thread-safe
// (read-only table).
#pragma once

#include <string>

#include "engine/core/error.h"

namespace engine::core {

// The standard text of `code`, prefixed like every engine text with "Error <code>: ".
// Unknown codes give "Error <code>: Unknown engine error.".
std::string StandardErrorText(ErrorCode code);

// Builds the text of a failure: "Error <code>: " + detail. Every EngineError text the engine
// produces has this form, so the components can always find the code in a message.
std::string ErrorText(ErrorCode code, const std::string& detail);

// True when `code` is in the table.
bool IsKnownErrorCode(ErrorCode code);

}  // namespace engine::core
