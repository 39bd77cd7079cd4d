#include "engine/api/connection_open.h"

#include <sys/stat.h>

#include "engine/core/codepage.h"
#include "engine/core/connection.h"
#include "engine/core/date_format.h"
#include "engine/core/error.h"
#include "engine/core/host_path.h"
#include "engine/dict/dictionary.h"

namespace engine::api {

using namespace engine::core;
namespace {

std::string HostPathOf(const std::string& path) { return HostPathOrFail(path, "The path"); }

// Removes trailing separators, except from a root ("C:\", "\", "/").
std::string WithoutTrailingSeparator(std::string path) {
  while (path.size() > 1 && (path.back() == '\\' || path.back() == '/')) {
    if (path.size() == 3 && path[1] == ':') break;
    path.pop_back();
  }
  return path;
}

}  // namespace

bool IsDictionaryPath(const std::string& path) {
  std::string up = AsciiUpper(path);
  auto ends = [&](const std::string& suffix) {
    return up.size() >= suffix.size() && up.compare(up.size() - suffix.size(), suffix.size(), suffix) == 0;
  };
  return ends(".ADD") || ends("__ROOTDD");
}

Handle OpenConnection(const ConnectOptions& options) {
  if (options.server_types != 0 && (options.server_types & 1) == 0) {
    Fail(err::kServerNotAvailable,
         "Server not available: only the local server is built into this engine, and the connection to " +
             options.data_source + " does not allow it (add LOCAL to the server types).");
  }
  if (options.data_source.empty()) {
    Fail(err::kDataSourceNotFound, "The connection names no data source (a data dictionary or a folder of tables).");
  }
  auto c = std::make_shared<Connection>();
  c->path = options.data_source;
  c->is_dictionary = IsDictionaryPath(options.data_source);
  c->server_type = 1;
  c->fips = options.fips;
  c->dd_password = options.dd_password;
  c->encryption_type = options.encryption_type;
  c->tls_certificate = options.tls_certificate;
  c->tls_ciphers = options.tls_ciphers;
  c->tls_common_name = options.tls_common_name;
  c->communication_type = options.communication_type;
  c->sql_timeout = options.sql_timeout;
  c->date_format = options.date_format.empty() ? ProcessDateFormat() : options.date_format;
  if (options.table_type) c->default_table_type = *options.table_type;

  std::string full = FullPath(options.data_source);
  if (c->is_dictionary) {
    c->host_path = HostPathOf(options.data_source);
    c->dictionary = dict::Dictionary::Open(c->host_path, full);
    c->user = c->dictionary->Authenticate(options.user, options.password);
    c->password = options.password;
    c->is_administrator = EqualsIgnoringAsciiCase(c->user, dict::kAdministrator);
    c->folder = c->dictionary->WindowsFolder();
    c->host_folder = HostPathOf(c->folder);
  } else {
    // The user name is ignored for free tables.
    c->host_path = HostPathOf(options.data_source);
    struct stat st;
    if (::stat(c->host_path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      Fail(err::kDataSourceNotFound, "The folder " + options.data_source + " does not exist.");
    }
    c->folder = WithoutTrailingSeparator(full);
    c->host_folder = c->host_path;
  }
  return Handles::Add(Kind::kConnection, std::move(c));
}

void CloseConnection(Handle handle) { Handles::Remove(handle, Kind::kConnection); }

}  // namespace engine::api
