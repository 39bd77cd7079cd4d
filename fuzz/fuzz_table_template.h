// A small native table made once per fuzzing process through the engine's own interface and
// laid down afresh before each input, so that what one input changes never reaches the next.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "engine_fuzz_support.h"

namespace fuzz {

class TableTemplate {
 public:
  // Creates table "t" in a folder of its own: fields of every kind the expression language
  // reads, a few records (blank, long, null and odd values among them) and two index tags.
  TableTemplate() {
    const std::string folder = FreshFolder("template");
    ADSHANDLE conn = 0;
    MustSucceed(AdsConnect60(U(folder), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &conn), "connect");
    ADSHANDLE table = 0;
    MustSucceed(AdsCreateTable90(conn, U("t.adt"), nullptr, ADS_ADT, 1, 0, 0, 0,
                                 U("ID,AutoInc;NAME,Char,30;CITY,CIChar,12;NOTE,Memo;QTY,Integer;PRICE,Numeric,10,2;"
                                   "BORN,Date;STAMP,TimeStamp;AT,Time;OK,Logical;WIDE,NChar,8;VNAME,VarChar,40;"
                                   "CASH,Money;RATE,Double"),
                                 0, nullptr, &table),
                "create table");
    AdsCloseTable(table);
    ADSHANDLE stmt = 0;
    MustSucceed(AdsCreateSQLStatement(conn, &stmt), "statement");
    const char* rows[] = {
        ("insert into t (NAME, CITY, NOTE, QTY, PRICE, BORN, STAMP, AT, OK, WIDE, VNAME, CASH, RATE) values "
         "('Anna Karenina Arkadyevna Obl', 'Moscow', 'a long note about ((nothing)) AND more', 3, 12.5, "
         "'1990-02-28', '2001-01-01 10:00:00', '08:30:00', true, 'wide', 'short', 10.25, 0.5)"),
        "insert into t (NAME, CITY, QTY, PRICE, OK) values ('', '', 0, 0, false)",
        ("insert into t (NAME, CITY, NOTE, QTY, PRICE, BORN) values ('Zed', 'zurich', 'zz', -7, -99999.99, "
         "'2099-12-31')"),
        "insert into t (NAME) values ('Anna Karenina Arkadyevna Obl')",
        "insert into t (NAME, NOTE, QTY) values (NULL, NULL, NULL)",
        "create index BYNAME on t (NAME)",
        "create index BYQTY on t (QTY)",
    };
    for (const char* sql : rows) {
      ADSHANDLE cursor = 0;
      MustSucceed(AdsExecuteSQLDirect(stmt, U(sql), &cursor), sql);
      if (cursor) AdsCloseTable(cursor);
    }
    AdsCloseSQLStatement(stmt);
    AdsDisconnect(conn);
    for (const char* name : {"t.adt", "t.adm", "t.adi"}) files_.emplace_back(name, ReadFile(folder + "/" + name));
  }

  // A folder holding a fresh copy of the table's files.
  std::string LayDown(const std::string& name) const {
    std::string folder = FreshFolder(name);
    for (const auto& [file, bytes] : files_) WriteFile(folder + "/" + file, bytes);
    return folder;
  }

 private:
  std::vector<std::pair<std::string, std::string>> files_;
};

}  // namespace fuzz
