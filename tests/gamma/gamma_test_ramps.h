// Ramps for the gamma guard's tests.
#ifndef TESTS_GAMMA_GAMMA_TEST_RAMPS_H_
#define TESTS_GAMMA_GAMMA_TEST_RAMPS_H_

#include <cstdint>
#include <vector>

#include "gamma/gamma_ramp.h"

// Entry i of channel c is i * 257 scaled by percent[c]: {100, 100, 100} is the identity.
inline GammaRamp ScaledRamp(int red, int green, int blue) {
  const int percent[] = {red, green, blue};
  GammaRamp ramp;
  for (std::size_t i = 0; i < kRampEntries; ++i) {
    ramp[i] = static_cast<uint16_t>((i % kRampEntriesPerChannel) * 257 *
                                    percent[i / kRampEntriesPerChannel] / 100);
  }
  return ramp;
}
inline GammaRamp IdentityRamp() { return ScaledRamp(100, 100, 100); }
inline GammaRamp WarmRamp() { return ScaledRamp(100, 85, 65); }

// The ramp as the channel carries it: every entry little-endian.
inline std::vector<uint8_t> RampBytes(const GammaRamp& ramp) {
  std::vector<uint8_t> bytes;
  for (uint16_t entry : ramp) {
    bytes.push_back(static_cast<uint8_t>(entry & 0xFF));
    bytes.push_back(static_cast<uint8_t>(entry >> 8));
  }
  return bytes;
}

#endif  // TESTS_GAMMA_GAMMA_TEST_RAMPS_H_
