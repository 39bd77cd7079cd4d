// Connects to a fuzzed data dictionary and reads what the reindex tool and the components ask
// of one: its tables through SQL, their properties, and each listed table opened and walked.
//
// Input: the dictionary file, "\n--\n", a table file "t.adt" beside it (may be empty).
#include <string>
#include <vector>

#include "engine_fuzz_support.h"

namespace {

// The names the cursor of "select name from system.tables" lists (at most a few).
std::vector<std::string> TableNames(ADSHANDLE conn) {
  std::vector<std::string> names;
  ADSHANDLE stmt = 0;
  if (AdsCreateSQLStatement(conn, &stmt) != 0) return names;
  ADSHANDLE cursor = 0;
  if (AdsExecuteSQLDirect(stmt, fuzz::U("select name from system.tables"), &cursor) == 0 && cursor) {
    fuzz::Walk(cursor, 50);
    if (AdsGotoTop(cursor) == 0) {
      for (int i = 0; i < 8; ++i) {
        UNSIGNED16 eof = 1;
        if (AdsAtEOF(cursor, &eof) != 0 || eof) break;
        UNSIGNED8 name[300];
        UNSIGNED32 len = sizeof name;
        if (AdsGetField(cursor, ADSFIELD(1), name, &len, 0) == 0) names.emplace_back(reinterpret_cast<char*>(name), len);
        if (AdsSkip(cursor, 1) != 0) break;
      }
    }
    AdsCloseTable(cursor);
  }
  AdsCloseSQLStatement(stmt);
  return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string parts[2];
  fuzz::SplitParts(data, size, parts, 2);
  const std::string folder = fuzz::FreshFolder("dict");
  fuzz::WriteFile(folder + "/d.add", parts[0]);
  if (!parts[1].empty()) fuzz::WriteFile(folder + "/t.adt", parts[1]);

  ADSHANDLE conn = 0;
  if (AdsConnect101(fuzz::U("Data Source=" + folder + "/d.add;User ID=adssys;"), nullptr, &conn) != 0) return 0;
  for (const std::string& name : TableNames(conn)) {
    for (UNSIGNED16 property : {ADS_DD_TABLE_PATH, ADS_DD_TABLE_TYPE, ADS_DD_TABLE_PRIMARY_KEY,
                                ADS_DD_TABLE_DEFAULT_INDEX, ADS_DD_TABLE_CHAR_TYPE}) {
      UNSIGNED8 value[600];
      UNSIGNED16 len = sizeof value;
      AdsDDGetTableProperty(conn, fuzz::U(name), property, value, &len);
    }
    ADSHANDLE table = 0;
    if (AdsOpenTable90(conn, fuzz::U(name), nullptr, ADS_TYPE_FROM_DICTIONARY, 1, 0, 0, ADS_EXCLUSIVE, nullptr,
                       &table) == 0) {
      fuzz::Walk(table, 50);
      AdsCloseTable(table);
    }
  }
  AdsDisconnect(conn);
  return 0;
}
