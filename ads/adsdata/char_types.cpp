// The names of the 118 character types and the collation text the engine knows each by.
#include <array>

#include "ads/adsdata.h"

namespace {

#define ADS_CHAR_TYPE_NAME_ITEM(name) #name,
constexpr std::array<const char*, kAdsCharTypeCount> kNames = {ADS_CHAR_TYPE_LIST(ADS_CHAR_TYPE_NAME_ITEM)};
#undef ADS_CHAR_TYPE_NAME_ITEM

static_assert(kNames.size() == 118, "the character types are 118");

}  // namespace

QString AdsCharTypeName(int value) {
  if (value < 0 || value >= kAdsCharTypeCount) return {};
  return QString::fromLatin1(kNames[static_cast<size_t>(value)]);
}

QString AdsCharTypeCollation(int value) {
  // Four engine collations are known by texts that identifiers cannot spell.
  switch (value) {
    case ENGL_AMER_ADS_CS_AS_1252:
      return QStringLiteral("ENGL(AMER)_ADS_CS_AS_1252");
    case ENGL_CAN_ADS_CS_AS_1252:
      return QStringLiteral("ENGL(CAN)_ADS_CS_AS_1252");
    case ENGL_UK_ADS_CS_AS_1252:
      return QStringLiteral("ENGL(UK)_ADS_CS_AS_1252");
    case SPAN_MOD_ADS_CS_AS_1252:
      return QStringLiteral("SPAN(MOD)_ADS_CS_AS_1252");
    default:
      return AdsCharTypeName(value);
  }
}
