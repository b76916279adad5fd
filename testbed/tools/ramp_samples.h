#ifndef TOOLS_RAMP_SAMPLES_H_
#define TOOLS_RAMP_SAMPLES_H_

#include <cstdint>
#include <string>
#include <vector>

#include "gamma/gamma_ramp.h"

// Shared by the probes that read the screen's gamma ramp from Windows (ramp_probe.exe) and from
// Linux (xramp), so that both print the same numbers for the same ramp.
namespace probe {

// kRampEntries entries: three channels (red, green, blue) of kRampEntriesPerChannel each.
// The samples are the entries the gamma guard compares (GammaGuard::kSampleEntries).
using Ramp = std::vector<std::uint16_t>;

// Resamples a ramp of `size` entries per channel (X servers may use other sizes than 256) to
// kRampEntriesPerChannel. Empty when `size` is below 2 or `values` is too short.
Ramp ScaleRamp(const std::vector<std::uint16_t>& values, int size);

// The 21 sampled entries, channel by channel, space-separated on one line.
std::string FormatSamples(const Ramp& ramp);
// All entries, one line per channel.
std::string FormatAll(const Ramp& ramp);

// Named ramps: "identity", "warm" (red kept, green and blue lowered), "dim" (all channels at
// 60 %), "zero" (all entries 0, which drivers refuse). False for an unknown name.
bool MakeNamedRamp(const std::string& name, Ramp* ramp);
// value = 65535 * (i / 255) ^ (1 / gamma) on every channel, as xgamma does. False for a gamma
// outside (0, 100].
bool MakeGammaRamp(double gamma, Ramp* ramp);

// Largest absolute difference between the two ramps over the 21 sampled entries.
int MaxSampleDifference(const Ramp& a, const Ramp& b);

}  // namespace probe

#endif  // TOOLS_RAMP_SAMPLES_H_
