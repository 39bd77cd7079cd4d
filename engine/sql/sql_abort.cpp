#include "engine/sql/sql_abort.h"

#include <atomic>

namespace engine::sql {

namespace {
std::atomic<ADS_SQL_ABORT_FUNC> gAbort{nullptr};
}  // namespace

void SetAbortFunction(ADS_SQL_ABORT_FUNC fn) { gAbort.store(fn); }

bool AbortRequested() {
  ADS_SQL_ABORT_FUNC fn = gAbort.load();
  return fn && fn() != 0;
}

}  // namespace engine::sql
