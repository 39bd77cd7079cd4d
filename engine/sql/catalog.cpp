#include "engine/sql/catalog.h"

#include <algorithm>
#include <filesystem>
#include <memory>

#include "engine/core/codepage.h"
#include "engine/core/host_path.h"
#include "engine/dict/dictionary.h"
#include "engine/sql/session.h"
#include "engine/sql/sql_error.h"
#include "engine/table/table.h"
#include "engine/table/table_files.h"

namespace engine::sql {

namespace {

table::FieldSpec Text(const char* name, uint32_t length) { return table::FieldSpec{name, table::FieldType::kString, length, 0}; }
table::FieldSpec Int(const char* name) { return table::FieldSpec{name, table::FieldType::kInteger, 0, 0}; }

CatalogValue T(const std::string& ansi) { return CatalogValue(core::AnsiToUtf8(ansi)); }
CatalogValue I(int64_t v) { return CatalogValue(v); }
CatalogValue OrNull(const std::string& ansi) { return ansi.empty() ? CatalogValue() : T(ansi); }


// The connection's tables: the dictionary's, or the ".adt" and ".dbf" files of a free
// connection's folder in name order (a DBF file's type is what its header shows).
std::vector<dict::TableEntry> DictionaryTables(Session& s) {
  std::shared_ptr<core::Connection> c = s.Connection();
  if (c->is_dictionary && c->dictionary) return c->dictionary->Tables();
  std::vector<dict::TableEntry> out;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(c->host_folder, ec)) {
    if (!e.is_regular_file(ec)) continue;
    std::string file = core::FromHostName(e.path().filename().string());
    const std::string extension = file.size() < 5 ? std::string() : core::AsciiUpper(file.substr(file.size() - 4));
    if (extension != ".ADT" && extension != ".DBF") continue;
    dict::TableEntry t;
    t.name = file.substr(0, file.size() - 4);
    t.path = file;
    if (extension == ".DBF") {
      try {
        table::Table::OpenOptions o;
        o.readOnly = true;
        t.type = TableTypeCode(table::Table::Open(e.path().string(), o)->type());
      } catch (const EngineError&) {
        continue;  // not a table this engine opens
      }
    }
    out.push_back(t);
  }
  std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) {
    return core::AsciiUpper(a.name) < core::AsciiUpper(b.name);
  });
  return out;
}

std::string HostPathOf(Session& s, const dict::TableEntry& t) {
  std::shared_ptr<core::Connection> c = s.Connection();
  if (c->is_dictionary && c->dictionary) return c->dictionary->TableHostPath(t);
  return core::HostPathOrFail(c->folder + "\\" + t.path, "The table file");
}

// Opens a table to read its header; null when the file cannot be opened (missing, damaged,
// held exclusively): the catalogue then has no rows from it.
std::unique_ptr<table::Table> OpenHeader(const std::string& host) {
  try {
    table::Table::OpenOptions o;
    o.readOnly = true;
    return table::Table::Open(host, o);
  } catch (const EngineError&) {
    return nullptr;
  }
}

std::vector<CatalogRow> TablesRows(Session& s) {
  std::vector<CatalogRow> rows;
  for (const dict::TableEntry& t : DictionaryTables(s)) {
    rows.push_back({T(t.name), T(t.path), I(t.type), I(t.char_type), OrNull(t.primary_key), OrNull(t.default_index),
                    OrNull(t.index_files), OrNull(t.comment)});
  }
  return rows;
}

std::vector<CatalogRow> ColumnsRows(Session& s) {
  std::vector<CatalogRow> rows;
  for (const dict::TableEntry& t : DictionaryTables(s)) {
    std::unique_ptr<table::Table> file = OpenHeader(HostPathOf(s, t));
    if (!file) continue;
    const table::Schema& schema = file->schema();
    for (size_t i = 0; i < schema.fieldCount(); ++i) {
      const table::FieldDescriptor& d = schema.fields()[i];
      rows.push_back({T(d.name), T(t.name), I(static_cast<int64_t>(i + 1)), I(static_cast<int>(d.type)),
                      T(std::string(table::TypeWordOf(d.type))), I(d.length), I(d.decimals)});
    }
  }
  return rows;
}

std::vector<CatalogRow> IndexesRows(Session& s) {
  std::vector<CatalogRow> rows;
  for (const dict::TableEntry& t : DictionaryTables(s)) {
    std::string host = HostPathOf(s, t);
    std::unique_ptr<table::Table> file = OpenHeader(host);
    if (!file) continue;
    std::string indexFile = table_files::IndexPath(t.path);
    for (const table::TagDefinition& tag : file->tags()) {
      rows.push_back({T(tag.name), T(t.name), T(indexFile), T(tag.expression), OrNull(tag.condition),
                      I(tag.flags)});
    }
  }
  return rows;
}

std::vector<CatalogRow> NamesOf(Session& s, dict::ObjectType type) {
  std::vector<CatalogRow> rows;
  std::shared_ptr<core::Connection> c = s.Connection();
  if (!c->is_dictionary || !c->dictionary) return rows;
  for (const std::string& name : c->dictionary->ObjectNames(type, "")) rows.push_back({T(name)});
  return rows;
}

std::vector<CatalogRow> UsersRows(Session& s) { return NamesOf(s, dict::ObjectType::kUser); }
std::vector<CatalogRow> GroupsRows(Session& s) { return NamesOf(s, dict::ObjectType::kGroup); }
std::vector<CatalogRow> ProceduresRows(Session& s) { return NamesOf(s, dict::ObjectType::kProcedure); }

std::vector<CatalogRow> LinksRows(Session& s) {
  std::vector<CatalogRow> rows;
  std::shared_ptr<core::Connection> c = s.Connection();
  if (!c->is_dictionary || !c->dictionary) return rows;
  for (const dict::LinkEntry& l : c->dictionary->Links()) {
    rows.push_back({T(l.alias), T(l.path), I(l.options), OrNull(l.user)});
  }
  return rows;
}

// ---- the module ----

struct CatalogVtab : sqlite3_vtab {
  Session* session = nullptr;
  const CatalogTable* table = nullptr;
};

struct CatalogScan : sqlite3_vtab_cursor {
  std::vector<CatalogRow> rows;
  size_t row = 0;
};

std::string Declaration(const CatalogTable& t) {
  std::string sql = "CREATE TABLE x(";
  for (size_t i = 0; i < t.columns.size(); ++i) {
    if (i) sql += ", ";
    sql += "\"" + t.columns[i].name + "\" " + (t.columns[i].type == table::FieldType::kInteger ? "INTEGER" : "TEXT");
  }
  return sql + ")";
}

int Connect(sqlite3* db, void* aux, int argc, const char* const* argv, sqlite3_vtab** out, char** errOut) {
  const CatalogTable* found = nullptr;
  if (argc >= 4) {
    for (const CatalogTable& t : CatalogTables()) {
      if (core::EqualsIgnoringAsciiCase(t.name, argv[3])) found = &t;
    }
  }
  if (!found) {
    *errOut = sqlite3_mprintf("no such catalogue table");
    return SQLITE_ERROR;
  }
  int rc = sqlite3_declare_vtab(db, Declaration(*found).c_str());
  if (rc != SQLITE_OK) return rc;
  auto vtab = std::make_unique<CatalogVtab>();
  vtab->session = static_cast<Session*>(aux);
  vtab->table = found;
  *out = vtab.release();  // SQLite owns it until Disconnect
  return SQLITE_OK;
}

int Disconnect(sqlite3_vtab* v) {
  std::unique_ptr<CatalogVtab> owned(static_cast<CatalogVtab*>(v));
  return SQLITE_OK;
}

int BestIndex(sqlite3_vtab*, sqlite3_index_info* info) {
  info->estimatedCost = 1000;
  return SQLITE_OK;
}

int Open(sqlite3_vtab*, sqlite3_vtab_cursor** out) {
  *out = std::make_unique<CatalogScan>().release();  // SQLite owns it until Close
  return SQLITE_OK;
}

int Close(sqlite3_vtab_cursor* c) {
  std::unique_ptr<CatalogScan> owned(static_cast<CatalogScan*>(c));
  return SQLITE_OK;
}

int Filter(sqlite3_vtab_cursor* c, int, const char*, int, sqlite3_value**) {
  auto* scan = static_cast<CatalogScan*>(c);
  auto* vtab = static_cast<CatalogVtab*>(c->pVtab);
  try {
    scan->rows = vtab->table->rows(*vtab->session);
    scan->row = 0;
    return SQLITE_OK;
  } catch (const EngineError& e) {
    vtab->session->SetPendingError(e);
    return SQLITE_ERROR;
  }
}

int Next(sqlite3_vtab_cursor* c) {
  ++static_cast<CatalogScan*>(c)->row;
  return SQLITE_OK;
}

int Eof(sqlite3_vtab_cursor* c) {
  auto* scan = static_cast<CatalogScan*>(c);
  return scan->row >= scan->rows.size();
}

int Column(sqlite3_vtab_cursor* c, sqlite3_context* ctx, int i) {
  auto* scan = static_cast<CatalogScan*>(c);
  const CatalogValue& v = scan->rows[scan->row][static_cast<size_t>(i)];
  if (const auto* n = std::get_if<int64_t>(&v)) {
    sqlite3_result_int64(ctx, *n);
  } else if (const auto* t = std::get_if<std::string>(&v)) {
    sqlite3_result_text(ctx, t->data(), static_cast<int>(t->size()), SQLITE_TRANSIENT);
  } else {
    sqlite3_result_null(ctx);
  }
  return SQLITE_OK;
}

int Rowid(sqlite3_vtab_cursor* c, sqlite3_int64* rowid) {
  *rowid = static_cast<sqlite3_int64>(static_cast<CatalogScan*>(c)->row + 1);
  return SQLITE_OK;
}

sqlite3_module gModule = {
    1,       Connect, Connect, BestIndex, Disconnect, Disconnect, Open,    Close,   Filter,  Next,    Eof,     Column,
    Rowid,   nullptr, nullptr, nullptr,   nullptr,    nullptr,    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
};

}  // namespace

const std::vector<CatalogTable>& CatalogTables() {
  static const std::vector<CatalogTable> tables = {
      {"tables",
       {Text("Name", 200), Text("Table_Relative_Path", 260), Int("Table_Type"), Int("Table_Char_Type"),
        Text("Table_Primary_Key", 200), Text("Table_Default_Index", 200), Text("Table_Index_Files", 260),
        Text("Comment", 255)},
       TablesRows},
      {"columns",
       {Text("Name", 128), Text("Parent", 200), Int("Field_Num"), Int("Field_Type"), Text("Field_Type_Name", 20),
        Int("Field_Length"), Int("Field_Decimal")},
       ColumnsRows},
      {"indexes",
       {Text("Name", 128), Text("Parent", 200), Text("Index_File_Name", 260), Text("Index_Expression", 510),
        Text("Index_Condition", 510), Int("Index_Options")},
       IndexesRows},
      {"users", {Text("Name", 200)}, UsersRows},
      {"usergroups", {Text("Name", 200)}, GroupsRows},
      {"storedprocedures", {Text("Name", 200)}, ProceduresRows},
      {"links", {Text("Name", 200), Text("Link_Path", 260), Int("Link_Options"), Text("User_Name", 200)}, LinksRows},
  };
  return tables;
}

void CreateCatalog(sqlite3* db, Session* session) {
  sqlite3_create_module(db, "engine_catalog", &gModule, session);
  for (const CatalogTable& t : CatalogTables()) {
    std::string sql = std::string("CREATE VIRTUAL TABLE system.\"") + t.name + "\" USING engine_catalog(" + t.name + ")";
    int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) FailFromSqlite(db, rc);
    session->SetColumns("system", t.name, t.columns);
  }
}

}  // namespace engine::sql
