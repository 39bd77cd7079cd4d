// The exception classes of the data-access layer and the check every engine result goes to.
//
// EADSDatabaseError carries engine failures and the datasets' own refusals (code 5121), with
// the identity of the dataset involved; AdsError and AdsConnectionError are raised by the
// connection component only. CheckAceResult turns a non-zero engine code into an
// EADSDatabaseError built from the engine's last error.
//
// While an EADSDatabaseError is being built, the per-thread flag BuildingAdsError is set: a
// second failure met on the same thread during that time (for example while the dataset's path
// is resolved for the error's fields) is dropped, so that the first error is the one raised.
//
// Threading: everything here may be used from any thread; BuildingAdsError is per thread.
#pragma once

#include <QString>
#include <cstdint>

#include "runtime/exception.h"

class AdsDataSetClient;

// Code of the layer's own refusals.
constexpr uint32_t kAdsComponentError = 5121;

// True while an EADSDatabaseError is being built on the calling thread.
bool BuildingAdsError();
void SetBuildingAdsError(bool value);

class EADSDatabaseError : public EDatabaseError {
 public:
  // oDataSet may be null. The message becomes the dataset's component name + ": " + strMsg
  // when the dataset has a non-empty name, else strMsg.
  EADSDatabaseError(AdsDataSetClient* oDataSet, uint32_t ulErrCode, const QString& strMsg);
  EADSDatabaseError(const EADSDatabaseError&) = default;
  // Clears BuildingAdsError on the destroying thread.
  ~EADSDatabaseError() override;

  uint32_t ACEErrorCode() const { return ulACEError; }
  uint32_t SQLErrorCode() const { return ulSQLErrorCode; }
  QString DataSetInstanceName() const { return strDataSetInstanceName; }
  QString DataSetInstanceOwner() const { return strDataSetInstanceOwner; }
  QString DatabaseName() const { return strDatabaseName; }
  QString DatabasePath() const { return strDatabasePath; }
  QString TableName() const { return strTableName; }
  QString ColumnName() const { return strColumnName; }

 private:
  uint32_t ulACEError = 0;
  uint32_t ulSQLErrorCode = 0;
  QString strDataSetInstanceName;
  QString strDataSetInstanceOwner;
  QString strDatabaseName;
  QString strDatabasePath;
  QString strTableName;
  QString strColumnName;
};

// An engine failure met by the connection component; the message is the engine's last error.
class AdsError : public Exception {
 public:
  // ulRetCode only seeds the code out-parameter handed to AdsGetLastError; unusedvar has no
  // effect. When AdsGetLastError itself fails, the engine reports "Ads Exception Error" to the
  // user (AdsShowError) and the message stays empty.
  AdsError(uint32_t ulRetCode, int unusedvar);
};

// A refusal of the connection component itself.
class AdsConnectionError : public Exception {
 public:
  explicit AdsConnectionError(const QString& acMsg) : Exception(acMsg) {}
};

// Returns when code is 0; otherwise raises EADSDatabaseError with the engine's last error code
// and text (not the code passed in). Does nothing while an error is being built on this thread.
void CheckAceResult(AdsDataSetClient* dataset, uint32_t code);

// The parsing rules of EADSDatabaseError, callable on their own: the native SQL error number
// after "NATIVEERROR = " of a message containing "ERROR 7200:" (either in any letter case), and
// the column name after `column "` for the column error codes.
uint32_t ParseSqlErrorCode(const QString& msg);
QString ParseColumnName(const QString& msg);
