// The process's SQL abort callback (AdsRegisterSQLAbortFunc): asked while statements run; a
// non-zero answer stops the running statement.
//
// Thread safety: safe from any thread.
#pragma once

#include "ace/ace_types.h"

namespace engine::sql {

void SetAbortFunction(ADS_SQL_ABORT_FUNC fn);  // null clears it
// Calls the callback, when one is registered; true when it asks to stop.
bool AbortRequested();

}  // namespace engine::sql
