// AdsAccessVfpSystemField: the flags a FoxPro-compatible table keeps for a field in its hidden
// null-flags field (engine/table/dbf_null_flags.h), read or set in a record image the caller
// holds (a copy from AdsGetRecord or AdsClearRecordBuffer), or in the current record when no
// image is given.
//
//   option 1  *pbValue = 1 when the field's null flag is set, else 0
//   option 2  sets the null flag when *pbValue is non-zero, clears it when 0
//   option 3  *pbValue non-zero: the value fills the field (the variable-length flag is
//             cleared); 0: it is shorter and its length is in the field's last byte (set)
//   option 4  *pbValue = 1 when the value fills the field, else 0
//
// A field that is not nullable has no null flag: it reads as not NULL, and only clearing it
// is accepted. A field that is not VarChar or VarBinary always fills its bytes likewise.
#include <cstring>
#include <vector>

#include "engine/core/error.h"
#include "engine/core/text_out.h"
#include "engine/table/api/field_values.h"
#include "engine/table/api/table_handles.h"
#include "engine/table/dbf_null_flags.h"
#include "engine_api/entry_points.h"

namespace engine::api {

namespace {

using table::FieldDescriptor;
using table::NullFlagBit;
using table::Schema;
using table::SetNullFlagBit;
using table::TableType;

constexpr UNSIGNED32 kReadNull = 1;
constexpr UNSIGNED32 kSetNull = 2;
constexpr UNSIGNED32 kSetFullLength = 3;
constexpr UNSIGNED32 kReadFullLength = 4;

}  // namespace

UNSIGNED32 AdsAccessVfpSystemField(ADSHANDLE hObj, UNSIGNED8* pucFldName, void* pvBuffer, UNSIGNED32 ulOption,
                                   UNSIGNED16* pbValue) {
  table::CursorRef c = table::CursorOf(hObj);
  const size_t i = table::FieldIndex(*c.cursor, pucFldName);
  const Schema& s = c->schema();
  const FieldDescriptor& d = s.fields()[i];
  if (s.tableType() != TableType::kVfp) {
    Fail(err::kInvalidArgument, "Field \"" + d.name + "\" has no FoxPro system flags: the table is not a FoxPro table (type 4).");
  }
  if (ulOption < kReadNull || ulOption > kReadFullLength) {
    Fail(err::kInvalidArgument, "AdsAccessVfpSystemField: option " + std::to_string(ulOption) + " is unknown (1 to 4).");
  }
  core::Require(pbValue, "pbValue");
  const uint8_t* image = pvBuffer ? static_cast<const uint8_t*>(pvBuffer) : c->Current();
  if (ulOption == kReadNull) {
    *pbValue = NullFlagBit(s, image, d.nullBit) ? 1 : 0;
    return 0;
  }
  if (ulOption == kReadFullLength) {
    *pbValue = NullFlagBit(s, image, d.varBit) ? 0 : 1;
    return 0;
  }
  const bool on = *pbValue != 0;
  int bit = -1;
  bool value = false;
  if (ulOption == kSetNull) {
    if (d.nullBit < 0 && on) Fail(err::kFieldTypeMismatch, "Field \"" + d.name + "\" is not nullable.");
    bit = d.nullBit;
    value = on;
  } else {
    if (d.varBit < 0 && !on) {
      Fail(err::kFieldTypeMismatch, "Field \"" + d.name + "\" is not a VarChar or VarBinary field; its value fills it.");
    }
    bit = d.varBit;
    value = !on;
  }
  if (bit < 0) return 0;
  if (pvBuffer) {
    SetNullFlagBit(s, static_cast<uint8_t*>(pvBuffer), bit, value);
    return 0;
  }
  table::CheckAssignable(*c.cursor, i);
  SetNullFlagBit(s, c->BeginChange(), bit, value);
  return 0;
}

}  // namespace engine::api
