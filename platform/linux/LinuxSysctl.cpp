#include "platform/linux/LinuxSysctl.h"

#include <sys/utsname.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

#include "platform/linux/CpuTopology.h"

namespace platform::linux_sysctl {
namespace {

using linux_fs::Root;

// Apple SoC identifiers as the device tree names them, to the names the chips are sold under.
const std::map<std::string, std::string, std::less<>> kAppleChips = {
    {"t8103", "Apple M1"},       {"t6000", "Apple M1 Pro"},   {"t6001", "Apple M1 Max"},
    {"t6002", "Apple M1 Ultra"}, {"t8112", "Apple M2"},       {"t6020", "Apple M2 Pro"},
    {"t6021", "Apple M2 Max"},   {"t6022", "Apple M2 Ultra"}, {"t8122", "Apple M3"},
    {"t6030", "Apple M3 Pro"},   {"t6031", "Apple M3 Max"},   {"t6034", "Apple M3 Max"},
    {"t8132", "Apple M4"},
};

// Vendors fill DMI fields they do not care about with these.
bool isPlaceholder(const std::string& s) {
  static const std::set<std::string, std::less<>> kPlaceholders = {"",
                                                                   "To Be Filled By O.E.M.",
                                                                   "To be filled by O.E.M.",
                                                                   "System Product Name",
                                                                   "Default string",
                                                                   "Not Applicable",
                                                                   "None",
                                                                   "Not Specified",
                                                                   "0123456789",
                                                                   "System Version"};
  return kPlaceholders.count(s) > 0;
}

std::optional<std::string> dmi(const Root& root, std::string_view field) {
  auto value = root.readLine(std::string("/sys/class/dmi/id/") + std::string(field));
  if (!value || isPlaceholder(*value)) return std::nullopt;
  return value;
}

std::string upper(std::string s) {
  for (char& c : s)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

int32_t cpuTypeForArch(std::string_view m) {
  if (m == "aarch64" || m == "arm64" || m == "aarch64_be") return kCPUTypeARM | kCPUArch64;
  if (m == "x86_64" || m == "amd64") return kCPUTypeX86 | kCPUArch64;
  if (m == "i386" || m == "i486" || m == "i586" || m == "i686" || m == "x86") return kCPUTypeX86;
  if (m.substr(0, 3) == "arm") return kCPUTypeARM;
  if (m == "ppc64" || m == "ppc64le") return kCPUTypePowerPC | kCPUArch64;
  if (m == "ppc") return kCPUTypePowerPC;
  return 0;
}

std::string hostArch() {
  struct utsname u {};
  if (uname(&u) != 0) return {};
  return u.machine;
}

std::optional<std::string> brandFromDeviceTree(std::string_view compatible) {
  std::vector<std::string> entries;
  for (auto& e : linux_fs::split(compatible, '\0')) {
    if (!linux_fs::trim(e).empty()) entries.push_back(linux_fs::trim(e));
  }
  if (entries.empty()) return std::nullopt;
  for (const auto& e : entries) {
    if (e.rfind("apple,", 0) == 0) {
      auto it = kAppleChips.find(std::string_view(e).substr(6));
      if (it != kAppleChips.end()) return it->second;
    }
  }
  // The list runs from the board to the SoC; the SoC is the last entry that is not a generic
  // platform marker.
  for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
    auto comma = it->find(',');
    if (comma == std::string::npos || it->find("platform") != std::string::npos) continue;
    std::string vendor = it->substr(0, comma);
    if (!vendor.empty())
      vendor[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(vendor[0])));
    return vendor + " " + upper(it->substr(comma + 1));
  }
  return entries.back();
}

std::optional<std::string> readBrand(const Root& root) {
  if (auto cpuinfo = root.read("/proc/cpuinfo")) {
    for (const auto& line : linux_fs::split(*cpuinfo, '\n')) {
      auto colon = line.find(':');
      if (colon == std::string::npos) continue;
      if (linux_fs::trim(line.substr(0, colon)) == "model name") {
        auto value = linux_fs::trim(line.substr(colon + 1));
        if (!value.empty()) return value;
      }
    }
  }
  for (const char* path :
       {"/proc/device-tree/compatible", "/sys/firmware/devicetree/base/compatible"}) {
    if (auto compatible = root.read(path)) {
      if (auto brand = brandFromDeviceTree(*compatible)) return brand;
    }
  }
  return std::nullopt;
}

std::optional<std::string> readModel(const Root& root) {
  // Lenovo keeps the marketing name in product_version and a type number in product_name.
  auto vendor = root.readLine("/sys/class/dmi/id/sys_vendor");
  if (vendor && *vendor == "LENOVO") {
    if (auto version = dmi(root, "product_version")) return version;
  }
  if (auto product = dmi(root, "product_name")) return product;
  if (auto board = dmi(root, "board_name")) {
    auto boardVendor = dmi(root, "board_vendor");
    return boardVendor ? *boardVendor + " " + *board : *board;
  }
  for (const char* path : {"/proc/device-tree/model", "/sys/firmware/devicetree/base/model"}) {
    if (auto model = root.readLine(path); model && !model->empty()) return model;
  }
  return std::nullopt;
}

SysctlTable read(const Root& root, std::string_view machine) {
  SysctlTable table;
  if (int32_t type = cpuTypeForArch(machine); type != 0 || !machine.empty()) {
    table.set("hw.cputype", type);
  }
  if (auto brand = readBrand(root)) table.set("machdep.cpu.brand_string", *brand);
  if (auto model = readModel(root)) table.set("hw.model", *model);
  if (auto online = linux_topology::onlineCPUs(root)) {
    table.set("hw.ncpu", static_cast<int32_t>(online->size()));
    table.set("hw.logicalcpu", static_cast<int32_t>(online->size()));
    const auto levels = linux_topology::perfLevels(linux_topology::clusters(root, *online));
    table.set("hw.nperflevels", levels.efficiency > 0 ? 2 : 1);
    table.set("hw.perflevel0.logicalcpu", levels.performance);
    table.set("hw.perflevel0.name", std::string("Performance"));
    table.set("hw.perflevel1.logicalcpu", levels.efficiency);
    table.set("hw.perflevel1.name", std::string("Efficiency"));
  }
  return table;
}

}  // namespace platform::linux_sysctl
