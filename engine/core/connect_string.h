// The connect string of AdsConnect101: ";"-terminated "key=value" items.
//
// Keys are matched without regard to the case of a..z and with blanks around them ignored. A
// value may be enclosed in double quotes (the components quote the password); a quoted value
// ends at the first double quote that is followed by ";" or the end of the text, so it may hold
// ";" itself. Empty items (";;") are skipped. When a key comes twice the later item wins, so an
// application's extra connect-string items can override the component's.
//
// Every item the components send is known; any other key, an item without "=", an empty key, a
// value the key does not accept or an unterminated quote fails with 5905 naming the item.
//
// Thread safety: a value type; Parse is reentrant.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace engine::core {

struct ConnectOptions {
  std::string data_source;                 // "Data Source"
  std::string user;                        // "User ID"
  std::string password;                    // "Password" (quotes removed)
  bool fips = false;                       // "FIPS": True / False
  std::string dd_password;                 // "DDPassword"
  std::string encryption_type;             // "EncryptionType": AES128, AES256, RC4 (upper case)
  std::string tls_certificate;             // "TLSCertificate"
  std::string tls_common_name;             // "TLSCommonName"
  std::string tls_ciphers;                 // "TLSCiphers": AES128-SHA:AES256-SHA:RC4-MD5 (a subset)
  uint32_t communication_type = 0;         // "CommType": UDP_IP 2, IPX 3, TCP_IP 1, TLS 5
  std::string compression;                 // "Compression": INTERNET, ALWAYS, NEVER
  uint32_t sql_timeout = 0;                // "SQLTimeout"
  bool increment_user_count = false;       // "IncrementUserCount"
  bool stored_procedure_connection = false;  // "StoredProcedureConnection"
  uint16_t server_types = 0;               // "ServerType": bits 1 local, 2 remote, 4 internet; 0 = any
  std::string date_format;                 // "DateFormat" (validated)
  std::optional<uint16_t> table_type;      // "TableType": CDX 2, NTX 1, ADT 3, VFP 4

  // Parses `text`; fails with 5905 (see the file comment).
  static ConnectOptions Parse(const std::string& text);
};

}  // namespace engine::core
