#include "tools/aceadmin/command.h"

#include <map>
#include <ostream>

namespace aceadmin {
namespace {
std::map<std::string, Command>& Registry() {
  static std::map<std::string, Command> registry;
  return registry;
}
}  // namespace

Registrar::Registrar(Command command) {
  std::string name = command.name;
  Registry().emplace(name, std::move(command));
}

std::vector<const Command*> Commands() {
  std::vector<const Command*> out;
  for (const auto& [name, command] : Registry()) out.push_back(&command);
  return out;
}

const Command* FindCommand(const std::string& name) {
  auto it = Registry().find(name);
  return it == Registry().end() ? nullptr : &it->second;
}

UNSIGNED8* Text(const std::string& s) { return reinterpret_cast<UNSIGNED8*>(const_cast<char*>(s.c_str())); }

std::string LastErrorText() {
  UNSIGNED32 code = 0;
  UNSIGNED8 buf[1024];
  UNSIGNED16 len = sizeof buf;
  if (AdsGetLastError(&code, buf, &len) != 0) return "unknown engine error";
  return std::string(reinterpret_cast<char*>(buf), len);
}

int Report(UNSIGNED32 rc, const std::string& what, std::ostream& err) {
  if (rc == 0) return 0;
  err << "aceadmin: " << what << ": " << LastErrorText() << "\n";
  return 1;
}

UNSIGNED32 ConnectTo(const std::string& path, const std::string& user, const std::string& password, ADSHANDLE* h) {
  std::string cs = "Data Source=" + path + ";";
  if (!user.empty()) cs += "User ID=" + user + ";";
  if (!password.empty()) cs += "Password=\"" + password + "\";";
  return AdsConnect101(Text(cs), nullptr, h);
}

}  // namespace aceadmin
