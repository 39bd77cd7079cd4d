// The catalogue of a connection as rows: system.tables, system.columns, system.indexes,
// system.users, system.usergroups, system.storedprocedures and system.links. Each catalogue
// table has fixed columns (declared in engine field terms, so that results carry engine types)
// and produces its rows from the dictionary (or, on a free connection, from the folder's
// table files) at the moment it is read.
//
// Threading: pure lookups plus reads of the dictionary and table headers; the caller holds the
// session lock.
#pragma once

#include <sqlite3.h>

#include <string>
#include <variant>
#include <vector>

#include "engine/table/table_schema.h"

namespace engine::sql {

class Session;

using CatalogValue = std::variant<std::monostate, int64_t, std::string>;  // NULL, INTEGER, TEXT (UTF-8)
using CatalogRow = std::vector<CatalogValue>;

struct CatalogTable {
  const char* name;  // "tables", ...
  std::vector<table::FieldSpec> columns;
  std::vector<CatalogRow> (*rows)(Session& session);
};

// Every catalogue table.
const std::vector<CatalogTable>& CatalogTables();

// Registers the module "engine_catalog" on `db` and creates the catalogue tables in the
// schema "system" (which must be attached).
void CreateCatalog(sqlite3* db, Session* session);

}  // namespace engine::sql
