// Entry points of the error bookkeeping and the engine's identity: last error, error texts,
// showing an error, version, thread exit.
#include <cstdio>
#include <string>

#include "engine/core/error_texts.h"
#include "engine/core/last_error.h"
#include "engine/core/text_out.h"
#include "engine_api/entry_points.h"

namespace engine::api {

using namespace engine::core;

namespace {
constexpr UNSIGNED32 kVersionMajor = 11;
constexpr UNSIGNED32 kVersionMinor = 10;
constexpr char kVersionLetter = ' ';
constexpr const char* kVersionDescription = "Quenlor client engine (local server)";
}  // namespace

UNSIGNED32 AdsGetLastError(UNSIGNED32* pulErrCode, UNSIGNED8* pucBuf, UNSIGNED16* pusBufLen) {
  const LastError& last = GetLastError();
  Out(pulErrCode, last.code, "pulErrCode");
  return TextOut(last.text, pucBuf, Require(pusBufLen, "pusBufLen"));
}

UNSIGNED32 AdsSetLastError(UNSIGNED32 ulErrCode, UNSIGNED8* pucDetails) {
  // The callers rely on getting back exactly the code they set.
  if (ulErrCode == 0) {
    ClearLastError();
  } else {
    SetLastError(ulErrCode, InText(pucDetails));
  }
  return ulErrCode;
}

UNSIGNED32 AdsGetErrorString(UNSIGNED32 ulErrCode, UNSIGNED8* pucBuf, UNSIGNED16* pusBufLen) {
  std::string text = ulErrCode == 0 ? std::string("Error 0: Success.") : StandardErrorText(ulErrCode);
  return TextOut(text, pucBuf, Require(pusBufLen, "pusBufLen"));
}

UNSIGNED32 AdsShowError(UNSIGNED8* pucTitle) {
  // The engine has no display of its own: the last error goes to standard error.
  const LastError& last = GetLastError();
  std::string title = InText(pucTitle);
  std::string text = last.code == 0 ? std::string("No error.") : last.text;
  std::fprintf(stderr, "%s%s%s\n", title.c_str(), title.empty() ? "" : ": ", text.c_str());
  std::fflush(stderr);
  return 0;
}

UNSIGNED32 AdsGetVersion(UNSIGNED32* pulMajor, UNSIGNED32* pulMinor, UNSIGNED8* pucLetter, UNSIGNED8* pucDesc,
                         UNSIGNED16* pusDescLen) {
  Out(pulMajor, kVersionMajor, "pulMajor");
  Out(pulMinor, kVersionMinor, "pulMinor");
  if (pucLetter) *pucLetter = static_cast<UNSIGNED8>(kVersionLetter);
  if (pucDesc == nullptr && pusDescLen == nullptr) return 0;
  return TextOut(kVersionDescription, pucDesc, Require(pusDescLen, "pusDescLen"));
}

UNSIGNED32 AdsThreadExit() {
  ClearLastError();
  return 0;
}

}  // namespace engine::api
