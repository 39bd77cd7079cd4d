// Loading the folder checker (checker/folder_check.h) into a program that holds the engine's
// internals.
//
// The library is loaded privately (RTLD_LOCAL, and RTLD_DEEPBIND where the sanitizers allow
// it), so its calls of the C interface bind to the libace32 it brings along, never to the entry
// points of the engine linked into the program: what it reads, it reads through a copy of the
// engine of its own, with the host's storage, whatever storage the program's copy is using.
//
// Fails the calling test and returns null when the library cannot be loaded.
#pragma once

#include "checker/folder_check.h"

namespace acetest {

const FolderChecker* LoadFolderChecker();

}  // namespace acetest
