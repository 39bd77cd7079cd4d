// What the fuzz targets on the engine's C interface share: a scratch folder of the process,
// files written into it, and a walk that reads everything an open table or cursor offers.
//
// The targets treat any engine error code as a correct answer to bad input; what they look for
// is a crash, a hang, a leak or a sanitizer report. One process runs one target on one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "ace/ace.h"

namespace fuzz {

// A text argument for the C interface.
inline UNSIGNED8* U(const std::string& s) { return reinterpret_cast<UNSIGNED8*>(const_cast<char*>(s.c_str())); }

// A folder of this process (under /dev/shm when it exists, else $TMPDIR or /tmp), created on
// first use and removed at exit. Host paths are what the engine takes as they are.
const std::string& Scratch();
// A subfolder of Scratch(), emptied (created when missing).
std::string FreshFolder(const std::string& name);
void WriteFile(const std::string& path, const uint8_t* data, size_t size);
void WriteFile(const std::string& path, const std::string& text);
std::string ReadFile(const std::string& path);

// Reads every field of up to `maxRecords` records of the table or cursor `h` in its current
// order, then the key count and the same walk through each of its index orders.
void Walk(ADSHANDLE h, int maxRecords);

// Splits a fuzz input into up to `count` parts at the separator line "\n--\n" (missing parts
// are empty), so that one input can carry several files or texts.
void SplitParts(const uint8_t* data, size_t size, std::string* parts, size_t count);

// Aborts with `what` unless `code` is 0; for set-up steps that must work.
void MustSucceed(UNSIGNED32 code, const char* what);

}  // namespace fuzz
