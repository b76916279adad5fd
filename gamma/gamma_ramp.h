// The display gamma ramp as the GDI gamma functions lay it out: 256 entries of red,
// then green, then blue, each an unsigned 16-bit value.
#ifndef GAMMA_GAMMA_RAMP_H_
#define GAMMA_GAMMA_RAMP_H_

#include <array>
#include <cstddef>
#include <cstdint>

constexpr std::size_t kRampChannels = 3;
constexpr std::size_t kRampEntriesPerChannel = 256;
constexpr std::size_t kRampEntries = kRampChannels * kRampEntriesPerChannel;
// Size of a ramp on the wire: every entry little-endian.
constexpr std::size_t kRampBytes = kRampEntries * 2;

using GammaRamp = std::array<uint16_t, kRampEntries>;

// The ramp of kRampBytes wire bytes.
inline GammaRamp RampFromBytes(const uint8_t* bytes) {
  GammaRamp ramp;
  for (std::size_t i = 0; i < kRampEntries; ++i) {
    ramp[i] = static_cast<uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  }
  return ramp;
}

#endif  // GAMMA_GAMMA_RAMP_H_
