/* A stand-in engine library that exports only a few entry points, so that the components'
 * binding can be shown to resolve each entry point at its own first call and to name the one
 * that is missing. */
#include <string.h>

#define EXPORT __attribute__((visibility("default")))

typedef unsigned char UNSIGNED8;
typedef unsigned short UNSIGNED16;
typedef unsigned int UNSIGNED32;

static UNSIGNED32 last_code = 0;

EXPORT UNSIGNED32 AdsGetLastError(UNSIGNED32* code, UNSIGNED8* buf, UNSIGNED16* len) {
  static const char text[] = "partial engine: no server here";
  *code = last_code;
  if (buf != 0 && len != 0 && *len > sizeof text) {
    memcpy(buf, text, sizeof text);
    *len = (UNSIGNED16)(sizeof text - 1);
  }
  return 0;
}

EXPORT UNSIGNED32 AdsConnect101(UNSIGNED8* connect, UNSIGNED32* options, UNSIGNED32* handle) {
  (void)connect;
  (void)options;
  *handle = 0;
  last_code = 6420;
  return 6420;
}
