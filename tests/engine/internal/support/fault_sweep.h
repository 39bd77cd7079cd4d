// Running one engine operation under every fault a disk can show, and checking what a user
// would find afterwards.
//
// A Scenario prepares a fixture in a folder (through the engine's internals, with the host's
// storage) and runs one operation on it (through the engine's internals, with whatever storage
// is in place), throwing EngineError when the engine reports a failure and closing everything it
// opened either way. Sweep runs the operation once to learn how many storage operations and
// sync points it takes, and then, each time in a fresh copy of the fixture:
//   - with the nth storage operation failing once, for every n;
//   - with the machine stopped after the kth sync point and the power cut, for every k;
//   - with every change failing from the nth one on and the process then gone, as a SIGKILL
//     leaves it (what the host accepted stays), for every n.
// After each run it reads the folder through the folder checker (checker/folder_check.h), loaded
// with its own libace32 (a copy of the engine independent of the one that ran the operation,
// see internal/support/checker_library.h), and checks that every table opens, holds either what it held
// before the operation or what the operation makes of it (exactly the latter when the
// operation reported success, exactly the former when a single fault made it report failure and
// the scenario says a failure takes back everything), that every index tag is either refused as
// needing a rebuild or agrees with its table (the check of `aceadmin verify-index`), that after
// an exclusive open (which rebuilds an interrupted index) every tag agrees, and that the
// dictionary opens.
//
// Not thread-safe: one sweep at a time per process.
#pragma once

#include <functional>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace acetest {

struct Scenario {
  std::string name;
  std::function<void(const std::string& folder)> prepare;
  std::function<void(const std::string& folder)> run;
  std::vector<std::string> tables;  // table names (native without ".adt", DBF with ".dbf") whose state is compared
  std::string dictionary;           // a dictionary file name in the folder, when there is one
  // A failure the operation reports leaves exactly the state before it (else: before or after,
  // e.g. an operation whose last step, a folder sync, can fail after the new state is in place).
  bool failureLeavesBefore = true;
  // The password the tables are read with (encrypted tables).
  std::string password;
  // A table the operation appends to through a table handle in a shared open: a process killed
  // between the append and the write of the record may leave that record at the end, deleted
  // and blank (which other opens never show as a row).
  std::string killMayLeaveDeletedBlankIn;
};

// Test names show the scenario's name.
inline void PrintTo(const Scenario& scenario, std::ostream* out) { *out << scenario.name; }

struct SweepCounts {
  int faults = 0;       // runs with one failing storage operation
  int powerCuts = 0;    // runs stopped after a sync point and cut
  int kills = 0;        // runs whose process died at a storage operation
  int failedBefore = 0; // runs that reported failure and left the state before
  int failedAfter = 0;  // runs that reported failure and left the state after
  int succeeded = 0;    // runs that reported success
  int indexRefused = 0; // runs after which a shared open found the index needing a rebuild
  std::set<std::string> errors;  // the texts of the failures the operation reported
};

// Runs the sweep; every check failure is a test failure naming the run.
SweepCounts Sweep(const Scenario& scenario, int errnoValue = 5);

}  // namespace acetest
