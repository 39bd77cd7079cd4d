// aceadmin create-table: creates a table (native, or with --type a DBF table with NTX or CDX
// indexes) from a field-definition string, in a dictionary (which then lists it) or in a folder.
#include <ostream>

#include "tools/aceadmin/arguments.h"
#include "tools/aceadmin/command.h"
#include "tools/aceadmin/table_common.h"

namespace aceadmin {
namespace {


int CreateTable(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Arguments parsed;
  if (std::string problem = ParseArguments(args, {{"--free", false}, {"--memo-size", true}, {kTypeOption, true}}, 3, 3, &parsed);
      !problem.empty()) {
    return UsageError("create-table", problem, err);
  }
  const std::vector<std::string>& positional = parsed.positional;
  UNSIGNED16 type = ADS_ADT;
  if (std::string problem; !TableTypeOption(parsed, ADS_ADT, &type, &problem)) return UsageError("create-table", problem, err);
  const bool freeTable = parsed.Has("--free");
  unsigned long memoSize = 0;
  if (parsed.Has("--memo-size") && !ParseNumber(parsed.Value("--memo-size"), 8, 8192, &memoSize)) {
    return UsageError("create-table", "the memo block size must be from 8 to 8192, not \"" +
                                          parsed.Value("--memo-size") + "\"", err);
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
  int rc = Report(AdsCreateTable90(connection, Text(table), nullptr, type, 1, 0, 2,
                                   static_cast<UNSIGNED16>(memoSize), Text(fields), freeTable ? kFreeTable : 0,
                                   nullptr, &h),
                  "create-table " + table, err);
  if (rc == 0) rc = Report(AdsCloseTable(h), "closing " + table, err);
  if (rc == 0) out << "created table " << table << "\n";
  AdsDisconnect(connection);
  return rc;
}

Registrar create_table({"create-table", "DICTIONARY|FOLDER TABLE FIELDS [--free] [--memo-size N] [--type ntx|cdx|vfp|adt]",
                        "Create a table from field definitions (\"NAME,Char,30;QTY,Integer;\"); in a "
                        "dictionary it is listed there unless --free",
                        &CreateTable,
                        "FIELDS lists NAME,TYPE[,LENGTH[,DECIMALS]]; items (types: Char, CIChar, Integer, ShortInt,\n"
                        "AutoInc, Numeric, Double, CurDouble, Logical, Date, Time, TimeStamp, Memo, Blob, ...).\n"
                        "--free      in a dictionary: create the file only, without listing it\n"
                        "--memo-size N  the memo block size in bytes (8 to 8192)\n"
                        "--type ntx|cdx|vfp|adt  a DBF table (TABLE.dbf) with a .dbt memo and NTX indexes, or with an\n"
                        "            .fpt memo and CDX indexes; vfp a FoxPro-compatible one (.fpt, .cdx); adt (the\n"
                        "            default) a native table. DBF tables hold Char (1-254), Num (1-20 digits), Date,\n"
                        "            Logical and Memo fields (CDX also Binary, Image); vfp tables also Integer,\n"
                        "            Double, Currency, DateTime, VarChar and VarBinary (1-254), General, Blob, and\n"
                        "            the marks NULL and NOCPTRANS after a field's type (\"NOTE,Memo,NULL;\")"});

}  // namespace
}  // namespace aceadmin
