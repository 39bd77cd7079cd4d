#include "engine/storage/folder_watch.h"

#include <time.h>

#include "engine/storage/storage.h"

namespace engine::storage {

namespace {

int64_t NowNs() {
  timespec t{};
  if (::clock_gettime(CLOCK_REALTIME, &t) != 0) return 0;
  return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

}  // namespace

void FolderWatch::Begin(const std::string& folder) {
  known_ = false;
  // The moment is taken before the stat: a change between the two then shows as a later stamp
  // than the remembered one, never as the same.
  const int64_t began = NowNs();
  FileInfo info;
  if (Current().Stat(folder, &info) != 0 || !info.exists || !info.isFolder) return;
  if (info.modifiedNs == 0 || info.changedNs == 0 || began == 0) return;
  folder_ = folder;
  device_ = info.device;
  id_ = info.id;
  modifiedNs_ = info.modifiedNs;
  changedNs_ = info.changedNs;
  beganNs_ = began;
  known_ = true;
}

bool FolderWatch::Unchanged(const std::string& folder) const {
  if (!known_ || folder != folder_) return false;
  // A change in the same tick as the last one before Begin would keep the times as they are.
  if (beganNs_ - modifiedNs_ <= kGranularityNs) return false;
  FileInfo info;
  if (Current().Stat(folder, &info) != 0 || !info.exists || !info.isFolder) return false;
  return info.device == device_ && info.id == id_ && info.modifiedNs == modifiedNs_ && info.changedNs == changedNs_;
}

}  // namespace engine::storage
