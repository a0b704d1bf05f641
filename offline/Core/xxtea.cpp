#include "xxtea.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

constexpr uint32_t kDelta = 0x9E3779B9u;

// Words are accessed through memcpy so that one routine serves word arrays and byte buffers of
// any alignment (a std::string's storage among them); each access compiles to a single move.
inline uint32_t Load(const unsigned char* b, size_t i) {
  uint32_t w;
  std::memcpy(&w, b + 4 * i, 4);
  return w;
}
inline void Store(unsigned char* b, size_t i, uint32_t w) { std::memcpy(b + 4 * i, &w, 4); }

inline uint32_t Mx(uint32_t sum, uint32_t y, uint32_t z, size_t p, uint32_t e, const uint32_t* k) {
  return ((z >> 5 ^ y << 2) + (y >> 3 ^ z << 4)) ^ ((sum ^ y) + (k[(p & 3) ^ e] ^ z));
}

void EncryptBlock(unsigned char* v, size_t n, const uint32_t* k) {
  if (n < 2) return;
  uint32_t rounds = static_cast<uint32_t>(6 + 52 / n);
  uint32_t sum = 0;
  uint32_t z = Load(v, n - 1);
  uint32_t y;
  do {
    sum += kDelta;
    const uint32_t e = (sum >> 2) & 3;
    size_t p = 0;
    for (; p < n - 1; ++p) {
      y = Load(v, p + 1);
      z = Load(v, p) + Mx(sum, y, z, p, e, k);
      Store(v, p, z);
    }
    y = Load(v, 0);
    z = Load(v, n - 1) + Mx(sum, y, z, p, e, k);
    Store(v, n - 1, z);
  } while (--rounds != 0);
}

void DecryptBlock(unsigned char* v, size_t n, const uint32_t* k) {
  if (n < 2) return;
  uint32_t rounds = static_cast<uint32_t>(6 + 52 / n);
  uint32_t sum = rounds * kDelta;
  uint32_t y = Load(v, 0);
  uint32_t z;
  do {
    const uint32_t e = (sum >> 2) & 3;
    size_t p = n - 1;
    for (; p > 0; --p) {
      z = Load(v, p - 1);
      y = Load(v, p) - Mx(sum, y, z, p, e, k);
      Store(v, p, y);
    }
    z = Load(v, n - 1);
    y = Load(v, 0) - Mx(sum, y, z, p, e, k);
    Store(v, 0, y);
    sum -= kDelta;
  } while (--rounds != 0);
}

// The key text's bytes up to its first NUL, at most 16, then zeros. Bytes after a NUL are never
// read, so a short key text is not over-read.
void KeyWords(const void* key, uint32_t out[4]) {
  unsigned char block[16] = {};
  if (key != nullptr) {
    const unsigned char* text = static_cast<const unsigned char*>(key);
    for (size_t i = 0; i < sizeof block && text[i] != 0; ++i) block[i] = text[i];
  }
  std::memcpy(out, block, sizeof block);
}

// Number of words holding len bytes; len is bounded by the callers so 4 * words + 1 fits.
size_t WordsFor(size_t len) { return len / 4 + (len % 4 != 0 ? 1 : 0); }

// The length word after decryption must describe the bytes before it: between 4n - 7 (the
// last data word holds one byte) and 4n - 4 (it is full). A one-word input never passes.
bool LengthOk(uint64_t m, uint64_t n) { return m >= 4 * n - 7 && m <= 4 * n - 4; }

constexpr size_t kMaxInput = std::numeric_limits<size_t>::max() / 4 - 8;

}  // namespace

void xxtea_uint_encrypt(uint32_t* data, size_t n, const uint32_t* key) {
  EncryptBlock(reinterpret_cast<unsigned char*>(data), n, key);
}

void xxtea_uint_decrypt(uint32_t* data, size_t n, const uint32_t* key) {
  DecryptBlock(reinterpret_cast<unsigned char*>(data), n, key);
}

void* xxtea_encrypt(const void* data, size_t len, const void* key, size_t* out_len) {
  if (data == nullptr || len == 0) return nullptr;
  if (len > std::numeric_limits<uint32_t>::max()) return nullptr;  // the length word holds 32 bits
  uint32_t k[4];
  KeyWords(key, k);
  const size_t n = WordsFor(len) + 1;
  unsigned char* buf = static_cast<unsigned char*>(std::calloc(4 * n + 1, 1));
  if (buf == nullptr) return nullptr;
  std::memcpy(buf, data, len);
  Store(buf, n - 1, static_cast<uint32_t>(len));
  EncryptBlock(buf, n, k);
  buf[4 * n] = 0;
  if (out_len != nullptr) *out_len = 4 * n;
  return buf;
}

void* xxtea_decrypt(const void* data, size_t len, const void* key, size_t* out_len) {
  if (data == nullptr || len == 0 || len > kMaxInput) return nullptr;
  uint32_t k[4];
  KeyWords(key, k);
  const size_t n = WordsFor(len);
  unsigned char* buf = static_cast<unsigned char*>(std::calloc(4 * n + 1, 1));
  if (buf == nullptr) return nullptr;
  std::memcpy(buf, data, len);
  DecryptBlock(buf, n, k);
  const uint64_t m = Load(buf, n - 1);
  if (!LengthOk(m, n)) {
    std::free(buf);
    return nullptr;
  }
  buf[m] = 0;
  if (out_len != nullptr) *out_len = static_cast<size_t>(m);
  return buf;
}

bool xxtea_decrypt_inplace(std::string& buf, const void* key) {
  const size_t len = buf.size();
  if (len == 0 || len > kMaxInput) {
    buf.clear();
    return false;
  }
  uint32_t k[4];
  KeyWords(key, k);
  const size_t n = WordsFor(len);
  buf.resize(4 * n, '\0');  // a tail short of a word reads as zero bytes
  unsigned char* v = reinterpret_cast<unsigned char*>(&buf[0]);
  DecryptBlock(v, n, k);
  const uint64_t m = Load(v, n - 1);
  if (!LengthOk(m, n)) {
    buf.clear();
    return false;
  }
  buf.resize(static_cast<size_t>(m));
  return true;
}
