#include "engine/expr/memory_record.h"

#include "engine/core/codepage.h"
#include "engine/expr/field_names.h"

namespace engine::expr {

int MemoryRecord::AddField(std::string name, ExprType type, uint32_t length, uint16_t decimals, bool variableLength) {
  Slot s;
  s.def.name = std::move(name);
  s.def.slot = static_cast<int>(fields_.size());
  s.def.type = type;
  s.def.length = length;
  s.def.decimals = decimals;
  s.def.variableLength = variableLength;
  fields_.push_back(std::move(s));
  return fields_.back().def.slot;
}

void MemoryRecord::SetNull(int slot) { fields_[slot].null = true; }

void MemoryRecord::SetString(int slot, std::string_view text) {
  Slot& s = fields_[slot];
  s.null = false;
  s.text.assign(text);
  if (!s.def.variableLength) s.text.resize(s.def.length, ' ');
  s.wideMade = false;
}

std::u16string_view MemoryRecord::FieldWide(int slot) const {
  const Slot& s = fields_[slot];
  if (!s.wideMade) {
    s.wide = core::AnsiToUtf16(s.text);
    s.wideMade = true;
  }
  return s.wide;
}

void MemoryRecord::SetNumber(int slot, double v) {
  fields_[slot].null = false;
  fields_[slot].number = v;
}

void MemoryRecord::SetLogical(int slot, bool v) {
  fields_[slot].null = false;
  fields_[slot].logical = v;
}

void MemoryRecord::SetDate(int slot, int64_t julian) {
  fields_[slot].null = false;
  fields_[slot].integer = julian;
}

void MemoryRecord::SetTime(int slot, int64_t ms) {
  fields_[slot].null = false;
  fields_[slot].integer = ms;
}

void MemoryRecord::SetTimestamp(int slot, int64_t v) {
  fields_[slot].null = false;
  fields_[slot].integer = v;
}

std::optional<ExprField> MemoryRecord::FindField(std::string_view name) const {
  for (const Slot& s : fields_)
    if (SameName(s.def.name, name)) return s.def;
  return std::nullopt;
}

bool MemoryRecord::IsOwnAlias(std::string_view alias) const { return SameName(alias, alias_); }

}  // namespace engine::expr
