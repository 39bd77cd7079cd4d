#include "tools/aceadmin/table_common.h"

#include <cstdlib>

#include "tools/aceadmin/command.h"

namespace aceadmin {

OpenedTable::~OpenedTable() { Close(); }

UNSIGNED32 OpenedTable::Open(const std::string& target, const std::string& table, UNSIGNED32 options,
                             std::string* what, UNSIGNED16 type) {
  *what = "connect " + target;
  const bool dictionary = target.size() > 4 && (target.compare(target.size() - 4, 4, ".add") == 0 ||
                                                target.compare(target.size() - 4, 4, ".ADD") == 0);
  UNSIGNED32 rc = ConnectTo(target, dictionary ? "adssys" : "", dictionary ? AdminPasswordFromEnvironment() : "",
                            &connection_);
  if (rc != 0) return rc;
  *what = "open " + table;
  return AdsOpenTable90(connection_, Text(table), nullptr, type, 0, 0, 2, options, nullptr, &table_);
}

UNSIGNED32 OpenedTable::Close() {
  UNSIGNED32 first = 0;
  if (table_) {
    first = AdsCloseTable(table_);
    table_ = 0;
  }
  if (connection_) {
    UNSIGNED32 rc = AdsDisconnect(connection_);
    if (first == 0) first = rc;
    connection_ = 0;
  }
  return first;
}

bool EndsWithNoCase(const std::string& s, const std::string& suffix) {
  if (s.size() < suffix.size()) return false;
  for (size_t i = 0; i < suffix.size(); ++i) {
    char c = s[s.size() - suffix.size() + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != suffix[i]) return false;
  }
  return true;
}

bool TakeTableName(std::vector<std::string>* positional, TableName* name) {
  if (positional->empty()) return false;
  const std::string& first = positional->front();
  if (EndsWithNoCase(first, ".adt") || EndsWithNoCase(first, ".dbf")) {
    // Windows-form paths use either separator.
    const size_t slash = first.find_last_of("/\\");
    name->target = slash == std::string::npos ? "." : first.substr(0, slash == 0 ? 1 : slash);
    name->table = slash == std::string::npos ? first : first.substr(slash + 1);
    positional->erase(positional->begin());
    return true;
  }
  if (positional->size() < 2) return false;
  name->target = (*positional)[0];
  name->table = (*positional)[1];
  positional->erase(positional->begin(), positional->begin() + 2);
  return true;
}

bool TableTypeOption(const Arguments& parsed, UNSIGNED16 absent, UNSIGNED16* type, std::string* problem) {
  *type = absent;
  if (!parsed.Has(kTypeOption)) return true;
  std::string word = parsed.Value(kTypeOption);
  for (char& c : word) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  if (word == "ntx") {
    *type = ADS_NTX;
  } else if (word == "cdx") {
    *type = ADS_CDX;
  } else if (word == "vfp") {
    *type = ADS_VFP;
  } else if (word == "adt") {
    *type = ADS_ADT;
  } else {
    *problem = "--type takes ntx, cdx, vfp or adt, not \"" + parsed.Value(kTypeOption) + "\"";
    return false;
  }
  return true;
}

std::string AdminPasswordFromEnvironment() {
  const char* p = std::getenv("ACEADMIN_PASSWORD");
  return p ? p : "";
}

UNSIGNED32 FieldNames(ADSHANDLE table, std::vector<std::string>* names) {
  names->clear();
  UNSIGNED16 count = 0;
  if (UNSIGNED32 rc = AdsGetNumFields(table, &count)) return rc;
  for (UNSIGNED16 i = 1; i <= count; ++i) {
    UNSIGNED8 buf[256];
    UNSIGNED16 len = sizeof buf;
    if (UNSIGNED32 rc = AdsGetFieldName(table, i, buf, &len)) return rc;
    names->emplace_back(reinterpret_cast<char*>(buf), len);
  }
  return 0;
}

UNSIGNED32 FieldText(ADSHANDLE table, const std::string& name, std::string* text) {
  std::string buf(256, '\0');
  for (int attempt = 0;; ++attempt) {
    UNSIGNED32 len = static_cast<UNSIGNED32>(buf.size());
    // Option 2 trims the blanks that pad fixed-length fields on the right.
    UNSIGNED32 rc = AdsGetField(table, Text(name), reinterpret_cast<UNSIGNED8*>(buf.data()), &len, 2);
    if (rc == AE_INSUFFICIENT_BUFFER && attempt == 0 && len >= buf.size()) {
      buf.resize(static_cast<size_t>(len) + 1);
      continue;
    }
    if (rc != 0) return rc;
    text->assign(buf.data(), len);
    return 0;
  }
}

bool NextCsvRecord(const std::string& data, size_t* pos, std::vector<std::string>* fields,
                   std::vector<bool>* quoted, std::string* error) {
  fields->clear();
  quoted->clear();
  size_t i = *pos;
  std::string current;
  bool isQuoted = false;
  for (;;) {
    if (i < data.size() && data[i] == '"' && current.empty() && !isQuoted) {
      isQuoted = true;
      ++i;
      for (;;) {
        if (i >= data.size()) {
          *error = "a quoted field is not closed";
          return false;
        }
        if (data[i] == '"') {
          if (i + 1 < data.size() && data[i + 1] == '"') {
            current += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        current += data[i++];
      }
      continue;
    }
    if (i >= data.size() || data[i] == '\n' || data[i] == '\r' || data[i] == ',') {
      fields->push_back(std::move(current));
      quoted->push_back(isQuoted);
      current.clear();
      isQuoted = false;
      if (i < data.size() && data[i] == ',') {
        ++i;
        continue;
      }
      if (i < data.size() && data[i] == '\r') ++i;
      if (i < data.size() && data[i] == '\n') ++i;
      *pos = i;
      return true;
    }
    current += data[i++];
  }
}

std::string CsvField(const std::string& value) {
  if (value.find_first_of(",\"\r\n") == std::string::npos) return value;
  std::string out = "\"";
  for (char c : value) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

}  // namespace aceadmin
