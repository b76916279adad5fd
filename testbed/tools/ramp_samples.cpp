#include "testbed/tools/ramp_samples.h"

#include <cmath>
#include <cstdlib>

namespace probe {

namespace {

std::uint16_t ToEntry(double fraction) {
  if (!(fraction > 0.0)) return 0;  // also NaN
  if (fraction >= 1.0) return 65535;
  return static_cast<std::uint16_t>(std::lround(fraction * 65535.0));
}

Ramp ScaledChannels(double red, double green, double blue) {
  const double scale[3] = {red, green, blue};
  Ramp ramp(3 * kRampEntries);
  for (int c = 0; c < 3; ++c) {
    for (int i = 0; i < kRampEntries; ++i) {
      ramp[c * kRampEntries + i] = ToEntry(scale[c] * i / (kRampEntries - 1));
    }
  }
  return ramp;
}

}  // namespace

Ramp ScaleRamp(const std::vector<std::uint16_t>& values, int size) {
  if (size < 2 || values.size() < 3 * static_cast<std::size_t>(size)) return Ramp();
  Ramp ramp(3 * kRampEntries);
  for (int c = 0; c < 3; ++c) {
    for (int i = 0; i < kRampEntries; ++i) {
      const long index = std::lround(static_cast<double>(i) * (size - 1) / (kRampEntries - 1));
      ramp[c * kRampEntries + i] = values[c * size + index];
    }
  }
  return ramp;
}

std::string FormatSamples(const Ramp& ramp) {
  std::string line;
  if (ramp.size() != 3 * kRampEntries) return line;
  for (int c = 0; c < 3; ++c) {
    for (int entry : kSampledEntries) {
      if (!line.empty()) line += ' ';
      line += std::to_string(ramp[c * kRampEntries + entry]);
    }
  }
  return line;
}

std::string FormatAll(const Ramp& ramp) {
  std::string text;
  if (ramp.size() != 3 * kRampEntries) return text;
  for (int c = 0; c < 3; ++c) {
    for (int i = 0; i < kRampEntries; ++i) {
      if (i > 0) text += ' ';
      text += std::to_string(ramp[c * kRampEntries + i]);
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
    *ramp = Ramp(3 * kRampEntries, 0);
  } else {
    return false;
  }
  return true;
}

bool MakeGammaRamp(double gamma, Ramp* ramp) {
  if (!(gamma > 0.0 && gamma <= 100.0)) return false;
  Ramp result(3 * kRampEntries);
  for (int i = 0; i < kRampEntries; ++i) {
    const std::uint16_t value =
        ToEntry(std::pow(static_cast<double>(i) / (kRampEntries - 1), 1.0 / gamma));
    for (int c = 0; c < 3; ++c) result[c * kRampEntries + i] = value;
  }
  *ramp = result;
  return true;
}

int MaxSampleDifference(const Ramp& a, const Ramp& b) {
  if (a.size() != 3 * kRampEntries || b.size() != 3 * kRampEntries) return 65536;
  int worst = 0;
  for (int c = 0; c < 3; ++c) {
    for (int entry : kSampledEntries) {
      const int index = c * kRampEntries + entry;
      const int difference = std::abs(static_cast<int>(a[index]) - static_cast<int>(b[index]));
      if (difference > worst) worst = difference;
    }
  }
  return worst;
}

}  // namespace probe
