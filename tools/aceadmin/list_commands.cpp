// aceadmin commands that list: the tables of a dictionary or folder, and a table's properties.
#include <cstdlib>
#include <ostream>

#include "tools/aceadmin/arguments.h"
#include "tools/aceadmin/command.h"

namespace aceadmin {
namespace {

int ListTables(const std::vector<std::string>& given, std::ostream& out, std::ostream& err) {
  Arguments parsed;
  if (std::string problem = ParseArguments(given, {}, 1, 2, &parsed); !problem.empty()) {
    return UsageError("list-tables", problem, err);
  }
  const std::vector<std::string>& args = parsed.positional;
  ADSHANDLE h = 0;
  const char* pw = std::getenv("ACEADMIN_PASSWORD");
  if (int rc = Report(ConnectTo(args[0], "", pw ? pw : "", &h), "connect " + args[0], err)) return rc;
  std::string mask = args.size() > 1 ? args[1] : "";
  UNSIGNED8 name[261];
  UNSIGNED16 len = 260;
  ADSHANDLE find = 0;
  UNSIGNED32 rc = AdsFindFirstTable(h, mask.empty() ? nullptr : Text(mask), name, &len, &find);
  while (rc == 0) {
    out << std::string(reinterpret_cast<char*>(name), len) << "\n";
    len = 260;
    rc = AdsFindNextTable(h, find, name, &len);
  }
  int status = rc == AE_NO_MORE_TABLES ? 0 : Report(rc, "list-tables", err);
  if (find) AdsFindClose(h, find);
  AdsDisconnect(h);
  return status;
}

int TableInfo(const std::vector<std::string>& given, std::ostream& out, std::ostream& err) {
  Arguments parsed;
  if (std::string problem = ParseArguments(given, {}, 2, 2, &parsed); !problem.empty()) {
    return UsageError("table-info", problem, err);
  }
  const std::vector<std::string>& args = parsed.positional;
  ADSHANDLE h = 0;
  const char* pw = std::getenv("ACEADMIN_PASSWORD");
  if (int rc = Report(ConnectTo(args[0], "", pw ? pw : "", &h), "connect " + args[0], err)) return rc;
  const struct {
    UNSIGNED16 id;
    const char* label;
    bool number;
  } props[] = {{ADS_DD_TABLE_PATH, "path", false},
               {ADS_DD_TABLE_TYPE, "type", true},
               {ADS_DD_TABLE_CHAR_TYPE, "character type", true},
               {ADS_DD_TABLE_DEFAULT_INDEX, "default index", false},
               {ADS_DD_TABLE_PRIMARY_KEY, "primary key", false}};
  int status = 0;
  for (const auto& p : props) {
    UNSIGNED8 buf[512] = {};
    UNSIGNED16 len = p.number ? 2 : sizeof buf - 1;
    UNSIGNED32 rc = AdsDDGetTableProperty(h, Text(args[1]), p.id, buf, &len);
    if (rc == AE_PROPERTY_NOT_SET) {
      out << p.label << ": (none)\n";
    } else if (rc != 0) {
      status = Report(rc, "table-info " + args[1], err);
      break;
    } else if (p.number) {
      UNSIGNED16 v = static_cast<UNSIGNED16>(buf[0] | (buf[1] << 8));
      out << p.label << ": " << v << "\n";
    } else {
      out << p.label << ": " << std::string(reinterpret_cast<char*>(buf), len) << "\n";
    }
  }
  AdsDisconnect(h);
  return status;
}

Registrar list_tables({"list-tables", "DICTIONARY|FOLDER [MASK]", "List the tables of a dictionary, or a folder's table files",
                       &ListTables, "MASK chooses the names, with * and ? as wildcards (for example \"ord*\")."});
Registrar table_info({"table-info", "DICTIONARY TABLE", "Show a dictionary table's properties", &TableInfo,
                       "Prints the table's path, type, character type, default index and primary key."});

}  // namespace
}  // namespace aceadmin
