#include "platform/linux/LinuxSensors.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>

namespace platform {
namespace {

using linux_fs::Root;

constexpr const char* kAppleSMCDir = "/sys/devices/platform/applesmc.768";

bool contains(std::string_view haystack, std::string_view needle) {
  return haystack.find(needle) != std::string_view::npos;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  }
  return true;
}

std::optional<double> celsius(const Root& root, const std::string& path) {
  auto milli = root.readInteger(path);
  if (!milli) return std::nullopt;
  return static_cast<double>(*milli) / 1000.0;
}

// One temperature input of a chip: its label ("" when it has none) and where its value is.
struct Input {
  std::string label;
  std::string sensor;  // "temp3"
  std::string path;
};

// temp1, temp2, ... of one sensor directory, in index order. Inputs that cannot be read now are
// left out, so an input the driver never fills does not force a rediscovery on every sample.
std::vector<Input> temperatureInputs(const Root& root, const std::string& dir) {
  std::vector<Input> inputs;
  for (const auto& name : root.list(dir)) {
    if (name.rfind("temp", 0) != 0 || name.size() <= 10 ||
        name.compare(name.size() - 6, 6, "_input") != 0) {
      continue;
    }
    const std::string sensor = name.substr(0, name.size() - 6);
    const std::string path = dir + "/" + name;
    if (!celsius(root, path)) continue;
    inputs.push_back({root.readLine(dir + "/" + sensor + "_label").value_or(""), sensor, path});
  }
  return inputs;
}

bool isPackageLabel(std::string_view label) {
  return startsWithNoCase(label, "package id") || startsWithNoCase(label, "physical id");
}

bool isDieSensor(const Input& input) {
  return input.label == "Tdie" || input.label.starts_with("Tccd");
}

// A sensor found by discovery, before the machine-wide package rule is applied.
struct Found {
  SensorSource source;
  bool package = false;
};

// What one input of a chip counts for, as its driver means it.
Found classify(std::string_view chip, SensorRole chipRole, const Input& input,
               bool chipHasDieSensors) {
  Found f;
  f.source.path = input.path;
  f.source.role = chipRole;
  const std::string_view label = input.label;
  if (chip == "coretemp") {
    f.package = isPackageLabel(label);
    f.source.role = SensorRole::CPU;
  } else if (chip == "pkgtemp") {
    f.package = true;
    f.source.role = SensorRole::CPU;
  } else if (chip == "k10temp" || chip == "zenpower") {
    const bool offset = chipHasDieSensors && (label == "Tctl" || label.empty());
    f.source.role = offset ? SensorRole::Other : SensorRole::CPU;
  } else if (chip == "amdgpu" && !label.empty() && label != "edge" && label != "junction") {
    f.source.role = SensorRole::Other;  // memory and other board sensors
  }
  return f;
}

// The device behind a hwmon directory, so one chip registered twice is read once.
std::string deviceOf(const Root& root, const std::string& dir) {
  std::error_code ec;
  const auto target = std::filesystem::canonical(root.at(dir), ec);
  return ec ? std::string() : target.string();
}

// A hwmon entry's attributes sit in its own directory, or (older kernels, applesmc) in the
// device's.
std::string attributeDir(const Root& root, const std::string& dir) {
  if (!root.exists(dir + "/name") && root.exists(dir + "/device/name")) return dir + "/device";
  return dir;
}

struct Chip {
  std::string name;
  std::string dir;  // where its attributes are
};

// "coretemp", or "coretemp #1" where several chips share a name.
std::vector<std::string> chipNames(const std::vector<Chip>& chips) {
  std::map<std::string, int> total, seen;
  for (const auto& c : chips)
    ++total[c.name];
  std::vector<std::string> names;
  for (const auto& c : chips) {
    const int n = seen[c.name]++;
    names.push_back(total[c.name] > 1 ? c.name + " #" + std::to_string(n) : c.name);
  }
  return names;
}

std::vector<Chip> hwmonChips(const Root& root, const std::vector<std::string>& listing) {
  std::vector<Chip> chips;
  std::set<std::string> devices;
  for (const auto& hwmon : listing) {
    const std::string dir = "/sys/class/hwmon/" + hwmon;
    if (const std::string device = deviceOf(root, dir + "/device"); !device.empty()) {
      if (!devices.insert(device).second) continue;
    }
    const std::string attrs = attributeDir(root, dir);
    chips.push_back({root.readLine(attrs + "/name").value_or(hwmon), attrs});
  }
  // Kernels that registered applesmc without a hwmon class entry.
  if (root.exists(kAppleSMCDir) && !devices.contains(deviceOf(root, kAppleSMCDir)))
    chips.push_back({"applesmc", kAppleSMCDir});
  return chips;
}

void addThermalZones(const Root& root, bool needCPU, bool needGPU, std::vector<SensorSource>& out) {
  std::vector<Chip> zones;
  std::vector<SensorRole> roles;
  for (const auto& zone : root.list("/sys/class/thermal")) {
    if (!zone.starts_with("thermal_zone")) continue;
    const std::string dir = "/sys/class/thermal/" + zone;
    const std::string type = root.readLine(dir + "/type").value_or("");
    const SensorRole role = type == "x86_pkg_temp" ? SensorRole::CPU : classifyHwmon(type);
    if (!(role == SensorRole::CPU && needCPU) && !(role == SensorRole::GPU && needGPU)) continue;
    if (!celsius(root, dir + "/temp")) continue;
    zones.push_back({type, dir});
    roles.push_back(role);
  }
  const auto names = chipNames(zones);
  for (size_t i = 0; i < zones.size(); ++i)
    out.push_back({names[i], roles[i], zones[i].dir + "/temp"});
}

}  // namespace

SensorRole classifyHwmon(std::string_view chip) {
  if (chip == "nouveau" || chip == "radeon" || chip == "i915" || chip == "xe" ||
      contains(chip, "gpu")) {
    return SensorRole::GPU;
  }
  for (std::string_view cpu : {"coretemp", "k10temp", "zenpower", "k8temp", "cpu", "core"}) {
    if (contains(chip, cpu)) return SensorRole::CPU;
  }
  return SensorRole::Other;
}

std::vector<SensorSource> discoverSensors(const Root& root, const std::vector<std::string>& hwmon) {
  const std::vector<Chip> chips = hwmonChips(root, hwmon);
  const std::vector<std::string> names = chipNames(chips);
  std::vector<Found> found;
  for (size_t i = 0; i < chips.size(); ++i) {
    const Chip& chip = chips[i];
    const std::vector<Input> inputs = temperatureInputs(root, chip.dir);
    if (chip.name == "applesmc") {
      // The driver labels each sensor with its SMC key; other labels are not keys.
      for (const auto& input : inputs) {
        if (input.label.size() == 4)
          found.push_back({{input.label, SensorRole::SMCKey, input.path}, false});
      }
      continue;
    }
    const SensorRole chipRole = classifyHwmon(chip.name);
    const bool hasDie = std::any_of(inputs.begin(), inputs.end(), isDieSensor);
    for (const auto& input : inputs) {
      Found f = classify(chip.name, chipRole, input, hasDie);
      f.source.name = names[i] + " " + (input.label.empty() ? input.sensor : input.label);
      found.push_back(std::move(f));
    }
  }

  const bool perCore = std::any_of(found.begin(), found.end(), [](const Found& f) {
    return f.source.role == SensorRole::CPU && !f.package;
  });
  std::vector<SensorSource> sources;
  bool cpu = false, gpu = false;
  for (auto& f : found) {
    if (f.package && perCore) f.source.role = SensorRole::Other;
    cpu = cpu || f.source.role == SensorRole::CPU;
    gpu = gpu || f.source.role == SensorRole::GPU;
    sources.push_back(std::move(f.source));
  }
  // Many ARM boards register their CPU and GPU thermal zones with no hwmon device, and a machine
  // without coretemp still has the package zone.
  if (!cpu || !gpu) addThermalZones(root, !cpu, !gpu, sources);
  return sources;
}

void LinuxTemperatureSensors::discover(std::vector<std::string> chips) {
  sources_ = discoverSensors(root_, chips);
  chips_ = std::move(chips);
  ++discoveries_;
}

bool LinuxTemperatureSensors::readKept(std::vector<TemperatureSensor>& out) const {
  bool all = true;
  for (const auto& s : sources_) {
    if (auto value = celsius(root_, s.path)) {
      out.push_back({s.name, s.role, *value});
    } else {
      all = false;
    }
  }
  return all;
}

std::vector<TemperatureSensor> LinuxTemperatureSensors::read() {
  // One listing of the chips per read, however the read goes.
  std::vector<std::string> chips = root_.list("/sys/class/hwmon");
  const bool changed = !chips_ || chips != *chips_;
  if (changed) discover(chips);
  std::vector<TemperatureSensor> out;
  if (!readKept(out) && !changed) {
    // A sensor went away (a module unloaded, a device unbound): find them afresh, once. One
    // that fails right after its discovery gets the same chance at the next read.
    discover(std::move(chips));
    out.clear();
    readKept(out);
  }
  if (nvidiaGPU_) {
    if (auto t = nvidiaGPU_()) out.push_back({"NVIDIA GPU", SensorRole::GPU, *t});
  }
  return out;
}

std::vector<SMCKey> readAppleSMCKeys(const Root& root) {
  std::vector<SMCKey> keys;
  for (const auto& input : temperatureInputs(root, kAppleSMCDir)) {
    auto value = celsius(root, input.path);
    if (input.label.size() == 4 && value)
      keys.push_back({input.label, "flt ", fltBytes(static_cast<float>(*value))});
  }
  return keys;
}

}  // namespace platform
