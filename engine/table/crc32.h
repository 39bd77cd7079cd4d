// CRC-32 (the reflected polynomial 0xEDB88320 of zlib and PNG) over byte ranges: the checksum
// of table and memo headers and of record images. Pure function, safe from any thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace engine {

// Continues a CRC over `size` more bytes; start with crc = 0.
uint32_t Crc32(const void* data, size_t size, uint32_t crc = 0);

}  // namespace engine
