// The process-wide registries of live connection components and live datasets.
#include <algorithm>

#include "ads/adscnnct.h"

ConnectionRegistry& ConnectionRegistry::Instance() {
  // Never destroyed: components may outlive static destruction order at process exit.
  static ConnectionRegistry* registry = new ConnectionRegistry;
  return *registry;
}

void ConnectionRegistry::ForEach(const std::function<bool(TAdsConnection*)>& fn) {
  std::lock_guard<std::mutex> guard(lock_);
  for (TAdsConnection* c : items_) {
    if (!fn(c)) break;
  }
}

void ConnectionRegistry::Add(TAdsConnection* c) {
  std::lock_guard<std::mutex> guard(lock_);
  items_.push_back(c);
}

void ConnectionRegistry::Remove(TAdsConnection* c) {
  std::lock_guard<std::mutex> guard(lock_);
  items_.erase(std::remove(items_.begin(), items_.end(), c), items_.end());
}

DataSetRegistry& DataSetRegistry::Instance() {
  static DataSetRegistry* registry = new DataSetRegistry;
  return *registry;
}

void DataSetRegistry::ForEach(const std::function<void(AdsDataSetClient*)>& fn) {
  std::lock_guard<std::mutex> guard(lock_);
  for (AdsDataSetClient* d : items_) fn(d);
}

void DataSetRegistry::Add(AdsDataSetClient* d) {
  std::lock_guard<std::mutex> guard(lock_);
  items_.push_back(d);
}

void DataSetRegistry::Remove(AdsDataSetClient* d) {
  std::lock_guard<std::mutex> guard(lock_);
  items_.erase(std::remove(items_.begin(), items_.end(), d), items_.end());
}
