// The hidden null-flags field of FoxPro-compatible DBF tables (docs/formats.md, "DBF table
// file"). A table with nullable, VarChar or VarBinary fields has, after its last field, one
// more field named "_NullFlags" (type letter '0', flags 0x01: system) that is not one of the
// table's fields to its callers: a bit array inside the record image. Bit k is bit k mod 8
// (least significant first) of byte k div 8 of that field.
//
// Bits are handed out by walking the fields in order: a VarChar or VarBinary field takes one
// "variable length" bit (set: the value is shorter than the field and the field's last byte
// holds its length; clear: the value fills the field), then a nullable field takes one null
// bit (set: the field is NULL and holds its blank value). Other fields take none.
//
// Pure functions over caller-owned images, safe from any thread.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/table/table_schema.h"

namespace engine::table {

constexpr char kVfpNullFlagsName[] = "_NullFlags";
constexpr char kVfpNullFlagsLetter = '0';
// Field flags (descriptor byte 18) of FoxPro-compatible tables.
constexpr uint8_t kVfpFieldSystem = 0x01;
constexpr uint8_t kVfpFieldNullable = 0x02;
constexpr uint8_t kVfpFieldBinary = 0x04;
constexpr uint8_t kVfpFieldAutoinc = 0x0C;  // on Integer fields; shares the binary bit

// Hands out the null and variable-length bits of `fields` (their dbfFlags set) in order and
// returns how many bits the null-flags field needs.
uint32_t AssignNullFlagBits(std::vector<FieldDescriptor>& fields);

// Bit `bit` of the image's null-flags field (false when the schema has none or bit < 0).
bool NullFlagBit(const Schema& schema, const uint8_t* image, int bit);
// Sets or clears it (nothing when bit < 0).
void SetNullFlagBit(const Schema& schema, uint8_t* image, int bit, bool on);

}  // namespace engine::table
