// Linux stand-in for `system_profiler -xml TYPE`: prints the XML document a Mac would print for
// the data type. The GPU comes from NVML or DRM, or, when FERROLUX_SIM_PROFILE names a sim
// profile, from that profile's "systemProfiler" table.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "platform/linux/LinuxGPU.h"
#include "platform/sim/Profile.h"
#include "tools/system_profiler/DisplaysReport.h"

namespace {

constexpr int kExitUsage = 64;    // EX_USAGE
constexpr int kExitDataErr = 65;  // EX_DATAERR: a broken profile

int usage() {
  std::fputs("usage: system_profiler -xml DataType\n", stderr);
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || std::strcmp(argv[1], "-xml") != 0 || argv[2][0] == '\0' || argv[2][0] == '-') {
    return usage();
  }
  const std::string dataType = argv[2];

  plist::Value document;
  if (const char* profilePath = std::getenv("FERROLUX_SIM_PROFILE"); profilePath && *profilePath) {
    auto loaded = platform::sim::loadProfile(profilePath);
    if (!loaded.profile) {
      std::fprintf(stderr, "system_profiler: %s\n", loaded.error.c_str());
      return kExitDataErr;
    }
    document = system_profiler::simReport(loaded.profile->systemProfiler, dataType);
  } else {
    std::optional<platform::GPUReading> gpu;
    if (dataType == "SPDisplaysDataType") {
      // FERROLUX_SYSFS_ROOT points the stand-in at a captured tree (tests); NVML, which knows
      // nothing of such trees, is then left out.
      const char* root = std::getenv("FERROLUX_SYSFS_ROOT");
      const bool captured = root && *root;
      platform::LinuxGPUStatistics source(platform::linux_fs::Root(captured ? root : "/"),
                                          captured ? nullptr : std::make_unique<platform::Nvml>());
      gpu = source.read();
    }
    document = system_profiler::linuxReport(dataType, gpu);
  }

  const std::string xml = plist::write(document, plist::Format::XML);
  if (xml.empty()) {
    std::fputs("system_profiler: the report cannot be written\n", stderr);
    return 1;
  }
  std::fwrite(xml.data(), 1, xml.size(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}
