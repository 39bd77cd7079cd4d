// The SQL scanner datasets use for provider support: the table a SELECT reads (the first name
// after FROM) and the index definition its ORDER BY clause describes. Quoted text and comments
// are skipped; keywords are matched ignoring the case of a to z; names may be quoted with
// double quotes, backquotes or square brackets (the quotes are removed).
//
// Threading: pure functions.
#pragma once

#include <QString>

#include "runtime/data/index_defs.h"

// The first name after FROM outside parentheses, or empty.
QString GetTableNameFromSQL(const QString& sql);
// Fills def from "ORDER BY a, b DESC": Fields "a;b", DescFields the descending ones (ixDescending
// when all are). False (def unchanged) when there is no ORDER BY or an entry is not a plain
// column name.
bool GetIndexForOrderBy(const QString& sql, TIndexDef& def);
