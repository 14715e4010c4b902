// Temperatures of a Linux machine presented as SMC keys, so the SMC reader above the seam works
// unchanged.
//
// On an Intel Mac the applesmc driver names each sensor by its real SMC key (temp*_label); those
// keys are kept. Elsewhere each hwmon temperature gets a synthesised key: CPU sensors (coretemp,
// k10temp, zenpower, *cpu*/*core* thermal zones) take the CPU keys "Tp01", "Tp05", ... and GPU
// sensors (amdgpu, nouveau, radeon, i915, xe, *gpu*) the GPU keys "Tg01", "Tg05", ..., in hwmon
// order; other sensors become "Tz00", "Tz01", ... All values are "flt " degrees Celsius.
#pragma once

#include <vector>

#include "platform/SMCEmulator.h"
#include "platform/linux/SysfsReader.h"

namespace platform {

enum class SensorKind { CPU, GPU, Other };
// The kind of a hwmon chip by its "name".
SensorKind classifyHwmon(std::string_view chipName);

// The current temperatures as SMC keys; empty when the machine exposes none.
std::vector<SMCKey> readTemperatureKeys(const linux_fs::Root& root);

}  // namespace platform
