// Reads values from a fuzzed INI file the way the settings file, the branding file and the alias
// file are read: by section and key, with the platform's buffer capacities.
#include <unistd.h>

#include <QString>
#include <cstdio>
#include <string>

#include "runtime/inifile.h"

namespace {

// The first "[section]" and the first "key=" of the text, so that lookups reach its entries.
void FirstNames(const std::string& text, std::string& section, std::string& key) {
  size_t open = text.find('[');
  size_t close = open == std::string::npos ? open : text.find(']', open);
  if (close != std::string::npos) section = text.substr(open + 1, close - open - 1);
  size_t from = close == std::string::npos ? 0 : close + 1;
  size_t eq = text.find('=', from);
  if (eq == std::string::npos) return;
  size_t start = text.find_last_of("\r\n", eq);
  start = start == std::string::npos ? from : start + 1;
  key = text.substr(start, eq - start);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string file = "/tmp/quenlor-fuzz-ini-" + std::to_string(::getpid()) + ".ini";
  std::string text(reinterpret_cast<const char*>(data), size);
  if (FILE* f = std::fopen(file.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  std::string section = "Config", key = "DataFolder";
  FirstNames(text, section, key);
  const QString name = QString::fromStdString(file);
  const QString sections[] = {QStringLiteral("Config"), QStringLiteral("OEM"), QStringLiteral("Databases"),
                              QString::fromLatin1(section.data(), static_cast<qsizetype>(section.size()))};
  const QString keys[] = {QStringLiteral("DataFolder"), QStringLiteral("StandAlone"),
                          QString::fromLatin1(key.data(), static_cast<qsizetype>(key.size()))};
  for (const QString& s : sections)
    for (const QString& k : keys)
      for (int capacity : {1, 2, 260, 2048}) ReadPrivateProfileValue(s, k, name, capacity);
  TIniFile ini(name);
  ini.ReadString(sections[3], keys[2], QStringLiteral("default"));
  ini.ValueExists(sections[3], keys[2]);
  std::remove(file.c_str());
  return 0;
}
