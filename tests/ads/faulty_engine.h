// Runs the components on the fault-injecting stand-in engine (libace_faulty, beside the tests),
// which forwards every call to libace32 and fails the entry points a test names. Create it
// before any engine handle the test uses: the binding loads the stand-in anew.
#pragma once

#include <cstdlib>
#include <map>
#include <string>

#include "ads/ace_binding_support.h"
#include "test_env.h"

namespace adsdata_test {

class FaultyEngine {
 public:
  FaultyEngine() {
    setenv("ACE_FAULTY_REAL", (testenv::BinDir() / "libace32.so").c_str(), 1);
    unsetenv("ACE_FAULTS");
    ace_binding::ResetForTesting((testenv::BinDir() / "libace_faulty.so").string());
  }
  ~FaultyEngine() {
    unsetenv("ACE_FAULTS");
    ace_binding::ResetForTesting();
  }
  FaultyEngine(const FaultyEngine&) = delete;
  FaultyEngine& operator=(const FaultyEngine&) = delete;

  // Every later call of entryPoint fails with code (its text names the entry point).
  void Fail(const std::string& entryPoint, unsigned code) {
    faults_[entryPoint] = code;
    apply();
  }
  // entryPoint works again.
  void Heal(const std::string& entryPoint) {
    faults_.erase(entryPoint);
    apply();
  }

 private:
  void apply() {
    std::string list;
    for (const auto& [name, code] : faults_) list += (list.empty() ? "" : ",") + name + "=" + std::to_string(code);
    setenv("ACE_FAULTS", list.c_str(), 1);
  }

  std::map<std::string, unsigned> faults_;
};

}  // namespace adsdata_test
