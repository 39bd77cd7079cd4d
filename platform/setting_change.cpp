// Setting-change broadcast delivered to in-process observers.
#include "platform/setting_change.h"

#include <map>
#include <mutex>
#include <vector>

namespace platform {
namespace {

struct ObserverRegistry {
  std::mutex mu;
  uint64_t next_id = 1;
  std::map<uint64_t, SettingChangeObserver> observers;
};

ObserverRegistry& Registry() {
  static ObserverRegistry* registry = new ObserverRegistry;  // never destroyed: used at exit
  return *registry;
}

}  // namespace

uint64_t AddSettingChangeObserver(SettingChangeObserver observer) {
  ObserverRegistry& r = Registry();
  std::lock_guard<std::mutex> lock(r.mu);
  uint64_t id = r.next_id++;
  r.observers.emplace(id, std::move(observer));
  return id;
}

void RemoveSettingChangeObserver(uint64_t id) {
  ObserverRegistry& r = Registry();
  std::lock_guard<std::mutex> lock(r.mu);
  r.observers.erase(id);
}

void BroadcastSettingChange(const std::string& area) {
  // Copy the observers so that they run without the lock and may change the registry.
  std::vector<SettingChangeObserver> targets;
  {
    ObserverRegistry& r = Registry();
    std::lock_guard<std::mutex> lock(r.mu);
    for (const auto& [id, observer] : r.observers) targets.push_back(observer);
  }
  for (const auto& observer : targets) observer(area);
}

ScopedSettingChangeRecorder::ScopedSettingChangeRecorder()
    : id_(AddSettingChangeObserver([this](const std::string& area) {
        ++count_;
        last_area_ = area;
      })) {}

ScopedSettingChangeRecorder::~ScopedSettingChangeRecorder() {
  RemoveSettingChangeObserver(id_);
}

}  // namespace platform
