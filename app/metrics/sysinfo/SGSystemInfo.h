// The machine's fixed facts through sysctl: processor type, brand, model identifier, core
// counts. Stateless; every read asks the platform's sysctl afresh.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Platform.h"

class SGSystemInfo {
 public:
  // The value of an integer sysctl, or none when the name is unknown. A 32-bit kernel value
  // fills the low half of the 64-bit result.
  static std::optional<int64_t> sysctlInteger(platform::Sysctl& sysctl, std::string_view name);
  // The bytes up to the first zero byte, as UTF-8 with invalid sequences replaced; "" when the
  // name is unknown or the value holds no zero byte.
  static std::string sysctlString(platform::Sysctl& sysctl, std::string_view name);
  // "ARM", "x86", "unknown" or "error in CPU type", from the low byte of hw.cputype.
  static std::string cpuType(platform::Sysctl& sysctl);
  static std::string cpuBrand(platform::Sysctl& sysctl);
  static std::string machineModel(platform::Sysctl& sysctl);
  // hw.perflevel1.logicalcpu and hw.perflevel0.logicalcpu; 4 when the kernel lacks the name.
  static int64_t efficiencyCoreCount(platform::Sysctl& sysctl);
  static int64_t performanceCoreCount(platform::Sysctl& sysctl);

  // The processor gate: true when monitoring must be refused, i.e. the platform's sampler needs
  // Apple Silicon and the processor type is not exactly "ARM".
  static bool processorRefused(platform::Platform& platform);
  // The processor type that the helper manager and the content model act on, which go ahead
  // only on exactly "ARM": "ARM" wherever the gate lets monitoring run (the Linux sampler works
  // on any processor), otherwise the true cpuType, which is never "ARM" there.
  static std::string gatedProcessorType(platform::Platform& platform);

  // The same reads on the process-wide platform.
  static std::string cpuType() { return cpuType(platform::current().sysctl()); }
  static std::string cpuBrand() { return cpuBrand(platform::current().sysctl()); }
  static std::string machineModel() { return machineModel(platform::current().sysctl()); }
};
