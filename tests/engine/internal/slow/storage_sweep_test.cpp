// Every operation of the engine that changes files, run under every single storage fault, after
// every sync point with the power cut, and killed at every change: afterwards the tables open,
// hold what they held before or exactly what the operation reported, every index agrees with its
// table or is refused until rebuilt, and the dictionary opens (support/fault_sweep.h).
//
// The operations run through the engine's internals linked into this program (the entry
// points' C++ bodies, engine::api), with the fault-injecting storage in place; what is left is
// read through libace32.
#include <gtest/gtest.h>

#include <errno.h>

#include <cctype>
#include <functional>
#include <string>

#include "engine/core/error.h"
#include "engine_api/entry_points.h"
#include "support/api_fixture.h"
#include "support/fault_sweep.h"

namespace {

namespace api = engine::api;
using acetest::U8;
using acetest::Win;

// A connection of the engine's internals, disconnected (with everything opened on it) when it
// goes, whatever the storage does meanwhile.
struct Connection {
  ADSHANDLE h = 0;
  explicit Connection(const std::string& connectString) { api::AdsConnect101(U8(connectString), nullptr, &h); }
  ~Connection() {
    try {
      if (h) api::AdsDisconnect(h);
    } catch (const engine::EngineError&) {
      // A disconnect on a failing disk still releases the handles.
    }
  }
};

std::string FolderOf(const std::string& folder) { return "Data Source=" + Win(folder) + ";"; }
std::string DictionaryOf(const std::string& folder) { return "Data Source=" + Win(folder + "/DB.add") + ";User ID=adssys;"; }

ADSHANDLE Open(ADSHANDLE c, const std::string& table, UNSIGNED32 options) {
  ADSHANDLE t = 0;
  api::AdsOpenTable90(c, U8(table), nullptr, ADS_ADT, 0, 0, 2, options, nullptr, &t);
  return t;
}

void Set(ADSHANDLE t, const char* field, const std::string& value) {
  api::AdsSetString(t, U8(field), U8(value), static_cast<UNSIGNED32>(value.size()));
}

// Runs `change` on the current record and writes it; when anything fails the pending change is
// dropped, as a careful client does (a handle closed with a pending change stores it).
void Change(ADSHANDLE t, const std::function<void()>& change) {
  try {
    change();
    api::AdsWriteRecord(t);
  } catch (const engine::EngineError&) {
    try {
      api::AdsCancelUpdate(t);
    } catch (const engine::EngineError&) {
    }
    throw;
  }
}

void AppendRow(ADSHANDLE t, int id, const std::string& name, const std::string& notes) {
  api::AdsAppendRecord(t);
  Change(t, [&] {
    Set(t, "ID", std::to_string(id));
    Set(t, "NAME", name);
    if (!notes.empty()) Set(t, "NOTES", notes);
  });
}

// What a load does when a row fails (as aceadmin load-csv does): the row being appended is
// dropped and the transaction rolled back. A failure of either is the disk's, already reported.
void Abandon(ADSHANDLE connection, ADSHANDLE table) {
  try {
    api::AdsCancelUpdate(table);
  } catch (const engine::EngineError&) {
  }
  try {
    api::AdsRollbackTransaction(connection);
  } catch (const engine::EngineError&) {
  }
}

// Closes a table after the operation has answered: what closing may still fail to write (the
// space of a freed blob) is no part of the operation.
void CloseQuietly(ADSHANDLE t) {
  try {
    api::AdsCloseTable(t);
  } catch (const engine::EngineError&) {
  }
}

constexpr UNSIGNED32 kShared = 0;  // open options: shared, writable
constexpr const char* kFields = "ID,Integer;NAME,Char,20;NOTES,Memo;";

// vessel: five records with blobs, the second deleted, and two index tags (unless `tags` is false).
void MakeVessel(ADSHANDLE c, const std::string& table = "vessel", bool tags = true) {
  ADSHANDLE t = 0;
  api::AdsCreateTable90(c, U8(table), nullptr, ADS_ADT, 1, 0, 2, 0, U8(kFields), 0, nullptr, &t);
  const char* names[] = {"Aurora", "Borealis", "Cygnus", "Draco", "Eridanus"};
  for (int i = 0; i < 5; ++i) AppendRow(t, i + 1, names[i], i % 2 ? "" : std::string("note of ") + names[i]);
  api::AdsGotoRecord(t, 2);
  api::AdsDeleteRecord(t);
  if (tags) {
    ADSHANDLE index = 0;
    api::AdsCreateIndex90(t, nullptr, U8("BYNAME"), U8("UPPER(NAME)"), nullptr, nullptr, 0, 0, nullptr, &index);
    api::AdsCreateIndex90(t, nullptr, U8("BYID"), U8("ID"), nullptr, nullptr, 0, 0, nullptr, &index);
  }
  api::AdsCloseTable(t);
}

void PrepareFolder(const std::string& folder) {
  Connection c(FolderOf(folder));
  MakeVessel(c.h);
}

// A dictionary that lists vessel by a path relative to it, so that a copy of the folder is a
// dictionary of its own.
void PrepareDictionary(const std::string& folder) {
  PrepareFolder(folder);
  ADSHANDLE dd = 0;
  api::AdsDDCreate(U8(Win(folder + "/DB.add")), 0, nullptr, &dd);
  api::AdsDDAddTable(dd, U8("vessel"), U8("vessel.adt"), ADS_ADT, 1, nullptr, nullptr);
  api::AdsDisconnect(dd);
}

// Runs `fn` on vessel opened with `options` on a free connection to the folder.
acetest::Scenario OnVessel(std::string name, UNSIGNED32 options, std::function<void(ADSHANDLE t)> fn) {
  acetest::Scenario s;
  s.name = std::move(name);
  s.prepare = PrepareFolder;
  s.run = [options, fn](const std::string& folder) {
    Connection c(FolderOf(folder));
    ADSHANDLE t = Open(c.h, "vessel", options);
    fn(t);
    CloseQuietly(t);
  };
  s.tables = {"vessel"};
  return s;
}

// cargo.dbf: a DBF table of `type` (NTX with a .dbt, CDX with an .fpt) holding the same five
// records, the second deleted.
acetest::Scenario OnCargo(std::string name, UNSIGNED16 type, UNSIGNED32 options, std::function<void(ADSHANDLE t)> fn) {
  acetest::Scenario s;
  s.name = std::string(type == 1 ? "NTX " : "CDX ") + std::move(name);
  s.prepare = [type](const std::string& folder) {
    Connection c(FolderOf(folder));
    ADSHANDLE t = 0;
    api::AdsCreateTable90(c.h, U8("cargo.dbf"), nullptr, type, 1, 0, 2, 0, U8("ID,Num,6,0;NAME,Char,20;NOTES,Memo;"), 0,
                          nullptr, &t);
    const char* names[] = {"Aurora", "Borealis", "Cygnus", "Draco", "Eridanus"};
    for (int i = 0; i < 5; ++i) AppendRow(t, i + 1, names[i], i % 2 ? "" : std::string("note of ") + names[i]);
    api::AdsGotoRecord(t, 2);
    api::AdsDeleteRecord(t);
    api::AdsCloseTable(t);
  };
  s.run = [type, options, fn](const std::string& folder) {
    Connection c(FolderOf(folder));
    ADSHANDLE t = 0;
    api::AdsOpenTable90(c.h, U8("cargo.dbf"), nullptr, type, 0, 0, 2, options, nullptr, &t);
    fn(t);
    CloseQuietly(t);
  };
  s.tables = {"cargo.dbf"};
  return s;
}

class StorageSweep : public ::testing::TestWithParam<acetest::Scenario> {};

TEST_P(StorageSweep, EveryFaultLeavesTheTablesWholeAndAsReported) {
  acetest::SweepCounts counts = acetest::Sweep(GetParam());
  EXPECT_GT(counts.faults, 0);
  EXPECT_GT(counts.powerCuts, 0);
}

// Copies the table "vessel" of the folder to "copy.adt" beside it.
void CopyVesselToCopy(const std::string& folder) {
  Connection c(FolderOf(folder));
  ADSHANDLE t = Open(c.h, "vessel", kShared);
  api::AdsCopyTable(t, ADS_IGNOREFILTERS, U8(Win(folder + "/copy.adt")));
  CloseQuietly(t);
}

std::vector<acetest::Scenario> Scenarios() {
  std::vector<acetest::Scenario> out;
  out.push_back(OnVessel("append, shared open", kShared, [](ADSHANDLE t) { AppendRow(t, 6, "Fornax", "sixth"); }));
  out.back().killMayLeaveDeletedBlankIn = "vessel";
  out.push_back(OnVessel("append, exclusive open", ADS_EXCLUSIVE, [](ADSHANDLE t) { AppendRow(t, 6, "Fornax", "sixth"); }));
  out.push_back(OnVessel("update", kShared, [](ADSHANDLE t) {
    api::AdsGotoRecord(t, 3);
    Change(t, [&] {
      Set(t, "NAME", "Cassiopeia");
      Set(t, "NOTES", "a longer note that takes another extent of the memo file");
    });
  }));
  out.push_back(OnVessel("delete", kShared, [](ADSHANDLE t) {
    api::AdsGotoRecord(t, 4);
    api::AdsDeleteRecord(t);
  }));
  // A pack, a zap and an encryption change take effect with the rename of the new table file;
  // what fails after it (flushing the folder, rebuilding the index) is reported, and the
  // change stands whole.
  out.push_back(OnVessel("pack", ADS_EXCLUSIVE, [](ADSHANDLE t) { api::AdsPackTable(t); }));
  out.back().failureLeavesBefore = false;
  out.push_back(OnVessel("zap", ADS_EXCLUSIVE, [](ADSHANDLE t) { api::AdsZapTable(t); }));
  out.back().failureLeavesBefore = false;
  out.push_back(OnVessel("reindex", ADS_EXCLUSIVE, [](ADSHANDLE t) { api::AdsReindex61(t, 0); }));
  out.push_back(OnVessel("index creation", ADS_EXCLUSIVE, [](ADSHANDLE t) {
    ADSHANDLE index = 0;
    api::AdsCreateIndex90(t, nullptr, U8("BYBOTH"), U8("STR(ID,4)+NAME"), nullptr, nullptr, 0, 0, nullptr, &index);
  }));
  out.push_back(OnVessel("encryption", ADS_EXCLUSIVE, [](ADSHANDLE t) {
    api::AdsEnableEncryption(t, U8("secret"));
    api::AdsEncryptTable(t);
  }));
  out.back().password = "secret";
  out.back().failureLeavesBefore = false;
  {
    acetest::Scenario s = OnVessel("load of three rows in one transaction", ADS_EXCLUSIVE, nullptr);
    s.run = [](const std::string& folder) {
      Connection c(FolderOf(folder));
      ADSHANDLE t = Open(c.h, "vessel", ADS_EXCLUSIVE);
      api::AdsBeginTransaction(c.h);
      try {
        AppendRow(t, 6, "Fornax", "sixth");
        AppendRow(t, 7, "Grus", "");
        AppendRow(t, 8, "Hydra", "eighth");
      } catch (const engine::EngineError&) {
        Abandon(c.h, t);
        throw;
      }
      api::AdsCommitTransaction(c.h);
      CloseQuietly(t);
    };
    out.push_back(s);
  }
  {
    // One transaction changes two tables in shared opens: whatever stops it, both keep their
    // rows as they were or both show every change. (The tables have no index tags: a reader
    // that opens a table read-only after a crash, before any writable open has undone what the
    // dead transaction left, reads its records as committed but the tags as the transaction
    // left them.)
    acetest::Scenario s = OnVessel("update of two tables in one transaction", kShared, nullptr);
    s.prepare = [](const std::string& folder) {
      Connection c(FolderOf(folder));
      MakeVessel(c.h, "vessel", false);
      MakeVessel(c.h, "escort", false);
    };
    s.run = [](const std::string& folder) {
      Connection c(FolderOf(folder));
      ADSHANDLE vessel = Open(c.h, "vessel", kShared);
      ADSHANDLE escort = Open(c.h, "escort", kShared);
      api::AdsBeginTransaction(c.h);
      try {
        api::AdsGotoRecord(vessel, 3);
        Change(vessel, [&] { Set(vessel, "NAME", "Cygnus II"); });
        api::AdsGotoRecord(escort, 4);
        Change(escort, [&] { Set(escort, "NAME", "Draco II"); });
        api::AdsGotoRecord(escort, 1);
        Change(escort, [&] { Set(escort, "NAME", "Aurora II"); });
      } catch (const engine::EngineError&) {
        Abandon(c.h, escort);
        CloseQuietly(escort);
        CloseQuietly(vessel);
        throw;
      }
      try {
        api::AdsCommitTransaction(c.h);
      } catch (const engine::EngineError&) {
        CloseQuietly(escort);
        CloseQuietly(vessel);
        throw;
      }
      CloseQuietly(escort);
      CloseQuietly(vessel);
    };
    s.tables = {"vessel", "escort"};
    out.push_back(s);
  }
  {
    acetest::Scenario s = OnVessel("restructure", kShared, nullptr);
    s.run = [](const std::string& folder) {
      Connection c(FolderOf(folder));
      api::AdsRestructureTable90(c.h, U8("vessel"), nullptr, ADS_ADT, 0, 0, 0, U8("PORT,Char,10"), nullptr, nullptr, 0,
                                 nullptr);
    };
    // The new file is in place before the folder sync that may fail.
    s.failureLeavesBefore = false;
    out.push_back(s);
  }
  {
    acetest::Scenario s = OnVessel("copy to a new table", kShared, nullptr);
    s.run = CopyVesselToCopy;
    s.tables = {"vessel", "copy"};
    s.failureLeavesBefore = false;
    out.push_back(s);
  }
  {
    acetest::Scenario s = OnVessel("copy over an existing table", kShared, nullptr);
    s.prepare = [](const std::string& folder) {
      Connection c(FolderOf(folder));
      MakeVessel(c.h);
      ADSHANDLE t = 0;
      api::AdsCreateTable90(c.h, U8("copy"), nullptr, ADS_ADT, 1, 0, 2, 0, U8(kFields), 0, nullptr, &t);
      AppendRow(t, 99, "Old", "the old copy's own note");
      ADSHANDLE index = 0;
      api::AdsCreateIndex90(t, nullptr, U8("BYID"), U8("ID"), nullptr, nullptr, 0, 0, nullptr, &index);
      api::AdsCloseTable(t);
    };
    s.run = CopyVesselToCopy;
    s.tables = {"vessel", "copy"};
    s.failureLeavesBefore = false;
    out.push_back(s);
  }
  {
    acetest::Scenario s;
    s.name = "SQL insert";
    s.prepare = PrepareDictionary;
    s.run = [](const std::string& folder) {
      Connection c(DictionaryOf(folder));
      ADSHANDLE st = 0;
      api::AdsCreateSQLStatement(c.h, &st);
      ADSHANDLE cursor = 0;
      api::AdsExecuteSQLDirect(st, U8("INSERT INTO vessel (ID, NAME, NOTES) VALUES (7, 'Grus', 'seventh')"), &cursor);
      api::AdsCloseSQLStatement(st);
    };
    s.tables = {"vessel"};
    s.dictionary = "DB.add";
    out.push_back(s);
  }
  for (UNSIGNED16 type : {UNSIGNED16{1}, UNSIGNED16{2}}) {
    out.push_back(OnCargo("append, shared open", type, kShared, [](ADSHANDLE t) { AppendRow(t, 6, "Fornax", "sixth"); }));
    out.back().killMayLeaveDeletedBlankIn = "cargo.dbf";
    out.push_back(
        OnCargo("append, exclusive open", type, ADS_EXCLUSIVE, [](ADSHANDLE t) { AppendRow(t, 6, "Fornax", "sixth"); }));
    out.push_back(OnCargo("update", type, kShared, [](ADSHANDLE t) {
      api::AdsGotoRecord(t, 3);
      Change(t, [&] {
        Set(t, "NAME", "Cassiopeia");
        Set(t, "NOTES", std::string(700, 'n'));
      });
    }));
    out.push_back(OnCargo("delete", type, kShared, [](ADSHANDLE t) {
      api::AdsGotoRecord(t, 4);
      api::AdsDeleteRecord(t);
    }));
    out.push_back(OnCargo("pack", type, ADS_EXCLUSIVE, [](ADSHANDLE t) { api::AdsPackTable(t); }));
    out.back().failureLeavesBefore = false;
    out.push_back(OnCargo("zap", type, ADS_EXCLUSIVE, [](ADSHANDLE t) { api::AdsZapTable(t); }));
    out.back().failureLeavesBefore = false;
    {
      acetest::Scenario s = OnCargo("restructure", type, kShared, nullptr);
      s.run = [type](const std::string& folder) {
        Connection c(FolderOf(folder));
        api::AdsRestructureTable90(c.h, U8("cargo.dbf"), nullptr, type, 0, 0, 0, U8("PORT,Char,10"), nullptr,
                                   U8("ID,Num,8,1"), 0, nullptr);
      };
      // The new file is in place before the folder sync that may fail.
      s.failureLeavesBefore = false;
      out.push_back(s);
    }
  }
  {
    acetest::Scenario s;
    s.name = "dictionary changes";
    s.prepare = PrepareDictionary;
    s.run = [](const std::string& folder) {
      Connection c(DictionaryOf(folder));
      api::AdsDDCreateUser(c.h, nullptr, U8("ann"), U8("secret"), U8("Ann"));
    };
    s.tables = {"vessel"};
    s.dictionary = "DB.add";
    // SQLite's commit is its journal's removal; flushing the folder after it can still fail.
    s.failureLeavesBefore = false;
    out.push_back(s);
  }
  return out;
}

INSTANTIATE_TEST_SUITE_P(Operations, StorageSweep, ::testing::ValuesIn(Scenarios()),
                         [](const ::testing::TestParamInfo<acetest::Scenario>& info) {
                           std::string n;
                           for (char ch : info.param.name) n += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                           return n;
                         });

// A disk that fills during a load and during a reindex: the failure names the full disk, no
// record reported stored is lost, and the old index stays usable.
TEST(StorageSweepDiskFull, ALoadAndAReindexOnAFullDiskLoseNothing) {
  acetest::Scenario load = OnVessel("load on a full disk", ADS_EXCLUSIVE, nullptr);
  load.run = [](const std::string& folder) {
    Connection c(FolderOf(folder));
    ADSHANDLE t = Open(c.h, "vessel", ADS_EXCLUSIVE);
    api::AdsBeginTransaction(c.h);
    try {
      for (int i = 0; i < 40; ++i) AppendRow(t, 100 + i, "Row " + std::to_string(i), std::string(200, 'x'));
    } catch (const engine::EngineError&) {
      Abandon(c.h, t);
      throw;
    }
    api::AdsCommitTransaction(c.h);
    CloseQuietly(t);
  };
  for (const acetest::Scenario& s :
       {load, OnVessel("reindex on a full disk", ADS_EXCLUSIVE, [](ADSHANDLE t) { api::AdsReindex61(t, 0); })}) {
    acetest::SweepCounts counts = acetest::Sweep(s, ENOSPC);
    bool named = false;
    for (const std::string& e : counts.errors) named = named || e.find("the disk is full") != std::string::npos;
    EXPECT_TRUE(named) << s.name << ": no failure says that the disk is full";
  }
}

}  // namespace
