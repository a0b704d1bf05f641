// XXTEA framing on arbitrary bytes and keys. The first input byte chooses the key length (0 to
// 16; 16 means a key block with no terminating NUL, which must not be read past), the next
// bytes are the key and the rest is the data. Checks:
// - xxtea_decrypt never reads or writes out of bounds, and what it accepts fits the input;
// - xxtea_decrypt_inplace agrees with it;
// - encrypting the data and decrypting it again gives the data back, with the framed length.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "xxtea.h"

namespace {

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
using Buffer = std::unique_ptr<char, FreeDeleter>;

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t keyLen = data[0] % 17;
  if (size < 1 + keyLen) return 0;
  // Exactly keyLen bytes, NUL-terminated below 16 so that the key reader may stop anywhere.
  std::unique_ptr<char[]> key(new char[keyLen < 16 ? keyLen + 1 : 16]);
  std::memcpy(key.get(), data + 1, keyLen);
  if (keyLen < 16) key[keyLen] = '\0';
  const char* bytes = reinterpret_cast<const char*>(data + 1 + keyLen);
  const size_t len = size - 1 - keyLen;

  // Decrypting arbitrary bytes. Copy them to an exact-size heap block so any over-read shows.
  std::unique_ptr<char[]> input(new char[len == 0 ? 1 : len]);
  if (len != 0) std::memcpy(input.get(), bytes, len);
  size_t outLen = 0xdeadbeef;
  Buffer dec(static_cast<char*>(xxtea_decrypt(len == 0 ? nullptr : input.get(), len, key.get(), &outLen)));
  std::string inplace(bytes, len);
  const bool inplaceOk = xxtea_decrypt_inplace(inplace, key.get());
  Check(inplaceOk == (dec != nullptr));
  if (dec) {
    Check(outLen + 4 <= ((len + 3) / 4) * 4);  // the length word itself is never part of it
    Check(dec.get()[outLen] == '\0');
    Check(inplace == std::string(dec.get(), outLen));
  } else {
    Check(outLen == 0xdeadbeef);
    Check(inplace.empty());
  }

  // Round trip of the same bytes as plaintext.
  size_t encLen = 0;
  Buffer enc(static_cast<char*>(xxtea_encrypt(len == 0 ? nullptr : input.get(), len, key.get(), &encLen)));
  if (len == 0) {
    Check(enc == nullptr);
    return 0;
  }
  Check(enc != nullptr);
  Check(encLen == 4 * ((len + 3) / 4 + 1));
  size_t backLen = 0;
  Buffer back(static_cast<char*>(xxtea_decrypt(enc.get(), encLen, key.get(), &backLen)));
  Check(back != nullptr);
  Check(backLen == len && std::memcmp(back.get(), bytes, len) == 0);
  std::string framed(enc.get(), encLen);
  Check(xxtea_decrypt_inplace(framed, key.get()) && framed == std::string(bytes, len));
  return 0;
}
