// Tells cheaply whether the names of a folder can have changed since they were last looked at.
//
// Creating, removing or renaming a name in a folder stamps the folder's modification and
// change times. FolderWatch remembers the folder's identity and both times as they were just
// before a caller looked at its names (listed them, checked what a name leads to), and later
// answers Unchanged only when the folder shows the very same ones. Equal times prove nothing
// about a change made in the same tick of the file system's clock as the change they stamp
// (a file system may keep whole seconds, two seconds on FAT): so, as git does for its index
// ("racily clean" entries), Unchanged also requires that the looking began clearly after the
// folder's last change, by more than the coarsest granularity in use (kGranularityNs). A change
// made after that moment gets a later stamp.
//
// Everything doubtful answers "changed": a storage that cannot tell the times, a folder that
// cannot be read, another folder under the same path, a watch never begun. A caller then looks
// at the names again and begins the watch anew.
//
// Not thread-safe; one watch belongs to one user.
#pragma once

#include <cstdint>
#include <string>

namespace engine::storage {

class FolderWatch {
 public:
  // The coarsest timestamp granularity assumed of a file system (FAT keeps two seconds).
  static constexpr int64_t kGranularityNs = 2'000'000'000;

  // Call just before looking at the names of `folder`: remembers this moment and the folder
  // as it is now.
  void Begin(const std::string& folder);
  // Whether no name of `folder` can have been created, removed or renamed since Begin (with
  // the same folder): the same folder, its times unchanged, and Begin clearly after its last
  // change. One stat of the folder.
  bool Unchanged(const std::string& folder) const;
  // Makes Unchanged answer false until the next Begin.
  void Forget() { known_ = false; }

 private:
  bool known_ = false;
  std::string folder_;
  uint64_t device_ = 0;
  uint64_t id_ = 0;
  int64_t modifiedNs_ = 0;
  int64_t changedNs_ = 0;
  int64_t beganNs_ = 0;  // the host's clock when Begin was called
};

}  // namespace engine::storage
