// Data definition through SQL; see ddl.h. Parsing works on the statement's tokens and yields a
// plain description of the statement, which CheckDdl only builds and RunDdl carries out.
#include "engine/sql/ddl.h"


#include <cctype>
#include <filesystem>
#include <map>
#include <memory>

#include "engine/core/codepage.h"
#include "engine/core/error.h"
#include "engine/core/host_path.h"
#include "engine/dict/dictionary.h"
#include "engine/index/table_indexes.h"
#include "engine/index/table_reindex.h"
#include "engine/index/tag_def.h"
#include "engine/sql/session.h"
#include "engine/sql/sql_error.h"
#include "engine/table/api/table_handles.h"
#include "engine/table/field_type.h"
#include "engine/table/table.h"
#include "engine/table/table_files.h"

namespace engine::sql {

namespace {

// ---- the statements, parsed ----

struct KeyDef {
  std::string name;                  // tag name
  std::vector<std::string> segments;  // xBase expressions (ANSI)
  bool descending = false;
  bool unique = false;
};

struct CreateTable {
  std::string table;
  std::vector<table::FieldSpec> fields;
  std::vector<KeyDef> keys;  // from PRIMARY KEY and UNIQUE constraints
  std::optional<size_t> primaryKey;  // index into keys
};

struct DropTable {
  std::string table;
};

struct CreateIndex {
  std::string table;
  KeyDef key;
};

struct DropIndex {
  std::string table;  // "" when the statement named the index alone
  std::string index;
};

// ---- parsing ----

bool IsWordStart(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || (c & 0x80); }

class Parser {
 public:
  Parser(const std::string& text, const std::vector<Token>& tokens, std::string statement)
      : text_(text), t_(tokens), statement_(std::move(statement)) {}

  bool AtEnd() const { return i_ >= t_.size(); }
  size_t position() const { return i_; }

  bool PeekWord(const char* word, size_t ahead = 0) const {
    size_t k = i_ + ahead;
    return k < t_.size() && !t_[k].quoted && !t_[k].literal && Upper(t_[k].text) == word;
  }
  bool TakeWord(const char* word) {
    if (!PeekWord(word)) return false;
    ++i_;
    return true;
  }
  void ExpectWord(const char* word) {
    if (!TakeWord(word)) Syntax(std::string("expected ") + word);
  }
  bool PeekPunct(char c, size_t ahead = 0) const {
    size_t k = i_ + ahead;
    return k < t_.size() && !t_[k].quoted && !t_[k].literal && t_[k].text.size() == 1 && t_[k].text[0] == c;
  }
  bool TakePunct(char c) {
    if (!PeekPunct(c)) return false;
    ++i_;
    return true;
  }
  void ExpectPunct(char c) {
    if (!TakePunct(c)) Syntax(std::string("expected \"") + c + "\"");
  }
  // A name: a word or a quoted name.
  std::string Name(const char* what) {
    if (AtEnd() || t_[i_].literal || t_[i_].text.empty() || (!t_[i_].quoted && !IsWordStart(t_[i_].text[0]))) {
      Syntax(std::string("expected ") + what);
    }
    return t_[i_++].text;
  }
  uint32_t Number(const char* what) {
    if (AtEnd() || t_[i_].quoted || t_[i_].literal) Syntax(std::string("expected ") + what);
    const std::string& s = t_[i_].text;
    if (s.empty() || s.size() > 9 || s.find_first_not_of("0123456789") != std::string::npos) {
      Syntax(std::string("expected ") + what);
    }
    ++i_;
    return static_cast<uint32_t>(std::stoul(s));
  }
  void ExpectEnd() {
    if (!AtEnd()) Syntax("text follows the end of the statement");
  }

  // The text of the tokens [from, to) as written.
  std::string TextOf(size_t from, size_t to) const {
    if (from >= to) return "";
    size_t begin = t_[from].offset;
    size_t end = to < t_.size() ? t_[to].offset : text_.size();
    std::string s = text_.substr(begin, end - begin);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
    return s;
  }
  const Token& token(size_t k) const { return t_[k]; }
  size_t size() const { return t_.size(); }
  void Skip(size_t n) { i_ += n; }

  [[noreturn]] void Syntax(const std::string& what) const {
    std::string near = AtEnd() ? "at the end of the statement" : "near \"" + t_[i_].text + "\"";
    FailSql(native::kSyntax, "Syntax error in " + statement_ + ": " + what + " " + near + ".");
  }
  [[noreturn]] void Unsupported(const std::string& what) const {
    FailSql(native::kUnsupported, statement_ + ": " + what + " is not supported.");
  }

 private:
  const std::string& text_;
  const std::vector<Token>& t_;
  std::string statement_;
  size_t i_ = 0;
};

// SQL type names that are not type words of the field-definition string.
const std::map<std::string, std::string>& SqlTypeNames() {
  static const std::map<std::string, std::string> names = {
      {"INT", "Integer"},    {"SMALLINT", "ShortInt"}, {"DECIMAL", "Numeric"}, {"DEC", "Numeric"},
      {"FLOAT", "Double"},   {"REAL", "Double"},       {"TEXT", "Memo"},       {"CLOB", "Memo"},
      {"DATETIME", "TimeStamp"},
  };
  return names;
}

table::FieldSpec ParseColumnType(Parser& p, const std::string& column) {
  std::string word = p.Name("a type");
  std::string upper = Upper(word);
  auto alias = SqlTypeNames().find(upper);
  std::optional<table::TypeWord> type = table::FindTypeWord(alias == SqlTypeNames().end() ? word : alias->second);
  if (!type) {
    FailSql(native::kSyntax, "Syntax error in CREATE TABLE: the type \"" + word + "\" of column \"" + column +
                                 "\" is not one the engine knows.");
  }
  if (upper == "DOUBLE") p.TakeWord("PRECISION");
  table::FieldSpec field;
  field.name = core::Utf8ToAnsi(column);
  field.type = type->type;
  std::vector<uint32_t> args;
  if (p.TakePunct('(')) {
    args.push_back(p.Number("a length"));
    if (p.TakePunct(',')) args.push_back(p.Number("a number of decimals"));
    p.ExpectPunct(')');
  }
  auto bad = [&](const std::string& why) {
    FailSql(native::kSyntax, "Syntax error in CREATE TABLE: column \"" + column + "\" of type " +
                                 std::string(type->word) + " " + why + ".");
  };
  switch (type->args) {
    case table::TypeArgs::kNone:
      if (!args.empty()) bad("takes no length");
      break;
    case table::TypeArgs::kLength:
      if (args.size() != 1) bad("needs one length in parentheses");
      field.length = args[0];
      break;
    case table::TypeArgs::kOptionalLength:
      if (args.size() > 1) bad("takes at most the number of decimals");
      if (!args.empty()) field.decimals = static_cast<uint16_t>(std::min<uint32_t>(args[0], 0xFFFF));
      break;
    case table::TypeArgs::kLengthDecimals:
      if (args.empty()) bad("needs a length (and decimals) in parentheses");
      field.length = args[0];
      if (args.size() > 1) field.decimals = static_cast<uint16_t>(std::min<uint32_t>(args[1], 0xFFFF));
      break;
  }
  return field;
}

// "( name, name, ... )" of a table constraint.
std::vector<std::string> ColumnList(Parser& p) {
  std::vector<std::string> columns;
  p.ExpectPunct('(');
  do {
    columns.push_back(core::Utf8ToAnsi(p.Name("a column name")));
  } while (p.TakePunct(','));
  p.ExpectPunct(')');
  return columns;
}

void AddKey(CreateTable& c, Parser& p, KeyDef key, bool primary) {
  if (primary) {
    if (c.primaryKey) p.Syntax("a table has one primary key");
    c.primaryKey = c.keys.size();
  }
  c.keys.push_back(std::move(key));
}

CreateTable ParseCreateTable(Parser& p) {
  CreateTable c;
  c.table = p.Name("a table name");
  p.ExpectPunct('(');
  do {
    std::string constraintName;
    bool named = false;
    if (p.PeekWord("CONSTRAINT")) {
      p.Skip(1);
      constraintName = core::Utf8ToAnsi(p.Name("a constraint name"));
      named = true;
    }
    bool primary = p.PeekWord("PRIMARY") && p.PeekWord("KEY", 1) && p.PeekPunct('(', 2);
    bool unique = p.PeekWord("UNIQUE") && p.PeekPunct('(', 1);
    if (primary || unique) {
      p.Skip(primary ? 2 : 1);
      KeyDef key;
      key.segments = ColumnList(p);
      key.unique = true;
      key.name = named ? constraintName : primary ? "PRIMARY_KEY" : key.segments[0];
      AddKey(c, p, std::move(key), primary);
      continue;
    }
    if (named) p.Syntax("expected PRIMARY KEY or UNIQUE after the constraint name");
    std::string column = p.Name("a column name");
    c.fields.push_back(ParseColumnType(p, column));
    // Column constraints.
    while (!p.AtEnd() && !p.PeekPunct(',') && !p.PeekPunct(')')) {
      std::string name;
      bool namedHere = false;
      if (p.TakeWord("CONSTRAINT")) {
        if (p.PeekWord("NOT") || p.PeekWord("NULL") || p.PeekWord("PRIMARY") || p.PeekWord("UNIQUE")) {
          // "CONSTRAINT NOT NULL" and its kin: the keyword introduces the constraint itself.
        } else {
          name = core::Utf8ToAnsi(p.Name("a constraint name"));
          namedHere = true;
        }
      }
      if (p.TakeWord("PRIMARY")) {
        p.ExpectWord("KEY");
        KeyDef key{namedHere ? name : "PRIMARY_KEY", {c.fields.back().name}, false, true};
        AddKey(c, p, std::move(key), true);
      } else if (p.TakeWord("UNIQUE")) {
        KeyDef key{namedHere ? name : c.fields.back().name, {c.fields.back().name}, false, true};
        AddKey(c, p, std::move(key), false);
      } else if (p.TakeWord("NULL")) {
        // Every field of a native table may be empty: NULL states what already holds.
      } else if (p.PeekWord("NOT") || p.PeekWord("DEFAULT") || p.PeekWord("CHECK") || p.PeekWord("REFERENCES") ||
                 p.PeekWord("COLLATE")) {
        std::string what = Upper(p.token(p.position()).text);
        if (what == "NOT") what = "NOT NULL";
        p.Unsupported("the column constraint " + what + " (column \"" + column + "\")");
      } else {
        p.Syntax("expected \",\" or \")\" after the column \"" + column + "\"");
      }
    }
  } while (p.TakePunct(','));
  p.ExpectPunct(')');
  p.ExpectEnd();
  if (c.fields.empty()) FailSql(native::kSyntax, "Syntax error in CREATE TABLE: the table needs at least one column.");
  return c;
}

// "( piece [ASC|DESC], ... )": each piece is a column or an xBase expression.
KeyDef ParseKey(Parser& p, const std::string& name, bool unique) {
  KeyDef key;
  key.name = core::Utf8ToAnsi(name);
  key.unique = unique;
  p.ExpectPunct('(');
  int descending = 0;
  for (;;) {
    size_t from = p.position();
    int depth = 0;
    while (!p.AtEnd()) {
      if (p.PeekPunct('(')) ++depth;
      if (p.PeekPunct(')')) {
        if (depth == 0) break;
        --depth;
      }
      if (depth == 0 && p.PeekPunct(',')) break;
      p.Skip(1);
    }
    if (p.AtEnd()) p.Syntax("the key is not closed by \")\"");
    size_t to = p.position();
    bool desc = false;
    if (to > from && !p.token(to - 1).quoted && !p.token(to - 1).literal) {
      std::string last = Upper(p.token(to - 1).text);
      if (last == "DESC" || last == "ASC") {
        desc = last == "DESC";
        --to;
      }
    }
    if (to == from) p.Syntax("expected a column or key expression");
    descending += desc ? 1 : 0;
    // A single quoted name is a column; anything else is an expression as written.
    std::string segment = (to == from + 1 && p.token(from).quoted) ? p.token(from).text : p.TextOf(from, to);
    key.segments.push_back(core::Utf8ToAnsi(segment));
    if (p.TakePunct(',')) continue;
    p.ExpectPunct(')');
    break;
  }
  if (descending != 0 && descending != static_cast<int>(key.segments.size())) {
    p.Unsupported("an index whose segments are partly ascending and partly descending");
  }
  key.descending = descending != 0;
  p.ExpectEnd();
  return key;
}

enum class Kind { kNone, kCreateTable, kDropTable, kCreateIndex, kDropIndex };

Kind KindOf(const std::vector<Token>& t) {
  auto word = [&](size_t k, const char* w) { return k < t.size() && !t[k].quoted && !t[k].literal && Upper(t[k].text) == w; };
  if (word(0, "CREATE") && word(1, "TABLE")) return Kind::kCreateTable;
  if (word(0, "CREATE") && (word(1, "INDEX") || (word(1, "UNIQUE") && word(2, "INDEX")))) return Kind::kCreateIndex;
  if (word(0, "DROP") && word(1, "TABLE")) return Kind::kDropTable;
  if (word(0, "DROP") && word(1, "INDEX")) return Kind::kDropIndex;
  return Kind::kNone;
}

struct Parsed {
  Kind kind = Kind::kNone;
  CreateTable createTable;
  DropTable dropTable;
  CreateIndex createIndex;
  DropIndex dropIndex;
};

Parsed Parse(const std::string& text, const std::vector<Token>& tokens) {
  Parsed out;
  out.kind = KindOf(tokens);
  switch (out.kind) {
    case Kind::kNone:
      break;
    case Kind::kCreateTable: {
      Parser p(text, tokens, "CREATE TABLE");
      p.Skip(2);
      out.createTable = ParseCreateTable(p);
      break;
    }
    case Kind::kDropTable: {
      Parser p(text, tokens, "DROP TABLE");
      p.Skip(2);
      out.dropTable.table = p.Name("a table name");
      p.ExpectEnd();
      break;
    }
    case Kind::kCreateIndex: {
      Parser p(text, tokens, "CREATE INDEX");
      p.Skip(1);
      bool unique = p.TakeWord("UNIQUE");
      p.ExpectWord("INDEX");
      std::string name = p.Name("an index name");
      p.ExpectWord("ON");
      out.createIndex.table = p.Name("a table name");
      out.createIndex.key = ParseKey(p, name, unique);
      break;
    }
    case Kind::kDropIndex: {
      Parser p(text, tokens, "DROP INDEX");
      p.Skip(2);
      std::string first = p.Name("an index name");
      if (p.TakePunct('.')) {
        out.dropIndex.table = first;
        out.dropIndex.index = core::Utf8ToAnsi(p.Name("an index name"));
      } else {
        out.dropIndex.index = core::Utf8ToAnsi(first);
      }
      p.ExpectEnd();
      break;
    }
  }
  return out;
}

// ---- running ----

// The connection's dictionary when it is a dictionary connection (which needs the
// administrator for any change of definitions), else null.
dict::Dictionary* DictionaryFor(Session& s, const char* statement) {
  std::shared_ptr<core::Connection> c = s.Connection();
  if (!c->is_dictionary || !c->dictionary) return nullptr;
  if (!c->is_administrator) {
    Fail(err::kNotAdministrator, std::string(statement) + " may be run by the administrator (adssys) only.");
  }
  return c->dictionary.get();
}

ResolvedTable MustResolve(Session& s, const std::string& name) {
  std::optional<ResolvedTable> r = s.Resolve(name);
  if (!r) FailSql(native::kUnknownTable, "Table not found: \"" + name + "\".");
  return *r;
}

std::unique_ptr<table::Table> OpenExclusive(const ResolvedTable& t) {
  table::Table::OpenOptions o;
  o.exclusive = true;
  return table::Table::Open(t.hostPath, o);
}

table::TagDefinition TagOf(const KeyDef& key) {
  table::TagDefinition tag;
  tag.name = key.name;
  for (size_t i = 0; i < key.segments.size(); ++i) tag.expression += (i ? ";" : "") + key.segments[i];
  if (key.unique) tag.flags |= index::kTagCandidate;
  if (key.segments.size() > 1) tag.flags |= index::kTagCompound;
  if (key.descending) tag.flags |= index::kTagDescending;
  return tag;
}


void RunCreateTable(Session& s, const CreateTable& c, uint16_t charType, const std::string& collation) {
  dict::Dictionary* d = DictionaryFor(s, "CREATE TABLE");
  std::string name = core::Utf8ToAnsi(c.table);
  if (d && name.find_first_of("\\/:") != std::string::npos) {
    FailSql(native::kSyntax, "Syntax error in CREATE TABLE: a table of a dictionary is named without a path (\"" +
                                 c.table + "\").");
  }
  if (d && d->FindTable(name)) FailSql(native::kExists, "The dictionary already has a table \"" + c.table + "\".");
  std::string windowsPath;
  std::string host = table::TableHostPath(s.connection(), name, &windowsPath);
  std::error_code ec;
  if (std::filesystem::exists(host, ec)) {
    FailSql(native::kExists, "The table file " + windowsPath + " already exists; drop the table first.");
  }
  table::Schema schema = table::Schema::FromSpecs(c.fields);
  table::Table::CreateOptions options;
  options.charType = charType == 2 ? 2 : 1;
  options.collation = collation;
  for (const KeyDef& k : c.keys) {
    for (const std::string& column : k.segments) {
      if (!schema.Find(column)) {
        FailColumn(err::kColumnNotFound, column, "The key \"" + k.name + "\" names a column the table does not have");
      }
    }
    options.tags.push_back(TagOf(k));
  }
  table::Table::Create(host, schema, options);
  try {
    if (!options.tags.empty()) {
      table::Table::OpenOptions o;
      o.exclusive = true;
      std::unique_ptr<table::Table> t = table::Table::Open(host, o);
      index::ReindexTable(*t);
    }
    if (d) {
      dict::TableEntry entry;
      entry.name = name;
      entry.path = core::FromHostName(std::filesystem::path(host).filename().string());  // beside the dictionary
      entry.type = 3;
      entry.char_type = options.charType;
      if (c.primaryKey) entry.primary_key = c.keys[*c.primaryKey].name;
      d->AddTable(entry);
    }
  } catch (...) {
    try {
          table_files::RemoveTable(host);
        } catch (const EngineError&) {
          // The table's files stay; the failure reported is the one that stopped the creation.
        }
    throw;
  }
}

void RunDropTable(Session& s, const DropTable& c) {
  // On a dictionary connection only the administrator deletes files, whether the table is the
  // dictionary's or a file named by its path.
  dict::Dictionary* administered = DictionaryFor(s, "DROP TABLE");
  ResolvedTable t = MustResolve(s, c.table);
  dict::Dictionary* d = t.inDictionary ? administered : nullptr;
  std::unique_ptr<table::Table> open;
  try {
    open = OpenExclusive(t);
  } catch (const EngineError& e) {
    // A dictionary entry whose file is gone is simply removed; nothing else may be dropped
    // while someone holds it or when it cannot be read.
    if (e.code() != err::kTableNotFound || !d) throw;
  }
  if (d) d->RemoveTable(t.name);
  // The files go while the exclusive open holds them, so no one opens them in between.
  table_files::RemoveTable(t.hostPath);
}

void RunCreateIndex(Session& s, const CreateIndex& c) {
  DictionaryFor(s, "CREATE INDEX");
  ResolvedTable t = MustResolve(s, c.table);
  std::unique_ptr<table::Table> open = OpenExclusive(t);
  s.ApplyPassword(*open, t);  // the keys of an encrypted table come from its decrypted records
  index::TableIndexes& indexes = index::TableIndexes::Attach(*open);
  for (const table::TagDefinition& tag : open->tags()) {
    if (index::SameTagName(tag.name, c.key.name)) {
      FailSql(native::kExists, "The table \"" + t.name + "\" already has an index \"" + tag.name + "\".");
    }
  }
  table::TagDefinition tag = TagOf(c.key);
  index::TagDef def;
  def.name = tag.name;
  def.expression = tag.expression;
  def.options = tag.flags;
  // A failed build (a bad expression, a repeated key of a unique index) leaves the table's
  // tags and index file as they were.
  indexes.CreateTag({}, def);
}

void RunDropIndex(Session& s, const DropIndex& c) {
  std::shared_ptr<core::Connection> conn = s.Connection();
  ResolvedTable t;
  if (!c.table.empty()) {
    t = MustResolve(s, c.table);
  } else {
    // The index alone: the dictionary's table that has it.
    if (!conn->is_dictionary || !conn->dictionary) {
      FailSql(native::kSyntax, "Syntax error in DROP INDEX: name the table as in DROP INDEX table.\"" + c.index +
                                   "\" on a connection to a folder.");
    }
    std::vector<std::string> holders;
    for (const dict::TableEntry& e : conn->dictionary->Tables()) {
      table::Table::OpenOptions o;
      o.readOnly = true;
      std::unique_ptr<table::Table> header;
      try {
        header = table::Table::Open(conn->dictionary->TableHostPath(e), o);
      } catch (const EngineError&) {
        continue;  // a table that cannot be read holds no index we could drop
      }
      for (const table::TagDefinition& tag : header->tags()) {
        if (index::SameTagName(tag.name, c.index)) holders.push_back(e.name);
      }
    }
    if (holders.empty()) FailSql(native::kUnknownIndex, "No table of the dictionary has an index \"" + c.index + "\".");
    if (holders.size() > 1) {
      FailSql(native::kMisuse, "The index \"" + c.index + "\" exists on the tables \"" + holders[0] + "\" and \"" +
                                   holders[1] + "\"; name it as table.index.");
    }
    t = MustResolve(s, holders[0]);
  }
  dict::Dictionary* administered = DictionaryFor(s, "DROP INDEX");
  dict::Dictionary* d = t.inDictionary ? administered : nullptr;
  std::unique_ptr<table::Table> open = OpenExclusive(t);
  std::string dropped;
  for (const table::TagDefinition& tag : open->tags()) {
    if (index::SameTagName(tag.name, c.index)) dropped = tag.name;
  }
  if (dropped.empty()) FailSql(native::kUnknownIndex, "The table \"" + t.name + "\" has no index \"" + c.index + "\".");
  index::TableIndexes& indexes = index::TableIndexes::Attach(*open);
  index::TableIndexes::Tag* tag = indexes.FindTag(dropped);
  if (!tag) FailSql(native::kUnknownIndex, "The table \"" + t.name + "\" has no index \"" + c.index + "\".");
  indexes.DeleteTag(tag->id);
  if (d) {
    // The dictionary forgets the dropped index as the table's default index or primary key.
    dict::TableEntry entry = d->GetTable(t.name);
    bool changed = false;
    if (index::SameTagName(entry.default_index, dropped)) entry.default_index.clear(), changed = true;
    if (index::SameTagName(entry.primary_key, dropped)) entry.primary_key.clear(), changed = true;
    if (changed) d->UpdateTable(entry);
  }
}

}  // namespace

bool IsDdl(const std::vector<Token>& tokens) { return KindOf(tokens) != Kind::kNone; }

void CheckDdl(const std::string& text, const std::vector<Token>& tokens) { Parse(text, tokens); }

std::optional<EngineStatementResult> RunDdl(EngineStatementContext& context, const std::string& text,
                                            const std::vector<Token>& tokens) {
  Parsed p = Parse(text, tokens);
  if (p.kind == Kind::kNone) return std::nullopt;
  Session& s = context.session;
  // The session's virtual tables describe the tables as they were; they are made again when
  // a later statement names them.
  s.ForgetTables();
  switch (p.kind) {
    case Kind::kCreateTable:
      RunCreateTable(s, p.createTable, context.charType, context.collation);
      break;
    case Kind::kDropTable:
      RunDropTable(s, p.dropTable);
      break;
    case Kind::kCreateIndex:
      RunCreateIndex(s, p.createIndex);
      break;
    case Kind::kDropIndex:
      RunDropIndex(s, p.dropIndex);
      break;
    case Kind::kNone:
      break;
  }
  return EngineStatementResult{};
}

}  // namespace engine::sql
