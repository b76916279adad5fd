#include "testbed/tools/ramp_samples.h"

#include <cmath>
#include <cstdlib>

#include "gamma/gamma_guard.h"

namespace probe {

namespace {

constexpr double kLastEntry = static_cast<double>(kRampEntriesPerChannel - 1);

std::uint16_t ToEntry(double fraction) {
  if (!(fraction > 0.0)) return 0;  // also NaN
  if (fraction >= 1.0) return 65535;
  return static_cast<std::uint16_t>(std::lround(fraction * 65535.0));
}

Ramp ScaledChannels(double red, double green, double blue) {
  const double scale[kRampChannels] = {red, green, blue};
  Ramp ramp(kRampEntries);
  for (std::size_t c = 0; c < kRampChannels; ++c) {
    for (std::size_t i = 0; i < kRampEntriesPerChannel; ++i) {
      ramp[c * kRampEntriesPerChannel + i] =
          ToEntry(scale[c] * static_cast<double>(i) / kLastEntry);
    }
  }
  return ramp;
}

}  // namespace

Ramp ScaleRamp(const std::vector<std::uint16_t>& values, int size) {
  if (size < 2 || values.size() < kRampChannels * static_cast<std::size_t>(size)) return Ramp();
  const auto width = static_cast<std::size_t>(size);
  Ramp ramp(kRampEntries);
  for (std::size_t c = 0; c < kRampChannels; ++c) {
    for (std::size_t i = 0; i < kRampEntriesPerChannel; ++i) {
      const auto index = static_cast<std::size_t>(
          std::lround(static_cast<double>(i) * static_cast<double>(size - 1) / kLastEntry));
      ramp[c * kRampEntriesPerChannel + i] = values[c * width + index];
    }
  }
  return ramp;
}

std::string FormatSamples(const Ramp& ramp) {
  std::string line;
  if (ramp.size() != kRampEntries) return line;
  for (std::size_t c = 0; c < kRampChannels; ++c) {
    for (std::size_t entry : GammaGuard::kSampleEntries) {
      if (!line.empty()) line += ' ';
      line += std::to_string(ramp[c * kRampEntriesPerChannel + entry]);
    }
  }
  return line;
}

std::string FormatAll(const Ramp& ramp) {
  std::string text;
  if (ramp.size() != kRampEntries) return text;
  for (std::size_t c = 0; c < kRampChannels; ++c) {
    for (std::size_t i = 0; i < kRampEntriesPerChannel; ++i) {
      if (i > 0) text += ' ';
      text += std::to_string(ramp[c * kRampEntriesPerChannel + i]);
    }
    text += '\n';
  }
  return text;
}

bool MakeNamedRamp(const std::string& name, Ramp* ramp) {
  if (name == "identity") {
    *ramp = ScaledChannels(1.0, 1.0, 1.0);
  } else if (name == "warm") {
    *ramp = ScaledChannels(1.0, 0.85, 0.65);
  } else if (name == "dim") {
    *ramp = ScaledChannels(0.6, 0.6, 0.6);
  } else if (name == "zero") {
    *ramp = Ramp(kRampEntries, 0);
  } else {
    return false;
  }
  return true;
}

bool MakeGammaRamp(double gamma, Ramp* ramp) {
  if (!(gamma > 0.0 && gamma <= 100.0)) return false;
  Ramp result(kRampEntries);
  for (std::size_t i = 0; i < kRampEntriesPerChannel; ++i) {
    const std::uint16_t value = ToEntry(std::pow(static_cast<double>(i) / kLastEntry, 1.0 / gamma));
    for (std::size_t c = 0; c < kRampChannels; ++c) result[c * kRampEntriesPerChannel + i] = value;
  }
  *ramp = result;
  return true;
}

int MaxSampleDifference(const Ramp& a, const Ramp& b) {
  if (a.size() != kRampEntries || b.size() != kRampEntries) return 65536;
  int worst = 0;
  for (std::size_t c = 0; c < kRampChannels; ++c) {
    for (std::size_t entry : GammaGuard::kSampleEntries) {
      const std::size_t index = c * kRampEntriesPerChannel + entry;
      const int difference = std::abs(static_cast<int>(a[index]) - static_cast<int>(b[index]));
      if (difference > worst) worst = difference;
    }
  }
  return worst;
}

}  // namespace probe
