// The ramps that single displays keep instead of the shared one, by display identity. At
// most kCapacity of them, in storage of the table's own: the check looks a display up on
// every tick and must not allocate, and a user interface cannot make it grow without bound.
#ifndef GAMMA_DISPLAY_RAMPS_H_
#define GAMMA_DISPLAY_RAMPS_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "gamma/gamma_ramp.h"

class DisplayRamps {
 public:
  static constexpr std::size_t kCapacity = 16;
  // Longest identity kept; a Windows monitor path is well below it.
  static constexpr std::size_t kMaxIdBytes = 512;

  // Gives the display id its own ramp, replacing one it had. False, and nothing changed,
  // when kCapacity other displays have one already or id is empty or too long.
  bool Set(std::string_view id, const GammaRamp& ramp);
  // The display id follows the shared ramp again; nothing happens when it had none.
  void Clear(std::string_view id);
  void ClearAll() { count = 0; }

  // The own ramp of display id, or null.
  const GammaRamp* Find(std::string_view id) const;
  bool Empty() const { return count == 0; }
  std::size_t Size() const { return count; }

 private:
  struct Entry {
    std::array<char, kMaxIdBytes> id;
    std::size_t id_length;
    GammaRamp ramp;

    std::string_view Id() const { return std::string_view(id.data(), id_length); }
  };

  // Entries [0, count) are in use, in no particular order.
  std::array<Entry, kCapacity> entries;
  std::size_t count = 0;
};

#endif  // GAMMA_DISPLAY_RAMPS_H_
