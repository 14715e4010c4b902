#include "platform/sim/SimThermal.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace platform::sim {

double SimThermal::sampleLoad() {
  std::vector<CPUTicks> now = load_.read();
  if (now.size() == previous_.size() && !now.empty()) {
    int64_t busy = 0, total = 0;
    for (size_t i = 0; i < now.size(); ++i) {
      const CPUTicks& a = previous_[i];
      const CPUTicks& b = now[i];
      const int64_t used = (b.user - a.user) + (b.system - a.system) + (b.nice - a.nice);
      busy += used;
      total += used + (b.idle - a.idle);
    }
    if (total > 0) loadFraction_ = std::clamp(static_cast<double>(busy) / total, 0.0, 1.0);
  }
  previous_ = std::move(now);
  return loadFraction_;
}

std::vector<SMCKey> SimThermal::warmedKeys(const std::vector<SMCKey>& keys, double load) {
  std::vector<SMCKey> out = keys;
  if (load <= 0) return out;
  for (SMCKey& k : out) {
    if (k.key.empty() || k.key[0] != 'T') continue;
    if (k.type == "flt " && k.bytes.size() >= 4) {
      float idle = 0;
      std::memcpy(&idle, k.bytes.data(), sizeof idle);  // little-endian host
      if (!(idle > 0)) continue;                        // an absent reading stays absent
      const auto b = fltBytes(static_cast<float>(warmed(idle, load)));
      std::copy(b.begin(), b.end(), k.bytes.begin());
    } else if (k.type == "fpe2" && k.bytes.size() >= 2) {
      const unsigned idle = (unsigned{k.bytes[0]} << 6) | (unsigned{k.bytes[1]} >> 2);
      if (idle == 0) continue;
      const auto w = static_cast<unsigned>(std::lround(warmed(idle, load))) & 0x3FFF;
      k.bytes[0] = static_cast<uint8_t>(w >> 6);
      k.bytes[1] = static_cast<uint8_t>((w << 2) | (k.bytes[1] & 0x3));
    }
  }
  return out;
}

}  // namespace platform::sim
