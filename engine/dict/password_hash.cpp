#include "engine/dict/password_hash.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include "engine/core/error.h"

namespace engine::dict {
namespace {

std::string Derive(const std::string& password, const std::string& salt, uint32_t iterations) {
  unsigned char out[32];
  if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                        reinterpret_cast<const unsigned char*>(salt.data()), static_cast<int>(salt.size()),
                        static_cast<int>(iterations), EVP_sha256(), sizeof out, out) != 1) {
    Fail(err::kInternalError, "The password hash could not be computed.");
  }
  return std::string(reinterpret_cast<char*>(out), sizeof out);
}

}  // namespace

PasswordHash HashPassword(const std::string& password, uint32_t iterations) {
  unsigned char salt[16];
  if (RAND_bytes(salt, sizeof salt) != 1) Fail(err::kInternalError, "No random bytes for a password salt.");
  PasswordHash h;
  h.salt.assign(reinterpret_cast<char*>(salt), sizeof salt);
  h.iterations = iterations;
  h.hash = Derive(password, h.salt, iterations);
  return h;
}

bool VerifyPassword(const std::string& password, const PasswordHash& stored) {
  if (stored.iterations == 0 || stored.hash.size() != 32) return false;
  std::string candidate = Derive(password, stored.salt, stored.iterations);
  return CRYPTO_memcmp(candidate.data(), stored.hash.data(), candidate.size()) == 0;
}

}  // namespace engine::dict
