// Table types as the data-access components name them, and their engine codes.
#pragma once

#include <cstdint>

// The components' table types. ttAdsADT is the default of every dataset.
enum TAdsTableTypes { ttAdsCDX = 0, ttAdsNTX = 1, ttAdsADT = 2, ttAdsDefault = 3, ttAdsVFP = 4 };

// The engine's table-type codes (0: the data dictionary decides).
constexpr uint16_t kAceTypeFromDictionary = 0;
constexpr uint16_t kAceTypeNTX = 1;
constexpr uint16_t kAceTypeCDX = 2;
constexpr uint16_t kAceTypeADT = 3;
constexpr uint16_t kAceTypeVFP = 4;

// The engine table-type code of a table type: 2 CDX, 1 NTX, 4 VFP, 3 for ADT and Default.
constexpr uint16_t EngineCodeOfTableType(TAdsTableTypes type) {
  switch (type) {
    case ttAdsCDX: return kAceTypeCDX;
    case ttAdsNTX: return kAceTypeNTX;
    case ttAdsVFP: return kAceTypeVFP;
    default: return kAceTypeADT;
  }
}
