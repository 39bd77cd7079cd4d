// Shared libraries loaded by name through dlopen.
#include "platform/library.h"

#include <dlfcn.h>

#include "platform/shell_folders.h"
#include "platform/text.h"

namespace platform {

Library::~Library() {
  if (handle_ != nullptr) dlclose(handle_);
}

std::vector<std::string> Library::Candidates(const std::string& name) {
  std::vector<std::string> names{name};
  // "ACE32.DLL" is the host's "libace32.so".
  if (name.size() > 4 && EqualsIgnoreAsciiCase(std::string_view(name).substr(name.size() - 4), ".dll")) {
    std::string stem = name.substr(0, name.size() - 4);
    std::string lower;
    for (char c : stem) lower.push_back((c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c);
    names.push_back("lib" + lower + ".so");
  }
  std::vector<std::string> out;
  if (name.find('/') != std::string::npos) return {name};
  const std::string folder = ExecutableHostFolder();
  for (const auto& n : names) out.push_back((folder == "/" ? "" : folder) + "/" + n);
  for (const auto& n : names) out.push_back(n);  // the system's search path
  return out;
}

Status Library::Load(const std::string& name, std::unique_ptr<Library>* out) {
  out->reset();
  // dlerror() keeps its text per thread, so no lock is needed around open and error.
  std::string errors;
  for (const auto& candidate : Candidates(name)) {
    dlerror();
    void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle != nullptr) {
      out->reset(new Library(handle, candidate));
      return Status::OK();
    }
    const char* e = dlerror();
    if (!errors.empty()) errors += "; ";
    errors += e != nullptr ? e : candidate;
  }
  return Status::Error(StatusCode::kNotFound, {}, kErrorModuleNotFound).WithDetail(errors);
}

Status Library::Symbol(const std::string& name, void** address) const {
  *address = nullptr;
  dlerror();
  void* found = dlsym(handle_, name.c_str());
  const char* e = dlerror();
  if (e != nullptr || found == nullptr)
    return Status::Error(StatusCode::kNotFound, {}, kErrorProcNotFound).WithDetail(e ? e : name);
  *address = found;
  return Status::OK();
}

}  // namespace platform
