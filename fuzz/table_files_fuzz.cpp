// Opens a native table made of fuzzed files and reads everything it offers.
//
// Input: the table file, "\n--\n", its memo file, "\n--\n", its index file (see SplitParts).
// The table is opened shared and read-only and walked in every order; then opened exclusively,
// its indexes rebuilt from its records, and walked again.
#include <string>

#include "engine_fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string parts[3];
  fuzz::SplitParts(data, size, parts, 3);
  const std::string folder = fuzz::FreshFolder("table");
  fuzz::WriteFile(folder + "/t.adt", parts[0]);
  if (!parts[1].empty()) fuzz::WriteFile(folder + "/t.adm", parts[1]);
  if (!parts[2].empty()) fuzz::WriteFile(folder + "/t.adi", parts[2]);

  ADSHANDLE conn = 0;
  fuzz::MustSucceed(AdsConnect60(fuzz::U(folder), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &conn), "connect");
  ADSHANDLE table = 0;
  if (AdsOpenTable90(conn, fuzz::U("t.adt"), nullptr, ADS_ADT, 1, 0, 0, ADS_READONLY, nullptr, &table) == 0) {
    fuzz::Walk(table, 200);
    AdsCloseTable(table);
  }
  if (AdsOpenTable90(conn, fuzz::U("t.adt"), nullptr, ADS_ADT, 1, 0, 0, ADS_EXCLUSIVE, nullptr, &table) == 0) {
    if (AdsReindex61(table, 0) == 0) fuzz::Walk(table, 200);
    AdsCloseTable(table);
  }
  AdsDisconnect(conn);
  return 0;
}
