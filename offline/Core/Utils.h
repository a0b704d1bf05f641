#pragma once  // Utils.h: text splitting and trimming, lookups and unions over standard containers

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

namespace ql {

// Text to number. Only the int form exists; it behaves like atoi.
template <class T>
void from_string(const std::string& text, T& out) {
  static_assert(sizeof(T) == 0, "ql::from_string exists for int only");
  (void)text;
  (void)out;
}

// atoi of the text: leading white space skipped, an optional sign, the digits up to the
// first other character, 0 when there are none. atoi is strtol cast to int, so a digit
// string too long for a long saturates first and then keeps the low 32 bits of the long
// (LONG_MAX gives -1); that is computed here without the undefined overflow atoi risks.
template <>
inline void from_string<int>(const std::string& text, int& out) {
  const int savedErrno = errno;
  const long value = std::strtol(text.c_str(), nullptr, 10);
  errno = savedErrno;
  const auto low = static_cast<std::uint32_t>(static_cast<unsigned long>(value));
  out = low <= static_cast<std::uint32_t>(INT32_MAX)
            ? static_cast<int>(low)
            : static_cast<int>(static_cast<std::int64_t>(low) - (std::int64_t{1} << 32));
}

class Utils {
 public:
  // Pieces between separators (std::getline rules: no piece for an empty text or after a
  // trailing separator, an empty piece between two adjacent ones), each passed through Trim.
  static std::vector<std::string> Split(const std::string& text, char sep);

  // Appends from_string of every piece (same piece rule as Split, pieces not trimmed).
  // out is not cleared.
  template <class T>
  static void SplitToArray(const std::string& text, char sep, std::vector<T>& out) {
    for (const std::string& piece : Pieces(text, sep)) {
      T value{};
      from_string<T>(piece, value);
      out.push_back(value);
    }
  }

  // White space is isspace in the C locale; bytes above 127 never are.
  // When something other than white space remains, s is replaced by the trimmed text and
  // a copy returned; when s is empty or all white space, "" is returned and s kept as it was.
  static std::string LTrim(std::string& s);
  static std::string RTrim(std::string& s);
  // LTrim of RTrim's copy: s itself loses only its trailing white space; use the result.
  static std::string Trim(std::string& s);

  // True when both arguments are one object, or when the last size(suffix) bytes of s equal
  // suffix (case-sensitive); an empty suffix ends every string, a longer one none.
  static bool EndsWith(const std::string& s, const std::string& suffix);

  // On a hit copies the mapped value into out and returns true; on a miss leaves out alone.
  template <class Map>
  static bool MapValue(const Map& map, const typename Map::key_type& key, typename Map::mapped_type& out) {
    const auto it = map.find(key);
    if (it == map.end()) return false;
    out = it->second;
    return true;
  }

  // The mapped value, or a default-constructed one (an empty pointer) on a miss.
  template <class Map>
  static typename Map::mapped_type MapValue(const Map& map, const typename Map::key_type& key) {
    const auto it = map.find(key);
    return it == map.end() ? typename Map::mapped_type{} : it->second;
  }

  // a becomes the union of both sets; of two elements that compare equal, the one of the
  // larger set stays (a's when both are the same size). The nodes move, nothing is copied;
  // b keeps what was not taken. Every union of sets here follows this rule.
  template <class Set>
  static void UnionInto(Set& a, Set& b) {
    if (b.size() > a.size()) a.swap(b);
    a.merge(b);
  }

  // UnionInto over copies: of two elements that compare equal, the larger set's one is kept
  // (a's when both are the same size).
  template <class Set>
  static Set SetUnion(const Set& a, const Set& b) {
    Set result = a;
    Set other = b;
    UnionInto(result, other);
    return result;
  }

  // Sets: SetUnion. Vectors: a followed by every element of b, duplicates kept.
  template <class T, class Cmp, class Alloc>
  static std::set<T, Cmp, Alloc> ContainerUnion(const std::set<T, Cmp, Alloc>& a,
                                                const std::set<T, Cmp, Alloc>& b) {
    return SetUnion(a, b);
  }
  template <class T, class Alloc>
  static std::vector<T, Alloc> ContainerUnion(const std::vector<T, Alloc>& a, const std::vector<T, Alloc>& b) {
    std::vector<T, Alloc> result;
    result.reserve(a.size() + b.size());
    result.insert(result.end(), a.begin(), a.end());
    result.insert(result.end(), b.begin(), b.end());
    return result;
  }

  // Ordered lookup with the set's own comparison.
  template <class Set>
  static bool SetContains(const Set& set, const typename Set::key_type& value) {
    return set.find(value) != set.end();
  }

  // Linear scan comparing with ==, which may differ from the set's ordering.
  template <class Set, class V>
  static bool Contains(const Set& set, const V& value) {
    for (const auto& element : set) {
      if (element == value) return true;
    }
    return false;
  }

  template <class T, class Alloc, class V>
  static bool VectorContains(const std::vector<T, Alloc>& vector, const V& value) {
    for (const auto& element : vector) {
      if (element == value) return true;
    }
    return false;
  }

  // The keys, in the map's order.
  template <class Map>
  static std::vector<typename Map::key_type> Map2Vector(const Map& map) {
    std::vector<typename Map::key_type> keys;
    keys.reserve(map.size());
    for (const auto& entry : map) keys.push_back(entry.first);
    return keys;
  }

  // The elements, in the set's order.
  template <class Set>
  static std::vector<typename Set::value_type> Set2Vector(const Set& set) {
    return std::vector<typename Set::value_type>(set.begin(), set.end());
  }

 private:
  static std::vector<std::string> Pieces(const std::string& text, char sep);
};

}  // namespace ql
