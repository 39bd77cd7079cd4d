// Stored environment variables and environment-reference expansion. Per-user variables are the
// values of key "Environment" of the user hive; machine variables those of
// "SYSTEM\CurrentControlSet\Control\Session Manager\Environment" of the machine hive, as on the
// original platform. Expansion replaces %NAME% by the process environment's value.
//
// Thread safety: safe from any thread (see registry.h).
#pragma once

#include <string>

#include "platform/file_system.h"
#include "platform/registry.h"
#include "platform/status.h"

namespace platform {

// The key that holds the stored variables of the scope.
const char* EnvironmentKeyPath(bool per_user);

// Reads a stored variable's text (unexpanded). A missing variable gives kNotFound; a value of a
// non-text type kInvalidArgument.
Status ReadStoredVariable(const std::string& name, bool per_user, std::string* value,
                          FileSystem* fs = nullptr);

// Stores a variable as a plain text value.
Status WriteStoredVariable(const std::string& name, const std::string& value, bool per_user,
                           FileSystem* fs = nullptr);

// Replaces each %NAME% whose NAME is set in the process environment (matched without regard to
// the case of a..z when the exact name is absent) by its value; unknown names, a lone "%" and
// "%%" stay as they are.
std::string ExpandEnvironmentStrings(const std::string& text);

}  // namespace platform
