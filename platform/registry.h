// The process's two registry hives, current user and local machine, each one export file on the
// host (registry_hive.h), and keys opened in them with the original platform's semantics: open
// for reading only, open an existing key without creating it, or open with creation.
//
// Files: the user hive is $PELLMAR_HKCU, else $XDG_CONFIG_HOME/pellmar/HKCU.reg, else
// ~/.config/pellmar/HKCU.reg; the machine hive is $PELLMAR_HKLM, else /etc/pellmar/HKLM.reg.
// A missing file reads as an empty hive; the first write creates it with its parent folders.
//
// Values the original platform always has are supplied when the file lacks them (reads only;
// nothing is written for them):
//   local machine "SOFTWARE\Microsoft\Windows\CurrentVersion", "ProgramFilesDir" = "C:\Program Files"
//   the keys "Environment" (current user) and
//   "SYSTEM\CurrentControlSet\Control\Session Manager\Environment" (local machine) always exist.
//
// Every read reads the file afresh and every write re-reads it, applies the one change and writes
// it back atomically, so changes made meanwhile by other processes or other keys are kept. A file
// whose bytes are those of the last read is not parsed again.
//
// Thread safety: safe from any thread; writes of one process are serialised.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/registry_hive.h"
#include "platform/status.h"

namespace platform {

enum class Hive { kCurrentUser, kLocalMachine };

// "HKEY_CURRENT_USER" or "HKEY_LOCAL_MACHINE".
const char* HiveRootName(Hive hive);

// The host file that holds the hive (see above).
std::string HiveFilePath(Hive hive);

// The machine hive's file when kMachineHiveVariable names none.
inline constexpr char kMachineHiveVariable[] = "PELLMAR_HKLM";
inline constexpr char kDefaultMachineHiveFile[] = "/etc/pellmar/HKLM.reg";

// Loads the hive's file (missing: empty) through `fs` (nullptr: DefaultFileSystem()).
Status LoadHive(Hive hive, std::unique_ptr<RegistryHive>* out, FileSystem* fs = nullptr);

enum class KeyAccess { kRead, kReadWrite };

// An open key. Opening checks that the key exists (or creates it); reads and writes go to the
// hive file each time.
class RegistryKey {
 public:
  // Opens `path` (relative to the hive's root). With create false, a missing key gives kNotFound
  // (error 2). With create true the key and its parents are created (needs kReadWrite).
  // `fs` is used for every later read and write (nullptr: DefaultFileSystem(); not owned, must
  // outlive the key).
  static Status Open(Hive hive, const std::string& path, KeyAccess access, bool create,
                     std::unique_ptr<RegistryKey>* out, FileSystem* fs = nullptr);

  Hive hive() const { return hive_; }
  const std::string& path() const { return path_; }
  KeyAccess access() const { return access_; }

  // The value with its type; kNotFound (2) when absent. "" is the default value.
  Status ReadValue(const std::string& name, RegistryValue* value) const;
  bool ValueExists(const std::string& name) const;

  // Writes one value; kAccessDenied (5) for a key opened read-only.
  Status WriteValue(const std::string& name, const RegistryValue& value);

  // kNotFound when absent; kAccessDenied for a key opened read-only.
  Status DeleteValue(const std::string& name);

  Status ValueNames(std::vector<std::string>* names) const;
  Status SubKeyNames(std::vector<std::string>* names) const;

 private:
  RegistryKey(Hive hive, std::string path, KeyAccess access, FileSystem* fs)
      : hive_(hive), path_(std::move(path)), access_(access), fs_(fs) {}

  Hive hive_;
  std::string path_;
  KeyAccess access_;
  FileSystem* fs_;  // not owned
};

}  // namespace platform
