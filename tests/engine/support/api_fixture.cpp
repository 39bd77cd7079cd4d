#include "api_fixture.h"

#include <fstream>
#include <sstream>
#include <vector>

#include "platform/paths.h"

namespace acetest {

LastError Last() {
  LastError e;
  std::vector<UNSIGNED8> buf(601);
  UNSIGNED16 len = 600;
  UNSIGNED32 code = AdsGetLastError(&e.code, buf.data(), &len);
  if (code == 5005) {  // a longer text (one naming a huge name): len is the capacity it needs
    buf.assign(len, 0);
    code = AdsGetLastError(&e.code, buf.data(), &len);
  }
  EXPECT_EQ(code, 0u);
  e.text.assign(reinterpret_cast<char*>(buf.data()), code == 0 ? len : 0);
  return e;
}

std::string Win(const std::string& host_path) { return platform::ToWindowsPath(host_path); }

void WriteFile(const std::string& host_path, const std::string& bytes) {
  std::ofstream out(host_path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string ReadFile(const std::string& host_path) {
  std::ifstream in(host_path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

Workspace::Workspace() = default;

ADSHANDLE Workspace::CreateDictionary(const std::string& name, const std::string& description) {
  ADSHANDLE h = 0;
  UNSIGNED32 rc = AdsDDCreate(U8(Win(name)), 0, description.empty() ? nullptr : U8(description), &h);
  EXPECT_EQ(rc, 0u) << Last().text;
  return h;
}

void Workspace::TouchTable(const std::string& file) { WriteFile(Host(file), "table"); }

UNSIGNED32 Connect101(const std::string& connect_string, ADSHANDLE* handle) {
  return AdsConnect101(U8(connect_string), nullptr, handle);
}

std::vector<std::string> ListTables(ADSHANDLE connection, const std::string& pattern, UNSIGNED32* end_code) {
  std::vector<std::string> names;
  UNSIGNED8 buf[261];
  UNSIGNED16 len = 260;
  ADSHANDLE find = 0;
  UNSIGNED32 rc = AdsFindFirstTable(connection, pattern.empty() ? nullptr : U8(pattern), buf, &len, &find);
  while (rc == 0) {
    names.emplace_back(reinterpret_cast<char*>(buf), len);
    len = 260;
    rc = AdsFindNextTable(connection, find, buf, &len);
  }
  *end_code = rc;
  if (find != 0) {
    EXPECT_EQ(AdsFindClose(connection, find), 0u);
  }
  return names;
}

}  // namespace acetest
