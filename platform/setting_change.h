// The setting-change broadcast. On the original platform a process tells every top-level window
// that a setting area ("Environment") changed; on this host the message is delivered, in the
// broadcasting thread, to the observers registered in this process.
//
// Thread safety: safe from any thread. Observers run without the registry lock held, so they
// may register or remove observers themselves.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace platform {

using SettingChangeObserver = std::function<void(const std::string& area)>;

// Registers an observer; returns an id for RemoveSettingChangeObserver (never 0).
uint64_t AddSettingChangeObserver(SettingChangeObserver observer);
void RemoveSettingChangeObserver(uint64_t id);

// Delivers `area` to every registered observer.
void BroadcastSettingChange(const std::string& area);

// Counts the broadcasts delivered while it lives and remembers the last area.
// REQUIRES: used by one thread, or broadcasts from one thread only.
class ScopedSettingChangeRecorder {
 public:
  ScopedSettingChangeRecorder();
  ~ScopedSettingChangeRecorder();
  ScopedSettingChangeRecorder(const ScopedSettingChangeRecorder&) = delete;
  ScopedSettingChangeRecorder& operator=(const ScopedSettingChangeRecorder&) = delete;

  int count() const { return count_; }
  const std::string& last_area() const { return last_area_; }

 private:
  uint64_t id_;
  int count_ = 0;
  std::string last_area_;
};

}  // namespace platform
