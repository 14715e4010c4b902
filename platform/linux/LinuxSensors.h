// The temperature sensors of a Linux machine, each named and given the role its driver means:
//
// - coretemp: every "Core N" is a CPU reading, on however many sockets. The package sensor is
//   not one more core; the driver has labelled it "Package id N" (kernels since 3.x),
//   "Physical id N" (the 3.x kernels before that), and on 2.6.35-36 served it from a chip of its
//   own, "pkgtemp". It counts for the CPU only on a machine with no per-core sensor at all (small
//   and virtual machines).
// - k10temp and zenpower: Tdie and the Tccd sensors win over Tctl, which carries a fan-control
//   offset on some parts.
// - amdgpu: edge and junction are the GPU, its memory sensor is not.
// - applesmc (an Intel Mac): each sensor keeps its SMC key as its name and the role SMCKey; the
//   chip sits beside the others and never hides them, so the CPU comes from coretemp there.
// - other chips count by their name (classifyHwmon); a chip registered twice on one device is
//   read once.
// - Without a hwmon CPU (GPU) sensor, the thermal zones stand in: x86_pkg_temp and the zones whose
//   type names the CPU (GPU). The NVIDIA GPU's temperature comes from NVML.
//
// Which files to read and what each counts for is found once and kept. It is found again when
// the set of hwmon chips changes (a module loaded, a GPU added) or a kept file cannot be read, so
// a sample costs one listing of /sys/class/hwmon and one read per sensor.
//
// Not thread-safe: one reader (the temperature model, on the main thread).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/SMCEmulator.h"
#include "platform/linux/SysfsReader.h"

namespace platform {

// The role of a hwmon chip or thermal zone by its name: CPU, GPU or Other.
SensorRole classifyHwmon(std::string_view chipName);

// Where one sensor's value is read, with its name and role.
struct SensorSource {
  std::string name;
  SensorRole role = SensorRole::Other;
  std::string path;  // a system path below the root, in millidegrees Celsius
};

// Finds every sensor of the tree (the discovery described above), in hwmon order, thermal zones
// after. `hwmon` is the listing of /sys/class/hwmon, which the caller has already read.
std::vector<SensorSource> discoverSensors(const linux_fs::Root& root,
                                          const std::vector<std::string>& hwmon);

class LinuxTemperatureSensors : public TemperatureSensors {
 public:
  // `nvidiaGPU` gives the NVIDIA GPU's temperature where NVML has one; may be empty.
  explicit LinuxTemperatureSensors(linux_fs::Root root,
                                   std::function<std::optional<float>()> nvidiaGPU = {})
      : root_(std::move(root)), nvidiaGPU_(std::move(nvidiaGPU)) {}

  std::vector<TemperatureSensor> read() override;

  // How many times discovery has run (each rediscovery costs a walk of sysfs).
  size_t discoveries() const { return discoveries_; }

 private:
  void discover(std::vector<std::string> chips);
  // Appends every readable kept sensor; false when one could not be read.
  bool readKept(std::vector<TemperatureSensor>& out) const;

  linux_fs::Root root_;
  std::function<std::optional<float>()> nvidiaGPU_;
  std::optional<std::vector<std::string>> chips_;  // /sys/class/hwmon at the last discovery
  std::vector<SensorSource> sources_;
  size_t discoveries_ = 0;
};

// The real SMC keys of an Intel Mac's applesmc driver ("flt " degrees Celsius), for the SMC seam;
// empty elsewhere.
std::vector<SMCKey> readAppleSMCKeys(const linux_fs::Root& root);

}  // namespace platform
