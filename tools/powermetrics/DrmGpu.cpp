#include "tools/powermetrics/DrmGpu.h"

#include <charconv>

#include "platform/linux/LinuxGPU.h"

namespace sampler {

namespace {

constexpr const char* kDrm = "/sys/class/drm";

std::optional<double> readFrequency(const platform::linux_fs::Root& tree, const std::string& card) {
  // i915: the actual frequency when the driver offers it, else the requested one.
  for (const char* f : {"/gt_act_freq_mhz", "/gt_cur_freq_mhz", "/device/tile0/gt0/freq0/act_freq",
                        "/device/tile0/gt0/freq0/cur_freq"}) {
    if (auto v = tree.readUnsigned(card + f)) return static_cast<double>(*v);
  }
  if (auto table = tree.read(card + "/device/pp_dpm_sclk")) return parseDpmCurrentMHz(*table);
  return std::nullopt;
}

}  // namespace

std::optional<double> parseDpmCurrentMHz(std::string_view table) {
  while (!table.empty()) {
    size_t nl = table.find('\n');
    std::string_view line = table.substr(0, nl);
    table = nl == std::string_view::npos ? std::string_view() : table.substr(nl + 1);
    if (line.find('*') == std::string_view::npos) continue;
    size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    std::string_view v = line.substr(colon + 1);
    while (!v.empty() && v.front() == ' ')
      v.remove_prefix(1);
    double mhz = 0;
    auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), mhz);
    if (ec != std::errc() || end == v.data()) return std::nullopt;
    std::string_view unit(end, static_cast<size_t>(v.data() + v.size() - end));
    if (!(unit.starts_with("Mhz") || unit.starts_with("MHz"))) return std::nullopt;
    return mhz;
  }
  return std::nullopt;
}

std::optional<std::string> findDrmCard(const platform::linux_fs::Root& tree) {
  for (const auto& name : tree.list(kDrm)) {
    if (!platform::isDrmCardName(name)) continue;
    std::string dir = std::string(kDrm) + "/" + name;
    if (readFrequency(tree, dir)) return dir;
  }
  return std::nullopt;
}

GpuReading readDrmCard(const platform::linux_fs::Root& tree, const std::string& cardDir) {
  GpuReading r;
  r.freqMHz = readFrequency(tree, cardDir);
  if (auto busy = tree.readUnsigned(cardDir + "/device/gpu_busy_percent"); busy && *busy <= 100) {
    r.busy = static_cast<double>(*busy) / 100.0;
  }
  const std::string hwmonBase = cardDir + "/device/hwmon";
  for (const auto& h : tree.list(hwmonBase)) {
    std::string dir = hwmonBase + "/" + h;
    if (!r.energyUj) r.energyUj = tree.readUnsigned(dir + "/energy1_input");
    if (!r.powerW) {
      auto uw = tree.readUnsigned(dir + "/power1_average");
      if (!uw) uw = tree.readUnsigned(dir + "/power1_input");
      if (uw) r.powerW = static_cast<double>(*uw) / 1e6;
    }
  }
  return r;
}

}  // namespace sampler
