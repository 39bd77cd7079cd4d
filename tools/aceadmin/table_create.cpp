// aceadmin create-table: creates a native table from a field-definition string, in a
// dictionary (which then lists it) or in a folder.
#include <ostream>

#include "tools/aceadmin/command.h"
#include "tools/aceadmin/table_common.h"

namespace aceadmin {
namespace {

constexpr const char* kUsage = "create-table DICTIONARY|FOLDER TABLE FIELDS [--free] [--memo-size N]";

int CreateTable(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::vector<std::string> positional;
  bool freeTable = false;
  unsigned long memoSize = 0;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--free") {
      freeTable = true;
    } else if (args[i] == "--memo-size" && i + 1 < args.size()) {
      try {
        memoSize = std::stoul(args[++i]);
      } catch (const std::exception&) {
        memoSize = 0x10000;  // refused below
      }
      if (memoSize == 0 || memoSize > 8192) {
        err << "aceadmin: the memo block size must be from 8 to 8192\n";
        return 2;
      }
    } else {
      positional.push_back(args[i]);
    }
  }
  if (positional.size() != 3) {
    err << "aceadmin: usage: aceadmin " << kUsage << "\n";
    return 2;
  }
  const std::string& target = positional[0];
  const std::string& table = positional[1];
  const std::string& fields = positional[2];
  const bool dictionary = target.size() > 4 && (target.compare(target.size() - 4, 4, ".add") == 0 ||
                                                target.compare(target.size() - 4, 4, ".ADD") == 0);
  ADSHANDLE connection = 0;
  if (int rc = Report(ConnectTo(target, dictionary ? "adssys" : "", dictionary ? AdminPasswordFromEnvironment() : "",
                                &connection),
                      "connect " + target, err)) {
    return rc;
  }
  constexpr UNSIGNED32 kFreeTable = 0x00001000;
  ADSHANDLE h = 0;
  int rc = Report(AdsCreateTable90(connection, Text(table), nullptr, ADS_ADT, 1, 0, 2,
                                   static_cast<UNSIGNED16>(memoSize), Text(fields), freeTable ? kFreeTable : 0,
                                   nullptr, &h),
                  "create-table " + table, err);
  if (rc == 0) rc = Report(AdsCloseTable(h), "closing " + table, err);
  if (rc == 0) out << "created table " << table << "\n";
  AdsDisconnect(connection);
  return rc;
}

Registrar create_table({"create-table", "DICTIONARY|FOLDER TABLE FIELDS [--free] [--memo-size N]",
                        "Create a native table from field definitions (\"NAME,Char,30;QTY,Integer;\"); in a "
                        "dictionary it is listed there unless --free",
                        &CreateTable});

}  // namespace
}  // namespace aceadmin
