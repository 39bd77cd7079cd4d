// Making and ending engine connections: the work behind AdsConnect, AdsConnect60,
// AdsConnect101, AdsDDCreate and AdsDisconnect.
//
// Thread safety: may be called from any thread; each call builds its own Connection.
#pragma once

#include <string>

#include "engine/core/connect_string.h"
#include "engine/core/handles.h"

namespace engine::core {

// True when `path` names a data dictionary: it ends, ignoring case, in ".ADD" or "__rootdd".
bool IsDictionaryPath(const std::string& path);

// Connects as `options` say and registers the connection. Only the local server is built in:
// a server-type mask without the local bit fails with 5904 (0 means any). A dictionary path
// must be an existing dictionary and the login must succeed; any other path must be an
// existing folder (5906 otherwise). Returns the new connection handle.
Handle OpenConnection(const ConnectOptions& options);

// Releases the connection and everything opened on it.
void CloseConnection(Handle handle);

}  // namespace engine::core
