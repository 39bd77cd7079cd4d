// TRegistry: keys and values of the two registry hives (platform/registry.h), with the original
// runtime's semantics. A TRegistry has a root key and an access mode; OpenKey and
// OpenKeyReadOnly open a key path relative to the open key (or the root when none is open, or
// when the path starts with "\") and make it the current key.
//
// Reads: a missing value gives the empty text; a value of a type other than text or
// expandable text raises ERegistryException "Invalid data type for '<name>'"; expandable text
// comes back unexpanded. Writes: a refused write (read-only access, a hive file that cannot be
// written) raises ERegistryException "Failed to set data for '<name>'". A hive file that cannot
// be parsed raises ERegistryException with the platform's message (file and line), so that a
// damaged hive is never mistaken for missing settings.
//
// Threading: a TRegistry object is used by one thread at a time; distinct objects may be used
// on distinct threads.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>

#include "platform/registry.h"

enum HKEY : std::uint32_t {
  HKEY_CURRENT_USER = 0x80000001u,
  HKEY_LOCAL_MACHINE = 0x80000002u,
};

inline constexpr std::uint32_t KEY_READ = 0x20019;
inline constexpr std::uint32_t KEY_WRITE = 0x20006;
inline constexpr std::uint32_t KEY_ALL_ACCESS = 0xF003F;

class TRegistry {
 public:
  // Root HKEY_CURRENT_USER, access KEY_ALL_ACCESS.
  TRegistry();
  explicit TRegistry(std::uint32_t access);
  ~TRegistry();
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;

  HKEY RootKey() const { return root_; }
  // Closes the current key and selects another hive.
  void SetRootKey(HKEY root);
  std::uint32_t Access() const { return access_; }
  void SetAccess(std::uint32_t access) { access_ = access; }

  // Opens key with the access mode (creating it and its parents when canCreate). False when
  // the key does not exist (and may not be created) or cannot be opened.
  bool OpenKey(const QString& key, bool canCreate);
  // Opens an existing key for reading only, whatever the access mode.
  bool OpenKeyReadOnly(const QString& key);
  void CloseKey();
  bool KeyExists(const QString& key);
  // The path of the current key below the root ("" when none is open).
  QString CurrentPath() const { return currentPath_; }
  bool HasCurrentKey() const { return current_ != nullptr; }

  bool ValueExists(const QString& name) const;
  QString ReadString(const QString& name) const;
  void WriteString(const QString& name, const QString& value);
  void WriteExpandString(const QString& name, const QString& value);
  // DWORD values; a missing value or one of another type raises "Invalid data type for '%s'".
  int ReadInteger(const QString& name) const;
  void WriteInteger(const QString& name, int value);
  bool DeleteValue(const QString& name);
  QStringList GetValueNames() const;
  QStringList GetKeyNames() const;

 private:
  platform::Hive hive() const;
  QString resolve(const QString& key) const;
  bool open(const QString& key, platform::KeyAccess access, bool create);
  void write(const QString& name, const platform::RegistryValue& value);

  HKEY root_ = HKEY_CURRENT_USER;
  std::uint32_t access_ = KEY_ALL_ACCESS;
  std::unique_ptr<platform::RegistryKey> current_;
  QString currentPath_;
};
