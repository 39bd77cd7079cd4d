// aceadmin build-demo: builds a demo installation under a data folder:
//
//   DB\DB.add                       main dictionary: vessel, crew
//   DB\1000001\sitedb.add           site dictionaries: job, porder, incident
//   DB\1000002\sitedb.add           ... and "certificate", listed but its file is missing
//   DB\1000003\sitedb.add           ... its incident index file is damaged
//   DB\backup\sitedb.add            not a site (the name is no number): discovery skips it
//   DB\100004\sitedb.add            not a site (six digits): discovery skips it
//
// Every table has several index tags; some have a default index in their dictionary. The
// rows are generated deterministically; --scale multiplies their number.
#include <filesystem>
#include <fstream>
#include <ostream>

#include "tools/aceadmin/arguments.h"
#include "tools/aceadmin/command.h"
#include "tools/aceadmin/progress.h"
#include "tools/aceadmin/table_common.h"
#include "tools/aceadmin/table_demo_data.h"
#include "tools/aceadmin/terminal_text.h"

namespace aceadmin {
namespace {

namespace fs = std::filesystem;

// Paths here are ANSI text, as the engine takes them; the files the tool touches itself are
// reached through their host names.
fs::path Host(const fs::path& ansi) { return fs::path(HostPath(ansi.string())); }

constexpr UNSIGNED32 kCompoundIndex = 0x2;
constexpr UNSIGNED32 kIndexPageSize = 512;
const char* const kSites[] = {"1000001", "1000002", "1000003"};

std::vector<std::string> FieldNamesOf(const std::string& definition) {
  std::vector<std::string> names;
  size_t start = 0;
  while (start < definition.size()) {
    size_t end = definition.find(';', start);
    if (end == std::string::npos) end = definition.size();
    std::string field = definition.substr(start, end - start);
    if (!field.empty()) names.push_back(field.substr(0, field.find(',')));
    start = end + 1;
  }
  return names;
}

struct Build {
  std::ostream& out;
  std::ostream& err;
  uint32_t scale;
  std::vector<std::string> indexFailures;  // tags the engine did not create

  // Creates `table` in the dictionary on `dd` and fills it. Returns 0 or the exit status.
  int FillTable(ADSHANDLE dd, const demo::DemoTable& table, uint32_t site, uint32_t vessels) {
    ADSHANDLE h = 0;
    if (int rc = Report(AdsCreateTable90(dd, Text(table.name), nullptr, ADS_ADT, 1, 0, 2, 0, Text(table.fields), 0,
                                         nullptr, &h),
                        "creating " + table.name, err)) {
      return rc;
    }
    const std::vector<std::string> names = FieldNamesOf(table.fields);
    const uint32_t rows = table.rowsAtScaleOne * scale;
    demo::Rows rng(0x5EED0000ull + site * 131u + table.name.size() * 7919u + table.name[0]);
    ProgressLine progress(table.name, rows);
    // The rows of a table are one transaction: committed (and forced to the disk) once.
    if (int rc = Report(AdsBeginTransaction(dd), "filling " + table.name, err)) {
      AdsCloseTable(h);
      return rc;
    }
    for (uint32_t n = 1; n <= rows; ++n) {
      std::vector<std::string> values = demo::RowValues(table, n, site, vessels, rng);
      UNSIGNED32 rc = AdsAppendRecord(h);
      for (size_t i = 0; rc == 0 && i < values.size(); ++i) {
        if (!values[i].empty()) {
          rc = AdsSetString(h, Text(names[i]), Text(values[i]), static_cast<UNSIGNED32>(values[i].size()));
        }
      }
      if (rc == 0) rc = AdsWriteRecord(h);
      if (rc != 0) {
        Report(rc, table.name + " record " + std::to_string(n), err);
        AdsRollbackTransaction(dd);
        AdsCloseTable(h);
        return 1;
      }
      progress.Update(n * 100 / rows);
    }
    if (int rc = Report(AdsCommitTransaction(dd), "storing the records of " + table.name, err)) {
      AdsCloseTable(h);
      return rc;
    }
    size_t created = 0;
    for (const auto& tag : table.tags) {
      ADSHANDLE index = 0;
      if (AdsCreateIndex90(h, nullptr, Text(tag.tag), Text(tag.expression), nullptr, nullptr, kCompoundIndex,
                           kIndexPageSize, nullptr, &index) != 0) {
        indexFailures.push_back(table.name + "." + tag.tag + ": " + LastErrorText());
      } else {
        ++created;
      }
    }
    if (int rc = Report(AdsCloseTable(h), "closing " + table.name, err)) return rc;
    if (!table.defaultIndex.empty()) {
      if (int rc = Report(AdsDDSetTableProperty(dd, Text(table.name), ADS_DD_TABLE_DEFAULT_INDEX,
                                                Text(table.defaultIndex),
                                                static_cast<UNSIGNED16>(table.defaultIndex.size() + 1)),
                          "default index of " + table.name, err)) {
        return rc;
      }
    }
    out << "  " << table.name << ": " << rows << " records, " << created << " of " << table.tags.size() << " index tags\n";
    return 0;
  }

  // Creates the dictionary `path` holding `tables`. Returns 0 or the exit status.
  int Dictionary(const fs::path& path, const std::vector<demo::DemoTable>& tables, uint32_t site, ADSHANDLE* keep) {
    fs::create_directories(Host(path.parent_path()));
    ADSHANDLE dd = 0;
    if (int rc = Report(AdsDDCreate(Text(path.string()), 0, Text("Pellmar demo"), &dd), "creating " + path.string(), err)) {
      return rc;
    }
    out << path.string() << "\n";
    const uint32_t vessels = MainTables().front().rowsAtScaleOne * scale;
    for (const auto& table : tables) {
      if (int rc = FillTable(dd, table, site, vessels)) {
        AdsDisconnect(dd);
        return rc;
      }
    }
    if (keep) {
      *keep = dd;
      return 0;
    }
    return Report(AdsDisconnect(dd), "disconnect", err);
  }

  static const std::vector<demo::DemoTable>& MainTables() { return demo::MainTables(); }
};

int BuildDemo(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Arguments parsed;
  if (std::string problem = ParseArguments(args, {{"--scale", true}}, 1, 1, &parsed); !problem.empty()) {
    return UsageError("build-demo", problem, err);
  }
  const std::vector<std::string>& positional = parsed.positional;
  unsigned long scale = 1;
  if (parsed.Has("--scale") && !ParseNumber(parsed.Value("--scale"), 1, 100, &scale)) {
    return UsageError("build-demo", "--scale must be from 1 to 100, not \"" + parsed.Value("--scale") + "\"", err);
  }
  const fs::path db = fs::path(positional[0]) / "DB";
  if (fs::exists(Host(db / "DB.add"))) {
    err << "aceadmin: " << (db / "DB.add").string() << " exists already; build the demo into an empty folder\n";
    return 1;
  }
  Build b{out, err, static_cast<uint32_t>(scale), {}};
  if (int rc = b.Dictionary(db / "DB.add", demo::MainTables(), 0, nullptr)) return rc;
  for (const char* site : kSites) {
    ADSHANDLE dd = 0;
    const fs::path folder = db / site;
    if (int rc = b.Dictionary(folder / "sitedb.add", demo::SiteTables(), std::stoul(site) % 1000, &dd)) return rc;
    if (std::string(site) == "1000002") {
      // A table the dictionary lists whose file has gone.
      demo::DemoTable certificate{"certificate", "CERTID,Integer;VESSELID,Integer;TITLE,Char,40;EXPIRES,Date;",
                                  {{"CERTID", "CERTID"}}, "", 0};
      if (int rc = b.FillTable(dd, certificate, 2, 1)) return rc;
      fs::remove(Host(folder / "certificate.adt"));
      fs::remove(Host(folder / "certificate.adi"));
      out << "  certificate: listed, its table file removed\n";
    }
    if (std::string(site) == "1000003") {
      // An index file whose pages are overwritten.
      std::fstream adi(Host(folder / "incident.adi"), std::ios::binary | std::ios::in | std::ios::out);
      if (!adi) adi.open(Host(folder / "incident.adi"), std::ios::binary | std::ios::out);
      adi.seekp(0);
      const std::string garbage(1024, '\xA5');
      adi.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
      out << "  incident: index file damaged\n";
    }
    if (int rc = Report(AdsDisconnect(dd), "disconnect", err)) return rc;
  }
  // Folders that look like sites but are not: discovery must skip them.
  for (const char* decoy : {"backup", "100004"}) {
    ADSHANDLE dd = 0;
    fs::create_directories(Host(db / decoy));
    const std::string path = (db / decoy / "sitedb.add").string();
    if (int rc = Report(AdsDDCreate(Text(path), 0, Text("not a site"), &dd), "creating " + path, err)) return rc;
    AdsDisconnect(dd);
    out << path << " (not a site folder)\n";
  }
  if (!b.indexFailures.empty()) {
    err << "aceadmin: build-demo: " << b.indexFailures.size() << " index tags were not created, first "
        << b.indexFailures.front() << "\n";
    return 1;
  }
  out << "built the demo installation in " << positional[0] << "\n";
  return 0;
}

Registrar build_demo({"build-demo", "DATAFOLDER [--scale N]",
                      "Build a demo installation (DB\\DB.add and site dictionaries DB\\1000001..1000003\\sitedb.add) "
                      "in a host folder",
                      &BuildDemo,
                      "DATAFOLDER must not hold DB/DB.add yet. Site 1000002 lists a table whose file is missing,\n"
                      "the index file of incident in site 1000003 is damaged, and DB/backup and DB/100004 hold\n"
                      "dictionaries that the reindex tool skips. --scale N multiplies the records (1 to 100; about\n"
                      "40,000 at 1). Exit status 1 when index tags could not be created."});

}  // namespace
}  // namespace aceadmin
