// Entry points converting between julian day numbers and date text in the date format in
// force (the process's, or the connection's for AdsConvertDateToJulian).
#include <cmath>

#include "engine/core/connection.h"
#include "engine/core/error.h"
#include "engine/core/text_out.h"
#include "engine/expr/date_text.h"
#include "engine/table/api/table_handles.h"
#include "engine_api/entry_points.h"

namespace engine::api {

namespace {

DateFormat FormatFor(ADSHANDLE connection) {
  std::optional<DateFormat> f = DateFormat::Parse(table::DateFormatText(connection));
  if (!f) f = DateFormat::Parse("MM/DD/CCYY");
  return *f;
}

double Parse(ADSHANDLE connection, UNSIGNED8* text, UNSIGNED16 len) {
  std::string s = core::InText(text, len, "pucDate");
  size_t a = s.find_first_not_of(' ');
  if (a == std::string::npos) return 0;  // blank text is the empty date
  DateFormat f = FormatFor(connection);
  int64_t julian = f.read(s, 1900);
  if (julian <= 0) Fail(err::kInvalidDateText, "\"" + s + "\" is not a date in the format " + f.pattern() + ".");
  return static_cast<double>(julian);
}

}  // namespace

UNSIGNED32 AdsConvertStringToJulian(UNSIGNED8* pucJulian, UNSIGNED16 usLen, DOUBLE* pdJulian) {
  core::Out(pdJulian, Parse(0, pucJulian, usLen), "pdJulian");
  return 0;
}

UNSIGNED32 AdsConvertDateToJulian(ADSHANDLE hConnect, UNSIGNED8* pucDate, UNSIGNED16 usLen, DOUBLE* pdJulian) {
  if (hConnect != 0) core::Connections::Get(hConnect);
  core::Out(pdJulian, Parse(hConnect, pucDate, usLen), "pdJulian");
  return 0;
}

UNSIGNED32 AdsConvertJulianToString(DOUBLE dJulian, UNSIGNED8* pucJulian, UNSIGNED16* pusLen) {
  if (!(dJulian >= 0 && dJulian < 5373484.0)) Fail(err::kInvalidArgument, "The julian day is out of range.");
  DateFormat f = FormatFor(0);
  char buf[64];
  uint32_t n = f.write(static_cast<int64_t>(std::floor(dJulian)), buf);
  return core::TextOut(std::string_view(buf, n), pucJulian, pusLen);
}

}  // namespace engine::api
