#include "engine/core/host_path.h"

#include "engine/core/caller_names.h"
#include "engine/core/error.h"
#include "platform/code_page.h"
#include "platform/paths.h"

namespace engine::core {

platform::Status ToHostPath(std::string_view ansi_path, std::string* host_path) {
  platform::Status s = platform::ToHostPath(platform::AnsiToUtf8(ansi_path), host_path);
  // A failure of this call names the file as the caller did (a root is no file's name).
  if (s.ok() && host_path->size() > 1) NoteCallerName(*host_path, std::string(ansi_path));
  return s;
}

bool MapsAsWritten(std::string_view ansi_path, const std::string& host_path) {
  std::string written;
  if (!platform::ToHostPathAsWritten(platform::AnsiToUtf8(ansi_path), &written).ok() || written != host_path) return false;
  if (host_path.size() > 1) NoteCallerName(host_path, std::string(ansi_path));
  return true;
}

std::string HostPathOrFail(const std::string& ansi_path, const std::string& what) {
  std::string host;
  platform::Status s = ToHostPath(ansi_path, &host);
  if (!s.ok()) Fail(err::kPathInvalid, what + " " + ansi_path + " cannot be used: " + s.message());
  return host;
}

std::string FullPath(const std::string& ansi_path) {
  return platform::Utf8ToAnsi(platform::FullPath(platform::AnsiToUtf8(ansi_path)));
}

std::string FromHostName(std::string_view host_name) { return platform::Utf8ToAnsi(host_name); }

}  // namespace engine::core
