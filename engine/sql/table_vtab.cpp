#include "engine/index/key_builder.h"
#include "engine/index/table_indexes.h"
#include "engine/index/tag_def.h"
#include "engine/sql/table_vtab.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <functional>
#include <optional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "engine/core/codepage.h"
#include "engine/dict/dictionary.h"
#include "engine/sql/session.h"
#include "engine/sql/sql_error.h"
#include "engine/sql/value_codec.h"
#include "engine/table/api/field_values.h"
#include "engine/table/record_writer.h"
#include "engine/table/table.h"
#include "engine/table/table_cursor.h"
#include "engine/table/transaction.h"

namespace engine::sql {

namespace {

constexpr uint32_t kBatch = 256;  // chosen records read at a time during a lookup
// Chosen records at most this many bytes apart in the file are read with one read (reading
// the records between costs less than another system call), and at most kGatherRecords at once.
constexpr uint32_t kGatherGap = 4096;
constexpr uint32_t kGatherRecords = 1024;
// Bytes of records read from the file at a time during a scan: few reads, and a batch that
// still sits in the processor's cache while its rows are handed to SQLite.
constexpr size_t kScanBatchBytes = size_t{64} << 10;

// An index tag that holds every record and whose key depends on one column only, so that the
// records holding a value are found under the key of that value: a key of the column itself,
// or of UPPER()/LOWER() of a text column. `fromRecord` tags get the key of a value by
// evaluating their expression on a record holding it; the others are built directly.
struct ColumnLookup {
  std::string tag;  // "" when the column has none
  bool fromRecord = false;
  // The tag is the column itself, ascending, on a number or date column: its keys are in the
  // column's SQL order, so a range of values is a range of keys.
  bool ordered = false;
};

struct TableVtab : sqlite3_vtab {
  Session* session = nullptr;
  ResolvedTable table;
  table::Schema schema;
  // Per column, the index tag that an equality constraint on it is looked up in.
  std::vector<ColumnLookup> columnTag;
  // The engine cursor changes go through; opened by the first change of a statement and
  // closed with the virtual table when the statement has run.
  std::unique_ptr<table::TableCursor> writer;
  // The file Connect read the fields from, handed to the first scan of the statement so that
  // a statement opens each table once for reading.
  std::unique_ptr<table::Table> connected;
  // The reading open of the last scan, kept between statements without any lock
  // (Table::Park): the next scan takes it up again instead of opening the table, its header
  // and its indexes anew, unless something of it may have changed meanwhile.
  std::unique_ptr<table::Table> parked;
  std::string sqlName;    // the virtual table's name in SQLite
  std::string givenName;  // the table name as the statement gave it
  // Whether the running statement has checked the virtual table against the table (Check).
  bool checked = false;
  // Per column, whether an UPDATE that does not set it keeps it as it is without reading it:
  // blobs, and columns with rights of their own. Taken with the rights (Connect, Check).
  std::vector<bool> keepUnset;
};

struct TableScan : sqlite3_vtab_cursor {
  std::unique_ptr<table::Table> file;
  uint32_t connection = 0;   // the reading connection: other transactions show committed records
  uint32_t count = 0;        // records when the scan began
  uint32_t recno = 0;        // current record; count + 1 at the end
  const uint8_t* current = nullptr;  // the current record's image, in `batch`
  // Record images read from the file: a scan reads records batchFirst.. in order; a lookup
  // reads the records of chosen[batchFirst..] (slots of those it could not read stay marked in
  // `unreadable`).
  std::vector<uint8_t> batch;
  uint32_t batchFirst = 0;
  uint32_t batchCount = 0;
  std::vector<bool> unreadable;
  // An index lookup: the records whose key matched, in the order the scan gives them (ascending
  // record numbers, or the tag's order when the statement's ORDER BY is the tag's); the scan
  // walks them instead of the whole table.
  bool lookup = false;
  std::vector<uint32_t> chosen;
  size_t chosenAt = 0;
  std::vector<uint32_t> fileOrder;  // LoadChosen's slots by record number
  std::vector<uint8_t> gather;      // LoadChosen's read of a run of records close together
  // The file was opened for this statement and its counters read then: the first xFilter need
  // not read them again unless the statement has written since (session writes at the open).
  bool countersFresh = false;
  uint64_t writesAtOpen = 0;
  // Reads a blob of the current record (made once per scan, not for every column read).
  std::function<std::string(table::BlobRef)> readBlob;
  // Counts the moves of the scan, so that the numbers read from the current record are known
  // to be its own: a statement often reads one column several times per row (SUM(v), MIN(v),
  // MAX(v)), and a number is decoded once.
  uint64_t move = 1;
  struct KnownNumber {
    uint64_t move = 0;  // the move it was read at
    SqlNumber value;
  };
  std::vector<KnownNumber> numbers;  // per column
};

TableVtab* VtabOf(sqlite3_vtab* v) { return static_cast<TableVtab*>(v); }
TableScan* ScanOf(sqlite3_vtab_cursor* c) { return static_cast<TableScan*>(c); }

// Keeps an engine error for the statement and gives SQLite a failure code.
int Failed(sqlite3_vtab* vtab, Session* session, const EngineError& e) {
  session->SetPendingError(e);
  sqlite3_free(vtab->zErrMsg);
  vtab->zErrMsg = sqlite3_mprintf("%s", e.what());
  return SQLITE_ERROR;
}

std::string DeclarationOf(const table::Schema& schema) {
  std::string sql = "CREATE TABLE x(";
  for (size_t i = 0; i < schema.fieldCount(); ++i) {
    const table::FieldDescriptor& d = schema.fields()[i];
    if (i) sql += ", ";
    sql += "\"";
    for (char c : core::AnsiToUtf8(d.name)) {
      sql += c;
      if (c == '"') sql += '"';
    }
    sql += "\" ";
    sql += DeclaredType(d.type);
    if (d.type == table::FieldType::kCIString) sql += " COLLATE NOCASE";
  }
  return sql + ")";
}

std::string Unquoted(const char* arg) {
  std::string s(arg ? arg : "");
  if (s.size() >= 2 && (s.front() == '"' || s.front() == '\'')) {
    char q = s.front();
    std::string out;
    for (size_t i = 1; i + 1 < s.size(); ++i) {
      out += s[i];
      if (s[i] == q && s[i + 1] == q) ++i;
    }
    return out;
  }
  return s;
}

// Field types whose SQL value gives the index key exactly (an equal value has an equal key).
bool LookupType(table::FieldType t) {
  switch (t) {
    case table::FieldType::kString:
    case table::FieldType::kInteger:
    case table::FieldType::kShortInt:
    case table::FieldType::kAutoInc:
    case table::FieldType::kNumeric:
    case table::FieldType::kDouble:
    case table::FieldType::kCurDouble:
      return true;
    default:
      return false;
  }
}

// The field a tag expression keys when it is "FIELD", or "UPPER(FIELD)" / "LOWER(FIELD)"
// (then *folded is set); nullopt for any other expression.
std::optional<size_t> KeyedField(const table::Schema& schema, const std::string& expression, bool* folded) {
  auto trim = [](std::string_view v) {
    while (!v.empty() && std::isspace(static_cast<unsigned char>(v.front()))) v.remove_prefix(1);
    while (!v.empty() && std::isspace(static_cast<unsigned char>(v.back()))) v.remove_suffix(1);
    return v;
  };
  std::string_view e = trim(expression);
  *folded = false;
  size_t open = e.find('(');
  if (open != std::string_view::npos) {
    std::string function = core::AsciiUpper(std::string(trim(e.substr(0, open))));
    if ((function != "UPPER" && function != "LOWER") || e.back() != ')') return std::nullopt;
    e = trim(e.substr(open + 1, e.size() - open - 2));
    *folded = true;
  }
  return schema.Find(std::string(e));
}

std::vector<ColumnLookup> LookupTags(const table::Schema& schema, const std::vector<table::TagDefinition>& tags) {
  std::vector<ColumnLookup> out(schema.fieldCount());
  for (const table::TagDefinition& tag : tags) {
    // Unique tags keep one record per key and custom tags only what was added: neither can
    // answer which records hold a value.
    if (!tag.condition.empty() || (tag.flags & (index::kTagUnique | index::kTagCustom))) continue;
    bool folded = false;
    std::optional<size_t> field = KeyedField(schema, tag.expression, &folded);
    if (!field) continue;
    table::FieldType type = schema.fields()[*field].type;
    ColumnLookup candidate{tag.name, true};
    bool number = LookupType(type) && type != table::FieldType::kString;
    candidate.ordered = !folded && !(tag.flags & index::kTagDescending) && (number || type == table::FieldType::kDate);
    if (!folded && LookupType(type)) {
      candidate.fromRecord = false;
    } else if (folded ? (type != table::FieldType::kString && type != table::FieldType::kCIString) : type != table::FieldType::kDate) {
      // A CIChar column compares without regard to case, which only a folded key answers.
      continue;
    }
    ColumnLookup& slot = out[*field];
    // A key of the column itself picks out fewer records than a folded one.
    if (slot.tag.empty() || (slot.fromRecord && !candidate.fromRecord)) slot = candidate;
  }
  return out;
}

bool SameFields(const table::Schema& a, const table::Schema& b) {
  if (a.fieldCount() != b.fieldCount() || a.recordLength() != b.recordLength()) return false;
  for (size_t i = 0; i < a.fieldCount(); ++i) {
    const table::FieldDescriptor& x = a.fields()[i];
    const table::FieldDescriptor& y = b.fields()[i];
    if (x.name != y.name || x.type != y.type || x.length != y.length || x.decimals != y.decimals) return false;
  }
  return true;
}

[[noreturn]] void FailStale(TableVtab* vtab) {
  vtab->session->MarkStale(vtab->sqlName);
  Fail(err::kStatementMustBeRecreated,
       "The fields of the table \"" + vtab->table.name + "\" changed since the statement was prepared.");
}

// Whether the user has rights of its own on the column `name` (checked against them when set).
bool HasOwnRights(const TableVtab* vtab, const std::string& name) {
  if (!vtab->table.checkRights) return false;
  for (const auto& entry : vtab->table.columnRights)
    if (core::EqualsIgnoringAsciiCase(entry.first, name)) return true;
  return false;
}

// The columns an UPDATE keeps when it does not set them, for the rights taken now.
std::vector<bool> KeepUnset(const TableVtab* vtab) {
  std::vector<bool> keep(vtab->schema.fieldCount());
  for (size_t i = 0; i < keep.size(); ++i) {
    const table::FieldDescriptor& d = vtab->schema.fields()[i];
    keep[i] = table::IsBlobType(d.type) || HasOwnRights(vtab, d.name);
  }
  return keep;
}

// Once per statement, before the virtual table is read or changed: the table must still be
// where it was and have the fields SQLite was told of; the user's rights and the index tags
// are taken as they are now. `file` is the table, just opened.
void Check(TableVtab* vtab, table::Table& file) {
  if (vtab->checked) return;
  std::optional<ResolvedTable> now = vtab->session->Resolve(vtab->givenName, &file.path());
  if (!now || now->hostPath != vtab->table.hostPath || !SameFields(file.schema(), vtab->schema)) FailStale(vtab);
  vtab->table = std::move(*now);
  vtab->columnTag = LookupTags(vtab->schema, file.tags());
  vtab->keepUnset = KeepUnset(vtab);
  vtab->checked = true;
}

// Opens the table of a kept virtual table; a table that is gone makes it stale.
std::unique_ptr<table::Table> OpenChecked(TableVtab* vtab, bool readOnly) {
  table::Table::OpenOptions o;
  o.readOnly = readOnly;
  std::unique_ptr<table::Table> t;
  try {
    t = table::Table::Open(vtab->table.hostPath, o);
  } catch (const EngineError& e) {
    if (!vtab->checked && e.code() == err::kTableNotFound) FailStale(vtab);
    throw;
  }
  Check(vtab, *t);
  return t;
}

// Keeps a reading open for the next scan without its locks; an open that cannot be kept so is
// closed.
void Park(TableVtab* vtab, std::unique_ptr<table::Table> file) {
  if (!file || vtab->parked || !file->Park()) return;
  // Its tags are read under a reader lock each time; an index found unusable is not kept, since
  // it may be rebuilt before the next statement.
  if (index::TableIndexes* indexes = file->indexes(); indexes && indexes->structuralUnavailable()) return;
  vtab->parked = std::move(file);
}

// The table of a kept virtual table opened for reading: the parked open taken up again when
// nothing of it went stale, else a new open.
std::unique_ptr<table::Table> OpenReader(TableVtab* vtab) {
  if (std::unique_ptr<table::Table> kept = std::move(vtab->parked)) {
    index::TableIndexes* indexes = kept->indexes();
    if (kept->Resume() && (!indexes || indexes->FilesStillCurrent())) {
      Check(vtab, *kept);
      return kept;
    }
  }
  return OpenChecked(vtab, true);
}

// Whether the table of a kept virtual table is gone, moved or has other fields now.
bool IsStale(TableVtab* vtab) {
  std::optional<ResolvedTable> now = vtab->session->Resolve(vtab->givenName);
  if (!now || now->hostPath != vtab->table.hostPath) return true;
  try {
    table::Table::OpenOptions o;
    o.readOnly = true;
    return !SameFields(table::Table::Open(now->hostPath, o)->schema(), vtab->schema);
  } catch (const EngineError& e) {
    // A table that exists but cannot be opened now (held exclusively) is not known to differ.
    return e.code() == err::kTableNotFound;
  }
}

// What a statement's end does to a kept virtual table: writes what its writer holds and
// closes every file it opened.
void EndOfStatement(TableVtab* vtab) {
  if (vtab->writer) {
    try {
      vtab->writer->FlushPending();
    } catch (const EngineError&) {
      // Swallowed: every change is written inside its own xUpdate and a failure was reported
      // there; what is left to write is the tail of a batch the table will write on close.
    }
  }
  vtab->writer.reset();
  Park(vtab, std::move(vtab->connected));
  vtab->checked = false;
}

int Connect(sqlite3* db, void* aux, int argc, const char* const* argv, sqlite3_vtab** out, char** errOut) {
  auto* session = static_cast<Session*>(aux);
  try {
    if (argc < 4) FailSql(native::kOther, "The table's virtual table was declared without its name.");
    std::string name = Unquoted(argv[3]);
    std::optional<ResolvedTable> resolved = session->ResolveForAttach(name);
    if (!resolved) FailSql(native::kUnknownTable, "Table not found: \"" + name + "\".");
    RequireReachable(*resolved);
    table::Table::OpenOptions o;
    o.readOnly = true;
    std::unique_ptr<table::Table> t = table::Table::Open(resolved->hostPath, o);
    auto vtab = std::make_unique<TableVtab>();
    vtab->session = session;
    vtab->table = *resolved;
    vtab->schema = t->schema();
    vtab->columnTag = LookupTags(vtab->schema, t->tags());
    vtab->keepUnset = KeepUnset(vtab.get());
    vtab->connected = std::move(t);
    vtab->sqlName = argv[2];
    vtab->givenName = name;
    vtab->checked = true;
    int rc = sqlite3_declare_vtab(db, DeclarationOf(vtab->schema).c_str());
    if (rc != SQLITE_OK) FailFromSqlite(db, rc);
    std::vector<table::FieldSpec> columns;
    for (size_t i = 0; i < vtab->schema.fieldCount(); ++i) columns.push_back(vtab->schema.SpecOf(i));
    session->SetColumns("main", argv[2], std::move(columns));
    sqlite3_vtab_config(db, SQLITE_VTAB_CONSTRAINT_SUPPORT, 1);
    TableVtab* raw = vtab.get();
    session->AddTableHooks(raw, raw->sqlName, [raw]() { EndOfStatement(raw); }, [raw]() { return IsStale(raw); });
    *out = vtab.release();  // SQLite owns it until Disconnect
    return SQLITE_OK;
  } catch (const EngineError& e) {
    session->SetPendingError(e);
    *errOut = sqlite3_mprintf("%s", e.what());
    return SQLITE_ERROR;
  }
}

int Disconnect(sqlite3_vtab* v) {
  std::unique_ptr<TableVtab> owned(VtabOf(v));
  owned->session->RemoveTableHooks(owned.get());
  EndOfStatement(owned.get());
  owned->parked.reset();
  return SQLITE_OK;
}

// idxNum: the column + 1; for a range, which bounds xFilter gets (the lower one first); and
// whether the rows must come in the order of the column's tag (the statement's ORDER BY).
constexpr int kRangeLower = 0x10000;
constexpr int kRangeUpper = 0x20000;
constexpr int kOrderAscending = 0x40000;
constexpr int kOrderDescending = 0x80000;
constexpr int kColumnBits = 0xFFFF;
constexpr uint64_t kRangeScanMinimum = 1000;

// The order a lookup gives its records in.
enum class Delivery { kRecordOrder, kAscending, kDescending };

// Whether a column holds numbers or dates, whose SQL values sort as the keys of a tag on the
// column itself do.
bool NumberOrDate(table::FieldType t) { return (LookupType(t) && t != table::FieldType::kString) || t == table::FieldType::kDate; }

// An equality constraint on a column with a lookup tag is answered from the tag (idxNum is the
// column + 1), and so is a range (>, >=, <, <=, BETWEEN) on a number or date column whose tag is
// the column itself; SQLite still checks every row it gets, so the lookup only has to find a
// superset of the matching records. Anything else scans the table.
//
// An ORDER BY of that column alone costs no sort: the rows of an equality on a number or date
// all hold one value, and a range walks the tag upwards or downwards as the ORDER BY asks.
int BestIndex(sqlite3_vtab* v, sqlite3_index_info* info) {
  TableVtab* vtab = VtabOf(v);
  info->idxNum = 0;
  info->estimatedCost = 1e6;
  info->estimatedRows = 1000000;
  auto tagOf = [&](int column) -> const ColumnLookup* {
    if (column < 0 || static_cast<size_t>(column) >= vtab->columnTag.size()) return nullptr;
    const ColumnLookup& l = vtab->columnTag[column];
    return l.tag.empty() ? nullptr : &l;
  };
  auto ordersBy = [&](int column) { return info->nOrderBy == 1 && info->aOrderBy[0].iColumn == column; };
  for (int i = 0; i < info->nConstraint; ++i) {
    const auto& c = info->aConstraint[i];
    if (!c.usable || c.op != SQLITE_INDEX_CONSTRAINT_EQ || !tagOf(c.iColumn)) continue;
    info->idxNum = c.iColumn + 1;
    info->aConstraintUsage[i].argvIndex = 1;
    info->aConstraintUsage[i].omit = 0;
    info->estimatedCost = 20;
    info->estimatedRows = 10;
    if (ordersBy(c.iColumn) && NumberOrDate(vtab->schema.fields()[c.iColumn].type)) info->orderByConsumed = 1;
    return SQLITE_OK;
  }
  // A range on the first column that has an ordered tag: its lowest lower bound and upper
  // bound constraints (idxNum carries which are given).
  int column = -1, lower = -1, upper = -1;
  for (int i = 0; i < info->nConstraint; ++i) {
    const auto& c = info->aConstraint[i];
    const ColumnLookup* l = tagOf(c.iColumn);
    if (!c.usable || !l || !l->ordered || (column >= 0 && c.iColumn != column)) continue;
    bool isLower = c.op == SQLITE_INDEX_CONSTRAINT_GT || c.op == SQLITE_INDEX_CONSTRAINT_GE;
    bool isUpper = c.op == SQLITE_INDEX_CONSTRAINT_LT || c.op == SQLITE_INDEX_CONSTRAINT_LE;
    if (isLower && lower < 0) lower = i;
    if (isUpper && upper < 0) upper = i;
    if (isLower || isUpper) column = c.iColumn;
  }
  if (column < 0) return SQLITE_OK;
  info->idxNum = (column + 1) | (lower >= 0 ? kRangeLower : 0) | (upper >= 0 ? kRangeUpper : 0);
  if (lower >= 0) info->aConstraintUsage[lower].argvIndex = 1;
  if (upper >= 0) info->aConstraintUsage[upper].argvIndex = lower >= 0 ? 2 : 1;
  info->estimatedCost = lower >= 0 && upper >= 0 ? 100 : 1000;
  info->estimatedRows = lower >= 0 && upper >= 0 ? 100 : 1000;
  if (ordersBy(column)) {
    info->idxNum |= info->aOrderBy[0].desc ? kOrderDescending : kOrderAscending;
    info->orderByConsumed = 1;
  }
  return SQLITE_OK;
}

// The records whose key in a tag is `key`, ascending.
std::vector<uint32_t> RecordsUnder(index::IndexFile& index, size_t tagInFile, std::span<const uint8_t> key) {
  uint64_t from = index.LowerBound(tagInFile, key);
  uint64_t to = index.UpperBound(tagInFile, key);
  std::vector<uint32_t> records;
  index.RecordsAt(tagInFile, from, to, &records);
  std::sort(records.begin(), records.end());
  return records;
}

// The key a record holding `value` in `column` has in the tag; nullopt when the value is not
// one that a record equal to it in SQL holds in the same form (text of another kind, a date
// not written as the column gives its dates).
std::optional<std::vector<uint8_t>> KeyFromRecord(index::TableIndexes& indexes, index::TableIndexes::Tag& tag, const table::Schema& schema,
                                                 size_t column, sqlite3_value* value) {
  if (sqlite3_value_type(value) != SQLITE_TEXT) return std::nullopt;
  std::string text(reinterpret_cast<const char*>(sqlite3_value_text(value)), sqlite3_value_bytes(value));
  if (schema.fields()[column].type == table::FieldType::kDate) {
    std::optional<int32_t> day = ParseDate(text);
    if (!day || DateText(*day) != text) return std::nullopt;
  } else if (core::AnsiToUtf8(core::Utf8ToAnsi(text)) != text) {
    return std::nullopt;  // not a text the field can hold
  }
  std::vector<uint8_t> image(schema.recordLength());
  table::WriteEmptyRecord(schema, image.data());
  try {
    StoreValue(schema, image.data(), column, value, true, [](std::string_view) {});
  } catch (const EngineError&) {
    return std::nullopt;
  }
  std::span<const uint8_t> key = indexes.KeyOf(tag, image.data(), 0);
  return std::vector<uint8_t>(key.begin(), key.end());
}

// The records whose key in the column's tag equals `value`, ascending; nullopt when the tag
// cannot answer (its index is unavailable, or the value is not of the column's kind), and the
// scan then reads the whole table.
std::optional<std::vector<uint32_t>> LookUp(TableVtab* vtab, table::Table& file, size_t column, sqlite3_value* value) {
  int type = sqlite3_value_type(value);
  if (type == SQLITE_NULL) return std::vector<uint32_t>{};  // "= NULL" holds for no record
  index::TableIndexes* indexes = nullptr;
  try {
    indexes = &index::TableIndexes::Attach(file);
  } catch (const EngineError&) {
    return std::nullopt;  // no usable index: the full scan gives the same rows
  }
  if (indexes->structuralUnavailable()) return std::nullopt;
  index::TableIndexes::Tag* tag = indexes->FindTag(vtab->columnTag[column].tag);
  if (!tag) return std::nullopt;
  index::TableIndexes::Reading reading(*indexes);
  const index::KeyLayout& layout = indexes->InfoOf(*tag).layout;
  if (layout.segments().size() != 1) return std::nullopt;
  if (vtab->columnTag[column].fromRecord) {
    std::optional<std::vector<uint8_t>> k = KeyFromRecord(*indexes, *tag, file.schema(), column, value);
    if (!k) return std::nullopt;
    return RecordsUnder(indexes->FileOf(*tag), tag->tagInFile, *k);
  }
  index::KeyBuilder key(layout);
  switch (layout.segments()[0].kind) {
    case index::SegmentKind::kNumeric:
    case index::SegmentKind::kInteger:
    case index::SegmentKind::kInteger64:
      if (type != SQLITE_INTEGER && type != SQLITE_FLOAT) return std::nullopt;
      if (layout.segments()[0].kind == index::SegmentKind::kNumeric) {
        key.SetNumeric(0, sqlite3_value_double(value));
      } else {
        double d = sqlite3_value_double(value);
        if (d != std::floor(d)) return std::vector<uint32_t>{};  // no whole number equals it
        key.SetInteger(0, sqlite3_value_int64(value));
      }
      break;
    case index::SegmentKind::kString: {
      if (type != SQLITE_TEXT) return std::nullopt;
      std::string text(reinterpret_cast<const char*>(sqlite3_value_text(value)), sqlite3_value_bytes(value));
      std::string ansi = core::Utf8ToAnsi(text);
      if (core::AnsiToUtf8(ansi) != text) return std::nullopt;  // not a text the field can hold
      key.SetString(0, ansi.data(), ansi.size());
      break;
    }
    default:
      return std::nullopt;
  }
  std::span<const uint8_t> k = key.Key();
  return RecordsUnder(indexes->FileOf(*tag), tag->tagInFile, k);
}

// The key of a range bound on an ordered tag; nullopt when the value is not of the column's
// kind (the comparison SQL makes is then not the keys' order). `upper` rounds a whole-number
// bound up, a lower one down, so the key range holds every record within the bounds.
std::optional<std::vector<uint8_t>> BoundKey(const index::KeyLayout& layout, sqlite3_value* value, bool upper) {
  int type = sqlite3_value_type(value);
  index::KeyBuilder key(layout);
  switch (layout.segments()[0].kind) {
    case index::SegmentKind::kNumeric:
      if (type != SQLITE_INTEGER && type != SQLITE_FLOAT) return std::nullopt;
      key.SetNumeric(0, sqlite3_value_double(value));
      break;
    case index::SegmentKind::kInteger:
    case index::SegmentKind::kInteger64: {
      if (type != SQLITE_INTEGER && type != SQLITE_FLOAT) return std::nullopt;
      double d = sqlite3_value_double(value);
      if (!std::isfinite(d) || std::fabs(d) > 9.0e18) return std::nullopt;
      key.SetInteger(0, type == SQLITE_INTEGER ? sqlite3_value_int64(value)
                                               : static_cast<int64_t>(upper ? std::ceil(d) : std::floor(d)));
      break;
    }
    case index::SegmentKind::kDate: {
      if (type != SQLITE_TEXT) return std::nullopt;
      std::string text(reinterpret_cast<const char*>(sqlite3_value_text(value)), sqlite3_value_bytes(value));
      // Dates compare as their text in SQL; only a date written as the column gives them
      // falls in the same place among them.
      std::optional<int32_t> day = ParseDate(text);
      if (!day || DateText(*day) != text) return std::nullopt;
      key.SetDate(0, *day);
      break;
    }
    default:
      return std::nullopt;
  }
  std::span<const uint8_t> k = key.Key();
  return std::vector<uint8_t>(k.begin(), k.end());
}

// The records whose key in the column's ordered tag lies between the bounds given (either may
// be null), in the order asked for; nullopt when the tag cannot answer. A bound of another kind
// than the column's gives every record in the tag's order when an order is asked for, and
// nullopt (a scan) otherwise.
std::optional<std::vector<uint32_t>> LookUpRange(TableVtab* vtab, table::Table& file, size_t column, sqlite3_value* lower,
                                                 sqlite3_value* upper, Delivery delivery) {
  // A NULL bound holds for no record.
  if ((lower && sqlite3_value_type(lower) == SQLITE_NULL) || (upper && sqlite3_value_type(upper) == SQLITE_NULL)) {
    return std::vector<uint32_t>{};
  }
  index::TableIndexes* indexes = nullptr;
  try {
    indexes = &index::TableIndexes::Attach(file);
  } catch (const EngineError&) {
    return std::nullopt;  // no usable index: the full scan gives the same rows
  }
  if (indexes->structuralUnavailable() || !vtab->columnTag[column].ordered) return std::nullopt;
  index::TableIndexes::Tag* tag = indexes->FindTag(vtab->columnTag[column].tag);
  if (!tag) return std::nullopt;
  index::TableIndexes::Reading reading(*indexes);
  const index::TagInfo& info = indexes->InfoOf(*tag);
  if (info.layout.segments().size() != 1 || (info.def.options & index::kTagDescending)) return std::nullopt;
  index::IndexFile& index = indexes->FileOf(*tag);
  const uint64_t total = index.KeyCount(tag->tagInFile);
  uint64_t from = 0, to = total;
  std::optional<std::vector<uint8_t>> lowerKey, upperKey;
  if (lower) lowerKey = BoundKey(info.layout, lower, false);
  if (upper) upperKey = BoundKey(info.layout, upper, true);
  if ((lower && !lowerKey) || (upper && !upperKey)) {
    if (delivery == Delivery::kRecordOrder) return std::nullopt;
  } else {
    if (lowerKey) from = index.LowerBound(tag->tagInFile, *lowerKey);
    if (upperKey) to = index.UpperBound(tag->tagInFile, *upperKey);
  }
  // A range over much of a large table reads faster as a scan, which gives the same rows in
  // record order.
  if (delivery == Delivery::kRecordOrder && to > from && to - from > kRangeScanMinimum && (to - from) * 4 > total) {
    return std::nullopt;
  }
  std::vector<uint32_t> records;
  index.RecordsAt(tag->tagInFile, from, to, &records);
  if (delivery == Delivery::kRecordOrder) std::sort(records.begin(), records.end());
  if (delivery == Delivery::kDescending) std::reverse(records.begin(), records.end());
  return records;
}

// The value a number or date column sorts by in SQL.
double SortValue(const table::RecordView& record, size_t column) {
  return record.field(column).type == table::FieldType::kDate ? record.julian(column) : record.number(column);
}

int Open(sqlite3_vtab* v, sqlite3_vtab_cursor** out) {
  TableVtab* vtab = VtabOf(v);
  try {
    auto scan = std::make_unique<TableScan>();
    scan->file = vtab->connected ? std::move(vtab->connected) : OpenReader(vtab);
    scan->connection = vtab->session->connection();
    Check(vtab, *scan->file);
    if (vtab->table.checkRights && !(vtab->table.rights & dict::rights::kRead)) {
      Fail(err::kPermissionDenied, "Read permission not granted on the table \"" + vtab->table.name + "\".");
    }
    vtab->session->ApplyPassword(*scan->file, vtab->table);
    table::Table* file = scan->file.get();
    scan->readBlob = [file](table::BlobRef ref) { return file->ReadBlob(ref); };
    scan->numbers.resize(file->schema().fieldCount());
    scan->countersFresh = true;
    scan->writesAtOpen = vtab->session->writes;
    *out = scan.release();  // SQLite owns it until Close
    return SQLITE_OK;
  } catch (const EngineError& e) {
    return Failed(v, vtab->session, e);
  }
}

int Close(sqlite3_vtab_cursor* c) {
  std::unique_ptr<TableScan> owned(ScanOf(c));
  Park(VtabOf(c->pVtab), std::move(owned->file));
  return SQLITE_OK;
}

// Loads the batch holding record n when it is not loaded.
void LoadBatch(TableScan* s, uint32_t n) {
  if (n >= s->batchFirst && n < s->batchFirst + s->batchCount) return;
  uint32_t length = s->file->schema().recordLength();
  uint32_t records = static_cast<uint32_t>(std::max<size_t>(1, kScanBatchBytes / length));
  records = std::min(records, s->count - n + 1);
  if (s->batch.size() < size_t{records} * length) s->batch.resize(size_t{records} * length);
  s->batchFirst = n;
  s->batchCount = s->file->ReadRecords(n, records, s->batch.data());
  table::ShowCommitted(*s->file, s->connection, n, s->batchCount, s->batch.data());
}

const uint8_t* ImageOf(TableScan* s, uint32_t n) {
  LoadBatch(s, n);
  if (n >= s->batchFirst + s->batchCount) return nullptr;
  return s->batch.data() + size_t{n - s->batchFirst} * s->file->schema().recordLength();
}

// Moves to the first live record from n on.
void SeekLive(TableScan* s, uint32_t n) {
  ++s->move;
  for (; n <= s->count; ++n) {
    const uint8_t* image = ImageOf(s, n);
    if (!image) {
      n = s->count + 1;
      break;
    }
    if (image[0] != table::kDeletedFlag) {
      s->current = image;
      break;
    }
  }
  s->recno = n;
}

// Reads the records of the lookup list from position i on, up to a batch of them, into the
// batch's slots in the list's order: only the records chosen, and the committed images of
// records that other connections' transactions changed. The list is in the tag's order, which
// jumps about the file; the records are read in file order instead, and records lying close
// together (within kGatherGap bytes) are read with one read, so a range whose keys were
// appended together costs a read per run rather than one per record.
void LoadChosen(TableScan* s, size_t i) {
  const uint32_t length = s->file->schema().recordLength();
  size_t count = std::min<size_t>(kBatch, s->chosen.size() - i);
  s->batch.resize(count * length);
  s->unreadable.assign(count, false);
  s->batchFirst = static_cast<uint32_t>(i);
  s->batchCount = static_cast<uint32_t>(count);
  // Slots by record number; records appended after the scan began are not shown.
  std::vector<uint32_t>& order = s->fileOrder;
  order.clear();
  for (size_t k = 0; k < count; ++k) {
    const uint32_t n = s->chosen[i + k];
    if (n >= 1 && n <= s->count) {
      order.push_back(static_cast<uint32_t>(k));
    } else {
      s->unreadable[k] = true;
    }
  }
  std::sort(order.begin(), order.end(),
            [&](uint32_t a, uint32_t b) { return s->chosen[i + a] < s->chosen[i + b]; });
  // An encrypted record is decoded as it is read: only records asked for are read there.
  const uint32_t gapRecords = s->file->encrypted() ? 1 : std::max<uint32_t>(1, kGatherGap / length);
  // Reading first and asking about transactions afterwards: a transaction that changed a record
  // before it was read still holds it then.
  bool anyRead = false;
  for (size_t at = 0; at < order.size();) {
    const uint32_t first = s->chosen[i + order[at]];
    size_t end = at + 1;
    uint32_t last = first;
    while (end < order.size()) {
      const uint32_t n = s->chosen[i + order[end]];
      if (n - last > gapRecords || n - first >= kGatherRecords) break;
      last = n;
      ++end;
    }
    const uint32_t span = last - first + 1;
    uint32_t got = 0;
    if (at + 1 == end) {
      got = s->file->ReadRecords(first, 1, s->batch.data() + size_t{order[at]} * length);
    } else {
      s->gather.resize(size_t{span} * length);
      got = s->file->ReadRecords(first, span, s->gather.data());
    }
    for (size_t e = at; e < end; ++e) {
      const uint32_t n = s->chosen[i + order[e]];
      uint8_t* slot = s->batch.data() + size_t{order[e]} * length;
      if (n - first >= got) {
        // Past what the run's read gave (a short file, or an encrypted record that could not
        // be decoded): read alone, as if the run had not been gathered.
        if (at + 1 == end || s->file->ReadRecords(n, 1, slot) == 0) {
          s->unreadable[order[e]] = true;
          continue;
        }
      } else if (at + 1 != end) {
        std::memcpy(slot, s->gather.data() + size_t{n - first} * length, length);
      }
      anyRead = true;
    }
    at = end;
  }
  if (!anyRead || !s->file->ChangedByTransactions()) return;
  for (size_t k = 0; k < count; ++k) {
    if (s->unreadable[k]) continue;
    table::ShowCommitted(*s->file, s->connection, s->chosen[i + k], 1, s->batch.data() + k * length);
  }
}

// Moves to the first live record of the lookup list from position i on.
void SeekChosen(TableScan* s, size_t i) {
  ++s->move;
  const uint32_t length = s->file->schema().recordLength();
  for (; i < s->chosen.size(); ++i) {
    if (i < s->batchFirst || i >= size_t{s->batchFirst} + s->batchCount) LoadChosen(s, i);
    size_t slot = i - s->batchFirst;
    const uint8_t* image = s->batch.data() + slot * length;
    if (!s->unreadable[slot] && image[0] != table::kDeletedFlag) {
      s->chosenAt = i;
      s->recno = s->chosen[i];
      s->current = image;
      return;
    }
  }
  s->chosenAt = s->chosen.size();
  s->recno = s->count + 1;
}

int Filter(sqlite3_vtab_cursor* c, int idxNum, const char* idxStr, int argc, sqlite3_value** argv) {
  (void)idxStr;
  TableScan* s = ScanOf(c);
  TableVtab* vtab = VtabOf(c->pVtab);
  try {
    if (!s->countersFresh || s->writesAtOpen != vtab->session->writes) s->file->Refresh();
    s->countersFresh = false;
    s->count = s->file->cachedRecordCount();
    s->batchCount = 0;
    s->lookup = false;
    s->current = nullptr;
    ++s->move;
    std::optional<std::vector<uint32_t>> records;
    size_t column = static_cast<size_t>((idxNum & kColumnBits) - 1);
    Delivery delivery = (idxNum & kOrderDescending) ? Delivery::kDescending
                        : (idxNum & kOrderAscending) ? Delivery::kAscending
                                                     : Delivery::kRecordOrder;
    if (idxNum & (kRangeLower | kRangeUpper)) {
      bool hasLower = idxNum & kRangeLower, hasUpper = idxNum & kRangeUpper;
      if (argc == (hasLower ? 1 : 0) + (hasUpper ? 1 : 0)) {
        records = LookUpRange(vtab, *s->file, column, hasLower ? argv[0] : nullptr,
                              hasUpper ? argv[hasLower ? 1 : 0] : nullptr, delivery);
      }
    } else if (idxNum > 0 && argc == 1) {
      records = LookUp(vtab, *s->file, column, argv[0]);
    }
    if (!records && delivery != Delivery::kRecordOrder) {
      // SQLite was promised the rows in the column's order and the tag cannot give them (its
      // index is damaged, or it went since the statement was prepared): the records are sorted
      // here by the column's value, nulls first as SQL sorts them.
      std::vector<std::tuple<bool, double, uint32_t>> keyed;
      for (SeekLive(s, 1); s->recno <= s->count; SeekLive(s, s->recno + 1)) {
        table::RecordView view(s->file->schema(), s->current, s->recno);
        keyed.emplace_back(!view.isNull(column), view.isNull(column) ? 0 : SortValue(view, column), s->recno);
      }
      std::stable_sort(keyed.begin(), keyed.end());
      records.emplace();
      for (const auto& k : keyed) records->push_back(std::get<2>(k));
      if (delivery == Delivery::kDescending) std::reverse(records->begin(), records->end());
      s->batchCount = 0;
    }
    if (records) {
      s->lookup = true;
      s->chosen = std::move(*records);
      SeekChosen(s, 0);
      return SQLITE_OK;
    }
    SeekLive(s, 1);
    return SQLITE_OK;
  } catch (const EngineError& e) {
    return Failed(c->pVtab, vtab->session, e);
  }
}

int Next(sqlite3_vtab_cursor* c) {
  TableScan* s = ScanOf(c);
  try {
    if (s->lookup) {
      SeekChosen(s, s->chosenAt + 1);
      return SQLITE_OK;
    }
    SeekLive(s, s->recno + 1);
    return SQLITE_OK;
  } catch (const EngineError& e) {
    return Failed(c->pVtab, VtabOf(c->pVtab)->session, e);
  }
}

int Eof(sqlite3_vtab_cursor* c) { return ScanOf(c)->recno > ScanOf(c)->count; }

int Column(sqlite3_vtab_cursor* c, sqlite3_context* ctx, int i) {
  TableScan* s = ScanOf(c);
  try {
    if (s->recno > s->count || !s->current) Fail(err::kTableTruncated, "A record of the table ended early.");
    const size_t column = static_cast<size_t>(i);
    // An UPDATE keeps blobs, and columns with rights of their own, that it does not set.
    if (VtabOf(c->pVtab)->keepUnset[column] && sqlite3_vtab_nochange(ctx)) return SQLITE_OK;
    TableScan::KnownNumber& known = s->numbers[column];
    if (known.move == s->move) {
      ResultNumber(ctx, known.value);
      return SQLITE_OK;
    }
    table::RecordView view(s->file->schema(), s->current, s->recno);
    if (NumberField(view, column, &known.value)) {
      known.move = s->move;
      ResultNumber(ctx, known.value);
      return SQLITE_OK;
    }
    ResultField(ctx, view, column, s->readBlob);
    return SQLITE_OK;
  } catch (const EngineError& e) {
    return Failed(c->pVtab, VtabOf(c->pVtab)->session, e);
  }
}

int Rowid(sqlite3_vtab_cursor* c, sqlite3_int64* rowid) {
  *rowid = ScanOf(c)->recno;
  return SQLITE_OK;
}

// The engine sets these fields itself.
bool EngineSet(table::FieldType t) {
  return t == table::FieldType::kAutoInc || t == table::FieldType::kRowVersion || t == table::FieldType::kModTime;
}

table::TableCursor& Writer(TableVtab* vtab) {
  if (!vtab->writer) {
    std::unique_ptr<table::Table> t = OpenChecked(vtab, false);
    vtab->session->ApplyPassword(*t, vtab->table);
    index::TableIndexes::Attach(*t);  // DML keeps the indexes right
    table::CursorInfo info;
    info.connection = vtab->session->connection();
    info.name = vtab->table.name;
    info.windowsPath = vtab->table.windowsPath;
    info.collation = t->properties().collation;
    info.charType = t->properties().charType;
    info.checkRights = vtab->table.checkRights;
    uint32_t r = vtab->table.rights;
    if (r & dict::rights::kUpdate) info.options |= table::kOptUpdateGranted;
    if (r & dict::rights::kInsert) info.options |= table::kOptInsertGranted;
    if (r & dict::rights::kDelete) info.options |= table::kOptDeleteGranted;
    if (info.checkRights && !vtab->table.columnRights.empty())
      info.columnOptions = table::ColumnOptionsOf(t->schema(), vtab->table.columnRights);
    vtab->writer = std::make_unique<table::TableCursor>(std::move(t), std::move(info));
  }
  return *vtab->writer;
}

// Stores the new values argv[2..] of an updated row into the writer's current record.
void StoreRow(table::TableCursor& w, sqlite3_value** argv) {
  const table::Schema& schema = w.schema();
  for (size_t i = 0; i < schema.fieldCount(); ++i) {
    sqlite3_value* v = argv[2 + i];
    const table::FieldDescriptor& d = schema.fields()[i];
    if (sqlite3_value_nochange(v)) continue;
    if (EngineSet(d.type)) {
      // An UPDATE passes every column; an unchanged engine-set value is simply kept.
      table::RecordView now(schema, w.Current(), w.recordNumber());
      if (sqlite3_value_type(v) == SQLITE_INTEGER && sqlite3_value_int64(v) == now.integer(i)) continue;
      if (d.type == table::FieldType::kModTime) continue;
      FailColumn(err::kColumnTypeMismatch, d.name, "The engine sets this value; a statement cannot");
    }
    table::CheckAssignable(w, i);
    uint8_t* image = w.BeginChange();
    StoreValue(schema, image, i, v, false, [&](std::string_view content) { w.SetBlob(i, content); });
  }
}

// Stores the values argv[2..] of an inserted row into `image`, its blobs through `store`.
void StoreNewRow(table::TableCursor& w, uint8_t* image, sqlite3_value** argv, const table::TableCursor::BlobStore& store) {
  const table::Schema& schema = w.schema();
  for (size_t i = 0; i < schema.fieldCount(); ++i) {
    sqlite3_value* v = argv[2 + i];
    const table::FieldDescriptor& d = schema.fields()[i];
    if (sqlite3_value_nochange(v)) continue;
    if (EngineSet(d.type)) {
      if (sqlite3_value_type(v) == SQLITE_NULL) continue;
      FailColumn(err::kColumnTypeMismatch, d.name, "The engine sets this value; a statement cannot");
    }
    // A new record may leave a column without a value whatever the column's rights.
    if (sqlite3_value_type(v) != SQLITE_NULL) table::CheckInsertable(w, i);
    StoreValue(schema, image, i, v, false, [&](std::string_view content) { table::WriteBlobRef(schema, image, i, store(content)); });
  }
}

int Update(sqlite3_vtab* v, int argc, sqlite3_value** argv, sqlite3_int64* rowid) {
  TableVtab* vtab = VtabOf(v);
  try {
    table::TableCursor& w = Writer(vtab);
    ++vtab->session->writes;
    if (argc == 1) {
      w.GotoRecord(static_cast<uint32_t>(sqlite3_value_int64(argv[0])));
      w.DeleteRecord();
      return SQLITE_OK;
    }
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
      if (sqlite3_value_type(argv[1]) != SQLITE_NULL) {
        FailSql(native::kMisuse, "A record number cannot be chosen for a new record.");
      }
      // The row is counted only once it is whole: a failure or a crash on the way leaves none.
      uint32_t n = w.InsertRecord([&](uint8_t* image, const table::TableCursor::BlobStore& store) {
        StoreNewRow(w, image, argv, store);
      });
      *rowid = n;
      vtab->session->lastAutoinc = w.lastAppendedAutoinc;
      return SQLITE_OK;
    }
    uint32_t n = static_cast<uint32_t>(sqlite3_value_int64(argv[0]));
    if (sqlite3_value_int64(argv[1]) != sqlite3_value_int64(argv[0])) {
      FailSql(native::kMisuse, "The record number of a record cannot be changed.");
    }
    w.GotoRecord(n);
    try {
      StoreRow(w, argv);
      if (w.pending()) w.WriteRecord();
    } catch (...) {
      if (w.pending()) w.CancelUpdate();
      throw;
    }
    return SQLITE_OK;
  } catch (const EngineError& e) {
    return Failed(v, vtab->session, e);
  }
}

sqlite3_module gModule = {
    /* iVersion */ 2,
    /* xCreate */ Connect,
    /* xConnect */ Connect,
    /* xBestIndex */ BestIndex,
    /* xDisconnect */ Disconnect,
    /* xDestroy */ Disconnect,
    /* xOpen */ Open,
    /* xClose */ Close,
    /* xFilter */ Filter,
    /* xNext */ Next,
    /* xEof */ Eof,
    /* xColumn */ Column,
    /* xRowid */ Rowid,
    /* xUpdate */ Update,
    /* xBegin */ nullptr,
    /* xSync */ nullptr,
    /* xCommit */ nullptr,
    /* xRollback */ nullptr,
    /* xFindFunction */ nullptr,
    /* xRename */ nullptr,
    /* xSavepoint */ nullptr,
    /* xRelease */ nullptr,
    /* xRollbackTo */ nullptr,
    /* xShadowName */ nullptr,
};

}  // namespace

void RegisterTableModule(sqlite3* db, Session* session) {
  sqlite3_create_module(db, "engine_table", &gModule, session);
}

}  // namespace engine::sql
