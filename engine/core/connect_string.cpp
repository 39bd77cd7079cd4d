#include "engine/core/connect_string.h"

#include <vector>

#include "engine/core/codepage.h"
#include "engine/core/date_format.h"
#include "engine/core/error.h"

namespace engine::core {
namespace {

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return std::string();
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

[[noreturn]] void Bad(const std::string& item, const std::string& why) {
  Fail(err::kConnectStringInvalid, "The connect string item \"" + item + "\" is not valid: " + why + ".");
}

bool ParseBool(const std::string& item, const std::string& value) {
  std::string v = AsciiUpper(value);
  if (v == "TRUE" || v == "1") return true;
  if (v == "FALSE" || v == "0") return false;
  Bad(item, "expected TRUE or FALSE");
}

template <typename Choice>
auto Pick(const std::string& item, const std::string& value, std::initializer_list<Choice> choices) {
  std::string v = AsciiUpper(value);
  for (const auto& c : choices) {
    if (v == c.word) return c.value;
  }
  std::string all;
  for (const auto& c : choices) all += std::string(all.empty() ? "" : ", ") + c.word;
  Bad(item, "expected one of " + all);
}

struct Word16 {
  const char* word;
  uint16_t value;
};
struct Word32 {
  const char* word;
  uint32_t value;
};
struct WordText {
  const char* word;
  const char* value;
};

// Splits the text into items, honouring quoted values.
std::vector<std::string> SplitItems(const std::string& text) {
  std::vector<std::string> items;
  std::string current;
  size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (c == ';') {
      items.push_back(current);
      current.clear();
      ++i;
      continue;
    }
    if (c == '"' && Trim(current).size() && Trim(current).back() == '=') {
      // A quoted value: up to the first quote followed by ";" or the end.
      size_t j = i + 1;
      for (;;) {
        size_t q = text.find('"', j);
        if (q == std::string::npos) Bad(Trim(current) + text.substr(i), "the closing double quote is missing");
        if (q + 1 == text.size() || text[q + 1] == ';' ||
            Trim(text.substr(q + 1, text.find(';', q + 1) - (q + 1))).empty()) {
          current += text.substr(i, q - i + 1);
          i = q + 1;
          break;
        }
        j = q + 1;
      }
      continue;
    }
    current.push_back(c);
    ++i;
  }
  items.push_back(current);
  return items;
}

}  // namespace

ConnectOptions ConnectOptions::Parse(const std::string& text) {
  ConnectOptions o;
  for (const std::string& raw : SplitItems(text)) {
    std::string item = Trim(raw);
    if (item.empty()) continue;
    size_t eq = item.find('=');
    if (eq == std::string::npos) Bad(item, "it has no \"=\"");
    std::string key = AsciiUpper(Trim(item.substr(0, eq)));
    std::string value = Trim(item.substr(eq + 1));
    if (key.empty()) Bad(item, "the key is empty");
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);

    if (key == "DATA SOURCE") {
      o.data_source = value;
    } else if (key == "USER ID") {
      o.user = value;
    } else if (key == "PASSWORD") {
      o.password = value;
    } else if (key == "FIPS") {
      o.fips = ParseBool(item, value);
    } else if (key == "DDPASSWORD") {
      o.dd_password = value;
    } else if (key == "ENCRYPTIONTYPE") {
      o.encryption_type = Pick<WordText>(item, value, {{"AES128", "AES128"}, {"AES256", "AES256"}, {"RC4", "RC4"}});
    } else if (key == "TLSCERTIFICATE") {
      o.tls_certificate = value;
    } else if (key == "TLSCOMMONNAME") {
      o.tls_common_name = value;
    } else if (key == "TLSCIPHERS") {
      std::string up = AsciiUpper(value);
      size_t start = 0;
      while (start <= up.size()) {
        size_t end = up.find(':', start);
        std::string piece = up.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (piece != "AES128-SHA" && piece != "AES256-SHA" && piece != "RC4-MD5") {
          Bad(item, "the cipher \"" + piece + "\" is not one of AES128-SHA, AES256-SHA, RC4-MD5");
        }
        if (end == std::string::npos) break;
        start = end + 1;
      }
      o.tls_ciphers = up;
    } else if (key == "COMMTYPE") {
      o.communication_type = Pick<Word32>(item, value, {{"UDP_IP", 2}, {"IPX", 3}, {"TCP_IP", 1}, {"TLS", 5}});
    } else if (key == "COMPRESSION") {
      o.compression = Pick<WordText>(item, value, {{"INTERNET", "INTERNET"}, {"ALWAYS", "ALWAYS"}, {"NEVER", "NEVER"}});
    } else if (key == "SQLTIMEOUT") {
      if (value.empty() || value.size() > 9 || value.find_first_not_of("0123456789") != std::string::npos) {
        Bad(item, "expected a number of seconds");
      }
      o.sql_timeout = static_cast<uint32_t>(std::stoul(value));
    } else if (key == "INCREMENTUSERCOUNT") {
      o.increment_user_count = ParseBool(item, value);
    } else if (key == "STOREDPROCEDURECONNECTION") {
      o.stored_procedure_connection = ParseBool(item, value);
    } else if (key == "SERVERTYPE") {
      uint16_t mask = 0;
      std::string up = AsciiUpper(value);
      size_t start = 0;
      for (;;) {
        size_t end = up.find_first_of("|,", start);
        std::string word = Trim(up.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (word == "LOCAL") mask |= 1;
        else if (word == "REMOTE") mask |= 2;
        else if (word == "INTERNET" || word == "AIS") mask |= 4;
        else Bad(item, "the server type \"" + word + "\" is not LOCAL, REMOTE or INTERNET");
        if (end == std::string::npos) break;
        start = end + 1;
      }
      o.server_types = mask;
    } else if (key == "DATEFORMAT") {
      if (!DateFormat::TryParse(value)) Bad(item, "the date format is not valid");
      o.date_format = value;
    } else if (key == "TABLETYPE") {
      o.table_type = Pick<Word16>(item, value, {{"CDX", 2}, {"NTX", 1}, {"ADT", 3}, {"VFP", 4}});
    } else {
      Bad(item, "the key \"" + Trim(item.substr(0, eq)) + "\" is not known");
    }
  }
  return o;
}

}  // namespace engine::core
