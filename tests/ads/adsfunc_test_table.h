// An extended table for the extended members' tests: it opens the free table named by its table
// name on an implicit connection (the folder given as DatabaseName), shared, or exclusively after
// SetExclusive(true), as the maintenance members (rebuild, pack, zap, encryption) need.
#pragma once

#include <QByteArray>
#include <QString>

#include "ads/ace.h"
#include "ads/adsfunc.h"
#include "runtime/text.h"

class TestExtendedTable : public TAdsExtendedTable {
 public:
  explicit TestExtendedTable(TComponent* owner) : TAdsExtendedTable(owner) {}
  ~TestExtendedTable() override { CloseForDestruction(); }
  void SetTableName(const QString& name) { mstrTableName = name; }
  void SetExclusive(bool exclusive) { mbExclusive = exclusive; }

 protected:
  uint32_t AcquireEngineHandle() override {
    const uint32_t connection = ConnectAndGetHandle();
    QByteArray name = ToAnsi(mstrTableName);
    ADSHANDLE table = 0;
    CheckAceResult(this, ::AdsOpenTable90(connection, reinterpret_cast<UNSIGNED8*>(name.data()), nullptr, 3, 1, 1, 2,
                                          mbExclusive ? 1 : 0, nullptr, &table));
    CheckAceResult(this, ::AdsGetTableType(table, &musAceTableType));
    SyncCharType(table);
    return table;
  }
};
