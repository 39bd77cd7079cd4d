// Entry points for the encryption of a table handle: enabling it with the table's password,
// encrypting and decrypting the whole table or the current record, and asking what is
// encrypted. The key belongs to the handle that enabled it (engine/table/table.h).
#include <memory>

#include "engine/core/connection.h"
#include "engine/core/error.h"
#include "engine/core/text_out.h"
#include "engine/table/api/table_handles.h"
#include "engine_api/entry_points.h"

namespace engine::api {

using table::TableOf;

namespace {

// The cipher a table gets when a handle of this connection encrypts it: the connection's
// "EncryptionType" item. AES128 gives AES-128-GCM; AES256, the default and RC4 give
// AES-256-GCM (RC4 is neither sound nor authenticated, so it is never used to store data).
table::CipherKind KindFor(const table::TableCursor& c) {
  if (c.info().connection != 0) {
    try {
      std::shared_ptr<core::Connection> conn = core::Connections::Get(c.info().connection);
      if (conn->encryption_type == "AES128") return table::CipherKind::kAes128Gcm;
    } catch (const EngineError&) {
      // The connection has gone since the table was opened: the default cipher serves.
    }
  }
  return table::CipherKind::kAes256Gcm;
}

uint32_t CurrentRecord(table::TableCursor& c) {
  if (c.recordNumber() == 0) c.Current();  // 5068 without a current record
  return c.recordNumber();
}

void CheckNotLockedByOthers(table::TableCursor& c, uint32_t n) {
  if (c.table().IsRecordLockedByOthers(n)) {
    Fail(err::kRecordLocked, "Record " + std::to_string(n) + " is locked by another user.");
  }
}

}  // namespace

UNSIGNED32 AdsEnableEncryption(ADSHANDLE hTable, UNSIGNED8* pucPassword) {
  std::shared_ptr<table::TableCursor> c = TableOf(hTable);
  std::string password = core::InText(core::Require(pucPassword, "pucPassword"));
  if (password.empty()) Fail(err::kInvalidArgument, "AdsEnableEncryption: the password is empty.");
  c->FlushPending();
  c->table().EnableEncryption(password, KindFor(*c));
  c->ForgetImages();
  return 0;
}

UNSIGNED32 AdsDisableEncryption(ADSHANDLE hTable) {
  std::shared_ptr<table::TableCursor> c = TableOf(hTable);
  // A pending change is stored with the key it was made under.
  c->FlushPending();
  c->table().DisableEncryption();
  c->ForgetImages();
  return 0;
}

UNSIGNED32 AdsIsEncryptionEnabled(ADSHANDLE hTable, UNSIGNED16* pbEnabled) {
  core::Out(pbEnabled, TableOf(hTable)->table().encryptionEnabled() ? 1 : 0, "pbEnabled");
  return 0;
}

UNSIGNED32 AdsIsTableEncrypted(ADSHANDLE hTable, UNSIGNED16* pbEncrypted) {
  core::Out(pbEncrypted, TableOf(hTable)->table().encrypted() ? 1 : 0, "pbEncrypted");
  return 0;
}

UNSIGNED32 AdsIsRecordEncrypted(ADSHANDLE hTable, UNSIGNED16* pbEncrypted) {
  std::shared_ptr<table::TableCursor> c = TableOf(hTable);
  core::Require(pbEncrypted, "pbEncrypted");
  if (c->recordNumber() == 0) c->Current();  // 5068
  core::Out(pbEncrypted, c->table().IsRecordEncrypted(c->recordNumber()) ? 1 : 0, "pbEncrypted");
  return 0;
}

UNSIGNED32 AdsEncryptTable(ADSHANDLE hTable) {
  std::shared_ptr<table::TableCursor> c = TableOf(hTable);
  c->FlushPending();
  c->table().EncryptTable();
  c->ForgetImages();
  return 0;
}

UNSIGNED32 AdsDecryptTable(ADSHANDLE hTable) {
  std::shared_ptr<table::TableCursor> c = TableOf(hTable);
  c->FlushPending();
  c->table().DecryptTable();
  c->ForgetImages();
  return 0;
}

UNSIGNED32 AdsEncryptRecord(ADSHANDLE hTable) {
  std::shared_ptr<table::TableCursor> c = TableOf(hTable);
  c->FlushPending();
  uint32_t n = CurrentRecord(*c);
  CheckNotLockedByOthers(*c, n);
  c->table().EncryptRecord(n);
  c->ForgetImages();
  return 0;
}

UNSIGNED32 AdsDecryptRecord(ADSHANDLE hTable) {
  std::shared_ptr<table::TableCursor> c = TableOf(hTable);
  c->FlushPending();
  uint32_t n = CurrentRecord(*c);
  CheckNotLockedByOthers(*c, n);
  c->table().DecryptRecord(n);
  c->ForgetImages();
  return 0;
}

}  // namespace engine::api
