#include "platform/linux/LinuxGPU.h"

#include <cstdio>
#include <map>

namespace platform {
namespace {

const std::map<int64_t, const char*> kVendors = {
    {0x1002, "AMD"},    {0x10de, "NVIDIA"}, {0x8086, "Intel"},  {0x106b, "Apple"},
    {0x1af4, "Virtio"}, {0x1234, "QEMU"},   {0x15ad, "VMware"}, {0x1b36, "QEMU"},
};

struct Card {
  GPUReading reading;
  bool reportsBusy = false;
};

std::optional<Card> readCard(const linux_fs::Root& root, const std::string& card) {
  const std::string dev = "/sys/class/drm/" + card + "/device/";
  auto vendor = root.readInteger(dev + "vendor");
  auto device = root.readInteger(dev + "device");
  auto driver = root.linkName(dev + "driver");
  auto product = root.readLine(dev + "product_name");
  if (!vendor && !driver && !product) return std::nullopt;

  Card c;
  if (product && !product->empty()) {
    c.reading.name = *product;
  } else if (vendor) {
    auto it = kVendors.find(*vendor);
    char ids[32];
    std::snprintf(ids, sizeof ids, "%04llx:%04llx", static_cast<unsigned long long>(*vendor),
                  static_cast<unsigned long long>(device.value_or(0)));
    c.reading.name = std::string(it != kVendors.end() ? it->second : "PCI") + " GPU [" + ids + "]";
  } else {
    c.reading.name = *driver + " GPU";
  }
  if (auto busy = root.readInteger(dev + "gpu_busy_percent"); busy && *busy >= 0 && *busy <= 100) {
    c.reading.utilization = static_cast<double>(*busy) / 100.0;
    c.reportsBusy = true;
  }
  return c;
}

}  // namespace

bool isDrmCardName(std::string_view name) {
  if (name.size() <= 4 || !name.starts_with("card")) return false;
  return name.find_first_not_of("0123456789", 4) == std::string_view::npos;
}

std::optional<GPUReading> readDRM(const linux_fs::Root& root) {
  std::optional<Card> first;
  for (const std::string& name : root.list("/sys/class/drm")) {
    if (!isDrmCardName(name)) continue;
    auto card = readCard(root, name);
    if (!card) continue;
    if (card->reportsBusy) return card->reading;
    if (!first) first = card;
  }
  if (first) return first->reading;
  return std::nullopt;
}

GPUReading LinuxGPUStatistics::read() {
  if (nvml_) {
    if (auto reading = nvml_->readFirstGPU()) return *reading;
  }
  if (auto reading = readDRM(root_)) return *reading;
  return {};
}

}  // namespace platform
