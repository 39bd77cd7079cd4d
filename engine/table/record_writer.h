// Writing field values into a native-table record image in the encodings RecordView reads.
// Each function checks that the value fits the field and throws EngineError
// (kValueDoesNotFit, kFieldTypeMismatch) naming the field otherwise; on a throw the image is
// unchanged. Pure functions over caller-owned bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/table/record_access.h"

namespace engine::table {

// Writes the null encoding of field i. FoxPro-compatible tables: the field's blank value, and
// its null flag set when it is nullable. Every other writer clears that flag: a value written
// into a nullable field makes it not NULL.
void WriteNull(const Schema& schema, uint8_t* image, size_t i);

// Writes the empty value of field i: the null encoding, except in FoxPro-compatible tables,
// where it is the field's blank value and a nullable field is not NULL afterwards.
void WriteEmpty(const Schema& schema, uint8_t* image, size_t i);

// A live record with every field null (the empty record image).
void WriteEmptyRecord(const Schema& schema, uint8_t* image);

// Character kinds from 8-bit text; Numeric from number text; Logical from "T"/"F"/...;
// Raw and VarBinary from bytes. Char fields are padded with blanks; text longer than the
// field is refused unless `truncate` is set (then it is cut).
void WriteText(const Schema& schema, uint8_t* image, size_t i, std::string_view text, bool truncate);

// NChar and NVarChar from UTF-16.
void WriteWideText(const Schema& schema, uint8_t* image, size_t i, std::u16string_view text, bool truncate);

// Numeric kinds from a double (Numeric formatted with its decimals, right-aligned; integer
// kinds rounded and range-checked; Money scaled by 10000).
void WriteNumber(const Schema& schema, uint8_t* image, size_t i, double value);

// Integer kinds exactly (Money: the value is the scaled 64-bit form).
void WriteInteger(const Schema& schema, uint8_t* image, size_t i, int64_t value);

// Date: the julian day; TimeStamp/ModTime: the day part (milliseconds kept, 0 when null).
void WriteJulian(const Schema& schema, uint8_t* image, size_t i, int32_t julian);

// Time: milliseconds of the day; TimeStamp/ModTime: the time part.
void WriteMilliseconds(const Schema& schema, uint8_t* image, size_t i, int32_t ms);

// TimeStamp/ModTime: both parts.
void WriteTimeStamp(const Schema& schema, uint8_t* image, size_t i, int32_t julian, int32_t ms);

void WriteLogical(const Schema& schema, uint8_t* image, size_t i, bool value);

void WriteBlobRef(const Schema& schema, uint8_t* image, size_t i, BlobRef ref);

// Copies `size` raw bytes (the field's whole storage, including a variable field's length).
void WriteRaw(const Schema& schema, uint8_t* image, size_t i, const uint8_t* bytes, size_t size);

// Copies field i from one image of the schema to another: its bytes and, in FoxPro-compatible
// tables, its null and variable-length flags (the other fields' flags are left alone).
void CopyFieldValue(const Schema& schema, uint8_t* to, const uint8_t* from, size_t i);

}  // namespace engine::table
