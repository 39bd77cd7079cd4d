// The order of a static cursor whose statement ends in ORDER BY.
//
// The rows of such a cursor are written in the statement's order, so walking the cursor walks
// them sorted. Its own order (what AdsGetIndexHandle with no name gives) is an index tag on the
// result table named "ORDERBY" that walks the rows in exactly that sequence:
//   - keyed on the ORDER BY's result columns, when every term names a result column (by name
//     or number) that a key can hold, the terms share one direction and carry no COLLATE or
//     NULLS, and the engine's keys put the rows in the same sequence as the statement did;
//     seeks and key searches on the order then find rows by those columns;
//   - otherwise keyed on the row's position (RECNO()), so that the order, its key numbers and
//     its relative positions still follow the rows while key searches find nothing.
//
// Threading: pure functions over a table the caller holds exclusively.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace engine::table {
class Table;
}

namespace engine::sql {

inline constexpr const char* kResultOrderTag = "ORDERBY";

// The ORDER BY at the top level of a statement, read against its result columns.
struct OrderByClause {
  // Per term, the 0-based result column it names; empty when the clause cannot be keyed on
  // result columns.
  std::vector<size_t> columns;
  bool descending = false;
};

// The ORDER BY of `statement` (UTF-8), whose result columns are named `columnNames`; nullopt
// when the statement has none at its top level.
std::optional<OrderByClause> FindOrderBy(std::string_view statement, const std::vector<std::string>& columnNames);

// Gives the result table `result` (open exclusively and writable, its rows written in the
// statement's order) the definition of its "ORDERBY" tag. The tag's index is built only when the
// cursor's orders are first used: most results are read without them, and building an index
// file costs more than a small query.
void AddResultOrder(table::Table& result, const OrderByClause& clause);

}  // namespace engine::sql
