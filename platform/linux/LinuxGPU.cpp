#include "platform/linux/LinuxGPU.h"

#include <cstdio>
#include <fstream>
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

// Where Debian's pciutils and hwdata, and other distributions, keep the list.
constexpr const char* kPciIdLists[] = {"/usr/share/misc/pci.ids", "/usr/share/hwdata/pci.ids",
                                       "/usr/share/pci.ids"};

// Four hex digits at the start of a list line, as a number.
std::optional<int64_t> hexId(std::string_view text) {
  if (text.size() < 6 || text.substr(4, 2) != "  ") return std::nullopt;
  return linux_fs::parseInteger("0x" + std::string(text.substr(0, 4)));
}

std::optional<std::string> lookUp(std::ifstream& list, int64_t vendor, int64_t device) {
  std::string line, vendorName;
  bool inVendor = false;
  while (std::getline(list, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (line[0] != '\t') {
      if (inVendor) return std::nullopt;  // the vendor's devices are behind us
      // A class line ("C 03  Display controller") is no vendor, and its tab lines are skipped.
      if (hexId(line) == vendor) {
        inVendor = true;
        vendorName = line.substr(6);
      }
      continue;
    }
    if (!inVendor || line.size() < 2 || line[1] == '\t') continue;  // a subsystem line
    if (hexId(std::string_view(line).substr(1)) == device) {
      auto known = kVendors.find(vendor);
      return (known != kVendors.end() ? std::string(known->second) : vendorName) + " " +
             line.substr(7);
    }
  }
  return std::nullopt;
}

std::optional<Card> readCard(const linux_fs::Root& root, const std::string& card,
                             PciIdNames* names) {
  const std::string dev = "/sys/class/drm/" + card + "/device/";
  auto vendor = root.readInteger(dev + "vendor");
  auto device = root.readInteger(dev + "device");
  auto driver = root.linkName(dev + "driver");
  auto product = root.readLine(dev + "product_name");
  if (!vendor && !driver && !product) return std::nullopt;

  Card c;
  if (product && !product->empty()) {
    c.reading.name = *product;
  } else if (auto listed =
                 vendor && device && names ? names->name(*vendor, *device) : std::nullopt) {
    c.reading.name = *listed;
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

std::optional<std::string> PciIdNames::name(int64_t vendor, int64_t device) {
  const auto key = std::make_pair(vendor, device);
  if (auto it = cache_.find(key); it != cache_.end()) return it->second;
  std::optional<std::string> found;
  for (const char* path : kPciIdLists) {
    std::ifstream list(root_.at(path));
    if (!list) continue;
    found = lookUp(list, vendor, device);
    break;
  }
  cache_[key] = found;
  return found;
}

std::optional<GPUReading> readDRM(const linux_fs::Root& root, PciIdNames* names) {
  std::optional<Card> first;
  for (const std::string& name : root.list("/sys/class/drm")) {
    if (!isDrmCardName(name)) continue;
    auto card = readCard(root, name, names);
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
  if (auto reading = readDRM(root_, &names_)) return *reading;
  return {};
}

}  // namespace platform
