// Sole owner of one handle of some kind: the kind's traits name the handle type, its null
// value and how it is closed, so one movable owner serves every kind.
//
//   struct Traits {
//     using Handle = ...;
//     static Handle Null();
//     void Close(Handle handle) const;  // never called with Null()
//   };
//
// Traits may carry state (what the handle must be released through); it moves with the
// handle.
#ifndef BASE_UNIQUE_ANY_H_
#define BASE_UNIQUE_ANY_H_

#include <utility>

template <typename Traits>
class UniqueAny {
 public:
  using Handle = typename Traits::Handle;

  UniqueAny() = default;
  explicit UniqueAny(Handle owned, Traits closer = Traits()) : handle(owned), traits(closer) {}
  ~UniqueAny() { Reset(); }

  UniqueAny(UniqueAny&& other) noexcept : handle(other.Release()), traits(other.traits) {}
  // Safe on itself too: the handle is taken out before the old one is closed.
  UniqueAny& operator=(UniqueAny&& other) noexcept {
    Reset(other.Release());
    traits = other.traits;
    return *this;
  }

  UniqueAny(const UniqueAny&) = delete;
  UniqueAny& operator=(const UniqueAny&) = delete;

  Handle Get() const { return handle; }
  explicit operator bool() const { return handle != Traits::Null(); }

  // Closes the handle held, if any, and takes owned in its place.
  void Reset(Handle owned = Traits::Null()) {
    const Handle old = std::exchange(handle, owned);
    if (old != Traits::Null()) {
      traits.Close(old);
    }
  }

  // Gives the handle up without closing it.
  Handle Release() { return std::exchange(handle, Traits::Null()); }

 private:
  Handle handle = Traits::Null();
  Traits traits;
};

#endif  // BASE_UNIQUE_ANY_H_
