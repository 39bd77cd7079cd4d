// Making and ending engine connections: the work behind AdsConnect, AdsConnect60,
// AdsConnect101, AdsDDCreate and AdsDisconnect.
//
// It belongs to the interface layer, above the areas it joins: a dictionary connection opens
// the dictionary (engine/dict) and the connection itself lives in engine/core.
//
// Thread safety: may be called from any thread; each call builds its own Connection.
#pragma once

#include <string>

#include "engine/core/connect_string.h"
#include "engine/core/handles.h"

namespace engine::api {

// True when `path` names a data dictionary: it ends, ignoring case, in ".ADD" or "__rootdd".
bool IsDictionaryPath(const std::string& path);

// Connects as `options` say and registers the connection. Only the local server is built in:
// a server-type mask without the local bit fails with 5904 (0 means any). A dictionary path
// must be an existing dictionary and the login must succeed; any other path must be an
// existing folder (5906 otherwise). Returns the new connection handle.
core::Handle OpenConnection(const core::ConnectOptions& options);

// Releases the connection and everything opened on it.
void CloseConnection(core::Handle handle);

}  // namespace engine::api
