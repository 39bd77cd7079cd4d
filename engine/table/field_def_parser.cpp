#include "engine/table/field_def_parser.h"

#include <charconv>
#include <string>

#include "engine/core/ascii_case.h"
#include "engine/core/error.h"

namespace engine::table {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r' || s.front() == '\n'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
    s.remove_suffix(1);
  return s;
}

std::vector<std::string_view> Split(std::string_view s, char sep) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (size_t i = 0; i <= s.size(); ++i) {
    if (i == s.size() || s[i] == sep) {
      parts.push_back(s.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

[[noreturn]] void Bad(const std::string& who, const std::string& why) {
  Fail(err::kInvalidFieldDefinition, who + ": " + why + ".");
}

uint32_t ParseNumber(std::string_view text, const std::string& who, const char* what) {
  text = Trim(text);
  uint32_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
    Bad(who, std::string("the ") + what + " \"" + std::string(text) + "\" is not a whole number");
  }
  return value;
}

FieldSpec ParseOne(std::string_view entry, size_t position) {
  std::vector<std::string_view> parts = Split(entry, ',');
  std::string name(Trim(parts[0]));
  const std::string who = name.empty() ? "Field " + std::to_string(position) : "Field \"" + name + "\"";
  if (name.empty()) Bad(who, "the name is missing");
  if (parts.size() < 2 || Trim(parts[1]).empty()) Bad(who, "the type is missing");
  std::string_view word = Trim(parts[1]);
  std::optional<TypeWord> type = FindTypeWord(word);
  if (!type) Bad(who, "unknown type \"" + std::string(word) + "\"");
  FieldSpec decl;
  decl.name = name;
  decl.type = type->type;
  if (AsciiEqualsIgnoreCase(word, "General")) decl.dbfLetter = 'G';
  // FoxPro marks after the type's arguments: NULL (the field may hold NULL), NOT NULL, and
  // NOCPTRANS (text stored as it is, never translated between code pages).
  while (parts.size() > 2) {
    std::string_view mark = Trim(parts.back());
    if (AsciiEqualsIgnoreCase(mark, "NULL")) {
      decl.nullable = true;
    } else if (AsciiEqualsIgnoreCase(mark, "NOT NULL")) {
      decl.nullable = false;
    } else if (AsciiEqualsIgnoreCase(mark, "NOCPTRANS")) {
      decl.binary = true;
    } else {
      break;
    }
    parts.pop_back();
  }
  size_t args = parts.size() - 2;
  switch (type->args) {
    case TypeArgs::kNone:
      if (args != 0) Bad(who, "type " + std::string(type->word) + " takes no length");
      break;
    case TypeArgs::kLength:
      if (args != 1) Bad(who, "type " + std::string(type->word) + " needs one length");
      decl.length = ParseNumber(parts[2], who, "length");
      break;
    case TypeArgs::kOptionalLength:
      if (args > 1) Bad(who, "type " + std::string(type->word) + " takes at most the number of decimals");
      if (args == 1) decl.decimals = static_cast<uint16_t>(std::min<uint32_t>(ParseNumber(parts[2], who, "decimals"), 0xFFFF));
      break;
    case TypeArgs::kLengthDecimals:
      if (args < 1 || args > 2) Bad(who, "type " + std::string(type->word) + " needs a length and decimals");
      decl.length = ParseNumber(parts[2], who, "length");
      if (args == 2) decl.decimals = static_cast<uint16_t>(std::min<uint32_t>(ParseNumber(parts[3], who, "decimals"), 0xFFFF));
      break;
  }
  return decl;
}

}  // namespace

std::vector<FieldSpec> ParseFieldDefinitions(std::string_view text) {
  std::vector<std::string_view> entries = Split(text, ';');
  // A closing ";" leaves one empty entry at the end; blanks after it are harmless.
  if (!entries.empty() && Trim(entries.back()).empty()) entries.pop_back();
  if (entries.empty()) Fail(err::kInvalidFieldDefinition, "The field definitions are empty.");
  std::vector<FieldSpec> specs;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (Trim(entries[i]).empty()) Bad("Field " + std::to_string(i + 1), "the definition is empty");
    specs.push_back(ParseOne(entries[i], i + 1));
  }
  Schema::FromSpecs(specs);  // checks lengths, duplicates and the record size, naming the field
  return specs;
}

std::vector<std::string> ParseFieldNameList(std::string_view text) {
  std::vector<std::string> names;
  std::string current;
  for (char c : text) {
    if (c == ';' || c == ',') {
      std::string_view t = Trim(current);
      if (!t.empty()) names.emplace_back(t);
      current.clear();
    } else {
      current.push_back(c);
    }
  }
  std::string_view t = Trim(current);
  if (!t.empty()) names.emplace_back(t);
  return names;
}

std::string FormatFieldDefinitions(const Schema& schema) {
  std::string out;
  for (size_t i = 0; i < schema.fieldCount(); ++i) {
    const FieldDescriptor& d = schema.fields()[i];
    FieldSpec decl = schema.SpecOf(i);
    out += d.name;
    out += ',';
    out += d.dbfLetter == 'G' ? std::string_view("General") : TypeWordOf(d.type);
    switch (d.type) {
      case FieldType::kNumeric:
        out += ',' + std::to_string(decl.length) + ',' + std::to_string(decl.decimals);
        break;
      case FieldType::kDouble:
      case FieldType::kCurDouble:
        out += ',' + std::to_string(decl.decimals);
        break;
      default:
        if (decl.length != 0) out += ',' + std::to_string(decl.length);
    }
    if (decl.nullable) out += ",NULL";
    if (decl.binary) out += ",NOCPTRANS";
    out += ';';
  }
  return out;
}

}  // namespace engine::table
