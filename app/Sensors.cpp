#include "app/Sensors.h"

#include <cmath>
#include <cstdio>

#include "app/metrics/ModuleModelTemperature.h"
#include "app/metrics/SGM1IOHIDSensors.h"
#include "app/metrics/smc/SGM1SMCSensorTemperature.h"
#include "app/metrics/sysinfo/SGSystemInfo.h"

namespace {

std::string format(const char* fmt, auto... args) {
  char line[256];
  std::snprintf(line, sizeof line, fmt, args...);
  return line;
}

// Pads to `width` characters as they show, so "°C" (two bytes) keeps the columns straight.
std::string padded(std::string text, size_t width) {
  size_t shown = 0;
  for (unsigned char c : text)
    shown += (c & 0xC0) != 0x80;
  if (shown < width) text.append(width - shown, ' ');
  return text;
}

std::string celsius(double value) {
  return std::isnan(value) ? "none" : format("%.2f °C", value);
}

// Every key of the SMC beginning with "T", read once, in the SMC's own order.
std::string listSMC(platform::Platform& platform) {
  std::string out;
  SGM1SMCSensors smc(platform.smc());
  smc.open();
  const auto count = smc.readKeyCount();
  if (!count) out += "  (no SMC)\n";
  for (uint32_t i = 0; count && i < *count; ++i) {
    const auto key = smc.readKeyAtIndex(i);
    if (!key || key->empty() || (key->front() != 'T' && key->front() != 't')) continue;
    const auto info = smc.readKeyInfo(*key);
    if (!info || info->dataSize == 0) continue;
    const auto bytes = smc.readKeyBytes(*key);
    const double value = bytes ? SGM1SMCSensors::decodeValue(info->dataType, *bytes) : -1.0;
    const char* counts = SGM1SMCSensorTemperature::isCPUKey(*key)   ? "CPU"
                         : SGM1SMCSensorTemperature::isGPUKey(*key) ? "GPU"
                                                                    : "neither";
    std::string reading = !bytes                                                   ? "unreadable"
                          : (info->dataType != "flt " && info->dataType != "fpe2") ? "not decoded"
                                                                                   : celsius(value);
    std::string note;
    if (*key == SGM1SMCSensorTemperature::kM2SubstituteKey)
      note = "  (stands in for low CPU readings on M2 chips)";
    else if (std::string(counts) != "neither" && !(value > 0))
      note = "  (left out: not positive)";
    out += format("  %-4s  %-4s  %s %s%s\n", key->c_str(), info->dataType.c_str(),
                  padded(reading, 12).c_str(), counts, note.c_str());
  }
  smc.close();
  return out;
}

std::string listHID(SGM1SensorTemperature& source) {
  std::string out;
  const TemperatureReadings all = source.allHIDReadings();
  if (all.empty()) out += "  (no HID temperature sensors)\n";
  for (const auto& [code, value] : all) {
    const char* counts = SGM1IOHIDSensors::isCPUCode(code)   ? "CPU"
                         : SGM1IOHIDSensors::isGPUCode(code) ? "GPU"
                                                             : "neither";
    const bool event = value != SGM1IOHIDSensors::kNoEvent;
    std::string note = std::string(counts) != "neither" && !(value > 0) ? "  (left out)" : "";
    out += format("  %-4s  HID   %s %s%s\n", code.c_str(),
                  padded(event ? celsius(value) : "no event", 12).c_str(), counts, note.c_str());
  }
  return out;
}

const char* roleName(platform::SensorRole role) {
  switch (role) {
    case platform::SensorRole::CPU:
      return "CPU";
    case platform::SensorRole::GPU:
      return "GPU";
    default:
      return "neither";
  }
}

// Every sensor the machine names itself, in the machine's order, with what it counts for.
std::string listOwn(SGM1SensorTemperature& source) {
  std::string out;
  const auto sensors = source.ownSensors();
  if (sensors.empty()) out += "  (no temperature sensors)\n";
  for (const auto& s : sensors) {
    const bool counts = s.role == platform::SensorRole::CPU || s.role == platform::SensorRole::GPU;
    const char* note = counts && !(s.celsius > 0) ? "  (left out: not positive)" : "";
    out += format("  %s %s %s%s\n", padded(s.name, 28).c_str(),
                  padded(celsius(s.celsius), 12).c_str(), roleName(s.role), note);
  }
  return out;
}

}  // namespace

std::string formatSensors(platform::Platform& platform) {
  ModuleModelTemperature model(platform);
  SGM1SensorTemperature& source = model.sensorTmp();
  std::string out;
  out += "platform: " + platform.name() + "\n";
  out += "model: " + (source.machineModel().empty() ? "(none)" : source.machineModel()) + "\n";
  out += "brand: " + SGSystemInfo::cpuBrand(platform.sysctl()) + "\n";
  out += "source: " + source.sensorType() + "\n";
  if (source.sensorType() == SGM1SensorTemperature::kOwnSensors) {
    out += "temperature sensors (name, reading, counts for):\n" + listOwn(source);
  } else if (source.sensorType() == "SMC") {
    out += "SMC temperature keys (key, type, reading, counts for):\n" + listSMC(platform);
  } else {
    out += "HID temperature sensors (code, type, reading, counts for):\n" + listHID(source);
  }
  model.update();
  out += "values:\n";
  out += "  CPUMin  " + celsius(model.CPUMin()) + "\n";
  out += "  CPUMax  " + celsius(model.CPUMax()) + "\n";
  out += "  CPUAvg  " + celsius(model.CPUAvg()) + "\n";
  out += "  GPUAvg  " + celsius(model.GPUAvg()) + "\n";
  return out;
}
