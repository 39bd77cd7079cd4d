// TAdsConnection: running SQL through Execute, the cache of prepared statements it keeps, and
// closing that cache.
//
// A cached statement is found by the hash of its text (case-sensitive, so a text in another
// letter case is prepared again) and then by the text itself. Cached statements stay prepared
// until the connection disconnects, commits or rolls back. An entry whose statement could not
// be created or prepared is removed again, so the cache only ever holds live statements.
#include <algorithm>

#include "ads/ace.h"
#include "ads/adscnnct.h"
#include "ads/statement_binding.h"
#include "runtime/data/params.h"
#include "runtime/text.h"

namespace {

constexpr uint32_t kAeNoRowCount = 5117;
// AdsGetRecordCount option: the rows a statement affected, whatever filters say.
constexpr uint16_t kIgnoreFilters = 2;

std::u16string WideText(const QString& text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size()));
}

UNSIGNED8* Bytes(QByteArray& a) { return reinterpret_cast<UNSIGNED8*>(a.data()); }

}  // namespace

int32_t TAdsConnection::Execute(const QString& SQL, TParams* Params, bool Cache, ADSHANDLE* Cursor) {
  return executeStatement(nullptr, SQL, Params, Cache, Cursor);
}

int32_t TAdsConnection::Execute(const TAdsDatasetOptions& oAdsDatasetOptions, const QString& SQL, TParams* Params,
                                bool Cache, ADSHANDLE* Cursor) {
  return executeStatement(&oAdsDatasetOptions, SQL, Params, Cache, Cursor);
}

int32_t TAdsConnection::executeStatement(const TAdsDatasetOptions* options, const QString& SQL, TParams* Params,
                                         bool Cache, ADSHANDLE* Cursor) {
  if (!FConnected) SetIsConnected(true);

  TStmtInfo* entry = Cache ? &FindOrAddCachedStatement(SQL) : nullptr;
  ADSHANDLE statement = entry != nullptr ? entry->StmtHandle : 0;
  if (statement == 0) {
    try {
      CheckAceResult(nullptr, AdsCreateSQLStatement(FhConnection, &statement));
      if (Cursor != nullptr) CheckAceResult(nullptr, AdsStmtSetTableReadOnly(statement, 1));
      if (options != nullptr) {
        CheckAceResult(nullptr, AdsStmtSetTableType(statement, options->musAdsTableType));
        CheckAceResult(nullptr, AdsStmtSetTableCharType(statement, options->musAdsCharType));
        CheckAceResult(nullptr, AdsStmtSetTableLockType(statement, options->musAdsLockType));
        CheckAceResult(nullptr, AdsStmtSetTableRights(statement, options->musAdsRightsCheck));
      }
      const QString collation = options != nullptr ? options->mstrCollation : FAdsCollation;
      if (!collation.isEmpty()) {
        QByteArray text = ToAnsi(collation);
        CheckAceResult(nullptr, AdsStmtSetTableCollation(statement, Bytes(text)));
      }
      std::u16string text = WideText(SQL);
      CheckAceResult(nullptr, AdsPrepareSQLW(statement, reinterpret_cast<WCHAR*>(text.data())));
    } catch (...) {
      // Its result does not matter: the failure being raised is the one to report.
      if (statement != 0) AdsCloseSQLStatement(statement);
      if (entry != nullptr) {
        auto it = std::find_if(FStmtList.begin(), FStmtList.end(), [&](const auto& e) { return e.get() == entry; });
        if (it != FStmtList.end()) FStmtList.erase(it);
      }
      throw;
    }
    if (entry != nullptr) {
      entry->SQLText = SQL;
      entry->StmtHandle = statement;
    }
  }

  int32_t result = 0;
  try {
    if (Params != nullptr && Params->Count() > 0) {
      for (int i = 0; i < Params->Count(); ++i) {
        BindStatementParam(nullptr, statement, static_cast<uint16_t>(i + 1), *Params->Items(i),
                           StructuredParamTypes::kRefused);
      }
      CheckAceResult(nullptr, AdsExecuteSQL(statement, Cursor));
    } else {
      std::u16string text = WideText(SQL);
      CheckAceResult(nullptr, AdsExecuteSQLDirectW(statement, reinterpret_cast<WCHAR*>(text.data()), Cursor));
    }
    if (Cursor == nullptr) {
      UNSIGNED32 count = 0;
      const UNSIGNED32 rc = AdsGetRecordCount(statement, kIgnoreFilters, &count);
      // The first form takes a statement without a row count (5117) as 0 rows.
      if (options != nullptr || rc != kAeNoRowCount) CheckAceResult(nullptr, rc);
      if (rc == 0) result = static_cast<int32_t>(count);
    }
  } catch (...) {
    // A statement that is not kept is closed whatever happened; the failure is the one raised.
    if (!Cache) AdsCloseSQLStatement(statement);
    throw;
  }
  // A cursor handed out with an uncached statement closes with it: callers that want the
  // rows keep the statement by caching it.
  if (!Cache) CheckAceResult(nullptr, AdsCloseSQLStatement(statement));
  return result;
}

int32_t TAdsConnection::StatementHash(const QString& sql) {
  uint32_t h = 0;
  const qsizetype n = sql.size();
  if (n < 16) {
    for (QChar c : sql) h = h * 37u + c.unicode();
  } else {
    const qsizetype step = n / 8;
    for (qsizetype i = 0; i < n; i += step) h = h * 39u + sql[i].unicode();
  }
  return static_cast<int32_t>(h);
}

TStmtInfo& TAdsConnection::FindOrAddCachedStatement(const QString& sql) {
  const int32_t hash = StatementHash(sql);
  for (auto& entry : FStmtList) {
    if (entry->HashCode == hash && SameTextAZ(entry->SQLText, sql)) return *entry;
  }
  FStmtList.push_back(std::make_unique<TStmtInfo>());
  FStmtList.back()->HashCode = hash;
  return *FStmtList.back();
}

void TAdsConnection::CloseCachedStatements() {
  // Entries whose statement was never created hold no handle and are only freed: closing a
  // zero handle must not abort a disconnect.
  // Every statement is closed and every entry freed; the first failure is raised afterwards.
  std::vector<std::unique_ptr<TStmtInfo>> entries;
  entries.swap(FStmtList);
  UNSIGNED32 firstFailure = 0;
  for (auto& entry : entries) {
    if (entry->StmtHandle == 0) continue;
    const UNSIGNED32 rc = AdsCloseSQLStatement(entry->StmtHandle);
    if (rc != 0 && firstFailure == 0) firstFailure = rc;
  }
  CheckAceResult(nullptr, firstFailure);
}
