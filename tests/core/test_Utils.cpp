// Text splitting and trimming, atoi-like numbers, container helpers and the singleton holder.

#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "Singleton.h"
#include "Utils.h"

namespace {

using ql::Utils;

TEST(Utils, TrimFamily) {
  struct Case {
    const char* in;
    std::string ltrim, rtrim, trim;
    std::string afterTrim;  // what Trim leaves in its argument
  };
  const Case cases[] = {
      {"  a b \t", "a b \t", "  a b", "a b", "  a b"},
      {"\r\n\v\fx", "x", "\r\n\v\fx", "x", "\r\n\v\fx"},
      {"x", "x", "x", "x", "x"},
      {"", "", "", "", ""},
      {" \t\n ", "", "", "", " \t\n "},                                   // all blanks: "" returned, argument kept
      {"\xA0x\xA0", "\xA0x\xA0", "\xA0x\xA0", "\xA0x\xA0", "\xA0x\xA0"},  // bytes above 127 are no blanks
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    std::string l = c.in, r = c.in, t = c.in;
    EXPECT_EQ(Utils::LTrim(l), c.ltrim);
    EXPECT_EQ(l, c.ltrim.empty() ? std::string(c.in) : c.ltrim);
    EXPECT_EQ(Utils::RTrim(r), c.rtrim);
    EXPECT_EQ(r, c.rtrim.empty() ? std::string(c.in) : c.rtrim);
    EXPECT_EQ(Utils::Trim(t), c.trim);
    EXPECT_EQ(t, c.afterTrim);
  }
}

TEST(Utils, Split) {
  struct Case {
    const char* text;
    std::vector<std::string> pieces;
  };
  const Case cases[] = {
      {"116.39 , 39.9", {"116.39", "39.9"}},
      {"", {}},
      {"a,", {"a"}},      // no empty piece after a trailing separator
      {",a", {"", "a"}},  // but one before a leading one
      {"a,,b", {"a", "", "b"}},
      {" , ", {"", ""}},
      {"one", {"one"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Utils::Split(c.text, ','), c.pieces);
  }
}

TEST(Utils, SplitToArrayAppendsAtoiOfEachPiece) {
  std::vector<int> out = {7};
  Utils::SplitToArray<int>("12,34", ',', out);
  EXPECT_EQ(out, (std::vector<int>{7, 12, 34}));
  out.clear();
  Utils::SplitToArray<int>(" 5,x9,-3z,,+8,", ',', out);
  EXPECT_EQ(out, (std::vector<int>{5, 0, -3, 0, 8}));
}

TEST(Utils, FromStringFollowsAtoi) {
  struct Case {
    const char* text;
    int value;
  };
  const Case cases[] = {
      {"42", 42},
      {"  \t-17abc", -17},
      {"abc", 0},
      {"", 0},
      {"2147483647", INT_MAX},
      {"-2147483648", INT_MIN},
      {"4294967297", 1},             // low 32 bits of the long
      {"99999999999999999999", -1},  // strtol saturates at LONG_MAX, low 32 bits all ones
      {"-99999999999999999999", 0},  // LONG_MIN: low 32 bits zero
      {"0x1A", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    int v = 12345;
    ql::from_string<int>(c.text, v);
    EXPECT_EQ(v, c.value);
  }
}

TEST(Utils, EndsWith) {
  const std::string s = "a/b.json";
  EXPECT_TRUE(Utils::EndsWith(s, ".json"));
  EXPECT_TRUE(Utils::EndsWith(s, ""));
  EXPECT_TRUE(Utils::EndsWith(s, s));
  EXPECT_TRUE(Utils::EndsWith(std::string(), std::string()));
  EXPECT_FALSE(Utils::EndsWith(s, ".JSON"));
  EXPECT_FALSE(Utils::EndsWith(s, "xa/b.json"));
  EXPECT_FALSE(Utils::EndsWith(s, ".jso"));
}

// Ordered and compared by key; tag tells which of two equal elements survived.
struct Keyed {
  int key;
  char tag;
};
bool operator<(const Keyed& a, const Keyed& b) { return a.key < b.key; }

TEST(Utils, SetUnionKeepsTheCopiedSetsElement) {
  const std::set<Keyed> small = {{1, 's'}, {2, 's'}};
  const std::set<Keyed> large = {{2, 'l'}, {3, 'l'}, {4, 'l'}};
  for (const auto& u : {Utils::SetUnion(small, large), Utils::SetUnion(large, small)}) {
    ASSERT_EQ(u.size(), 4u);
    EXPECT_EQ(u.find(Keyed{2, '?'})->tag, 'l');
  }
  const std::set<Keyed> otherSame = {{1, 'o'}, {9, 'o'}};
  EXPECT_EQ(Utils::SetUnion(small, otherSame).find(Keyed{1, '?'})->tag, 's');  // a on a tie
  EXPECT_EQ(Utils::SetUnion(otherSame, small).find(Keyed{1, '?'})->tag, 'o');
  EXPECT_EQ(Utils::SetUnion(std::set<int>{}, std::set<int>{1, 2, 3}), (std::set<int>{1, 2, 3}));
  EXPECT_EQ(Utils::ContainerUnion(std::set<int>{1}, std::set<int>{1, 2}), (std::set<int>{1, 2}));
}

// The in-place union the store and the quadtree fold their results with: the same rule as SetUnion.
TEST(Utils, UnionIntoKeepsTheLargerSetsElement) {
  const std::set<Keyed> small = {{1, 's'}, {2, 's'}};
  const std::set<Keyed> large = {{2, 'l'}, {3, 'l'}, {4, 'l'}};
  const std::set<Keyed> otherSame = {{1, 'o'}, {9, 'o'}};
  struct Case {
    const char* name;
    std::set<Keyed> a, b;
    int key;      // present in both
    char kept;    // whose element stays
    size_t size;  // of the union
  };
  const Case cases[] = {{"SmallerLeft", small, large, 2, 'l', 4},
                        {"LargerLeft", large, small, 2, 'l', 4},
                        {"TieKeepsTheLeft", small, otherSame, 1, 's', 3},
                        {"TieTheOtherWay", otherSame, small, 1, 'o', 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::set<Keyed> a = c.a;
    std::set<Keyed> b = c.b;
    Utils::UnionInto(a, b);
    ASSERT_EQ(a.size(), c.size);
    EXPECT_EQ(a.find(Keyed{c.key, '?'})->tag, c.kept);
    ASSERT_EQ(b.size(), 1u);  // the element that was not taken
    EXPECT_NE(b.begin()->tag, c.kept);
  }
  std::set<int> empty;
  std::set<int> three = {1, 2, 3};
  Utils::UnionInto(empty, three);
  EXPECT_EQ(empty, (std::set<int>{1, 2, 3}));
  EXPECT_TRUE(three.empty());
}

TEST(Utils, ContainerUnionOfVectorsKeepsDuplicates) {
  using Entry = std::tuple<int, double>;
  const std::vector<Entry> a = {{1, 1.0}, {2, 2.0}};
  const std::vector<Entry> b = {{2, 2.0}, {3, 3.0}};
  EXPECT_EQ(Utils::ContainerUnion(a, b), (std::vector<Entry>{{1, 1.0}, {2, 2.0}, {2, 2.0}, {3, 3.0}}));
}

TEST(Utils, MapValue) {
  std::map<std::string, double> m = {{"a", 1.5}};
  double out = -1;
  EXPECT_FALSE(Utils::MapValue(m, "b", out));
  EXPECT_EQ(out, -1);
  EXPECT_TRUE(Utils::MapValue(m, "a", out));
  EXPECT_EQ(out, 1.5);

  std::map<int, std::shared_ptr<int>> tiles = {{3, std::make_shared<int>(30)}};
  EXPECT_EQ(Utils::MapValue(tiles, 4), nullptr);
  ASSERT_NE(Utils::MapValue(tiles, 3), nullptr);
  EXPECT_EQ(*Utils::MapValue(tiles, 3), 30);
  std::shared_ptr<int> kept = std::make_shared<int>(1);
  EXPECT_FALSE(Utils::MapValue(tiles, 4, kept));
  EXPECT_EQ(*kept, 1);
}

// Equal by key but ordered by tag: Contains must use ==, SetContains the ordering.
struct Odd {
  int key;
  int order;
};
bool operator<(const Odd& a, const Odd& b) { return a.order < b.order; }
bool operator==(const Odd& a, const Odd& b) { return a.key == b.key; }

TEST(Utils, ContainsUsesEqualitySetContainsUsesOrder) {
  const std::set<Odd> s = {{1, 10}, {2, 20}};
  EXPECT_TRUE(Utils::Contains(s, Odd{2, 99}));
  EXPECT_FALSE(Utils::SetContains(s, Odd{2, 99}));
  EXPECT_TRUE(Utils::SetContains(s, Odd{7, 20}));
  EXPECT_FALSE(Utils::Contains(s, Odd{7, 20}));
  EXPECT_TRUE(Utils::VectorContains(std::vector<int>{4, 5}, 5));
  EXPECT_FALSE(Utils::VectorContains(std::vector<int>{}, 5));
}

TEST(Utils, KeysAndElementsInContainerOrder) {
  const std::map<int, std::shared_ptr<int>> m = {{5, nullptr}, {-2, nullptr}, {9, nullptr}};
  EXPECT_EQ(Utils::Map2Vector(m), (std::vector<int>{-2, 5, 9}));
  int a = 0, b = 0;
  const std::set<const int*> ptrs = {&b, &a};
  const std::vector<const int*> v = Utils::Set2Vector(ptrs);
  EXPECT_EQ(v, (std::vector<const int*>(ptrs.begin(), ptrs.end())));
}

struct Counted {
  static int created;
  static Counted* Create() {
    ++created;
    return new Counted;
  }
};
int Counted::created = 0;

TEST(Utils, SingletonCreatesOnceAndArrowDoesNotCreate) {
  using Holder = ql::Singleton<Counted, Counted>;
  EXPECT_EQ(Holder().operator->(), nullptr);
  Counted* first = Holder::GetSingleton();
  Counted* second = Holder::GetSingleton();
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(first, second);
  EXPECT_EQ(Counted::created, 1);
  EXPECT_EQ(Holder().operator->(), first);
}

}  // namespace
