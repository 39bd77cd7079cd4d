// The value setters (AdsSetString, AdsSetDouble, ...) given a statement handle set a
// positional parameter of the statement instead of a field. The table layer's setters hand
// statement handles here; parameters are addressed by number (ADSFIELD(n)).
//
// Thread safety: as the entry points: a statement is used by one thread at a time.
#pragma once

#include <cstdint>

namespace engine::sql {

// Whether `handle` is a live statement handle.
bool IsStatementHandle(uint32_t handle);

uint32_t SetStringParam(uint32_t stmt, const uint8_t* param, const uint8_t* text, uint32_t length);
uint32_t SetStringWParam(uint32_t stmt, const uint8_t* param, const char16_t* text, uint32_t length);
uint32_t SetDoubleParam(uint32_t stmt, const uint8_t* param, double value);
uint32_t SetLongParam(uint32_t stmt, const uint8_t* param, int32_t value);
uint32_t SetLogicalParam(uint32_t stmt, const uint8_t* param, uint16_t value);
uint32_t SetJulianParam(uint32_t stmt, const uint8_t* param, int32_t julian);  // 0: empty
uint32_t SetMillisecondsParam(uint32_t stmt, const uint8_t* param, int32_t milliseconds);
uint32_t SetTimeStampRawParam(uint32_t stmt, const uint8_t* param, const void* bytes, uint32_t length);
uint32_t SetEmptyParam(uint32_t stmt, const uint8_t* param);
uint32_t SetBinaryParam(uint32_t stmt, const uint8_t* param, uint16_t binaryType, uint32_t total, uint32_t offset,
                        const uint8_t* bytes, uint32_t length);

// AdsGetRecordCount on a statement: the rows its last execution changed; 5117 when it was not
// a row-changing statement.
uint32_t StatementRowsAffected(uint32_t stmt, uint32_t* count);
// AdsGetLastAutoinc on a statement: the autoincrement value of the last record its INSERTs
// appended (0 when none).
uint32_t StatementLastAutoinc(uint32_t stmt, uint32_t* value);

}  // namespace engine::sql
