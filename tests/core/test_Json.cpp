// Tokenizer, scalar readers, unescaping, skipping and error positions of the JSON reader.

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "CoordSys.h"
#include "ajson.hpp"

namespace jt {

struct Str {
  std::string s;
};
struct Num {
  double d = 7;
  std::vector<double> v;
};
struct Tree {
  std::vector<Tree> kids;
};

}  // namespace jt

namespace ql {
QL_FIELDS(jt::Str, s);
QL_FIELDS(jt::Num, d, v);
QL_FIELDS(jt::Tree, kids);
}  // namespace ql

namespace {

constexpr std::size_t kNoLimit = static_cast<std::size_t>(-1);

// The whole message of reading doc into a fresh T, or "" when it reads.
template <class T>
std::string DocError(const std::string& doc, std::size_t len = kNoLimit) {
  T target{};
  try {
    ajson::load_from_buff(target, doc.c_str(), len);
  } catch (const ajson::exception& e) {
    return e.what();
  }
  return "";
}

// Reads one value of type T from text with the scalar reader; throws on error. A blank is
// appended so that a bare word ends before the input does.
template <class T>
T ReadValue(const std::string& text) {
  const std::string padded = text + " ";
  ajson::reader rd(padded.c_str(), kNoLimit);
  T value{};
  ajson::json_impl_in<T>::read(rd, value);
  return value;
}

// The message part after "msg:", or "" when the value reads.
template <class T>
std::string ValueError(const std::string& text) {
  try {
    ReadValue<T>(text);
  } catch (const ajson::exception& e) {
    const std::string what = e.what();
    return what.substr(what.find("msg:") + 4);
  }
  return "";
}

std::uint64_t Bits(double d) {
  std::uint64_t u;
  std::memcpy(&u, &d, sizeof u);
  return u;
}

// ---- messages and positions -------------------------------------------------------------

struct DocCase {
  const char* name;
  std::string doc;
  std::string message;  // whole exception text; "" = reads without error
};

class PointDocument : public ::testing::TestWithParam<DocCase> {};

TEST_P(PointDocument, RaisesExactMessageAtPosition) {
  EXPECT_EQ(DocError<ql::Point>(GetParam().doc), GetParam().message);
}

const std::string kAt = "error at line :";

INSTANTIATE_TEST_SUITE_P(
    Json, PointDocument,
    ::testing::Values(
        DocCase{"Empty", "", kAt + "0 col :0 msg:read object must start with {!"},
        DocCase{"OnlyBlanks", " \n\t", kAt + "1 col :2 msg:read object must start with {!"},
        DocCase{"ArrayInsteadOfObject", "[1]", kAt + "0 col :1 msg:read object must start with {!"},
        // '[' is column 1 of line 2 (the LF is column 0); the reader stands after it.
        DocCase{"ValueErrorAfterToken", "{\n\"dLon\":\n[1]}",
                kAt + "2 col :2 msg:not a valid float point number."},
        DocCase{"CarriageReturnTakesNoColumn", "{\r\n\"dLon\":\r\n[1]}",
                kAt + "2 col :2 msg:not a valid float point number."},
        DocCase{"SecondDecimalPoint", "{\"dLon\":1.2.3}", kAt + "0 col :11 msg:not a valid number!"},
        DocCase{"PlusAfterExponentIsAWord", "{\"dLon\":1e+5}", kAt + "0 col :12 msg:invalid json document!"},
        DocCase{"NumberAsKey", "{1:2}", kAt + "0 col :2 msg:object key must be string"},
        DocCase{"CommaBeforeClosingBrace", "{\"dLon\":1,}", kAt + "0 col :11 msg:object key must be string"},
        DocCase{"MissingColon", "{\"dLon\" 1}", kAt + "0 col :9 msg:invalid json document!"},
        DocCase{"MissingComma", "{\"dLon\":1 \"dLat\":2}", kAt + "0 col :16 msg:invalid json document!"},
        DocCase{"NotAComment", "/x", kAt + "0 col :1 msg:not a comment!"},
        DocCase{"SlashAtEnd", "{}/", kAt + "0 col :3 msg:not a comment!"},
        DocCase{"UnterminatedQuoteAfterObject", "{} \"abc", kAt + "0 col :7 msg:not a valid quote string!"},
        DocCase{"BareWordRunsToEnd", "{} end", kAt + "0 col :6 msg:not a valid string!"},
        DocCase{"UnclosedObject", "{\"dLon\":1", kAt + "0 col :9 msg:invalid json document!"},
        DocCase{"UnclosedBlockCommentEndsInput", "{\"dLon\":1 /* x", kAt + "0 col :14 msg:invalid json document!"},
        DocCase{"NumberAfterObjectIgnored", "{} 12", ""}, DocCase{"PunctuationAfterObjectIgnored", "{}]", ""},
        DocCase{"QuotedStringAfterObjectIgnored", "{} \"x\" trailing", ""},
        DocCase{"BareWordAfterObjectEndsAtBlank", "{} end ", ""},
        DocCase{"BlockCommentBetweenKeyAndColon", "{\"dLon\" /* c */ : 1}", ""},
        DocCase{"LineCommentToEnd", "{\"dLon\":1} // done", ""},
        DocCase{"CommentsEverywhere", "/*a*/{//b\n\"dLon\"/**/:/***/2/*/ */}", ""},
        DocCase{"BareWordKeysAndValues", "{dLon:1, dLat:true}", ""},
        // A quoted "}" counts as the closing brace: the object is taken as empty.
        DocCase{"QuotedBraceAsFirstKey", "{\"}\":5}", ""},
        DocCase{"UnknownKeyWithoutValue", "{\"x\":, \"dLat\":1, \"y\":}", ""},
        DocCase{"LooseSkippedValues", "{\"x\":{a:1 b:2,}, \"y\":[1 2 3,], \"z\":{1:2}, \"dLon\":4}", ""},
        DocCase{"SkippedKeyOnPunctuation", "{\"x\":{:1}}", kAt + "0 col :7 msg:invalid json document!"},
        DocCase{"SkippedObjectWithoutColon", "{\"x\":{a 1}}", kAt + "0 col :9 msg:invalid json document!"},
        DocCase{"SkippedArrayMeetsEnd", "{\"x\":[1,2", kAt + "0 col :9 msg:invalid json document!"},
        DocCase{"SkippedArrayMeetsColon", "{\"x\":[1:2]}", kAt + "0 col :8 msg:invalid json document!"},
        DocCase{"SkippedArrayMeetsBrace", "{\"x\":[}]}", kAt + "0 col :7 msg:invalid json document!"},
        DocCase{"SkippedObjectMeetsEnd", "{\"x\":{a:1", kAt + "0 col :9 msg:invalid json document!"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Json, QuotedStringBrokenByLineFeedReportsTheNextLine) {
  EXPECT_EQ(DocError<jt::Str>("{\"s\":\"ab\ncd\"}"), kAt + "1 col :0 msg:not a valid quote string!");
}

TEST(Json, NulByteEndsTheDocument) {
  const std::string afterValue("{\"dLon\":1\0,\"dLat\":2}", 20);
  const std::string afterComma("{\"dLon\":1,\0\"dLat\":2}", 20);
  EXPECT_EQ(DocError<ql::Point>(afterValue), kAt + "0 col :9 msg:invalid json document!");
  EXPECT_EQ(DocError<ql::Point>(afterComma), kAt + "0 col :10 msg:object key must be string");
}

TEST(Json, LengthLimitEndsTheDocumentWithoutReadingPastIt) {
  // The byte at the limit is not part of the text: "{}" of "{}x" reads, and a cut object fails.
  EXPECT_EQ(DocError<ql::Point>("{}x", 2), "");
  EXPECT_EQ(DocError<ql::Point>("{\"dLon\":12}", 10), kAt + "0 col :10 msg:invalid json document!");
  // A heap copy without any terminator: ASan catches any read at or after the limit.
  for (const std::string doc :
       {"{\"dLon\":12", "{\"dLon\":\"ab", "{\"dLon\":ab", "{\"dLon\":1 /* c", "{\"d\":[1,"}) {
    SCOPED_TRACE(doc);
    std::vector<char> bytes(doc.begin(), doc.end());
    ql::Point p;
    EXPECT_THROW(ajson::load_from_buff(p, bytes.data(), bytes.size()), ajson::exception);
  }
  ql::Point p;
  const std::vector<char> word = {'{', 'd', 'L', 'o', 'n', ':', '"', '5', '"', '}'};
  ajson::load_from_buff(p, word.data(), word.size());
  EXPECT_EQ(p.dLon, 5.0);
}

TEST(Json, NestingIsBoundedWhenReadAndWhenSkipped) {
  std::string readDeep, objects;
  for (int i = 0; i < 100000; ++i) readDeep += "{\"kids\":[";
  for (int i = 0; i < 100000; ++i) objects += "{\"a\":";
  for (const std::string& doc : {readDeep, "{\"unknown\":" + std::string(100000, '['), "{\"x\":" + objects}) {
    const std::string message = DocError<jt::Tree>(doc);
    EXPECT_NE(message.find("msg:json nesting deeper than 512 levels!"), std::string::npos) << message;
  }
  // Moderate depth still reads, and the guard is released on the way out.
  std::string ok;
  for (int i = 0; i < 200; ++i) ok += "{\"kids\":[";
  for (int i = 0; i < 200; ++i) ok += "]}";
  ok.insert(ok.size() - 1, ", \"x\":" + std::string(300, '[') + std::string(300, ']'));
  EXPECT_EQ(DocError<jt::Tree>(ok), "");
}

TEST(Json, ExceptionFromCompleteText) {
  const ajson::exception e(std::string("error at line :1 col :2 msg:x in tile file a/b"));
  EXPECT_STREQ(e.what(), "error at line :1 col :2 msg:x in tile file a/b");
  const ajson::exception big(SIZE_MAX, 0, "m");
  EXPECT_STREQ(big.what(), "error at line :18446744073709551615 col :0 msg:m");
}

// ---- tokens --------------------------------------------------------------------------------

TEST(Json, TokenKindsAndTexts) {
  const std::string text = "\"a\\\"b\" word -12 7 -1.5e2 : /* c */ ,";
  ajson::reader rd(text.c_str(), kNoLimit);
  struct Expect {
    int type;
    std::string str;
    bool neg;
  };
  const Expect expected[] = {{ajson::token::t_string, "a\\\"b", false},
                             {ajson::token::t_string, "word", false},
                             {ajson::token::t_int, "-12", true},
                             {ajson::token::t_uint, "7", false},
                             {ajson::token::t_number, "-1.5e2", true},
                             {ajson::token::t_ctrl, ":", false},
                             {ajson::token::t_ctrl, ",", false},
                             {ajson::token::t_end, std::string(1, '\0'), false},
                             {ajson::token::t_end, std::string(1, '\0'), false}};
  for (const Expect& e : expected) {
    SCOPED_TRACE(e.str);
    const ajson::token& tok = rd.peek();
    EXPECT_EQ(tok.type_, e.type);
    EXPECT_EQ(std::string(tok.str_.str, tok.str_.len), e.str);
    EXPECT_EQ(tok.neg_, e.neg);
    rd.next();
  }
}

TEST(Json, LineCommentToEndGivesEndToken) {
  ajson::reader rd("// only a comment", kNoLimit);
  EXPECT_EQ(rd.peek().type_, ajson::token::t_end);
}

// ---- numbers -------------------------------------------------------------------------------

struct DoubleCase {
  const char* text;
  double expected;  // compared bit for bit
};

TEST(Json, NumbersAreBuiltDigitByDigit) {
  const double inf = std::numeric_limits<double>::infinity();
  const DoubleCase cases[] = {
      {"0.3", 0x1.3333333333334p-2},   // 3 x 0.1, one ulp above the nearest double
      {"1e-2", 0x1.47ae147ae147cp-7},  // 1 x 0.1 x 0.1
      {"0.7", 0x1.6666666666667p-1},
      {"-0.000001", -0x1.0c6f7a0b5ed8fp-20},
      {"123.456e2", 0x1.81cccccccccccp+13},
      {"2.5e-3", 0x1.47ae147ae147cp-9},
      {"116.3914", 116.3914},
      {"39.90734", 39.90734},
      {"1.5", 1.5},
      {"1e3", 1000.0},
      {"1E3", 1000.0},
      {"-.5", -0.5},
      {"1.", 1.0},
      {"01", 1.0},
      {"1.5e", 1.5},  // no exponent digits: the number ends after the letter
      {"2e-", 2.0},
      {"18446744073709551617", 1.0},  // wraps modulo 2^64
      {"9007199254740993", 9007199254740992.0},
      {"1e400", inf},
      {"1e99999999999999999999", inf},  // exponent saturates instead of overflowing
      {"-1e99999999999", -inf},
      {"1e-400", 0.0},
      {"5e-99999999999999999999", 0.0},
      {"0e999999999", 0.0},
      {"0.000000000000000000000000000000000000000000000000000000000000001", 0x1.a53fc9631d127p-210},
  };
  for (const DoubleCase& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Bits(ReadValue<double>(c.text)), Bits(c.expected)) << ReadValue<double>(c.text);
  }
}

TEST(Json, LoneMinusIsZero) {
  EXPECT_EQ(ReadValue<int>("-"), 0);
  EXPECT_EQ(ReadValue<long>("-"), 0);
  EXPECT_TRUE(std::signbit(ReadValue<double>("-")));
  EXPECT_EQ(ReadValue<double>("-"), 0.0);
  EXPECT_TRUE(std::signbit(ReadValue<float>("-")));
  EXPECT_EQ(ValueError<unsigned long>("-"), "assign a negative signed integral to unsigned integral number.");
}

// ---- scalar conversions --------------------------------------------------------------------

struct IntCase {
  const char* text;
  long expected;        // for int and long alike unless noted
  std::string message;  // "" = reads
};

TEST(Json, IntReader) {
  const IntCase cases[] = {
      {"true", 1, ""},
      {"TRUE", 1, ""},
      {"\"tRuE\"", 1, ""},
      {"false", 0, ""},
      {"null", 0, ""},
      {"\"12\"", 12, ""},
      {"\" -12xyz\"", -12, ""},
      {"+5", 5, ""},
      {"8.9", 8, ""},
      {"-8.9", -8, ""},
      {"-0.5", 0, ""},
      {"-2147483648", INT_MIN, ""},
      {"2147483648", INT_MIN, ""},  // low 32 bits
      {"4294967297", 1, ""},
      {"18446744073709551617", 1, ""},
      {"\"99999999999999999999\"", -1, ""},  // strtoll saturates, then the low 32 bits
      {"1e10", INT_MIN, ""},                 // out of range: INT_MIN, never undefined
      {"-1e10", INT_MIN, ""},
      {"1e400", INT_MIN, ""},
      {"[", 0, "not a valid signed integral like number."},
      {"}", 0, "not a valid signed integral like number."},
      {"", 0, "not a valid signed integral like number."},
  };
  for (const IntCase& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ValueError<int>(c.text), c.message);
    if (c.message.empty()) {
      EXPECT_EQ(ReadValue<int>(c.text), c.expected);
    }
  }
}

TEST(Json, LongReader) {
  const IntCase cases[] = {
      {"true", 1, ""},
      {"-8.9", -8, ""},
      {"4294967297", 4294967297L, ""},
      {"18446744073709551617", 1, ""},
      {"-9223372036854775808", LONG_MIN, ""},
      {"9223372036854775808", LONG_MIN, ""},  // wraps
      {"\"99999999999999999999\"", LONG_MAX, ""},
      {"1e19", LONG_MIN, ""},
      {"-1e19", LONG_MIN, ""},
      {"{", 0, "not a valid signed integral like number."},
  };
  for (const IntCase& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ValueError<long>(c.text), c.message);
    if (c.message.empty()) {
      EXPECT_EQ(ReadValue<long>(c.text), c.expected);
    }
  }
}

TEST(Json, UnsignedLongReader) {
  struct Case {
    const char* text;
    unsigned long expected;
    std::string message;
  };
  const Case cases[] = {
      {"true", 1, ""},
      {"\"12\"", 12, ""},
      {"\"-1\"", ULONG_MAX, ""},  // strtoull
      {"18446744073709551615", ULONG_MAX, ""},
      {"18446744073709551617", 1, ""},
      {"12.9", 12, ""},
      {"1e19", 10000000000000000000UL, ""},
      {"1e20", 0, ""},  // beyond the type: 0, never undefined
      {"-5", 0, "assign a negative signed integral to unsigned integral number."},
      {"-0.5", 0, "assign a negative float point to unsigned integral number."},
      {"[", 0, "not a valid unsigned integral like number."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ValueError<unsigned long>(c.text), c.message);
    if (c.message.empty()) {
      EXPECT_EQ(ReadValue<unsigned long>(c.text), c.expected);
    }
  }
}

TEST(Json, DoubleAndFloatReaders) {
  const DoubleCase cases[] = {
      {"\"1.5\"", 1.5},      {"true", 0.0}, {"+5", 5.0},      {".5", 0.5}, {"-7", -7.0},
      {"\"  2.25 \"", 2.25}, {"abc", 0.0},  {"\"0.3\"", 0.3},  // strtold rounds correctly, unlike tokens
  };
  for (const DoubleCase& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Bits(ReadValue<double>(c.text)), Bits(c.expected));
  }
  EXPECT_EQ(ReadValue<float>("0.3"), static_cast<float>(0x1.3333333333334p-2));
  EXPECT_EQ(ReadValue<float>("-3"), -3.0f);
  EXPECT_EQ(ReadValue<float>("\"2.5\""), 2.5f);
  EXPECT_EQ(ReadValue<float>("16777217"), 16777216.0f);
  for (const char* bad : {"[", "{", ":", ""}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(ValueError<double>(bad), "not a valid float point number.");
    EXPECT_EQ(ValueError<float>(bad), "not a valid float point number.");
  }
}

TEST(Json, BoolReader) {
  struct Case {
    const char* text;
    bool expected;
  };
  const Case cases[] = {{"\"True\"", true}, {"true", true}, {"yes", false}, {"\"truex\"", false}, {"-1", true},
                        {"0", false},       {"0.0", false}, {"0.1", true},  {"-", false},         {"2", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ReadValue<bool>(c.text), c.expected);
  }
  EXPECT_EQ(ValueError<bool>("{"), "not a valid bool.");
}

// ---- strings and escapes -------------------------------------------------------------------

TEST(Json, StringEscapes) {
  struct Case {
    const char* text;
    std::string expected;
  };
  const Case cases[] = {
      {"null", "null"},
      {"\"\"", ""},
      {"\"a\\\"b\\\\c\\/d\"", "a\"b\\c/d"},
      {"\"\\b\\f\\n\\r\\t\"", "\b\f\n\r\t"},
      {"\"\\u0041\\u00e9\\u00E9\"", "A\xC3\xA9\xC3\xA9"},
      {"\"\\u07FF\\u0800\\uFFFF\"", "\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"},
      {"\"\\uD83D\\uDE00\"", "\xED\xA0\xBD\xED\xB8\x80"},  // halves are not combined
      {"\"\xC3\xA9\t\r\"", "\xC3\xA9\t\r"},                // raw bytes kept as they are
      {"\"x\\u00411\"", "xA1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ReadValue<std::string>(c.text), c.expected);
  }
  for (const char* bad : {"\"\\u0000\"", "\"\\q\"", "\"\\u12\"", "\"\\u004G\"", "12", "-1.5", "[", "{"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(ValueError<std::string>(bad), "not a valid string.");
  }
}

TEST(Json, FailedUnescapeKeepsTextUpToTheBadEscape) {
  std::string out = "old";
  EXPECT_FALSE(ajson::escape_string(out, "ab\\qcd", 6));
  EXPECT_EQ(out, "ab");
  EXPECT_FALSE(ajson::escape_string(out, "ab\\", 3));  // a lone backslash at the end
  EXPECT_TRUE(ajson::escape_string(out, "x\\ty", 4));
  EXPECT_EQ(out, "x\ty");
}

TEST(Json, HexDigitsAndTrueTest) {
  EXPECT_EQ(ajson::char_to_hex('7'), 7);
  EXPECT_EQ(ajson::char_to_hex('f'), 15);
  EXPECT_EQ(ajson::char_to_hex('F'), 15);
  EXPECT_EQ(ajson::char_to_hex('g'), 16);
  EXPECT_EQ(ajson::char_to_hex('\xE9'), 16);
  EXPECT_EQ(ajson::read_utf("00e9", 4), 0xE9u);
  EXPECT_EQ(ajson::read_utf("00e9", 3), 0u);
}

// ---- document values -----------------------------------------------------------------------

TEST(Json, DocumentNumbersKeepTheirBits) {
  jt::Num n;
  const std::string doc = "{\"v\":[0.3, -0.000001, 1e-2, 7], \"d\":-.5}";
  ajson::load_from_buff(n, doc.c_str(), kNoLimit);
  ASSERT_EQ(n.v.size(), 4u);
  EXPECT_EQ(Bits(n.v[0]), Bits(0x1.3333333333334p-2));
  EXPECT_EQ(Bits(n.v[1]), Bits(-0x1.0c6f7a0b5ed8fp-20));
  EXPECT_EQ(Bits(n.v[2]), Bits(0x1.47ae147ae147cp-7));
  EXPECT_EQ(n.v[3], 7.0);
  EXPECT_EQ(n.d, -0.5);
}

}  // namespace
