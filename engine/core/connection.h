// A connection of the engine: to a data dictionary (a ".add" file) or to a folder of free tables.
//
// Created by AdsConnect, AdsConnect60 and AdsConnect101 and registered as a Kind::kConnection
// handle; everything opened on the connection (tables, cursors, statements, enumerations) is
// registered with the connection's handle as owner, so AdsDisconnect releases it all.
//
// Thread safety: the fixed members are set before the connection is registered and never change;
// the mutable settings (date format, SQL timeout, application id) are guarded by `mutex`. A connection is used by
// one thread at a time otherwise, like the components' connection it serves.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "engine/core/handles.h"

namespace engine::dict {
class Dictionary;
}

namespace engine::core {

struct Connection {
  // The path as the caller gave it (Windows form), e.g. "C:\data\DB.add" or "C:\data".
  std::string path;
  // For a dictionary connection: the dictionary file's host path; for a free-table connection:
  // the folder's host path. Tables of a dictionary live beside it by default.
  std::string host_path;
  // The folder holding the tables, in Windows form without trailing separator ("C:\data").
  std::string folder;
  // The folder holding the tables as a host path.
  std::string host_folder;

  bool is_dictionary = false;
  std::shared_ptr<dict::Dictionary> dictionary;  // set for dictionary connections

  std::string user;            // "adssys", another dictionary user, or "" for free tables
  std::string password;        // as given (needed to report connection property 1)
  bool is_administrator = false;
  uint16_t server_type = 1;    // ADS_LOCAL_SERVER: the only server built in
  uint16_t default_table_type = 3;  // ADS_ADT unless TableType= says otherwise

  // Connect-string settings kept for AdsGetConnectionProperty.
  std::string encryption_type;  // "", "AES128", "AES256", "RC4"
  std::string tls_certificate;
  std::string tls_ciphers;
  std::string tls_common_name;
  bool fips = false;
  uint32_t communication_type = 0;  // 0 default, 1 TCP/IP, 5 TLS, ...
  std::string dd_password;

  mutable std::mutex mutex;
  std::string date_format;  // guarded by mutex
  uint32_t sql_timeout = 0;  // guarded by mutex
  // The id the application gave itself (sp_setapplicationid); it lasts as long as the
  // connection, whatever statements come and go.
  std::string application_id;  // guarded by mutex

  std::string DateFormat() const {
    std::lock_guard<std::mutex> lock(mutex);
    return date_format;
  }
};

class Connections {
 public:
  // The connection of `handle`; fails with 5024 for a zero, stale or wrong-kind handle.
  static std::shared_ptr<Connection> Get(Handle handle) {
    return Handles::Get<Connection>(handle, Kind::kConnection);
  }
};

}  // namespace engine::core
