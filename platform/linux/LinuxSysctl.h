// The sysctl names Ferrolux reads, answered from /proc and /sys:
//   hw.cputype                 the Mach processor type of the machine's architecture
//   machdep.cpu.brand_string   /proc/cpuinfo "model name", else the device tree's SoC
//   hw.model                   DMI product (or board), else the device tree's model
//   hw.ncpu, hw.logicalcpu     online CPUs
//   hw.nperflevels, hw.perflevel0/1.logicalcpu, hw.perflevel0/1.name
//                              performance levels from the CPU clusters the sampler reports too
//                              (platform/linux/CpuTopology.h); a CPU without efficiency cores has
//                              one level holding every online CPU and an empty level 1
// A value that cannot be read is left out, so asking for it fails like an unknown name.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/SysctlTable.h"
#include "platform/linux/SysfsReader.h"

namespace platform::linux_sysctl {

inline constexpr int32_t kCPUTypeX86 = 7;
inline constexpr int32_t kCPUTypeARM = 12;
inline constexpr int32_t kCPUTypePowerPC = 18;
inline constexpr int32_t kCPUArch64 = 0x01000000;

// The Mach processor type for a uname machine string; 0 (no Mach type) for others.
int32_t cpuTypeForArch(std::string_view machine);
// uname's machine string of the running kernel.
std::string hostArch();

// "Apple M1 Pro" for an Apple SoC compatible string ("apple,t6000"), "Rockchip RK3588" for
// other SoCs; nullopt for an empty list. `compatible` is the raw NUL-separated property.
std::optional<std::string> brandFromDeviceTree(std::string_view compatible);

std::optional<std::string> readBrand(const linux_fs::Root& root);
// The machine's model, as the title and the sampler's hw_model both give it: the DMI product
// (Lenovo's product_version) unless it is a vendor's placeholder, else the DMI board with its
// vendor, else the device tree's model.
std::optional<std::string> readModel(const linux_fs::Root& root);

SysctlTable read(const linux_fs::Root& root, std::string_view machine);

}  // namespace platform::linux_sysctl
