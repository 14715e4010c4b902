// Temperatures of a Linux machine presented as SMC keys, so the SMC reader above the seam works
// unchanged.
//
// On an Intel Mac the applesmc driver names each sensor by its real SMC key (temp*_label); those
// keys are kept. Elsewhere each hwmon temperature gets a synthesised key: CPU sensors (coretemp,
// k10temp, zenpower, *cpu*/*core* thermal zones) take the CPU keys "Tp01", "Tp05", ... and GPU
// sensors (amdgpu, nouveau, radeon, i915, xe, *gpu*) the GPU keys "Tg01", "Tg05", ..., in hwmon
// order; other sensors become "Tz00", "Tz01", ... All values are "flt " degrees Celsius.
//
// Sensors count as their drivers mean them: coretemp's per-core sensors are the CPU readings and
// its package sensor is not one more core; k10temp's and zenpower's Tdie and Tccd sensors win
// over Tctl, which carries an offset on some parts; amdgpu's edge and junction are the GPU, its
// memory sensor is not. A chip registered twice (two hwmon entries on one device) is read once.
// Without a hwmon CPU (GPU) sensor, the thermal zones whose type names the CPU (GPU) stand in.
#pragma once

#include <optional>
#include <vector>

#include "platform/SMCEmulator.h"
#include "platform/linux/SysfsReader.h"

namespace platform {

enum class SensorKind { CPU, GPU, Other };
// The kind of a hwmon chip by its "name".
SensorKind classifyHwmon(std::string_view chipName);

// The current temperatures as SMC keys; empty when the machine exposes none. `nvidiaGPU`, the
// NVIDIA GPU's temperature where NVML gives one, becomes the next GPU key.
std::vector<SMCKey> readTemperatureKeys(const linux_fs::Root& root,
                                        std::optional<float> nvidiaGPU = std::nullopt);

}  // namespace platform
