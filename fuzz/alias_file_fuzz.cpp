// Looks aliases up in a fuzzed alias file ("ads.ini", section "Databases"), found through the
// folder that adsini_path names, as the components do when they resolve a connection path.
#include <unistd.h>

#include <QString>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "ads/alias_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string folder = [] {
    std::string f = "/tmp/quenlor-fuzz-alias-" + std::to_string(::getpid());
    std::filesystem::create_directories(f);
    ::setenv("adsini_path", f.c_str(), 1);
    return f;
  }();
  const std::string file = folder + "/ads.ini";
  if (FILE* f = std::fopen(file.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  // The first key of the file, whatever its section, besides names a program would use.
  std::string text(reinterpret_cast<const char*>(data), size);
  size_t eq = text.find('=');
  size_t start = eq == std::string::npos ? 0 : text.find_last_of("\r\n", eq);
  std::string first = eq == std::string::npos ? "" : text.substr(start == std::string::npos ? 0 : start + 1,
                                                                 eq - (start == std::string::npos ? 0 : start + 1));
  for (const QString& alias : {QStringLiteral("Pellmar"), QStringLiteral("data"), QString(),
                               QString::fromLatin1(first.data(), static_cast<qsizetype>(first.size()))}) {
    AdsAliasEntry entry = LookupAdsAlias(alias);
    (void)entry.found();
  }
  return 0;
}
