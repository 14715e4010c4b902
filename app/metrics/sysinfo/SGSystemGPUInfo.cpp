#include "app/metrics/sysinfo/SGSystemGPUInfo.h"

#include <algorithm>
#include <cmath>

namespace {

// "vendor-id" must be exactly four bytes, little-endian, equal to Apple's PCI vendor.
bool isAppleAccelerator(const plist::Value& properties) {
  const plist::Bytes* id = properties["vendor-id"].data();
  if (!id || id->size() != 4) return false;
  const uint32_t vendor = static_cast<uint32_t>((*id)[0]) | static_cast<uint32_t>((*id)[1]) << 8 |
                          static_cast<uint32_t>((*id)[2]) << 16 |
                          static_cast<uint32_t>((*id)[3]) << 24;
  return vendor == SGSystemGPUInfo::kAppleVendorID;
}

}  // namespace

SGSystemGPUInfo::Reading SGSystemGPUInfo::fromRegistry(
    const std::vector<std::optional<plist::Value>>& services) {
  std::vector<const plist::Value*> candidates;
  for (const auto& properties : services) {
    if (!properties || !properties->isDict() || properties->size() == 0) continue;
    if (isAppleAccelerator(*properties)) candidates.push_back(&*properties);
  }
  for (const plist::Value* candidate : candidates) {
    const std::string* model = (*candidate)["model"].string();
    const std::string name = model ? *model : "Unknown";
    const plist::Value& stats = (*candidate)["PerformanceStatistics"];
    if (!stats.isDict()) continue;
    auto percent = stats["Device Utilization %"].number();
    return {name, percent ? *percent / 100.0 : 0.0};
  }
  return {std::nullopt, 0.0};
}

SGSystemGPUInfo::Reading SGSystemGPUInfo::readGPUInfo(platform::Platform& platform) {
  if (auto services = platform.ioRegistry().servicesMatching("IOAccelerator")) {
    return fromRegistry(*services);
  }
  if (platform::GPUStatistics* stats = platform.gpuStatistics()) {
    platform::GPUReading r = stats->read();
    if (!r.name) return {std::nullopt, 0.0};
    // Another source may report nonsense; keep the fraction a fraction.
    const double u = std::isfinite(r.utilization) ? std::clamp(r.utilization, 0.0, 1.0) : 0.0;
    return {r.name, u};
  }
  return {std::nullopt, 0.0};
}
