// The table and query components.
//
// TAdsTable opens one table of a data dictionary or one free table: its properties (Exclusive,
// ReadOnly, TableName, TableType, IndexCollationMismatch, EncryptionPassword) take effect at the
// next open, and AcquireEngineHandle turns them into an engine table handle (AdsOpenTable90 with
// the dictionary's name and type 0 on a dictionary connection, the path and the derived type on
// a free one, one retry as a free table after 5132).
//
// Threading: a component is used by one thread at a time.
#pragma once

#include <QString>

#include "ads/adsfunc.h"

// What the engine does when an index was built with another collation than the table's.
enum TIndexCollationMismatchOptions { icmError, icmIgnore, icmReindex };

class TAdsTable : public TAdsExtendedTable {
 public:
  explicit TAdsTable(TComponent* AOwner);
  ~TAdsTable() override;

  bool Exclusive() const { return mbExclusive; }
  // Refused while open ("Cannot perform this operation on an open dataset").
  void SetExclusive(bool value);
  bool ReadOnly() const { return mbReadOnly; }
  void SetReadOnly(bool value);
  // Refused while open. A different name (compared with case) clears IndexFiles unless the
  // component is being read; then UpdateDefaultIndex and a property-change event.
  void SetTableName(const QString& value);
  // The generic table-type setter: refused while open, checked against the alias's or the
  // connection's table type, then stored with its engine code.
  void SetTableType(TAdsTableTypes value) override;
  TIndexCollationMismatchOptions IndexCollationMismatch() const { return meIndexCollationMismatch; }
  void SetIndexCollationMismatch(TIndexCollationMismatchOptions value);
  QString EncryptionPassword() const { return FstrEncryptionPassword; }
  void SetEncryptionPassword(const QString& value) { FstrEncryptionPassword = value; }
  bool StoreDefs() const { return FStoreDefs; }
  void SetStoreDefs(bool value) { FStoreDefs = value; }
  QString InfoExpression() const { return mstrExprStruct; }
  void SetInfoExpression(const QString& value) { mstrExprStruct = value; }

  // Native database path, "\", TableName and, without an extension, ".adt" (ADT) or ".dbf".
  QString TablePathWithExtension();
  // Open, or the table file exists.
  bool Exists();
  // AdsGetLastAutoinc of the open table; 2^31 and above is a range error.
  int FetchLastAutoInc();
  int LastAutoincVal() { return FetchLastAutoInc(); }

 protected:
  uint32_t AcquireEngineHandle() override;
  void DefChanged() override { FStoreDefs = true; }

 private:
  // The open options of AcquireEngineHandle's table (may set ReadOnly from the connection).
  uint32_t OpenOptions();

  TIndexCollationMismatchOptions meIndexCollationMismatch = icmError;
  QString FstrEncryptionPassword;
  bool FStoreDefs = false;
};
