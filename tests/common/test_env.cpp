#include "test_env.h"

#include <stdlib.h>
#include <unistd.h>

#include <stdexcept>

namespace {
// Widget tests must never need a display; CTest sets this too, a direct run of a test
// executable gets it here.
const int kOffscreen = [] { return setenv("QT_QPA_PLATFORM", "offscreen", 0); }();
}  // namespace

namespace testenv {

std::filesystem::path BinDir() { return QUENLOR_BIN_DIR; }

std::filesystem::path SourceDir() { return QUENLOR_SOURCE_DIR; }

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quenlor-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace testenv
