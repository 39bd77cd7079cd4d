// Stored environment variables as hive values, and %NAME% expansion from the process environment.
#include "platform/environment_store.h"

#include <cstdlib>

#include "platform/text.h"

extern char** environ;

namespace platform {

const char* EnvironmentKeyPath(bool per_user) {
  return per_user ? "Environment" : "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
}

Status ReadStoredVariable(const std::string& name, bool per_user, std::string* value, FileSystem* fs) {
  value->clear();
  std::unique_ptr<RegistryKey> key;
  Status s = RegistryKey::Open(per_user ? Hive::kCurrentUser : Hive::kLocalMachine,
                               EnvironmentKeyPath(per_user), KeyAccess::kRead, false, &key, fs);
  if (!s.ok()) return s;
  RegistryValue v;
  s = key->ReadValue(name, &v);
  if (!s.ok()) return s;
  if (!v.IsText()) return Status::Error(StatusCode::kInvalidArgument, "Invalid data type for '" + name + "'");
  *value = v.text;
  return Status::OK();
}

Status WriteStoredVariable(const std::string& name, const std::string& value, bool per_user, FileSystem* fs) {
  std::unique_ptr<RegistryKey> key;
  Status s = RegistryKey::Open(per_user ? Hive::kCurrentUser : Hive::kLocalMachine,
                               EnvironmentKeyPath(per_user), KeyAccess::kReadWrite, false, &key, fs);
  if (!s.ok()) return s;
  return key->WriteValue(name, RegistryValue::String(value));
}

namespace {

// The process environment's value of `name`: the exact name first, then any name equal to it
// ignoring a..z case (the original platform's variables have no case).
const char* LookUp(const std::string& name) {
  if (name.empty()) return nullptr;
  if (const char* v = std::getenv(name.c_str())) return v;
  for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
    std::string_view entry = *e;
    size_t eq = entry.find('=');
    if (eq != std::string_view::npos && EqualsIgnoreAsciiCase(entry.substr(0, eq), name)) return *e + eq + 1;
  }
  return nullptr;
}

}  // namespace

std::string ExpandEnvironmentStrings(const std::string& text) {
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] != '%') {
      out.push_back(text[i++]);
      continue;
    }
    size_t close = text.find('%', i + 1);
    if (close == std::string::npos) {
      out.append(text, i, std::string::npos);
      break;
    }
    const std::string name = text.substr(i + 1, close - i - 1);
    if (const char* value = LookUp(name)) {
      out += value;
      i = close + 1;
    } else {
      // Unknown: keep the first "%" and the name, and let the closing "%" start the next try,
      // as the original platform does ("%A%B%" with only B set gives "%AB-value").
      out.append(text, i, close - i);
      i = close;
    }
  }
  return out;
}

}  // namespace platform
