// Ramps for the gamma guard's tests.
#ifndef TESTS_GAMMA_GAMMA_TEST_RAMPS_H_
#define TESTS_GAMMA_GAMMA_TEST_RAMPS_H_

#include <cstdint>
#include <vector>

#include "gamma/gamma_ramp.h"

// Entry i of every channel is i * 257: 0 to 65535.
inline GammaRamp IdentityRamp() {
  GammaRamp ramp;
  for (std::size_t c = 0; c < kRampChannels; ++c) {
    for (std::size_t i = 0; i < kRampEntriesPerChannel; ++i) {
      ramp[c * kRampEntriesPerChannel + i] = static_cast<uint16_t>(i * 257);
    }
  }
  return ramp;
}

// A warm ramp: red full, green at 85 %, blue at 60 %.
inline GammaRamp WarmRamp() {
  GammaRamp ramp = IdentityRamp();
  for (std::size_t i = 0; i < kRampEntriesPerChannel; ++i) {
    ramp[kRampEntriesPerChannel + i] = static_cast<uint16_t>(i * 257 * 85 / 100);
    ramp[2 * kRampEntriesPerChannel + i] = static_cast<uint16_t>(i * 257 * 60 / 100);
  }
  return ramp;
}

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
