// Parser of the field-definition string that table creation and restructuring take:
// "NAME,Char,30;QTY,Integer;PRICE,Num,12,2;" — per field its name, a type word and the type's
// arguments, each field closed by ";" (the last ";" may be left out). Blanks around the parts
// are ignored; type words are compared without regard to case. Pure functions.
#pragma once

#include <string_view>
#include <vector>

#include "engine/table/table_schema.h"

namespace engine::table {

// Parses `text` into field declarations. Throws EngineError(kInvalidFieldDefinition) whose
// text names the field (or its position when it has no name) and what is wrong. The
// declarations are checked as Schema::FromSpecs checks them.
std::vector<FieldSpec> ParseFieldDefinitions(std::string_view text);

// Parses a list of field names separated by ";" or "," (the delete list of a restructure).
std::vector<std::string> ParseFieldNameList(std::string_view text);

// The field-definition string of a schema (inverse of ParseFieldDefinitions).
std::string FormatFieldDefinitions(const Schema& schema);

}  // namespace engine::table
