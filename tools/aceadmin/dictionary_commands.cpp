// aceadmin commands on data dictionaries: create one, add users and groups, set passwords.
#include <cstdlib>
#include <ostream>

#include "tools/aceadmin/arguments.h"
#include "tools/aceadmin/command.h"
#include "tools/aceadmin/table_common.h"

namespace aceadmin {
namespace {

std::string AdminPassword() {
  const char* p = std::getenv("ACEADMIN_PASSWORD");
  return p ? p : "";
}

// The positional arguments of a command without options into *positional; false, with the
// usage error printed, when their number is outside [min, max].
bool Arity(const std::string& command, const std::vector<std::string>& args, size_t min, size_t max,
           std::vector<std::string>* positional, std::ostream& err) {
  Arguments parsed;
  std::string problem = ParseArguments(args, {}, min, max, &parsed);
  if (!problem.empty()) {
    UsageError(command, problem, err);
    return false;
  }
  *positional = parsed.positional;
  return true;
}

int CreateDictionary(const std::vector<std::string>& given, std::ostream& out, std::ostream& err) {
  std::vector<std::string> args;
  if (!Arity("create-dictionary", given, 1, 2, &args, err)) return 2;
  ADSHANDLE h = 0;
  std::string description = args.size() > 1 ? args[1] : "";
  if (int rc = Report(AdsDDCreate(Text(args[0]), 0, description.empty() ? nullptr : Text(description), &h),
                      "create-dictionary " + args[0], err)) {
    return rc;
  }
  if (!AdminPassword().empty()) {
    std::string pw = AdminPassword();
    if (int rc = Report(AdsDDSetUserProperty(h, Text("adssys"), ADS_DD_USER_PASSWORD, Text(pw),
                                             static_cast<UNSIGNED16>(pw.size())),
                        "setting the adssys password", err)) {
      AdsDisconnect(h);
      return rc;
    }
  }
  out << "created " << args[0] << "\n";
  return Report(AdsDisconnect(h), "disconnect", err);
}

int AddUser(const std::vector<std::string>& given, std::ostream& out, std::ostream& err) {
  std::vector<std::string> args;
  if (!Arity("add-user", given, 2, 4, &args, err)) return 2;
  ADSHANDLE h = 0;
  if (int rc = Report(ConnectTo(args[0], "adssys", AdminPassword(), &h), "connect " + args[0], err)) return rc;
  std::string password = args.size() > 2 ? args[2] : "";
  std::string group = args.size() > 3 ? args[3] : "";
  int rc = Report(AdsDDCreateUser(h, group.empty() ? nullptr : Text(group), Text(args[1]),
                                  password.empty() ? nullptr : Text(password), nullptr),
                  "add-user " + args[1], err);
  if (rc == 0) out << "added user " << args[1] << "\n";
  AdsDisconnect(h);
  return rc;
}

int AddGroup(const std::vector<std::string>& given, std::ostream& out, std::ostream& err) {
  std::vector<std::string> args;
  if (!Arity("add-group", given, 2, 2, &args, err)) return 2;
  ADSHANDLE h = 0;
  if (int rc = Report(ConnectTo(args[0], "adssys", AdminPassword(), &h), "connect " + args[0], err)) return rc;
  int rc = Report(AdsDDCreateUserGroup(h, Text(args[1]), nullptr), "add-group " + args[1], err);
  if (rc == 0) out << "added group " << args[1] << "\n";
  AdsDisconnect(h);
  return rc;
}

int AddTable(const std::vector<std::string>& given, std::ostream& out, std::ostream& err) {
  Arguments parsed;
  if (std::string problem = ParseArguments(given, {{kTypeOption, true}}, 3, 3, &parsed); !problem.empty()) {
    return UsageError("add-table", problem, err);
  }
  const std::vector<std::string>& args = parsed.positional;
  UNSIGNED16 type = ADS_ADT;
  if (std::string problem; !TableTypeOption(parsed, 0, &type, &problem)) return UsageError("add-table", problem, err);
  if (type == 0) {
    // A DBF file says nothing the dictionary could go by about the index kind it is used with.
    if (EndsWithNoCase(args[2], ".dbf")) return UsageError("add-table", "give --type ntx, --type cdx or --type vfp for a DBF table", err);
    type = ADS_ADT;
  }
  ADSHANDLE h = 0;
  if (int rc = Report(ConnectTo(args[0], "adssys", AdminPassword(), &h), "connect " + args[0], err)) return rc;
  int rc = Report(AdsDDAddTable(h, Text(args[1]), Text(args[2]), type, 1, nullptr, nullptr), "add-table " + args[1], err);
  if (rc == 0) out << "added table " << args[1] << "\n";
  AdsDisconnect(h);
  return rc;
}

Registrar create_dictionary({"create-dictionary", "PATH.add [DESCRIPTION]",
                             "Create an empty data dictionary (adssys's password from ACEADMIN_PASSWORD)",
                             &CreateDictionary,
                             "The dictionary file must not exist yet. When ACEADMIN_PASSWORD is set, it becomes the\n"
                             "password of the administrator adssys; later commands on the dictionary take it from there too."});
Registrar add_user({"add-user", "DICTIONARY USER [PASSWORD [GROUP]]", "Add a user, optionally into a group", &AddUser,
                    "Works as adssys (password from ACEADMIN_PASSWORD). Without PASSWORD the user has none."});
Registrar add_group({"add-group", "DICTIONARY GROUP", "Add a user group", &AddGroup,
                     "Works as adssys (password from ACEADMIN_PASSWORD)."});
Registrar add_table({"add-table", "DICTIONARY NAME FILE [--type ntx|cdx|vfp|adt]", "Add an existing table file to the dictionary", &AddTable,
                     "FILE is the table file (.adt); NAME is the name the dictionary lists it under."});

}  // namespace
}  // namespace aceadmin
