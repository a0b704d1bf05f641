// XXTEA block operation and the length-word framing of encrypted tile files.
//
// The block vectors were worked out with a separate implementation written from the published
// algorithm (circular-index form, not this code's two-loop form); the all-zero one is the
// commonly published reference value. The framed vectors fix the byte layout of a file.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "xxtea.h"

namespace {

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
using Buffer = std::unique_ptr<unsigned char, FreeDeleter>;

std::string Hex(const unsigned char* p, size_t n) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  for (size_t i = 0; i < n; ++i) {
    if (i) s += ' ';
    s += digits[p[i] >> 4];
    s += digits[p[i] & 15];
  }
  return s;
}

// Encrypts through the public framing function; empty optional-like result on null.
struct Framed {
  bool ok = false;
  std::string bytes;
};
Framed Encrypt(const std::string& plain, const void* key) {
  size_t n = 12345;
  Buffer buf(static_cast<unsigned char*>(xxtea_encrypt(plain.data(), plain.size(), key, &n)));
  if (!buf) return {false, {}};
  EXPECT_EQ(buf.get()[n], 0) << "the extra byte after the data must be NUL";
  return {true, std::string(reinterpret_cast<char*>(buf.get()), n)};
}
Framed Decrypt(const std::string& cipher, const void* key) {
  size_t n = 12345;
  Buffer buf(static_cast<unsigned char*>(xxtea_decrypt(cipher.data(), cipher.size(), key, &n)));
  if (!buf) {
    EXPECT_EQ(n, 12345u) << "a failed decryption must not write the length";
    return {false, {}};
  }
  EXPECT_EQ(buf.get()[n], 0) << "the extra byte after the data must be NUL";
  return {true, std::string(reinterpret_cast<char*>(buf.get()), n)};
}

// ---- the block operation --------------------------------------------------------------------

struct BlockCase {
  const char* name;
  std::vector<uint32_t> plain;
  uint32_t key[4];
  std::vector<uint32_t> cipher;
};

const BlockCase kBlockCases[] = {
    {"ZeroKeyZeroBlock", {0, 0}, {0, 0, 0, 0}, {0x053704ab, 0x575d8c80}},
    {"AllOnes",
     {0xffffffff, 0xffffffff},
     {0xffffffff, 0xffffffff, 0xffffffff, 0xffffffff},
     {0x09b03d2a, 0xb3560cb2}},
    {"ThreeWords",
     {1, 2, 3},
     {0x01234567, 0x89abcdef, 0xfedcba98, 0x76543210},
     {0x4842f63b, 0x9fe71ab1, 0x57b6914e}},
    // Six words: more than four, so every key word index (p & 3) ^ e is used, and fewer rounds.
    {"SixWords",
     {0, 1, 2, 3, 4, 5},
     {1, 2, 3, 4},
     {0x8a1cf792, 0x24302663, 0xcf97f298, 0xd15eeaf0, 0xf0da923c, 0xe4a6badc}},
};

TEST(XxteaBlock, MatchesReferenceVectorsBothWays) {
  for (const BlockCase& c : kBlockCases) {
    SCOPED_TRACE(c.name);
    std::vector<uint32_t> v = c.plain;
    xxtea_uint_encrypt(v.data(), v.size(), c.key);
    EXPECT_EQ(v, c.cipher);
    xxtea_uint_decrypt(v.data(), v.size(), c.key);
    EXPECT_EQ(v, c.plain);
  }
}

TEST(XxteaBlock, OneWordIsLeftUnchanged) {
  const uint32_t key[4] = {1, 2, 3, 4};
  uint32_t w = 0xdeadbeef;
  xxtea_uint_encrypt(&w, 1, key);
  EXPECT_EQ(w, 0xdeadbeefu);
  xxtea_uint_decrypt(&w, 1, key);
  EXPECT_EQ(w, 0xdeadbeefu);
}

// ---- framing ------------------------------------------------------------------------------------

struct FramedCase {
  const char* name;
  std::string plain;
  std::string key;
  const char* hex;
};

const FramedCase kFramedCases[] = {
    {"OneByte", "a", "kvq1987!", "9f 32 a9 1c 62 6f 39 02"},
    {"OneFullWord", "abcd", "kvq1987!", "e7 33 c9 16 5c 6c ae 8c"},
    {"FiveBytes", "abcde", "kvq1987!", "59 d9 93 a8 f2 a2 f9 ea c6 ab 21 d3"},
    {"JsonTile", "{\"m_keys\":[]}", "kvq1987!", "3c 3e 14 11 99 e5 5e 7d e6 9b 36 5d 83 7c 30 fc a2 7f c8 7c"},
    // A key of more than 16 characters contributes its first 16 only.
    {"LongKey", "hello", "0123456789abcdefXYZ", "44 b0 8d 5d 74 d5 d9 c9 6a 2d ae dd"},
};

TEST(XxteaFraming, EncryptsToReferenceBytesAndBack) {
  for (const FramedCase& c : kFramedCases) {
    SCOPED_TRACE(c.name);
    const Framed enc = Encrypt(c.plain, c.key.c_str());
    ASSERT_TRUE(enc.ok);
    EXPECT_EQ(Hex(reinterpret_cast<const unsigned char*>(enc.bytes.data()), enc.bytes.size()), c.hex);
    const Framed dec = Decrypt(enc.bytes, c.key.c_str());
    ASSERT_TRUE(dec.ok);
    EXPECT_EQ(dec.bytes, c.plain);
  }
}

TEST(XxteaFraming, LastWordBeforeEncryptionIsTheLength) {
  const uint32_t key[4] = {0x3171766b, 0x21373839, 0, 0};  // "kvq1987!" as little-endian words
  const std::string plain = "abcde";
  const Framed enc = Encrypt(plain, "kvq1987!");
  ASSERT_EQ(enc.bytes.size(), 12u);
  std::vector<uint32_t> w(3);
  std::memcpy(w.data(), enc.bytes.data(), 12);
  xxtea_uint_decrypt(w.data(), w.size(), key);
  EXPECT_EQ(w[0], 0x64636261u);  // "abcd"
  EXPECT_EQ(w[1], 0x00000065u);  // "e", zero padded
  EXPECT_EQ(w[2], 5u);
}

TEST(XxteaFraming, RoundTripsEveryLengthUpTo70) {
  const char* keys[] = {"kvq1987!", "", "0123456789abcdef", "x"};
  for (const char* key : keys) {
    for (size_t len = 0; len <= 70; ++len) {
      SCOPED_TRACE(std::string("key '") + key + "' length " + std::to_string(len));
      std::string plain;
      for (size_t i = 0; i < len; ++i) plain += static_cast<char>((i * 37 + 11) & 0xff);  // NULs included
      const Framed enc = Encrypt(plain, key);
      if (len == 0) {
        EXPECT_FALSE(enc.ok);
        continue;
      }
      ASSERT_TRUE(enc.ok);
      EXPECT_EQ(enc.bytes.size(), 4 * ((len + 3) / 4 + 1));
      const Framed dec = Decrypt(enc.bytes, key);
      ASSERT_TRUE(dec.ok);
      EXPECT_EQ(dec.bytes, plain);

      std::string inplace = enc.bytes;
      ASSERT_TRUE(xxtea_decrypt_inplace(inplace, key));
      EXPECT_EQ(inplace, plain);
    }
  }
}

TEST(XxteaFraming, KeysEqualUpToNulOrSixteenBytesEncryptAlike) {
  const std::string plain = "same plaintext";
  const char withTail[] = "kvq1987!\0garbage";
  EXPECT_EQ(Encrypt(plain, "kvq1987!").bytes, Encrypt(plain, withTail).bytes);
  EXPECT_EQ(Encrypt(plain, "0123456789abcdef").bytes, Encrypt(plain, "0123456789abcdefGHIJ").bytes);
  EXPECT_NE(Encrypt(plain, "kvq1987!").bytes, Encrypt(plain, "kvq1987?").bytes);
  // An empty key is the all-zero key block.
  const char zeros[16] = {};
  EXPECT_EQ(Encrypt(plain, "").bytes, Encrypt(plain, zeros).bytes);
}

TEST(XxteaFraming, RefusesEmptyAndTooShortInput) {
  size_t n = 777;
  const char data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(xxtea_encrypt(data, 0, "kvq1987!", &n), nullptr);
  EXPECT_EQ(xxtea_decrypt(data, 0, "kvq1987!", &n), nullptr);
  for (size_t len = 1; len <= 4; ++len) {
    SCOPED_TRACE(len);
    EXPECT_EQ(xxtea_decrypt(data, len, "kvq1987!", &n), nullptr);
    std::string buf(data, len);
    EXPECT_FALSE(xxtea_decrypt_inplace(buf, "kvq1987!"));
    EXPECT_TRUE(buf.empty());
  }
  EXPECT_EQ(n, 777u);
}

TEST(XxteaFraming, RefusesFourGibibytesWithoutReadingTheData) {
  size_t n = 777;
  const char one = 'x';  // the length alone decides: nothing beyond it is touched
  EXPECT_EQ(xxtea_encrypt(&one, size_t{1} << 32, "kvq1987!", &n), nullptr);
  EXPECT_EQ(n, 777u);
}

// Builds n encrypted words whose decrypted length word is m, to probe the accepted range.
std::string CipherWithLength(size_t n, uint32_t m) {
  const uint32_t key[4] = {0x3171766b, 0x21373839, 0, 0};
  std::vector<uint32_t> w(n, 0x41414141u);
  w[n - 1] = m;
  xxtea_uint_encrypt(w.data(), n, key);
  return std::string(reinterpret_cast<const char*>(w.data()), 4 * n);
}

TEST(XxteaFraming, LengthWordMustDescribeTheLastDataWord) {
  struct Case {
    size_t words;
    uint32_t length;
    bool accepted;
  };
  const Case cases[] = {
      {3, 4, false},           {3, 5, true},   {3, 8, true},    {3, 9, false},   {3, 0, false},
      {3, 0xffffffffu, false}, {2, 1, true},   {2, 4, true},    {2, 0, false},   {2, 5, false},
      {18, 65, true},          {18, 68, true}, {18, 64, false}, {18, 69, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.words) + " words, length " + std::to_string(c.length));
    const std::string cipher = CipherWithLength(c.words, c.length);
    const Framed dec = Decrypt(cipher, "kvq1987!");
    EXPECT_EQ(dec.ok, c.accepted);
    if (c.accepted) {
      EXPECT_EQ(dec.bytes, std::string(c.length, 'A'));
    }
    std::string inplace = cipher;
    EXPECT_EQ(xxtea_decrypt_inplace(inplace, "kvq1987!"), c.accepted);
    EXPECT_EQ(inplace, c.accepted ? std::string(c.length, 'A') : std::string());
  }
}

TEST(XxteaFraming, WrongKeyFailsTheLengthCheck) {
  const std::string plain(1000, 'q');
  const Framed enc = Encrypt(plain, "kvq1987!");
  ASSERT_TRUE(enc.ok);
  for (const char* wrong : {"kvq1987?", "", "KVQ1987!", "kvq1987!x"}) {
    SCOPED_TRACE(wrong);
    EXPECT_FALSE(Decrypt(enc.bytes, wrong).ok);
  }
  // A file that was never encrypted does not pass either.
  EXPECT_FALSE(Decrypt(plain, "kvq1987!").ok);
}

TEST(XxteaFraming, TailShortOfAWordReadsAsZeros) {
  // Find a block whose last cipher byte is zero; without that byte the input pads back to the
  // same words, so it must decrypt to the same plaintext.
  const uint32_t key[4] = {0x3171766b, 0x21373839, 0, 0};
  for (uint32_t fill = 0;; ++fill) {
    ASSERT_LT(fill, 100000u) << "no block found";
    std::vector<uint32_t> w = {fill, 0x62626262u, 8};
    xxtea_uint_encrypt(w.data(), w.size(), key);
    const std::string cipher(reinterpret_cast<const char*>(w.data()), 12);
    if (cipher[11] != 0) continue;
    std::string plain(8, 'b');
    std::memcpy(&plain[0], &fill, 4);
    const Framed dec = Decrypt(cipher.substr(0, 11), "kvq1987!");
    ASSERT_TRUE(dec.ok);
    EXPECT_EQ(dec.bytes, plain);
    std::string inplace = cipher.substr(0, 11);
    ASSERT_TRUE(xxtea_decrypt_inplace(inplace, "kvq1987!"));
    EXPECT_EQ(inplace, plain);
    break;
  }
}

}  // namespace
