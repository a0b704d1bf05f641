#pragma once  // xxtea.h: XXTEA (Corrected Block TEA) with a trailing length word, as tile files use it

// Framing: a plaintext of L bytes (1 <= L < 4 GiB) is packed into k = ceil(L / 4) words in the
// machine's byte order, zero-padded, followed by one word holding L; all k + 1 words are
// encrypted as one block, giving 4(k + 1) bytes with nothing before or after them.
//
// Key: a text of which the bytes up to the first NUL, at most 16, fill a 16-byte block padded
// with zeros, read as four machine-order words. The system key "kvq1987!" therefore gives its
// 8 characters and 8 zero bytes; keys agreeing in those bytes encrypt identically.
//
// Buffers returned by xxtea_encrypt / xxtea_decrypt come from malloc, hold *out_len bytes plus
// one NUL byte not counted in *out_len, and are released by the caller with free. Both return
// null, leaving *out_len unwritten, for empty input and allocation failure; xxtea_encrypt also
// for input of 4 GiB or more (its length would not fit the length word), xxtea_decrypt when
// the decrypted length word is not in [4n - 7, 4n - 4] for n words of input (a wrong key or a
// damaged file; input of 4 bytes or less never passes).

#include <cstddef>
#include <cstdint>
#include <string>

void* xxtea_encrypt(const void* data, size_t len, const void* key, size_t* out_len);
void* xxtea_decrypt(const void* data, size_t len, const void* key, size_t* out_len);

// The block operation on n words in place with the four key words; n < 2 leaves them unchanged.
void xxtea_uint_encrypt(uint32_t* data, size_t n, const uint32_t* key);
void xxtea_uint_decrypt(uint32_t* data, size_t n, const uint32_t* key);

// Decrypts a framed buffer in place, without the copies of xxtea_decrypt: on success buf holds
// the plaintext and the result is true; on failure (the cases where xxtea_decrypt returns null)
// buf is emptied and the result is false.
bool xxtea_decrypt_inplace(std::string& buf, const void* key);
