// Windows-form paths mapped onto the host. A path is first parsed into its form (host, UNC,
// drive, drive-relative, rooted, relative) and its components; relative forms are completed with
// the current folder; "." and ".." are then resolved lexically, never above the root of the
// form. Only drive, UNC and rooted forms need the path map.
#include "platform/paths.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <mutex>

#include "platform/registry.h"
#include "platform/text.h"

namespace platform {
namespace {

constexpr char kDrivesKey[] = "SOFTWARE\\Pellmar\\Host\\Drives";
constexpr char kSharesKey[] = "SOFTWARE\\Pellmar\\Host\\Shares";

const char kMsgTooLong[] = "The specified path is too long";
const char kMsgFormat[] = "The path format is not supported";
const char kMsgInvalid[] = "Invalid characters in path";
const char kMsgDrive[] = "The drive cannot be found";

bool IsSep(char c) {
  return c == '\\' || c == '/';
}
bool IsLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

enum class Form { kHost, kUnc, kDrive, kDriveRelative, kRooted, kRelative };

struct Parsed {
  Form form = Form::kRelative;
  char letter = 0;            // kDrive, kDriveRelative: upper case
  std::string server, share;  // kUnc
  std::vector<std::string> parts;
  bool trailing = false;  // the text ended with a separator after some component
};

std::vector<std::string> Split(std::string_view text) {
  std::vector<std::string> parts;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsSep(text[i])) ++i;
    size_t start = i;
    while (i < text.size() && !IsSep(text[i])) ++i;
    if (i > start) parts.emplace_back(text.substr(start, i - start));
  }
  return parts;
}

// Resolves "." and "..": ".." at the root stays at the root.
std::vector<std::string> Normalize(const std::vector<std::string>& parts) {
  std::vector<std::string> out;
  for (const auto& p : parts) {
    if (p == ".") continue;
    if (p == "..") {
      if (!out.empty()) out.pop_back();
      continue;
    }
    out.push_back(p);
  }
  return out;
}

bool IsDeviceForm(const std::string& path) {
  return path.size() >= 4 && IsSep(path[0]) && IsSep(path[1]) && (path[2] == '?' || path[2] == '.') &&
         IsSep(path[3]);
}

// Parses the form of a path whose characters are already known to be valid. Returns
// kUnsupportedFormat for device forms, misplaced ":" and UNC paths without a share.
Status Parse(const std::string& path, Parsed* out) {
  *out = Parsed();
  if (IsDeviceForm(path)) return Status::Error(StatusCode::kUnsupportedFormat, kMsgFormat);
  std::string_view rest = path;
  if (path[0] == '/') {
    out->form = Form::kHost;
    rest.remove_prefix(1);
  } else if (path.size() >= 2 && path[0] == '\\' && IsSep(path[1])) {
    std::vector<std::string> unc = Split(rest);
    if (unc.size() < 2) return Status::Error(StatusCode::kUnsupportedFormat, kMsgFormat);
    out->form = Form::kUnc;
    out->server = unc[0];
    out->share = unc[1];
    out->parts.assign(unc.begin() + 2, unc.end());
    for (const auto& p : out->parts)
      if (p.find(':') != std::string::npos) return Status::Error(StatusCode::kUnsupportedFormat, kMsgFormat);
    if (out->server.find(':') != std::string::npos || out->share.find(':') != std::string::npos)
      return Status::Error(StatusCode::kUnsupportedFormat, kMsgFormat);
    out->trailing = !out->parts.empty() && IsSep(path.back());
    return Status::OK();
  } else if (path.size() >= 2 && path[1] == ':') {
    if (!IsLetter(path[0])) return Status::Error(StatusCode::kUnsupportedFormat, kMsgFormat);
    out->letter = FoldAscii(path[0]);
    rest.remove_prefix(2);
    out->form = (!rest.empty() && IsSep(rest[0])) ? Form::kDrive : Form::kDriveRelative;
  } else if (IsSep(path[0])) {
    out->form = Form::kRooted;
  }
  // Host paths may carry ":" in their names; Windows forms may not, past the drive.
  if (out->form != Form::kHost && rest.find(':') != std::string_view::npos)
    return Status::Error(StatusCode::kUnsupportedFormat, kMsgFormat);
  out->parts = Split(rest);
  out->trailing = !out->parts.empty() && IsSep(path.back());
  return Status::OK();
}

Status CheckCharacters(const std::string& path) {
  // The "?" of the device prefix "\\?\" is a matter of format, reported by Parse.
  const bool device = IsDeviceForm(path);
  bool blank = true;
  for (size_t i = 0; i < path.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(path[i]);
    const bool wildcard = c == '?' || c == '*';
    if (c < 32 || c == '<' || c == '>' || c == '"' || c == '|' || wildcard) {
      if (!(device && i == 2)) return Status::Error(StatusCode::kInvalidCharacters, kMsgInvalid);
    }
    if (c != ' ') blank = false;
  }
  if (blank) return Status::Error(StatusCode::kInvalidCharacters, kMsgInvalid);
  return Status::OK();
}

std::vector<std::string> HostParts(const std::string& host) {
  return Normalize(Split(host));
}

std::string JoinHost(const std::string& root, const std::vector<std::string>& parts) {
  std::string out = root;
  for (const auto& p : parts) {
    if (out.empty() || out.back() != '/') out += '/';
    out += p;
  }
  if (out.empty()) out = "/";
  return out;
}

// Makes a parsed path absolute: relative forms are completed with the current folder.
// `map` is needed only for the rooted form.
void MakeAbsolute(Parsed* p, const PathMap* map) {
  switch (p->form) {
    case Form::kRelative: {
      std::vector<std::string> parts = HostParts(CurrentHostFolder());
      parts.insert(parts.end(), p->parts.begin(), p->parts.end());
      p->form = Form::kHost;
      p->parts = std::move(parts);
      break;
    }
    case Form::kDriveRelative:
      p->form = Form::kDrive;
      break;
    case Form::kRooted: {
      // The root of the drive the current folder is on, or the host root.
      std::string cwd = ToWindowsPath(CurrentHostFolder(), *map);
      if (cwd.size() >= 2 && cwd[1] == ':') {
        p->form = Form::kDrive;
        p->letter = FoldAscii(cwd[0]);
      } else {
        p->form = Form::kHost;
      }
      break;
    }
    default:
      break;
  }
  p->parts = Normalize(p->parts);
}

std::string JoinWindows(const Parsed& p) {
  std::string out;
  switch (p.form) {
    case Form::kDrive:
      out = std::string(1, p.letter) + ":\\";
      break;
    case Form::kUnc:
      out = "\\\\" + p.server + "\\" + p.share + "\\";
      break;
    default:
      out = "/";
      break;
  }
  const char sep = p.form == Form::kHost ? '/' : '\\';
  for (size_t i = 0; i < p.parts.size(); ++i) {
    if (i > 0) out += sep;
    out += p.parts[i];
  }
  if (p.trailing && !p.parts.empty()) out += sep;
  if (p.form == Form::kUnc && p.parts.empty()) out.pop_back();
  return out;
}

// The name in `folder` that equals `name` ignoring a..z case; "" when there is none. Among
// several, the smallest in byte order, so that the choice never depends on folder order.
std::string FindIgnoringCase(const std::string& folder, const std::string& name) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return {};
  std::string best;
  while (dirent* e = readdir(dir)) {
    std::string_view candidate = e->d_name;
    if (EqualsIgnoreAsciiCase(candidate, name) && (best.empty() || candidate < best))
      best = std::string(candidate);
  }
  closedir(dir);
  return best;
}

// Appends each component to `root`, correcting its case where the exact name is absent.
std::string ResolveComponents(const std::string& root, const std::vector<std::string>& parts) {
  std::string current = root.empty() ? "/" : root;
  bool parent_exists = true;
  for (const auto& part : parts) {
    std::string candidate = JoinHost(current, {part});
    if (parent_exists) {
      struct stat st;
      if (lstat(candidate.c_str(), &st) != 0) {
        std::string found = FindIgnoringCase(current, part);
        if (!found.empty()) {
          candidate = JoinHost(current, {found});
        } else {
          parent_exists = false;  // nothing below a missing name can exist
        }
      }
    }
    current = std::move(candidate);
  }
  return current;
}

std::string NormalizeRoot(const std::string& root) {
  std::vector<std::string> parts = HostParts(root);
  return JoinHost("/", parts);
}

}  // namespace

PathMap PathMap::Default() {
  PathMap map;
  map.drives.push_back({'C', "/"});
  return map;
}

const std::string* PathMap::DriveRoot(char letter) const {
  const char upper = FoldAscii(letter);
  for (const auto& d : drives)
    if (d.letter == upper) return &d.root;
  return nullptr;
}

const std::string* PathMap::ShareRoot(const std::string& server, const std::string& share) const {
  for (const auto& s : shares)
    if (EqualsIgnoreAsciiCase(s.server, server) && EqualsIgnoreAsciiCase(s.share, share)) return &s.root;
  return nullptr;
}

namespace {

std::string Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return std::string(s);
}

std::vector<std::string> SplitEntries(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(';', start);
    if (end == std::string::npos) end = text.size();
    std::string entry = Trim(std::string_view(text).substr(start, end - start));
    if (!entry.empty()) out.push_back(entry);
    start = end + 1;
  }
  return out;
}

Status AddDrive(const std::string& name, const std::string& root, std::vector<DriveMapping>* drives) {
  std::string letter = Trim(name);
  if (letter.size() == 2 && letter[1] == ':') letter.pop_back();
  std::string where = Trim(root);
  if (letter.size() != 1 || !IsLetter(letter[0]) || where.empty() || where[0] != '/')
    return Status::Error(StatusCode::kInvalidArgument, "Invalid drive mapping \"" + name + "=" + root + "\"");
  const char upper = FoldAscii(letter[0]);
  drives->erase(std::remove_if(drives->begin(), drives->end(),
                               [&](const DriveMapping& d) { return d.letter == upper; }),
                drives->end());
  drives->push_back({upper, NormalizeRoot(where)});
  return Status::OK();
}

Status AddShare(const std::string& name, const std::string& root, std::vector<ShareMapping>* shares) {
  std::vector<std::string> parts = Split(Trim(name));
  std::string where = Trim(root);
  if (parts.size() != 2 || where.empty() || where[0] != '/')
    return Status::Error(StatusCode::kInvalidArgument, "Invalid share mapping \"" + name + "=" + root + "\"");
  shares->push_back({parts[0], parts[1], NormalizeRoot(where)});
  return Status::OK();
}

}  // namespace

Status ParseDriveMap(const std::string& text, PathMap* out) {
  std::vector<DriveMapping> drives;
  for (const auto& entry : SplitEntries(text)) {
    size_t eq = entry.find('=');
    if (eq == std::string::npos)
      return Status::Error(StatusCode::kInvalidArgument, "Invalid drive mapping \"" + entry + "\"");
    Status s = AddDrive(entry.substr(0, eq), entry.substr(eq + 1), &drives);
    if (!s.ok()) return s;
  }
  out->drives = std::move(drives);
  return Status::OK();
}

Status ParseShareMap(const std::string& text, PathMap* out) {
  std::vector<ShareMapping> shares;
  for (const auto& entry : SplitEntries(text)) {
    size_t eq = entry.find('=');
    if (eq == std::string::npos)
      return Status::Error(StatusCode::kInvalidArgument, "Invalid share mapping \"" + entry + "\"");
    Status s = AddShare(entry.substr(0, eq), entry.substr(eq + 1), &shares);
    if (!s.ok()) return s;
  }
  out->shares = std::move(shares);
  return Status::OK();
}

namespace {

// Guards against loading the map while the map is being loaded (a hive file named in Windows
// form would need the map to be found).
thread_local bool loading_map = false;

Status LoadFromHive(PathMap* map) {
  std::unique_ptr<RegistryHive> hive;
  Status s = LoadHive(Hive::kLocalMachine, &hive);
  if (!s.ok()) return s;
  std::vector<DriveMapping> drives;
  for (const auto& name : hive->ValueNames(kDrivesKey)) {
    RegistryValue v;
    if (!hive->GetValue(kDrivesKey, name, &v).ok() || !v.IsText()) continue;
    Status a = AddDrive(name, v.text, &drives);
    if (!a.ok()) return a.WithDetail(hive->file());
  }
  if (!drives.empty()) map->drives = std::move(drives);
  for (const auto& name : hive->ValueNames(kSharesKey)) {
    RegistryValue v;
    if (!hive->GetValue(kSharesKey, name, &v).ok() || !v.IsText()) continue;
    Status a = AddShare(name, v.text, &map->shares);
    if (!a.ok()) return a.WithDetail(hive->file());
  }
  return Status::OK();
}

}  // namespace

Status LoadProcessPathMap(PathMap* out) {
  *out = PathMap::Default();
  if (loading_map) return Status::OK();
  loading_map = true;
  Status result;
  {
    PathMap from_hive = PathMap::Default();
    Status s = LoadFromHive(&from_hive);
    if (s.ok()) {
      *out = from_hive;
    } else {
      result = s;
    }
  }
  loading_map = false;
  if (const char* drives = std::getenv("PELLMAR_DRIVES")) {
    Status s = ParseDriveMap(drives, out);
    if (!s.ok() && result.ok()) result = s;
  }
  if (const char* shares = std::getenv("PELLMAR_SHARES")) {
    Status s = ParseShareMap(shares, out);
    if (!s.ok() && result.ok()) result = s;
  }
  return result;
}

PathMap ProcessPathMap() {
  if (loading_map) return PathMap::Default();
  // The cache is keyed by everything the map is made of: the two variables and the hive file's
  // identity and modification time.
  struct Cache {
    std::mutex mu;
    bool valid = false;
    std::string key;
    PathMap map;
  };
  static Cache* cache = new Cache;  // never destroyed: paths are mapped during exit too
  std::string key;
  for (const char* name : {"PELLMAR_DRIVES", "PELLMAR_SHARES"}) {
    const char* v = std::getenv(name);
    key += v ? "1" + std::string(v) : "0";
    key += '\0';
  }
  std::string hive = HiveFilePath(Hive::kLocalMachine);
  key += hive + '\0';
  struct stat st;
  if (stat(hive.c_str(), &st) == 0) {
    key += std::to_string(st.st_ino) + ":" + std::to_string(st.st_size) + ":" +
           std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
  }
  std::lock_guard<std::mutex> lock(cache->mu);
  if (!cache->valid || cache->key != key) {
    PathMap map;
    LoadProcessPathMap(&map);  // errors fall back to the default, see the header
    cache->map = std::move(map);
    cache->key = std::move(key);
    cache->valid = true;
  }
  return cache->map;
}

std::string CurrentHostFolder() {
  std::string buffer(256, '\0');
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return "/";
    buffer.resize(buffer.size() * 2);
  }
  buffer.resize(std::char_traits<char>::length(buffer.c_str()));
  return buffer;
}

// Makes a parsed path absolute the way the original platform's full-path expansion does: a
// relative path is completed with the current folder in Windows form.
static void CompleteInWindowsForm(Parsed* p, const PathMap& map) {
  if (p->form == Form::kRelative) {
    Parsed base;
    if (Parse(ToWindowsPath(CurrentHostFolder(), map), &base).ok()) {
      base.parts.insert(base.parts.end(), p->parts.begin(), p->parts.end());
      base.trailing = p->trailing;
      *p = std::move(base);
    }
  }
  MakeAbsolute(p, &map);
}

Status CheckPath(const std::string& path, size_t max_length, const PathMap& map) {
  Status s = CheckCharacters(path);
  if (!s.ok()) return s;
  Parsed p;
  s = Parse(path, &p);
  if (!s.ok()) return s;
  CompleteInWindowsForm(&p, map);
  if (max_length != 0 && Utf16Length(JoinWindows(p)) > max_length)
    return Status::Error(StatusCode::kPathTooLong, kMsgTooLong);
  if (p.form == Form::kDrive && map.DriveRoot(p.letter) == nullptr)
    return Status::Error(StatusCode::kDriveNotFound, kMsgDrive);
  if (p.form == Form::kUnc && map.ShareRoot(p.server, p.share) == nullptr)
    return Status::Error(StatusCode::kDriveNotFound, kMsgDrive, 53);
  return Status::OK();
}

Status CheckPath(const std::string& path, size_t max_length) {
  return CheckPath(path, max_length, ProcessPathMap());
}

std::string FullPath(const std::string& path, const PathMap& map) {
  if (path.empty()) return ToWindowsPath(CurrentHostFolder(), map);
  Parsed p;
  if (!Parse(path, &p).ok()) return path;
  CompleteInWindowsForm(&p, map);
  return JoinWindows(p);
}

std::string FullPath(const std::string& path) {
  return FullPath(path, ProcessPathMap());
}

namespace {

bool NeedsMap(const std::string& path) {
  if (path.empty() || path[0] == '/') return false;
  if (path.size() >= 2 && path[1] == ':') return true;
  return IsSep(path[0]);
}

}  // namespace

namespace {

// The host root that `path` lies under and its names below it, made absolute and normalised.
Status MapRoot(const std::string& path, const PathMap& map, Parsed* p, std::string* root) {
  Status s = CheckCharacters(path);
  if (!s.ok()) return s;
  s = Parse(path, p);
  if (!s.ok()) return s;
  MakeAbsolute(p, &map);
  switch (p->form) {
    case Form::kDrive: {
      const std::string* r = map.DriveRoot(p->letter);
      if (r == nullptr) return Status::Error(StatusCode::kDriveNotFound, kMsgDrive);
      *root = *r;
      break;
    }
    case Form::kUnc: {
      const std::string* r = map.ShareRoot(p->server, p->share);
      if (r == nullptr) return Status::Error(StatusCode::kDriveNotFound, kMsgDrive, 53);
      *root = *r;
      break;
    }
    default:
      *root = "/";
      break;
  }
  return Status::OK();
}

}  // namespace

Status ToHostPath(const std::string& path, const PathMap& map, std::string* host_path) {
  Parsed p;
  std::string root;
  Status s = MapRoot(path, map, &p, &root);
  if (!s.ok()) return s;
  std::string host = ResolveComponents(root, p.parts);
  if (p.trailing && host.back() != '/') host += '/';
  *host_path = std::move(host);
  return Status::OK();
}

Status ToHostPath(const std::string& path, std::string* host_path) {
  if (!NeedsMap(path)) return ToHostPath(path, PathMap::Default(), host_path);
  return ToHostPath(path, ProcessPathMap(), host_path);
}

Status ToHostPathAsWritten(const std::string& path, std::string* host_path) {
  const PathMap& map = NeedsMap(path) ? ProcessPathMap() : PathMap::Default();
  Parsed p;
  std::string root;
  Status s = MapRoot(path, map, &p, &root);
  if (!s.ok()) return s;
  std::string host = JoinHost(root.empty() ? "/" : root, p.parts);
  if (p.trailing && host.back() != '/') host += '/';
  *host_path = std::move(host);
  return Status::OK();
}

std::string ToWindowsPath(const std::string& host_path, const PathMap& map) {
  std::vector<std::string> parts = HostParts(host_path);
  const bool trailing = !parts.empty() && !host_path.empty() && host_path.back() == '/';
  const DriveMapping* best = nullptr;
  size_t best_depth = 0;
  for (const auto& d : map.drives) {
    std::vector<std::string> root = HostParts(d.root);
    if (root.size() > parts.size()) continue;
    if (!std::equal(root.begin(), root.end(), parts.begin())) continue;
    if (best == nullptr || root.size() > best_depth ||
        (root.size() == best_depth && d.letter < best->letter)) {
      best = &d;
      best_depth = root.size();
    }
  }
  Parsed p;
  p.trailing = trailing;
  if (best == nullptr) {
    p.form = Form::kHost;
    p.parts = std::move(parts);
  } else {
    p.form = Form::kDrive;
    p.letter = best->letter;
    p.parts.assign(parts.begin() + best_depth, parts.end());
  }
  return JoinWindows(p);
}

std::string ToWindowsPath(const std::string& host_path) {
  return ToWindowsPath(host_path, ProcessPathMap());
}

bool IsRootPath(const std::string& path) {
  if (path.empty() || !CheckCharacters(path).ok()) return false;
  Parsed p;
  if (!Parse(path, &p).ok()) return false;
  if (p.form == Form::kRelative || p.form == Form::kRooted) return false;
  return Normalize(p.parts).empty();
}

std::string WithTrailingBackslash(const std::string& path) {
  if (!path.empty() && IsSep(path.back())) return path;
  return path + "\\";
}

}  // namespace platform
