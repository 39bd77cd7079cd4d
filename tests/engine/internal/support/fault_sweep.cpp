#include "support/fault_sweep.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <sstream>

#include "engine/core/error.h"
#include "support/checker_library.h"
#include "support/fault_storage.h"
#include "test_env.h"

namespace acetest {

namespace {

namespace fs = std::filesystem;

using State = std::map<std::string, std::vector<std::string>>;

State Snapshot(const FolderChecker& checker, const Scenario& sc, const std::string& folder) {
  State s;
  for (const std::string& t : sc.tables) s[t] = checker.readRows(folder, t, sc.password);
  if (!sc.dictionary.empty()) {
    s["dictionary " + sc.dictionary] = checker.readDictionary(folder + "/" + sc.dictionary);
  }
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
  const FolderChecker* loaded = LoadFolderChecker();
  if (loaded == nullptr) return counts;
  const FolderChecker& checker = *loaded;
  testenv::TempDir root;
  const std::string tmpl = root.str() + "/template";
  fs::create_directories(tmpl);
  sc.prepare(tmpl);
  const State before = Snapshot(checker, sc, tmpl);
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
    after = Snapshot(checker, sc, dir);
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
    State now = Snapshot(checker, sc, dir);
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
      std::vector<std::string> shared = checker.indexProblems(dir, t, false, &unavailable, sc.password);
      if (unavailable) {
        ++counts.indexRefused;
      } else {
        EXPECT_TRUE(shared.empty()) << t << ": an index disagrees with its table: " << shared.front();
      }
      std::vector<std::string> alone = checker.indexProblems(dir, t, true, &unavailable, sc.password);
      EXPECT_FALSE(unavailable) << t << ": an exclusive open does not repair the index";
      EXPECT_TRUE(alone.empty()) << t << ": after an exclusive open an index disagrees: "
                                 << (alone.empty() ? "" : alone.front());
    }
    // Repairing an index never changes the data.
    EXPECT_EQ(Snapshot(checker, sc, dir), now) << "opening the tables changed them";
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
