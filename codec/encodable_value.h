// The value of every channel message: a tagged union of fourteen alternatives in a fixed
// order, with the total ordering that keeps EncodableMap keys sorted.
#ifndef CODEC_ENCODABLE_VALUE_H_
#define CODEC_ENCODABLE_VALUE_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "codec/bad_variant_access.h"
#include "codec/custom_encodable_value.h"

namespace flutter {

class EncodableValue;

// Insertion order.
using EncodableList = std::vector<EncodableValue>;
// Ascending key order under EncodableValue's operator<; emplace/insert keep the first
// entry when a key is already present.
using EncodableMap = std::map<EncodableValue, EncodableValue>;

namespace internal {

// The positions are the wire's and the ordering's: never reorder. The float list is
// position 13, after the custom alternative, not next to the double list.
using EncodableValueVariant = std::variant<std::monostate,        // 0 null
                                           bool,                  // 1
                                           int32_t,               // 2
                                           int64_t,               // 3
                                           double,                // 4
                                           std::string,           // 5
                                           std::vector<uint8_t>,  // 6 byte list
                                           std::vector<int32_t>,  // 7
                                           std::vector<int64_t>,  // 8
                                           std::vector<double>,   // 9
                                           EncodableList,         // 10
                                           EncodableMap,          // 11
                                           CustomEncodableValue,  // 12
                                           std::vector<float>>;   // 13

}  // namespace internal

// Construction follows the type given, never the magnitude: int32_t makes position 2 and
// int64_t position 3. index() is the position; std::get_if<T>(&value) is conditional
// access and never raises.
//
// Checked access: Get<T>() raises BadVariantAccess ("bad variant access") and leaves the
// value unchanged when it holds another alternative. Prefer it to std::get, whose
// exception text differs between standard libraries.
class EncodableValue : public internal::EncodableValueVariant {
 public:
  using Variant = internal::EncodableValueVariant;
  using Variant::Variant;
  using Variant::operator=;

  EncodableValue() = default;
  // A literal is a string, never a boolean.
  EncodableValue(const char* string) : Variant(std::string(string)) {}
  EncodableValue& operator=(const char* string) {
    Variant::operator=(std::string(string));
    return *this;
  }

  bool IsNull() const { return index() == 0; }

  template <typename T>
  T& Get() {
    if (T* content = std::get_if<T>(static_cast<Variant*>(this))) {
      return *content;
    }
    throw BadVariantAccess();
  }

  template <typename T>
  const T& Get() const {
    if (const T* content = std::get_if<T>(static_cast<const Variant*>(this))) {
      return *content;
    }
    throw BadVariantAccess();
  }

  friend bool operator<(const EncodableValue& a, const EncodableValue& b);

  // Same alternative and same content; custom values are equal only to themselves.
  friend bool operator==(const EncodableValue& a, const EncodableValue& b) {
    return static_cast<const Variant&>(a) == static_cast<const Variant&>(b);
  }
  friend bool operator!=(const EncodableValue& a, const EncodableValue& b) { return !(a == b); }
};

namespace internal {

// Element by element with < both ways: NaN elements compare as neither, so they are
// skipped; a proper prefix is less. For integers, strings and bytes this is plain
// lexicographic order (std::string compares bytes as unsigned char).
template <typename Sequence>
bool SequenceLess(const Sequence& a, const Sequence& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end());
}

template <typename T>
const T& As(const EncodableValue& value) {
  return *std::get_if<T>(static_cast<const EncodableValue::Variant*>(&value));
}

// Three-way: -1 when a is less, 1 when b is less, 0 when neither. Lists and maps compare
// each element once this way: < both ways at every level would take time exponential in
// the nesting, and a message's map keys can nest 256 deep.
inline int Order(const EncodableValue& a, const EncodableValue& b);

inline int Order(const EncodableMap::value_type& a, const EncodableMap::value_type& b) {
  const int order = Order(a.first, b.first);
  return order != 0 ? order : Order(a.second, b.second);
}

template <typename Sequence>
int NestedOrder(const Sequence& a, const Sequence& b) {
  auto i = a.begin();
  auto j = b.begin();
  for (; i != a.end() && j != b.end(); ++i, ++j) {
    const int order = Order(*i, *j);
    if (order != 0) {
      return order;
    }
  }
  return i != a.end() ? 1 : (j != b.end() ? -1 : 0);
}

}  // namespace internal

// The ordering of values (and of EncodableMap keys):
//  1. the smaller position is less, whatever the content;
//  2. within one alternative:
//     null      never less (all nulls are equivalent)
//     bool      false < true
//     integers  signed numeric order
//     double    built-in <, so any comparison with NaN is false
//     string    unsigned bytes over the common length, then the shorter is less
//     lists     lexicographic (typed lists by element, lists recursively)
//     map       lexicographic over entries in key order; entries by key, then by value
//     custom    by the address of the value object
inline bool operator<(const EncodableValue& a, const EncodableValue& b) {
  using internal::As;
  using internal::SequenceLess;
  if (a.index() != b.index()) {
    return a.index() < b.index();
  }
  switch (a.index()) {
    case 0:
      return false;
    case 1:
      return !As<bool>(a) && As<bool>(b);
    case 2:
      return As<int32_t>(a) < As<int32_t>(b);
    case 3:
      return As<int64_t>(a) < As<int64_t>(b);
    case 4:
      return As<double>(a) < As<double>(b);
    case 5:
      return As<std::string>(a) < As<std::string>(b);
    case 6:
      return SequenceLess(As<std::vector<uint8_t>>(a), As<std::vector<uint8_t>>(b));
    case 7:
      return SequenceLess(As<std::vector<int32_t>>(a), As<std::vector<int32_t>>(b));
    case 8:
      return SequenceLess(As<std::vector<int64_t>>(a), As<std::vector<int64_t>>(b));
    case 9:
      return SequenceLess(As<std::vector<double>>(a), As<std::vector<double>>(b));
    case 10:
      return internal::NestedOrder(As<EncodableList>(a), As<EncodableList>(b)) < 0;
    case 11:
      // Entries by key, or keys equivalent and by value, as std::pair's <.
      return internal::NestedOrder(As<EncodableMap>(a), As<EncodableMap>(b)) < 0;
    case 12:
      return As<CustomEncodableValue>(a) < As<CustomEncodableValue>(b);
    case 13:
      return SequenceLess(As<std::vector<float>>(a), As<std::vector<float>>(b));
    default:
      return false;  // valueless after a failed assignment: equivalent to nothing else
  }
}

inline int internal::Order(const EncodableValue& a, const EncodableValue& b) {
  if (a.index() == b.index() && a.index() == 10) {
    return NestedOrder(As<EncodableList>(a), As<EncodableList>(b));
  }
  if (a.index() == b.index() && a.index() == 11) {
    return NestedOrder(As<EncodableMap>(a), As<EncodableMap>(b));
  }
  return a < b ? -1 : (b < a ? 1 : 0);
}

}  // namespace flutter

#endif  // CODEC_ENCODABLE_VALUE_H_
