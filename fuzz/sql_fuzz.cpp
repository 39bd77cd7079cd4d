// Runs fuzzed SQL through the engine on a free-table connection over a small table, and reads
// every result.
//
// Input: up to four statements separated by "\n--\n", run one after another on one statement
// handle (a failing one does not stop the next).
#include <string>

#include "engine_fuzz_support.h"
#include "fuzz_table_template.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const fuzz::TableTemplate kTemplate;
  std::string statements[4];
  fuzz::SplitParts(data, size, statements, 4);
  const std::string folder = kTemplate.LayDown("sql");
  ADSHANDLE conn = 0;
  fuzz::MustSucceed(AdsConnect60(fuzz::U(folder), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &conn), "connect");
  ADSHANDLE stmt = 0;
  fuzz::MustSucceed(AdsCreateSQLStatement(conn, &stmt), "statement");
  for (const std::string& sql : statements) {
    if (sql.empty()) continue;
    ADSHANDLE cursor = 0;
    if (AdsExecuteSQLDirect(stmt, fuzz::U(sql), &cursor) == 0 && cursor) {
      fuzz::Walk(cursor, 100);
      AdsCloseTable(cursor);
    }
  }
  AdsCloseSQLStatement(stmt);
  AdsDisconnect(conn);
  return 0;
}
