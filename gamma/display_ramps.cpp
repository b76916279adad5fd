#include "gamma/display_ramps.h"

#include <algorithm>

bool DisplayRamps::Set(std::string_view id, const GammaRamp& ramp) {
  if (id.empty() || id.size() > kMaxIdBytes) {
    return false;
  }
  for (std::size_t i = 0; i < count; ++i) {
    if (entries[i].Id() == id) {
      entries[i].ramp = ramp;
      return true;
    }
  }
  if (count == kCapacity) {
    return false;
  }
  Entry& entry = entries[count];
  std::copy(id.begin(), id.end(), entry.id.begin());
  entry.id_length = id.size();
  entry.ramp = ramp;
  ++count;
  return true;
}

void DisplayRamps::Clear(std::string_view id) {
  for (std::size_t i = 0; i < count; ++i) {
    if (entries[i].Id() == id) {
      // The last entry fills the gap; order carries no meaning.
      entries[i] = entries[count - 1];
      --count;
      return;
    }
  }
}

const GammaRamp* DisplayRamps::Find(std::string_view id) const {
  for (std::size_t i = 0; i < count; ++i) {
    if (entries[i].Id() == id) {
      return &entries[i].ramp;
    }
  }
  return nullptr;
}
