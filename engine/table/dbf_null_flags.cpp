#include "engine/table/dbf_null_flags.h"

#include "engine/core/check.h"

namespace engine::table {

uint32_t AssignNullFlagBits(std::vector<FieldDescriptor>& fields) {
  int16_t next = 0;
  for (FieldDescriptor& d : fields) {
    d.varBit = -1;
    d.nullBit = -1;
    if (d.type == FieldType::kVarChar || d.type == FieldType::kVarBinary) d.varBit = next++;
    if (d.dbfFlags & kVfpFieldNullable) d.nullBit = next++;
  }
  return static_cast<uint32_t>(next);
}

bool NullFlagBit(const Schema& schema, const uint8_t* image, int bit) {
  if (bit < 0) return false;
  ENGINE_CHECK(static_cast<uint32_t>(bit / 8) < schema.nullFlagsSize(), "a null flag beyond the null-flags field");
  return (image[schema.nullFlagsOffset() + bit / 8] >> (bit % 8)) & 1;
}

void SetNullFlagBit(const Schema& schema, uint8_t* image, int bit, bool on) {
  if (bit < 0) return;
  ENGINE_CHECK(static_cast<uint32_t>(bit / 8) < schema.nullFlagsSize(), "a null flag beyond the null-flags field");
  uint8_t& byte = image[schema.nullFlagsOffset() + bit / 8];
  const uint8_t mask = static_cast<uint8_t>(1u << (bit % 8));
  byte = on ? static_cast<uint8_t>(byte | mask) : static_cast<uint8_t>(byte & ~mask);
}

}  // namespace engine::table
