#include "tools/aceadmin/table_demo_data.h"

#include <cstdio>

namespace aceadmin::demo {
namespace {

const std::vector<std::string> kShipWords = {"Aurora", "Borealis", "Cassiopeia", "Dolphin", "Endeavour", "Fjord",
                                             "Gannet",  "Halcyon",  "Iris",       "Juniper", "Kestrel",   "Lodestar",
                                             "Meridian", "Nordic",  "Orion",      "Pelican", "Quest",     "Resolute"};
const std::vector<std::string> kShipTypes = {"Bulk carrier", "Tanker", "Container", "Ro-Ro", "Reefer", "Offshore"};
const std::vector<std::string> kFlags = {"Panama", "Liberia", "Marshall Isl.", "Malta", "Bahamas", "Norway", "Cyprus"};
const std::vector<std::string> kSurnames = {"Andersen", "Baker",  "Castillo", "Dimitriou", "Evans",  "Fischer",
                                            "Garcia",   "Hansen", "Ivanov",   "Jensen",    "Kowalski", "Larsen",
                                            "Martinez", "Nilsen", "Olsen",    "Petrov",    "Reyes",  "Santos"};
const std::vector<std::string> kFirstNames = {"Anna", "Boris", "Carlos", "Dmitri", "Elena", "Finn",  "Grace",
                                              "Hugo", "Ines",  "Jonas",  "Karin",  "Luis",  "Marta", "Nikolai"};
const std::vector<std::string> kRanks = {"Master", "Chief Officer", "2nd Officer", "Chief Engineer", "2nd Engineer",
                                         "Bosun",  "AB Seaman",     "Oiler",       "Cook",           "Electrician"};
const std::vector<std::string> kNations = {"Philippines", "Ukraine", "Poland", "India", "Norway", "Croatia", "Greece"};
const std::vector<std::string> kEquipment = {"Main engine",  "Aux. engine 1", "Aux. engine 2", "Boiler",
                                             "Steering gear", "Bow thruster", "Fire pump",     "Lifeboat davit",
                                             "Ballast pump",  "Purifier",     "Windlass",      "Radar"};
const std::vector<std::string> kJobStatus = {"Planned", "Due", "Overdue", "Done", "Postponed"};
const std::vector<std::string> kSuppliers = {"Nordsee Marine Supply", "Harbour Spares Ltd", "Pacific Ship Chandler",
                                             "Baltic Technical",      "Mediterranean Stores", "Atlantic Lubricants"};
const std::vector<std::string> kCurrencies = {"USD", "EUR", "NOK", "GBP", "SGD"};
const std::vector<std::string> kOrderStatus = {"Draft", "Ordered", "Received", "Invoiced", "Cancelled"};
const std::vector<std::string> kCategories = {"Near miss", "Injury", "Pollution", "Machinery failure", "Collision",
                                              "Fire", "Security"};

}  // namespace

const std::vector<DemoTable>& MainTables() {
  static const std::vector<DemoTable> tables = {
      {"vessel",
       "VESSELID,Integer;NAME,Char,30;IMO,Char,7;FLAG,Char,20;VTYPE,Char,16;BUILT,Date;GROSSTON,Integer;"
       "ACTIVE,Logical;NOTES,Memo;",
       {{"VESSELID", "VESSELID"}, {"NAME", "UPPER(NAME)"}, {"IMO", "IMO"}, {"FLAGNAME", "FLAG+NAME"}},
       "VESSELID",
       1000},
      {"crew",
       "CREWID,Integer;VESSELID,Integer;SURNAME,Char,24;FIRSTNAME,Char,16;RANK,Char,16;NATION,Char,20;"
       "SIGNON,Date;SALARY,Numeric,10,2;",
       {{"CREWID", "CREWID"}, {"VESSEL", "VESSELID"}, {"NAME", "UPPER(SURNAME+FIRSTNAME)"}, {"SIGNON", "SIGNON"}},
       "",
       3000},
  };
  return tables;
}

const std::vector<DemoTable>& SiteTables() {
  static const std::vector<DemoTable> tables = {
      {"job",
       "JOBID,Integer;VESSELID,Integer;EQUIP,Char,30;DUE,Date;DONE,Date;HOURS,Numeric,8,1;STATUS,Char,10;"
       "REMARKS,Memo;",
       {{"JOBID", "JOBID"}, {"VESSEL", "VESSELID"}, {"DUE", "DUE"}, {"EQUIP", "UPPER(EQUIP)"}},
       "JOBID",
       5000},
      {"porder",
       "PONO,Integer;VESSELID,Integer;SUPPLIER,Char,30;ORDERED,Date;AMOUNT,Numeric,12,2;CURRENCY,Char,3;"
       "STATUS,Char,10;",
       {{"PONO", "PONO"}, {"SUPPLIER", "UPPER(SUPPLIER)"}, {"ORDERED", "ORDERED"}},
       "",
       3000},
      {"incident",
       "INCID,Integer;VESSELID,Integer;OCCURRED,Date;SEVERITY,Integer;CATEGORY,Char,20;REPORT,Memo;",
       {{"INCID", "INCID"}, {"OCCURRED", "OCCURRED"}, {"CATEGORY", "CATEGORY"}},
       "INCID",
       1000},
  };
  return tables;
}

uint64_t Rows::Next() {
  // splitmix64: a small, fast generator whose sequence depends only on the seed.
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

std::string Rows::Date(int firstYear, int lastYear) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02u/%02u/%04u", Below(12) + 1, Below(28) + 1,
                static_cast<unsigned>(firstYear) + Below(static_cast<uint32_t>(lastYear - firstYear + 1)));
  return buf;
}

std::string Rows::Amount(uint32_t limit, int decimals) {
  uint32_t scale = decimals == 2 ? 100 : (decimals == 1 ? 10 : 1);
  uint32_t v = Below(limit * scale);
  char buf[32];
  if (decimals == 0) {
    std::snprintf(buf, sizeof buf, "%u", v);
  } else {
    std::snprintf(buf, sizeof buf, "%u.%0*u", v / scale, decimals, v % scale);
  }
  return buf;
}

std::vector<std::string> RowValues(const DemoTable& table, uint32_t n, uint32_t site, uint32_t vessels, Rows& rng) {
  const std::string id = std::to_string(n);
  const std::string vessel = std::to_string(rng.Below(vessels) + 1);
  if (table.name == "vessel") {
    char imo[8];
    std::snprintf(imo, sizeof imo, "%07u", 9000000u + n);
    return {id,
            rng.Pick(kShipWords) + " " + rng.Pick(kShipWords) + " " + std::to_string(n),
            imo,
            rng.Pick(kFlags),
            rng.Pick(kShipTypes),
            rng.Date(1985, 2024),
            std::to_string(2000 + rng.Below(150000)),
            rng.Below(10) ? "T" : "F",
            n % 7 == 0 ? "Class survey due; see the technical file." : ""};
  }
  if (table.name == "crew") {
    return {id,
            vessel,
            rng.Pick(kSurnames),
            rng.Pick(kFirstNames),
            rng.Pick(kRanks),
            rng.Pick(kNations),
            rng.Date(2015, 2026),
            rng.Amount(12000, 2)};
  }
  if (table.name == "job") {
    const std::string& status = rng.Pick(kJobStatus);
    return {id,
            vessel,
            rng.Pick(kEquipment),
            rng.Date(2020, 2027),
            status == "Done" ? rng.Date(2020, 2026) : "",
            rng.Amount(200, 1),
            status,
            n % 5 == 0 ? "Spare parts ordered from site " + std::to_string(site) + "." : ""};
  }
  if (table.name == "porder") {
    return {std::to_string(site * 1000000u + n),
            vessel,
            rng.Pick(kSuppliers),
            rng.Date(2018, 2026),
            rng.Amount(50000, 2),
            rng.Pick(kCurrencies),
            rng.Pick(kOrderStatus)};
  }
  // incident
  return {id,
          vessel,
          rng.Date(2010, 2026),
          std::to_string(rng.Below(5) + 1),
          rng.Pick(kCategories),
          "Reported by the master of vessel " + vessel + "; corrective action recorded."};
}

}  // namespace aceadmin::demo
