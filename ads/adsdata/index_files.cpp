// TAdsDataSet: extra index files (TAdsIndexFiles, OpenIndexFile, CloseIndexFile) and creating
// and deleting index orders (AddIndex, AddIndexEx, DeleteIndex, CreateIndexFromDef).
#include <vector>

#include "ads/ace.h"
#include "ads/adsdata.h"
#include "ads/adsdata/adsdata_internal.h"
#include "runtime/text.h"

namespace {
constexpr UNSIGNED32 kIndexUnique = 1;
constexpr UNSIGNED32 kIndexCompound = 2;
constexpr UNSIGNED32 kIndexDescending = 8;
constexpr UNSIGNED32 kIndexCandidate = 2048;
constexpr UNSIGNED16 kFileNameAndExtension = 2;
const QString kCaseAndExpression = QStringLiteral("ixCaseInsensitive is not supported with ixExpression indexes");

// The file-name part of a path (after the last "\" or "/").
QString FilePart(const QString& path) {
  const qsizetype cut = std::max(path.lastIndexOf(QLatin1Char('\\')), path.lastIndexOf(QLatin1Char('/')));
  return path.mid(cut + 1);
}

UNSIGNED8* Text(QByteArray& b) { return b.isNull() ? nullptr : reinterpret_cast<UNSIGNED8*>(b.data()); }
}  // namespace

// ---- TAdsIndexFiles -------------------------------------------------------------------------

TAdsIndexFiles::TAdsIndexFiles(TAdsDataSet* AOwner) : mpoOwner(AOwner) {
  if (AOwner == nullptr)
    throw EADSDatabaseError(nullptr, kAdsComponentError, QStringLiteral("TAdsIndexFiles instances require a non-nil owner"));
  SetSorted(true);
  SetDuplicates(dupIgnore);
}

int TAdsIndexFiles::Add(const QString& strValue) {
  if (mpoOwner->Active()) mpoOwner->OpenIndexFile(strValue);
  mpoOwner->IndexDefs().SetUpdated(false);
  return TStringList::Add(strValue);
}

void TAdsIndexFiles::Insert(int Index, const QString& S) {
  TStringList::Insert(Index, S);
  if (mpoOwner->Active()) mpoOwner->OpenIndexFile(S);
  mpoOwner->IndexDefs().SetUpdated(false);
}

void TAdsIndexFiles::Delete(int Index) {
  if (mpoOwner->Active()) mpoOwner->CloseIndexFile(Strings(Index));
  mpoOwner->IndexDefs().SetUpdated(false);
  TStringList::Delete(Index);
}

void TAdsIndexFiles::Clear() {
  if (mpoOwner->Active())
    for (int i = 0; i < Count(); ++i) mpoOwner->CloseIndexFile(Strings(i));
  TStringList::Clear();
}

// ---- opening and closing index files --------------------------------------------------------

void TAdsDataSet::OpenIndexFile(const QString& strIndexName) {
  if (!Active()) RaiseComponentError(QStringLiteral("Table must be Active."));
  const bool hasFolder = strIndexName.contains(QLatin1Char('/')) || strIndexName.contains(QLatin1Char('\\'));
  QByteArray path = ToAnsi(hasFolder ? strIndexName : GetDatabasePath() + QLatin1Char('\\') + strIndexName);
  ADSHANDLE orders[256] = {};
  UNSIGNED16 count = 256;
  CheckAceResult(this, ::AdsOpenIndex(mlHandle, Text(path), orders, &count));
  mpoIndexDefs->SetUpdated(false);
}

void TAdsDataSet::CloseIndexFile(const QString& strIndexName) {
  if (!Active()) RaiseComponentError(QStringLiteral("Table must be Active."));
  const QString wanted = FilePart(strIndexName);
  auto fileOf = [this](ADSHANDLE order) {
    UNSIGNED8 name[260] = {};
    UNSIGNED16 length = sizeof name - 1;
    CheckAceResult(this, ::AdsGetIndexFilename(order, kFileNameAndExtension, name, &length));
    return FilePart(FromAnsi(reinterpret_cast<const char*>(name)));
  };
  bool activeInFile = false;
  if (mlActiveHandle != mlHandle) activeInFile = SameTextAZ(fileOf(mlActiveHandle), wanted);
  UNSIGNED16 count = 0;
  CheckAceResult(this, ::AdsGetNumIndexes(mlHandle, &count));
  std::vector<ADSHANDLE> orders(count > 0 ? count : 1);
  UNSIGNED16 got = count;
  CheckAceResult(this, ::AdsGetAllIndexes(mlHandle, orders.data(), &got));
  for (UNSIGNED16 i = 0; i < got && i < count; ++i) {
    if (!SameTextAZ(fileOf(orders[i]), wanted)) continue;
    // The active order's scope or range is lifted while the order still exists: once its file
    // is closed the engine no longer knows the order, and the dataset would be left on it.
    if (activeInFile) SetIndexName(QString());
    CheckAceResult(this, ::AdsCloseIndex(orders[i]));
    return;
  }
}

// ---- creating and deleting index orders -----------------------------------------------------

void TAdsDataSet::AddIndex(const QString& strName, const QString& strFields, TIndexOptions poOptions) {
  const bool tagged = meTableType == ttAdsCDX || meTableType == ttAdsADT || meTableType == ttAdsVFP;
  createIndex(tagged ? QString() : strName, tagged ? strName : QString(), strFields, poOptions);
}

void TAdsDataSet::AddIndexEx(const QString& strFileName, const QString& strIndexName, const QString& strFields,
                             TIndexOptions poOptions) {
  const bool tagged = meTableType == ttAdsCDX || meTableType == ttAdsADT || meTableType == ttAdsVFP;
  createIndex(tagged ? strFileName : strIndexName, tagged ? strIndexName : QString(), strFields, poOptions);
}

void TAdsDataSet::createIndex(const QString& file, const QString& tag, const QString& fields, TIndexOptions options) {
  UNSIGNED32 engineOptions = 0;
  if (options.testFlag(ixUnique)) engineOptions |= meTableType == ttAdsVFP ? kIndexCandidate : kIndexUnique;
  if (options.testFlag(ixDescending)) engineOptions |= kIndexDescending;
  if (meTableType == ttAdsCDX || meTableType == ttAdsADT || meTableType == ttAdsVFP) engineOptions |= kIndexCompound;

  withWorkHandle([&](uint32_t handle) {
    if (options.testFlag(ixCaseInsensitive) && options.testFlag(ixExpression)) RaiseComponentError(kCaseAndExpression);
    QString expression = fields;
    if (options.testFlag(ixCaseInsensitive)) {
      QStringList parts = fields.split(QLatin1Char(';'));
      for (QString& part : parts) {
        QByteArray name = ToAnsi(part);
        UNSIGNED16 type = 0;
        // The type only decides the UPPER wrapping; a name the engine does not know stays as
        // it is and the creation below reports it.
        ::AdsGetFieldType(handle, Text(name), &type);
        if (type == ADS_STRING || type == ADS_VARCHAR_FOX || type == ADS_NCHAR || type == ADS_NVARCHAR) part = QStringLiteral("UPPER(") + part + QLatin1Char(')');
      }
      expression = parts.join(QLatin1Char(';'));
    }
    if (meTableType != ttAdsADT) expression.replace(QLatin1Char(';'), QLatin1Char('+'));
    QByteArray fileText = file.isEmpty() ? QByteArray() : ToAnsi(file);
    QByteArray tagText = tag.isEmpty() ? QByteArray() : ToAnsi(tag);
    QByteArray expressionText = ToAnsi(expression);
    QByteArray collation = ToAnsi(GetEffectiveCollation());
    ADSHANDLE order = 0;
    CheckAceResult(this, ::AdsCreateIndex90(handle, Text(fileText), Text(tagText), Text(expressionText), nullptr,
                                            nullptr, engineOptions, mpoAdsTableOptions->AdsIndexPageSize(),
                                            collation.isEmpty() ? nullptr : Text(collation), &order));
  });
  mpoIndexDefs->SetUpdated(false);
}

void TAdsDataSet::DeleteIndex(const QString& strName) {
  if (!Active() || !mbExclusive) RaiseComponentError(QStringLiteral("Table must be Active and Exclusive."));
  QByteArray name = ToAnsi(strName);
  ADSHANDLE order = 0;
  CheckAceResult(this, ::AdsGetIndexHandle(mlHandle, Text(name), &order));
  if (order == mlActiveHandle) RaiseComponentError(QStringLiteral("Cannot delete the active index!"));
  CheckAceResult(this, ::AdsDeleteIndex(order));
  mpoIndexDefs->SetUpdated(false);
}

void CreateIndexFromDef(uint32_t hTable, uint16_t usTableType, const TIndexDef& def, const QString& strCollation,
                        uint32_t ulPageSize) {
  const TIndexOptions options = def.Options();
  if (options.testFlag(ixCaseInsensitive) && options.testFlag(ixExpression))
    throw EADSDatabaseError(nullptr, kAdsComponentError, kCaseAndExpression);
  constexpr uint16_t kNtx = 1, kVfp = 4;
  UNSIGNED32 engineOptions = 0;
  if (options.testFlag(ixUnique)) engineOptions |= usTableType == kVfp ? kIndexCandidate : kIndexUnique;
  if (options.testFlag(ixDescending)) engineOptions |= kIndexDescending;
  if (usTableType != kNtx) engineOptions |= kIndexCompound;
  QString expression;
  if (options.testFlag(ixExpression)) {
    expression = def.Expression();
  } else {
    QStringList parts = def.Fields().split(QLatin1Char(';'));
    if (options.testFlag(ixCaseInsensitive)) {
      for (QString& part : parts) {
        QByteArray name = ToAnsi(part);
        UNSIGNED16 type = 0;
        ::AdsGetFieldType(hTable, Text(name), &type);
        if (type == ADS_STRING || type == ADS_VARCHAR_FOX || type == ADS_NCHAR || type == ADS_NVARCHAR) part = QStringLiteral("UPPER(") + part + QLatin1Char(')');
      }
    }
    expression = parts.join(QLatin1Char(usTableType == kAceTypeADT ? ';' : '+'));
  }
  QByteArray name = ToAnsi(def.Name());
  QByteArray expressionText = ToAnsi(expression);
  QByteArray collation = ToAnsi(strCollation);
  ADSHANDLE order = 0;
  CheckAceResult(nullptr, ::AdsCreateIndex90(hTable, usTableType == kNtx ? Text(name) : nullptr,
                                             usTableType == kNtx ? nullptr : Text(name), Text(expressionText), nullptr,
                                             nullptr, engineOptions, ulPageSize,
                                             collation.isEmpty() ? nullptr : Text(collation), &order));
}
