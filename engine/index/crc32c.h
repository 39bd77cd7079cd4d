// CRC-32C (Castagnoli) of a byte range, the checksum of every index page.
//
// Uses the SSE 4.2 instruction where the processor has it and a table otherwise; both give the
// same value. Thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>

namespace engine {

uint32_t Crc32c(const uint8_t* data, size_t len);

// Stores the checksum of a page in its first four bytes.
void SealPage(uint8_t* page, uint32_t pageSize);

// True when the page's stored checksum matches its contents.
bool PageChecksumOk(const uint8_t* page, uint32_t pageSize);

}  // namespace engine
