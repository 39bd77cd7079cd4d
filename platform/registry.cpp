// The process's hives on the host and keys opened in them. Each operation reads the hive file
// afresh (and parses it only when it changed); a write holds a lock file beside the hive ("<hive>.lock", flock) for its
// read-modify-write so that two processes writing at once both keep their changes.
#include "platform/registry.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
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

// Hives already parsed, by file. Every operation still reads the file, so that it sees what
// other processes wrote, but parses it only when its bytes differ from those parsed last time:
// a program reading many values of a large hive parses it once.
class HiveCache {
 public:
  // The hive as the file holds it now; with `defaults`, with the values the original platform
  // always has added.
  Status Get(Hive hive, FileSystem* fs, bool defaults, std::shared_ptr<const RegistryHive>* out) {
    const std::string file = HiveFilePath(hive);
    std::string bytes;
    Status s = fs->ReadFile(file, &bytes);
    const bool missing = s.code() == StatusCode::kNotFound || s.code() == StatusCode::kPathNotFound;
    if (!s.ok() && !missing) return s;
    std::lock_guard<std::mutex> lock(mu_);
    Entry& e = entries_[file + '\n' + HiveRootName(hive)];
    if (!e.raw || e.missing != missing || e.bytes != bytes) {
      e.raw.reset();
      e.withDefaults.reset();
      auto parsed = std::make_unique<RegistryHive>(HiveRootName(hive));
      if (!missing) {
        s = parsed->Parse(bytes, file);
        if (!s.ok()) return s;
      } else {
        s = RegistryHive::Load(*fs, file, HiveRootName(hive), &parsed);  // an empty hive that knows its file
        if (!s.ok()) return s;
      }
      auto withDefaults = std::make_shared<RegistryHive>(*parsed);
      ApplyDefaults(hive, withDefaults.get());
      e.bytes = std::move(bytes);
      e.missing = missing;
      e.raw = std::move(parsed);
      e.withDefaults = std::move(withDefaults);
    }
    *out = defaults ? e.withDefaults : e.raw;
    return Status::OK();
  }

  static HiveCache& Instance() {
    static HiveCache* cache = new HiveCache;
    return *cache;
  }

 private:
  struct Entry {
    std::string bytes;
    bool missing = false;
    std::shared_ptr<const RegistryHive> raw, withDefaults;
  };
  std::mutex mu_;
  std::map<std::string, Entry> entries_;
};

Status LoadShared(Hive hive, FileSystem* fs, bool defaults, std::shared_ptr<const RegistryHive>* out) {
  return HiveCache::Instance().Get(hive, fs ? fs : DefaultFileSystem(), defaults, out);
}

Status LoadRaw(Hive hive, FileSystem* fs, std::unique_ptr<RegistryHive>* out) {
  std::shared_ptr<const RegistryHive> shared;
  Status s = LoadShared(hive, fs, false, &shared);
  if (s.ok()) *out = std::make_unique<RegistryHive>(*shared);
  return s;
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
  if (const char* f = std::getenv(kMachineHiveVariable); f != nullptr && *f != '\0') return f;
  return kDefaultMachineHiveFile;
}

Status LoadHive(Hive hive, std::unique_ptr<RegistryHive>* out, FileSystem* fs) {
  std::shared_ptr<const RegistryHive> shared;
  Status s = LoadShared(hive, fs, true, &shared);
  if (s.ok()) *out = std::make_unique<RegistryHive>(*shared);
  return s;
}

Status RegistryKey::Open(Hive hive, const std::string& path, KeyAccess access, bool create,
                         std::unique_ptr<RegistryKey>* out, FileSystem* fs) {
  out->reset();
  if (fs == nullptr) fs = DefaultFileSystem();
  std::shared_ptr<const RegistryHive> h;
  Status s = LoadShared(hive, fs, true, &h);
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
  std::shared_ptr<const RegistryHive> h;
  Status s = LoadShared(hive_, fs_, true, &h);
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
  std::shared_ptr<const RegistryHive> h;
  Status s = LoadShared(hive_, fs_, true, &h);
  if (!s.ok()) return s;
  *names = h->ValueNames(path_);
  return Status::OK();
}

Status RegistryKey::SubKeyNames(std::vector<std::string>* names) const {
  std::shared_ptr<const RegistryHive> h;
  Status s = LoadShared(hive_, fs_, true, &h);
  if (!s.ok()) return s;
  *names = h->SubKeyNames(path_);
  return Status::OK();
}

}  // namespace platform
