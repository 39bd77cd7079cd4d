// Parses fuzzed bytes as a registry export file, and checks that what parses survives being
// written and read again unchanged (a rewrite must never lose or alter anything).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/registry_hive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  platform::RegistryHive hive("HKEY_CURRENT_USER");
  if (!hive.Parse(bytes, "fuzz.reg").ok()) return 0;
  // What readers ask of a hive.
  hive.KeyExists("Software\\Pellmar");
  for (const std::string& key : hive.SubKeyNames("")) {
    hive.SubKeyNames(key);
    for (const std::string& name : hive.ValueNames(key)) {
      platform::RegistryValue v;
      hive.GetValue(key, name, &v);
    }
  }
  const std::string written = hive.Serialize();
  platform::RegistryHive again("HKEY_CURRENT_USER");
  platform::Status s = again.Parse(written, "rewritten.reg");
  if (!s.ok() || again.Serialize() != written) {
    std::fprintf(stderr, "a parsed hive does not read back as written: %s\n", s.ok() ? "content differs" : s.message().c_str());
    std::abort();
  }
  // One change, as a write makes it, then the round trip again.
  hive.SetValue("Software\\Pellmar", "DataFolder", platform::RegistryValue::String("C:\\PellmarData\\"));
  hive.DeleteKey("Software\\Other");
  platform::RegistryHive changed("HKEY_CURRENT_USER");
  if (!changed.Parse(hive.Serialize(), "changed.reg").ok()) std::abort();
  return 0;
}
