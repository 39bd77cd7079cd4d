// TAdsDataSet: Locate and Lookup.
//
// The key values are written into the spare record buffer through the key fields (state
// dsFilter), so they arrive in the engine's record layout. Then one of two ways finds them:
//  - an index seek, on an order whose leading fields are the key fields and that holds every
//    record (no scope, condition, uniqueness on DBF tables or custom keys); the active order
//    comes first, and a restricted active order is the only one allowed;
//  - a temporary engine filter built from the values, set as an optimised filter (or, when one
//    is already set, as an expression filter) and removed again afterwards.
// The options decide which way may serve: a case-insensitive search seeks only where the
// engine's text prefixes may ignore case (one national-string field, partial), and what such a
// seek misses in an order that tells cases apart is looked for by the filter; a search while
// OnFilterRecord filters, or for a key without a value (an empty field), never seeks.
//
// What is found is the engine's answer, checked where the engine's answer can be looser than
// the values: an order's key may be computed from the fields (UPPER(NAME), LEFT(NAME, 3)), so
// the record a seek lands on is compared with the values and, when it does not hold them, the
// filter way decides; and the expression language reads national strings in the ANSI code page,
// where every character that page lacks reads as "?", so for a national-string key each record
// the filter admits is compared with the values (a value "Ж" would match "Щ", and a value "?"
// any record holding a character the page lacks).
// A value its field cannot hold (too long, not representable, a fraction for an integer field)
// is found nowhere.
//
// Every temporary change (state, exact setting, filters) is undone also when a step fails; a
// search that finds nothing leaves the engine where it was.
#include <QByteArray>
#include <cmath>
#include <cstring>
#include <vector>

#include "ads/ace.h"
#include "ads/adsdata.h"
#include "ads/adsdata/adsdata_internal.h"
#include "ads/adsdata/filter_text.h"
#include "runtime/data/bcd.h"
#include "runtime/data/db_errors.h"
#include "runtime/text.h"

namespace {

constexpr uint32_t kAeNoFilter = 5037;
constexpr uint32_t kAeNotOnARecord = 5068;  // at BOF or EOF: no record to mark
constexpr uint32_t kAeFilterIsSet = 5211;
constexpr uint32_t kAeNotCustomIndex = 5017;
constexpr uint32_t kFilterTextIsUtf16 = 8192;
constexpr uint32_t kTemporaryAofOptions = 8194;  // resolved at first use, text in UTF-16
constexpr size_t kKeyCapacity = 4082;
constexpr size_t kScopeCapacity = 4082;
constexpr size_t kSegmentNameCapacity = 510;
constexpr UNSIGNED16 kConditionCapacity = 10;
constexpr UNSIGNED16 kSeekRawKey = 1;
constexpr UNSIGNED16 kSeekSoft = 1;
constexpr int kDeepestSegment = 100;
constexpr double kMsPerDay = 86400000.0;

bool IsCharType(uint16_t t) {
  return t == ADS_STRING || t == ADS_CISTRING || t == ADS_VARCHAR_FOX;
}
bool IsWideType(uint16_t t) {
  return t == ADS_NCHAR || t == ADS_NVARCHAR;
}
bool IsStringType(uint16_t t) {
  return IsCharType(t) || IsWideType(t);
}

bool IsIntegerField(TFieldType t) {
  return t == ftSmallint || t == ftInteger || t == ftWord || t == ftLargeint || t == ftAutoInc;
}
bool IsNumberField(TFieldType t) {
  return IsIntegerField(t) || t == ftFloat || t == ftCurrency || t == ftBCD || t == ftFMTBcd;
}

QString WithoutTrailingBlanks(QString s) {
  qsizetype n = s.size();
  while (n > 0 && s[n - 1] == u' ') --n;
  s.truncate(n);
  return s;
}

bool IsList(const QVariant& v) {
  return v.typeId() == QMetaType::QVariantList || v.typeId() == QMetaType::QStringList;
}

// From the engine's current record on, along `order`, the first record on which the ANSI
// expression holds; false when the end comes first.
bool EvaluateFromHere(TAdsDataSet* ds, uint32_t table, uint32_t order, QByteArray& expression) {
  UNSIGNED16 result = 0;
  for (;;) {
    UNSIGNED16 atEnd = 0;
    CheckAceResult(ds, ::AdsAtEOF(table, &atEnd));
    if (atEnd != 0) return false;
    CheckAceResult(ds, ::AdsEvalLogicalExpr(order, reinterpret_cast<UNSIGNED8*>(expression.data()), &result));
    if (result == 1) return true;
    CheckAceResult(ds, ::AdsSkip(order, 1));
  }
}

}  // namespace

// ---- one search ---------------------------------------------------------------------------------

class TAdsDataSet::LocateSearch {
 public:
  LocateSearch(TAdsDataSet& ds, TLocateOptions options)
      : ds_(ds),
        caseInsensitive_(options.testFlag(loCaseInsensitive)),
        partial_(options.testFlag(loPartialKey)) {}

  bool Run(const QString& keyFields, const QVariant& keyValues);

 private:
  const TACEFieldDef* DefOf(const TField* field) const {
    const int n = field->FieldNo();
    return n > 0 && n <= ds_.FACEFieldDefs->Count() ? ds_.FACEFieldDefs->Items(n - 1) : nullptr;
  }
  uint16_t TypeOf(size_t i) const { return defs_[i] ? defs_[i]->FieldType() : 0; }

  void WriteKeyValues();
  bool ValuesCanBeHeld() const;
  bool Search();
  uint32_t ChooseOrder();
  // Whether the order holds only some of the records: a scope (any scope, or only one with a
  // key when anyScope is false), a condition, uniqueness on a DBF table, or custom keys. The
  // active order so limited is the only one a seek may use; a candidate so limited is unusable.
  bool Limited(uint32_t order, bool anyScope);
  // The position (index into fields_) of the key field deepest in the order; -1 when the key
  // fields are not the order's leading fields.
  int Match(uint32_t order);
  bool Seek(uint32_t order, int deepest);
  bool FilterWay();
  bool CurrentRecordAccepted();
  bool CurrentRecordHoldsKeys(bool everyType);

  TAdsDataSet& ds_;
  const bool caseInsensitive_;
  const bool partial_;
  std::vector<TField*> fields_;
  std::vector<const TACEFieldDef*> defs_;
  QVariantList requested_;
  std::vector<QString> keyTexts_;  // string key fields as the key buffer holds them
  std::vector<bool> keyNull_;
  QByteArray keyImage_;
  int charFields_ = 0;
  int wideFields_ = 0;
  bool anyNull_ = false;
  bool wideText_ = false;  // a national-string key with a value: the filter's answer is checked
};

bool TAdsDataSet::LocateSearch::Run(const QString& keyFields, const QVariant& keyValues) {
  ds_.CheckBrowseMode();
  // The position to come back to. At an end of the table there is no record to mark; the
  // framework then finds its position again from its own buffers.
  ADSHANDLE bookmark = 0;
  const UNSIGNED32 marked = ::AdsGetBookmark(ds_.mlHandle, &bookmark);
  if (marked != kAeNotOnARecord) CheckAceResult(&ds_, marked);
  const bool haveBookmark = marked == 0;

  ds_.GetFieldList(fields_, keyFields);
  if (fields_.size() == 1) {
    const QVariantList list = IsList(keyValues) ? keyValues.toList() : QVariantList{keyValues};
    if (list.isEmpty()) DatabaseErrorFmt(dbmsg::kKeyValueCount, keyFields, &ds_);
    requested_ = {list.first()};
  } else {
    requested_ = keyValues.toList();
    if (requested_.size() != static_cast<qsizetype>(fields_.size()))
      DatabaseErrorFmt(dbmsg::kKeyValueCount, keyFields, &ds_);
  }
  for (TField* field : fields_) defs_.push_back(DefOf(field));

  const TDataSetState previous = ds_.EnterTempState(dsFilter);
  TRecordBuffer previousFilterBuffer = ds_.mpFilterBuffer;
  ds_.mpFilterBuffer = ds_.BufferAt(ds_.FRecordCount);
  const auto leave = [&] {
    ds_.mpFilterBuffer = previousFilterBuffer;
    ds_.LeaveTempState(previous);
  };
  bool found = false;
  try {
    WriteKeyValues();
    if (ValuesCanBeHeld()) found = Search();
  } catch (...) {
    leave();
    if (haveBookmark) ::AdsGotoBookmark(ds_.mlHandle, bookmark);  // not checked: the failure is reported
    ds_.CursorPosChanged();
    throw;
  }
  leave();
  if (!found) {
    if (haveBookmark)
      ::AdsGotoBookmark(ds_.mlHandle, bookmark);  // not checked, as a search that fails does not fail
    else
      ds_.CursorPosChanged();
  }
  return found;
}

void TAdsDataSet::LocateSearch::WriteKeyValues() {
  ds_.FillNewRecord(ds_.mpFilterBuffer);
  for (size_t i = 0; i < fields_.size(); ++i) fields_[i]->SetAsVariant(requested_[static_cast<qsizetype>(i)]);
  for (size_t i = 0; i < fields_.size(); ++i) {
    const uint16_t t = TypeOf(i);
    if (IsCharType(t)) ++charFields_;
    if (IsWideType(t)) ++wideFields_;
    const bool null = fields_[i]->IsNull();
    anyNull_ = anyNull_ || null;
    keyNull_.push_back(null);
    keyTexts_.push_back(IsStringType(t) && !null ? fields_[i]->AsString() : QString());
    if (IsWideType(t) && !null) wideText_ = true;
  }
  keyImage_ = QByteArray(ds_.mpFilterBuffer, ds_.musRecordSize);
}

bool TAdsDataSet::LocateSearch::ValuesCanBeHeld() const {
  for (size_t i = 0; i < fields_.size(); ++i) {
    const QVariant& want = requested_[static_cast<qsizetype>(i)];
    if (want.isNull() || !want.isValid()) continue;
    const TField* field = fields_[i];
    if (IsStringType(TypeOf(i))) {
      // Cut to the field's size, or turned into "?" for an ANSI field: no record holds it.
      if (WithoutTrailingBlanks(want.toString()) != keyTexts_[i]) return false;
    } else if (IsNumberField(field->DataType()) && IsNumberVariant(want) && !field->IsNull()) {
      // Rounded to the field's decimals (an integer field given a fraction): no record holds it.
      const double asked = NumberOfVariant(want);
      const double held = field->AsFloat();
      if (std::fabs(asked - held) > 1e-12 * std::max(1.0, std::fabs(asked))) return false;
    }
  }
  return true;
}

bool TAdsDataSet::LocateSearch::Search() {
  const uint32_t order = ChooseOrder();
  if (order != TAdsDataSet::kNoHandle) {
    if (Seek(order, Match(order))) {
      if (CurrentRecordHoldsKeys(true)) return true;
      // The order's key is computed from the fields and the record it gave holds other values
      // with the same key; the filter way finds the one that holds these.
    } else if (!caseInsensitive_) {
      return false;
    }
    // A case-insensitive seek finds what the order's collation takes as equal; an order in
    // byte order tells letter cases apart, so what it misses is looked for by the filter.
  }
  return FilterWay();
}

uint32_t TAdsDataSet::LocateSearch::ChooseOrder() {
  if (caseInsensitive_ && !(charFields_ == 0 && wideFields_ <= 1 && partial_)) return kNoHandle;
  if (partial_ && wideFields_ > 0 && !(fields_.size() == 1 && caseInsensitive_)) return kNoHandle;
  if (ds_.OnFilterRecord() && ds_.Filtered()) return kNoHandle;
  // A key without a value stands for an empty field, which only the filter's empty() finds
  // whatever the field's bytes are.
  if (anyNull_) return kNoHandle;

  const uint32_t active = ds_.mlActiveHandle;
  const bool indexActive = active != ds_.mlHandle;
  if (indexActive && Limited(active, true)) return Match(active) >= 0 ? active : kNoHandle;

  UNSIGNED16 count = 0;
  CheckAceResult(&ds_, ::AdsGetNumIndexes(ds_.mlHandle, &count));
  if (indexActive && Match(active) >= 0) return active;

  std::vector<uint32_t> candidates;
  if (ds_.mpoAdsTableOptions->AdsLocateBehavior() == lbFindFirst && count >= 1) {
    const uint32_t current = ds_.CurrentOrderHandle();
    if (current != kNoHandle) candidates.push_back(current);
  } else if (count > 0) {
    std::vector<ADSHANDLE> all(count);
    UNSIGNED16 n = count;
    CheckAceResult(&ds_, ::AdsGetAllIndexes(ds_.mlHandle, all.data(), &n));
    candidates.assign(all.begin(), all.begin() + std::min<UNSIGNED16>(n, count));
    if (!indexActive) ds_.PreferCurrentOrder(candidates);
  }
  for (uint32_t candidate : candidates)
    if (Match(candidate) >= 0 && !Limited(candidate, false)) return candidate;
  return kNoHandle;
}

bool TAdsDataSet::LocateSearch::Limited(uint32_t order, bool anyScope) {
  for (UNSIGNED16 which : {UNSIGNED16(1), UNSIGNED16(2)}) {
    std::vector<UNSIGNED8> scope(kScopeCapacity);
    UNSIGNED16 length = static_cast<UNSIGNED16>(scope.size());
    const UNSIGNED32 rc = ::AdsGetScope(order, which, scope.data(), &length);
    if (rc == adsdata::kAeNoScope) continue;
    CheckAceResult(&ds_, rc);
    if (anyScope || length > 0) return true;
  }
  UNSIGNED8 condition[kConditionCapacity] = {};
  UNSIGNED16 length = kConditionCapacity;
  const UNSIGNED32 rc = ::AdsGetIndexCondition(order, condition, &length);
  if (rc == adsdata::kAeInsufficientBuffer) return true;  // longer than the buffer: not empty
  CheckAceResult(&ds_, rc);
  if (length > 0 && condition[0] != 0) return true;
  if (ds_.musAceTableType != kAceTypeADT) {
    UNSIGNED16 unique = 0;
    CheckAceResult(&ds_, ::AdsIsIndexUnique(order, &unique));
    if (unique == 1) return true;
  }
  UNSIGNED16 custom = 0;
  const UNSIGNED32 customRc = ::AdsIsIndexCustom(order, &custom);
  if (customRc == kAeNotCustomIndex) return false;
  CheckAceResult(&ds_, customRc);
  return custom == 1;
}

int TAdsDataSet::LocateSearch::Match(uint32_t order) {
  UNSIGNED16 segments = 0;
  CheckAceResult(&ds_, ::AdsGetNumSegments(order, &segments));
  QStringList names;
  for (UNSIGNED16 s = 0; s < segments; ++s) {
    UNSIGNED8 name[kSegmentNameCapacity] = {};
    UNSIGNED16 length = sizeof name;
    CheckAceResult(&ds_, ::AdsGetSegmentFieldname(order, s, name, &length));
    names << FromAnsi(reinterpret_cast<const char*>(name), length);
  }
  std::vector<bool> covered(static_cast<size_t>(kDeepestSegment) + 1, false);
  int highest = 0;
  int deepest = -1;
  for (size_t i = 0; i < fields_.size(); ++i) {
    int position = 0;
    for (int k = 0; k < names.size(); ++k) {
      if (SameTextAZ(names[k], fields_[i]->FieldName())) {
        position = k + 1;
        break;
      }
    }
    if (position == 0 || position > kDeepestSegment) return -1;
    covered[static_cast<size_t>(position)] = true;
    if (position > highest) {
      highest = position;
      deepest = static_cast<int>(i);
    }
  }
  for (int p = 1; p <= highest; ++p)
    if (!covered[static_cast<size_t>(p)]) return -1;
  return deepest;
}

bool TAdsDataSet::LocateSearch::Seek(uint32_t order, int deepest) {
  const bool exact = !partial_;
  CheckAceResult(&ds_, ::AdsInitRawKey(order));
  auto* record = reinterpret_cast<uint8_t*>(ds_.mpFilterBuffer);
  for (size_t i = 0; i < fields_.size(); ++i) {
    const TACEFieldDef& def = *defs_[i];
    QByteArray name = ToAnsi(def.FieldName());
    auto* ansiName = reinterpret_cast<UNSIGNED8*>(name.data());
    uint8_t* value = record + def.Offset();
    const uint16_t t = def.FieldType();
    uint32_t length = def.Length();
    if (IsCharType(t)) {
      if (t == ADS_VARCHAR_FOX && ds_.musAceTableType == kAceTypeADT) {
        // A native variable-length text holds as many bytes as its length word says.
        const uint16_t held = adsdata::ReadU16(value + def.Length());
        if (held != 0xFFFF) length = std::min<uint32_t>(held, length);
      }
      if (!exact && static_cast<int>(i) == deepest)
        while (length > 0 && value[length - 1] == ' ') --length;
      CheckAceResult(&ds_, ::AdsSetField(order, ansiName, value, length));
    } else if (IsWideType(t)) {
      auto* text = reinterpret_cast<char16_t*>(value);
      uint32_t chars = length / 2;
      if (!exact)
        while (chars > 0 && text[chars - 1] == u' ') --chars;
      CheckAceResult(&ds_, ::AdsSetFieldW(order, ansiName, reinterpret_cast<WCHAR*>(value), chars));
    } else {
      CheckAceResult(&ds_, ::AdsSetFieldRaw(order, ansiName, value, length));
    }
  }
  std::vector<UNSIGNED8> key(kKeyCapacity);
  UNSIGNED16 keyLength = static_cast<UNSIGNED16>(key.size());
  if (exact)
    CheckAceResult(&ds_, ::AdsBuildRawKey100(order, key.data(), &keyLength, 1));
  else if (wideFields_ > 0)
    CheckAceResult(&ds_, ::AdsBuildRawKey100(order, key.data(), &keyLength, 4));
  else
    CheckAceResult(&ds_, ::AdsBuildRawKey(order, key.data(), &keyLength));
  UNSIGNED16 found = 0;
  CheckAceResult(&ds_, ::AdsSeek(order, key.data(), keyLength, kSeekRawKey, kSeekSoft, &found));
  return found != 0;
}

bool TAdsDataSet::LocateSearch::FilterWay() {
  const QString expression = ds_.BuildLocateFilter(fields_, caseInsensitive_);
  const auto isSet = [&](UNSIGNED32 rc) {
    if (rc == adsdata::kAeInsufficientBuffer || rc == kAeFilterIsSet) return true;
    if (rc == kAeNoFilter) return false;
    CheckAceResult(&ds_, rc);
    return true;  // an empty text: nothing to read back, but set all the same
  };
  UNSIGNED16 none = 0;
  const bool aofSet = isSet(::AdsGetAOF(ds_.mlHandle, nullptr, &none));
  none = 0;
  const bool filterSet = isSet(::AdsGetFilter(ds_.mlHandle, nullptr, &none));
  UNSIGNED16 previousExact = 0;
  CheckAceResult(&ds_, ::AdsGetExact22(ds_.mlHandle, &previousExact));

  const auto restore = [&] {
    // Not checked: these undo what this search set, also after a failure that is reported.
    ::AdsSetExact22(ds_.mlHandle, previousExact);
    if (!aofSet)
      ::AdsClearAOF(ds_.mlHandle);
    else if (!filterSet)
      ::AdsClearFilter(ds_.mlHandle);
  };
  const bool filtering = ds_.OnFilterRecord() && ds_.Filtered();
  const uint32_t order = ds_.mlActiveHandle;
  bool found = false;
  try {
    CheckAceResult(&ds_, ::AdsSetExact22(ds_.mlHandle, partial_ ? 0 : 1));
    if (aofSet && filterSet) {
      // Both places are taken: the expression is evaluated record by record instead.
      found = ds_.LocateLocally(expression);
      QByteArray ansi = ToAnsi(expression);
      while (found &&
             !((!filtering || CurrentRecordAccepted()) && (!wideText_ || CurrentRecordHoldsKeys(false)))) {
        CheckAceResult(&ds_, ::AdsSkip(order, 1));
        found = EvaluateFromHere(&ds_, ds_.mlHandle, order, ansi);
      }
    } else {
      auto* wide = const_cast<char16_t*>(reinterpret_cast<const char16_t*>(expression.utf16()));
      if (aofSet)
        CheckAceResult(&ds_, ::AdsSetFilter100(ds_.mlHandle, wide, kFilterTextIsUtf16));
      else
        CheckAceResult(&ds_, ::AdsSetAOF100(ds_.mlHandle, wide, kTemporaryAofOptions));
      CheckAceResult(&ds_, ::AdsGotoTop(order));
      for (;;) {
        UNSIGNED16 atEnd = 0;
        CheckAceResult(&ds_, ::AdsAtEOF(ds_.mlHandle, &atEnd));
        if (atEnd != 0) break;
        if (filtering && !ds_.FilteredScan(true)) break;
        if (!wideText_ || CurrentRecordHoldsKeys(false)) {
          found = true;
          break;
        }
        CheckAceResult(&ds_, ::AdsSkip(order, 1));
      }
    }
  } catch (...) {
    restore();
    throw;
  }
  restore();
  return found;
}

bool TAdsDataSet::LocateSearch::CurrentRecordAccepted() {
  TRecordBuffer buffer = ds_.AllocateRecordBuffer();
  bool accepted = false;
  try {
    ds_.ReadRecordInto(buffer, ds_.musRecBufSize, false);
    if (ds_.mpoAdsTableOptions->AdsCalcFieldsBeforeFilter()) ds_.ComputeCalcFields(buffer);
    accepted = ds_.RunFilterRecord(buffer);
  } catch (...) {
    ds_.ReleaseRecordBuffer(buffer);
    throw;
  }
  ds_.ReleaseRecordBuffer(buffer);
  return accepted;
}

bool TAdsDataSet::LocateSearch::CurrentRecordHoldsKeys(bool everyType) {
  TRecordBuffer buffer = ds_.AllocateRecordBuffer();
  TRecordBuffer keyBuffer = ds_.mpFilterBuffer;
  bool holds = true;
  try {
    ds_.ReadRecordInto(buffer, ds_.musRecBufSize, false);
    ds_.mpFilterBuffer = buffer;  // the fields now read the record (state dsFilter)
    const Qt::CaseSensitivity cs = caseInsensitive_ ? Qt::CaseInsensitive : Qt::CaseSensitive;
    for (size_t i = 0; i < fields_.size() && holds; ++i) {
      const TACEFieldDef* def = defs_[i];
      if (def == nullptr) continue;
      if (IsStringType(def->FieldType())) {
        const QString have = fields_[i]->AsString();
        if (keyNull_[i])
          holds = have.isEmpty();
        else
          holds = partial_ ? have.startsWith(keyTexts_[i], cs) : have.compare(keyTexts_[i], cs) == 0;
      } else if (everyType) {
        uint32_t length = def->Length();
        const uint16_t t = def->FieldType();
        if (ds_.musAceTableType == kAceTypeADT && (t == ADS_VARCHAR_FOX || t == ADS_VARBINARY_FOX || t == ADS_NVARCHAR)) length += 2;
        holds = std::memcmp(buffer + def->Offset(), keyImage_.constData() + def->Offset(), length) == 0;
      }
    }
  } catch (...) {
    ds_.mpFilterBuffer = keyBuffer;
    ds_.ReleaseRecordBuffer(buffer);
    throw;
  }
  ds_.mpFilterBuffer = keyBuffer;
  ds_.ReleaseRecordBuffer(buffer);
  return holds;
}

// ---- the members ----------------------------------------------------------------------------

bool TAdsDataSet::LocateCore(const QString& KeyFields, const QVariant& KeyValues, TLocateOptions Options) {
  LocateSearch search(*this, Options);
  return search.Run(KeyFields, KeyValues);
}

bool TAdsDataSet::Locate(const QString& KeyFields, const QVariant& KeyValues, TLocateOptions Options) {
  FireBeforeScroll();
  const bool found = LocateCore(KeyFields, KeyValues, Options);
  if (found) {
    Resync(TResyncMode(rmExact) | rmCenter);
    FireAfterScroll();
  }
  return found;
}

QVariant TAdsDataSet::Lookup(const QString& KeyFields, const QVariant& KeyValues,
                             const QString& ResultFields) {
  QVariant result;
  if (KeyValues.isNull() || !KeyValues.isValid()) return result;
  try {
    if (LocateCore(KeyFields, KeyValues, {})) {
      TRecordBuffer buffer = AllocateRecordBuffer();
      TRecordBuffer previousCalcBuffer = FCalcBuffer;
      const TDataSetState previous = EnterTempState(dsCalcFields);
      FCalcBuffer = buffer;
      const auto leave = [&] {
        FCalcBuffer = previousCalcBuffer;
        LeaveTempState(previous);
        ReleaseRecordBuffer(buffer);
      };
      try {
        ReadRecordInto(buffer, musRecBufSize, false);
        ComputeCalcFields(buffer);
        result = FieldValues(ResultFields);
      } catch (...) {
        leave();
        throw;
      }
      leave();
    }
  } catch (...) {
    CursorPosChanged();
    throw;
  }
  // The engine stands on the record found; the visible records are read again from the
  // framework's own position at the next access.
  CursorPosChanged();
  return result;
}

bool TAdsDataSet::LocateLocally(const QString& strFilter) {
  CheckAceResult(this, ::AdsGotoTop(mlActiveHandle));
  QByteArray expression = ToAnsi(strFilter);
  return EvaluateFromHere(this, mlHandle, mlActiveHandle, expression);
}

QString TAdsDataSet::BuildLocateFilter(const std::vector<TField*>& fields, bool caseInsensitive) {
  if (State() != dsFilter) RaiseComponentError(QStringLiteral("Internal Error, << BuildFilterString >>"));
  QStringList terms;
  for (TField* field : fields) {
    const QString name = field->FieldName();
    const int n = field->FieldNo();
    const uint16_t t = n > 0 && n <= FACEFieldDefs->Count() ? FACEFieldDefs->Items(n - 1)->FieldType() : 0;
    if (field->IsNull()) {
      terms << QStringLiteral("(empty(") + name + QStringLiteral("))");
      continue;
    }
    QString value;
    switch (t) {
      case ADS_LOGICAL:
        value = field->AsBoolean() ? QStringLiteral(".TRUE.") : QStringLiteral(".FALSE.");
        break;
      case ADS_NUMERIC:
      case ADS_DOUBLE:
      case ADS_CURDOUBLE:
      case ADS_MONEY:
        // Doubles as the shortest text that reads back as the same double (the display text
        // rounds to fifteen digits); decimal values as their exact decimal text.
        value = field->DataType() == ftFloat || field->DataType() == ftCurrency
                    ? adsdata::FilterNumberText(field->AsFloat())
                    : field->AsString();
        value.replace(u',', u'.');
        break;
      case ADS_DATE:
      case ADS_COMPACTDATE: {
        // Date literals read the same whatever date format the connection uses.
        int32_t day = 0;
        field->GetData(&day);
        value = adsdata::FilterDateLiteral(static_cast<int64_t>(day) + adsdata::kJulianOffset);
        break;
      }
      case ADS_TIME: {
        int32_t ms = 0;
        field->GetData(&ms);
        value = QStringLiteral("ctot(\"") + adsdata::FilterTimeText(ms) + QStringLiteral("\")");
        break;
      }
      case ADS_TIMESTAMP:
      case ADS_MODTIME: {
        double ms = 0;
        field->GetData(&ms);
        const double days = std::floor(ms / kMsPerDay);
        value = adsdata::FilterTimestampLiteral(static_cast<int64_t>(days) + adsdata::kJulianOffset,
                                                std::llround(ms - days * kMsPerDay));
        break;
      }
      case ADS_STRING:
      case ADS_CISTRING:
      case ADS_VARCHAR_FOX:
      case ADS_NCHAR:
      case ADS_NVARCHAR: {
        const QString literal = adsdata::QuotedFilterLiteral(field->AsString());
        if (caseInsensitive)
          terms << QStringLiteral("(UPPER(") + name + QStringLiteral(")=UPPER(") + literal +
                       QStringLiteral("))");
        else
          terms << u'(' + name + u'=' + literal + u')';
        continue;
      }
      default: {
        // Anything that is not a plain number stands as a literal: the value's text never
        // becomes part of the expression.
        const QString text = field->AsString();
        value = adsdata::IsPlainNumberText(text) ? text : adsdata::QuotedFilterLiteral(text);
        break;
      }
    }
    terms << u'(' + name + u'=' + value + u')';
  }
  return terms.join(QStringLiteral(" AND "));
}
