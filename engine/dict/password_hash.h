// Salted password hashes of dictionary users: PBKDF2-HMAC-SHA256 through OpenSSL libcrypto.
//
// A hash record keeps its own salt and iteration count, so the cost can be raised later without
// invalidating stored users. An empty password is stored as "no password" (no hash at all).
//
// Thread safety: stateless.
#pragma once

#include <cstdint>
#include <string>

namespace engine::dict {

struct PasswordHash {
  std::string salt;   // 16 random bytes
  std::string hash;   // 32 bytes
  uint32_t iterations = 0;
};

inline constexpr uint32_t kPasswordIterations = 20000;

// A new hash of `password` with a fresh random salt. Fails with 5997 when no randomness is
// available.
PasswordHash HashPassword(const std::string& password, uint32_t iterations = kPasswordIterations);

// True when `password` matches `stored` (constant-time comparison).
bool VerifyPassword(const std::string& password, const PasswordHash& stored);

}  // namespace engine::dict
