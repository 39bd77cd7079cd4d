#include "support/fault_sweep.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <sstream>

#include "ace/ace.h"
#include "engine/core/error.h"
#include "support/api_fixture.h"
#include "support/fault_storage.h"
#include "test_env.h"
#include "tools/aceadmin/index_check.h"

namespace acetest {

namespace {

namespace fs = std::filesystem;

// A connection of libace32 to a folder or dictionary, closed when it goes.
struct Connection {
  ADSHANDLE handle = 0;
  UNSIGNED32 rc = 0;
  explicit Connection(const std::string& connectString) { rc = Connect101(connectString, &handle); }
  ~Connection() {
    if (handle) AdsDisconnect(handle);
  }
};

struct DeletedShown {
  DeletedShown() { AdsShowDeleted(1); }
  ~DeletedShown() { AdsShowDeleted(0); }
};

std::string FieldText(ADSHANDLE t, const std::string& name) {
  std::string buf(256, '\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    UNSIGNED32 len = static_cast<UNSIGNED32>(buf.size());
    UNSIGNED32 rc = AdsGetField(t, U8(name), reinterpret_cast<UNSIGNED8*>(buf.data()), &len, 2);
    if (rc == AE_INSUFFICIENT_BUFFER && attempt == 0) {
      buf.resize(static_cast<size_t>(len) + 1);
      continue;
    }
    if (rc != 0) return "<error " + std::to_string(rc) + ">";
    return buf.substr(0, len);
  }
  return "<error>";
}

// A table named with ".dbf" is opened as whatever DBF type its file is; others as native.
UNSIGNED16 TypeOf(const std::string& table) {
  const bool dbf = table.size() > 4 && (table.compare(table.size() - 4, 4, ".dbf") == 0);
  return dbf ? 0 : ADS_ADT;
}

}  // namespace

std::vector<std::string> ReadRows(const std::string& folder, const std::string& table, const std::string& password) {
  Connection c("Data Source=" + Win(folder) + ";");
  if (c.rc != 0) return {"the folder does not open: " + std::to_string(c.rc)};
  ADSHANDLE t = 0;
  UNSIGNED32 rc = AdsOpenTable90(c.handle, U8(table), nullptr, TypeOf(table), 0, 0, 2, ADS_READONLY, nullptr, &t);
  if (rc == engine::err::kTableNotFound) return {"(no table)"};
  if (rc != 0) return {"the table does not open: " + std::to_string(rc) + " " + Last().text};
  DeletedShown shown;
  std::vector<std::string> rows;
  UNSIGNED16 encrypted = 0;
  AdsIsTableEncrypted(t, &encrypted);
  if (encrypted) rows.push_back("encrypted");
  if (!password.empty()) AdsEnableEncryption(t, U8(password));
  std::vector<std::string> names;
  UNSIGNED16 count = 0;
  AdsGetNumFields(t, &count);
  for (UNSIGNED16 i = 1; i <= count; ++i) {
    UNSIGNED8 buf[256];
    UNSIGNED16 len = sizeof buf;
    AdsGetFieldName(t, i, buf, &len);
    names.emplace_back(reinterpret_cast<char*>(buf), len);
  }
  UNSIGNED32 records = 0;
  rc = AdsGetRecordCount(t, ADS_IGNOREFILTERS, &records);
  if (rc != 0) rows.push_back("cannot count: " + std::to_string(rc));
  for (UNSIGNED32 n = 1; n <= records; ++n) {
    rc = AdsGotoRecord(t, n);
    if (rc != 0) {
      rows.push_back("record " + std::to_string(n) + " cannot be read: " + std::to_string(rc));
      continue;
    }
    UNSIGNED16 deleted = 0;
    AdsIsRecordDeleted(t, &deleted);
    std::string row = deleted ? "*" : " ";
    for (const std::string& name : names) row += "|" + FieldText(t, name);
    rows.push_back(row);
  }
  AdsCloseTable(t);
  return rows;
}

std::vector<std::string> IndexProblems(const std::string& folder, const std::string& table, bool exclusive,
                                       bool* unavailable, const std::string& password) {
  *unavailable = false;
  Connection c("Data Source=" + Win(folder) + ";");
  if (c.rc != 0) return {"the folder does not open"};
  ADSHANDLE t = 0;
  UNSIGNED32 rc = AdsOpenTable90(c.handle, U8(table), nullptr, TypeOf(table), 0, 0, 2,
                                 exclusive ? ADS_EXCLUSIVE : ADS_READONLY, nullptr, &t);
  if (rc != 0) return {"the table does not open: " + Last().text};
  DeletedShown shown;
  if (!password.empty()) AdsEnableEncryption(t, U8(password));
  std::vector<std::string> problems;
  UNSIGNED32 records = 0;
  AdsGetRecordCount(t, ADS_IGNOREFILTERS, &records);
  UNSIGNED16 tags = 0;
  // What a user does with an index the open could not repair (an encrypted table's needs the
  // key): reindex it.
  if (exclusive && AdsGetNumIndexes(t, &tags) != 0) AdsReindex61(t, 0);
  if (AdsGetNumIndexes(t, &tags) != 0) {
    *unavailable = true;
    problems.push_back("the indexes cannot be read: " + Last().text);
  }
  for (UNSIGNED16 order = 1; order <= tags; ++order) {
    ADSHANDLE index = 0;
    if (AdsGetIndexHandleByOrder(t, order, &index) != 0) {
      problems.push_back("tag " + std::to_string(order) + " cannot be read: " + Last().text);
      continue;
    }
    aceadmin::TagCheck check = aceadmin::CheckTag(t, index, records);
    for (const std::string& p : check.problems) problems.push_back(check.name + ": " + p);
  }
  AdsCloseTable(t);
  return problems;
}

std::vector<std::string> ReadDictionary(const std::string& path) {
  {
    Connection c("Data Source=" + Win(path) + ";User ID=adssys;");
    if (c.rc != 0) return {"the dictionary does not open: " + std::to_string(c.rc) + " " + Last().text};
  }
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return {"the dictionary does not open in SQLite"};
  }
  std::vector<std::string> out;
  std::vector<std::string> tables;
  sqlite3_stmt* s = nullptr;
  sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name", -1, &s, nullptr);
  while (sqlite3_step(s) == SQLITE_ROW) tables.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
  sqlite3_finalize(s);
  for (const std::string& table : tables) {
    sqlite3_prepare_v2(db, ("SELECT * FROM \"" + table + "\" ORDER BY rowid").c_str(), -1, &s, nullptr);
    while (s && sqlite3_step(s) == SQLITE_ROW) {
      std::string row = table;
      for (int i = 0; i < sqlite3_column_count(s); ++i) {
        const std::string column = sqlite3_column_name(s, i);
        const unsigned char* v = sqlite3_column_text(s, i);
        std::string text = v ? reinterpret_cast<const char*>(v) : "NULL";
        // A password's salt is new every time it is set, and its hash with it.
        if (v && table == "dd_users" && (column == "salt" || column == "hash")) text = "(set)";
        row += "|" + text;
      }
      out.push_back(row);
    }
    sqlite3_finalize(s);
  }
  sqlite3_close(db);
  return out;
}

namespace {

using State = std::map<std::string, std::vector<std::string>>;

State Snapshot(const Scenario& sc, const std::string& folder) {
  State s;
  for (const std::string& t : sc.tables) s[t] = ReadRows(folder, t, sc.password);
  if (!sc.dictionary.empty()) s["dictionary " + sc.dictionary] = ReadDictionary(folder + "/" + sc.dictionary);
  return s;
}

std::string Show(const State& s) {
  std::ostringstream out;
  for (const auto& [name, rows] : s) {
    out << "[" << name << "]\n";
    for (const std::string& r : rows) out << "  " << r << "\n";
  }
  return out.str();
}

bool Runs(const Scenario& sc, FaultStorage& storage, const std::string& folder, SweepCounts* counts) {
  engine::storage::ScopedStorage scoped(storage);
  try {
    sc.run(folder);
    return true;
  } catch (const engine::EngineError& e) {
    counts->errors.insert(e.what());
    return false;
  }
}

}  // namespace

SweepCounts Sweep(const Scenario& sc, int errnoValue) {
  SweepCounts counts;
  testenv::TempDir root;
  const std::string tmpl = root.str() + "/template";
  fs::create_directories(tmpl);
  sc.prepare(tmpl);
  const State before = Snapshot(sc, tmpl);
  int runs = 0;
  auto fresh = [&] {
    std::string dir = root.str() + "/run" + std::to_string(++runs);
    fs::copy(tmpl, dir, fs::copy_options::recursive);
    return dir;
  };

  uint64_t total = 0, syncs = 0, changes = 0;
  State after;
  {
    std::string dir = fresh();
    FaultStorage storage;
    storage.Track(dir);
    SweepCounts unused;
    EXPECT_TRUE(Runs(sc, storage, dir, &unused)) << sc.name << ": the operation fails without any fault: "
                                                 << (unused.errors.empty() ? "" : *unused.errors.begin());
    total = storage.Count(kOpsAll);
    syncs = storage.Count(kOpsSyncing);
    changes = storage.Count(kOpsChanging);
    after = Snapshot(sc, dir);
  }

  // `before` with a deleted blank record at the end of the table the scenario names.
  State withDeletedBlank = before;
  if (!sc.killMayLeaveDeletedBlankIn.empty()) {
    std::vector<std::string>& rows = withDeletedBlank[sc.killMayLeaveDeletedBlankIn];
    std::string blank = "*";
    for (char c : after.at(sc.killMayLeaveDeletedBlankIn).back()) {
      if (c == '|') blank += '|';
    }
    rows.push_back(blank);
  }
  auto check = [&](const std::string& dir, bool ok, const std::string& what, bool single, bool killed = false) {
    SCOPED_TRACE(sc.name + ", " + what);
    State now = Snapshot(sc, dir);
    const bool isBefore = now == before || (killed && !sc.killMayLeaveDeletedBlankIn.empty() && now == withDeletedBlank);
    const bool isAfter = now == after;
    EXPECT_TRUE(isBefore || isAfter) << "neither the state before nor after:\n"
                                     << Show(now) << "before:\n" << Show(before) << "after:\n" << Show(after);
    if (ok) {
      ++counts.succeeded;
      EXPECT_TRUE(isAfter) << "reported success, but:\n" << Show(now);
    } else if (isBefore) {
      ++counts.failedBefore;
    } else {
      ++counts.failedAfter;
      if (single && sc.failureLeavesBefore) ADD_FAILURE() << "reported failure, but took effect:\n" << Show(now);
    }
    // A process killed between reserving a record in a shared open and writing it leaves that
    // record deleted and blank, and its keys are not in the tags yet (the other opens must read
    // the tags meanwhile, so they are not marked): a reindex adds them. No row is involved.
    const bool blankWithoutKeys = killed && !sc.killMayLeaveDeletedBlankIn.empty() && now == withDeletedBlank &&
                                  now != before;
    for (const std::string& t : sc.tables) {
      if (now[t].size() == 1 && now[t][0] == "(no table)") continue;
      if (blankWithoutKeys && t == sc.killMayLeaveDeletedBlankIn) continue;
      bool unavailable = false;
      std::vector<std::string> shared = IndexProblems(dir, t, false, &unavailable, sc.password);
      if (unavailable) {
        ++counts.indexRefused;
      } else {
        EXPECT_TRUE(shared.empty()) << t << ": an index disagrees with its table: " << shared.front();
      }
      std::vector<std::string> alone = IndexProblems(dir, t, true, &unavailable, sc.password);
      EXPECT_FALSE(unavailable) << t << ": an exclusive open does not repair the index";
      EXPECT_TRUE(alone.empty()) << t << ": after an exclusive open an index disagrees: "
                                 << (alone.empty() ? "" : alone.front());
    }
    // Repairing an index never changes the data.
    EXPECT_EQ(Snapshot(sc, dir), now) << "opening the tables changed them";
  };

  const char* only = std::getenv("SWEEP_DEBUG_FAULT");
  for (uint64_t n = 1; n <= total; ++n) {
    if (only && std::to_string(n) != only) continue;
    std::string dir = fresh();
    FaultStorage storage;
    storage.Track(dir);
    FaultStorage::Fault f;
    f.kinds = kOpsAll;
    f.nth = n;
    f.error = errnoValue;
    f.torn = true;
    storage.Inject(f);
    bool ok = Runs(sc, storage, dir, &counts);
    ++counts.faults;
    check(dir, ok, "operation " + std::to_string(n) + " of " + std::to_string(total) + " fails", storage.fired());
    if (only) {
      fs::copy(dir, "/tmp/sweep-debug", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
      std::cout << "DEBUG kept " << dir << " ok=" << ok << " errors:";
      for (auto& e : counts.errors) std::cout << " [" << e << "]";
      std::cout << "\n";
    }
    fs::remove_all(dir);
  }
  for (uint64_t k = 0; k <= syncs; ++k) {
    std::string dir = fresh();
    FaultStorage storage;
    storage.Track(dir);
    storage.StopAfterSyncs(k);
    bool ok = Runs(sc, storage, dir, &counts);
    storage.PowerCut();
    ++counts.powerCuts;
    check(dir, ok, "power cut after sync " + std::to_string(k) + " of " + std::to_string(syncs), false);
    fs::remove_all(dir);
  }
  for (uint64_t n = 1; n <= changes; ++n) {
    std::string dir = fresh();
    FaultStorage storage;
    storage.Track(dir);
    FaultStorage::Fault f;
    f.kinds = kOpsChanging;
    f.nth = n;
    f.error = errnoValue;
    f.sticky = true;
    storage.Inject(f);
    bool ok = Runs(sc, storage, dir, &counts);
    storage.Restart();
    ++counts.kills;
    check(dir, ok, "killed at change " + std::to_string(n) + " of " + std::to_string(changes), false, true);
    fs::remove_all(dir);
  }
  std::cout << "[ sweep    ] " << sc.name << ": " << total << " operations, " << syncs << " sync points; "
            << counts.faults << " faults, " << counts.powerCuts << " power cuts, " << counts.kills << " kills; "
            << counts.succeeded << " succeeded, " << counts.failedBefore << " failed leaving it as it was, "
            << counts.failedAfter << " failed after taking effect, " << counts.indexRefused
            << " left an index refused until rebuilt\n";
  return counts;
}

}  // namespace acetest
