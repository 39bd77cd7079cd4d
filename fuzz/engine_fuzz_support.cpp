#include "engine_fuzz_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace fuzz {

namespace fs = std::filesystem;

const std::string& Scratch() {
  static const std::string folder = [] {
    std::string base = "/dev/shm";
    if (!fs::is_directory(base)) {
      const char* t = std::getenv("TMPDIR");
      base = t && *t ? t : "/tmp";
    }
    std::string f = base + "/quenlor-fuzz-" + std::to_string(::getpid());
    fs::remove_all(f);
    fs::create_directories(f);
    static const std::string remove = f;
    std::atexit([] {
      std::error_code ec;
      fs::remove_all(remove, ec);
    });
    return f;
  }();
  return folder;
}

std::string FreshFolder(const std::string& name) {
  std::string f = Scratch() + "/" + name;
  std::error_code ec;
  fs::remove_all(f, ec);
  fs::create_directories(f);
  return f;
}

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

void WriteFile(const std::string& path, const std::string& text) {
  WriteFile(path, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

namespace {

void ReadRecords(ADSHANDLE h, UNSIGNED16 fields, int maxRecords) {
  std::vector<UNSIGNED8> buf(70000);
  if (AdsGotoTop(h) != 0) return;
  for (int n = 0; n < maxRecords; ++n) {
    UNSIGNED16 eof = 1;
    if (AdsAtEOF(h, &eof) != 0 || eof) return;
    for (UNSIGNED16 f = 1; f <= fields; ++f) {
      UNSIGNED32 len = static_cast<UNSIGNED32>(buf.size());
      AdsGetField(h, ADSFIELD(f), buf.data(), &len, 0);
      UNSIGNED32 memo = 0;
      AdsGetMemoLength(h, ADSFIELD(f), &memo);
    }
    UNSIGNED32 recno = 0;
    AdsGetRecordNum(h, 0, &recno);
    if (AdsSkip(h, 1) != 0) return;
  }
}

}  // namespace

void Walk(ADSHANDLE h, int maxRecords) {
  UNSIGNED16 fields = 0;
  if (AdsGetNumFields(h, &fields) != 0) return;
  for (UNSIGNED16 f = 1; f <= fields; ++f) {
    UNSIGNED8 name[300];
    UNSIGNED16 len = sizeof name;
    AdsGetFieldName(h, f, name, &len);
  }
  UNSIGNED32 count = 0;
  AdsGetRecordCount(h, ADS_IGNOREFILTERS, &count);
  ReadRecords(h, fields, maxRecords);
  UNSIGNED16 orders = 0;
  if (AdsGetNumIndexes(h, &orders) != 0) return;
  for (UNSIGNED16 i = 1; i <= orders && i <= 50; ++i) {
    ADSHANDLE order = 0;
    if (AdsGetIndexHandleByOrder(h, i, &order) != 0) continue;
    UNSIGNED32 keys = 0;
    AdsGetKeyCount(order, ADS_IGNOREFILTERS, &keys);
    ReadRecords(order, fields, maxRecords);
    if (AdsGotoBottom(order) == 0) AdsSkip(order, -3);
  }
}

void SplitParts(const uint8_t* data, size_t size, std::string* parts, size_t count) {
  static const std::string kSeparator = "\n--\n";
  std::string all(reinterpret_cast<const char*>(data), size);
  size_t at = 0;
  for (size_t i = 0; i < count; ++i) {
    if (at > all.size()) {
      parts[i].clear();
      continue;
    }
    size_t end = i + 1 == count ? std::string::npos : all.find(kSeparator, at);
    if (end == std::string::npos) {
      parts[i] = all.substr(at);
      at = all.size() + 1;
    } else {
      parts[i] = all.substr(at, end - at);
      at = end + kSeparator.size();
    }
  }
}

void MustSucceed(UNSIGNED32 code, const char* what) {
  if (code == 0) return;
  UNSIGNED32 last = 0;
  UNSIGNED8 text[1024];
  UNSIGNED16 len = sizeof text;
  AdsGetLastError(&last, text, &len);
  std::fprintf(stderr, "fuzz set-up failed: %s: %u %s\n", what, code, reinterpret_cast<char*>(text));
  std::abort();
}

}  // namespace fuzz
