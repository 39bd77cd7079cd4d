// The one crossing between the engine's paths and the host's files.
//
// Callers name files in Windows form and in the ANSI code page ("C:\Daten-ü\DB\DB.add" as the
// bytes of windows-1252 by default); the engine keeps paths and names in that form, in messages
// too. The host's file names are UTF-8. Every path the engine hands to the host goes through
// ToHostPath here, and every host file name it hands back goes through FromHostName, so a name
// with letters outside ASCII means the same file on both sides.
//
// Thread safety: stateless (the code page and the path map are the process's settings).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/status.h"

namespace engine::core {

// The host path of an ANSI Windows-form (or host) path; see platform::ToHostPath for the
// mapping and its failures. The pair is noted for the running entry point's messages
// (caller_names.h).
platform::Status ToHostPath(std::string_view ansi_path, std::string* host_path);

// Whether `ansi_path` maps to `host_path` by its names as written (platform::ToHostPathAsWritten).
// For a `host_path` that was just opened, ToHostPath would then give `host_path` again, so a
// caller that knows it exists is spared the look-ups on the disk. The pair is noted as ToHostPath
// notes it.
bool MapsAsWritten(std::string_view ansi_path, const std::string& host_path);

// The same, failing with kPathInvalid and "<what> <path> cannot be used: <reason>" (the path as
// given). Every path of the engine that cannot be mapped fails this way, whichever entry point
// and file it names, so a caller sees one code for it.
std::string HostPathOrFail(const std::string& ansi_path, const std::string& what);

// The full Windows-form path of an ANSI path (platform::FullPath), in ANSI.
std::string FullPath(const std::string& ansi_path);

// A host file name or path (UTF-8) as ANSI text.
std::string FromHostName(std::string_view host_name);

}  // namespace engine::core
