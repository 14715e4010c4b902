#include "platform/linux/LinuxSensors.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <set>
#include <system_error>

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

// One temperature input of a chip: its label ("" when it has none) and value.
struct Input {
  std::string label;
  float celsius;
};

std::optional<float> celsius(const Root& root, const std::string& path) {
  auto milli = root.readInteger(path);
  if (!milli) return std::nullopt;
  return static_cast<float>(static_cast<double>(*milli) / 1000.0);
}

// temp1, temp2, ... of one sensor directory, in index order, with their labels; inputs that
// cannot be read are left out.
std::vector<Input> temperatureInputs(const Root& root, const std::string& dir) {
  std::vector<Input> inputs;
  for (const auto& name : root.list(dir)) {
    if (name.rfind("temp", 0) != 0 || name.size() <= 10 ||
        name.compare(name.size() - 6, 6, "_input") != 0) {
      continue;
    }
    const std::string sensor = name.substr(0, name.size() - 6);
    auto value = celsius(root, dir + "/" + name);
    if (!value) continue;
    inputs.push_back({root.readLine(dir + "/" + sensor + "_label").value_or(""), *value});
  }
  return inputs;
}

std::vector<SMCKey> readAppleSMC(const Root& root) {
  std::vector<SMCKey> keys;
  for (const auto& [label, value] : temperatureInputs(root, "/sys/devices/platform/applesmc.768")) {
    if (label.size() == 4) keys.push_back({label, "flt ", fltBytes(value)});
  }
  return keys;
}

// Which inputs of a chip are its CPU or GPU readings, as the driver means them.
SensorKind inputKind(std::string_view chip, SensorKind chipKind, const Input& input,
                     bool chipHasDieSensors) {
  const std::string_view label = input.label;
  if (chip == "coretemp") {
    // One reading per core; the package sensor is not one more core.
    return label.starts_with("Package") ? SensorKind::Other : SensorKind::CPU;
  }
  if (chip == "k10temp" || chip == "zenpower") {
    // Tctl carries a fan-control offset on some parts: Tdie and the Tccd sensors are the die's
    // temperature where the driver has them.
    if (chipHasDieSensors && (label == "Tctl" || label.empty())) return SensorKind::Other;
    return SensorKind::CPU;
  }
  if (chip == "amdgpu" && !label.empty() && label != "edge" && label != "junction")
    return SensorKind::Other;  // memory and other board sensors
  return chipKind;
}

bool isDieSensor(const Input& input) {
  return input.label == "Tdie" || input.label.starts_with("Tccd");
}

// The device behind a hwmon directory, so one chip registered twice is read once.
std::string deviceOf(const Root& root, const std::string& dir) {
  std::error_code ec;
  const auto target = std::filesystem::canonical(root.at(dir + "/device"), ec);
  return ec ? std::string() : target.string();
}

class KeyNamer {
 public:
  explicit KeyNamer(std::vector<SMCKey>& keys) : keys_(keys) {}
  void add(SensorKind kind, float value) {
    std::string key;
    if (kind == SensorKind::CPU && cpu_ < kCPUKeys.size()) {
      key = kCPUKeys[cpu_++];
    } else if (kind == SensorKind::GPU && gpu_ < kGPUKeys.size()) {
      key = kGPUKeys[gpu_++];
    } else if (other_ < kMaxOtherKeys) {
      char name[8];
      std::snprintf(name, sizeof name, "Tz%02zu", other_++);
      key = name;
    } else {
      return;
    }
    keys_.push_back({key, "flt ", fltBytes(value)});
  }
  size_t cpuCount() const { return cpu_; }
  size_t gpuCount() const { return gpu_; }

 private:
  std::vector<SMCKey>& keys_;
  size_t cpu_ = 0, gpu_ = 0, other_ = 0;
};

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

std::vector<SMCKey> readTemperatureKeys(const Root& root, std::optional<float> nvidiaGPU) {
  if (root.exists("/sys/devices/platform/applesmc.768")) {
    if (auto keys = readAppleSMC(root); !keys.empty()) return keys;
  }

  std::vector<SMCKey> keys;
  KeyNamer namer(keys);
  std::set<std::string> devices;
  for (const auto& hwmon : root.list("/sys/class/hwmon")) {
    const std::string dir = "/sys/class/hwmon/" + hwmon;
    if (const std::string device = deviceOf(root, dir); !device.empty()) {
      if (!devices.insert(device).second) continue;
    }
    const std::string chip = root.readLine(dir + "/name").value_or("");
    const SensorKind chipKind = classifyHwmon(chip);
    const std::vector<Input> inputs = temperatureInputs(root, dir);
    bool hasDie = false;
    for (const auto& input : inputs)
      hasDie = hasDie || isDieSensor(input);
    for (const auto& input : inputs)
      namer.add(inputKind(chip, chipKind, input, hasDie), input.celsius);
  }

  // Many ARM boards register their CPU and GPU thermal zones with no hwmon device.
  const bool needCPU = namer.cpuCount() == 0, needGPU = namer.gpuCount() == 0;
  if (needCPU || needGPU) {
    for (const auto& zone : root.list("/sys/class/thermal")) {
      if (!zone.starts_with("thermal_zone")) continue;
      const std::string dir = "/sys/class/thermal/" + zone;
      const SensorKind kind = classifyHwmon(root.readLine(dir + "/type").value_or(""));
      if (!(kind == SensorKind::CPU && needCPU) && !(kind == SensorKind::GPU && needGPU)) continue;
      if (auto value = celsius(root, dir + "/temp")) namer.add(kind, *value);
    }
  }

  if (nvidiaGPU) namer.add(SensorKind::GPU, *nvidiaGPU);
  return keys;
}

}  // namespace platform
