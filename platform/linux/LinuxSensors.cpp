#include "platform/linux/LinuxSensors.h"

#include <array>
#include <cstdio>

namespace platform {
namespace {

using linux_fs::Root;

// The key names of the Apple Silicon temperature tables, in the order synthesised keys use them.
constexpr std::array<const char*, 22> kCPUKeys = {
    "Tp01", "Tp05", "Tp09", "Tp0D", "Tp0H", "Tp0L", "Tp0P", "Tp0T", "Tp0X", "Tp0b", "Tp0f",
    "Tp0j", "Tp17", "Tp1B", "Tp1F", "Tp1J", "Tp1N", "Tp1h", "Tp1l", "Tp1p", "Tp1t", "Tp2H"};
constexpr std::array<const char*, 17> kGPUKeys = {"Tg01", "Tg05", "Tg09", "Tg0D", "Tg0H", "Tg0L",
                                                  "Tg0P", "Tg0T", "Tg0X", "Tg0Z", "Tg0f", "Tg0j",
                                                  "Tg1h", "Tg1l", "Tg2X", "Tg2f", "Tg3Z"};
constexpr size_t kMaxOtherKeys = 100;

bool contains(std::string_view haystack, std::string_view needle) {
  return haystack.find(needle) != std::string_view::npos;
}

// temp1_input, temp2_input, ... of one sensor directory, in index order.
std::vector<std::string> temperatureInputs(const Root& root, const std::string& dir) {
  std::vector<std::string> inputs;
  for (const auto& name : root.list(dir)) {
    if (name.rfind("temp", 0) == 0 && name.size() > 10 &&
        name.compare(name.size() - 6, 6, "_input") == 0) {
      inputs.push_back(name.substr(0, name.size() - 6));
    }
  }
  return inputs;
}

std::optional<float> celsius(const Root& root, const std::string& path) {
  auto milli = root.readInteger(path);
  if (!milli) return std::nullopt;
  return static_cast<float>(static_cast<double>(*milli) / 1000.0);
}

std::vector<SMCKey> readAppleSMC(const Root& root) {
  std::vector<SMCKey> keys;
  const std::string dir = "/sys/devices/platform/applesmc.768";
  for (const auto& sensor : temperatureInputs(root, dir)) {
    auto label = root.readLine(dir + "/" + sensor + "_label");
    auto value = celsius(root, dir + "/" + sensor + "_input");
    if (!label || label->size() != 4 || !value) continue;
    keys.push_back({*label, "flt ", fltBytes(*value)});
  }
  return keys;
}

}  // namespace

SensorKind classifyHwmon(std::string_view chip) {
  for (std::string_view gpu : {"amdgpu", "nouveau", "radeon", "i915", "xe", "gpu"}) {
    if (chip == gpu || contains(chip, "gpu")) return SensorKind::GPU;
  }
  for (std::string_view cpu : {"coretemp", "k10temp", "zenpower", "k8temp", "cpu", "core"}) {
    if (chip == cpu || contains(chip, cpu)) return SensorKind::CPU;
  }
  return SensorKind::Other;
}

std::vector<SMCKey> readTemperatureKeys(const Root& root) {
  if (root.exists("/sys/devices/platform/applesmc.768")) {
    if (auto keys = readAppleSMC(root); !keys.empty()) return keys;
  }

  std::vector<SMCKey> keys;
  size_t cpu = 0, gpu = 0, other = 0;
  for (const auto& hwmon : root.list("/sys/class/hwmon")) {
    const std::string dir = "/sys/class/hwmon/" + hwmon;
    const SensorKind kind = classifyHwmon(root.readLine(dir + "/name").value_or(""));
    for (const auto& sensor : temperatureInputs(root, dir)) {
      auto value = celsius(root, dir + "/" + sensor + "_input");
      if (!value) continue;
      std::string key;
      if (kind == SensorKind::CPU && cpu < kCPUKeys.size()) {
        key = kCPUKeys[cpu++];
      } else if (kind == SensorKind::GPU && gpu < kGPUKeys.size()) {
        key = kGPUKeys[gpu++];
      } else if (other < kMaxOtherKeys) {
        char name[8];
        std::snprintf(name, sizeof name, "Tz%02zu", other++);
        key = name;
      } else {
        continue;
      }
      keys.push_back({key, "flt ", fltBytes(*value)});
    }
  }
  return keys;
}

}  // namespace platform
