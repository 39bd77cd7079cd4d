// Members of the extended table about index orders: their properties, keys, scopes, custom
// keys, and opening, closing and deleting indexes.
#include <vector>

#include "ads/ace.h"
#include "ads/adsfunc.h"
#include "ads/adsfunc/adsfunc_internal.h"
#include "runtime/text.h"

using namespace adsfunc_detail;

namespace {
constexpr uint32_t kNoSuchIndexOrder = 5016;
constexpr uint32_t kIndexAlreadyOpen = 5065;
constexpr uint32_t kInsufficientBuffer = 5005;
constexpr UNSIGNED16 kScopeKeyAsText = 2;
constexpr UNSIGNED16 kIndexHandleType = 3;
constexpr UNSIGNED16 kOpenIndexRoom = 256;
}  // namespace

QString TAdsExtendedTable::AdsExtractKey() {
  std::vector<UNSIGNED8> key(kKeyBuffer, 0);
  UNSIGNED16 length = kKeyBuffer;
  RunMember(kActive, [&] { return ::AdsExtractKey(GetAceIndexHandle(), key.data(), &length); });
  // One character per byte, zero bytes included.
  QString text;
  text.reserve(length);
  for (UNSIGNED16 i = 0; i < length; ++i) {
    const char byte = static_cast<char>(key[i]);
    text.append(byte == 0 ? QChar(u'\0') : FromAnsi(&byte, 1).at(0));
  }
  return text;
}

#define ADSFUNC_INDEX_QUERY(Member, Result, EngineType, Convert)                    \
  Result TAdsExtendedTable::Member() {                                              \
    EngineType value{};                                                             \
    RunMember(0, [&] { return ::Member(GetAceIndexHandle(), &value); });            \
    return Convert;                                                                 \
  }

ADSFUNC_INDEX_QUERY(AdsGetKeyLength, uint16_t, UNSIGNED16, value)
ADSFUNC_INDEX_QUERY(AdsGetKeyType, TAdsExpressionTypes, UNSIGNED16, adsfunc_map::ExpressionType(value))
ADSFUNC_INDEX_QUERY(AdsIsIndexCompound, bool, UNSIGNED16, value != 0)
ADSFUNC_INDEX_QUERY(AdsIsIndexCustom, bool, UNSIGNED16, value != 0)
ADSFUNC_INDEX_QUERY(AdsIsIndexDescending, bool, UNSIGNED16, value != 0)
ADSFUNC_INDEX_QUERY(AdsIsIndexUnique, bool, UNSIGNED16, value != 0)
#undef ADSFUNC_INDEX_QUERY

QString TAdsExtendedTable::AdsGetIndexCondition() {
  UNSIGNED8 text[kExpressionBuffer + 1] = {};
  UNSIGNED16 length = kExpressionBuffer;
  RunMember(0, [&] { return ::AdsGetIndexCondition(GetAceIndexHandle(), text, &length); });
  return FromBuffer(text, length);
}

QString TAdsExtendedTable::AdsGetIndexExpr() {
  UNSIGNED8 text[kExpressionBuffer + 1] = {};
  UNSIGNED16 length = kExpressionBuffer;
  RunMember(0, [&] { return ::AdsGetIndexExpr(GetAceIndexHandle(), text, &length); });
  return FromBuffer(text, length);
}

QString TAdsExtendedTable::AdsGetIndexFileName(TAdsFilenameOptions eOption) {
  UNSIGNED8 text[kFileNameBuffer + 1] = {};
  UNSIGNED16 length = kFileNameBuffer;
  RunMember(0, [&] {
    return ::AdsGetIndexFilename(GetAceIndexHandle(), adsfunc_map::FilenameOption(eOption), text, &length);
  });
  return FromBuffer(text, length);
}

QString TAdsExtendedTable::AdsGetTableFileName(TAdsFilenameOptions eOption) {
  UNSIGNED8 text[kFileNameBuffer + 1] = {};
  UNSIGNED16 length = kFileNameBuffer;
  RunMember(0, [&] {
    return ::AdsGetTableFilename(GetAceTableHandle(), adsfunc_map::FilenameOption(eOption), text, &length);
  });
  return FromBuffer(text, length);
}

QString TAdsExtendedTable::AdsGetIndexName(uint32_t hIndexHandle) {
  UNSIGNED8 text[kIndexNameBuffer + 1] = {};
  UNSIGNED16 length = kIndexNameBuffer;
  if (hIndexHandle == 0) {
    RunMember(0, [&] { return ::AdsGetIndexName(GetAceIndexHandle(), text, &length); });
  } else {
    CheckExtendedResult(::AdsGetIndexName(hIndexHandle, text, &length));
  }
  return FromBuffer(text, length);
}

uint32_t TAdsExtendedTable::AdsGetIndexHandle(const QString& strIndexOrder) {
  RequireActive();
  return IndexHandleOfTag(strIndexOrder);
}

uint32_t TAdsExtendedTable::AdsGetIndexHandleByOrder(uint16_t usOrderNum) {
  ADSHANDLE index = 0;
  RunMember(0, [&] { return ::AdsGetIndexHandleByOrder(GetAceTableHandle(), usOrderNum, &index); });
  return index;
}

void TAdsExtendedTable::AdsSetIndexByOrder(uint16_t usOrderNum) {
  if (usOrderNum == 0) {
    SetIndexName(QString());
    return;
  }
  const uint32_t index = AdsGetIndexHandleByOrder(usOrderNum);
  SetIndexName(AdsGetIndexName(index));
}

uint32_t TAdsExtendedTable::AdsGetHandleLong() {
  UNSIGNED32 value = 0;
  RunMember(0, [&] { return ::AdsGetHandleLong(GetAceOrderHandle(), &value); });
  return value;
}

void TAdsExtendedTable::AdsSetHandleLong(uint32_t ulHandle) {
  RunMember(0, [&] { return ::AdsSetHandleLong(GetAceOrderHandle(), ulHandle); });
}

TAdsHandleTypes TAdsExtendedTable::AdsGetHandleType(uint32_t hObj) {
  UNSIGNED16 type = 0;
  CheckExtendedResult(::AdsGetHandleType(hObj, &type));
  return type == kIndexHandleType ? htINDEX : htTABLE;
}

QString TAdsExtendedTable::AdsGetScope(TAdsScopeOptions eScopeOption) {
  std::vector<UNSIGNED8> text(kKeyBuffer + 1, 0);
  UNSIGNED16 length = kKeyBuffer;
  RunMember(0, [&] {
    return ::AdsGetScope(GetAceIndexHandle(), adsfunc_map::ScopeOption(eScopeOption), text.data(), &length);
  });
  return FromBuffer(text.data(), length);
}

void TAdsExtendedTable::AdsSetScope(TAdsScopeOptions eScopeOption, const QString& strScope) {
  Ansi scope(strScope, kKeyMax);
  RunMember(kBrowse | kResync, [&] {
    return ::AdsSetScope(GetAceIndexHandle(), adsfunc_map::ScopeOption(eScopeOption), scope.get(),
                         static_cast<UNSIGNED16>(scope.size()), kScopeKeyAsText);
  });
}

void TAdsExtendedTable::AdsClearScope(TAdsScopeOptions eScopeOption) {
  RunMember(kResync,
            [&] { return ::AdsClearScope(GetAceIndexHandle(), adsfunc_map::ScopeOption(eScopeOption)); });
}

void TAdsExtendedTable::AdsClearAllScopes() {
  RunMember(kResync, [&] { return ::AdsClearAllScopes(GetAceTableHandle()); });
}

void TAdsExtendedTable::AdsAddCustomKey(const QString& strTag) {
  Prepare(kBrowse | kActive);
  const uint32_t index = IndexHandleOfTag(strTag);
  CheckExtendedResult(::AdsAddCustomKey(index));
}

void TAdsExtendedTable::AdsDeleteCustomKey(const QString& strTag) {
  Prepare(kBrowse | kActive);
  const uint32_t index = IndexHandleOfTag(strTag);
  CheckExtendedResult(::AdsDeleteCustomKey(index));
}

void TAdsExtendedTable::AdsDeleteIndex(const QString& strTag) {
  RequireActive();
  const uint32_t index = IndexHandleOfTag(strTag);
  CheckExtendedResult(::AdsDeleteIndex(index));
  Finish(kPropertyChange);
}

void TAdsExtendedTable::AdsOpenIndex(const QString& strIndexName) {
  Ansi file(strIndexName, kFileNameMax);
  std::vector<ADSHANDLE> handles(kOpenIndexRoom, 0);
  UNSIGNED16 count = kOpenIndexRoom;
  RunMember(kPropertyChange, [&] { return ::AdsOpenIndex(GetAceTableHandle(), file.get(), handles.data(), &count); });
}

void TAdsExtendedTable::AdsCloseIndex(const QString& strTag) {
  RequireActive();
  Ansi tag(strTag, kNameMax);
  ADSHANDLE index = 0;
  UNSIGNED32 rc = ::AdsGetIndexHandle(GetAceTableHandle(), tag.get(), &index);
  if (rc == kNoSuchIndexOrder) {
    // Not an open order: the name is an index file to open (and so to close).
    ADSHANDLE opened[1] = {0};
    UNSIGNED16 count = 1;
    rc = ::AdsOpenIndex(GetAceTableHandle(), tag.get(), opened, &count);
    if (rc == kIndexAlreadyOpen) rc = 0;
    // A file of several orders is open although they did not all fit the room for one: the
    // first one closes the whole file again, so nothing stays open.
    if (rc == kInsufficientBuffer && opened[0] != 0) rc = 0;
    index = opened[0];
  }
  CheckExtendedResult(rc);
  CheckExtendedResult(::AdsCloseIndex(index));
  Finish(kPropertyChange);
}

void TAdsExtendedTable::AdsCloseAllIndexes() {
  RunMember(kPropertyChange, [&] { return ::AdsCloseAllIndexes(GetAceTableHandle()); });
}
