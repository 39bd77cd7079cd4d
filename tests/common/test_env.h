// Helpers every test executable shares: where the built programs and the sources are, and a
// fresh temporary folder per test. Tests run with QT_QPA_PLATFORM=offscreen (set by CTest and,
// as a fallback, by test_env.cpp before main runs).
#pragma once

#include <filesystem>
#include <string>

namespace testenv {

// build/bin: programs and libace32.
std::filesystem::path BinDir();

// The repository's top folder.
std::filesystem::path SourceDir();

// A new empty folder under the system's temporary folder, removed when the object dies.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

}  // namespace testenv
