#pragma once  // ajson.hpp: one-pass JSON reader that fills records in place through their field lists

// Reading a document:
//
//   ql::Point p;
//   ajson::load_from_buff(p, text.c_str(), static_cast<std::size_t>(-1));   // ends at the first NUL
//
// Any record with a QL_FIELDS line is readable with nothing more: its members may be int, long,
// unsigned long, bool, float, double, std::string, records with field lists, and vectors of any of
// these (vectors of vectors included). Missing keys leave members as they were, a repeated key is
// read again, vectors are appended to, unknown keys are skipped with their values.
//
// The accepted language is a little wider than JSON: // and /* */ comments, bare words read as
// strings, a lone '-' as zero, leading zeros. Numbers are built digit by digit (0.3 reads as
// 0.30000000000000004), so the last bits can differ from the nearest double; stored files were
// written against this, keep it. Every failure throws ajson::exception with a line and column
// counted from 0; no token text is ever copied except into a string target.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <limits>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include "FieldList.h"
#include "MemoryLimit.h"
#include "Numeric.h"

namespace ajson {

class exception : public std::exception {
 public:
  // A complete message, e.g. a reader's message with the file name appended by a caller.
  explicit exception(const std::string& msg) : msg_(msg) {}
  // "error at line :<line> col :<col> msg:<message>"
  exception(std::size_t line, std::size_t col, const char* message);

  const char* what() const noexcept override { return msg_.c_str(); }

 private:
  std::string msg_;
};

namespace detail {

// A view into text owned elsewhere (the document or a field-list literal).
struct string_ref {
  const char* str = nullptr;
  std::size_t len = 0;

  bool operator==(const string_ref& rhs) const {
    return len == rhs.len && (len == 0 || std::memcmp(str, rhs.str, len) == 0);
  }
  bool operator!=(const string_ref& rhs) const { return !(*this == rhs); }
};

// Codes 0 to 102: hexadecimal digits give their value, TAB LF FF CR and space 17, the rest 16.
inline constexpr unsigned char char_table[103] = {
    16, 16, 16, 16, 16, 16, 16, 16, 16, 17, 17, 16, 17, 17, 16, 16,  // 0x00
    16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16,  // 0x10
    17, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16,  // 0x20
    0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  16, 16, 16, 16, 16, 16,  // 0x30
    16, 10, 11, 12, 13, 14, 15, 16, 16, 16, 16, 16, 16, 16, 16, 16,  // 0x40
    16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16,  // 0x50
    16, 10, 11, 12, 13, 14, 15,                                      // 0x60 to 'f'
};

// The text of the end token: one NUL, which need not exist in a length-limited buffer.
inline constexpr char end_text[1] = {'\0'};

// Past this many open arrays and objects a document is refused rather than risking the stack.
inline constexpr int max_depth = 512;

// Truncation toward zero into a long; NaN and values outside its range give LONG_MIN,
// like ql::TruncToInt does for int.
inline long trunc_to_long(double x) noexcept {
  if (!(x >= -9223372036854775808.0 && x < 9223372036854775808.0)) return std::numeric_limits<long>::min();
  return static_cast<long>(x);
}

// Truncation toward zero of a non-negative magnitude into an unsigned long. At 2^64 and above
// the result is 0, what the x86-64 code for this conversion gives, instead of undefined behaviour.
inline unsigned long trunc_to_ulong(double x) noexcept {
  if (!(x >= 0.0 && x < 18446744073709551616.0)) return 0;
  return static_cast<unsigned long>(x);
}

// Low 32 bits as a two's-complement int, without relying on implementation-defined narrowing.
inline int low_int(std::uint64_t v) noexcept {
  const auto low = static_cast<std::uint32_t>(v);
  return low <= 0x7FFFFFFFu ? static_cast<int>(low)
                            : static_cast<int>(static_cast<std::int64_t>(low) - 0x100000000LL);
}

inline long as_long(std::uint64_t v) noexcept {
  return v <= 0x7FFFFFFFFFFFFFFFull ? static_cast<long>(v)
                                    : -static_cast<long>(~v) - 1;  // two's complement without overflow
}

}  // namespace detail

struct token {
  enum { t_string = 0, t_int = 1, t_uint = 2, t_number = 3, t_ctrl = 4, t_end = 5 };

  detail::string_ref str_;  // the token's text inside the buffer (quoted: without the quotes)
  int type_ = t_string;
  union {
    std::uint64_t i64;  // t_int, t_uint: the magnitude
    double d64;         // t_number: the magnitude
  } value_{};
  bool neg_ = false;  // the number began with '-'
};

class reader {
 public:
  // Reads the first token. len is the limit of the text, which also ends at its first NUL;
  // callers pass SIZE_MAX for NUL-terminated text. The buffer must outlive the reader.
  reader(const char* ptr, std::size_t len) : len_(len), ptr_(ptr) {
    if (ptr_ == nullptr || len_ == 0 || ptr_[0] == '\0') end_mark_ = true;
    next();
  }

  const token& peek() const { return tok_; }

  // Whether the current token's text starts with c, whatever the token's kind.
  bool expect(char c) const { return tok_.str_.len != 0 && tok_.str_.str[0] == c; }

  [[noreturn]] void error(const char* message) const { throw exception(line_, col_, message); }

  // From now on every vector and string buffer the readers allocate is drawn from limit, which
  // must outlive the reads; without one nothing is counted.
  void set_memory_limit(ql::MemoryLimit* limit) { memory_ = limit; }

  // Draws bytes from the limit; refuses the document where the limit runs out.
  void charge(std::size_t bytes) {
    if (memory_ == nullptr || memory_->Take(bytes)) return;
    const std::string message = "content needs " + std::to_string(bytes) + " bytes of memory, more than the " +
                                std::to_string(memory_->Left()) + " left of the " +
                                std::to_string(memory_->Limit()) + " it may take";
    throw exception(line_, col_, message.c_str());
  }

  char read() const { return end_mark_ ? '\0' : ptr_[cur_]; }

  void take() {
    if (end_mark_) return;
    ++cur_;
    if (cur_ >= len_) {  // never look at the byte at len_: it may not exist
      end_mark_ = true;
      ++col_;
      return;
    }
    const char c = ptr_[cur_];
    if (c != '\r') ++col_;
    if (c == '\0') end_mark_ = true;
    if (c == '\n') {
      col_ = 0;
      ++line_;
    }
  }

  // Passes space, TAB, CR and LF (not FF or VT) and returns the character it stops on.
  char skip() {
    while (!end_mark_) {
      const char c = ptr_[cur_];
      if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return c;
      take();
    }
    return '\0';
  }

  void next() {
    for (;;) {
      const char c = skip();
      tok_.neg_ = false;
      if (end_mark_) {
        tok_.type_ = token::t_end;
        tok_.str_ = detail::string_ref{detail::end_text, 1};
        return;
      }
      switch (c) {
        case ':':
        case ',':
        case '[':
        case ']':
        case '{':
        case '}':
          tok_.type_ = token::t_ctrl;
          tok_.str_ = detail::string_ref{ptr_ + cur_, 1};
          take();
          return;
        case '"':
          parser_quote_string();
          return;
        case '/':
          parser_comment();
          continue;  // a comment counts as blanks
        case '-':
          tok_.type_ = token::t_int;
          tok_.value_.i64 = 0;
          tok_.neg_ = true;
          parser_number();
          return;
        default:
          if (c >= '0' && c <= '9') {
            tok_.type_ = token::t_uint;
            tok_.value_.i64 = static_cast<std::uint64_t>(c - '0');
            parser_number();
          } else {
            parser_string();
          }
          return;
      }
    }
  }

  void parser_quote_string() {
    take();  // the opening quote
    const std::size_t start = cur_;
    for (;;) {
      if (end_mark_) error("not a valid quote string!");
      const char c = ptr_[cur_];
      if (c == '"') break;
      if (c == '\n') error("not a valid quote string!");
      if (c == '\\') take();  // the escaped character is taken whatever it is, a quote included
      take();
    }
    tok_.type_ = token::t_string;
    tok_.str_ = detail::string_ref{ptr_ + start, cur_ - start};
    take();  // the closing quote
  }

  // A word without quotes, up to the first of , : [ ] { } space TAB LF CR.
  void parser_string() {
    const std::size_t start = cur_;
    take();
    for (;;) {
      if (end_mark_) error("not a valid string!");
      const char c = ptr_[cur_];
      if (c == ',' || c == ':' || c == '[' || c == ']' || c == '{' || c == '}' || c == ' ' || c == '\t' ||
          c == '\n' || c == '\r')
        break;
      take();
    }
    tok_.type_ = token::t_string;
    tok_.str_ = detail::string_ref{ptr_ + start, cur_ - start};
  }

  // Called on the first character ('-' or a digit), with type_ and value_ set from it.
  void parser_number() {
    const std::size_t start = cur_;
    take();
    while (!end_mark_) {
      const char c = ptr_[cur_];
      if (c >= '0' && c <= '9') {
        const auto d = static_cast<unsigned>(c - '0');
        if (tok_.type_ == token::t_number) {
          tok_.value_.d64 += d * decimal_;
          decimal_ *= 0.1;
        } else {
          tok_.value_.i64 = tok_.value_.i64 * 10 + d;  // wraps modulo 2^64
        }
        take();
      } else if (c == '.') {
        if (tok_.type_ == token::t_number) error("not a valid number!");
        to_number();
        take();
      } else if (c == 'e' || c == 'E') {
        if (tok_.type_ != token::t_number) to_number();
        parser_exp();
        break;
      } else {
        break;
      }
    }
    tok_.str_ = detail::string_ref{ptr_ + start, cur_ - start};
  }

  // On the exponent letter. Without a digit or '-' after it there is no exponent ("1e+5" is
  // the number 1e followed by the word +5).
  void parser_exp() {
    take();
    const char c = read();
    if (c == '-') {
      take();
      parser_exp_neg();
    } else if (c >= '0' && c <= '9') {
      parser_exp_pos();
    }
  }

  // One multiplication per exponent step, as stored files expect. Once the value is 0 or
  // infinite further steps cannot change it, so the loop stops there and the exponent is
  // saturated: a huge exponent costs neither overflow nor time.
  void parser_exp_pos() {
    read_exponent();
    double& v = tok_.value_.d64;
    for (int i = 0; i < exponent_ && v != 0.0 && std::fabs(v) <= std::numeric_limits<double>::max(); ++i)
      v *= 10.0;
    exponent_ = 0;
  }

  void parser_exp_neg() {
    read_exponent();
    double& v = tok_.value_.d64;
    for (int i = 0; i < exponent_ && v != 0.0 && std::fabs(v) <= std::numeric_limits<double>::max(); ++i) v *= 0.1;
    exponent_ = 0;
  }

  void decimal_reset() { decimal_ = 0.1; }

  // Writes value in decimal ending at the end of buffer (NUL-terminated) and returns its first digit.
  static const char* itoa_native(std::size_t value, char* buffer, std::size_t size) {
    if (size == 0) return buffer;
    char* p = buffer + size - 1;
    *p = '\0';
    do {
      if (p == buffer) break;
      *--p = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value != 0);
    return p;
  }

  // Nesting guard for every array and object being read or skipped.
  class depth_guard {
   public:
    explicit depth_guard(reader& rd) : rd_(rd) {
      if (rd_.depth_ >= detail::max_depth) rd_.error("json nesting deeper than 512 levels!");
      ++rd_.depth_;
    }
    ~depth_guard() { --rd_.depth_; }
    depth_guard(const depth_guard&) = delete;
    depth_guard& operator=(const depth_guard&) = delete;

   private:
    reader& rd_;
  };

 private:
  void to_number() {
    const std::uint64_t u = tok_.value_.i64;
    tok_.value_.d64 =
        tok_.type_ == token::t_int ? static_cast<double>(detail::as_long(u)) : static_cast<double>(u);
    tok_.type_ = token::t_number;
    decimal_reset();
  }

  void read_exponent() {
    while (!end_mark_) {
      const char c = ptr_[cur_];
      if (c < '0' || c > '9') break;
      if (exponent_ < 100000000) exponent_ = exponent_ * 10 + (c - '0');
      take();
    }
  }

  // On the '/'. An unclosed block comment runs to the end, leaving the reader on t_end.
  void parser_comment() {
    take();
    const char c = read();
    if (c == '/') {
      while (!end_mark_ && ptr_[cur_] != '\n') take();
    } else if (c == '*') {
      take();
      while (!end_mark_) {
        const char d = ptr_[cur_];
        take();
        if (d == '*' && read() == '/') {
          take();
          break;
        }
      }
    } else {
      error("not a comment!");
    }
  }

  token tok_;
  std::size_t col_ = 0;
  std::size_t line_ = 0;
  std::size_t len_;
  std::size_t cur_ = 0;
  bool end_mark_ = false;
  const char* ptr_;
  double decimal_ = 0.1;
  int exponent_ = 0;
  int depth_ = 0;
  ql::MemoryLimit* memory_ = nullptr;
};

inline exception::exception(std::size_t line, std::size_t col, const char* message) {
  char lineBuf[24];
  char colBuf[24];
  msg_ = "error at line :";
  msg_ += reader::itoa_native(line, lineBuf, sizeof lineBuf);
  msg_ += " col :";
  msg_ += reader::itoa_native(col, colBuf, sizeof colBuf);
  msg_ += " msg:";
  msg_ += message;
}

// ---- text helpers ----------------------------------------------------------------------------

// Exactly "true" in any letter case.
inline bool is_true(const token& tok) {
  const detail::string_ref& s = tok.str_;
  return s.len == 4 && (s.str[0] | 0x20) == 't' && (s.str[1] | 0x20) == 'r' && (s.str[2] | 0x20) == 'u' &&
         (s.str[3] | 0x20) == 'e';
}

// 0 to 15 for a hexadecimal digit, 16 for anything else.
inline unsigned char char_to_hex(char c) {
  const int code = static_cast<unsigned char>(c);
  return code > 102 ? 16 : detail::char_table[code];
}

// The four hexadecimal digits at p; 0 when fewer remain or one is not a digit.
inline unsigned read_utf(const char* p, std::size_t remaining) {
  if (remaining < 4) return 0;
  unsigned code = 0;
  for (int i = 0; i < 4; ++i) {
    const unsigned char h = char_to_hex(p[i]);
    if (h > 15) return 0;
    code = code << 4 | h;
  }
  return code;
}

// Appends one code point of at most 16 bits as UTF-8; surrogate halves are encoded one by one.
inline bool esacpe_utf8(std::string& out, unsigned code) {
  if (code <= 0x7F) {
    out += static_cast<char>(code);
  } else if (code <= 0x7FF) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code <= 0xFFFF) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    return false;
  }
  return true;
}

// Replaces out by the n characters at text with escapes resolved. On a bad escape returns
// false, out holding the text up to it.
inline bool escape_string(std::string& out, const char* text, std::size_t n) {
  out.clear();
  out.reserve(n);
  std::size_t i = 0;
  while (i < n) {
    const void* hit = std::memchr(text + i, '\\', n - i);
    const std::size_t stop = hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - text) : n;
    out.append(text + i, stop - i);
    if (stop == n) break;
    if (stop + 1 >= n) return false;  // a lone backslash at the end
    i = stop + 2;
    switch (text[stop + 1]) {
      case '"':
        out += '"';
        break;
      case '\\':
        out += '\\';
        break;
      case '/':
        out += '/';
        break;
      case 'b':
        out += '\b';
        break;
      case 'f':
        out += '\f';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 't':
        out += '\t';
        break;
      case 'u': {
        const unsigned code = read_utf(text + i, n - i);
        if (code == 0) return false;  // also refuses \u0000
        esacpe_utf8(out, code);
        i += 4;
        break;
      }
      default:
        return false;
    }
  }
  return true;
}

namespace detail {

// Runs conv on a NUL-terminated copy of the token text: a length-limited buffer need not
// hold a terminator after the token, and the strto* functions must not read past it.
template <class Conv>
auto convert_text(const token& tok, Conv conv) {
  char small[128];
  const std::size_t n = tok.str_.len;
  if (n < sizeof small) {
    std::memcpy(small, tok.str_.str, n);
    small[n] = '\0';
    return conv(static_cast<const char*>(small));
  }
  const std::string big(tok.str_.str, n);
  return conv(big.c_str());
}

inline long long text_to_ll(const token& tok) {
  return convert_text(tok, [](const char* s) { return std::strtoll(s, nullptr, 10); });
}
inline unsigned long long text_to_ull(const token& tok) {
  return convert_text(tok, [](const char* s) { return std::strtoull(s, nullptr, 10); });
}
inline double text_to_double(const token& tok) {
  return static_cast<double>(convert_text(tok, [](const char* s) { return std::strtold(s, nullptr); }));
}

}  // namespace detail

// ---- value readers ---------------------------------------------------------------------------

// json_impl_in<T>::read(rd, value) reads one value starting at the current token and leaves the
// reader on the token after it.
template <class T, class Enable = void>
struct json_impl_in;

template <>
struct json_impl_in<int> {
  static void read(reader& rd, int& val) {
    const token& tok = rd.peek();
    switch (tok.type_) {
      case token::t_string:
        val = is_true(tok) ? 1 : detail::low_int(static_cast<std::uint64_t>(detail::text_to_ll(tok)));
        break;
      case token::t_int:
        val = detail::low_int(0 - tok.value_.i64);
        break;
      case token::t_uint:
        val = detail::low_int(tok.value_.i64);
        break;
      case token::t_number: {
        const int t = ql::TruncToInt(tok.value_.d64);
        val = tok.neg_ && t != std::numeric_limits<int>::min() ? -t : t;  // INT_MIN stays (no overflow)
        break;
      }
      default:
        rd.error("not a valid signed integral like number.");
    }
    rd.next();
  }
};

template <>
struct json_impl_in<long> {
  static void read(reader& rd, long& val) {
    const token& tok = rd.peek();
    switch (tok.type_) {
      case token::t_string:
        val = is_true(tok) ? 1 : static_cast<long>(detail::text_to_ll(tok));
        break;
      case token::t_int:
        val = detail::as_long(0 - tok.value_.i64);
        break;
      case token::t_uint:
        val = detail::as_long(tok.value_.i64);
        break;
      case token::t_number: {
        const long t = detail::trunc_to_long(tok.value_.d64);
        val = tok.neg_ && t != std::numeric_limits<long>::min() ? -t : t;
        break;
      }
      default:
        rd.error("not a valid signed integral like number.");
    }
    rd.next();
  }
};

template <>
struct json_impl_in<unsigned long> {
  static void read(reader& rd, unsigned long& val) {
    const token& tok = rd.peek();
    switch (tok.type_) {
      case token::t_string:
        val = is_true(tok) ? 1 : static_cast<unsigned long>(detail::text_to_ull(tok));
        break;
      case token::t_int:
        rd.error("assign a negative signed integral to unsigned integral number.");
      case token::t_uint:
        val = tok.value_.i64;
        break;
      case token::t_number:
        if (tok.neg_) rd.error("assign a negative float point to unsigned integral number.");
        val = detail::trunc_to_ulong(tok.value_.d64);
        break;
      default:
        rd.error("not a valid unsigned integral like number.");
    }
    rd.next();
  }
};

template <>
struct json_impl_in<double> {
  static void read(reader& rd, double& val) {
    const token& tok = rd.peek();
    switch (tok.type_) {
      case token::t_string:
        val = detail::text_to_double(tok);  // no is_true: the word true is 0.0
        break;
      case token::t_int:
        val = -static_cast<double>(detail::as_long(tok.value_.i64));
        break;
      case token::t_uint:
        val = static_cast<double>(tok.value_.i64);
        break;
      case token::t_number:
        val = tok.neg_ ? -tok.value_.d64 : tok.value_.d64;
        break;
      default:
        rd.error("not a valid float point number.");
    }
    rd.next();
  }
};

template <>
struct json_impl_in<float> {
  static void read(reader& rd, float& val) {
    const token& tok = rd.peek();
    switch (tok.type_) {
      case token::t_string:
        val = static_cast<float>(detail::text_to_double(tok));
        break;
      case token::t_int:
        val = -static_cast<float>(detail::as_long(tok.value_.i64));
        break;
      case token::t_uint:
        val = static_cast<float>(tok.value_.i64);
        break;
      case token::t_number: {
        const float f = static_cast<float>(tok.value_.d64);
        val = tok.neg_ ? -f : f;
        break;
      }
      default:
        rd.error("not a valid float point number.");
    }
    rd.next();
  }
};

template <>
struct json_impl_in<bool> {
  static void read(reader& rd, bool& val) {
    const token& tok = rd.peek();
    switch (tok.type_) {
      case token::t_string:
        val = is_true(tok);
        break;
      case token::t_int:
      case token::t_uint:
        val = tok.value_.i64 != 0;
        break;
      case token::t_number:
        val = tok.value_.d64 != 0.0;
        break;
      default:
        rd.error("not a valid bool.");
    }
    rd.next();
  }
};

template <>
struct json_impl_in<std::string> {
  static void read(reader& rd, std::string& val) {
    const token& tok = rd.peek();
    // Escapes only shorten the text: its length is all the string reserves, past the 15 bytes
    // it holds in place. Charged before the buffer is made.
    if (tok.type_ == token::t_string && tok.str_.len > 15 && tok.str_.len > val.capacity())
      rd.charge(ql::MemoryLimit::Block(tok.str_.len + 1));
    if (tok.type_ != token::t_string || !escape_string(val, tok.str_.str, tok.str_.len))
      rd.error("not a valid string.");
    rd.next();
  }
};

// ---- skipping values that no member takes -----------------------------------------------------

inline void skip(reader& rd);

inline void skip_array(reader& rd) {
  while (!rd.expect(']')) {
    const token& tok = rd.peek();
    // Nothing could be consumed here: refuse instead of looping.
    if (tok.type_ == token::t_end || (tok.type_ == token::t_ctrl && (rd.expect(':') || rd.expect('}'))))
      rd.error("invalid json document!");
    skip(rd);
    if (rd.expect(',')) rd.next();
  }
  rd.next();
}

inline void skip_key(reader& rd) {
  const int type = rd.peek().type_;
  if (type == token::t_ctrl || type == token::t_end) rd.error("invalid json document!");
  rd.next();
}

inline void skip_object(reader& rd) {
  for (;;) {
    if (rd.expect('}')) {
      rd.next();
      return;
    }
    skip_key(rd);
    if (!rd.expect(':')) rd.error("invalid json document!");
    rd.next();
    skip(rd);
    if (rd.expect(',')) rd.next();
  }
}

// Punctuation other than '[' and '{', and the end, are left in place.
inline void skip(reader& rd) {
  const token& tok = rd.peek();
  if (tok.type_ == token::t_ctrl) {
    if (rd.expect('[')) {
      reader::depth_guard guard(rd);
      rd.next();
      skip_array(rd);
    } else if (rd.expect('{')) {
      reader::depth_guard guard(rd);
      rd.next();
      skip_object(rd);
    }
  } else if (tok.type_ != token::t_end) {
    rd.next();
  }
}

// ---- field lists and records ----------------------------------------------------------------

namespace detail {

// TAB, LF, FF, CR and space.
inline bool is_ws(char c) {
  const auto code = static_cast<unsigned char>(c);
  return code >= 1 && code <= 32 && char_table[code] == 17;
}

inline const char* skip_ws(const char* p) {
  while (is_ws(*p)) ++p;
  return p;
}

inline void add_field(const char* begin, const char* end, std::vector<string_ref>& names) {
  if (end > begin) names.push_back(string_ref{begin, static_cast<std::size_t>(end - begin)});
}

// "dLon, dLat, dAlt" -> views of dLon, dLat, dAlt into the list itself.
inline std::vector<string_ref> split_fields(const char* list) {
  std::vector<string_ref> names;
  const char* begin = skip_ws(list);
  const char* p = begin;
  for (;;) {
    const char c = *p;
    if (c == '\0') {
      add_field(begin, p, names);
      return names;
    }
    if (c == ',') {
      add_field(begin, p, names);
      begin = p = skip_ws(p + 1);
    } else if (is_ws(c)) {
      add_field(begin, p, names);
      p = skip_ws(p);
      if (*p != '\0') ++p;  // the separating comma
      begin = p = skip_ws(p);
    } else {
      ++p;
    }
  }
}

}  // namespace detail

template <class V>
void emplace_back(V& vec) {
  vec.emplace_back();
}

// Hands the key to the first member whose name equals it; 1 when one took the value.
template <class T, class... R>
struct read_members_impl {
  static int read(reader& rd, const detail::string_ref* names, const detail::string_ref& key, std::size_t index,
                  T& val, R&... rest) {
    if (names[index] == key) {
      json_impl_in<T>::read(rd, val);
      return 1;
    }
    if constexpr (sizeof...(R) > 0) {
      return read_members_impl<R...>::read(rd, names, key, index + 1, rest...);
    } else {
      return 0;
    }
  }
};

template <class T, class... R>
int read_members(reader& rd, const detail::string_ref* names, const detail::string_ref& key, std::size_t index,
                 T& val, R&... rest) {
  return read_members_impl<T, R...>::read(rd, names, key, index, val, rest...);
}

template <class T>
struct json_impl_in<T, std::enable_if_t<ql::HasFields<T>::value>> {
  static const std::vector<detail::string_ref>& this_field_list() {
    static const std::vector<detail::string_ref> list = checked_split();
    return list;
  }

  // A view of the record through which the object grammar reaches its members.
  class json_helper_in {
   public:
    explicit json_helper_in(T& obj) : obj_(obj) {}

    void read_(reader& rd) {
      const std::vector<detail::string_ref>& names = this_field_list();
      if (!rd.expect('{')) rd.error("read object must start with {!");
      reader::depth_guard guard(rd);
      rd.next();
      if (rd.expect('}')) {
        rd.next();
        return;
      }
      for (;;) {
        if (rd.peek().type_ != token::t_string) rd.error("object key must be string");
        const detail::string_ref key = rd.peek().str_;  // a view into the document, stable after next()
        rd.next();
        if (!rd.expect(':')) rd.error("invalid json document!");
        rd.next();
        const int taken = ql::Fields<T>::Visit(
            obj_, [&](auto&... members) { return read_members(rd, names.data(), key, 0, members...); });
        if (taken == 0) skip(rd);
        if (rd.expect('}')) {
          rd.next();
          return;
        }
        if (!rd.expect(',')) rd.error("invalid json document!");
        rd.next();
      }
    }

   private:
    T& obj_;
  };

  static void read(reader& rd, T& val) {
    json_helper_in helper(val);
    helper.read_(rd);
  }

 private:
  static std::vector<detail::string_ref> checked_split() {
    std::vector<detail::string_ref> names = detail::split_fields(ql::Fields<T>::kList);
    // The dispatch indexes this list once per member; a mismatch would read out of bounds.
    if (names.size() != static_cast<std::size_t>(ql::Fields<T>::kCount))
      throw std::logic_error(std::string("field list does not name every member once: ") + ql::Fields<T>::kList);
    return names;
  }
};

template <class T, class A>
struct json_impl_in<std::vector<T, A>> {
  static void read(reader& rd, std::vector<T, A>& vec) {
    if (!rd.expect('[')) rd.error("array must start with [.");
    reader::depth_guard guard(rd);
    rd.next();
    for (;;) {
      if (rd.expect(']')) break;
      // Each new buffer in full, before it is made (a full vector doubles): while it grows, a
      // vector holds its old buffer and the new one.
      if (vec.size() == vec.capacity()) {
        rd.charge(ql::MemoryLimit::Block((vec.capacity() == 0 ? 1 : 2 * vec.capacity()) * sizeof(T)));
      }
      emplace_back(vec);
      if constexpr (std::is_same_v<T, bool>) {  // no reference into a vector<bool>
        bool b = false;
        json_impl_in<bool>::read(rd, b);
        vec.back() = b;
      } else {
        json_impl_in<T>::read(rd, vec.back());
      }
      if (rd.expect(',')) {
        rd.next();
        continue;
      }
      if (rd.expect(']')) break;
      rd.error("no valid array!");
    }
    rd.next();
  }
};

// Reads one document (an object) into val. The text ends at len or its first NUL, whichever
// comes first; after the object one more token is read and nothing beyond it.
template <class T>
void load_from_buff(T& val, const char* buf, std::size_t len) {
  reader rd(buf, len);
  json_impl_in<T>::read(rd, val);
}

// The same, drawing every vector and string buffer it allocates from memory; the document is
// refused with an exception where the limit runs out.
template <class T>
void load_from_buff(T& val, const char* buf, std::size_t len, ql::MemoryLimit& memory) {
  reader rd(buf, len);
  rd.set_memory_limit(&memory);
  json_impl_in<T>::read(rd, val);
}

}  // namespace ajson
