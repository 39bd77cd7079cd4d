#include "engine/core/text_out.h"

#include "engine/core/guard.h"

namespace engine::core {

namespace {
std::string Where() {
  std::string where(CurrentEntryPoint());
  return where.empty() ? std::string() : where + ": ";
}
}  // namespace

void RequireArgImpl(const void* p, const char* name) {
  if (p == nullptr) Fail(err::kNullArgument, Where() + "the argument " + name + " must not be null.");
}

std::string InText(const uint8_t* p, uint32_t len, const char* name) {
  if (len == 0) return std::string();
  RequireArgImpl(p, name);
  return std::string(reinterpret_cast<const char*>(p), len);
}

std::u16string InWide(const char16_t* p) { return p ? std::u16string(p) : std::u16string(); }

void FailBufferTooSmall(uint32_t needed) {
  Fail(err::kInsufficientBuffer,
       Where() + "the buffer is too small; " + std::to_string(needed) + " characters are needed.");
}

}  // namespace engine::core
