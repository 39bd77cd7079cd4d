// Encryption of the records and blobs of a native table with a password.
//
// A table that has a password keeps its cipher parameters in its header (CipherParams): the
// cipher, a random salt, the PBKDF2-HMAC-SHA256 iteration count and a verifier. The password
// and the salt give 64 bytes of key material: the first part is the AES-GCM key, the last 32
// bytes key an HMAC whose value over a fixed text is the verifier. A password is accepted only
// when it reproduces the verifier, so a wrong password is refused before any record is read or
// written and can never garble data.
//
// A sealed piece (the body of a record, the content of a blob) is stored as
//   marker (1 byte: 0 stored as is, 1 encrypted), nonce (12 bytes), tag (16 bytes), body
// with the body the same length as the plain text. An encrypted body is AES-GCM ciphertext
// under a fresh random nonce for every write; the salt and the kind of piece (record or blob)
// are authenticated with it, so a piece copied from another table, or a record body put where
// a blob belongs, fails its check. A plain piece has a zero nonce and tag.
//
// Thread safety: a RecordCipher is immutable once made and may be shared between threads.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace engine::table {

// Bytes a sealed piece adds to its plain text.
constexpr uint32_t kSealOverhead = 1 + 12 + 16;
constexpr uint8_t kPiecePlain = 0;
constexpr uint8_t kPieceEncrypted = 1;

// The cipher a table is encrypted with (stored in its header).
enum class CipherKind : uint16_t {
  kAes256Gcm = 1,
  kAes128Gcm = 2,
};

struct CipherParams {
  CipherKind kind = CipherKind::kAes256Gcm;
  uint32_t iterations = 0;
  std::array<uint8_t, 16> salt{};
  std::array<uint8_t, 32> verifier{};
};

// What a sealed piece holds: authenticated with it so that pieces cannot change places.
enum class PieceKind : uint8_t { kRecord = 'R', kBlob = 'B' };

class RecordCipher {
 public:
  // Fresh parameters for a table that gets the password `password`: a random salt, the
  // default iteration count and the verifier of the password.
  static std::unique_ptr<RecordCipher> ForNewTable(std::string_view password, CipherKind kind);
  // The cipher of a table with `params`; null when `password` is not the table's password.
  static std::unique_ptr<RecordCipher> Unlock(const CipherParams& params, std::string_view password);

  ~RecordCipher();
  RecordCipher(const RecordCipher&) = delete;
  RecordCipher& operator=(const RecordCipher&) = delete;

  const CipherParams& params() const { return params_; }
  // The same key and parameters: a copy of a table opens with the same password.
  std::unique_ptr<RecordCipher> Clone() const;

  // Writes `n` bytes of `plain` as an encrypted piece of n + kSealOverhead bytes to `out`.
  void Seal(PieceKind kind, const uint8_t* plain, size_t n, uint8_t* out) const;
  // Decrypts the encrypted piece `sealed` (n + kSealOverhead bytes) into `out` (n bytes);
  // false when its authentication fails (the piece was damaged or does not belong here).
  bool Open(PieceKind kind, const uint8_t* sealed, size_t n, uint8_t* out) const;

  // Writes `plain` as a plain piece (marker 0, zero nonce and tag).
  static void StorePlain(const uint8_t* plain, size_t n, uint8_t* out);

 private:
  RecordCipher() = default;
  CipherParams params_;
  std::array<uint8_t, 32> key_{};
};

// A password of 32 random characters, for tables whose key lives only in this process.
std::string RandomPassword();

// The iteration count new tables get.
constexpr uint32_t kDefaultKdfIterations = 100000;
// Counts below this are refused as damage (a header whose count was zeroed would otherwise
// make every password cheap to try).
constexpr uint32_t kMinimumKdfIterations = 1000;

}  // namespace engine::table
