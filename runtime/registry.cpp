#include "runtime/registry.h"

#include "runtime/exception.h"
#include "runtime/filesys.h"

namespace {

// Splits a key path into its components, dropping empty ones ("a\\b\" -> a, b).
QStringList components(const QString& path) {
  QStringList r;
  for (const QString& part : path.split(u'\\')) {
    if (!part.isEmpty()) r << part;
  }
  return r;
}

[[noreturn]] void raiseHiveError(const platform::Status& s) {
  throw ERegistryException(QString::fromStdString(s.ToString()));
}

bool isMissing(const platform::Status& s) {
  return s.code() == platform::StatusCode::kNotFound || s.code() == platform::StatusCode::kPathNotFound;
}

}  // namespace

TRegistry::TRegistry() = default;
TRegistry::TRegistry(std::uint32_t access) : access_(access) {}
TRegistry::~TRegistry() = default;

platform::Hive TRegistry::hive() const {
  return root_ == HKEY_LOCAL_MACHINE ? platform::Hive::kLocalMachine : platform::Hive::kCurrentUser;
}

void TRegistry::SetRootKey(HKEY root) {
  CloseKey();
  root_ = root;
}

QString TRegistry::resolve(const QString& key) const {
  const bool absolute = key.startsWith(u'\\');
  QStringList parts = absolute || !current_ ? QStringList() : components(currentPath_);
  parts += components(key);
  return parts.join(u'\\');
}

bool TRegistry::open(const QString& key, platform::KeyAccess access, bool create) {
  const QString path = resolve(key);
  std::unique_ptr<platform::RegistryKey> opened;
  const platform::Status s =
      platform::RegistryKey::Open(hive(), ToPlatform(path), access, create, &opened, &FileSystemInUse());
  if (!s.ok()) {
    if (s.code() == platform::StatusCode::kCorrupt) raiseHiveError(s);
    return false;
  }
  current_ = std::move(opened);
  currentPath_ = path;
  return true;
}

bool TRegistry::OpenKey(const QString& key, bool canCreate) {
  const bool writable = (access_ & KEY_WRITE & ~KEY_READ) != 0;
  return open(key, writable ? platform::KeyAccess::kReadWrite : platform::KeyAccess::kRead, canCreate && writable);
}

bool TRegistry::OpenKeyReadOnly(const QString& key) { return open(key, platform::KeyAccess::kRead, false); }

void TRegistry::CloseKey() {
  current_.reset();
  currentPath_.clear();
}

bool TRegistry::KeyExists(const QString& key) {
  std::unique_ptr<platform::RegistryKey> probe;
  const platform::Status s = platform::RegistryKey::Open(hive(), ToPlatform(resolve(key)), platform::KeyAccess::kRead,
                                                         false, &probe, &FileSystemInUse());
  if (s.code() == platform::StatusCode::kCorrupt) raiseHiveError(s);
  return s.ok();
}

bool TRegistry::ValueExists(const QString& name) const {
  if (!current_) return false;
  platform::RegistryValue v;
  const platform::Status s = current_->ReadValue(ToPlatform(name), &v);
  if (s.code() == platform::StatusCode::kCorrupt) raiseHiveError(s);
  return s.ok();
}

QString TRegistry::ReadString(const QString& name) const {
  if (!current_) return QString();
  platform::RegistryValue v;
  const platform::Status s = current_->ReadValue(ToPlatform(name), &v);
  if (!s.ok()) {
    if (isMissing(s)) return QString();
    raiseHiveError(s);
  }
  if (!v.IsText()) throw ERegistryException(QStringLiteral("Invalid data type for '%1'").arg(name));
  return FromPlatform(v.text);
}

int TRegistry::ReadInteger(const QString& name) const {
  platform::RegistryValue v;
  const platform::Status s =
      current_ ? current_->ReadValue(ToPlatform(name), &v) : platform::Status::Error(platform::StatusCode::kNotFound);
  if (!s.ok() && !isMissing(s)) raiseHiveError(s);
  if (!s.ok() || v.type != platform::kRegDword)
    throw ERegistryException(QStringLiteral("Invalid data type for '%1'").arg(name));
  return static_cast<int>(v.dword);
}

void TRegistry::write(const QString& name, const platform::RegistryValue& value) {
  const platform::Status s = current_ ? current_->WriteValue(ToPlatform(name), value)
                                      : platform::Status::Error(platform::StatusCode::kAccessDenied);
  if (!s.ok()) throw ERegistryException(QStringLiteral("Failed to set data for '%1'").arg(name));
}

void TRegistry::WriteString(const QString& name, const QString& value) {
  write(name, platform::RegistryValue::String(ToPlatform(value)));
}

void TRegistry::WriteExpandString(const QString& name, const QString& value) {
  write(name, platform::RegistryValue::ExpandString(ToPlatform(value)));
}

void TRegistry::WriteInteger(const QString& name, int value) {
  write(name, platform::RegistryValue::Dword(static_cast<std::uint32_t>(value)));
}

bool TRegistry::DeleteValue(const QString& name) {
  return current_ && current_->DeleteValue(ToPlatform(name)).ok();
}

QStringList TRegistry::GetValueNames() const {
  QStringList r;
  std::vector<std::string> names;
  if (current_ && current_->ValueNames(&names).ok())
    for (const std::string& n : names) r << FromPlatform(n);
  return r;
}

QStringList TRegistry::GetKeyNames() const {
  QStringList r;
  std::vector<std::string> names;
  if (current_ && current_->SubKeyNames(&names).ok())
    for (const std::string& n : names) r << FromPlatform(n);
  return r;
}
