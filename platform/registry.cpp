// The process's hives on the host and keys opened in them. Each operation loads the hive file
// afresh; a write holds a lock file beside the hive ("<hive>.lock", flock) for its
// read-modify-write so that two processes writing at once both keep their changes.
#include "platform/registry.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>

#include "platform/text.h"

namespace platform {
namespace {

constexpr char kCurrentVersionKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

struct DefaultValue {
  Hive hive;
  const char* key;
  const char* name;
  const char* text;
};

// Values the original platform always has.
constexpr DefaultValue kDefaultValues[] = {
    {Hive::kLocalMachine, kCurrentVersionKey, "ProgramFilesDir", "C:\\Program Files"},
};

struct DefaultKey {
  Hive hive;
  const char* key;
};

constexpr DefaultKey kDefaultKeys[] = {
    {Hive::kCurrentUser, "Environment"},
    {Hive::kLocalMachine, "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment"},
};

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr) return pw->pw_dir;
  return "/";
}

void ApplyDefaults(Hive hive, RegistryHive* h) {
  for (const auto& d : kDefaultKeys)
    if (d.hive == hive && !h->KeyExists(d.key)) h->CreateKey(d.key);
  for (const auto& d : kDefaultValues) {
    RegistryValue existing;
    if (d.hive == hive && !h->GetValue(d.key, d.name, &existing).ok())
      h->SetValue(d.key, d.name, RegistryValue::String(d.text));
  }
}

Status LoadRaw(Hive hive, FileSystem* fs, std::unique_ptr<RegistryHive>* out) {
  return RegistryHive::Load(fs ? *fs : *DefaultFileSystem(), HiveFilePath(hive), HiveRootName(hive), out);
}

// Serialises the writes of this process and, through the lock file, those of other processes.
class WriteLock {
 public:
  WriteLock(Hive hive, FileSystem* fs) : guard_(Mutex()) {
    const std::string file = HiveFilePath(hive);
    std::string host;
    if (!fs->ResolvePath(file + ".lock", &host).ok()) return;
    const std::string folder = ParentPath(file);
    if (!folder.empty()) CreateDirectories(*fs, folder);  // failures show up in the write itself
    fd_ = ::open(host.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
      while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
      }
    }
  }
  ~WriteLock() {
    if (fd_ >= 0) ::close(fd_);  // releases the lock
  }

 private:
  static std::mutex& Mutex() {
    static std::mutex* mu = new std::mutex;
    return *mu;
  }
  std::lock_guard<std::mutex> guard_;
  int fd_ = -1;
};

template <typename Change>
Status Modify(Hive hive, FileSystem* fs, Change change) {
  WriteLock lock(hive, fs);
  std::unique_ptr<RegistryHive> h;
  Status s = LoadRaw(hive, fs, &h);
  if (!s.ok()) return s;
  s = change(*h);
  if (!s.ok()) return s;
  return h->Save(*fs);
}

}  // namespace

const char* HiveRootName(Hive hive) {
  return hive == Hive::kCurrentUser ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
}

std::string HiveFilePath(Hive hive) {
  if (hive == Hive::kCurrentUser) {
    if (const char* f = std::getenv("PELLMAR_HKCU"); f != nullptr && *f != '\0') return f;
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x != nullptr && *x == '/')
      return std::string(x) + "/pellmar/HKCU.reg";
    return HomeFolder() + "/.config/pellmar/HKCU.reg";
  }
  if (const char* f = std::getenv("PELLMAR_HKLM"); f != nullptr && *f != '\0') return f;
  return "/etc/pellmar/HKLM.reg";
}

Status LoadHive(Hive hive, std::unique_ptr<RegistryHive>* out, FileSystem* fs) {
  Status s = LoadRaw(hive, fs, out);
  if (s.ok()) ApplyDefaults(hive, out->get());
  return s;
}

Status RegistryKey::Open(Hive hive, const std::string& path, KeyAccess access, bool create,
                         std::unique_ptr<RegistryKey>* out, FileSystem* fs) {
  out->reset();
  if (fs == nullptr) fs = DefaultFileSystem();
  std::unique_ptr<RegistryHive> h;
  Status s = LoadHive(hive, &h, fs);
  if (!s.ok()) return s;
  if (!h->KeyExists(path)) {
    if (!create) return Status::Error(StatusCode::kNotFound).WithDetail(path);
    if (access != KeyAccess::kReadWrite) return Status::Error(StatusCode::kAccessDenied).WithDetail(path);
    s = Modify(hive, fs, [&](RegistryHive& raw) { return raw.CreateKey(path); });
    if (!s.ok()) return s;
  }
  out->reset(new RegistryKey(hive, path, access, fs));
  return Status::OK();
}

Status RegistryKey::ReadValue(const std::string& name, RegistryValue* value) const {
  std::unique_ptr<RegistryHive> h;
  Status s = LoadHive(hive_, &h, fs_);
  if (!s.ok()) return s;
  return h->GetValue(path_, name, value);
}

bool RegistryKey::ValueExists(const std::string& name) const {
  RegistryValue v;
  return ReadValue(name, &v).ok();
}

Status RegistryKey::WriteValue(const std::string& name, const RegistryValue& value) {
  if (access_ != KeyAccess::kReadWrite) return Status::Error(StatusCode::kAccessDenied).WithDetail(path_);
  return Modify(hive_, fs_, [&](RegistryHive& h) { return h.SetValue(path_, name, value); });
}

Status RegistryKey::DeleteValue(const std::string& name) {
  if (access_ != KeyAccess::kReadWrite) return Status::Error(StatusCode::kAccessDenied).WithDetail(path_);
  return Modify(hive_, fs_, [&](RegistryHive& h) { return h.DeleteValue(path_, name); });
}

Status RegistryKey::ValueNames(std::vector<std::string>* names) const {
  std::unique_ptr<RegistryHive> h;
  Status s = LoadHive(hive_, &h, fs_);
  if (!s.ok()) return s;
  *names = h->ValueNames(path_);
  return Status::OK();
}

Status RegistryKey::SubKeyNames(std::vector<std::string>* names) const {
  std::unique_ptr<RegistryHive> h;
  Status s = LoadHive(hive_, &h, fs_);
  if (!s.ok()) return s;
  *names = h->SubKeyNames(path_);
  return Status::OK();
}

}  // namespace platform
