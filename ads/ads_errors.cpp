#include "ads/ads_errors.h"

#include "ads/ace.h"
#include "ads/ads_dataset_client.h"
#include "runtime/component.h"
#include "runtime/text.h"

namespace {

thread_local bool tlsBuildingAdsError = false;

// The engine's last error text, read with the buffer the layer always uses: 601 bytes, of
// which 600 may be filled.
struct LastError {
  uint32_t code = 0;
  QString text;
  uint32_t result = 0;
};

LastError ReadLastError(uint32_t seed) {
  LastError e;
  UNSIGNED32 code = seed;
  UNSIGNED8 buffer[601] = {};
  UNSIGNED16 length = 600;
  e.result = AdsGetLastError(&code, buffer, &length);
  e.code = code;
  buffer[600] = 0;
  e.text = FromAnsi(reinterpret_cast<const char*>(buffer));
  return e;
}

constexpr int kMaxColumnName = 900;

}  // namespace

bool BuildingAdsError() { return tlsBuildingAdsError; }
void SetBuildingAdsError(bool value) { tlsBuildingAdsError = value; }

uint32_t ParseSqlErrorCode(const QString& msg) {
  const QString upper = UpperCaseAZ(msg);
  static const QString kError = QStringLiteral("ERROR 7200:");
  static const QString kNative = QStringLiteral("NATIVEERROR = ");
  if (!upper.contains(kError)) return 0;
  const qsizetype at = upper.indexOf(kNative);
  if (at < 0) return 0;
  const qsizetype start = at + kNative.size();
  qsizetype end = msg.indexOf(QLatin1Char(';'), start);
  if (end < 0) end = msg.size();
  bool ok = false;
  const uint value = msg.mid(start, end - start).toUInt(&ok, 10);
  return ok ? value : 0;
}

QString ParseColumnName(const QString& msg) {
  static const QString kMarker = QStringLiteral("column \"");
  const qsizetype at = msg.indexOf(kMarker);
  if (at < 0) return QString();
  QString rest = msg.mid(at + kMarker.size());
  const qsizetype quote = rest.indexOf(QLatin1Char('"'));
  if (quote >= 0) rest.truncate(quote);
  return rest.left(kMaxColumnName);
}

EADSDatabaseError::EADSDatabaseError(AdsDataSetClient* oDataSet, uint32_t ulErrCode, const QString& strMsg)
    : EDatabaseError(QString()) {
  // A failure met while another error is being built on this thread yields an empty error,
  // which the guard of the outer construction drops.
  if (tlsBuildingAdsError) return;
  tlsBuildingAdsError = true;
  ulACEError = ulErrCode;
  try {
    if (oDataSet != nullptr) {
      TComponent& component = oDataSet->ClientComponent();
      strDataSetInstanceName = component.Name();
      strDataSetInstanceOwner = component.Owner() != nullptr ? component.Owner()->Name() : QString();
      strDatabaseName = oDataSet->DatabaseName();
      strDatabasePath = oDataSet->GetDatabasePath();
      strTableName = oDataSet->TableName();
      if (ulErrCode == 5147 || ulErrCode == 5148 || ulErrCode == 5149) strColumnName = ParseColumnName(strMsg);
    }
    ulSQLErrorCode = ParseSqlErrorCode(strMsg);
  } catch (const std::exception&) {
    // Gathering the fields is best effort: the error keeps what was gathered so far and is
    // raised with its full message all the same.
  }
  SetMessage(strDataSetInstanceName.isEmpty() ? strMsg : strDataSetInstanceName + QStringLiteral(": ") + strMsg);
  tlsBuildingAdsError = false;
}

EADSDatabaseError::~EADSDatabaseError() { tlsBuildingAdsError = false; }

AdsError::AdsError(uint32_t ulRetCode, int /*unusedvar*/) : Exception(QString()) {
  const LastError e = ReadLastError(ulRetCode);
  if (e.result == 0) {
    SetMessage(e.text);
  } else {
    // The engine cannot tell what went wrong; let it report to the user itself.
    static UNSIGNED8 title[] = "Ads Exception Error";
    AdsShowError(title);
  }
}

void CheckAceResult(AdsDataSetClient* dataset, uint32_t code) {
  if (code == 0) return;
  if (tlsBuildingAdsError) return;
  // Should AdsGetLastError itself fail, the buffer stays empty and the error carries the
  // code it reported with an empty text.
  const LastError e = ReadLastError(code);
  throw EADSDatabaseError(dataset, e.code, e.text);
}
