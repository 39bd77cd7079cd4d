// Entry points of connections: connecting, disconnecting and the connection queries.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>

#include "engine/api/connection_open.h"
#include "engine/core/codepage.h"
#include "engine/core/connect_string.h"
#include "engine/core/connection.h"
#include "engine/core/date_format.h"
#include "engine/core/host_path.h"
#include "engine/core/text_out.h"
#include "engine/dict/dictionary.h"
#include "engine/table/api/table_handles.h"
#include "engine/table/transaction.h"
#include "engine_api/entry_points.h"

namespace engine::api {

using namespace engine::core;

namespace {

// Option bits of AdsConnect60 that the engine understands (the rest is refused).
constexpr UNSIGNED32 kConnect60Options = 0x1 | 0x2 | 0x4 | 0x8 | 0xC | 0x20 | 0x40 | 0x80 | 0x1000;

std::string FullWindowsPath(const Connection& c) {
  std::string full = c.is_dictionary ? c.dictionary->windowsPath() : c.folder;
  return full;
}

template <typename Len>
UNSIGNED32 ScalarOut(const void* value, size_t size, void* buf, Len* len) {
  Require(len, "the property length");
  return BytesOut(value, size, Require(buf, "the property buffer"), len);
}

}  // namespace

UNSIGNED32 AdsConnect(UNSIGNED8* pucServerName, ADSHANDLE* phConnect) {
  Require(pucServerName, "pucServerName");
  Require(phConnect, "phConnect");
  ConnectOptions options;
  options.data_source = InText(pucServerName);
  *phConnect = OpenConnection(options);
  return 0;
}

UNSIGNED32 AdsConnect60(UNSIGNED8* pucServerPath, UNSIGNED16 usServerTypes, UNSIGNED8* pucUserName,
                        UNSIGNED8* pucPassword, UNSIGNED32 ulOptions, ADSHANDLE* phConnect) {
  Require(pucServerPath, "pucServerPath");
  Require(phConnect, "phConnect");
  if (usServerTypes & ~UNSIGNED16{7}) {
    Fail(err::kInvalidArgument, "AdsConnect60: the server-type mask " + std::to_string(usServerTypes) +
                                    " has bits other than 1 (local), 2 (remote) and 4 (internet).");
  }
  if (ulOptions & ~kConnect60Options) {
    Fail(err::kInvalidArgument, "AdsConnect60: the options " + std::to_string(ulOptions) + " are not known.");
  }
  ConnectOptions options;
  options.data_source = InText(pucServerPath);
  options.server_types = usServerTypes;
  options.user = InText(pucUserName);
  options.password = InText(pucPassword);
  options.increment_user_count = (ulOptions & 0x1) != 0;
  options.stored_procedure_connection = (ulOptions & 0x2) != 0;
  if (ulOptions & 0x80) options.communication_type = 1;
  if (ulOptions & 0x1000) options.communication_type = 5;
  if (ulOptions & 0x20) options.communication_type = 2;
  if (ulOptions & 0x40) options.communication_type = 3;
  *phConnect = OpenConnection(options);
  return 0;
}

UNSIGNED32 AdsConnect101(UNSIGNED8* pucConnectString, ADSHANDLE* phConnectionOptions, ADSHANDLE* phConnect) {
  Require(pucConnectString, "pucConnectString");
  Require(phConnect, "phConnect");
  if (phConnectionOptions != nullptr && *phConnectionOptions != 0) {
    Fail(err::kInvalidArgument, "AdsConnect101: connection option handles are not supported; pass none.");
  }
  ConnectOptions options = ConnectOptions::Parse(InText(pucConnectString));
  *phConnect = OpenConnection(options);
  return 0;
}

UNSIGNED32 AdsDisconnect(ADSHANDLE hConnect) {
  Connections::Get(hConnect);  // 5024 for anything but a live connection
  // A transaction that was neither committed nor rolled back is rolled back: its changes were
  // never confirmed.
  if (table::InTransaction(hConnect)) {
    try {
      table::RollbackTransaction(hConnect, table::OpenForUndo);
    } catch (const EngineError&) {
      table::ForgetTransaction(hConnect);  // what is left is undone by the next open of its tables
    }
  }
  CloseConnection(hConnect);
  return 0;
}

UNSIGNED32 AdsGetConnectionType(ADSHANDLE hConnect, UNSIGNED16* pusConnectType) {
  auto c = Connections::Get(hConnect);
  Out(pusConnectType, c->server_type, "pusConnectType");
  return 0;
}

UNSIGNED32 AdsGetConnectionPath(ADSHANDLE hConnect, UNSIGNED8* pucConnectionPath, UNSIGNED16* pusLen) {
  auto c = Connections::Get(hConnect);
  return TextOut(FullWindowsPath(*c), pucConnectionPath, Require(pusLen, "pusLen"));
}

UNSIGNED32 AdsGetConnectionProperty(ADSHANDLE hConnect, UNSIGNED16 usPropertyID, void* pvProperty,
                                    UNSIGNED32* pulPropertyLen) {
  auto c = Connections::Get(hConnect);
  Require(pulPropertyLen, "pulPropertyLen");
  auto text = [&](const std::string& value) {
    return TextOut(value, static_cast<UNSIGNED8*>(pvProperty), pulPropertyLen);
  };
  switch (usPropertyID) {
    case 0: return text(c->user);
    case 1: return text(c->password);
    case 2: {
      UNSIGNED32 v = c->communication_type;
      return ScalarOut(&v, sizeof v, pvProperty, pulPropertyLen);
    }
    case 3: return text(c->encryption_type);
    case 4: {
      UNSIGNED16 v = c->fips ? 1 : 0;
      return ScalarOut(&v, sizeof v, pvProperty, pulPropertyLen);
    }
    case 5: return text(c->tls_certificate);
    case 6: return text(c->tls_ciphers);
    case 7: return text(c->tls_common_name);
    default:
      Fail(err::kUnknownProperty, "AdsGetConnectionProperty: a connection has no property " +
                                      std::to_string(usPropertyID) + ".");
  }
}

UNSIGNED32 AdsIsConnectionAlive(ADSHANDLE hConnect, UNSIGNED16* pbConnectionIsAlive) {
  Connections::Get(hConnect);
  Out(pbConnectionIsAlive, 1, "pbConnectionIsAlive");
  return 0;
}

UNSIGNED32 AdsGetServerName(ADSHANDLE hConnect, UNSIGNED8* pucName, UNSIGNED16* pusLen) {
  Connections::Get(hConnect);
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) != 0) std::strcpy(host, "localhost");
  return TextOut(host, pucName, Require(pusLen, "pusLen"));
}

UNSIGNED32 AdsGetServerTime(ADSHANDLE hConnect, UNSIGNED8* pucDateBuf, UNSIGNED16* pusDateBufLen, SIGNED32* plTime,
                            UNSIGNED8* pucTimeBuf, UNSIGNED16* pusTimeBufLen) {
  auto c = Connections::Get(hConnect);
  Require(pusDateBufLen, "pusDateBufLen");
  Require(plTime, "plTime");
  Require(pusTimeBufLen, "pusTimeBufLen");
  auto now = std::chrono::system_clock::now();
  std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&t, &local);
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  SIGNED32 millis = static_cast<SIGNED32>(((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec) * 1000 + ms);
  int32_t julian = JulianFromCivil(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1),
                                   static_cast<unsigned>(local.tm_mday));
  std::string date = DateFormat::Parse(c->DateFormat()).Format(julian);
  char time_text[16];
  std::snprintf(time_text, sizeof time_text, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
  // Check both buffers before writing either, so a failure leaves the out-parameters as given.
  if (pucDateBuf == nullptr || *pusDateBufLen < date.size() + 1) return TextOut(date, pucDateBuf, pusDateBufLen);
  if (pucTimeBuf == nullptr || *pusTimeBufLen < std::strlen(time_text) + 1) {
    return TextOut(time_text, pucTimeBuf, pusTimeBufLen);
  }
  TextOut(date, pucDateBuf, pusDateBufLen);
  TextOut(time_text, pucTimeBuf, pusTimeBufLen);
  *plTime = millis;
  return 0;
}

UNSIGNED32 AdsSetDateFormat(UNSIGNED8* pucFormat) {
  SetProcessDateFormat(InText(Require(pucFormat, "pucFormat")));
  return 0;
}

UNSIGNED32 AdsSetDateFormat60(ADSHANDLE hConnect, UNSIGNED8* pucFormat) {
  auto c = Connections::Get(hConnect);
  std::string text = InText(Require(pucFormat, "pucFormat"));
  DateFormat::Parse(text);
  {
    std::lock_guard<std::mutex> lock(c->mutex);
    c->date_format = text;
  }
  CountDateFormatChange();
  return 0;
}

UNSIGNED32 AdsGetDateFormat(UNSIGNED8* pucFormat, UNSIGNED16* pusLen) {
  return TextOut(ProcessDateFormat(), pucFormat, Require(pusLen, "pusLen"));
}

UNSIGNED32 AdsConvertStringToJulian(UNSIGNED8* pucJulian, UNSIGNED16 usLen, DOUBLE* pdJulian) {
  Require(pdJulian, "pdJulian");
  std::string text = InText(pucJulian, usLen, "pucJulian");
  // Dates as tables store them: YYYYMMDD, all blank for an empty date.
  auto julian = DateFormat::Parse("YYYYMMDD").ParseDate(text);
  if (!julian) {
    Fail(err::kInvalidArgument, "AdsConvertStringToJulian: \"" + text + "\" is not a date of the form YYYYMMDD.");
  }
  *pdJulian = *julian;
  return 0;
}

UNSIGNED32 AdsConvertJulianToString(DOUBLE dJulian, UNSIGNED8* pucJulian, UNSIGNED16* pusLen) {
  Require(pusLen, "pusLen");
  if (!(dJulian >= 0 && dJulian <= 5373484)) {
    Fail(err::kInvalidArgument, "AdsConvertJulianToString: " + std::to_string(dJulian) + " is not a Julian day number.");
  }
  int32_t julian = static_cast<int32_t>(dJulian);
  std::string text = julian == 0 ? std::string() : DateFormat::Parse("YYYYMMDD").Format(julian);
  return TextOut(text, pucJulian, pusLen);
}

UNSIGNED32 AdsConvertDateToJulian(ADSHANDLE hConnect, UNSIGNED8* pucDate, UNSIGNED16 usLen, DOUBLE* pdJulian) {
  Require(pdJulian, "pdJulian");
  std::string format = hConnect == 0 ? ProcessDateFormat() : Connections::Get(hConnect)->DateFormat();
  std::string text = InText(pucDate, usLen, "pucDate");
  auto julian = DateFormat::Parse(format).ParseDate(text);
  if (!julian) {
    Fail(err::kInvalidArgument, "AdsConvertDateToJulian: \"" + text + "\" is not a date in the format " + format + ".");
  }
  *pdJulian = *julian;
  return 0;
}

UNSIGNED32 AdsIsServerLoaded(UNSIGNED8* pucServer, UNSIGNED16* pbLoaded) {
  Require(pbLoaded, "pbLoaded");
  // The local server is this library: it is loaded for every path it can reach.
  std::string server = InText(pucServer);
  std::string host;
  *pbLoaded = (server.empty() || core::ToHostPath(server, &host).ok()) ? 1 : 0;
  return 0;
}

UNSIGNED32 AdsCheckExistence(ADSHANDLE hConnect, UNSIGNED8* pucFileName, UNSIGNED16* pbOnDisk) {
  std::string name = InText(Require(pucFileName, "pucFileName"));
  Require(pbOnDisk, "pbOnDisk");
  std::string path = name;
  if (hConnect != 0) {
    auto c = Connections::Get(hConnect);
    bool relative = !(name.size() >= 2 && name[1] == ':') && !(name.size() >= 1 && (name[0] == '\\' || name[0] == '/'));
    if (relative) path = c->folder + "\\" + name;
  }
  std::string host;
  struct stat st;
  *pbOnDisk = (core::ToHostPath(path, &host).ok() && ::stat(host.c_str(), &st) == 0) ? 1 : 0;
  return 0;
}

UNSIGNED32 AdsGetHandleType(ADSHANDLE hObj, UNSIGNED16* pusType) {
  Kind kind = Handles::KindOf(hObj);
  Out(pusType, static_cast<uint16_t>(kind), "pusType");
  return 0;
}

UNSIGNED32 AdsGetHandleLong(ADSHANDLE hObj, UNSIGNED32* pulVal) {
  Require(pulVal, "pulVal");
  *pulVal = Handles::UserValue(hObj);
  return 0;
}

UNSIGNED32 AdsSetHandleLong(ADSHANDLE hObj, UNSIGNED32 ulVal) {
  Handles::SetUserValue(hObj, ulVal);
  return 0;
}

}  // namespace engine::api
