#include "engine/table/record_cipher.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>
#include <openssl/sha.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

#include "engine/core/error.h"

namespace engine::table {

namespace {

constexpr size_t kNonceSize = 12;
constexpr size_t kTagSize = 16;
constexpr size_t kMaterialSize = 64;
constexpr char kVerifierText[] = "quenlor table password check";

using Material = std::array<uint8_t, kMaterialSize>;

[[noreturn]] void CryptoFailure(const char* what) {
  Fail(err::kInternalError, std::string("The cipher library failed to ") + what + ".");
}

// Deriving the key costs tens of milliseconds on purpose; SQL opens a table several times per
// statement, so the material of recently used passwords is kept, keyed by a digest of the
// salt, the count and the password (never the password itself).
Material DeriveCached(const CipherParams& p, std::string_view password) {
  static std::mutex mutex;
  static std::map<std::array<uint8_t, 32>, Material> cache;
  std::array<uint8_t, 32> id{};
  {
    EVP_MD_CTX* md = EVP_MD_CTX_new();
    if (!md) CryptoFailure("allocate a digest");
    uint8_t count[4] = {static_cast<uint8_t>(p.iterations), static_cast<uint8_t>(p.iterations >> 8),
                        static_cast<uint8_t>(p.iterations >> 16), static_cast<uint8_t>(p.iterations >> 24)};
    unsigned int len = 0;
    bool ok = EVP_DigestInit_ex(md, EVP_sha256(), nullptr) == 1 &&
              EVP_DigestUpdate(md, p.salt.data(), p.salt.size()) == 1 && EVP_DigestUpdate(md, count, 4) == 1 &&
              EVP_DigestUpdate(md, password.data(), password.size()) == 1 &&
              EVP_DigestFinal_ex(md, id.data(), &len) == 1;
    EVP_MD_CTX_free(md);
    if (!ok) CryptoFailure("compute a digest");
  }
  {
    std::lock_guard<std::mutex> lock(mutex);
    auto it = cache.find(id);
    if (it != cache.end()) return it->second;
  }
  Material m{};
  if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), p.salt.data(),
                        static_cast<int>(p.salt.size()), static_cast<int>(p.iterations), EVP_sha256(),
                        static_cast<int>(m.size()), m.data()) != 1) {
    CryptoFailure("derive a key");
  }
  std::lock_guard<std::mutex> lock(mutex);
  if (cache.size() >= 32) cache.clear();
  cache[id] = m;
  return m;
}

std::array<uint8_t, 32> VerifierOf(const Material& m) {
  std::array<uint8_t, 32> v{};
  unsigned int len = 0;
  if (!HMAC(EVP_sha256(), m.data() + 32, 32, reinterpret_cast<const uint8_t*>(kVerifierText),
            sizeof kVerifierText - 1, v.data(), &len) ||
      len != v.size()) {
    CryptoFailure("compute the password verifier");
  }
  return v;
}

const EVP_CIPHER* CipherOf(CipherKind kind) {
  return kind == CipherKind::kAes128Gcm ? EVP_aes_128_gcm() : EVP_aes_256_gcm();
}

struct CipherCtx {
  CipherCtx() : ctx(EVP_CIPHER_CTX_new()) {
    if (!ctx) CryptoFailure("allocate a cipher context");
  }
  ~CipherCtx() { EVP_CIPHER_CTX_free(ctx); }
  EVP_CIPHER_CTX* ctx;
};

}  // namespace

std::string RandomPassword() {
  uint8_t raw[16];
  if (RAND_bytes(raw, sizeof raw) != 1) CryptoFailure("produce random bytes");
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (uint8_t b : raw) {
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  OPENSSL_cleanse(raw, sizeof raw);
  return out;
}

RecordCipher::~RecordCipher() { OPENSSL_cleanse(key_.data(), key_.size()); }

std::unique_ptr<RecordCipher> RecordCipher::ForNewTable(std::string_view password, CipherKind kind) {
  std::unique_ptr<RecordCipher> c(new RecordCipher());
  c->params_.kind = kind;
  c->params_.iterations = kDefaultKdfIterations;
  if (RAND_bytes(c->params_.salt.data(), static_cast<int>(c->params_.salt.size())) != 1) {
    CryptoFailure("produce random bytes");
  }
  Material m = DeriveCached(c->params_, password);
  c->params_.verifier = VerifierOf(m);
  std::memcpy(c->key_.data(), m.data(), 32);
  OPENSSL_cleanse(m.data(), m.size());
  return c;
}

std::unique_ptr<RecordCipher> RecordCipher::Unlock(const CipherParams& params, std::string_view password) {
  Material m = DeriveCached(params, password);
  std::array<uint8_t, 32> v = VerifierOf(m);
  if (CRYPTO_memcmp(v.data(), params.verifier.data(), v.size()) != 0) {
    OPENSSL_cleanse(m.data(), m.size());
    return nullptr;
  }
  std::unique_ptr<RecordCipher> c(new RecordCipher());
  c->params_ = params;
  std::memcpy(c->key_.data(), m.data(), 32);
  OPENSSL_cleanse(m.data(), m.size());
  return c;
}

std::unique_ptr<RecordCipher> RecordCipher::Clone() const {
  std::unique_ptr<RecordCipher> c(new RecordCipher());
  c->params_ = params_;
  c->key_ = key_;
  return c;
}

void RecordCipher::StorePlain(const uint8_t* plain, size_t n, uint8_t* out) {
  std::memset(out, 0, kSealOverhead);
  out[0] = kPiecePlain;
  std::memcpy(out + kSealOverhead, plain, n);
}

void RecordCipher::Seal(PieceKind kind, const uint8_t* plain, size_t n, uint8_t* out) const {
  uint8_t* nonce = out + 1;
  uint8_t* tag = nonce + kNonceSize;
  uint8_t* body = tag + kTagSize;
  if (RAND_bytes(nonce, kNonceSize) != 1) CryptoFailure("produce a nonce");
  CipherCtx c;
  const uint8_t aadKind = static_cast<uint8_t>(kind);
  int len = 0;
  bool ok = EVP_EncryptInit_ex(c.ctx, CipherOf(params_.kind), nullptr, nullptr, nullptr) == 1 &&
            EVP_CIPHER_CTX_ctrl(c.ctx, EVP_CTRL_GCM_SET_IVLEN, kNonceSize, nullptr) == 1 &&
            EVP_EncryptInit_ex(c.ctx, nullptr, nullptr, key_.data(), nonce) == 1 &&
            EVP_EncryptUpdate(c.ctx, nullptr, &len, params_.salt.data(), static_cast<int>(params_.salt.size())) == 1 &&
            EVP_EncryptUpdate(c.ctx, nullptr, &len, &aadKind, 1) == 1;
  // Large blobs are encrypted in steps so that the length fits the library's int.
  size_t done = 0;
  while (ok && done < n) {
    int step = static_cast<int>(std::min<size_t>(n - done, size_t{1} << 30));
    ok = EVP_EncryptUpdate(c.ctx, body + done, &len, plain + done, step) == 1 && len == step;
    done += static_cast<size_t>(step);
  }
  ok = ok && EVP_EncryptFinal_ex(c.ctx, body + n, &len) == 1 && len == 0 &&
       EVP_CIPHER_CTX_ctrl(c.ctx, EVP_CTRL_GCM_GET_TAG, kTagSize, tag) == 1;
  if (!ok) CryptoFailure("encrypt");
  out[0] = kPieceEncrypted;
}

bool RecordCipher::Open(PieceKind kind, const uint8_t* sealed, size_t n, uint8_t* out) const {
  if (sealed[0] != kPieceEncrypted) return false;
  const uint8_t* nonce = sealed + 1;
  const uint8_t* tag = nonce + kNonceSize;
  const uint8_t* body = tag + kTagSize;
  CipherCtx c;
  const uint8_t aadKind = static_cast<uint8_t>(kind);
  uint8_t tagCopy[kTagSize];
  std::memcpy(tagCopy, tag, kTagSize);
  int len = 0;
  bool ok = EVP_DecryptInit_ex(c.ctx, CipherOf(params_.kind), nullptr, nullptr, nullptr) == 1 &&
            EVP_CIPHER_CTX_ctrl(c.ctx, EVP_CTRL_GCM_SET_IVLEN, kNonceSize, nullptr) == 1 &&
            EVP_DecryptInit_ex(c.ctx, nullptr, nullptr, key_.data(), nonce) == 1 &&
            EVP_DecryptUpdate(c.ctx, nullptr, &len, params_.salt.data(), static_cast<int>(params_.salt.size())) == 1 &&
            EVP_DecryptUpdate(c.ctx, nullptr, &len, &aadKind, 1) == 1;
  if (!ok) CryptoFailure("decrypt");
  size_t done = 0;
  while (done < n) {
    int step = static_cast<int>(std::min<size_t>(n - done, size_t{1} << 30));
    if (EVP_DecryptUpdate(c.ctx, out + done, &len, body + done, step) != 1 || len != step) CryptoFailure("decrypt");
    done += static_cast<size_t>(step);
  }
  if (EVP_CIPHER_CTX_ctrl(c.ctx, EVP_CTRL_GCM_SET_TAG, kTagSize, tagCopy) != 1) CryptoFailure("decrypt");
  if (EVP_DecryptFinal_ex(c.ctx, out + n, &len) != 1) {
    // Authentication failed: nothing of the output may be used.
    OPENSSL_cleanse(out, n);
    return false;
  }
  return true;
}

}  // namespace engine::table
