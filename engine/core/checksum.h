// The engine's checksums, one place for both:
//   - CRC-32 (the reflected polynomial 0xEDB88320 of zlib and PNG): table and memo headers and
//     record images (AdsGetRecordCRC);
//   - CRC-32C (Castagnoli): index pages. Uses the SSE 4.2 instruction where the processor has
//     it and a table otherwise; both give the same value.
// Pure functions, safe from any thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace engine {

// Continues a CRC-32 over `size` more bytes; start with crc = 0.
uint32_t Crc32(const void* data, size_t size, uint32_t crc = 0);

uint32_t Crc32c(const uint8_t* data, size_t len);

}  // namespace engine
