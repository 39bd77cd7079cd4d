// The engine values of the extended members' enumerations, and the enumerations of engine
// answers.
#include "ads/adsfunc.h"

namespace adsfunc_map {

uint16_t CountingOption(const TAdsTableOptions& options) {
  if (options.AdsFilterOptions() == RESPECT_WHEN_COUNTING) return 1;
  if (options.AdsScopeOptions() == RESPECT_SCOPES_WHEN_COUNTING) return 3;
  return 2;
}

uint16_t TableType(TAdsTableTypes t) {
  switch (t) {
    case ttAdsNTX: return 1;
    case ttAdsCDX: return 2;
    case ttAdsVFP: return 4;
    case ttAdsADT:
    case ttAdsDefault: return 3;
  }
  return 3;
}

uint16_t ScopeOption(TAdsScopeOptions o) { return o == soTOP ? 1 : 2; }
uint16_t SeekType(TAdsSeekTypes t) { return t == stSOFT ? 1 : 2; }
uint16_t BinaryType(TAdsBinaryTypes t) { return t == btBINARY ? 6 : 7; }
uint16_t FilenameOption(TAdsFilenameOptions o) { return static_cast<uint16_t>(o) + 1; }
uint16_t TrimOption(TAdsTrimOptions o) { return static_cast<uint16_t>(o); }
uint16_t CustomizeOption(TAdsAOFCustomizeOptions o) { return static_cast<uint16_t>(o) + 1; }

uint32_t IndexOptions(TAdsIndexOptions set) {
  static constexpr struct {
    TAdsIndexOption option;
    uint32_t bits;
  } kBits[] = {{optUNIQUE, 1},     {optCOMPOUND, 2},     {optCUSTOM, 4},   {optDESCENDING, 8},
               {optUSERDEFINED, 16}, {optCANDIDATE, 2048}, {optBINARY, 4096}};
  uint32_t bits = 0;
  for (const auto& b : kBits)
    if ((set & IndexOptionBit(b.option)) != 0) bits |= b.bits;
  return bits;
}

TAdsFieldTypes FieldType(uint16_t engineCode) {
  if (engineCode >= 1 && engineCode <= 28) return static_cast<TAdsFieldTypes>(engineCode - 1);
  return AdsfldSTRING;
}

TAdsExpressionTypes ExpressionType(uint16_t engineCode) {
  switch (engineCode) {
    case ADS_LOGICAL: return etLOGICAL;
    case ADS_NUMERIC: return etNUMERIC;
    case ADS_DATE: return etDATE;
    case ADS_RAW: return etRAW;
    default: return etSTRING;
  }
}

TAdsMemoDataTypes MemoDataType(uint16_t engineCode) {
  if (engineCode == 6) return mdtBINARY;
  if (engineCode == 7) return mdtIMAGE;
  return mdtMEMO;
}

TAdsAOFOptimizeLevel OptimizeLevel(uint16_t engineCode) {
  if (engineCode == 1) return olFULL;
  if (engineCode == 2) return olPART;
  return olNONE;
}

uint32_t AofOptions(const TAdsTableOptions& options) {
  uint32_t bits = 8192;
  if (options.AdsAOFType() == atKeySet) bits += 4;
  if (options.AdsAOFType() == atFixed) bits += 8;
  bits += options.AdsAOFResolveImmediate() ? 1 : 2;
  return bits;
}

}  // namespace adsfunc_map
