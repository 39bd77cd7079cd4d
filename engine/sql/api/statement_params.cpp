#include "engine/sql/api/statement_params.h"

#include <cstring>

#include "engine/core/codepage.h"
#include "engine/core/handles.h"
#include "engine/core/text_out.h"
#include "engine/sql/sql_error.h"
#include "engine/sql/statement.h"
#include "engine/sql/value_codec.h"

namespace engine::sql {

namespace {

std::shared_ptr<Statement> StatementOf(uint32_t h) { return core::Handles::Get<Statement>(h, core::Kind::kStatement); }

uint32_t Number(const uint8_t* param) {
  uintptr_t value = reinterpret_cast<uintptr_t>(param);
  if (value == 0 || value >= 65536) {
    FailSql(native::kParameter, "Statement parameters are given by number (ADSFIELD(n)), counting from 1.");
  }
  return static_cast<uint32_t>(value);
}

uint32_t Set(uint32_t stmt, const uint8_t* param, ParamValue v) {
  StatementOf(stmt)->SetParam(Number(param), std::move(v));
  return 0;
}

ParamValue Text(std::string utf8) {
  ParamValue v;
  v.kind = ParamValue::Kind::kText;
  v.bytes = std::move(utf8);
  return v;
}

}  // namespace

bool IsStatementHandle(uint32_t handle) { return core::Handles::IsLive(handle, core::Kind::kStatement); }

uint32_t SetStringParam(uint32_t stmt, const uint8_t* param, const uint8_t* text, uint32_t length) {
  return Set(stmt, param, Text(core::AnsiToUtf8(core::InText(text, length, "pucBuf"))));
}

uint32_t SetStringWParam(uint32_t stmt, const uint8_t* param, const char16_t* text, uint32_t length) {
  if (length && !text) core::Require(text, "pwcBuf");
  return Set(stmt, param, Text(core::Utf16ToUtf8(std::u16string_view(text ? text : u"", length))));
}

uint32_t SetDoubleParam(uint32_t stmt, const uint8_t* param, double value) {
  ParamValue v;
  v.kind = ParamValue::Kind::kReal;
  v.real = value;
  return Set(stmt, param, v);
}

uint32_t SetLongParam(uint32_t stmt, const uint8_t* param, int32_t value) {
  ParamValue v;
  v.kind = ParamValue::Kind::kInteger;
  v.integer = value;
  return Set(stmt, param, v);
}

uint32_t SetLogicalParam(uint32_t stmt, const uint8_t* param, uint16_t value) {
  ParamValue v;
  v.kind = ParamValue::Kind::kInteger;
  v.integer = value ? 1 : 0;
  return Set(stmt, param, v);
}

uint32_t SetJulianParam(uint32_t stmt, const uint8_t* param, int32_t julian) {
  if (julian == 0) return SetEmptyParam(stmt, param);
  if (julian < 1721426 || julian > 5373484) {
    FailSql(native::kParameter, "Parameter " + std::to_string(Number(param)) + ": the day number " +
                                    std::to_string(julian) + " is no date of the years 1 to 9999.");
  }
  return Set(stmt, param, Text(DateText(julian)));
}

uint32_t SetMillisecondsParam(uint32_t stmt, const uint8_t* param, int32_t ms) {
  if (ms < 0 || ms >= 86400000) {
    FailSql(native::kParameter, "Parameter " + std::to_string(Number(param)) + ": " + std::to_string(ms) +
                                    " milliseconds is no time of day.");
  }
  return Set(stmt, param, Text(TimeText(ms)));
}

uint32_t SetTimeStampRawParam(uint32_t stmt, const uint8_t* param, const void* bytes, uint32_t length) {
  core::Require(bytes, "pvBuf");
  if (length != 8) FailSql(native::kParameter, "A raw timestamp is 8 bytes: the day number and the milliseconds.");
  int32_t julian = 0, ms = 0;
  std::memcpy(&julian, bytes, 4);
  std::memcpy(&ms, static_cast<const uint8_t*>(bytes) + 4, 4);
  if (julian == 0 && ms == 0) return SetEmptyParam(stmt, param);
  if (julian < 1721426 || julian > 5373484 || ms < 0 || ms >= 86400000) {
    FailSql(native::kParameter, "Parameter " + std::to_string(Number(param)) + " holds no valid timestamp.");
  }
  return Set(stmt, param, Text(DateText(julian) + " " + TimeText(ms)));
}

uint32_t SetEmptyParam(uint32_t stmt, const uint8_t* param) { return Set(stmt, param, ParamValue{}); }

uint32_t SetBinaryParam(uint32_t stmt, const uint8_t* param, uint16_t binaryType, uint32_t total, uint32_t offset,
                        const uint8_t* bytes, uint32_t length) {
  (void)binaryType;  // binary and image values bind alike
  if (length && !bytes) core::Require(bytes, "pucBuf");
  StatementOf(stmt)->SetBinaryPart(Number(param), total, offset,
                                   std::string_view(reinterpret_cast<const char*>(bytes), bytes ? length : 0));
  return 0;
}

uint32_t StatementRowsAffected(uint32_t stmt, uint32_t* count) {
  core::Require(count, "pulCount");
  std::optional<uint32_t> rows = StatementOf(stmt)->rowsAffected();
  if (!rows) Fail(err::kNotRowChangingStatement, "The statement's last execution changed no rows: it was no INSERT, UPDATE or DELETE.");
  *count = *rows;
  return 0;
}

uint32_t StatementLastAutoinc(uint32_t stmt, uint32_t* value) {
  core::Out(value, StatementOf(stmt)->lastAutoinc(), "pulAutoIncVal");
  return 0;
}

}  // namespace engine::sql
