#include "app/metrics/sysinfo/SGSystemInfo.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include <QString>

namespace {

// Reads an integer the way the kernel hands one out: a 64-bit slot that starts at `prepared`,
// of which a 32-bit value overwrites the low half. The sysctl's result code is returned beside.
int64_t readPrepared(platform::Sysctl& sysctl, std::string_view name, int64_t prepared,
                     int* result) {
  uint8_t slot[sizeof(int64_t)];
  std::memcpy(slot, &prepared, sizeof slot);
  size_t size = sizeof slot;
  *result = sysctl.sysctlbyname(name, slot, &size);
  int64_t value = 0;
  std::memcpy(&value, slot, sizeof value);
  return value;
}

}  // namespace

std::optional<int64_t> SGSystemInfo::sysctlInteger(platform::Sysctl& sysctl,
                                                   std::string_view name) {
  int result = 0;
  int64_t value = readPrepared(sysctl, name, 4, &result);
  if (result == -1) return std::nullopt;
  return value;
}

std::string SGSystemInfo::sysctlString(platform::Sysctl& sysctl, std::string_view name) {
  size_t size = 0;
  if (sysctl.sysctlbyname(name, nullptr, &size) == -1 || size == 0) return {};
  std::vector<char> buffer(size, 0);
  if (sysctl.sysctlbyname(name, buffer.data(), &size) == -1) return {};
  size = std::min(size, buffer.size());
  const void* zero = std::memchr(buffer.data(), 0, size);
  if (!zero) return {};
  const auto length = static_cast<qsizetype>(static_cast<const char*>(zero) - buffer.data());
  // QString::fromUtf8 replaces invalid sequences with U+FFFD.
  return QString::fromUtf8(buffer.data(), length).toStdString();
}

std::string SGSystemInfo::cpuType(platform::Sysctl& sysctl) {
  auto v = sysctlInteger(sysctl, "hw.cputype");
  if (!v || *v == -1) return "error in CPU type";
  // The low byte leaves out the 64-bit flag, so both widths of one family agree.
  switch (*v & 0xFF) {
    case 7:
      return "x86";
    case 12:
      return "ARM";
    default:
      return "unknown";
  }
}

std::string SGSystemInfo::cpuBrand(platform::Sysctl& sysctl) {
  return sysctlString(sysctl, "machdep.cpu.brand_string");
}

std::string SGSystemInfo::machineModel(platform::Sysctl& sysctl) {
  return sysctlString(sysctl, "hw.model");
}

int64_t SGSystemInfo::efficiencyCoreCount(platform::Sysctl& sysctl) {
  int result = 0;
  return readPrepared(sysctl, "hw.perflevel1.logicalcpu", 4, &result);
}

int64_t SGSystemInfo::performanceCoreCount(platform::Sysctl& sysctl) {
  int result = 0;
  return readPrepared(sysctl, "hw.perflevel0.logicalcpu", 4, &result);
}

bool SGSystemInfo::processorRefused(platform::Platform& platform) {
  return platform.samplerNeedsAppleSilicon() && cpuType(platform.sysctl()) != "ARM";
}

std::string SGSystemInfo::gatedProcessorType(platform::Platform& platform) {
  return processorRefused(platform) ? cpuType(platform.sysctl()) : std::string("ARM");
}
