// TDynamicConnList: the process-wide list of implicit connections.
#include "ads/adsdata.h"
#include "ads/ace.h"
#include "runtime/text.h"

TDynamicConnList& TDynamicConnList::Instance() {
  static TDynamicConnList list;
  return list;
}

TDynamicConnList::~TDynamicConnList() {
  // Every entry is released even when the engine refuses to disconnect one of them (or is
  // gone already at process exit): a failure here has no caller left to report to.
  for (auto& entry : FItems) {
    try {
      AdsDisconnect(entry->FhAceConn);
    } catch (const Exception&) {
      // The engine library could not be reached; the process is ending anyway.
    }
  }
  FItems.clear();
}

uint32_t TDynamicConnList::Add(const QString& strDatabasename) {
  std::lock_guard<std::mutex> guard(FSync);
  QByteArray path = ToAnsi(strDatabasename);
  ADSHANDLE handle = 0;
  CheckAceResult(nullptr, AdsConnect(reinterpret_cast<UNSIGNED8*>(path.data()), &handle));
  try {
    FItems.push_back(std::make_unique<TDynamicConn>(handle, strDatabasename));
  } catch (const std::exception&) {
    AdsDisconnect(handle);  // result ignored: the connection could not be recorded
    return 0;
  }
  return handle;
}

uint32_t TDynamicConnList::FindSameDatabasename(const QString& strDatabasename) {
  std::lock_guard<std::mutex> guard(FSync);
  for (const auto& entry : FItems)
    if (SameTextAZ(entry->FstrDatabasename, strDatabasename)) return entry->FhAceConn;
  return 0;
}

int TDynamicConnList::Count() {
  std::lock_guard<std::mutex> guard(FSync);
  return static_cast<int>(FItems.size());
}
