// GPU frequency, busy share and energy from the kernel's DRM drivers (i915, xe, amdgpu).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/linux/SysfsReader.h"

namespace sampler {

struct GpuReading {
  std::optional<double> freqMHz;
  std::optional<double> busy;        // 0..1
  std::optional<uint64_t> energyUj;  // a running counter
  std::optional<double> powerW;      // the driver's own running average
};

// The first "cardN" (lowest N) that reports a frequency; empty when none does. Connector
// entries such as card0-DP-1 are skipped.
std::optional<std::string> findDrmCard(const platform::linux_fs::Root& tree);

// Reads a card found by findDrmCard.
GpuReading readDrmCard(const platform::linux_fs::Root& tree, const std::string& cardDir);

// The current level of an amdgpu pp_dpm_sclk table ("1: 1200Mhz *"), in megahertz.
std::optional<double> parseDpmCurrentMHz(std::string_view table);

}  // namespace sampler
