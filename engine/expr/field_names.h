// Long and short field names in expression text.
//
// A table's field names may be up to 128 characters long; each field also has a short name
// of at most 10 characters: the name itself when it is that short, else its first 10
// characters, or, when those are already taken by another field (name or short name, case
// ignored), a shorter prefix followed by "_" and the field's 1-based number (CUSTOME_12).
// The conversions rewrite the field names of an expression from one form to the other and
// leave everything else, literals and function names included, byte for byte as it was, so
// they can be applied to text that is edited in between.
//
// Thread safety: stateless.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/expr/expr_record.h"

namespace engine::expr {

// The short names of the schema's fields, in table order.
std::vector<std::string> ShortFieldNames(const ExprSchema& schema);

// Field names longer than 10 characters become their short names.
std::string ExpressionLongToShort(std::string_view text, const ExprSchema& schema);
// Short names become the fields' full names.
std::string ExpressionShortToLong(std::string_view text, const ExprSchema& schema);

// Whether a and b are equal ignoring the case of a to z.
bool SameName(std::string_view a, std::string_view b);

}  // namespace engine::expr
