// What the last check did on each display, by GDI device name, the one name a check has
// without asking the system for more. Fixed storage: the check records every display on
// every tick and must not allocate. A display past kCapacity, or with a longer name than
// fits, is simply not recorded and reads as unchecked.
#ifndef GAMMA_DISPLAY_STATES_H_
#define GAMMA_DISPLAY_STATES_H_

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>

enum class DisplayState {
  kUnchecked,   // no check has seen it since it was given its ramp, or it has none
  kIntact,      // read, within tolerance
  kRewritten,   // reset, and the exact write was taken
  kRefused,     // reset, and the exact write was rejected
  kUnreadable,  // its context or its ramp could not be had
};

class DisplayStates {
 public:
  static constexpr std::size_t kCapacity = 16;
  // A GDI device name has at most 32 UTF-16 units.
  static constexpr std::size_t kMaxDeviceBytes = 96;

  // Forgets every display: a new check, or a new ramp, begins.
  void Reset() { count = 0; }

  void Record(std::string_view device, DisplayState state) {
    if (count == kCapacity || device.size() > kMaxDeviceBytes) {
      return;
    }
    Entry& entry = entries[count++];
    std::copy(device.begin(), device.end(), entry.device.begin());
    entry.device_length = device.size();
    entry.state = state;
  }

  DisplayState Of(std::string_view device) const {
    for (std::size_t i = 0; i < count; ++i) {
      if (std::string_view(entries[i].device.data(), entries[i].device_length) == device) {
        return entries[i].state;
      }
    }
    return DisplayState::kUnchecked;
  }

 private:
  struct Entry {
    std::array<char, kMaxDeviceBytes> device;
    std::size_t device_length;
    DisplayState state;
  };

  std::array<Entry, kCapacity> entries;
  std::size_t count = 0;
};

#endif  // GAMMA_DISPLAY_STATES_H_
