#pragma once  // FieldList.h: one field list per record, shared by the JSON and the binary reader

// A record declares its members once, in the order its files store them:
//
//   namespace ql { QL_FIELDS(Point, dLon, dLat, dAlt); }
//
// Fields<Point>::kList is then the text "dLon, dLat, dAlt" (the JSON keys) and
// Fields<Point>::Visit(p, fn) calls fn(p.dLon, p.dLat, p.dAlt) (the binary order).
// Both come from the same tokens, so the keys and the layout cannot drift apart.
// The macro must be used inside namespace ql, after the record is complete.

#include <type_traits>

namespace ql {

template <class T>
struct Fields;  // specialised by QL_FIELDS, one per record

template <class T, class = void>
struct HasFields : std::false_type {};
template <class T>
struct HasFields<T, std::void_t<decltype(Fields<T>::kList)>> : std::true_type {};

}  // namespace ql

#define QL_FIELDS_COUNT_(_0, _1, _2, _3, _4, _5, _6, _7, _8, _9, _10, _11, _12, _13, _14, _15, _16, _17, _18, \
                         _19, _20, _21, _22, _23, _24, _25, _26, _27, _28, _29, _30, _31, _32, _33, _34, _35, \
                         _36, _37, _38, _39, _40, _41, _42, _43, _44, _45, _46, _47, _48, N, ...)             \
  N
#define QL_FIELDS_COUNT(...)                                                                                      \
  QL_FIELDS_COUNT_(0, __VA_ARGS__, 48, 47, 46, 45, 44, 43, 42, 41, 40, 39, 38, 37, 36, 35, 34, 33, 32, 31, 30,    \
                   29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, \
                   4, 3, 2, 1)
#define QL_FIELDS_CAT_(a, b) a##b
#define QL_FIELDS_CAT(a, b) QL_FIELDS_CAT_(a, b)
#define QL_FIELDS_M1(r, m) r.m
#define QL_FIELDS_M2(r, m, ...) r.m, QL_FIELDS_M1(r, __VA_ARGS__)
#define QL_FIELDS_M3(r, m, ...) r.m, QL_FIELDS_M2(r, __VA_ARGS__)
#define QL_FIELDS_M4(r, m, ...) r.m, QL_FIELDS_M3(r, __VA_ARGS__)
#define QL_FIELDS_M5(r, m, ...) r.m, QL_FIELDS_M4(r, __VA_ARGS__)
#define QL_FIELDS_M6(r, m, ...) r.m, QL_FIELDS_M5(r, __VA_ARGS__)
#define QL_FIELDS_M7(r, m, ...) r.m, QL_FIELDS_M6(r, __VA_ARGS__)
#define QL_FIELDS_M8(r, m, ...) r.m, QL_FIELDS_M7(r, __VA_ARGS__)
#define QL_FIELDS_M9(r, m, ...) r.m, QL_FIELDS_M8(r, __VA_ARGS__)
#define QL_FIELDS_M10(r, m, ...) r.m, QL_FIELDS_M9(r, __VA_ARGS__)
#define QL_FIELDS_M11(r, m, ...) r.m, QL_FIELDS_M10(r, __VA_ARGS__)
#define QL_FIELDS_M12(r, m, ...) r.m, QL_FIELDS_M11(r, __VA_ARGS__)
#define QL_FIELDS_M13(r, m, ...) r.m, QL_FIELDS_M12(r, __VA_ARGS__)
#define QL_FIELDS_M14(r, m, ...) r.m, QL_FIELDS_M13(r, __VA_ARGS__)
#define QL_FIELDS_M15(r, m, ...) r.m, QL_FIELDS_M14(r, __VA_ARGS__)
#define QL_FIELDS_M16(r, m, ...) r.m, QL_FIELDS_M15(r, __VA_ARGS__)
#define QL_FIELDS_M17(r, m, ...) r.m, QL_FIELDS_M16(r, __VA_ARGS__)
#define QL_FIELDS_M18(r, m, ...) r.m, QL_FIELDS_M17(r, __VA_ARGS__)
#define QL_FIELDS_M19(r, m, ...) r.m, QL_FIELDS_M18(r, __VA_ARGS__)
#define QL_FIELDS_M20(r, m, ...) r.m, QL_FIELDS_M19(r, __VA_ARGS__)
#define QL_FIELDS_M21(r, m, ...) r.m, QL_FIELDS_M20(r, __VA_ARGS__)
#define QL_FIELDS_M22(r, m, ...) r.m, QL_FIELDS_M21(r, __VA_ARGS__)
#define QL_FIELDS_M23(r, m, ...) r.m, QL_FIELDS_M22(r, __VA_ARGS__)
#define QL_FIELDS_M24(r, m, ...) r.m, QL_FIELDS_M23(r, __VA_ARGS__)
#define QL_FIELDS_M25(r, m, ...) r.m, QL_FIELDS_M24(r, __VA_ARGS__)
#define QL_FIELDS_M26(r, m, ...) r.m, QL_FIELDS_M25(r, __VA_ARGS__)
#define QL_FIELDS_M27(r, m, ...) r.m, QL_FIELDS_M26(r, __VA_ARGS__)
#define QL_FIELDS_M28(r, m, ...) r.m, QL_FIELDS_M27(r, __VA_ARGS__)
#define QL_FIELDS_M29(r, m, ...) r.m, QL_FIELDS_M28(r, __VA_ARGS__)
#define QL_FIELDS_M30(r, m, ...) r.m, QL_FIELDS_M29(r, __VA_ARGS__)
#define QL_FIELDS_M31(r, m, ...) r.m, QL_FIELDS_M30(r, __VA_ARGS__)
#define QL_FIELDS_M32(r, m, ...) r.m, QL_FIELDS_M31(r, __VA_ARGS__)
#define QL_FIELDS_M33(r, m, ...) r.m, QL_FIELDS_M32(r, __VA_ARGS__)
#define QL_FIELDS_M34(r, m, ...) r.m, QL_FIELDS_M33(r, __VA_ARGS__)
#define QL_FIELDS_M35(r, m, ...) r.m, QL_FIELDS_M34(r, __VA_ARGS__)
#define QL_FIELDS_M36(r, m, ...) r.m, QL_FIELDS_M35(r, __VA_ARGS__)
#define QL_FIELDS_M37(r, m, ...) r.m, QL_FIELDS_M36(r, __VA_ARGS__)
#define QL_FIELDS_M38(r, m, ...) r.m, QL_FIELDS_M37(r, __VA_ARGS__)
#define QL_FIELDS_M39(r, m, ...) r.m, QL_FIELDS_M38(r, __VA_ARGS__)
#define QL_FIELDS_M40(r, m, ...) r.m, QL_FIELDS_M39(r, __VA_ARGS__)
#define QL_FIELDS_M41(r, m, ...) r.m, QL_FIELDS_M40(r, __VA_ARGS__)
#define QL_FIELDS_M42(r, m, ...) r.m, QL_FIELDS_M41(r, __VA_ARGS__)
#define QL_FIELDS_M43(r, m, ...) r.m, QL_FIELDS_M42(r, __VA_ARGS__)
#define QL_FIELDS_M44(r, m, ...) r.m, QL_FIELDS_M43(r, __VA_ARGS__)
#define QL_FIELDS_M45(r, m, ...) r.m, QL_FIELDS_M44(r, __VA_ARGS__)
#define QL_FIELDS_M46(r, m, ...) r.m, QL_FIELDS_M45(r, __VA_ARGS__)
#define QL_FIELDS_M47(r, m, ...) r.m, QL_FIELDS_M46(r, __VA_ARGS__)
#define QL_FIELDS_M48(r, m, ...) r.m, QL_FIELDS_M47(r, __VA_ARGS__)
#define QL_FIELDS_MEMBERS(r, ...) QL_FIELDS_CAT(QL_FIELDS_M, QL_FIELDS_COUNT(__VA_ARGS__))(r, __VA_ARGS__)

// Declares the field list of Type (at most 48 members).
#define QL_FIELDS(Type, ...)                                    \
  template <>                                                   \
  struct Fields<Type> {                                         \
    static constexpr const char* kList = #__VA_ARGS__;          \
    static constexpr int kCount = QL_FIELDS_COUNT(__VA_ARGS__); \
    template <class R, class Fn>                                \
    static decltype(auto) Visit(R& rec, Fn&& fn) {              \
      return fn(QL_FIELDS_MEMBERS(rec, __VA_ARGS__));           \
    }                                                           \
  }
