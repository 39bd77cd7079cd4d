// Builds an index tag from a fuzzed key and condition over a small table, then uses fuzzed
// filter text on it, through the engine's C interface.
//
// Input: key, "\n--\n", condition, "\n--\n", filter. A tag that is created must hold exactly the
// records its condition accepts (each record's verdict asked of the engine on its own): a tag
// that silently holds others is the worst fault an engine can have, so it stops the run.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine_fuzz_support.h"
#include "fuzz_table_template.h"

namespace {

// Records (deleted ones too) whose condition the engine says holds, each visited by its number
// whatever order is current, or -1 when the engine cannot say.
long RecordsMeeting(ADSHANDLE table, const std::string& condition) {
  UNSIGNED32 records = 0;
  if (AdsGetRecordCount(table, ADS_IGNOREFILTERS, &records) != 0) return -1;
  long count = 0;
  for (UNSIGNED32 r = 1; r <= records && r <= 100; ++r) {
    UNSIGNED16 holds = 0;
    if (AdsGotoRecord(table, r) != 0 || AdsEvalLogicalExpr(table, fuzz::U(condition), &holds) != 0) return -1;
    count += holds ? 1 : 0;
  }
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const fuzz::TableTemplate kTemplate;
  std::string parts[3];
  fuzz::SplitParts(data, size, parts, 3);
  const std::string& key = parts[0];
  const std::string& condition = parts[1];
  const std::string& filter = parts[2];
  const std::string folder = kTemplate.LayDown("index");
  ADSHANDLE conn = 0;
  fuzz::MustSucceed(AdsConnect60(fuzz::U(folder), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &conn), "connect");
  ADSHANDLE table = 0;
  fuzz::MustSucceed(AdsOpenTable90(conn, fuzz::U("t.adt"), nullptr, ADS_ADT, 1, 0, 0, ADS_EXCLUSIVE, nullptr, &table),
                    "open");
  UNSIGNED16 valid = 0;
  AdsIsExprValid(table, fuzz::U(key), &valid);
  ADSHANDLE order = 0;
  if (AdsCreateIndex90(table, nullptr, fuzz::U("FZ"), fuzz::U(key), condition.empty() ? nullptr : fuzz::U(condition),
                       nullptr, 0, 512, nullptr, &order) == 0) {
    fuzz::Walk(table, 100);
    if (!condition.empty()) {
      UNSIGNED32 keys = 0;
      long meeting = RecordsMeeting(table, condition);
      if (AdsGetKeyCount(order, ADS_IGNOREFILTERS, &keys) == 0 && meeting >= 0 && static_cast<long>(keys) != meeting) {
        std::fprintf(stderr, "tag FZ (key %s, condition %s) holds %u keys, but %ld records meet its condition\n",
                     key.c_str(), condition.c_str(), keys, meeting);
        std::abort();
      }
    }
  }
  if (!filter.empty()) {
    UNSIGNED16 holds = 0;
    AdsEvalLogicalExpr(table, fuzz::U(filter), &holds);
    if (AdsSetFilter100(table, fuzz::U(filter), 0) == 0) {
      fuzz::Walk(table, 100);
      AdsClearFilter(table);
    }
    if (AdsSetAOF100(table, fuzz::U(filter), 0) == 0) {
      fuzz::Walk(table, 100);
      AdsClearAOF(table);
    }
  }
  AdsCloseTable(table);
  AdsDisconnect(conn);
  return 0;
}
