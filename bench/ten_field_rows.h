// The rows of the 10-field table the append benchmarks write: two integers, three character
// fields (30, 20 and 10), a date, a numeric, a double, a logical and an integer, generated from
// the record number so that every side of a comparison writes identical rows.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "ace/ace.h"

namespace bench {

// The table's field definitions and names, in field order.
constexpr const char* kTenFields =
    "ID,Integer;VESSEL,Integer;NAME,Char,30;PORT,Char,20;CODE,Char,10;DUE,Date;AMOUNT,Numeric,12,2;"
    "RATIO,Double;ACTIVE,Logical;GROSS,Integer;";
constexpr const char* kTenFieldNames[] = {"ID", "VESSEL", "NAME", "PORT", "CODE", "DUE", "AMOUNT", "RATIO", "ACTIVE", "GROSS"};

struct TenFieldRow {
  int id, vessel, grossTon;
  char name[31], port[21], code[11];
  char date[11];  // MM/DD/YYYY
  int year, month, day;
  double amount, ratio;
  bool active;
};

inline void MakeTenFieldRow(uint32_t n, TenFieldRow* r) {
  static const char* const kWords[] = {"Aurora", "Borealis", "Cassiopeia", "Dolphin",
                                       "Endeavour", "Fjord", "Gannet", "Halcyon"};
  r->id = static_cast<int>(n);
  r->vessel = static_cast<int>(n % 997);
  r->grossTon = static_cast<int>((n * 7919u) % 150000u);
  std::snprintf(r->name, sizeof r->name, "%s %s %u", kWords[n % 8], kWords[(n / 8) % 8], n);
  std::snprintf(r->port, sizeof r->port, "Port %u", n % 311);
  std::snprintf(r->code, sizeof r->code, "C%09u", n);
  r->year = 1990 + static_cast<int>(n % 36);
  r->month = static_cast<int>(n % 12) + 1;
  r->day = static_cast<int>(n % 28) + 1;
  std::snprintf(r->date, sizeof r->date, "%02d/%02d/%04d", r->month, r->day, r->year);
  r->amount = static_cast<double>(n % 1000000) / 100.0;
  r->ratio = static_cast<double>(n % 977) / 977.0;
  r->active = n % 3 != 0;
}

// The Julian day number of a date of the Gregorian calendar.
inline int32_t JulianDay(int year, int month, int day) {
  const int a = (14 - month) / 12;
  const int y = year + 4800 - a;
  const int m = month + 12 * a - 3;
  return day + (153 * m + 2) / 5 + 365 * y + y / 4 - y / 100 + y / 400 - 32045;
}

// Sets the fields of the record being appended on table t through the engine's typed setters;
// the date as its text (MM/DD/YYYY, the engine's default date format) or as its Julian day.
// check(rc, what) receives every result.
template <typename Check>
void SetTenFieldsThroughEngine(ADSHANDLE t, const TenFieldRow& r, bool dateAsText, Check check) {
  auto u8 = [](const char* s) { return reinterpret_cast<UNSIGNED8*>(const_cast<char*>(s)); };
  auto text = [&](const char* field, const char* value) {
    check(AdsSetString(t, u8(field), u8(value), static_cast<UNSIGNED32>(std::strlen(value))), field);
  };
  check(AdsSetLong(t, u8("ID"), r.id), "ID");
  check(AdsSetLong(t, u8("VESSEL"), r.vessel), "VESSEL");
  text("NAME", r.name);
  text("PORT", r.port);
  text("CODE", r.code);
  check(dateAsText ? AdsSetDate(t, u8("DUE"), u8(r.date), 10) : AdsSetJulian(t, u8("DUE"), JulianDay(r.year, r.month, r.day)),
        "DUE");
  check(AdsSetDouble(t, u8("AMOUNT"), r.amount), "AMOUNT");
  check(AdsSetDouble(t, u8("RATIO"), r.ratio), "RATIO");
  check(AdsSetLogical(t, u8("ACTIVE"), r.active), "ACTIVE");
  check(AdsSetLong(t, u8("GROSS"), r.grossTon), "GROSS");
}

}  // namespace bench
