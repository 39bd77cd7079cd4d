#include "engine/sql/result_cursor.h"

#include <atomic>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/core/codepage.h"
#include "engine/index/table_reindex.h"
#include "engine/sql/result_order.h"
#include "engine/sql/session.h"
#include "engine/sql/sql_error.h"
#include "engine/sql/value_codec.h"
#include "engine/storage/memory_storage.h"
#include "engine/table/record_writer.h"
#include "engine/table/table.h"
#include "engine/table/table_files.h"

namespace engine::sql {

namespace {

constexpr uint32_t kLongestCharColumn = 8000;
constexpr uint32_t kRecordBudget = 60000;

std::atomic<uint64_t> gCursorCounter{0};

// The files of one static cursor, removed when the cursor goes.
struct TempTableFiles {
  std::string path;
  ~TempTableFiles() {
    if (path.empty()) return;
    try {
      table_files::RemoveTable(path, /*durable=*/false);
    } catch (const EngineError&) {
      // A scratch file left in the temporary folder is all that remains.
    }
  }
};

// A cursor with the files it reads; the cursor (declared last) is released before the files.
struct StaticCursor {
  TempTableFiles files;
  std::unique_ptr<table::TableCursor> cursor;
};

// A result lives in memory (memory_storage.h): it needs no file of the host's, no folder
// listing and no sync, and what grows large moves to an unnamed work file by itself.
std::string NewTempPath() {
  return std::string(storage::kMemoryFolder) + "/ace_cursor_" + std::to_string(++gCursorCounter) + ".adt";
}

// A result column's name made fit for a field: separators replaced, at most 128 characters,
// unique without regard to case.
std::string FieldName(const char* utf8, size_t index, std::set<std::string>* taken) {
  std::string name = core::Utf8ToAnsi(utf8 ? utf8 : "");
  for (char& c : name) {
    if (c == ',' || c == ';' || static_cast<unsigned char>(c) < 0x20) c = '_';
  }
  if (name.empty()) name = "EXPR_" + std::to_string(index + 1);
  if (name.size() > table::kMaxFieldNameLength) name.resize(table::kMaxFieldNameLength);
  std::string candidate = name;
  for (int n = 1; taken->count(core::AsciiUpper(candidate)); ++n) {
    std::string suffix = "_" + std::to_string(n);
    candidate = name.substr(0, table::kMaxFieldNameLength - suffix.size()) + suffix;
  }
  taken->insert(core::AsciiUpper(candidate));
  return candidate;
}

// The declaration of the column a result column selects, when it selects one directly.
std::optional<table::FieldSpec> OriginOf(Session& session, sqlite3_stmt* stmt, int i) {
  const char* db = sqlite3_column_database_name(stmt, i);
  const char* table = sqlite3_column_table_name(stmt, i);
  const char* column = sqlite3_column_origin_name(stmt, i);
  if (!db || !table || !column) return std::nullopt;
  const std::vector<table::FieldSpec>* columns = session.ColumnsOf(db, table);
  if (!columns) return std::nullopt;
  std::string ansi = core::Utf8ToAnsi(column);
  for (const table::FieldSpec& f : *columns) {
    if (!core::EqualsIgnoringAsciiCase(f.name, ansi)) continue;
    table::FieldSpec out = f;
    if (out.type == table::FieldType::kAutoInc) out.type = table::FieldType::kInteger;
    if (out.type == table::FieldType::kModTime) out.type = table::FieldType::kTimeStamp;
    if (out.type == table::FieldType::kRowVersion) out = table::FieldSpec{f.name, table::FieldType::kNumeric, 20, 0};
    return out;
  }
  return std::nullopt;
}

using ValuePtr = std::unique_ptr<sqlite3_value, decltype(&sqlite3_value_free)>;

// The natural type of a computed column from all its values.
table::FieldSpec Inferred(const std::vector<std::vector<ValuePtr>>& rows, size_t c) {
  bool text = false, blob = false, real = false, big = false, any = false;
  uint32_t longest = 1;
  for (const auto& row : rows) {
    sqlite3_value* v = row[c].get();
    switch (sqlite3_value_type(v)) {
      case SQLITE_NULL:
        continue;
      case SQLITE_INTEGER: {
        sqlite3_int64 n = sqlite3_value_int64(v);
        if (n < INT32_MIN || n > INT32_MAX) big = true;
        break;
      }
      case SQLITE_FLOAT:
        real = true;
        break;
      case SQLITE_BLOB:
        blob = true;
        break;
      default:
        text = true;
        break;
    }
    any = true;
    if (sqlite3_value_type(v) != SQLITE_BLOB) {
      const unsigned char* t = sqlite3_value_text(v);
      std::string ansi = core::Utf8ToAnsi(t ? reinterpret_cast<const char*>(t) : "");
      longest = std::max<uint32_t>(longest, static_cast<uint32_t>(ansi.size()));
    }
  }
  table::FieldSpec f;
  if (blob) {
    f.type = table::FieldType::kBinary;
  } else if (text || !any) {
    f.type = longest > kLongestCharColumn ? table::FieldType::kMemo : table::FieldType::kString;
    if (f.type == table::FieldType::kString) f.length = longest;
  } else if (real || big) {
    f.type = table::FieldType::kDouble;
  } else {
    f.type = table::FieldType::kInteger;
  }
  return f;
}

// Turns the longest character fields into memos until the record fits.
void FitRecord(std::vector<table::FieldSpec>* fields) {
  for (;;) {
    uint64_t total = 1;
    size_t longest = fields->size();
    for (size_t i = 0; i < fields->size(); ++i) {
      const table::FieldSpec& f = (*fields)[i];
      total += table::FieldStorageSize(f.type, f.length);
      if ((f.type == table::FieldType::kString || f.type == table::FieldType::kCIString) &&
          (longest == fields->size() || f.length > (*fields)[longest].length)) {
        longest = i;
      }
    }
    if (total <= kRecordBudget || longest == fields->size()) return;
    (*fields)[longest].type = table::FieldType::kMemo;
    (*fields)[longest].length = 0;
  }
}

// Writes rows into the open table `t`: `next` gives each row's values (false at the end).
void WriteRows(table::Table& t, const std::function<bool(std::vector<sqlite3_value*>*)>& next) {
  const table::Schema& schema = t.schema();
  std::vector<uint8_t> image(schema.recordLength());
  std::vector<sqlite3_value*> values;
  // Made once, not per value: a function object of this size is allocated on the heap.
  size_t column = 0;
  const std::function<void(std::string_view)> setBlob = [&](std::string_view content) {
    table::WriteBlobRef(schema, image.data(), column, content.empty() ? table::BlobRef{} : t.WriteBlob(content));
  };
  while (next(&values)) {
    table::WriteEmptyRecord(schema, image.data());
    for (column = 0; column < values.size(); ++column) {
      StoreValue(schema, image.data(), column, values[column], true, setBlob);
    }
    t.AppendRecord(image.data());
  }
}

// A value that does not fit its selected column's type (a UNION mixing types): the rows are
// typed from their values instead.
bool IsTypeMismatch(const EngineError& e) { return e.code() == err::kColumnTypeMismatch; }

}  // namespace

std::shared_ptr<table::TableCursor> MaterialiseResult(Session& session, sqlite3_stmt* stmt, const StepFn& step,
                                                      std::string_view statement) {
  int columns = sqlite3_column_count(stmt);
  std::vector<std::optional<table::FieldSpec>> origin(columns);
  std::vector<std::string> names(columns);
  std::set<std::string> taken;
  bool allKnown = true;
  for (int i = 0; i < columns; ++i) {
    names[i] = FieldName(sqlite3_column_name(stmt, i), i, &taken);
    origin[i] = OriginOf(session, stmt, i);
    if (!origin[i]) allKnown = false;
  }

  auto holder = std::make_shared<StaticCursor>();
  holder->files.path = NewTempPath();
  // A statement that has passwords may read encrypted tables: its rows must not reach the
  // temporary folder in clear, so the result table is encrypted under a random password that
  // lives only in this process.
  std::string resultPassword;
  if (!session.tablePasswords.empty() || session.encryptionPassword) resultPassword = table::RandomPassword();
  auto create = [&](std::vector<table::FieldSpec> fields) {
    for (int i = 0; i < columns; ++i) fields[i].name = names[i];
    FitRecord(&fields);
    table::Table::CreateOptions c;
    c.scratch = true;
    table::Table::Create(holder->files.path, table::Schema::FromSpecs(fields), c);
    table::Table::OpenOptions o;
    o.exclusive = true;
    o.scratch = true;
    std::unique_ptr<table::Table> t = table::Table::Open(holder->files.path, o);
    if (!resultPassword.empty()) {
      t->EnableEncryption(resultPassword, table::CipherKind::kAes256Gcm);
      t->EncryptTable();
    }
    return t;
  };

  // The rows are in the statement's order; an ORDER BY also gives the cursor an order of its own.
  std::optional<OrderByClause> orderBy = FindOrderBy(statement, names);
  auto Finish = [&](table::Table& t) {
    if (orderBy) AddResultOrder(t, *orderBy);
    t.Flush();
  };

  bool written = false;
  // A statement that changes data (INSERT ... RETURNING) must run once only: its rows are
  // always kept, so that a retyping never runs it again.
  if (allKnown && columns > 0 && sqlite3_stmt_readonly(stmt)) {
    // Every column selects a table column: the rows stream straight into the cursor's table.
    std::vector<table::FieldSpec> fields;
    for (const auto& o : origin) fields.push_back(*o);
    std::unique_ptr<table::Table> t = create(fields);
    try {
      WriteRows(*t, [&](std::vector<sqlite3_value*>* values) {
        if (!step()) return false;
        values->clear();
        for (int i = 0; i < columns; ++i) values->push_back(sqlite3_column_value(stmt, i));
        return true;
      });
      Finish(*t);
      written = true;
    } catch (const EngineError& e) {
      if (!IsTypeMismatch(e)) throw;
      t.reset();
      sqlite3_reset(stmt);
    }
  }
  if (!written) {
    std::vector<std::vector<ValuePtr>> rows;
    while (step()) {
      std::vector<ValuePtr> row;
      for (int i = 0; i < columns; ++i) {
        sqlite3_value* copy = sqlite3_value_dup(sqlite3_column_value(stmt, i));
        if (!copy) throw std::bad_alloc();
        row.emplace_back(copy, &sqlite3_value_free);
      }
      rows.push_back(std::move(row));
    }
    std::vector<table::FieldSpec> fields;
    for (int i = 0; i < columns; ++i) fields.push_back(Inferred(rows, i));
    if (columns == 0) fields.push_back(table::FieldSpec{"EXPR_1", table::FieldType::kString, 1, 0});
    std::unique_ptr<table::Table> t = create(fields);
    size_t r = 0;
    WriteRows(*t, [&](std::vector<sqlite3_value*>* values) {
      if (r >= rows.size()) return false;
      values->clear();
      for (auto& v : rows[r]) values->push_back(v.get());
      ++r;
      return true;
    });
    Finish(*t);
  }

  table::Table::OpenOptions ro;
  ro.exclusive = true;
  ro.readOnly = true;
  ro.scratch = true;
  std::unique_ptr<table::Table> t = table::Table::Open(holder->files.path, ro);
  if (!resultPassword.empty()) t->EnableEncryption(resultPassword, table::CipherKind::kAes256Gcm);
  table::CursorInfo info;
  info.connection = session.connection();
  info.name = "";
  info.windowsPath = holder->files.path;
  info.options = table::kOptReadOnly;
  info.checkRights = false;
  info.staticResult = true;
  if (orderBy) info.ownOrder = kResultOrderTag;
  holder->cursor = std::make_unique<table::TableCursor>(std::move(t), std::move(info));
  return std::shared_ptr<table::TableCursor>(holder, holder->cursor.get());
}

}  // namespace engine::sql
